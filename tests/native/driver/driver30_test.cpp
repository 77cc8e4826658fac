// The driver adapter against a recording stand-in for the driver object:
// trace lines (read back from a temporary log file), creation on first use,
// the fallbacks of the status-returning operations and the description.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/driver30.h"
#include "driver/versioninfo.h"
#include "logging/logfile.h"
#include "platform/failure.h"
#include "platform/text.h"
#include "tests/native/logging/logtest_support.h"

namespace {

// What the stand-in saw and how it answers; shared with the factory.
struct TFakeState {
    bool CreationFails = false;
    bool OperationsFail = false;
    bool VersionFails = false;
    bool PropertyFails = false;
    int Created = 0;
    int Destroyed = 0;
    int VersionReads = 0;
    int32_t FormatVersion = 0;
    std::vector<std::string> Calls;  // "Name(arg, arg, ...)" with out-args as received
};
TFakeState* GState = nullptr;

std::string U8(const std::u16string& s) { return text::ToUtf8(s); }

// Each call is recorded; out texts are recorded as they arrive (the adapter
// must have emptied them) and then answered with "<Name>.<arg>".
class TFakeDriver final : public TFiscalDriver {
public:
    TFakeDriver() { ++GState->Created; }
    ~TFakeDriver() override { ++GState->Destroyed; }

    int32_t GetInterfaceRevision() override {
        Record("GetInterfaceRevision", {});
        return 3012;
    }
    bool GetDescription(std::u16string& d) override { return Out("GetDescription", {}, {&d}); }
    int32_t GetLastError(std::u16string& e) override {
        Out("GetLastError", {}, {&e});
        return -7;
    }
    bool GetParameters(std::u16string& t) override { return Out("GetParameters", {}, {&t}); }
    bool SetParameter(const std::u16string& n, const TAutoValue& v) override {
        return Record("SetParameter", {U8(n), std::to_string(v.Kind) + ":" + U8(v.TextValue)});
    }
    bool Open(std::u16string& id) override { return Out("Open", {}, {&id}); }
    bool Close(const std::u16string& id) override { return Record("Close", {U8(id)}); }
    bool DeviceTest(std::u16string& d, std::u16string& demo) override { return Out("DeviceTest", {}, {&d, &demo}); }
    bool GetAdditionalActions(std::u16string& t) override { return Out("GetAdditionalActions", {}, {&t}); }
    bool DoAdditionalAction(const std::u16string& a) override { return Record("DoAdditionalAction", {U8(a)}); }
    bool GetDataKKT(const std::u16string& id, std::u16string& t) override { return Out("GetDataKKT", {U8(id)}, {&t}); }
    bool OperationFN(const std::u16string& id, int32_t type, const std::u16string& p) override {
        return Record("OperationFN", {U8(id), std::to_string(type), U8(p)});
    }
    bool OpenShift(const std::u16string& id, const std::u16string& in, std::u16string& out) override {
        return Out("OpenShift", {U8(id), U8(in)}, {&out});
    }
    bool CloseShift(const std::u16string& id, const std::u16string& in, std::u16string& out) override {
        return Out("CloseShift", {U8(id), U8(in)}, {&out});
    }
    bool ProcessCheck(const std::u16string& id, bool e, const std::u16string& p, std::u16string& out) override {
        return Out("ProcessCheck", {U8(id), e ? "true" : "false", U8(p)}, {&out});
    }
    bool ProcessCorrectionCheck(const std::u16string& id, bool e, const std::u16string& p,
                                std::u16string& out) override {
        return Out("ProcessCorrectionCheck", {U8(id), e ? "true" : "false", U8(p)}, {&out});
    }
    bool CashInOutcome(const std::u16string& id, const std::u16string& in, double amount) override {
        char buf[32];
        snprintf(buf, sizeof buf, "%.2f", amount);
        return Record("CashInOutcome", {U8(id), U8(in), buf});
    }
    bool PrintXReport(const std::u16string& id, const std::u16string& in) override {
        return Record("PrintXReport", {U8(id), U8(in)});
    }
    bool GetCurrentStatus(const std::u16string& id, const std::u16string& in, std::u16string& out) override {
        return Out("GetCurrentStatus", {U8(id), U8(in)}, {&out});
    }
    bool ReportCurrentStatusOfSettlements(const std::u16string& id, const std::u16string& in,
                                          std::u16string& out) override {
        return Out("ReportCurrentStatusOfSettlements", {U8(id), U8(in)}, {&out});
    }
    bool OpenCashDrawer(const std::u16string& id) override { return Record("OpenCashDrawer", {U8(id)}); }
    bool GetLineLength(const std::u16string& id, int32_t& length) override {
        Record("GetLineLength", {U8(id)});
        length = 48;
        return true;
    }
    bool PrintCheckCopy(const std::u16string& id, const std::u16string& n) override {
        return Record("PrintCheckCopy", {U8(id), U8(n)});
    }
    bool PrintTextDocument(const std::u16string& id, const std::u16string& p) override {
        return Record("PrintTextDocument", {U8(id), U8(p)});
    }
    bool OpenSessionRegistrationKM(const std::u16string& id) override {
        return Record("OpenSessionRegistrationKM", {U8(id)});
    }
    bool CloseSessionRegistrationKM(const std::u16string& id) override {
        return Record("CloseSessionRegistrationKM", {U8(id)});
    }
    bool RequestKM(const std::u16string& id, const std::u16string& r, std::u16string& out) override {
        return Out("RequestKM", {U8(id), U8(r)}, {&out});
    }
    bool GetProcessingKMResult(const std::u16string& id, std::u16string& out, int32_t& status) override {
        Out("GetProcessingKMResult", {U8(id)}, {&out});
        status = 2;
        return true;
    }
    bool ConfirmKM(const std::u16string& id, const std::u16string& guid, int32_t type) override {
        return Record("ConfirmKM", {U8(id), U8(guid), std::to_string(type)});
    }
    bool GetLocalizationPattern(std::u16string& p) override { return Out("GetLocalizationPattern", {}, {&p}); }
    bool SetLocalization(const std::u16string& l, const std::u16string& p) override {
        return Record("SetLocalization", {U8(l), U8(p)});
    }
    bool EquipmentParameters(const std::u16string& t, std::u16string& out) override {
        return Out("EquipmentParameters", {U8(t)}, {&out});
    }
    bool EquipmentTest(const std::u16string& t, const std::u16string& c, std::u16string& d,
                       std::u16string& demo) override {
        return Out("EquipmentTest", {U8(t), U8(c)}, {&d, &demo});
    }
    bool SetApplicationInformation(const std::u16string& s) override {
        return Record("SetApplicationInformation", {U8(s)});
    }
    bool ConnectEquipment(std::u16string& id, const std::u16string& t, const std::u16string& c) override {
        return Out("ConnectEquipment", {U8(t), U8(c)}, {&id});
    }
    bool DisconnectEquipment(const std::u16string& id) override { return Record("DisconnectEquipment", {U8(id)}); }
    bool EquipmentAutoSetup(std::u16string& t, const std::u16string& in, std::u16string& out, bool show,
                            int32_t timeout) override {
        return Out("EquipmentAutoSetup", {U8(in), show ? "true" : "false", std::to_string(timeout)}, {&t, &out});
    }
    int32_t Get_kelmor_FormatVersion() override {
        if (GState->PropertyFails) RaiseFailure(u"Свойство недоступно");
        return GState->FormatVersion;
    }
    void Set_kelmor_FormatVersion(int32_t v) override {
        if (GState->PropertyFails) RaiseFailure(u"Свойство недоступно");
        GState->FormatVersion = v;
    }

private:
    bool Record(const std::string& name, const std::vector<std::string>& args) {
        std::string call = name + "(";
        for (size_t i = 0; i < args.size(); ++i) call += (i ? ", " : "") + args[i];
        GState->Calls.push_back(call + ")");
        if (GState->OperationsFail) RaiseFailure(u"Ошибка драйвера 42");
        return true;
    }
    bool Out(const std::string& name, std::vector<std::string> args, const std::vector<std::u16string*>& outs) {
        for (std::u16string* out : outs) args.push_back("[" + U8(*out) + "]");
        Record(name, args);
        for (size_t i = 0; i < outs.size(); ++i) *outs[i] = text::FromUtf8(name + "." + std::to_string(i));
        return true;
    }
};

std::unique_ptr<TFiscalDriver> CreateFake() {
    if (GState->CreationFails) RaiseFailure(u"Класс не зарегистрирован");
    return std::make_unique<TFakeDriver>();
}

std::u16string ReadFakeVersion() {
    ++GState->VersionReads;
    if (GState->VersionFails) RaiseFailure(u"Main control refused");
    return u"8.4.1.77";
}

const TFiscalDriverFactory GFakeFactory = {&CreateFake, &ReadFakeVersion};

class Driver30Test : public ::testing::Test {
protected:
    void SetUp() override {
        GState = &FState;
        SetDriverFactoryForTests(&GFakeFactory);
        FLogPath = FFolder.File("driver.log");
        GetLogFile().SetFileName(text::FromUtf8(FLogPath));
        GetLogFile().SetEnabled(true);
    }
    void TearDown() override {
        GetLogFile().SetEnabled(false);
        GetLogFile().SetFileName(u"");
        SetDriverFactoryForTests(nullptr);
        GState = nullptr;
    }

    // The log lines written so far, each without its header.
    std::vector<std::string> LogLines() const {
        std::vector<std::string> result;
        for (const std::string& line : logtest::Lines(logtest::ReadAll(FLogPath)))
            result.push_back(logtest::AfterHeader(line));
        return result;
    }

    static std::string FailureOf(const std::function<void()>& call) {
        try {
            call();
        } catch (const EFailure& e) {
            return U8(e.Message());
        }
        return "(no failure)";
    }

    TFakeState FState;
    logtest::TTempFolder FFolder;
    std::string FLogPath;
};

const char* const NotInstalled = "Объект драйвера не установлен";

TEST_F(Driver30Test, EachForwardingOperationWritesItsLinesPassesItsArgumentsAndReturnsTheOuts) {
    struct TCase {
        std::vector<std::string> Lines;   // written first, after "[DEBUG] "
        std::string Call;                 // what the driver received
        std::function<std::string(TDriver30&)> Run;  // outs as text
    };
    using S = std::u16string;
    const std::vector<TCase> cases = {
        {{}, "GetParameters([])", [](TDriver30& d) { S t = u"old"; d.GetParameters(t); return U8(t); }},
        {{"TDriver30 Open"}, "Open([])", [](TDriver30& d) { S id = u"x"; d.Open(id); return U8(id); }},
        {{"TDriver30 Close: 7"}, "Close(7)", [](TDriver30& d) { d.Close(u"7"); return std::string(); }},
        {{}, "DeviceTest([], [])",
         [](TDriver30& d) { S a = u"a", b = u"b"; d.DeviceTest(a, b); return U8(a) + "|" + U8(b); }},
        {{}, "GetAdditionalActions([])",
         [](TDriver30& d) { S t = u"t"; d.GetAdditionalActions(t); return U8(t); }},
        {{"TDriver30 DoAdditionalAction Печать"}, "DoAdditionalAction(Печать)",
         [](TDriver30& d) { d.DoAdditionalAction(u"Печать"); return std::string(); }},
        {{"TDriver30 SetLocalization: ru, <P/>"}, "SetLocalization(ru, <P/>)",
         [](TDriver30& d) { d.SetLocalization(u"ru", u"<P/>"); return std::string(); }},
        {{"TDriver30 EquipmentParameters ККТ"}, "EquipmentParameters(ККТ, [])",
         [](TDriver30& d) { S t = u"t"; d.EquipmentParameters(u"ККТ", t); return U8(t); }},
        {{"TDriver30 EquipmentTest", "TDriver30 EquipmentType = ККТ", "TDriver30 ConnectionParameters = <C/>"},
         "EquipmentTest(ККТ, <C/>, [], [])",
         [](TDriver30& d) { S a = u"a", b = u"b"; d.EquipmentTest(u"ККТ", u"<C/>", a, b); return U8(a) + "|" + U8(b); }},
        {{}, "SetApplicationInformation(<A/>)",
         [](TDriver30& d) { d.SetApplicationInformation(u"<A/>"); return std::string(); }},
        {{"TDriver30 GetDataKKT 1"}, "GetDataKKT(1, [])",
         [](TDriver30& d) { S t = u"t"; d.GetDataKKT(u"1", t); return U8(t); }},
        {{"TDriver30 OperationFN 1"}, "OperationFN(1, 2, <F/>)",
         [](TDriver30& d) { d.OperationFN(u"1", 2, u"<F/>"); return std::string(); }},
        {{"TDriver30 OpenShift 1"}, "OpenShift(1, <I/>, [])",
         [](TDriver30& d) { S o = u"o"; d.OpenShift(u"1", u"<I/>", o); return U8(o); }},
        {{"TDriver30 CloseShift 1"}, "CloseShift(1, <I/>, [])",
         [](TDriver30& d) { S o = u"o"; d.CloseShift(u"1", u"<I/>", o); return U8(o); }},
        {{"TDriver30 ProcessCheck 1"}, "ProcessCheck(1, true, <Check/>, [])",
         [](TDriver30& d) { S o = u"o"; d.ProcessCheck(u"1", true, u"<Check/>", o); return U8(o); }},
        {{"TDriver30 ProcessCorrectionCheck 1"}, "ProcessCorrectionCheck(1, false, <Check/>, [])",
         [](TDriver30& d) { S o = u"o"; d.ProcessCorrectionCheck(u"1", false, u"<Check/>", o); return U8(o); }},
        {{"TDriver30 PrintTextDocument 1"}, "PrintTextDocument(1, <D/>)",
         [](TDriver30& d) { d.PrintTextDocument(u"1", u"<D/>"); return std::string(); }},
        {{"TDriver30 CashInOutcome 1"}, "CashInOutcome(1, <I/>, -12.50)",
         [](TDriver30& d) { d.CashInOutcome(u"1", u"<I/>", -12.5); return std::string(); }},
        {{"TDriver30 PrintXReport 1"}, "PrintXReport(1, <I/>)",
         [](TDriver30& d) { d.PrintXReport(u"1", u"<I/>"); return std::string(); }},
        {{"TDriver30 PrintCheckCopy 1, 25"}, "PrintCheckCopy(1, 25)",
         [](TDriver30& d) { d.PrintCheckCopy(u"1", u"25"); return std::string(); }},
        {{"TDriver30 GetCurrentStatus 1"}, "GetCurrentStatus(1, <I/>, [])",
         [](TDriver30& d) { S o = u"o"; d.GetCurrentStatus(u"1", u"<I/>", o); return U8(o); }},
        {{"TDriver30 ReportCurrentStatusOfSettlements 1"}, "ReportCurrentStatusOfSettlements(1, <I/>, [])",
         [](TDriver30& d) { S o = u"o"; d.ReportCurrentStatusOfSettlements(u"1", u"<I/>", o); return U8(o); }},
        {{"TDriver30 OpenCashDrawer 1"}, "OpenCashDrawer(1)",
         [](TDriver30& d) { d.OpenCashDrawer(u"1"); return std::string(); }},
        {{"TDriver30 GetLineLength 1"}, "GetLineLength(1)",
         [](TDriver30& d) { int32_t n = 0; d.GetLineLength(u"1", n); return std::to_string(n); }},
        {{}, "OpenSessionRegistrationKM(1)",
         [](TDriver30& d) { d.OpenSessionRegistrationKM(u"1"); return std::string(); }},
        {{}, "CloseSessionRegistrationKM(1)",
         [](TDriver30& d) { d.CloseSessionRegistrationKM(u"1"); return std::string(); }},
        {{}, "RequestKM(1, <KM/>, [])",
         [](TDriver30& d) { S o = u"o"; d.RequestKM(u"1", u"<KM/>", o); return U8(o); }},
        {{}, "GetProcessingKMResult(1, [])",
         [](TDriver30& d) {
             S o = u"o";
             int32_t status = 0;
             d.GetProcessingKMResult(u"1", o, status);
             return U8(o) + "|" + std::to_string(status);
         }},
        {{}, "ConfirmKM(1, {G}, 1)",
         [](TDriver30& d) { d.ConfirmKM(u"1", u"{G}", 1); return std::string(); }},
        {{}, "GetLastError([])",
         [](TDriver30& d) { S e = u"e"; int32_t code = d.GetLastError(e); return std::to_string(code) + "|" + U8(e); }},
    };
    const std::vector<std::string> outs = {
        "GetParameters.0", "Open.0", "", "DeviceTest.0|DeviceTest.1", "GetAdditionalActions.0", "", "",
        "EquipmentParameters.0", "EquipmentTest.0|EquipmentTest.1", "", "GetDataKKT.0", "", "OpenShift.0",
        "CloseShift.0", "ProcessCheck.0", "ProcessCorrectionCheck.0", "", "", "", "", "GetCurrentStatus.0",
        "ReportCurrentStatusOfSettlements.0", "", "48", "", "", "RequestKM.0", "GetProcessingKMResult.0|2", "",
        "-7|GetLastError.0"};
    ASSERT_EQ(cases.size(), outs.size());

    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].Call);
        FState.Calls.clear();
        size_t linesBefore = LogLines().size();
        TDriver30 adapter;
        EXPECT_EQ(cases[i].Run(adapter), outs[i]);
        ASSERT_EQ(FState.Calls.size(), 1u);
        EXPECT_EQ(FState.Calls[0], cases[i].Call);
        std::vector<std::string> lines = LogLines();
        std::vector<std::string> written(lines.begin() + static_cast<long>(linesBefore), lines.end());
        std::vector<std::string> expected;
        for (const std::string& l : cases[i].Lines) expected.push_back("[DEBUG] " + l);
        EXPECT_EQ(written, expected);
    }
}

TEST_F(Driver30Test, WithoutDriverForwardingWritesItsLineRaisesAndTriesAgainNextTime) {
    FState.CreationFails = true;
    TDriver30 adapter;
    std::u16string id = u"keep";
    EXPECT_EQ(FailureOf([&] { adapter.Open(id); }), NotInstalled);
    EXPECT_EQ(FailureOf([&] { adapter.Open(id); }), NotInstalled);
    EXPECT_EQ(id, u"keep");
    EXPECT_EQ(FailureOf([&] { adapter.Set_kelmor_FormatVersion(30); }), NotInstalled);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"[DEBUG] TDriver30 Open", "[DEBUG] TDriver30 Open"}));

    // Once the driver can be made, the next call makes it and uses it.
    FState.CreationFails = false;
    EXPECT_TRUE(adapter.Open(id));
    EXPECT_EQ(id, u"Open.0");
    EXPECT_EQ(FState.Created, 1);
}

TEST_F(Driver30Test, DriverIsCreatedOnFirstUseOnceAndFreedWithTheAdapter) {
    {
        TDriver30 adapter;
        EXPECT_EQ(FState.Created, 0);
        adapter.Set_kelmor_FormatVersion(30);
        std::u16string out;
        adapter.ProcessCheck(u"1", true, u"<c/>", out);
        adapter.Close(u"1");
        EXPECT_EQ(adapter.Get_kelmor_FormatVersion(), 30);
        EXPECT_EQ(FState.Created, 1);
        EXPECT_EQ(FState.Destroyed, 0);
    }
    EXPECT_EQ(FState.Destroyed, 1);
    // An adapter that never needed the driver makes none.
    { TDriver30 unused; }
    EXPECT_EQ(FState.Created, 1);
}

TEST_F(Driver30Test, DriverFailureReachesTheCallerUnchanged) {
    FState.OperationsFail = true;
    TDriver30 adapter;
    std::u16string out = u"old";
    EXPECT_EQ(FailureOf([&] { adapter.ProcessCheck(u"1", false, u"<c/>", out); }), "Ошибка драйвера 42");
    EXPECT_EQ(FailureOf([&] { adapter.Close(u"1"); }), "Ошибка драйвера 42");
    EXPECT_EQ(FState.Created, 1);
}

TEST_F(Driver30Test, InterfaceRevisionIs4001OnAnyFailureAndWritesNoLine) {
    TDriver30 adapter;
    FState.CreationFails = true;
    EXPECT_EQ(adapter.GetInterfaceRevision(), 4001);
    FState.CreationFails = false;
    FState.OperationsFail = true;
    EXPECT_EQ(adapter.GetInterfaceRevision(), 4001);
    FState.OperationsFail = false;
    EXPECT_EQ(adapter.GetInterfaceRevision(), 3012);
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(Driver30Test, StatusReturningOperationsAnswerUnexpectedAndLeaveTheirResult) {
    const int32_t unexpected = static_cast<int32_t>(0x8000FFFFu);
    TDriver30 adapter;
    std::u16string id = u"host's id", type = u"host's type", out = u"host's out";
    bool result = true;

    FState.CreationFails = true;
    EXPECT_EQ(adapter.ConnectEquipment(id, u"ККТ", u"<Params Port=\"3\"/>", result), unexpected);
    EXPECT_EQ(adapter.DisconnectEquipment(u"5", result), unexpected);
    EXPECT_EQ(adapter.EquipmentAutoSetup(type, u"<in/>", out, true, 10000, result), unexpected);
    EXPECT_TRUE(result);
    EXPECT_EQ(id, u"host's id");
    EXPECT_EQ(type, u"host's type");
    EXPECT_EQ(out, u"host's out");
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"[DEBUG] TDriver30 ConnectEquipment.",
                                                    "[DEBUG] TDriver30 ConnectionParameters:",
                                                    "[DEBUG] TDriver30 <Params Port=\"3\"/>",
                                                    "[DEBUG] TDriver30 DisconnectEquipment 5"}));

    FState.CreationFails = false;
    FState.OperationsFail = true;
    EXPECT_EQ(adapter.DisconnectEquipment(u"5", result), unexpected);
    EXPECT_TRUE(result);

    FState.OperationsFail = false;
    result = false;
    EXPECT_EQ(adapter.ConnectEquipment(id, u"ККТ", u"<p/>", result), 0);
    EXPECT_TRUE(result);
    EXPECT_EQ(id, u"ConnectEquipment.0");
    result = false;
    EXPECT_EQ(adapter.EquipmentAutoSetup(type, u"<in/>", out, false, 5, result), 0);
    EXPECT_TRUE(result);
    EXPECT_EQ(type, u"EquipmentAutoSetup.0");
    EXPECT_EQ(out, u"EquipmentAutoSetup.1");
    EXPECT_EQ(FState.Calls.back(), "EquipmentAutoSetup(<in/>, false, 5, [], [])");
}

TEST_F(Driver30Test, SetParameterWritesALoggerLineAndAPlainLineBeforeTheDriverIsMade) {
    FState.CreationFails = true;
    TDriver30 adapter;
    EXPECT_EQ(FailureOf([&] { adapter.SetParameter(u"Port", TAutoValue::FromText(u"3")); }), NotInstalled);
    FState.CreationFails = false;
    EXPECT_TRUE(adapter.SetParameter(u"Скорость", TAutoValue::FromText(u"115200")));
    EXPECT_EQ(FState.Calls.back(), "SetParameter(Скорость, 0:115200)");
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"[DEBUG] TDriver30 SetParameter: Port = 3", "[DEBUG] Port 3",
                                                    "[DEBUG] TDriver30 SetParameter: Скорость = 115200",
                                                    "[DEBUG] Скорость 115200"}));
}

TEST_F(Driver30Test, GetLocalizationPatternLogsTheIncomingTextWithoutLoggerName) {
    TDriver30 adapter;
    std::u16string pattern = u"прежний";
    EXPECT_TRUE(adapter.GetLocalizationPattern(pattern));
    EXPECT_EQ(pattern, u"GetLocalizationPattern.0");
    EXPECT_EQ(FState.Calls.back(), "GetLocalizationPattern([])");
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"[DEBUG] GetLocalizationPattern: прежний"}));
}

TEST(RaiseStatusFailureTest, CarriesTheSystemMessageElseTheCode) {
    const struct {
        uint32_t Status;
        const char* Message;
    } cases[] = {
        {0x8000FFFFu, "Catastrophic failure"},
        {0x80004005u, "Unspecified error"},
        {0x80040201u, "OLE error 80040201"},
        {0xC00000FFu, "OLE error c00000ff"},
    };
    for (const auto& c : cases) {
        try {
            RaiseStatusFailure(static_cast<int32_t>(c.Status));
            ADD_FAILURE() << "no failure for " << c.Status;
        } catch (const EFailure& e) {
            EXPECT_EQ(U8(e.Message()), c.Message);
        }
    }
}

// --- The adapter's description document --------------------------------------

// The value of one attribute of the serialised document, entities as written.
std::string Attribute(const std::string& doc, const std::string& name) {
    size_t at = doc.find(" " + name + "=");
    if (at == std::string::npos) return "(missing)";
    at += name.size() + 2;
    char quote = doc[at];
    size_t end = doc.find(quote, at + 1);
    return doc.substr(at + 1, end - at - 1);
}

TEST_F(Driver30Test, DescriptionWithDriverCarriesItsVersionAndSetsFormat47) {
    TDriver30 adapter;
    std::u16string text = u"old";
    EXPECT_TRUE(adapter.GetDescription(text));
    std::string doc = U8(text);
    EXPECT_EQ(Attribute(doc, "MainDriverInstalled"), "true");
    EXPECT_EQ(Attribute(doc, "DriverVersion"), "8.4.1.77");
    EXPECT_EQ(Attribute(doc, "IntegrationComponentVersion"), U8(GetModuleVersionText()));
    EXPECT_EQ(Attribute(doc, "EquipmentType"), "KKT");
    EXPECT_EQ(Attribute(doc, "LogPath"), "");
    EXPECT_EQ(FState.FormatVersion, 47);
    EXPECT_EQ(FState.VersionReads, 1);
    EXPECT_EQ(doc.substr(doc.size() - 2), "\r\n");
    EXPECT_TRUE(LogLines().empty());

    // Built anew each time, with the same text.
    std::u16string again;
    adapter.GetDescription(again);
    EXPECT_EQ(again, text);
    EXPECT_EQ(FState.VersionReads, 2);
    EXPECT_EQ(FState.Created, 1);
}

TEST_F(Driver30Test, DescriptionWithoutDriverSaysSoAndReadsNoVersion) {
    FState.CreationFails = true;
    TDriver30 adapter;
    std::u16string text;
    EXPECT_TRUE(adapter.GetDescription(text));
    std::string doc = U8(text);
    EXPECT_EQ(Attribute(doc, "MainDriverInstalled"), "false");
    EXPECT_EQ(Attribute(doc, "DriverVersion"), "1.0");
    EXPECT_EQ(Attribute(doc, "IntegrationComponentVersion"), U8(GetModuleVersionText()));
    EXPECT_EQ(FState.VersionReads, 0);
}

TEST_F(Driver30Test, DescriptionFailsWhenThePropertyOrTheMainControlFails) {
    TDriver30 adapter;
    std::u16string text = u"keep";
    FState.PropertyFails = true;
    EXPECT_EQ(FailureOf([&] { adapter.GetDescription(text); }), "Свойство недоступно");
    FState.PropertyFails = false;
    FState.VersionFails = true;
    EXPECT_EQ(FailureOf([&] { adapter.GetDescription(text); }), "Main control refused");
    EXPECT_EQ(text, u"keep");
}

}  // namespace
