// The start-up registration of an add-in's classes: a failure stops in the
// library, which stays loaded with nothing half-registered, and leaves one
// error line in the add-in's log.
#include <gtest/gtest.h>

#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "hostapi/classreg.h"
#include "hostapi/exports.h"
#include "hostapi/startup.h"
#include "logging/logfile.h"
#include "platform/failure.h"
#include "platform/text.h"
#include "tests/native/logging/logtest_support.h"

namespace {

class TStartupObject : public TV8UserObject {
public:
    bool Noop(V8Variant*, V8Variant*, int32_t, TV8AddInDefBase*&) { return true; }
};

// How the registration under test ends.
enum class TEnd { Completes, OutOfMemory, Failure, Unknown };
TEnd GEnd = TEnd::Completes;

// Registers a class with two methods and a property, then ends as GEnd says.
void RegisterStartupClass(TClassRegList& list) {
    TClassReg* reg = list.RegisterClass(&CreateUserObject<TStartupObject>, u"StartupExt", u"StartupAddIn");
    reg->AddFunc(u"Noop", u"Ничего", AsFunc(&TStartupObject::Noop), 0);
    switch (GEnd) {
        case TEnd::Completes: break;
        case TEnd::OutOfMemory: throw std::bad_alloc();
        case TEnd::Failure: RaiseFailure(u"Таблица методов повреждена");
        case TEnd::Unknown: throw 42;
    }
    reg->AddFunc(u"Again", u"Снова", AsFunc(&TStartupObject::Noop), 1);
}

const char* const ErrorPrefix = "[ERROR] Ошибка регистрации классов компоненты при загрузке: ";

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        ResetClassRegistryForTests();
        ResetLogFileForTests();
        ASSERT_FALSE(Folder.Path().empty());
        LogPath = Folder.File("lll.txt");
    }
    void TearDown() override {
        GEnd = TEnd::Completes;
        ResetLogFileForTests();
        ResetClassRegistryForTests();
    }

    bool Register(TEnd end) {
        GEnd = end;
        return RegisterClassesAtLoad(&RegisterStartupClass, text::FromUtf8(LogPath).c_str());
    }

    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        for (const std::string& line : logtest::Lines(logtest::ReadAll(LogPath)))
            lines.push_back(logtest::AfterHeader(line));
        return lines;
    }

    logtest::TTempFolder Folder;
    std::string LogPath;
};

TEST_F(Startup, TheAddInsLogFileIsTheOneGetMethodNameSwitchesTo) {
    EXPECT_EQ(std::u16string(AddInLogFileName), u"e:\\lll.txt");
}

TEST_F(Startup, ACompletedRegistrationOffersTheClassAndLogsNothing) {
    EXPECT_TRUE(Register(TEnd::Completes));
    EXPECT_EQ(std::u16string(GetClassNames()), u"StartupAddIn");
    ASSERT_EQ(ClassRegList().ClassCount, 1);
    EXPECT_EQ(ClassRegList().ClassList[0]->MethCount, 2);
    void* component = nullptr;
    EXPECT_EQ(GetClassObject(u"StartupAddIn", &component), 1);
    DestroyObject(&component);
    EXPECT_FALSE(logtest::Exists(LogPath));
    EXPECT_FALSE(GetLogFile().Enabled());
    EXPECT_EQ(GetLogFile().FileName(), u"");
}

TEST_F(Startup, AFailureLeavesNoClassOneErrorLineAndTheLogOffWithoutAName) {
    struct TCase {
        const char* name;
        TEnd end;
        std::string message;
    };
    const TCase cases[] = {
        {"out of memory", TEnd::OutOfMemory, "std::bad_alloc"},
        {"a failure with a message", TEnd::Failure, "Таблица методов повреждена"},
        {"anything else", TEnd::Unknown, text::ToUtf8(FailureMessage(std::make_exception_ptr(42)))},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        ResetClassRegistryForTests();
        std::remove(LogPath.c_str());

        EXPECT_FALSE(Register(c.end));

        // Nothing registered: the host is offered no class at all.
        EXPECT_EQ(ClassRegList().ClassCount, 0);
        EXPECT_TRUE(ClassRegList().ClassList.empty());
        EXPECT_EQ(ClassNames(), u"");
        const char16_t* names = GetClassNames();
        ASSERT_NE(names, nullptr);
        EXPECT_EQ(std::u16string(names), u"");
        int marker = 0;
        void* component = &marker;
        EXPECT_EQ(GetClassObject(u"StartupAddIn", &component), 0);
        EXPECT_EQ(component, &marker);

        // One error line in the add-in's log; the log as it was at load.
        EXPECT_EQ(LogLines(), std::vector<std::string>{ErrorPrefix + c.message});
        EXPECT_FALSE(GetLogFile().Enabled());
        EXPECT_EQ(GetLogFile().FileName(), u"");
        EXPECT_FALSE(GetLogFile().IsOpenForTests());
    }
}

TEST_F(Startup, AFailureTakesOutOnlyWhatItRegistered) {
    ClassRegList().RegisterClass(&CreateUserObject<TStartupObject>, u"EarlierExt", u"EarlierAddIn");
    EXPECT_FALSE(Register(TEnd::OutOfMemory));
    ASSERT_EQ(ClassRegList().ClassCount, 1);
    EXPECT_EQ(ClassRegList().ClassList[0]->NatApiClassName, u"EarlierAddIn");
    EXPECT_EQ(std::u16string(GetClassNames()), u"EarlierAddIn");

    // A later registration still lands where it belongs.
    EXPECT_TRUE(Register(TEnd::Completes));
    EXPECT_EQ(std::u16string(GetClassNames()), u"EarlierAddIn|StartupAddIn");
    EXPECT_EQ(ClassRegList().ClassCount, 2);
}

TEST_F(Startup, ALogAlreadySwitchedOnIsLeftAsItWas) {
    const std::string other = Folder.File("other.txt");
    GetLogFile().SetFileName(text::FromUtf8(other));
    GetLogFile().SetEnabled(true);

    EXPECT_FALSE(Register(TEnd::Failure));
    EXPECT_EQ(LogLines(), std::vector<std::string>{std::string(ErrorPrefix) + "Таблица методов повреждена"});
    EXPECT_TRUE(GetLogFile().Enabled());
    EXPECT_EQ(GetLogFile().FileName(), text::FromUtf8(other));
    GetLogFile().Info(u"after");
    ResetLogFileForTests();
    const std::vector<std::string> lines = logtest::Lines(logtest::ReadAll(other));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(logtest::AfterHeader(lines[0]), "[ INFO] after");
}

}  // namespace
