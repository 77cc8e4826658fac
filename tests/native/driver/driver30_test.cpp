// The driver adapter against a recording stand-in for the driver object:
// trace lines (read back from a temporary log file), creation on first use,
// the fallbacks of the status-returning operations and the description.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/driver30.h"
#include "driver/versioninfo.h"
#include "logging/logfile.h"
#include "platform/failure.h"
#include "platform/text.h"
#include "tests/native/logging/logtest_support.h"
#include "tests/support/recordingdriver.h"

namespace {

std::string U8(const std::u16string& s) { return text::ToUtf8(s); }
std::string U8(const TOutText& s) { return text::ToUtf8(s.Text()); }

class Driver30Test : public ::testing::Test {
protected:
    void SetUp() override {
        recdriver::SetState(&FState);
        FLogPath = FFolder.File("driver.log");
        GetLogFile().SetFileName(text::FromUtf8(FLogPath));
        GetLogFile().SetEnabled(true);
    }
    void TearDown() override {
        GetLogFile().SetEnabled(false);
        GetLogFile().SetFileName(u"");
        recdriver::SetState(nullptr);
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

    recdriver::TDriverState FState;
    logtest::TTempFolder FFolder;
    std::string FLogPath;
};

const char* const NotInstalled = "Объект драйвера не установлен";
// The adapter's line when the stand-in cannot be created: its text and code.
const std::string CreationCause =
    "[ERROR] TDriver30 Не удалось создать объект драйвера: Класс не зарегистрирован (0x80040154)";

TEST_F(Driver30Test, EachForwardingOperationWritesItsLinesPassesItsArgumentsAndReturnsTheOuts) {
    struct TCase {
        std::vector<std::string> Lines;   // written first, after "[DEBUG] "
        std::string Call;                 // what the driver received
        std::function<std::string(TDriver30&)> Run;  // outs as text
    };
    using S = TOutText;
    const std::vector<TCase> cases = {
        {{}, "GetParameters([])@0", [](TDriver30& d) { S t(u"old"); d.GetParameters(t); return U8(t); }},
        {{"TDriver30 Open"}, "Open([])@0", [](TDriver30& d) { S id(u"x"); d.Open(id); return U8(id); }},
        {{"TDriver30 Close: 7"}, "Close(7)@0", [](TDriver30& d) { d.Close(u"7"); return std::string(); }},
        {{}, "DeviceTest([]|[])@0",
         [](TDriver30& d) { S a(u"a"), b(u"b"); d.DeviceTest(a, b); return U8(a) + "|" + U8(b); }},
        {{}, "GetAdditionalActions([])@0",
         [](TDriver30& d) { S t(u"t"); d.GetAdditionalActions(t); return U8(t); }},
        {{"TDriver30 DoAdditionalAction Печать"}, "DoAdditionalAction(Печать)@0",
         [](TDriver30& d) { d.DoAdditionalAction(u"Печать"); return std::string(); }},
        {{"TDriver30 SetLocalization: ru, <P/>"}, "SetLocalization(ru|<P/>)@0",
         [](TDriver30& d) { d.SetLocalization(u"ru", u"<P/>"); return std::string(); }},
        {{"TDriver30 EquipmentParameters ККТ"}, "EquipmentParameters(ККТ|[])@0",
         [](TDriver30& d) { S t(u"t"); d.EquipmentParameters(u"ККТ", t); return U8(t); }},
        {{"TDriver30 EquipmentTest", "TDriver30 EquipmentType = ККТ", "TDriver30 ConnectionParameters = <C/>"},
         "EquipmentTest(ККТ|<C/>|[]|[])@0",
         [](TDriver30& d) { S a(u"a"), b(u"b"); d.EquipmentTest(u"ККТ", u"<C/>", a, b); return U8(a) + "|" + U8(b); }},
        {{}, "SetApplicationInformation(<A/>)@0",
         [](TDriver30& d) { d.SetApplicationInformation(u"<A/>"); return std::string(); }},
        {{"TDriver30 GetDataKKT 1"}, "GetDataKKT(1|[])@0",
         [](TDriver30& d) { S t(u"t"); d.GetDataKKT(u"1", t); return U8(t); }},
        {{"TDriver30 OperationFN 1"}, "OperationFN(1|2|<F/>)@0",
         [](TDriver30& d) { d.OperationFN(u"1", 2, u"<F/>"); return std::string(); }},
        {{"TDriver30 OpenShift 1"}, "OpenShift(1|<I/>|[])@0",
         [](TDriver30& d) { S o(u"o"); d.OpenShift(u"1", u"<I/>", o); return U8(o); }},
        {{"TDriver30 CloseShift 1"}, "CloseShift(1|<I/>|[])@0",
         [](TDriver30& d) { S o(u"o"); d.CloseShift(u"1", u"<I/>", o); return U8(o); }},
        {{"TDriver30 ProcessCheck 1"}, "ProcessCheck(1|true|<Check/>|[])@0",
         [](TDriver30& d) { S o(u"o"); d.ProcessCheck(u"1", true, u"<Check/>", o); return U8(o); }},
        {{"TDriver30 ProcessCorrectionCheck 1"}, "ProcessCorrectionCheck(1|false|<Check/>|[])@0",
         [](TDriver30& d) { S o(u"o"); d.ProcessCorrectionCheck(u"1", false, u"<Check/>", o); return U8(o); }},
        {{"TDriver30 PrintTextDocument 1"}, "PrintTextDocument(1|<D/>)@0",
         [](TDriver30& d) { d.PrintTextDocument(u"1", u"<D/>"); return std::string(); }},
        {{"TDriver30 CashInOutcome 1"}, "CashInOutcome(1|<I/>|-12.5)@0",
         [](TDriver30& d) { d.CashInOutcome(u"1", u"<I/>", -12.5); return std::string(); }},
        {{"TDriver30 PrintXReport 1"}, "PrintXReport(1|<I/>)@0",
         [](TDriver30& d) { d.PrintXReport(u"1", u"<I/>"); return std::string(); }},
        {{"TDriver30 PrintCheckCopy 1, 25"}, "PrintCheckCopy(1|25)@0",
         [](TDriver30& d) { d.PrintCheckCopy(u"1", u"25"); return std::string(); }},
        {{"TDriver30 GetCurrentStatus 1"}, "GetCurrentStatus(1|<I/>|[])@0",
         [](TDriver30& d) { S o(u"o"); d.GetCurrentStatus(u"1", u"<I/>", o); return U8(o); }},
        {{"TDriver30 ReportCurrentStatusOfSettlements 1"}, "ReportCurrentStatusOfSettlements(1|<I/>|[])@0",
         [](TDriver30& d) { S o(u"o"); d.ReportCurrentStatusOfSettlements(u"1", u"<I/>", o); return U8(o); }},
        {{"TDriver30 OpenCashDrawer 1"}, "OpenCashDrawer(1)@0",
         [](TDriver30& d) { d.OpenCashDrawer(u"1"); return std::string(); }},
        {{"TDriver30 GetLineLength 1"}, "GetLineLength(1)@0",
         [](TDriver30& d) { int32_t n = 0; d.GetLineLength(u"1", n); return std::to_string(n); }},
        {{}, "OpenSessionRegistrationKM(1)@0",
         [](TDriver30& d) { d.OpenSessionRegistrationKM(u"1"); return std::string(); }},
        {{}, "CloseSessionRegistrationKM(1)@0",
         [](TDriver30& d) { d.CloseSessionRegistrationKM(u"1"); return std::string(); }},
        {{}, "RequestKM(1|<KM/>|[])@0",
         [](TDriver30& d) { S o(u"o"); d.RequestKM(u"1", u"<KM/>", o); return U8(o); }},
        {{}, "GetProcessingKMResult(1|[])@0",
         [](TDriver30& d) {
             S o(u"o");
             int32_t status = 0;
             d.GetProcessingKMResult(u"1", o, status);
             return U8(o) + "|" + std::to_string(status);
         }},
        {{}, "ConfirmKM(1|{G}|1)@0",
         [](TDriver30& d) { d.ConfirmKM(u"1", u"{G}", 1); return std::string(); }},
        {{}, "GetLastError([])@0",
         [](TDriver30& d) { S e(u"e"); int32_t code = d.GetLastError(e); return std::to_string(code) + "|" + U8(e); }},
    };
    const std::vector<std::string> outs = {
        "GetParameters->0", "Open->0", "", "DeviceTest->0|DeviceTest->1", "GetAdditionalActions->0", "", "",
        "EquipmentParameters->0", "EquipmentTest->0|EquipmentTest->1", "", "GetDataKKT->0", "", "OpenShift->0",
        "CloseShift->0", "ProcessCheck->0", "ProcessCorrectionCheck->0", "", "", "", "", "GetCurrentStatus->0",
        "ReportCurrentStatusOfSettlements->0", "", "48", "", "", "RequestKM->0", "GetProcessingKMResult->0|2", "",
        "-7|GetLastError->0"};
    ASSERT_EQ(cases.size(), outs.size());

    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].Call);
        FState.Calls.clear();
        size_t linesBefore = LogLines().size();
        TDriver30 adapter(recdriver::Factory());
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
    TDriver30 adapter(recdriver::Factory());
    TOutText id(u"keep");
    EXPECT_EQ(FailureOf([&] { adapter.Open(id); }), NotInstalled);
    EXPECT_EQ(FailureOf([&] { adapter.Open(id); }), NotInstalled);
    EXPECT_EQ(id.Text(), u"keep");
    EXPECT_EQ(FailureOf([&] { adapter.Set_kelmor_FormatVersion(30); }), NotInstalled);
    // Each failed attempt leaves its cause after the call's own line.
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"[DEBUG] TDriver30 Open", CreationCause, "[DEBUG] TDriver30 Open",
                                                    CreationCause, CreationCause}));
    EXPECT_EQ(FState.CreationAttempts, 3);

    // Once the driver can be made, the next call makes it and uses it.
    FState.CreationFails = false;
    EXPECT_TRUE(adapter.Open(id));
    EXPECT_EQ(id.Text(), u"Open->0");
    EXPECT_EQ(FState.Created, 1);
    EXPECT_EQ(LogLines().back(), "[DEBUG] TDriver30 Open");
}

// The cause line for each way a creation can fail; the caller is told the
// same each time.
std::unique_ptr<TFiscalDriver> RefuseClassNotRegistered() {
    RaiseFailure(u"Класс не зарегистрирован", static_cast<int32_t>(0x80040154u));
}
std::unique_ptr<TFiscalDriver> RefuseWithDescription() {
    RaiseFailure(u"Лицензия драйвера не найдена", static_cast<int32_t>(0x80004005u));
}
std::unique_ptr<TFiscalDriver> RefuseWithCodeOnly() {
    RaiseFailure(u"OLE error 80040a01", static_cast<int32_t>(0x80040A01u));
}
std::unique_ptr<TFiscalDriver> RefuseWithoutCode() { RaiseFailure(u"COM is not available"); }
std::unique_ptr<TFiscalDriver> RefuseWithStandardException() { throw std::runtime_error("out of handles"); }
std::unique_ptr<TFiscalDriver> RefuseWithSomethingElse() { throw 42; }
std::unique_ptr<TFiscalDriver> ReturnNothing() { return nullptr; }
std::u16string NoVersion() { return u""; }

TEST_F(Driver30Test, EveryFailedCreationLogsItsCauseWithTheCodeAndTheCallerSeesOnlyThatThereIsNoDriver) {
    const std::string unknown = U8(FailureMessage(nullptr));
    const struct {
        std::unique_ptr<TFiscalDriver> (*Create)();
        std::string Cause;
    } cases[] = {
        {&RefuseClassNotRegistered, "Класс не зарегистрирован (0x80040154)"},
        {&RefuseWithDescription, "Лицензия драйвера не найдена (0x80004005)"},
        {&RefuseWithCodeOnly, "OLE error 80040a01 (0x80040A01)"},
        {&RefuseWithoutCode, "COM is not available"},
        {&RefuseWithStandardException, "out of handles"},
        {&RefuseWithSomethingElse, unknown},
        {&ReturnNothing, unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Cause);
        const TFiscalDriverFactory factory = {c.Create, &NoVersion};
        const size_t before = LogLines().size();
        TDriver30 adapter(factory);
        TOutText out(u"keep");
        EXPECT_EQ(FailureOf([&] { adapter.GetCurrentStatus(u"1", u"<I/>", out); }), NotInstalled);
        EXPECT_EQ(adapter.GetInterfaceRevision(), 4001);
        std::vector<std::string> lines = LogLines();
        const std::string cause = "[ERROR] TDriver30 Не удалось создать объект драйвера: " + c.Cause;
        EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
                  (std::vector<std::string>{"[DEBUG] TDriver30 GetCurrentStatus 1", cause, cause}));
        EXPECT_EQ(out.View(), u"keep");
    }
}

TEST_F(Driver30Test, DriverIsCreatedOnFirstUseOnceAndFreedWithTheAdapter) {
    {
        TDriver30 adapter(recdriver::Factory());
        EXPECT_EQ(FState.Created, 0);
        adapter.Set_kelmor_FormatVersion(30);
        TOutText out;
        adapter.ProcessCheck(u"1", true, u"<c/>", out);
        adapter.Close(u"1");
        EXPECT_EQ(adapter.Get_kelmor_FormatVersion(), 30);
        EXPECT_EQ(FState.Created, 1);
        EXPECT_EQ(FState.Destroyed, 0);
    }
    EXPECT_EQ(FState.Destroyed, 1);
    // An adapter that never needed the driver makes none.
    { TDriver30 unused(recdriver::Factory()); }
    EXPECT_EQ(FState.Created, 1);
}

TEST_F(Driver30Test, DriverFailureReachesTheCallerUnchanged) {
    FState.OperationsFail = true;
    TDriver30 adapter(recdriver::Factory());
    TOutText out(u"old");
    const std::string failure = U8(recdriver::OperationFailureText());
    EXPECT_EQ(FailureOf([&] { adapter.ProcessCheck(u"1", false, u"<c/>", out); }), failure);
    EXPECT_EQ(FailureOf([&] { adapter.Close(u"1"); }), failure);
    EXPECT_EQ(FState.Created, 1);
}

TEST_F(Driver30Test, InterfaceRevisionIs4001OnAnyFailureAndWritesNoTraceLine) {
    TDriver30 adapter(recdriver::Factory());
    FState.CreationFails = true;
    EXPECT_EQ(adapter.GetInterfaceRevision(), 4001);
    FState.CreationFails = false;
    FState.OperationsFail = true;
    EXPECT_EQ(adapter.GetInterfaceRevision(), 4001);
    FState.OperationsFail = false;
    EXPECT_EQ(adapter.GetInterfaceRevision(), 3012);
    EXPECT_EQ(LogLines(), std::vector<std::string>{CreationCause});
}

TEST_F(Driver30Test, StatusReturningOperationsAnswerUnexpectedAndLeaveTheirResult) {
    const int32_t unexpected = static_cast<int32_t>(0x8000FFFFu);
    TDriver30 adapter(recdriver::Factory());
    TOutText id(u"host's id"), type(u"host's type"), out(u"host's out");
    bool result = true;

    FState.CreationFails = true;
    EXPECT_EQ(adapter.ConnectEquipment(id, u"ККТ", u"<Params Port=\"3\"/>", result), unexpected);
    EXPECT_EQ(adapter.DisconnectEquipment(u"5", result), unexpected);
    EXPECT_EQ(adapter.EquipmentAutoSetup(type, u"<in/>", out, true, 10000, result), unexpected);
    EXPECT_TRUE(result);
    EXPECT_EQ(id.Text(), u"host's id");
    EXPECT_EQ(type.Text(), u"host's type");
    EXPECT_EQ(out.Text(), u"host's out");
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"[DEBUG] TDriver30 ConnectEquipment.",
                                                    "[DEBUG] TDriver30 ConnectionParameters:",
                                                    "[DEBUG] TDriver30 <Params Port=\"3\"/>", CreationCause,
                                                    "[DEBUG] TDriver30 DisconnectEquipment 5", CreationCause,
                                                    CreationCause}));

    FState.CreationFails = false;
    FState.OperationsFail = true;
    EXPECT_EQ(adapter.DisconnectEquipment(u"5", result), unexpected);
    EXPECT_TRUE(result);

    FState.OperationsFail = false;
    result = false;
    EXPECT_EQ(adapter.ConnectEquipment(id, u"ККТ", u"<p/>", result), 0);
    EXPECT_TRUE(result);
    EXPECT_EQ(id.Text(), u"ConnectEquipment->0");
    result = false;
    EXPECT_EQ(adapter.EquipmentAutoSetup(type, u"<in/>", out, false, 5, result), 0);
    EXPECT_TRUE(result);
    EXPECT_EQ(type.Text(), u"EquipmentAutoSetup->0");
    EXPECT_EQ(out.Text(), u"EquipmentAutoSetup->1");
    EXPECT_EQ(FState.Calls.back(), "EquipmentAutoSetup(<in/>|false|5|[]|[])@0");
}

TEST_F(Driver30Test, SetParameterWritesALoggerLineAndAPlainLineBeforeTheDriverIsMade) {
    FState.CreationFails = true;
    TDriver30 adapter(recdriver::Factory());
    EXPECT_EQ(FailureOf([&] { adapter.SetParameter(u"Port", TAutoValue::FromText(u"3")); }), NotInstalled);
    FState.CreationFails = false;
    EXPECT_TRUE(adapter.SetParameter(u"Скорость", TAutoValue::FromText(u"115200")));
    EXPECT_EQ(FState.Calls.back(), "SetParameter(Скорость|text:115200)@0");
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"[DEBUG] TDriver30 SetParameter: Port = 3", "[DEBUG] Port 3",
                                                    CreationCause, "[DEBUG] TDriver30 SetParameter: Скорость = 115200",
                                                    "[DEBUG] Скорость 115200"}));
}

TEST_F(Driver30Test, GetLocalizationPatternLogsTheIncomingTextWithoutLoggerName) {
    TDriver30 adapter(recdriver::Factory());
    TOutText pattern(u"прежний");
    EXPECT_TRUE(adapter.GetLocalizationPattern(pattern));
    EXPECT_EQ(pattern.Text(), u"GetLocalizationPattern->0");
    EXPECT_EQ(FState.Calls.back(), "GetLocalizationPattern([])@0");
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
            EXPECT_EQ(static_cast<uint32_t>(e.Code()), c.Status);
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
    TDriver30 adapter(recdriver::Factory());
    TOutText text(u"old");
    EXPECT_TRUE(adapter.GetDescription(text));
    std::string doc = U8(text);
    EXPECT_EQ(Attribute(doc, "MainDriverInstalled"), "true");
    EXPECT_EQ(Attribute(doc, "DriverVersion"), "10.9.1.7");
    EXPECT_EQ(Attribute(doc, "IntegrationComponentVersion"), U8(GetModuleVersionText()));
    EXPECT_EQ(Attribute(doc, "EquipmentType"), "KKT");
    EXPECT_EQ(Attribute(doc, "LogPath"), "");
    EXPECT_EQ(FState.FormatVersion, 47);
    EXPECT_EQ(FState.MainControlReads, 1);
    EXPECT_EQ(doc.substr(doc.size() - 2), "\r\n");
    EXPECT_TRUE(LogLines().empty());

    // Built anew each time, with the same text.
    TOutText again;
    adapter.GetDescription(again);
    EXPECT_EQ(again.Text(), text.Text());
    EXPECT_EQ(FState.MainControlReads, 2);
    EXPECT_EQ(FState.Created, 1);
}

TEST_F(Driver30Test, DescriptionWithoutDriverSaysSoAndReadsNoVersion) {
    FState.CreationFails = true;
    TDriver30 adapter(recdriver::Factory());
    TOutText text;
    EXPECT_TRUE(adapter.GetDescription(text));
    std::string doc = U8(text);
    EXPECT_EQ(Attribute(doc, "MainDriverInstalled"), "false");
    EXPECT_EQ(Attribute(doc, "DriverVersion"), "1.0");
    EXPECT_EQ(Attribute(doc, "IntegrationComponentVersion"), U8(GetModuleVersionText()));
    EXPECT_EQ(FState.MainControlReads, 0);
    EXPECT_EQ(LogLines(), std::vector<std::string>{CreationCause});
}

TEST_F(Driver30Test, DescriptionFailsWhenThePropertyOrTheMainControlFails) {
    TDriver30 adapter(recdriver::Factory());
    TOutText text(u"keep");
    FState.FormatVersionReadFails = FState.FormatVersionWriteFails = true;
    EXPECT_EQ(FailureOf([&] { adapter.GetDescription(text); }), "Свойство не поддерживается");
    FState.FormatVersionReadFails = FState.FormatVersionWriteFails = false;
    FState.MainControlFails = true;
    EXPECT_EQ(FailureOf([&] { adapter.GetDescription(text); }), "Основной элемент управления недоступен");
    EXPECT_EQ(text.Text(), u"keep");
}

}  // namespace
