#include "tests/support/recordingdriver.h"

#include <cstdio>
#include <memory>

#include "platform/failure.h"
#include "platform/text.h"

namespace recdriver {

namespace {

TDriverState* GState = nullptr;

std::string U8(const std::u16string& s) { return text::ToUtf8(s); }
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

using S = std::u16string;

class TRecordingDriver final : public TFiscalDriver {
public:
    TRecordingDriver() { ++GState->Created; }
    ~TRecordingDriver() override { ++GState->Destroyed; }

    int32_t GetInterfaceRevision() override {
        Record("GetInterfaceRevision", {});
        return InterfaceRevision;
    }
    bool GetDescription(S& d) override { return Out("GetDescription", {}, {&d}); }
    int32_t GetLastError(S& e) override {
        Out("GetLastError", {}, {&e});
        return LastErrorCode;
    }
    bool GetParameters(S& t) override { return Out("GetParameters", {}, {&t}); }
    bool SetParameter(const S& n, const TAutoValue& v) override {
        return Record("SetParameter", {U8(n), ValueText(v)});
    }
    bool Open(S& id) override { return Out("Open", {}, {&id}); }
    bool Close(const S& id) override { return Record("Close", {U8(id)}); }
    bool DeviceTest(S& d, S& demo) override { return Out("DeviceTest", {}, {&d, &demo}); }
    bool GetAdditionalActions(S& t) override { return Out("GetAdditionalActions", {}, {&t}); }
    bool DoAdditionalAction(const S& a) override { return Record("DoAdditionalAction", {U8(a)}); }
    bool GetDataKKT(const S& id, S& t) override { return Out("GetDataKKT", {U8(id)}, {&t}); }
    bool OperationFN(const S& id, int32_t type, const S& p) override {
        return Record("OperationFN", {U8(id), std::to_string(type), U8(p)});
    }
    bool OpenShift(const S& id, const S& in, S& out) override { return Out("OpenShift", {U8(id), U8(in)}, {&out}); }
    bool CloseShift(const S& id, const S& in, S& out) override {
        return Out("CloseShift", {U8(id), U8(in)}, {&out});
    }
    bool ProcessCheck(const S& id, bool e, const S& p, S& out) override {
        return Out("ProcessCheck", {U8(id), Flag(e), U8(p)}, {&out});
    }
    bool ProcessCorrectionCheck(const S& id, bool e, const S& p, S& out) override {
        return Out("ProcessCorrectionCheck", {U8(id), Flag(e), U8(p)}, {&out});
    }
    bool CashInOutcome(const S& id, const S& in, double amount) override {
        return Record("CashInOutcome", {U8(id), U8(in), Number(amount)});
    }
    bool PrintXReport(const S& id, const S& in) override { return Record("PrintXReport", {U8(id), U8(in)}); }
    bool GetCurrentStatus(const S& id, const S& in, S& out) override {
        return Out("GetCurrentStatus", {U8(id), U8(in)}, {&out});
    }
    bool ReportCurrentStatusOfSettlements(const S& id, const S& in, S& out) override {
        return Out("ReportCurrentStatusOfSettlements", {U8(id), U8(in)}, {&out});
    }
    bool OpenCashDrawer(const S& id) override { return Record("OpenCashDrawer", {U8(id)}); }
    bool GetLineLength(const S& id, int32_t& length) override {
        bool answer = Record("GetLineLength", {U8(id)});
        length = LineLength;
        return answer;
    }
    bool PrintCheckCopy(const S& id, const S& number) override {
        return Record("PrintCheckCopy", {U8(id), U8(number)});
    }
    bool PrintTextDocument(const S& id, const S& package) override {
        return Record("PrintTextDocument", {U8(id), U8(package)});
    }
    bool OpenSessionRegistrationKM(const S& id) override { return Record("OpenSessionRegistrationKM", {U8(id)}); }
    bool CloseSessionRegistrationKM(const S& id) override {
        return Record("CloseSessionRegistrationKM", {U8(id)});
    }
    bool RequestKM(const S& id, const S& request, S& result) override {
        return Out("RequestKM", {U8(id), U8(request)}, {&result});
    }
    bool GetProcessingKMResult(const S& id, S& result, int32_t& status) override {
        bool answer = Out("GetProcessingKMResult", {U8(id)}, {&result});
        status = KMRequestStatus;
        return answer;
    }
    bool ConfirmKM(const S& id, const S& guid, int32_t type) override {
        return Record("ConfirmKM", {U8(id), U8(guid), std::to_string(type)});
    }
    bool GetLocalizationPattern(S& pattern) override { return Out("GetLocalizationPattern", {}, {&pattern}); }
    bool SetLocalization(const S& code, const S& pattern) override {
        return Record("SetLocalization", {U8(code), U8(pattern)});
    }
    bool EquipmentParameters(const S& type, S& table) override {
        return Out("EquipmentParameters", {U8(type)}, {&table});
    }
    bool EquipmentTest(const S& type, const S& connection, S& d, S& demo) override {
        return Out("EquipmentTest", {U8(type), U8(connection)}, {&d, &demo});
    }
    bool SetApplicationInformation(const S& settings) override {
        return Record("SetApplicationInformation", {U8(settings)});
    }
    bool ConnectEquipment(S& id, const S& type, const S& connection) override {
        return Out("ConnectEquipment", {U8(type), U8(connection)}, {&id});
    }
    bool DisconnectEquipment(const S& id) override { return Record("DisconnectEquipment", {U8(id)}); }
    bool EquipmentAutoSetup(S& type, const S& in, S& out, bool show, int32_t timeout) override {
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
    static bool Out(const std::string& name, std::vector<std::string> args, const std::vector<S*>& outs) {
        for (const S* out : outs) args.push_back("[" + U8(*out) + "]");
        bool answer = Record(name, args);
        for (size_t i = 0; i < outs.size(); ++i) *outs[i] = text::FromUtf8(name + "->" + std::to_string(i));
        return answer;
    }
};

std::unique_ptr<TFiscalDriver> CreateDriver() {
    ++GState->CreationAttempts;
    if (GState->CreationFails) RaiseFailure(CreationFailureText());
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
