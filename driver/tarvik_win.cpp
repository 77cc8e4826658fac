#include "driver/tarvik_win.h"

#include <atomic>
#include <new>

#include "driver/oleerror.h"
#include "hostapi/textscan.h"
#include "platform/failure.h"

namespace {

// The site the controls live on. It offers nothing beyond IOleClientSite:
// the controls are never shown, saved or linked. No exception leaves it.
class TSilentClientSite final : public IOleClientSite {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
        if (!object) return E_POINTER;
        *object = nullptr;
        try {
            if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
                *object = static_cast<IOleClientSite*>(this);
                AddRef();
                return S_OK;
            }
            return E_NOINTERFACE;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return static_cast<ULONG>(::InterlockedIncrement(&FRefs)); }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        LONG refs = ::InterlockedDecrement(&FRefs);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }
    HRESULT STDMETHODCALLTYPE SaveObject() noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) noexcept override {
        if (moniker) *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) noexcept override {
        if (container) *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() noexcept override { return E_NOTIMPL; }

private:
    ~TSilentClientSite() = default;
    LONG FRefs = 1;
};

std::u16string ErrorObjectDescription() {
    TComPtr<IErrorInfo> info;
    if (::GetErrorInfo(0, info.Receive()) != S_OK || !info) return std::u16string();
    TBStr description;
    if (FAILED(info.Get()->GetDescription(description.Receive()))) return std::u16string();
    return description.Text();
}

inline VARIANT_BOOL ToVariantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

void FreeBstr(char16_t* data) { ::SysFreeString(reinterpret_cast<BSTR>(data)); }

// Hands the driver's out-BSTR over as it is, without copying it.
void Adopt(TBStr& received, TOutText& out) {
    const UINT size = received.Get() != nullptr ? ::SysStringLen(received.Get()) : 0;
    out.Adopt(reinterpret_cast<char16_t*>(received.Release()), size, &FreeBstr);
}

// Clears whatever error object an earlier failure left on this thread, so
// that only the answer of the coming call is taken as its description.
inline void ForgetErrorObject() { ::SetErrorInfo(0, nullptr); }

}  // namespace

void OleCheck(HRESULT hr) {
    if (SUCCEEDED(hr)) return;
    RaiseFailure(OleErrorMessage(hr, ErrorObjectDescription()), hr);
}

// --- TInTexts ----------------------------------------------------------------

TInTexts::TInTexts(TKeptTexts& kept) : FKept(kept.Busy.exchange(true, std::memory_order_acquire) ? nullptr : &kept) {}

TInTexts::~TInTexts() {
    if (FKept != nullptr) FKept->Busy.store(false, std::memory_order_release);
}

BSTR TInTexts::operator()(std::u16string_view text) {
    if (text.size() >= 0x7FFFFFF0u) RaiseFailure(StatusMessage(E_OUTOFMEMORY));
    const auto* data = reinterpret_cast<const OLECHAR*>(text.data());
    const auto size = static_cast<UINT>(text.size());
    const size_t k = FUsed++;
    if (k >= TKeptTexts::Count) RaiseFailure(StatusMessage(E_UNEXPECTED));
    if (FKept != nullptr && text.size() <= TKeptTexts::MaxUnits) {
        TBStr& kept = FKept->Texts[k];
        const BSTR held = kept.Get();
        if (held != nullptr && ::SysStringLen(held) == size &&
            std::char_traits<char16_t>::compare(reinterpret_cast<const char16_t*>(held), text.data(), size) == 0)
            return held;  // the same identifier as last time
        BSTR made = ::SysAllocStringLen(data, size);
        if (made == nullptr) RaiseFailure(StatusMessage(E_OUTOFMEMORY));
        *kept.Receive() = made;
        return made;
    }
    if (FKept != nullptr && text.size() <= TKeptTexts::MaxLongUnits) {
        TBStr& kept = FKept->Long[k];
        // Resized without its text, then filled by our own copy: the
        // system's copy is the slow part of making a BSTR.
        if ((kept.Get() == nullptr || ::SysStringLen(kept.Get()) != size) && !kept.Resize(size))
            RaiseFailure(StatusMessage(E_OUTOFMEMORY));
        textscan::CopyUnits(reinterpret_cast<char16_t*>(kept.Get()), text.data(), size);
        return kept.Get();
    }
    TBStr& own = FOwn[k];
    *own.Receive() = ::SysAllocStringLen(data, size);
    if (own.Get() == nullptr) RaiseFailure(StatusMessage(E_OUTOFMEMORY));
    return own.Get();
}

// --- TOleControlObject ----------------------------------------------------

TOleControlObject::TOleControlObject(const CLSID& classId) {
    try {
        ForgetErrorObject();
        OleCheck(::CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IOleObject,
                                    FOleObject.ReceiveVoid()));
        *FSite.Receive() = new TSilentClientSite();
        OleCheck(FOleObject.Get()->SetClientSite(FSite.Get()));
        FSiteSet = true;
        TComPtr<IPersistStreamInit> persist;
        if (SUCCEEDED(FOleObject.Get()->QueryInterface(IID_IPersistStreamInit, persist.ReceiveVoid())) && persist)
            OleCheck(persist.Get()->InitNew());
        if (FAILED(FOleObject.Get()->QueryInterface(IID_IOleControl, FOleControl.ReceiveVoid())))
            FOleControl.Reset();
        OleCheck(FOleObject.Get()->QueryInterface(IID_IDispatch, FDispatch.ReceiveVoid()));
        if (!FDispatch) RaiseFailure(StatusMessage(E_NOINTERFACE), E_NOINTERFACE);
    } catch (const std::bad_alloc&) {
        Shutdown();
        RaiseFailure(StatusMessage(E_OUTOFMEMORY), E_OUTOFMEMORY);
    } catch (...) {
        Shutdown();
        throw;
    }
}

TOleControlObject::~TOleControlObject() { Shutdown(); }

void TOleControlObject::Shutdown() noexcept {
    FDispatch.Reset();
    FOleControl.Reset();
    if (FOleObject) {
        FOleObject.Get()->Close(OLECLOSE_NOSAVE);
        if (FSiteSet) FOleObject.Get()->SetClientSite(nullptr);
        FSiteSet = false;
        FOleObject.Reset();
    }
    FSite.Reset();
}

void TOleControlObject::InvokeProperty(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
    TExcepInfo excep;
    UINT argErr = 0;
    HRESULT hr = FDispatch.Get()->Invoke(id, IID_NULL, 0, flags, params, result, excep.Get(), &argErr);
    if (SUCCEEDED(hr)) return;
    if (hr == DISP_E_EXCEPTION) {
        excep.Complete();
        RaiseFailure(OleErrorMessage(excep.Code() != 0 ? excep.Code() : hr, excep.Description()));
    }
    RaiseFailure(StatusMessage(hr));
}

int32_t TOleControlObject::GetIntProperty(DISPID id) {
    DISPPARAMS params = {nullptr, nullptr, 0, 0};
    TVariant result;
    InvokeProperty(id, DISPATCH_PROPERTYGET, &params, &result.Get());
    if (result.Get().vt != VT_I4) RaiseFailure(StatusMessage(DISP_E_TYPEMISMATCH));
    return result.Get().lVal;
}

void TOleControlObject::SetIntProperty(DISPID id, int32_t value) {
    VARIANT arg;
    ::VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = value;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&arg, &named, 1, 1};
    InvokeProperty(id, DISPATCH_PROPERTYPUT, &params, nullptr);
}

std::u16string TOleControlObject::GetTextProperty(DISPID id) {
    DISPPARAMS params = {nullptr, nullptr, 0, 0};
    TVariant result;
    InvokeProperty(id, DISPATCH_PROPERTYGET, &params, &result.Get());
    if (result.Get().vt != VT_BSTR) RaiseFailure(StatusMessage(DISP_E_TYPEMISMATCH));
    return TBStr::TextOf(result.Get().bstrVal);
}

// --- TTarvik1C30 ----------------------------------------------------------

TTarvik1C30::TTarvik1C30() : FControl(CLSID_Tarvik1C30) {
    if (FAILED(FControl.Dispatch()->QueryInterface(IID_ITarvik1C30, FIntf.ReceiveVoid()))) FIntf.Reset();
}

TTarvik1C30::~TTarvik1C30() = default;

ITarvik1C30* TTarvik1C30::Intf() const {
    if (!FIntf) RaiseFailure(u"Interface not supported");
    ForgetErrorObject();
    return FIntf.Get();
}

// Each operation: in-texts become BSTRs, out-texts are received into owned
// BSTRs and handed over only when the call succeeds.
#define SLOT(name, ...)                                  \
    do {                                                 \
        ITarvik1C30* self = Intf();                      \
        OleCheck(self->Slots->name(self, __VA_ARGS__));  \
    } while (0)

int32_t TTarvik1C30::GetInterfaceRevision() {
    LONG result = 0;
    SLOT(GetInterfaceRevision, &result);
    return result;
}

bool TTarvik1C30::GetDescription(TOutText& DriverDescription) {
    DriverDescription.clear();
    TBStr out;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(GetDescription, out.Receive(), &result);
    Adopt(out, DriverDescription);
    return result != VARIANT_FALSE;
}

int32_t TTarvik1C30::GetLastError(TOutText& ErrorDescription) {
    ErrorDescription.clear();
    TBStr out;
    LONG result = 0;
    SLOT(GetLastError, out.Receive(), &result);
    Adopt(out, ErrorDescription);
    return result;
}

bool TTarvik1C30::GetParameters(TOutText& TableParameters) {
    TableParameters.clear();
    TBStr out;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(GetParameters, out.Receive(), &result);
    Adopt(out, TableParameters);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::SetParameter(std::u16string_view Name, const TAutoValue& Value) {
    TInTexts in(FKeptTexts);
    BSTR name = in(Name);
    TVariant value;
    VARIANT& v = value.Get();
    switch (Value.Kind) {
        case TAutoValue::Int32:
            v.vt = VT_I4;
            v.lVal = Value.IntValue;
            break;
        case TAutoValue::Double:
            v.vt = VT_R8;
            v.dblVal = Value.DoubleValue;
            break;
        case TAutoValue::Boolean:
            v.vt = VT_BOOL;
            v.boolVal = ToVariantBool(Value.BoolValue);
            break;
        case TAutoValue::Text:
        default:
            v.bstrVal = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(Value.TextValue.data()),
                                            static_cast<UINT>(Value.TextValue.size()));
            if (!v.bstrVal) RaiseFailure(StatusMessage(E_OUTOFMEMORY));
            v.vt = VT_BSTR;
            break;
    }
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(SetParameter, name, v, &result);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::Open(TOutText& DeviceID) {
    DeviceID.clear();
    TBStr out;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(Open, out.Receive(), &result);
    Adopt(out, DeviceID);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::Close(std::u16string_view DeviceID) {
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID);
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(Close, device, &result);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::DeviceTest(TOutText& Description, TOutText& DemoModeIsActivated) {
    Description.clear();
    DemoModeIsActivated.clear();
    TBStr description, demo;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(DeviceTest, description.Receive(), demo.Receive(), &result);
    Adopt(description, Description);
    Adopt(demo, DemoModeIsActivated);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::GetAdditionalActions(TOutText& TableActions) {
    TableActions.clear();
    TBStr out;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(GetAdditionalActions, out.Receive(), &result);
    Adopt(out, TableActions);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::DoAdditionalAction(std::u16string_view ActionName) {
    TInTexts in(FKeptTexts);
    BSTR action = in(ActionName);
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(DoAdditionalAction, action, &result);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::GetDataKKT(std::u16string_view DeviceID, TOutText& TableParametersKKT) {
    TableParametersKKT.clear();
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID);
    TBStr out;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(GetDataKKT, device, out.Receive(), &result);
    Adopt(out, TableParametersKKT);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::OperationFN(std::u16string_view DeviceID, int32_t OperationType,
                              std::u16string_view ParametersFiscal) {
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID), parameters = in(ParametersFiscal);
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(OperationFN, device, OperationType, parameters, &result);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::OpenShift(std::u16string_view DeviceID, std::u16string_view InputParameters,
                            TOutText& OutputParameters) {
    OutputParameters.clear();
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID), input = in(InputParameters);
    TBStr out;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(OpenShift, device, input, out.Receive(), &result);
    Adopt(out, OutputParameters);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::CloseShift(std::u16string_view DeviceID, std::u16string_view InputParameters,
                             TOutText& OutputParameters) {
    OutputParameters.clear();
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID), input = in(InputParameters);
    TBStr out;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(CloseShift, device, input, out.Receive(), &result);
    Adopt(out, OutputParameters);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::ProcessCheck(std::u16string_view DeviceID, bool Electronically,
                               std::u16string_view CheckPackage, TOutText& DocumentOutputParameters) {
    DocumentOutputParameters.clear();
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID), package = in(CheckPackage);
    TBStr out;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(ProcessCheck, device, ToVariantBool(Electronically), package, out.Receive(), &result);
    Adopt(out, DocumentOutputParameters);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::ProcessCorrectionCheck(std::u16string_view DeviceID, bool Electronically,
                                         std::u16string_view CheckPackage,
                                         TOutText& DocumentOutputParameters) {
    DocumentOutputParameters.clear();
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID), package = in(CheckPackage);
    TBStr out;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(ProcessCorrectionCheck, device, ToVariantBool(Electronically), package, out.Receive(), &result);
    Adopt(out, DocumentOutputParameters);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::CashInOutcome(std::u16string_view DeviceID, std::u16string_view InputParameters,
                                double Amount) {
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID), input = in(InputParameters);
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(CashInOutcome, device, input, Amount, &result);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::PrintXReport(std::u16string_view DeviceID, std::u16string_view InputParameters) {
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID), input = in(InputParameters);
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(PrintXReport, device, input, &result);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::GetCurrentStatus(std::u16string_view DeviceID, std::u16string_view InputParameters,
                                   TOutText& OutputParameters) {
    OutputParameters.clear();
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID), input = in(InputParameters);
    TBStr out;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(GetCurrentStatus, device, input, out.Receive(), &result);
    Adopt(out, OutputParameters);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::ReportCurrentStatusOfSettlements(std::u16string_view DeviceID,
                                                   std::u16string_view InputParameters,
                                                   TOutText& OutputParameters) {
    OutputParameters.clear();
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID), input = in(InputParameters);
    TBStr out;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(ReportCurrentStatusOfSettlements, device, input, out.Receive(), &result);
    Adopt(out, OutputParameters);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::OpenCashDrawer(std::u16string_view DeviceID) {
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID);
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(OpenCashDrawer, device, &result);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::GetLineLength(std::u16string_view DeviceID, int32_t& LineLength) {
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID);
    LONG length = 0;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(GetLineLength, device, &length, &result);
    LineLength = length;
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::PrintCheckCopy(std::u16string_view DeviceID, std::u16string_view CheckNumber) {
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID), number = in(CheckNumber);
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(PrintCheckCopy, device, number, &result);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::PrintTextDocument(std::u16string_view DeviceID, std::u16string_view DocumentPackage) {
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID), package = in(DocumentPackage);
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(PrintTextDocument, device, package, &result);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::OpenSessionRegistrationKM(std::u16string_view DeviceID) {
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID);
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(OpenSessionRegistrationKM, device, &result);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::CloseSessionRegistrationKM(std::u16string_view DeviceID) {
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID);
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(CloseSessionRegistrationKM, device, &result);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::RequestKM(std::u16string_view DeviceID, std::u16string_view RequestKM,
                            TOutText& RequestKMResult) {
    RequestKMResult.clear();
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID), request = in(RequestKM);
    TBStr out;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(RequestKM, device, request, out.Receive(), &result);
    Adopt(out, RequestKMResult);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::GetProcessingKMResult(std::u16string_view DeviceID, TOutText& ProcessingKMResult,
                                        int32_t& RequestStatus) {
    ProcessingKMResult.clear();
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID);
    TBStr out;
    LONG status = 0;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(GetProcessingKMResult, device, out.Receive(), &status, &result);
    Adopt(out, ProcessingKMResult);
    RequestStatus = status;
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::ConfirmKM(std::u16string_view DeviceID, std::u16string_view RequestGUID,
                            int32_t ConfirmationType) {
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID), guid = in(RequestGUID);
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(ConfirmKM, device, guid, ConfirmationType, &result);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::GetLocalizationPattern(TOutText& LocalizationPattern) {
    LocalizationPattern.clear();
    TBStr out;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(GetLocalizationPattern, out.Receive(), &result);
    Adopt(out, LocalizationPattern);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::SetLocalization(std::u16string_view LanguageCode, std::u16string_view LocalizationPattern) {
    TInTexts in(FKeptTexts);
    BSTR language = in(LanguageCode), pattern = in(LocalizationPattern);
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(SetLocalization, language, pattern, &result);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::EquipmentParameters(std::u16string_view EquipmentType, TOutText& TableParameters) {
    TableParameters.clear();
    TInTexts in(FKeptTexts);
    BSTR type = in(EquipmentType);
    TBStr out;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(EquipmentParameters, type, out.Receive(), &result);
    Adopt(out, TableParameters);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::EquipmentTest(std::u16string_view EquipmentType, std::u16string_view ConnectionParameters,
                                TOutText& Description, TOutText& DemoModeIsActivated) {
    Description.clear();
    DemoModeIsActivated.clear();
    TInTexts in(FKeptTexts);
    BSTR type = in(EquipmentType), connection = in(ConnectionParameters);
    TBStr description, demo;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(EquipmentTest, type, connection, description.Receive(), demo.Receive(), &result);
    Adopt(description, Description);
    Adopt(demo, DemoModeIsActivated);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::SetApplicationInformation(std::u16string_view ApplicationSettings) {
    TInTexts in(FKeptTexts);
    BSTR settings = in(ApplicationSettings);
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(SetApplicationInformation, settings, &result);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::ConnectEquipment(TOutText& DeviceID, std::u16string_view EquipmentType,
                                   std::u16string_view ConnectionParameters) {
    DeviceID.clear();
    TInTexts in(FKeptTexts);
    BSTR type = in(EquipmentType), connection = in(ConnectionParameters);
    TBStr device;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(ConnectEquipment, device.Receive(), type, connection, &result);
    Adopt(device, DeviceID);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::DisconnectEquipment(std::u16string_view DeviceID) {
    TInTexts in(FKeptTexts);
    BSTR device = in(DeviceID);
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(DisconnectEquipment, device, &result);
    return result != VARIANT_FALSE;
}

bool TTarvik1C30::EquipmentAutoSetup(TOutText& EquipmentType, std::u16string_view ConnectionParametersIn,
                                     TOutText& ConnectionParametersOut, bool ShowAutoSetupWindow,
                                     int32_t Timeout) {
    EquipmentType.clear();
    ConnectionParametersOut.clear();
    TInTexts in(FKeptTexts);
    BSTR input = in(ConnectionParametersIn);
    TBStr type, output;
    VARIANT_BOOL result = VARIANT_FALSE;
    SLOT(EquipmentAutoSetup, type.Receive(), input, output.Receive(), ToVariantBool(ShowAutoSetupWindow), Timeout,
         &result);
    Adopt(type, EquipmentType);
    Adopt(output, ConnectionParametersOut);
    return result != VARIANT_FALSE;
}

#undef SLOT

int32_t TTarvik1C30::Get_kelmor_FormatVersion() { return FControl.GetIntProperty(DISPID_kelmor_FormatVersion); }

void TTarvik1C30::Set_kelmor_FormatVersion(int32_t Value) {
    FControl.SetIntProperty(DISPID_kelmor_FormatVersion, Value);
}

// --- TTarvik ----------------------------------------------------------------

TTarvik::TTarvik() : FControl(CLSID_Tarvik) {}

std::u16string TTarvik::DriverVersion() { return FControl.GetTextProperty(DISPID_DriverVersion); }
