// Helpers of the component tests: a recording stand-in for the fiscal driver
// (installed through the driver factory), a fixture that creates component
// objects through the real entry points and slot tables with the fake host,
// and readers for the trace file and the description document.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "component/extention30.h"
#include "component/methodtable.h"
#include "driver/fiscaldriver.h"
#include "hostapi/classreg.h"
#include "hostapi/componentbase.h"
#include "hostapi/exports.h"
#include "logging/logfile.h"
#include "platform/failure.h"
#include "platform/text.h"
#include "tests/native/logging/logtest_support.h"
#include "tests/support/fakehost.h"

namespace comptest {

inline std::string U8(const std::u16string& s) { return text::ToUtf8(s); }

// What the stand-in driver saw and how it answers.
struct TDriverState {
    bool CreationFails = false;         // the driver object cannot be created
    bool FormatVersionRefused = false;  // writing kelmor_FormatVersion fails
    bool MainControlFails = false;      // the main control's version cannot be read
    std::string FailingOperation;       // this operation raises DriverFailureText
    bool Answer = true;                 // boolean answer of every operation
    int32_t FormatVersion = 0;          // the driver's own initial value
    int Created = 0;
    int Destroyed = 0;
    std::vector<int32_t> FormatVersionWrites;
    // "Name(arg|arg|...)@<format version in force>"
    std::vector<std::string> Calls;
};

inline TDriverState*& State() {
    static TDriverState* state = nullptr;
    return state;
}

inline const char16_t* DriverFailureText() { return u"Ошибка драйвера: нет связи с ККТ"; }
inline const char16_t* MainControlVersion() { return u"10.9.1.7"; }

// Out texts answer "<Name>-><argument position>"; out integers fixed values.
class TFakeDriver final : public TFiscalDriver {
public:
    TFakeDriver() { ++State()->Created; }
    ~TFakeDriver() override { ++State()->Destroyed; }

    int32_t GetInterfaceRevision() override {
        Record("GetInterfaceRevision", {});
        return 3012;
    }
    bool GetDescription(std::u16string& d) override { return Out("GetDescription", {}, {&d}); }
    int32_t GetLastError(std::u16string& e) override {
        Out("GetLastError", {}, {&e});
        return 17;
    }
    bool GetParameters(std::u16string& t) override { return Out("GetParameters", {}, {&t}); }
    bool SetParameter(const std::u16string& n, const TAutoValue& v) override {
        return Record("SetParameter", {U8(n), std::string(v.Kind == TAutoValue::Text ? "text:" : "non-text:") +
                                                 U8(v.TextValue)});
    }
    bool Open(std::u16string& id) override { return Out("Open", {}, {&id}); }
    bool Close(const std::u16string& id) override { return Record("Close", {U8(id)}); }
    bool DeviceTest(std::u16string& d, std::u16string& demo) override {
        return Out("DeviceTest", {}, {&d, &demo});
    }
    bool GetAdditionalActions(std::u16string& t) override { return Out("GetAdditionalActions", {}, {&t}); }
    bool DoAdditionalAction(const std::u16string& a) override { return Record("DoAdditionalAction", {U8(a)}); }
    bool GetDataKKT(const std::u16string& id, std::u16string& t) override {
        return Out("GetDataKKT", {U8(id)}, {&t});
    }
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
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%g", amount);
        return Record("CashInOutcome", {U8(id), U8(in), buffer});
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
        bool answer = Record("GetLineLength", {U8(id)});
        length = 48;
        return answer;
    }
    bool PrintCheckCopy(const std::u16string& id, const std::u16string& number) override {
        return Record("PrintCheckCopy", {U8(id), U8(number)});
    }
    bool PrintTextDocument(const std::u16string& id, const std::u16string& package) override {
        return Record("PrintTextDocument", {U8(id), U8(package)});
    }
    bool OpenSessionRegistrationKM(const std::u16string& id) override {
        return Record("OpenSessionRegistrationKM", {U8(id)});
    }
    bool CloseSessionRegistrationKM(const std::u16string& id) override {
        return Record("CloseSessionRegistrationKM", {U8(id)});
    }
    bool RequestKM(const std::u16string& id, const std::u16string& request, std::u16string& result) override {
        return Out("RequestKM", {U8(id), U8(request)}, {&result});
    }
    bool GetProcessingKMResult(const std::u16string& id, std::u16string& result, int32_t& status) override {
        bool answer = Out("GetProcessingKMResult", {U8(id)}, {&result});
        status = 2;
        return answer;
    }
    bool ConfirmKM(const std::u16string& id, const std::u16string& guid, int32_t type) override {
        return Record("ConfirmKM", {U8(id), U8(guid), std::to_string(type)});
    }
    bool GetLocalizationPattern(std::u16string& pattern) override {
        return Out("GetLocalizationPattern", {}, {&pattern});
    }
    bool SetLocalization(const std::u16string& code, const std::u16string& pattern) override {
        return Record("SetLocalization", {U8(code), U8(pattern)});
    }
    bool EquipmentParameters(const std::u16string& type, std::u16string& table) override {
        return Out("EquipmentParameters", {U8(type)}, {&table});
    }
    bool EquipmentTest(const std::u16string& type, const std::u16string& connection, std::u16string& d,
                       std::u16string& demo) override {
        return Out("EquipmentTest", {U8(type), U8(connection)}, {&d, &demo});
    }
    bool SetApplicationInformation(const std::u16string& settings) override {
        return Record("SetApplicationInformation", {U8(settings)});
    }
    bool ConnectEquipment(std::u16string& id, const std::u16string& type,
                          const std::u16string& connection) override {
        return Out("ConnectEquipment", {U8(type), U8(connection)}, {&id});
    }
    bool DisconnectEquipment(const std::u16string& id) override { return Record("DisconnectEquipment", {U8(id)}); }
    bool EquipmentAutoSetup(std::u16string& type, const std::u16string& in, std::u16string& out, bool show,
                            int32_t timeout) override {
        return Out("EquipmentAutoSetup", {U8(in), show ? "true" : "false", std::to_string(timeout)},
                   {&type, &out});
    }
    int32_t Get_kelmor_FormatVersion() override { return State()->FormatVersion; }
    void Set_kelmor_FormatVersion(int32_t value) override {
        if (State()->FormatVersionRefused) RaiseFailure(u"Свойство не поддерживается");
        State()->FormatVersionWrites.push_back(value);
        State()->FormatVersion = value;
    }

private:
    bool Record(const std::string& name, const std::vector<std::string>& args) {
        std::string call = name + "(";
        for (size_t i = 0; i < args.size(); ++i) call += (i ? "|" : "") + args[i];
        call += ")@" + std::to_string(State()->FormatVersion);
        State()->Calls.push_back(call);
        if (State()->FailingOperation == name) RaiseFailure(DriverFailureText());
        return State()->Answer;
    }
    bool Out(const std::string& name, const std::vector<std::string>& args, std::vector<std::u16string*> outs) {
        bool answer = Record(name, args);
        for (size_t i = 0; i < outs.size(); ++i)
            *outs[i] = text::FromUtf8(name + "->" + std::to_string(i));
        return answer;
    }
};

inline std::unique_ptr<TFiscalDriver> CreateFakeDriver() {
    if (State()->CreationFails) RaiseFailure(u"Класс не зарегистрирован");
    return std::make_unique<TFakeDriver>();
}

inline std::u16string ReadFakeMainControlVersion() {
    if (State()->MainControlFails) RaiseFailure(u"Основной элемент управления недоступен");
    return MainControlVersion();
}

inline const TFiscalDriverFactory& FakeFactory() {
    static const TFiscalDriverFactory factory = {&CreateFakeDriver, &ReadFakeMainControlVersion};
    return factory;
}

// Registers the product's class into the library's registry unless it is
// there already (other suites may have emptied the registry).
inline void EnsureClassRegistered() {
    for (const auto& reg : ClassRegList().ClassList)
        if (reg && reg->NatApiClassName == Extention30ClassName) return;
    RegisterExtention30(ClassRegList());
}

// Host argument values, built in the fake host's heap.
struct THostArg {
    enum TKind { Text, Bool, Int, Double, Ansi, Empty } Kind = Empty;
    std::u16string TextValue;
    bool BoolValue = false;
    int32_t IntValue = 0;
    double DoubleValue = 0.0;
};
inline THostArg T(const std::u16string& v) { THostArg a; a.Kind = THostArg::Text; a.TextValue = v; return a; }
inline THostArg B(bool v) { THostArg a; a.Kind = THostArg::Bool; a.BoolValue = v; return a; }
inline THostArg I(int32_t v) { THostArg a; a.Kind = THostArg::Int; a.IntValue = v; return a; }
inline THostArg D(double v) { THostArg a; a.Kind = THostArg::Double; a.DoubleValue = v; return a; }
inline THostArg A(const std::string& v) { THostArg a; a.Kind = THostArg::Ansi; a.TextValue = text::FromUtf8(v); return a; }
inline THostArg E() { return THostArg(); }

// What the host passes into an out-argument: a text the handler must neither
// read nor keep.
inline THostArg HostOut() { return T(u"host-value"); }

class TComponentTest : public ::testing::Test {
protected:
    void SetUp() override {
        State() = &FState;
        SetDriverFactoryForTests(&FakeFactory());
        EnsureClassRegistered();
        FLogPath = FFolder.File("trace.log");
        GetLogFile().SetFileName(text::FromUtf8(FLogPath));
        GetLogFile().SetEnabled(true);
    }

    void TearDown() override {
        for (TV8ComponentBase* record : FRecords) {
            void* p = record;
            DestroyObject(&p);
        }
        FRecords.clear();
        GetLogFile().SetEnabled(false);
        GetLogFile().SetFileName(u"");
        SetDriverFactoryForTests(nullptr);
        SetAdapterCreationFailsForTests(false);
        State() = nullptr;
    }

    // A component object as the host gets it: created by name, handed its
    // connection and memory manager.
    TV8ComponentBase* NewObject() {
        void* p = nullptr;
        EXPECT_EQ(1, GetClassObject(Extention30ClassName, &p));
        auto* record = static_cast<TV8ComponentBase*>(p);
        if (!record) return nullptr;
        FRecords.push_back(record);
        InitDoneTable.Init(InitDoneView(record), FHost.Connection());
        InitDoneTable.SetMemManager(InitDoneView(record), FMM.Manager());
        return record;
    }

    void Destroy(TV8ComponentBase* record) {
        for (size_t i = 0; i < FRecords.size(); ++i)
            if (FRecords[i] == record) FRecords.erase(FRecords.begin() + static_cast<std::ptrdiff_t>(i));
        void* p = record;
        DestroyObject(&p);
    }

    V8Variant Make(const THostArg& a) {
        switch (a.Kind) {
            case THostArg::Text: return fakehost::WString(FMM, a.TextValue);
            case THostArg::Bool: return fakehost::Bool(a.BoolValue);
            case THostArg::Int: return fakehost::I4(a.IntValue);
            case THostArg::Double: return fakehost::R8(a.DoubleValue);
            case THostArg::Ansi: return fakehost::PString(FMM, U8(a.TextValue));
            case THostArg::Empty: break;
        }
        return fakehost::Empty();
    }

    // One host call through CallAsFunc; the result value starts as the text
    // "host-result" so that an untouched result can be told apart.
    struct TCallResult {
        bool Answer = false;
        V8Variant Ret{};
        std::vector<V8Variant> Params;
    };
    TCallResult Call(TV8ComponentBase* record, int32_t index, const std::vector<THostArg>& args,
                     int32_t count = -1) {
        TCallResult r;
        r.Ret = fakehost::WString(FMM, u"host-result");
        for (const THostArg& a : args) r.Params.push_back(Make(a));
        if (count < 0) count = static_cast<int32_t>(args.size());
        r.Answer = LanguageExtenderTable.CallAsFunc(LanguageExtenderView(record), index, &r.Ret,
                                                    r.Params.empty() ? nullptr : r.Params.data(), count);
        return r;
    }

    // The host releases its values after the call.
    void Release(TCallResult& r) {
        fakehost::Release(FMM, r.Ret);
        for (V8Variant& v : r.Params) fakehost::Release(FMM, v);
    }

    // The log lines so far, without their time and thread header.
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        for (const std::string& line : logtest::Lines(logtest::ReadAll(FLogPath)))
            lines.push_back(logtest::AfterHeader(line));
        return lines;
    }
    std::string LogText() const { return logtest::ReadAll(FLogPath); }

    static std::string Debug(const std::string& s) { return "[DEBUG] " + s; }
    static std::string ErrorLine(const std::string& s) { return "[ERROR] " + s; }

    TDriverState FState;
    fakehost::TFakeMemoryManager FMM;
    fakehost::TFakeConnection FHost;
    logtest::TTempFolder FFolder;
    std::string FLogPath;
    std::vector<TV8ComponentBase*> FRecords;
};

// The root element's attributes of a serialised document, in order, with
// their values unescaped.
inline std::vector<std::pair<std::string, std::string>> RootAttributes(const std::string& xml,
                                                                       std::string* rootName = nullptr) {
    std::vector<std::pair<std::string, std::string>> result;
    size_t pos = 0;
    // Skip the declaration and find the first element.
    for (;;) {
        pos = xml.find('<', pos);
        if (pos == std::string::npos) return result;
        if (xml.compare(pos, 2, "<?") != 0) break;
        pos = xml.find("?>", pos);
        if (pos == std::string::npos) return result;
    }
    ++pos;
    size_t nameEnd = xml.find_first_of(" \t\r\n/>", pos);
    if (rootName) *rootName = xml.substr(pos, nameEnd - pos);
    pos = nameEnd;
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (pos < xml.size()) {
        while (pos < xml.size() && isSpace(xml[pos])) ++pos;
        if (pos >= xml.size() || xml[pos] == '/' || xml[pos] == '>') break;
        size_t eq = xml.find('=', pos);
        std::string name = xml.substr(pos, eq - pos);
        char quote = xml[eq + 1];
        size_t close = xml.find(quote, eq + 2);
        std::string raw = xml.substr(eq + 2, close - eq - 2);
        std::string value;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '&') {
                value += raw[i];
                continue;
            }
            size_t semi = raw.find(';', i);
            std::string entity = raw.substr(i + 1, semi - i - 1);
            if (entity == "amp") value += '&';
            else if (entity == "lt") value += '<';
            else if (entity == "gt") value += '>';
            else if (entity == "quot") value += '"';
            else if (entity == "apos") value += '\'';
            else if (!entity.empty() && entity[0] == '#')
                value += static_cast<char>(entity[1] == 'x' ? std::stoi(entity.substr(2), nullptr, 16)
                                                            : std::stoi(entity.substr(1)));
            i = semi;
        }
        result.emplace_back(name, value);
        pos = close + 1;
    }
    return result;
}

}  // namespace comptest
