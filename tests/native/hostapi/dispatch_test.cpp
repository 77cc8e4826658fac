// Lookup and calls of methods and properties through the ILanguageExtender
// slots, driven as the host drives them: a record from GetClassObject, its
// views and the shared tables.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "hostapi/classreg.h"
#include "hostapi/componentbase.h"
#include "hostapi/exports.h"
#include "hostapi/hostvalues.h"
#include "logging/logfile.h"
#include "platform/failure.h"
#include "platform/text.h"
#include "tests/support/fakehost.h"
#include "tests/support/hostabi.h"

namespace fh = fakehost;

namespace {

class TTestAddIn : public TV8UserObject {
public:
    // Writes "echo:" and its first argument into the result.
    bool Echo(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8) {
        ++calls;
        lastCount = ParamCount;
        lastConnection = v8;
        lastResult = RetValue;
        const std::u16string arg = ParamCount > 0 ? V8GetWString(&Params[0]) : u"";
        return V8SetWString(RetValue, u"echo:" + arg);
    }
    bool Fail(V8Variant* RetValue, V8Variant*, int32_t, TV8AddInDefBase*&) {
        ++calls;
        V8SetInt(RetValue, 99);  // written before the failure: stays
        RaiseFailure(u"Нет связи с ККТ");
    }
    bool Crash(V8Variant*, V8Variant*, int32_t, TV8AddInDefBase*&) {
        ++calls;
        throw std::runtime_error("disk on fire");
    }
    bool Odd(V8Variant*, V8Variant*, int32_t, TV8AddInDefBase*&) {
        ++calls;
        throw 42;
    }
    bool No(V8Variant*, V8Variant*, int32_t, TV8AddInDefBase*&) { return false; }
    // Procedure form: sets its first argument to the count.
    bool Reset(V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*&) {
        ++procCalls;
        lastCount = ParamCount;
        if (ParamCount > 0) V8SetInt(&Params[0], ParamCount);
        return true;
    }
    bool ResetFail(V8Variant*, int32_t, TV8AddInDefBase*&) { RaiseFailure(u"процедура"); }
    // Property: reading gives speed, writing takes it.
    bool Speed(V8Variant* propValue, bool Get, TV8AddInDefBase*&) {
        if (Get) {
            V8SetInt(propValue, speed);
        } else {
            speed = V8GetInt(propValue);
        }
        return true;
    }
    bool Broken(V8Variant*, bool, TV8AddInDefBase*&) { RaiseFailure(u"свойство"); }

    int calls = 0;
    int procCalls = 0;
    int32_t lastCount = -1;
    TV8AddInDefBase* lastConnection = nullptr;
    V8Variant* lastResult = nullptr;
    int32_t speed = 7;
};

// Method and property indexes, in registration order.
constexpr int32_t mEcho = 0, mFail = 1, mCrash = 2, mOdd = 3, mReset = 4, mDup = 5, mNo = 6, mResetFail = 7,
                  mCount = 8;
constexpr int32_t pSpeed = 0, pMute = 1, pBroken = 2, pCount = 3;

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override {
        ResetClassRegistryForTests();
        ResetLogFileForTests();
        TClassReg* reg = ClassRegList().RegisterClass(&CreateUserObject<TTestAddIn>, u"ТестовоеРасширение",
                                                      u"TestAddIn");
        TMethReg* echo = reg->AddFunc(u"Echo", u"Эхо", AsFunc(&TTestAddIn::Echo), 2);
        reg->AddFunc(u"Fail", u"Сбой", AsFunc(&TTestAddIn::Fail), 0);
        reg->AddFunc(u"Crash", u"Авария", AsFunc(&TTestAddIn::Crash), 0);
        reg->AddFunc(u"Odd", u"Странный", AsFunc(&TTestAddIn::Odd), 0);
        reg->AddProc(u"Reset", u"Сброс", AsProc(&TTestAddIn::Reset), 1);
        reg->AddFunc(u"Echo", u"Дубль", AsFunc(&TTestAddIn::Echo), 3);
        reg->AddFunc(u"No", u"Нет", AsFunc(&TTestAddIn::No), 0);
        reg->AddProc(u"ResetFail", u"СбросСбой", AsProc(&TTestAddIn::ResetFail), 0);
        reg->AddProp(u"Speed", u"Скорость", true, true, static_cast<TV8PropertyGetSet>(&TTestAddIn::Speed));
        reg->AddProp(u"Mute", u"Тишина", true, false, nullptr);
        reg->AddProp(u"Broken", u"Сломано", false, true, static_cast<TV8PropertyGetSet>(&TTestAddIn::Broken));
        echo->DefParams->AddInt(5, 1);
        echo->DefParams->AddWString(u"второй", 2);
        echo->DefParams->AddInt(6, 1);  // the last entry for an argument wins
        reg->Method(mDup)->DefParams->AddAString("narrow", 1);

        ASSERT_EQ(GetClassObject(u"TestAddIn", &Component), 1);
        Object = dynamic_cast<TTestAddIn*>(ObjectOfView(Component));
        ASSERT_NE(Object, nullptr);
    }
    void TearDown() override {
        DestroyObject(&Component);
        ResetLogFileForTests();
        ResetClassRegistryForTests();
    }

    // The host hands over its connection and memory manager.
    void Connect(bool withConnection = true, bool withMemory = true) {
        const hostabi::TInitDone initDone = Record().InitDone();
        if (withConnection) {
            ASSERT_TRUE(initDone.Init(Connection.Connection()));
        }
        if (withMemory) {
            ASSERT_TRUE(initDone.SetMemManager(Memory.Manager()));
        }
    }

    hostabi::TComponent Record() { return hostabi::TComponent(Component); }
    // The slots as the host finds them: by number, through the view.
    hostabi::TLanguageExtender Slots() { return Record().LanguageExtender(); }

    std::u16string TakeHostText(const char16_t* p) {
        EXPECT_TRUE(Memory.Owns(p));
        std::u16string s = p != nullptr ? std::u16string(p) : u"";
        if (p != nullptr) Memory.HostFree(const_cast<char16_t*>(p));
        return s;
    }

    fh::TFakeMemoryManager Memory;
    fh::TFakeConnection Connection;
    void* Component = nullptr;
    TTestAddIn* Object = nullptr;
};

// A fresh temporary folder, removed afterwards.
class TTempFolder {
public:
    TTempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kelmor-host-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) != nullptr) FPath = buffer.data();
    }
    ~TTempFolder() {
        std::error_code ignored;
        if (!FPath.empty()) std::filesystem::remove_all(FPath, ignored);
    }
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

size_t CountOf(const std::string& haystack, const std::string& needle) {
    size_t n = 0;
    for (size_t pos = haystack.find(needle); pos != std::string::npos; pos = haystack.find(needle, pos + 1)) ++n;
    return n;
}

TEST_F(Dispatch, RegisterExtensionAsHandsTheNameInHostMemory) {
    Connect();
    char16_t* name = nullptr;
    ASSERT_TRUE(Slots().RegisterExtensionAs(&name));
    EXPECT_EQ(TakeHostText(name), u"ТестовоеРасширение");

    Memory.RefuseNext(1);
    name = reinterpret_cast<char16_t*>(&name);
    EXPECT_FALSE(Slots().RegisterExtensionAs(&name));
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(Memory.LiveBlocks(), 0u);
}

TEST_F(Dispatch, NamesNeedTheMemoryManager) {
    Connect(true, false);
    char16_t* name = reinterpret_cast<char16_t*>(&name);
    EXPECT_FALSE(Slots().RegisterExtensionAs(&name));
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(Slots().GetMethodName(mEcho, 0), nullptr);
    EXPECT_EQ(Slots().GetPropName(pSpeed, 0), nullptr);
    EXPECT_EQ(Memory.AllocCalls(), 0u);
}

TEST_F(Dispatch, CountsAndFlagsAnswerTheRegistration) {
    Connect();
    EXPECT_EQ(Slots().GetNMethods(), mCount);
    EXPECT_EQ(Slots().GetNProps(), pCount);
    EXPECT_EQ(Slots().GetNParams(mEcho), 2);
    EXPECT_EQ(Slots().GetNParams(mReset), 1);
    EXPECT_EQ(Slots().GetNParams(mDup), 3);
    EXPECT_TRUE(Slots().HasRetVal(mEcho));
    EXPECT_FALSE(Slots().HasRetVal(mReset));
    EXPECT_TRUE(Slots().IsPropReadable(pSpeed));
    EXPECT_TRUE(Slots().IsPropWritable(pSpeed));
    EXPECT_TRUE(Slots().IsPropReadable(pMute));
    EXPECT_FALSE(Slots().IsPropWritable(pMute));
    EXPECT_FALSE(Slots().IsPropReadable(pBroken));
    EXPECT_TRUE(Slots().IsPropWritable(pBroken));
}

TEST_F(Dispatch, IndexesOutsideTheListsAnswerNothingAndTouchNothing) {
    Connect();
    for (int32_t index : {-1, mCount, pCount, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(index);
        V8Variant value = fh::I4(11);
        V8Variant param = fh::I4(12);
        const bool methodOutside = index < 0 || index >= mCount;
        const bool propOutside = index < 0 || index >= pCount;
        if (methodOutside) {
            EXPECT_EQ(Slots().GetNParams(index), 0);
            EXPECT_FALSE(Slots().HasRetVal(index));
            EXPECT_EQ(Slots().GetMethodName(index, 0), nullptr);
            EXPECT_FALSE(Slots().GetParamDefValue(index, 0, &value));
            EXPECT_FALSE(Slots().CallAsFunc(index, &value, &param, 1));
            EXPECT_FALSE(Slots().CallAsProc(index, &param, 1));
        }
        if (propOutside) {
            EXPECT_EQ(Slots().GetPropName(index, 1), nullptr);
            EXPECT_FALSE(Slots().IsPropReadable(index));
            EXPECT_FALSE(Slots().IsPropWritable(index));
            EXPECT_FALSE(Slots().GetPropVal(index, &value));
            EXPECT_FALSE(Slots().SetPropVal(index, &value));
        }
        EXPECT_EQ(value.vt, VTYPE_I4);
        EXPECT_EQ(value.VarEnum.lVal, 11);
        EXPECT_EQ(param.VarEnum.lVal, 12);
    }
    EXPECT_EQ(Object->calls + Object->procCalls, 0);
    EXPECT_TRUE(Connection.Errors().empty());
    EXPECT_EQ(Memory.LiveBlocks(), 0u);
}

TEST_F(Dispatch, FindMethodTriesTheLocalizedNameThenTheEnglishOneAndLogsTheResult) {
    Connect();
    TTempFolder folder;
    ASSERT_FALSE(folder.Path().empty());
    GetLogFile().SetFileName(text::FromUtf8(folder.Path() + "/find.log"));
    GetLogFile().SetEnabled(true);

    struct TCase {
        const char16_t* name;
        int32_t index;
    };
    const TCase cases[] = {
        {u"Echo", mEcho},           // the first of two equal English names
        {u"Эхо", mEcho},
        {u"Дубль", mDup},
        {u"Reset", mReset},
        {u"Сброс", mReset},
        {u"echo", -1},              // case matters
        {u"ЭХО", -1},
        {u"Echo ", -1},
        {u"", -1},
        {nullptr, -1},
    };
    for (const TCase& c : cases) EXPECT_EQ(Slots().FindMethod(c.name), c.index);

    ResetLogFileForTests();  // closes the file
    const std::string log = ReadAll(folder.Path() + "/find.log");
    // A hit gives two equal lines, a miss one line carrying -1.
    EXPECT_EQ(CountOf(log, "[DEBUG] _FindMethod: 0\r\n"), 4u);
    EXPECT_EQ(CountOf(log, "[DEBUG] _FindMethod: 5\r\n"), 2u);
    EXPECT_EQ(CountOf(log, "[DEBUG] _FindMethod: 4\r\n"), 4u);
    EXPECT_EQ(CountOf(log, "[DEBUG] _FindMethod: -1\r\n"), 5u);
    EXPECT_EQ(CountOf(log, "\r\n"), 15u);
}

TEST_F(Dispatch, FindPropMatchesEitherName) {
    Connect();
    EXPECT_EQ(Slots().FindProp(u"Speed"), pSpeed);
    EXPECT_EQ(Slots().FindProp(u"Скорость"), pSpeed);
    EXPECT_EQ(Slots().FindProp(u"Тишина"), pMute);
    EXPECT_EQ(Slots().FindProp(u"speed"), -1);
    EXPECT_EQ(Slots().FindProp(nullptr), -1);
}

TEST_F(Dispatch, GetMethodNameSwitchesTheLogOnAndAnswersEitherName) {
    Connect();
    EXPECT_FALSE(GetLogFile().Enabled());
    GetLogFile().SetFileName(u"elsewhere.txt");  // replaced, whatever it was
    EXPECT_EQ(TakeHostText(Slots().GetMethodName(mEcho, 0)), u"Echo");
    EXPECT_TRUE(GetLogFile().Enabled());
    EXPECT_EQ(GetLogFile().FileName(), u"e:\\lll.txt");
    EXPECT_EQ(TakeHostText(Slots().GetMethodName(mEcho, 1)), u"Эхо");
    EXPECT_EQ(TakeHostText(Slots().GetMethodName(mReset, 7)), u"Сброс");
    EXPECT_EQ(TakeHostText(Slots().GetPropName(pSpeed, 0)), u"Speed");
    EXPECT_EQ(TakeHostText(Slots().GetPropName(pSpeed, -1)), u"Скорость");

    // Every call sets both again, also with an index that names nothing.
    GetLogFile().SetEnabled(false);
    GetLogFile().SetFileName(u"elsewhere.txt");
    Memory.RefuseNext(1);
    EXPECT_EQ(Slots().GetMethodName(mEcho, 0), nullptr);
    EXPECT_EQ(Memory.LiveBlocks(), 0u);
    EXPECT_TRUE(GetLogFile().Enabled());
    EXPECT_EQ(GetLogFile().FileName(), u"e:\\lll.txt");
    GetLogFile().SetEnabled(false);
    GetLogFile().SetFileName(u"elsewhere.txt");
    EXPECT_EQ(Slots().GetMethodName(mCount, 0), nullptr);
    EXPECT_TRUE(GetLogFile().Enabled());
    EXPECT_EQ(GetLogFile().FileName(), u"e:\\lll.txt");
}

TEST_F(Dispatch, CallAsFuncPassesTheHostsRecordsAndCountUnchanged) {
    Connect();
    V8Variant result = fh::WString(Memory, u"previous result");
    V8Variant params[3] = {fh::WString(Memory, u"чек"), fh::I4(1), fh::Empty()};
    EXPECT_TRUE(Slots().CallAsFunc(mEcho, &result, params, 3));
    EXPECT_EQ(Object->calls, 1);
    EXPECT_EQ(Object->lastCount, 3);  // not the registered 2
    EXPECT_EQ(Object->lastResult, &result);
    EXPECT_EQ(Object->lastConnection, Connection.Connection());
    EXPECT_EQ(fh::TypeOf(result), VTYPE_PWSTR);
    EXPECT_EQ(fh::ReadWString(result), u"echo:чек");

    EXPECT_TRUE(Slots().CallAsFunc(mDup, &result, params, 0));
    EXPECT_EQ(Object->lastCount, 0);
    EXPECT_EQ(fh::ReadWString(result), u"echo:");
    EXPECT_FALSE(Slots().CallAsFunc(mNo, &result, params, 0));  // the handler's own answer
    EXPECT_TRUE(Connection.Errors().empty());
    fh::Release(Memory, result);
    fh::Release(Memory, params[0]);
    EXPECT_EQ(Memory.LiveBlocks(), 0u);
    EXPECT_EQ(Memory.BadFrees(), 0u);
}

TEST_F(Dispatch, FailuresInHandlersAreReportedOnceAndAnswerFalse) {
    Connect();
    struct TCase {
        const char* name;
        int32_t method;
        bool asFunc;
        std::u16string message;
    };
    const TCase cases[] = {
        {"failure, as function", mFail, true, u"Нет связи с ККТ"},
        {"failure, as procedure", mFail, false, u"Нет связи с ККТ"},
        {"standard exception", mCrash, true, u"disk on fire"},
        {"anything else", mOdd, true, FailureMessage(std::make_exception_ptr(42))},
        {"procedure form", mResetFail, true, u"процедура"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        Connection.ClearErrors();
        V8Variant result = fh::Empty();
        V8Variant param = fh::Empty();
        const bool answer = c.asFunc ? Slots().CallAsFunc(c.method, &result, &param, 1)
                                     : Slots().CallAsProc(c.method, &param, 1);
        EXPECT_FALSE(answer);
        ASSERT_EQ(Connection.Errors().size(), 1u);
        const fh::TErrorReport& report = Connection.Errors()[0];
        EXPECT_EQ(report.wcode, 1006);
        EXPECT_EQ(report.source, u"Внешняя компонента");
        EXPECT_EQ(report.descr, c.message);
        EXPECT_EQ(report.scode, -2147467259);
        EXPECT_FALSE(report.descr.empty());
    }
    EXPECT_EQ(Memory.LiveBlocks(), 0u);
}

TEST_F(Dispatch, AWriteBeforeTheFailureStaysInTheHostsValue) {
    Connect();
    V8Variant result = fh::Empty();
    EXPECT_FALSE(Slots().CallAsFunc(mFail, &result, nullptr, 0));
    EXPECT_EQ(fh::TypeOf(result), VTYPE_I4);
    EXPECT_EQ(result.VarEnum.lVal, 99);
}

TEST_F(Dispatch, FailureWithoutConnectionAnswersFalseSilently) {
    Connect(false, true);
    V8Variant result = fh::Empty();
    EXPECT_FALSE(Slots().CallAsFunc(mFail, &result, nullptr, 0));
    EXPECT_FALSE(Slots().CallAsFunc(mCrash, &result, nullptr, 0));
    V8Variant value = fh::Empty();
    EXPECT_FALSE(Slots().SetPropVal(pBroken, &value));
    EXPECT_EQ(Object->calls, 2);
    EXPECT_TRUE(Connection.Errors().empty());
}

TEST_F(Dispatch, CallAsProcGivesAFunctionAScratchResultAndFreesIt) {
    Connect();
    V8Variant param = fh::WString(Memory, u"арг");
    const size_t before = Memory.LiveBlocks();
    EXPECT_TRUE(Slots().CallAsProc(mEcho, &param, 1));
    EXPECT_EQ(Object->calls, 1);
    EXPECT_EQ(Object->lastCount, 1);
    ASSERT_NE(Object->lastResult, nullptr);
    EXPECT_NE(Object->lastResult, &param);
    EXPECT_EQ(Memory.AllocCalls(), 1u);  // the handler's result text...
    EXPECT_EQ(Memory.LiveBlocks(), before);  // ...freed afterwards
    EXPECT_EQ(fh::ReadWString(param), u"арг");
    EXPECT_EQ(Memory.BadFrees(), 0u);
    fh::Release(Memory, param);
}

TEST_F(Dispatch, ProceduresRunFromBothCallSlots) {
    Connect();
    V8Variant param = fh::Empty();
    EXPECT_TRUE(Slots().CallAsProc(mReset, &param, 1));
    EXPECT_EQ(Object->procCalls, 1);
    EXPECT_EQ(fh::TypeOf(param), VTYPE_I4);
    EXPECT_EQ(param.VarEnum.lVal, 1);

    // As a function: the procedure runs and the result stays as it is.
    V8Variant result = fh::WString(Memory, u"untouched");
    EXPECT_TRUE(Slots().CallAsFunc(mReset, &result, &param, 1));
    EXPECT_EQ(Object->procCalls, 2);
    EXPECT_EQ(fh::ReadWString(result), u"untouched");
    EXPECT_TRUE(Connection.Errors().empty());
    fh::Release(Memory, result);
}

TEST_F(Dispatch, PropertiesCallTheAccessorForReadingAndWriting) {
    Connect();
    V8Variant value = fh::Empty();
    EXPECT_TRUE(Slots().GetPropVal(pSpeed, &value));
    EXPECT_EQ(fh::TypeOf(value), VTYPE_I4);
    EXPECT_EQ(value.VarEnum.lVal, 7);
    value = fh::WString(Memory, u"12");
    EXPECT_TRUE(Slots().SetPropVal(pSpeed, &value));
    EXPECT_EQ(Object->speed, 12);
    fh::Release(Memory, value);

    // No accessor: false, no report.
    EXPECT_FALSE(Slots().GetPropVal(pMute, &value));
    EXPECT_FALSE(Slots().SetPropVal(pMute, &value));
    EXPECT_TRUE(Connection.Errors().empty());

    // A failing accessor is reported like a failing method.
    EXPECT_FALSE(Slots().GetPropVal(pBroken, &value));
    ASSERT_EQ(Connection.Errors().size(), 1u);
    EXPECT_EQ(Connection.Errors()[0].descr, u"свойство");
}

TEST_F(Dispatch, GetParamDefValueCopiesTheLastMatchingDefault) {
    Connect();
    V8Variant value = fh::Bool(true);
    ASSERT_TRUE(Slots().GetParamDefValue(mEcho, 0, &value));
    EXPECT_EQ(fh::TypeOf(value), VTYPE_I4);
    EXPECT_EQ(value.VarEnum.lVal, 6);
    EXPECT_EQ(Memory.AllocCalls(), 0u);

    // No default: false, the value is not touched.
    value = fh::Bool(true);
    EXPECT_FALSE(Slots().GetParamDefValue(mEcho, 2, &value));
    EXPECT_FALSE(Slots().GetParamDefValue(mReset, 0, &value));
    EXPECT_EQ(fh::TypeOf(value), VTYPE_BOOL);
    EXPECT_EQ(value.VarEnum.bVal, 1);
    EXPECT_EQ(Memory.AllocCalls(), 0u);
}

TEST_F(Dispatch, TextDefaultsReachTheHostInBlocksOfItsOwnHeap) {
    // The host frees the payload of every value it gets back, so a text
    // default is handed over as a copy in host memory, never as the
    // registered text itself.
    Connect();
    V8Variant wide = fh::Empty();
    ASSERT_TRUE(Slots().GetParamDefValue(mEcho, 1, &wide));
    EXPECT_EQ(fh::TypeOf(wide), VTYPE_PWSTR);
    EXPECT_EQ(wide.VarEnum.vtRecWideString.wstrLen, 6u);
    EXPECT_EQ(TakeHostText(wide.VarEnum.vtRecWideString.pwstrVal), u"второй");

    V8Variant narrow = fh::Empty();
    ASSERT_TRUE(Slots().GetParamDefValue(mDup, 0, &narrow));
    EXPECT_EQ(fh::TypeOf(narrow), VTYPE_PSTR);
    EXPECT_TRUE(Memory.Owns(narrow.VarEnum.vtRecString.pstrVal));
    EXPECT_EQ(Memory.BlockSize(narrow.VarEnum.vtRecString.pstrVal), 7u);
    EXPECT_EQ(fh::ReadBytes(narrow), "narrow");
    EXPECT_EQ(narrow.VarEnum.vtRecString.pstrVal[6], 0);
    fh::Release(Memory, narrow);  // what the host does with it
    EXPECT_EQ(Memory.LiveBlocks(), 0u);
    EXPECT_EQ(Memory.BadFrees(), 0u);

    // The host refuses the block: false, and its value stays as it was.
    Memory.RefuseNext(1);
    V8Variant refused = fh::I4(3);
    EXPECT_FALSE(Slots().GetParamDefValue(mEcho, 1, &refused));
    EXPECT_EQ(fh::TypeOf(refused), VTYPE_I4);
    EXPECT_EQ(refused.VarEnum.lVal, 3);
    EXPECT_EQ(Memory.LiveBlocks(), 0u);
}

TEST_F(Dispatch, TextDefaultsNeedTheMemoryManager) {
    Connect(true, false);
    V8Variant value = fh::I4(3);
    EXPECT_FALSE(Slots().GetParamDefValue(mEcho, 1, &value));
    EXPECT_EQ(fh::TypeOf(value), VTYPE_I4);
    EXPECT_EQ(value.VarEnum.lVal, 3);
    // Scalars need none.
    EXPECT_TRUE(Slots().GetParamDefValue(mEcho, 0, &value));
    EXPECT_EQ(value.VarEnum.lVal, 6);
}

TEST_F(Dispatch, EveryViewLeadsToTheSameObject) {
    EXPECT_EQ(ObjectOfView(Record().InitDoneView()), Object);
    EXPECT_EQ(ObjectOfView(Record().LanguageExtenderView()), Object);
    EXPECT_EQ(ObjectOfView(Record().LocaleBaseView()), Object);
    // Through the language view the slots see what Init handed over.
    Connect();
    V8Variant result = fh::Empty();
    EXPECT_FALSE(Slots().CallAsFunc(mCrash, &result, nullptr, 0));
    EXPECT_EQ(Connection.Errors().size(), 1u);
}

}  // namespace
