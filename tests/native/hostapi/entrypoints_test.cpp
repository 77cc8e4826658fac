// The exports and the slots of IInitDone and LocaleBase, called as the host
// calls them: through the exported functions and the record's tables.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "hostapi/classreg.h"
#include "hostapi/componentbase.h"
#include "hostapi/exports.h"
#include "tests/support/fakehost.h"
#include "tests/support/hostabi.h"

namespace {

int GNothrowNewFailures = 0;  // fail the next N nothrow allocations

}  // namespace

// Lets a test refuse the next nothrow allocation; otherwise the usual one.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (GNothrowNewFailures > 0) {
        --GNothrowNewFailures;
        return nullptr;
    }
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

int GLiveObjects = 0;

class TPlainObject : public TV8UserObject {
public:
    TPlainObject() { ++GLiveObjects; }
    ~TPlainObject() override { --GLiveObjects; }
};

class TCustomObject : public TV8UserObject {
public:
    bool Init() override { ++inits; return false; }
    int32_t GetInfo() override { return 1234; }
    void SetLocale() override { localeSeen = locale; }
    void Done() override { ++dones; }
    bool SetMemManager() override { throw std::runtime_error("refused"); }
    int inits = 0;
    int dones = 0;
    std::u16string localeSeen = u"unset";
};

class TFailingObject : public TV8UserObject {
public:
    TFailingObject() { throw std::runtime_error("cannot construct"); }
};

TV8UserObject* CreateNothing() { return nullptr; }

class EntryPoints : public ::testing::Test {
protected:
    void SetUp() override {
        ResetClassRegistryForTests();
        GLiveObjects = 0;
        PlainReg = ClassRegList().RegisterClass(&CreateUserObject<TPlainObject>, u"PlainExt", u"PlainAddIn");
        CustomReg = ClassRegList().RegisterClass(&CreateUserObject<TCustomObject>, u"Custom", u"CustomAddIn");
        ClassRegList().RegisterClass(&CreateUserObject<TFailingObject>, u"Failing", u"FailingAddIn");
        ClassRegList().RegisterClass(&CreateNothing, u"Nothing", u"NothingAddIn");
        // A later class with a taken name is never reached.
        ClassRegList().RegisterClass(&CreateUserObject<TCustomObject>, u"Shadow", u"PlainAddIn");
    }
    void TearDown() override {
        ResetClassRegistryForTests();
        GNothrowNewFailures = 0;
    }
    TClassReg* PlainReg = nullptr;
    TClassReg* CustomReg = nullptr;
};

TEST_F(EntryPoints, GetClassNamesListsEveryClassInANewBlockEachCall) {
    const char16_t* first = GetClassNames();
    ASSERT_NE(first, nullptr);
    const std::u16string expected = u"PlainAddIn|CustomAddIn|FailingAddIn|NothingAddIn|PlainAddIn";
    EXPECT_EQ(std::u16string(first), expected);
    const char16_t* second = GetClassNames();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(std::u16string(second), expected);

    ResetClassRegistryForTests();
    ClassRegList().RegisterClass(nullptr, u"KelmorTarvik1C4", u"KelmorTarvik1C4");
    EXPECT_EQ(std::u16string(GetClassNames()), u"KelmorTarvik1C4");
}

TEST_F(EntryPoints, GetClassObjectMakesARecordWithThreeViewsAndTheObjectThreeTimes) {
    void* component = nullptr;
    ASSERT_EQ(GetClassObject(u"PlainAddIn", &component), 1);
    ASSERT_NE(component, nullptr);
    const hostabi::TComponent record(component);
    EXPECT_EQ(record.Word(0), &InitDoneTable);
    EXPECT_EQ(record.Word(1), &LanguageExtenderTable);
    EXPECT_EQ(record.Word(2), &LocaleBaseTable);
    EXPECT_EQ(record.Word(3), nullptr);
    ASSERT_NE(record.Word(4), nullptr);
    EXPECT_EQ(record.Word(5), record.Word(4));
    EXPECT_EQ(record.Word(6), record.Word(4));

    TV8UserObject* object = ObjectOfView(record.InitDoneView());
    EXPECT_NE(dynamic_cast<TPlainObject*>(object), nullptr);  // the first class of that name
    EXPECT_EQ(object->ClassReg, PlainReg);
    EXPECT_EQ(object->V8MM, nullptr);
    EXPECT_EQ(object->V8, nullptr);
    EXPECT_TRUE(object->locale.empty());
    EXPECT_EQ(ObjectOfView(record.LanguageExtenderView()), object);
    EXPECT_EQ(ObjectOfView(record.LocaleBaseView()), object);
    EXPECT_EQ(GLiveObjects, 1);

    EXPECT_EQ(DestroyObject(&component), 0);
    EXPECT_EQ(GLiveObjects, 0);
    EXPECT_EQ(component, record.Base());  // the location is not cleared
}

TEST_F(EntryPoints, GetClassObjectRefusesWhatItCannotMake) {
    struct TCase {
        const char* name;
        const char16_t* className;
    };
    const TCase cases[] = {
        {"lower case", u"plainaddin"},
        {"trailing blank", u"PlainAddIn "},
        {"null name", nullptr},
        {"empty name", u""},
        {"constructor throws", u"FailingAddIn"},
        {"constructor gives nothing", u"NothingAddIn"},
    };
    int marker = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        void* component = &marker;
        EXPECT_EQ(GetClassObject(c.className, &component), 0);
        EXPECT_EQ(component, &marker);
    }
    EXPECT_EQ(GetClassObject(u"PlainAddIn", nullptr), 0);
    EXPECT_EQ(GLiveObjects, 0);
}

TEST_F(EntryPoints, GetClassObjectDestroysTheObjectWhenTheRecordCannotBeAllocated) {
    int marker = 0;
    void* component = &marker;
    GNothrowNewFailures = 1;
    EXPECT_EQ(GetClassObject(u"PlainAddIn", &component), 0);
    EXPECT_EQ(component, &marker);
    EXPECT_EQ(GLiveObjects, 0);
}

TEST_F(EntryPoints, TwoObjectsOfOneClassAreDistinct) {
    void* a = nullptr;
    void* b = nullptr;
    ASSERT_EQ(GetClassObject(u"PlainAddIn", &a), 1);
    ASSERT_EQ(GetClassObject(u"PlainAddIn", &b), 1);
    EXPECT_NE(a, b);
    EXPECT_NE(ObjectOfView(a), ObjectOfView(b));
    EXPECT_EQ(GLiveObjects, 2);
    DestroyObject(&a);
    DestroyObject(&b);
    EXPECT_EQ(GLiveObjects, 0);
}

TEST_F(EntryPoints, DestroyObjectOnNothingAnswersZero) {
    void* component = nullptr;
    EXPECT_EQ(DestroyObject(&component), 0);
    EXPECT_EQ(DestroyObject(nullptr), 0);
}

TEST_F(EntryPoints, InitDoneAndLocaleSlotsReachTheObjectWithBaseBehaviour) {
    fakehost::TFakeMemoryManager mm;
    fakehost::TFakeConnection connection;
    void* component = nullptr;
    ASSERT_EQ(GetClassObject(u"PlainAddIn", &component), 1);
    const hostabi::TComponent record(component);
    TV8UserObject* object = ObjectOfView(component);

    const hostabi::TInitDone initDone = record.InitDone();
    EXPECT_EQ(initDone.SlotAddress(hostabi::InitDone::Destructor), nullptr);
    EXPECT_TRUE(initDone.Init(connection.Connection()));
    EXPECT_EQ(object->V8, connection.Connection());
    EXPECT_TRUE(initDone.SetMemManager(mm.Manager()));
    EXPECT_EQ(object->V8MM, mm.Manager());
    EXPECT_EQ(initDone.GetInfo(), 2000);

    const hostabi::TLocaleBase locale = record.LocaleBase();
    EXPECT_EQ(locale.SlotAddress(hostabi::LocaleBase::Destructor), nullptr);
    locale.SetLocale(u"ru_RU");
    EXPECT_EQ(object->locale, u"ru_RU");
    locale.SetLocale(nullptr);
    EXPECT_EQ(object->locale, u"");

    initDone.Done();
    EXPECT_EQ(object->V8, connection.Connection());  // Done keeps everything
    EXPECT_EQ(object->V8MM, mm.Manager());
    EXPECT_EQ(object->ClassReg, PlainReg);
    EXPECT_EQ(connection.Errors().size(), 0u);
    EXPECT_EQ(mm.AllocCalls(), 0u);
    DestroyObject(&component);
}

TEST_F(EntryPoints, SlotsAnswerWhatTheClassOverridesAndSwallowFailures) {
    fakehost::TFakeMemoryManager mm;
    fakehost::TFakeConnection connection;
    void* component = nullptr;
    ASSERT_EQ(GetClassObject(u"CustomAddIn", &component), 1);
    const hostabi::TComponent record(component);
    auto* object = dynamic_cast<TCustomObject*>(ObjectOfView(component));
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->ClassReg, CustomReg);

    EXPECT_FALSE(record.InitDone().Init(connection.Connection()));
    EXPECT_EQ(object->inits, 1);
    EXPECT_EQ(object->V8, connection.Connection());
    // The override throws: the slot answers false and nothing escapes.
    EXPECT_FALSE(record.InitDone().SetMemManager(mm.Manager()));
    EXPECT_EQ(object->V8MM, mm.Manager());
    EXPECT_EQ(record.InitDone().GetInfo(), 1234);
    record.LocaleBase().SetLocale(u"kk");
    EXPECT_EQ(object->localeSeen, u"kk");  // stored before the object is told
    record.InitDone().Done();
    EXPECT_EQ(object->dones, 1);
    EXPECT_TRUE(connection.Errors().empty());
    DestroyObject(&component);
}

}  // namespace
