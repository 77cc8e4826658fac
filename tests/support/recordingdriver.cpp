#include "tests/support/recordingdriver.h"

#include <cstdio>
#include <memory>

#include "platform/failure.h"
#include "platform/text.h"

namespace recdriver {

namespace {

TDriverState* GState = nullptr;

std::string U8(std::u16string_view s) { return text::ToUtf8(std::u16string(s)); }
std::string Flag(bool b) { return b ? "true" : "false"; }

std::string Number(double d) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", d);
    return buffer;
}

std::string ValueText(const TAutoValue& v) {
    switch (v.Kind) {
        case TAutoValue::Text: return "text:" + U8(v.TextValue);
        case TAutoValue::Int32: return "int:" + std::to_string(v.IntValue);
        case TAutoValue::Double: return "double:" + Number(v.DoubleValue);
        case TAutoValue::Boolean: return "bool:" + Flag(v.BoolValue);
    }
    return "unknown kind " + std::to_string(static_cast<int>(v.Kind));
}

using V = std::u16string_view;  // an in-text
using O = TOutText;             // an out-text

class TRecordingDriver final : public TFiscalDriver {
public:
    TRecordingDriver() { ++GState->Created; }
    ~TRecordingDriver() override { ++GState->Destroyed; }

    int32_t GetInterfaceRevision() override {
        Record("GetInterfaceRevision", {});
        return InterfaceRevision;
    }
    bool GetDescription(O& d) override { return Out("GetDescription", {}, {&d}); }
    int32_t GetLastError(O& e) override {
        Out("GetLastError", {}, {&e});
        return LastErrorCode;
    }
    bool GetParameters(O& t) override { return Out("GetParameters", {}, {&t}); }
    bool SetParameter(V n, const TAutoValue& v) override {
        return Record("SetParameter", {U8(n), ValueText(v)});
    }
    bool Open(O& id) override { return Out("Open", {}, {&id}); }
    bool Close(V id) override { return Record("Close", {U8(id)}); }
    bool DeviceTest(O& d, O& demo) override { return Out("DeviceTest", {}, {&d, &demo}); }
    bool GetAdditionalActions(O& t) override { return Out("GetAdditionalActions", {}, {&t}); }
    bool DoAdditionalAction(V a) override { return Record("DoAdditionalAction", {U8(a)}); }
    bool GetDataKKT(V id, O& t) override { return Out("GetDataKKT", {U8(id)}, {&t}); }
    bool OperationFN(V id, int32_t type, V p) override {
        return Record("OperationFN", {U8(id), std::to_string(type), U8(p)});
    }
    bool OpenShift(V id, V in, O& out) override { return Out("OpenShift", {U8(id), U8(in)}, {&out}); }
    bool CloseShift(V id, V in, O& out) override {
        return Out("CloseShift", {U8(id), U8(in)}, {&out});
    }
    bool ProcessCheck(V id, bool e, V p, O& out) override {
        return Out("ProcessCheck", {U8(id), Flag(e), U8(p)}, {&out});
    }
    bool ProcessCorrectionCheck(V id, bool e, V p, O& out) override {
        return Out("ProcessCorrectionCheck", {U8(id), Flag(e), U8(p)}, {&out});
    }
    bool CashInOutcome(V id, V in, double amount) override {
        return Record("CashInOutcome", {U8(id), U8(in), Number(amount)});
    }
    bool PrintXReport(V id, V in) override { return Record("PrintXReport", {U8(id), U8(in)}); }
    bool GetCurrentStatus(V id, V in, O& out) override {
        return Out("GetCurrentStatus", {U8(id), U8(in)}, {&out});
    }
    bool ReportCurrentStatusOfSettlements(V id, V in, O& out) override {
        return Out("ReportCurrentStatusOfSettlements", {U8(id), U8(in)}, {&out});
    }
    bool OpenCashDrawer(V id) override { return Record("OpenCashDrawer", {U8(id)}); }
    bool GetLineLength(V id, int32_t& length) override {
        bool answer = Record("GetLineLength", {U8(id)});
        length = LineLength;
        return answer;
    }
    bool PrintCheckCopy(V id, V number) override {
        return Record("PrintCheckCopy", {U8(id), U8(number)});
    }
    bool PrintTextDocument(V id, V package) override {
        return Record("PrintTextDocument", {U8(id), U8(package)});
    }
    bool OpenSessionRegistrationKM(V id) override { return Record("OpenSessionRegistrationKM", {U8(id)}); }
    bool CloseSessionRegistrationKM(V id) override {
        return Record("CloseSessionRegistrationKM", {U8(id)});
    }
    bool RequestKM(V id, V request, O& result) override {
        return Out("RequestKM", {U8(id), U8(request)}, {&result});
    }
    bool GetProcessingKMResult(V id, O& result, int32_t& status) override {
        bool answer = Out("GetProcessingKMResult", {U8(id)}, {&result});
        status = KMRequestStatus;
        return answer;
    }
    bool ConfirmKM(V id, V guid, int32_t type) override {
        return Record("ConfirmKM", {U8(id), U8(guid), std::to_string(type)});
    }
    bool GetLocalizationPattern(O& pattern) override { return Out("GetLocalizationPattern", {}, {&pattern}); }
    bool SetLocalization(V code, V pattern) override {
        return Record("SetLocalization", {U8(code), U8(pattern)});
    }
    bool EquipmentParameters(V type, O& table) override {
        return Out("EquipmentParameters", {U8(type)}, {&table});
    }
    bool EquipmentTest(V type, V connection, O& d, O& demo) override {
        return Out("EquipmentTest", {U8(type), U8(connection)}, {&d, &demo});
    }
    bool SetApplicationInformation(V settings) override {
        return Record("SetApplicationInformation", {U8(settings)});
    }
    bool ConnectEquipment(O& id, V type, V connection) override {
        return Out("ConnectEquipment", {U8(type), U8(connection)}, {&id});
    }
    bool DisconnectEquipment(V id) override { return Record("DisconnectEquipment", {U8(id)}); }
    bool EquipmentAutoSetup(O& type, V in, O& out, bool show, int32_t timeout) override {
        return Out("EquipmentAutoSetup", {U8(in), Flag(show), std::to_string(timeout)}, {&type, &out});
    }
    int32_t Get_kelmor_FormatVersion() override {
        if (GState->FormatVersionReadFails) RaiseFailure(PropertyFailureText());
        return GState->FormatVersion;
    }
    void Set_kelmor_FormatVersion(int32_t value) override {
        if (GState->FormatVersionWriteFails) RaiseFailure(PropertyFailureText());
        GState->FormatVersionWrites.push_back(value);
        GState->FormatVersion = value;
    }

private:
    static bool Record(const std::string& name, const std::vector<std::string>& args) {
        std::string call = name + "(";
        for (size_t i = 0; i < args.size(); ++i) call += (i ? "|" : "") + args[i];
        call += ")@" + std::to_string(GState->FormatVersion);
        GState->Calls.push_back(call);
        if (GState->OperationsFail || GState->FailingOperation == name) RaiseFailure(OperationFailureText());
        return GState->Answer;
    }
    static bool Out(const std::string& name, std::vector<std::string> args, const std::vector<O*>& outs) {
        for (const O* out : outs) args.push_back("[" + U8(out->View()) + "]");
        bool answer = Record(name, args);
        for (size_t i = 0; i < outs.size(); ++i) outs[i]->Assign(text::FromUtf8(name + "->" + std::to_string(i)));
        return answer;
    }
};

std::unique_ptr<TFiscalDriver> CreateDriver() {
    ++GState->CreationAttempts;
    if (GState->CreationFails) RaiseFailure(CreationFailureText(), GState->CreationFailureCode);
    return std::make_unique<TRecordingDriver>();
}

std::u16string ReadMainControlVersion() {
    ++GState->MainControlReads;
    if (GState->MainControlFails) RaiseFailure(MainControlFailureText());
    return MainControlVersion();
}

}  // namespace

void SetState(TDriverState* state) { GState = state; }
TDriverState* State() { return GState; }

const TFiscalDriverFactory& Factory() {
    static const TFiscalDriverFactory factory = {&CreateDriver, &ReadMainControlVersion};
    return factory;
}

const char16_t* MainControlVersion() { return u"10.9.1.7"; }
const char16_t* CreationFailureText() { return u"Класс не зарегистрирован"; }
const char16_t* MainControlFailureText() { return u"Основной элемент управления недоступен"; }
const char16_t* PropertyFailureText() { return u"Свойство не поддерживается"; }
const char16_t* OperationFailureText() { return u"Ошибка драйвера: нет связи с ККТ"; }

}  // namespace recdriver
