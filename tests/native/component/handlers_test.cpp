// The component's handlers reached through the host's CallAsFunc slot: what
// each hands to the driver, what it writes back, its trace and error lines,
// its failures with and without a driver, and the driver's format version.
#include <algorithm>

#include "component/description.h"
#include "driver/driver30.h"
#include "hostapi/hostvalues.h"
#include "platform/platform.h"
#include "tests/native/component/component_support.h"
#include "tests/support/decimalseparator.h"

namespace comptest {
namespace {

struct TOut {
    int32_t Arg;
    bool IsInt;
    std::string Text;
    int32_t Int;
};
TOut OutText(int32_t arg, const std::string& text) { return {arg, false, text, 0}; }
TOut OutInt(int32_t arg, int32_t value) { return {arg, true, std::string(), value}; }

// Whether a host value still holds what the host passed: the same type and
// the same payload, whatever the kind.
bool SameHostValue(const V8Variant& passed, const V8Variant& now) {
    if (fakehost::TypeOf(passed) != fakehost::TypeOf(now)) return false;
    switch (fakehost::TypeOf(passed)) {
        case VTYPE_BOOL: return passed.VarEnum.bVal == now.VarEnum.bVal;
        case VTYPE_I4: return passed.VarEnum.lVal == now.VarEnum.lVal;
        case VTYPE_R8: return passed.VarEnum.dblVal == now.VarEnum.dblVal;
        case VTYPE_PSTR: return fakehost::ReadBytes(passed) == fakehost::ReadBytes(now);
        case VTYPE_PWSTR: return fakehost::ReadWString(passed) == fakehost::ReadWString(now);
        default: return fakehost::IsAllZero(passed) && fakehost::IsAllZero(now);
    }
}

struct THandlerCase {
    int32_t Index;
    std::string TraceName;
    std::vector<THostArg> Args;
    std::string DriverCall;  // as the stand-in records it, "@" and the format version included
    bool IntResult;          // RetValue is an integer (else the driver's boolean answer)
    int32_t RetInt;
    std::vector<TOut> Outs;
};

const std::vector<THandlerCase>& HandlerCases() {
    static const std::vector<THandlerCase> cases = {
        {0, "GetInterfaceRevision", {}, "GetInterfaceRevision()@47", true, 3012, {}},
        {2, "GetLastError", {HostOut()}, "GetLastError([])@0", true, -7, {OutText(0, "GetLastError->0")}},
        {3, "GetParameters", {HostOut()}, "GetParameters([])@0", false, 0, {OutText(0, "GetParameters->0")}},
        {4, "SetParameter", {T(u"Port"), I(3)}, "SetParameter(Port|text:3)@0", false, 0, {}},
        {5, "Open", {HostOut()}, "Open([])@0", false, 0, {OutText(0, "Open->0")}},
        {6, "Close", {T(u"dev-1")}, "Close(dev-1)@0", false, 0, {}},
        {7, "DeviceTest", {HostOut(), HostOut()}, "DeviceTest([]|[])@0", false, 0,
         {OutText(0, "DeviceTest->0"), OutText(1, "DeviceTest->1")}},
        {8, "GetAdditionalActions", {HostOut()}, "GetAdditionalActions([])@0", false, 0,
         {OutText(0, "GetAdditionalActions->0")}},
        {9, "DoAdditionalAction", {T(u"Печать")}, "DoAdditionalAction(Печать)@0", false, 0, {}},
        {10, "GetLocalizationPattern", {HostOut()}, "GetLocalizationPattern([])@0", false, 0,
         {OutText(0, "GetLocalizationPattern->0")}},
        {11, "SetLocalization", {T(u"ru")}, "SetLocalization(ru|)@0", false, 0, {}},
        {12, "EquipmentParameters", {T(u"ККТ"), HostOut()}, "EquipmentParameters(ККТ|[])@46", false, 0,
         {OutText(1, "EquipmentParameters->0")}},
        {13, "EquipmentTest", {T(u"ККТ"), T(u"<conn/>"), HostOut(), HostOut()}, "EquipmentTest(ККТ|<conn/>|[]|[])@0",
         false, 0, {OutText(2, "EquipmentTest->0"), OutText(3, "EquipmentTest->1")}},
        {14, "SetAppInfo", {T(u"<app/>")}, "SetApplicationInformation(<app/>)@0", false, 0, {}},
        {15, "ConnectEquipment", {HostOut(), T(u"ККТ"), T(u"<conn/>")}, "ConnectEquipment(ККТ|<conn/>|[])@0", false,
         0, {OutText(0, "ConnectEquipment->0")}},
        {16, "DisconnectEquipment", {T(u"dev-1")}, "DisconnectEquipment(dev-1)@0", false, 0, {}},
        {17, "EquipmentAutoSetup", {HostOut(), T(u"<in/>"), HostOut(), B(true), I(5)},
         "EquipmentAutoSetup(<in/>|true|5|[]|[])@0", false, 0,
         {OutText(0, "EquipmentAutoSetup->0"), OutText(2, "EquipmentAutoSetup->1")}},
        {18, "GetDataKKT", {T(u"dev-1"), HostOut()}, "GetDataKKT(dev-1|[])@0", false, 0,
         {OutText(1, "GetDataKKT->0")}},
        {19, "OperationFN", {T(u"dev-1"), I(2), T(u"<fiscal/>")}, "OperationFN(dev-1|2|<fiscal/>)@0", false, 0,
         {}},
        {20, "OpenShift", {T(u"dev-1"), T(u"<in/>"), HostOut()}, "OpenShift(dev-1|<in/>|[])@0", false, 0,
         {OutText(2, "OpenShift->0")}},
        {21, "CloseShift", {T(u"dev-1"), T(u"<in/>"), HostOut()}, "CloseShift(dev-1|<in/>|[])@0", false, 0,
         {OutText(2, "CloseShift->0")}},
        {22, "ProcessCheck", {T(u"dev-1"), B(true), T(u"<check/>"), HostOut()},
         "ProcessCheck(dev-1|true|<check/>|[])@30", false, 0, {OutText(3, "ProcessCheck->0")}},
        {23, "ProcessCorrectionCheck", {T(u"dev-1"), B(false), T(u"<check/>"), HostOut()},
         "ProcessCorrectionCheck(dev-1|false|<check/>|[])@0", false, 0, {OutText(3, "ProcessCorrectionCheck->0")}},
        {24, "PrintTextDocument", {T(u"dev-1"), T(u"<doc/>")}, "PrintTextDocument(dev-1|<doc/>)@0", false, 0, {}},
        {25, "CashInOutcome", {T(u"dev-1"), T(u"<in/>"), D(150.25)}, "CashInOutcome(dev-1|<in/>|150.25)@0", false,
         0, {}},
        {26, "PrintXReport", {T(u"dev-1"), T(u"<in/>")}, "PrintXReport(dev-1|<in/>)@0", false, 0, {}},
        {27, "PrintCheckCopy", {T(u"dev-1"), T(u"25")}, "PrintCheckCopy(dev-1|25)@0", false, 0, {}},
        {28, "GetCurrentStatus", {T(u"dev-1"), T(u"<in/>"), HostOut()}, "GetCurrentStatus(dev-1|<in/>|[])@0", false,
         0, {OutText(2, "GetCurrentStatus->0")}},
        {29, "ReportCurrentStatusOfSettlements", {T(u"dev-1"), T(u"<in/>"), HostOut()},
         "ReportCurrentStatusOfSettlements(dev-1|<in/>|[])@0", false, 0,
         {OutText(2, "ReportCurrentStatusOfSettlements->0")}},
        {30, "OpenCashDrawer", {T(u"dev-1")}, "OpenCashDrawer(dev-1)@0", false, 0, {}},
        {31, "GetLineLength", {T(u"dev-1"), HostOut()}, "GetLineLength(dev-1)@0", false, 0, {OutInt(1, 48)}},
        {32, "OpenSessionRegistrationKM", {T(u"dev-1")}, "OpenSessionRegistrationKM(dev-1)@0", false, 0, {}},
        {33, "CloseSessionRegistrationKM", {T(u"dev-1")}, "CloseSessionRegistrationKM(dev-1)@0", false, 0, {}},
        {34, "RequestKM", {T(u"dev-1"), T(u"<km/>"), HostOut()}, "RequestKM(dev-1|<km/>|[])@0", false, 0,
         {OutText(2, "RequestKM->0")}},
        {35, "GetProcessingKMResult", {T(u"dev-1"), HostOut(), HostOut()}, "GetProcessingKMResult(dev-1|[])@0", false,
         0, {OutText(1, "GetProcessingKMResult->0"), OutInt(2, 2)}},
        {36, "ConfirmKM", {T(u"dev-1"), T(u"guid-7"), I(1)}, "ConfirmKM(dev-1|guid-7|1)@0", false, 0, {}},
    };
    return cases;
}

class HandlersTest : public TComponentTest {};

TEST_F(HandlersTest, EveryHandlerForwardsItsArgumentsAndWritesTheDriversAnswersBack) {
    for (bool answer : {true, false}) {
        for (const THandlerCase& c : HandlerCases()) {
            if (c.IntResult && !answer) continue;
            SCOPED_TRACE(c.TraceName + (answer ? " answering true" : " answering false"));
            FState = TDriverState();
            FState.Answer = answer;
            logtest::WriteAll(FLogPath, "");
            TV8ComponentBase* object = NewObject();

            TCallResult r = Call(object, c.Index, c.Args);

            EXPECT_TRUE(r.Answer) << "a call that went through answers true, whatever the driver said";
            EXPECT_EQ(std::vector<std::string>{c.DriverCall}, FState.Calls);
            if (c.IntResult) {
                EXPECT_EQ(VTYPE_I4, fakehost::TypeOf(r.Ret));
                EXPECT_EQ(c.RetInt, r.Ret.VarEnum.lVal);
            } else {
                EXPECT_EQ(VTYPE_BOOL, fakehost::TypeOf(r.Ret));
                EXPECT_EQ(answer ? 1 : 0, r.Ret.VarEnum.bVal);
                // What the method table (and so the README) says of the result.
                EXPECT_EQ(u"the driver's answer", std::u16string(Extention30Methods[c.Index].Result.Meaning));
            }
            for (size_t k = 0; k < c.Args.size(); ++k) {
                auto out = std::find_if(c.Outs.begin(), c.Outs.end(),
                                        [&](const TOut& o) { return o.Arg == static_cast<int32_t>(k); });
                const V8Variant& v = r.Params[k];
                if (out == c.Outs.end()) {
                    // Inputs are left as the host passed them.
                    V8Variant original = Make(c.Args[k]);
                    EXPECT_TRUE(SameHostValue(original, v)) << "argument " << k;
                    fakehost::Release(FMM, original);
                } else if (out->IsInt) {
                    EXPECT_EQ(VTYPE_I4, fakehost::TypeOf(v)) << "argument " << k;
                    EXPECT_EQ(out->Int, v.VarEnum.lVal) << "argument " << k;
                } else {
                    EXPECT_EQ(VTYPE_PWSTR, fakehost::TypeOf(v)) << "argument " << k;
                    EXPECT_EQ(out->Text, U8(fakehost::ReadWString(v))) << "argument " << k;
                }
            }

            std::vector<std::string> lines = LogLines();
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(Debug("TExtention30 " + c.TraceName + " ParamCount = " + std::to_string(c.Args.size())),
                      lines[0]);
            for (const std::string& line : lines) EXPECT_EQ(std::string::npos, line.find("[ERROR]")) << line;
            EXPECT_TRUE(FHost.Errors().empty());

            Release(r);
            Destroy(object);
            EXPECT_EQ(FState.Created, FState.Destroyed) << "the driver object goes with the component";
            EXPECT_EQ(0u, FMM.LiveBlocks()) << "every text written for the host is the host's to free";
            EXPECT_EQ(0u, FMM.BadFrees());
        }
    }
}

TEST_F(HandlersTest, AnOutArgumentThatTheHostCannotStoreDoesNotFailTheCall) {
    TV8ComponentBase* object = NewObject();
    FMM.RefuseNext(1);
    TCallResult r = Call(object, 3, {HostOut()});  // GetParameters
    EXPECT_TRUE(r.Answer);
    EXPECT_EQ(1, r.Ret.VarEnum.bVal);
    // The second trace line shows what the host actually holds.
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(Debug("TExtention30 GetParameters = "), lines[1]);
    Release(r);
}

TEST_F(HandlersTest, GetParametersTracesTheTableItHandedBack) {
    TV8ComponentBase* object = NewObject();
    TCallResult r = Call(object, 3, {HostOut()});
    EXPECT_EQ((std::vector<std::string>{Debug("TExtention30 GetParameters ParamCount = 1"),
                                        Debug("TExtention30 GetParameters = GetParameters->0")}),
              LogLines());
    Release(r);
}

TEST_F(HandlersTest, PrintTextDocumentWritesItsArgumentsStraightToTheSharedLog) {
    TV8ComponentBase* object = NewObject();
    TCallResult r = Call(object, 24, {T(u"1"), T(u"<Документ/>")});
    EXPECT_EQ((std::vector<std::string>{Debug("TExtention30 PrintTextDocument ParamCount = 2"),
                                        Debug("DeviceID 1"), Debug("DocumentPackage <Документ/>"),
                                        Debug("TDriver30 PrintTextDocument 1")}),
              LogLines());
    Release(r);
}

TEST_F(HandlersTest, SetParameterHandsTheValueToTheDriverAsText) {
    platform::SetUserDecimalSeparatorForTests(u',');
    struct TCase {
        THostArg Value;
        std::string Received;
    } cases[] = {
        {I(3), "text:3"},           {I(-12), "text:-12"},       {B(true), "text:True"},
        {B(false), "text:False"},   {T(u"COM3"), "text:COM3"},  {D(1.5), "text:1,5"},
        {A("8-bit"), "text:"},      {E(), "text:"},
    };
    TV8ComponentBase* object = NewObject();
    for (const TCase& c : cases) {
        FState.Calls.clear();
        TCallResult r = Call(object, 4, {T(u"Port"), c.Value});
        EXPECT_TRUE(r.Answer);
        EXPECT_EQ(std::vector<std::string>{"SetParameter(Port|" + c.Received + ")@0"}, FState.Calls);
        Release(r);
    }
    platform::SetUserDecimalSeparatorForTests(0);
}

TEST_F(HandlersTest, EquipmentAutoSetupTimeoutZeroMeansTenSeconds) {
    struct TCase {
        THostArg Timeout;
        int32_t Received;
    } cases[] = {{I(0), 10000}, {I(5), 5}, {T(u"abc"), 10000}, {D(2.7), 2}, {I(-1), -1}};
    TV8ComponentBase* object = NewObject();
    for (const TCase& c : cases) {
        FState.Calls.clear();
        TCallResult r = Call(object, 17, {HostOut(), T(u"<in/>"), HostOut(), B(false), c.Timeout});
        EXPECT_TRUE(r.Answer);
        EXPECT_EQ(std::vector<std::string>{"EquipmentAutoSetup(<in/>|false|" + std::to_string(c.Received) + "|[]|[])@0"},
                  FState.Calls);
        Release(r);
    }
}

TEST_F(HandlersTest, AnExtraArgumentIsNeitherReadNorWritten) {
    TV8ComponentBase* object = NewObject();
    TCallResult r = Call(object, 22, {T(u"dev-1"), B(true), T(u"<check/>"), HostOut(), T(u"extra")});
    EXPECT_TRUE(r.Answer);
    EXPECT_EQ(std::vector<std::string>{"ProcessCheck(dev-1|true|<check/>|[])@30"}, FState.Calls);
    EXPECT_EQ(u"extra", fakehost::ReadWString(r.Params[4]));
    EXPECT_EQ(LogLines()[0], Debug("TExtention30 ProcessCheck ParamCount = 5"));
    Release(r);
}

TEST_F(HandlersTest, TooFewArgumentsAreLoggedInsideTheGuardedPartAndReportedOutsideIt) {
    TV8ComponentBase* object = NewObject();

    // ProcessCheck: the format version is set before the count is checked.
    TCallResult r = Call(object, 22, {T(u"dev-1"), B(true), T(u"<check/>")});
    EXPECT_FALSE(r.Answer);
    EXPECT_TRUE(FState.Calls.empty());
    EXPECT_EQ(std::vector<int32_t>{30}, FState.FormatVersionWrites);
    EXPECT_EQ((std::vector<std::string>{Debug("TExtention30 ProcessCheck ParamCount = 3"),
                                        ErrorLine("TExtention30 Incorrect Params count: 3; Must be: 4")}),
              LogLines());
    EXPECT_EQ(u"host-result", fakehost::ReadWString(r.Ret));
    EXPECT_TRUE(FHost.Errors().empty());
    Release(r);

    // SetApplicationInformation has no guarded part: the host hears of it.
    logtest::WriteAll(FLogPath, "");
    r = Call(object, 14, {}, 0);
    EXPECT_FALSE(r.Answer);
    EXPECT_EQ(std::vector<std::string>{Debug("TExtention30 SetAppInfo ParamCount = 0")}, LogLines());
    ASSERT_EQ(1u, FHost.Errors().size());
    EXPECT_EQ(u"Incorrect Params count: 0; Must be: 1", FHost.Errors()[0].descr);
    EXPECT_EQ(ADDIN_E_FAIL, FHost.Errors()[0].wcode);
    EXPECT_EQ(u"Внешняя компонента", FHost.Errors()[0].source);
    EXPECT_EQ(V8_E_FAIL, FHost.Errors()[0].scode);
    Release(r);
}

TEST(CheckParamCountTest, RaisesOnlyWhenTooFewArguments) {
    struct TCase {
        int32_t Given, Required;
        bool Raises;
    } cases[] = {{3, 4, true}, {0, 1, true}, {-1, 0, true}, {4, 4, false}, {5, 4, false}, {0, 0, false}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Given) + " of " + std::to_string(c.Required));
        try {
            TExtention30::CheckParamCount(c.Given, c.Required);
            EXPECT_FALSE(c.Raises);
        } catch (const EFailure& e) {
            EXPECT_TRUE(c.Raises);
            EXPECT_EQ(u"Incorrect Params count: " + text::FromInt(c.Given) + u"; Must be: " +
                          text::FromInt(c.Required),
                      e.Message());
        }
    }
}

// --- Without a driver ------------------------------------------------------------

std::u16string StatusFailureText() {
    try {
        RaiseStatusFailure(STATUS_E_UNEXPECTED);
    } catch (const EFailure& e) {
        return e.Message();
    }
    return std::u16string();
}

// For every method on a machine without the fiscal driver: whether the host
// receives a report, or the component logs the failure and answers false.
TEST_F(HandlersTest, WithoutADriverGuardedFailuresAreLoggedAndTheOthersReported) {
    FState.CreationFails = true;
    const std::string noDriver = "Объект драйвера не установлен";
    const std::string status = U8(StatusFailureText());
    ASSERT_FALSE(status.empty());
    for (const THandlerCase& c : HandlerCases()) {
        SCOPED_TRACE(c.TraceName);
        logtest::WriteAll(FLogPath, "");
        FHost.ClearErrors();
        const int attemptsBefore = FState.CreationAttempts;
        TV8ComponentBase* object = NewObject();
        TCallResult r = Call(object, c.Index, c.Args);
        const int attempts = FState.CreationAttempts - attemptsBefore;

        EXPECT_FALSE(r.Answer);
        EXPECT_TRUE(FState.Calls.empty());
        EXPECT_EQ(u"host-result", fakehost::ReadWString(r.Ret)) << "the result value keeps what the host passed";
        for (size_t k = 0; k < c.Args.size(); ++k) {
            V8Variant original = Make(c.Args[k]);
            EXPECT_TRUE(SameHostValue(original, r.Params[k])) << "argument " << k;
            fakehost::Release(FMM, original);
        }

        // Every failed creation leaves the adapter's line with its cause, and
        // only those lines come from the adapter's logger as errors.
        std::vector<std::string> lines = LogLines();
        std::vector<std::string> errors, causes;
        for (const std::string& line : lines) {
            if (line.rfind("[ERROR] TDriver30 ", 0) == 0)
                causes.push_back(line);
            else if (line.rfind("[ERROR] ", 0) == 0)
                errors.push_back(line);
        }
        EXPECT_GE(attempts, 1);
        EXPECT_EQ(std::vector<std::string>(static_cast<size_t>(attempts), CreationCauseLine()), causes);
        const bool unguarded = c.Index == 0 || c.Index == 12 || c.Index == 14;
        if (unguarded) {
            ASSERT_EQ(1u, FHost.Errors().size());
            EXPECT_EQ(noDriver, U8(FHost.Errors()[0].descr));
            EXPECT_TRUE(errors.empty());
            if (c.Index == 14) {
                EXPECT_EQ((std::vector<std::string>{Debug("TExtention30 SetAppInfo ParamCount = 1"), CreationCauseLine()}),
                          lines);
            } else {
                EXPECT_EQ(std::vector<std::string>{CreationCauseLine()}, lines)
                    << "the format version comes before the trace line";
            }
        } else {
            EXPECT_TRUE(FHost.Errors().empty());
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(Debug("TExtention30 " + c.TraceName + " ParamCount = " + std::to_string(c.Args.size())),
                      lines[0]);
            const bool statusReturning = c.Index == 15 || c.Index == 16 || c.Index == 17;
            EXPECT_EQ(std::vector<std::string>{ErrorLine("TExtention30 " + (statusReturning ? status : noDriver))},
                      errors);
            EXPECT_EQ(lines.back(), errors.back()) << "the error line is the last one";
        }
        Release(r);
        Destroy(object);
    }
    EXPECT_EQ(0, FState.Created);
    EXPECT_EQ(0u, FMM.LiveBlocks());
}

TEST_F(HandlersTest, WithoutAnAdapterEveryUseOfTheDriverFailsAsAnAdapterFailure) {
    FState.AdapterCreationFails = true;
    TV8ComponentBase* object = NewObject();
    EXPECT_TRUE(LogLines().empty()) << "construction writes nothing";

    TCallResult open = Call(object, 5, {HostOut()});
    EXPECT_FALSE(open.Answer);
    EXPECT_EQ((std::vector<std::string>{Debug("TExtention30 Open ParamCount = 1"),
                                        ErrorLine("TExtention30 Объект драйвера не установлен")}),
              LogLines());
    EXPECT_EQ(u"host-value", fakehost::ReadWString(open.Params[0]));

    // Status-returning operations cannot even be reached: the same failure.
    logtest::WriteAll(FLogPath, "");
    TCallResult connect = Call(object, 15, {HostOut(), T(u"ККТ"), T(u"<conn/>")});
    EXPECT_FALSE(connect.Answer);
    EXPECT_EQ(ErrorLine("TExtention30 Объект драйвера не установлен"), LogLines().back());

    TCallResult revision = Call(object, 0, {});
    EXPECT_FALSE(revision.Answer);
    ASSERT_EQ(1u, FHost.Errors().size());
    EXPECT_EQ(u"Объект драйвера не установлен", FHost.Errors()[0].descr);
    EXPECT_EQ(0, FState.Created);
    Release(open);
    Release(connect);
    Release(revision);
}

TEST_F(HandlersTest, ADriverFailureIsLoggedWithTheDriversText) {
    FState.FailingOperation = "ProcessCorrectionCheck";
    TV8ComponentBase* object = NewObject();
    TCallResult r = Call(object, 23, {T(u"dev-1"), B(true), T(u"<check/>"), HostOut()});
    EXPECT_FALSE(r.Answer);
    EXPECT_EQ(ErrorLine("TExtention30 " + U8(recdriver::OperationFailureText())), LogLines().back());
    EXPECT_EQ(u"host-result", fakehost::ReadWString(r.Ret));
    EXPECT_EQ(u"host-value", fakehost::ReadWString(r.Params[3]));
    EXPECT_TRUE(FHost.Errors().empty());
    Release(r);
}

TEST_F(HandlersTest, ComponentObjectsAreMadeWithoutTouchingTheDriver) {
    FState.CreationFails = true;
    TV8ComponentBase* object = NewObject();
    ASSERT_NE(nullptr, object);
    EXPECT_EQ(0, FState.Created);
    EXPECT_TRUE(LogLines().empty());
    // The object has its adapter all the same: the adapter's own line comes
    // before the driver's creation fails.
    TCallResult r = Call(object, 5, {HostOut()});
    EXPECT_FALSE(r.Answer);
    EXPECT_EQ((std::vector<std::string>{Debug("TExtention30 Open ParamCount = 1"), Debug("TDriver30 Open"),
                                        CreationCauseLine(), ErrorLine("TExtention30 Объект драйвера не установлен")}),
              LogLines());
    EXPECT_EQ(1, FState.CreationAttempts);
    Release(r);
}

TEST_F(HandlersTest, TheDriverObjectIsMadeOnceAndLivesWithItsComponent) {
    TV8ComponentBase* first = NewObject();
    TV8ComponentBase* second = NewObject();
    for (int i = 0; i < 3; ++i) {
        TCallResult r = Call(first, 6, {T(u"dev-1")});
        Release(r);
    }
    EXPECT_EQ(1, FState.Created);
    TCallResult r = Call(second, 6, {T(u"dev-2")});
    Release(r);
    EXPECT_EQ(2, FState.Created);
    Destroy(first);
    EXPECT_EQ(1, FState.Destroyed);
    Destroy(second);
    EXPECT_EQ(2, FState.Destroyed);
}

TEST_F(HandlersTest, DeleteThroughAnyInterfaceClosesTheDriverObjectWithItsComponent) {
    for (int view = 0; view < 3; ++view) {
        SCOPED_TRACE("view " + std::to_string(view));
        TV8ComponentBase* object = NewObject();
        TCallResult r = Call(object, 6, {T(u"dev-1")});
        Release(r);
        const int destroyed = FState.Destroyed;
        EXPECT_EQ(&object->Views[view], DeleteThrough(object, view));
        EXPECT_EQ(destroyed + 1, FState.Destroyed);
    }
    EXPECT_EQ(FState.Created, FState.Destroyed);
}

// --- Format version -----------------------------------------------------------------

TEST_F(HandlersTest, TheFormatVersionStaysWithTheDriverUntilAnotherHandlerSetsIt) {
    const std::vector<THostArg> correction = {T(u"dev-1"), B(false), T(u"<check/>"), HostOut()};
    struct TCase {
        std::string Name;
        std::vector<std::pair<int32_t, std::vector<THostArg>>> Before;
        int32_t Expected;
        std::vector<int32_t> Writes;
    } cases[] = {
        {"nothing before: the driver's own value", {}, 0, {}},
        {"after ProcessCheck", {{22, correction}}, 30, {30}},
        {"after GetDescription", {{1, {HostOut()}}}, 47, {47, 47}},
        {"after EquipmentParameters", {{12, {T(u"ККТ"), HostOut()}}}, 46, {46}},
        {"after GetInterfaceRevision", {{0, {}}}, 47, {47}},
        {"ProcessCheck then GetDescription", {{22, correction}, {1, {HostOut()}}}, 47, {30, 47, 47}},
        {"GetDescription then ProcessCheck", {{1, {HostOut()}}, {22, correction}}, 30, {47, 47, 30}},
        {"other handlers leave it", {{22, correction}, {5, {HostOut()}}, {3, {HostOut()}}}, 30, {30}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        FState = TDriverState();
        TV8ComponentBase* object = NewObject();
        for (const auto& call : c.Before) {
            TCallResult r = Call(object, call.first, call.second);
            EXPECT_TRUE(r.Answer);
            Release(r);
        }
        TCallResult r = Call(object, 23, correction);
        EXPECT_TRUE(r.Answer);
        EXPECT_EQ("ProcessCorrectionCheck(dev-1|false|<check/>|[])@" + std::to_string(c.Expected), FState.Calls.back());
        EXPECT_EQ(c.Writes, FState.FormatVersionWrites);
        Release(r);
        Destroy(object);
    }
}

TEST_F(HandlersTest, ARefusedFormatVersionFailsLikeTheDriverItself) {
    FState.FormatVersionWriteFails = true;
    TV8ComponentBase* object = NewObject();
    TCallResult check = Call(object, 22, {T(u"dev-1"), B(true), T(u"<check/>"), HostOut()});
    EXPECT_FALSE(check.Answer);
    EXPECT_EQ(ErrorLine("TExtention30 Свойство не поддерживается"), LogLines().back());
    TCallResult parameters = Call(object, 12, {T(u"ККТ"), HostOut()});
    EXPECT_FALSE(parameters.Answer);
    ASSERT_EQ(1u, FHost.Errors().size());
    EXPECT_EQ(u"Свойство не поддерживается", FHost.Errors()[0].descr);
    EXPECT_TRUE(FState.Calls.empty());
    Release(check);
    Release(parameters);
}

}  // namespace
}  // namespace comptest
