// The fiscal driver's COM objects as the library sees them: the driver
// object (TTarvik1C30, interface ITarvik1C30) and the main control (TTarvik).
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "driver/comptr_win.h"
#include "driver/fiscaldriver.h"

// {32D32C7A-CEF9-4AC5-8953-3D6DF81ABBD6}
constexpr CLSID CLSID_Tarvik1C30 = {0x32D32C7A, 0xCEF9, 0x4AC5, {0x89, 0x53, 0x3D, 0x6D, 0xF8, 0x1A, 0xBB, 0xD6}};
// {E390D34B-02C3-46C8-803C-DB8131AC5331}
constexpr IID IID_ITarvik1C30 = {0xE390D34B, 0x02C3, 0x46C8, {0x80, 0x3C, 0xDB, 0x81, 0x31, 0xAC, 0x53, 0x31}};
// {E187099F-8C5C-4723-8866-D8DBB6353ADE}
constexpr CLSID CLSID_Tarvik = {0xE187099F, 0x8C5C, 0x4723, {0x88, 0x66, 0xD8, 0xDB, 0xB6, 0x35, 0x3A, 0xDE}};

constexpr DISPID DISPID_kelmor_FormatVersion = 217;  // VT_I4
constexpr DISPID DISPID_DriverVersion = 1932;        // VT_BSTR

// The dual interface ITarvik1C30, written out slot by slot. Every slot is
// stdcall, returns an HRESULT and ends with its [out, retval] result.
struct ITarvik1C30;
struct ITarvik1C30Slots {
    // IUnknown
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(ITarvik1C30* self, REFIID riid, void** object);  // 0
    ULONG(STDMETHODCALLTYPE* AddRef)(ITarvik1C30* self);                                        // 1
    ULONG(STDMETHODCALLTYPE* Release)(ITarvik1C30* self);                                       // 2
    // IDispatch
    HRESULT(STDMETHODCALLTYPE* GetTypeInfoCount)(ITarvik1C30* self, UINT* count);                          // 3
    HRESULT(STDMETHODCALLTYPE* GetTypeInfo)(ITarvik1C30* self, UINT index, LCID lcid, ITypeInfo** info);  // 4
    HRESULT(STDMETHODCALLTYPE* GetIDsOfNames)(ITarvik1C30* self, REFIID riid, LPOLESTR* names, UINT count,
                                              LCID lcid, DISPID* ids);  // 5
    HRESULT(STDMETHODCALLTYPE* Invoke)(ITarvik1C30* self, DISPID id, REFIID riid, LCID lcid, WORD flags,
                                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                       UINT* argErr);  // 6
    // ITarvik1C30
    HRESULT(STDMETHODCALLTYPE* GetInterfaceRevision)(ITarvik1C30* self, LONG* result);  // 7
    HRESULT(STDMETHODCALLTYPE* GetDescription)(ITarvik1C30* self, BSTR* DriverDescription,
                                               VARIANT_BOOL* result);  // 8
    HRESULT(STDMETHODCALLTYPE* GetLastError)(ITarvik1C30* self, BSTR* ErrorDescription, LONG* result);  // 9
    HRESULT(STDMETHODCALLTYPE* GetParameters)(ITarvik1C30* self, BSTR* TableParameters,
                                              VARIANT_BOOL* result);  // 10
    HRESULT(STDMETHODCALLTYPE* SetParameter)(ITarvik1C30* self, BSTR Name, VARIANT Value,
                                             VARIANT_BOOL* result);                           // 11
    HRESULT(STDMETHODCALLTYPE* Open)(ITarvik1C30* self, BSTR* DeviceID, VARIANT_BOOL* result);  // 12
    HRESULT(STDMETHODCALLTYPE* Close)(ITarvik1C30* self, BSTR DeviceID, VARIANT_BOOL* result);  // 13
    HRESULT(STDMETHODCALLTYPE* DeviceTest)(ITarvik1C30* self, BSTR* Description, BSTR* DemoModeIsActivated,
                                           VARIANT_BOOL* result);  // 14
    HRESULT(STDMETHODCALLTYPE* GetAdditionalActions)(ITarvik1C30* self, BSTR* TableActions,
                                                     VARIANT_BOOL* result);  // 15
    HRESULT(STDMETHODCALLTYPE* DoAdditionalAction)(ITarvik1C30* self, BSTR ActionName,
                                                   VARIANT_BOOL* result);  // 16
    HRESULT(STDMETHODCALLTYPE* GetDataKKT)(ITarvik1C30* self, BSTR DeviceID, BSTR* TableParametersKKT,
                                           VARIANT_BOOL* result);  // 17
    HRESULT(STDMETHODCALLTYPE* OperationFN)(ITarvik1C30* self, BSTR DeviceID, LONG OperationType,
                                            BSTR ParametersFiscal, VARIANT_BOOL* result);  // 18
    HRESULT(STDMETHODCALLTYPE* OpenShift)(ITarvik1C30* self, BSTR DeviceID, BSTR InputParameters,
                                          BSTR* OutputParameters, VARIANT_BOOL* result);  // 19
    HRESULT(STDMETHODCALLTYPE* CloseShift)(ITarvik1C30* self, BSTR DeviceID, BSTR InputParameters,
                                           BSTR* OutputParameters, VARIANT_BOOL* result);  // 20
    HRESULT(STDMETHODCALLTYPE* ProcessCheck)(ITarvik1C30* self, BSTR DeviceID, VARIANT_BOOL Electronically,
                                             BSTR CheckPackage, BSTR* DocumentOutputParameters,
                                             VARIANT_BOOL* result);  // 21
    HRESULT(STDMETHODCALLTYPE* ProcessCorrectionCheck)(ITarvik1C30* self, BSTR DeviceID,
                                                       VARIANT_BOOL Electronically, BSTR CheckPackage,
                                                       BSTR* DocumentOutputParameters,
                                                       VARIANT_BOOL* result);  // 22
    HRESULT(STDMETHODCALLTYPE* CashInOutcome)(ITarvik1C30* self, BSTR DeviceID, BSTR InputParameters,
                                              double Amount, VARIANT_BOOL* result);  // 23
    HRESULT(STDMETHODCALLTYPE* PrintXReport)(ITarvik1C30* self, BSTR DeviceID, BSTR InputParameters,
                                             VARIANT_BOOL* result);  // 24
    HRESULT(STDMETHODCALLTYPE* GetCurrentStatus)(ITarvik1C30* self, BSTR DeviceID, BSTR InputParameters,
                                                 BSTR* OutputParameters, VARIANT_BOOL* result);  // 25
    HRESULT(STDMETHODCALLTYPE* ReportCurrentStatusOfSettlements)(ITarvik1C30* self, BSTR DeviceID,
                                                                 BSTR InputParameters, BSTR* OutputParameters,
                                                                 VARIANT_BOOL* result);  // 26
    HRESULT(STDMETHODCALLTYPE* OpenCashDrawer)(ITarvik1C30* self, BSTR DeviceID, VARIANT_BOOL* result);  // 27
    HRESULT(STDMETHODCALLTYPE* GetLineLength)(ITarvik1C30* self, BSTR DeviceID, LONG* LineLength,
                                              VARIANT_BOOL* result);  // 28
    HRESULT(STDMETHODCALLTYPE* PrintCheckCopy)(ITarvik1C30* self, BSTR DeviceID, BSTR CheckNumber,
                                               VARIANT_BOOL* result);  // 29
    HRESULT(STDMETHODCALLTYPE* PrintTextDocument)(ITarvik1C30* self, BSTR DeviceID, BSTR DocumentPackage,
                                                  VARIANT_BOOL* result);  // 30
    // Property kelmor_FormatVersion: reached through IDispatch::Invoke, never
    // through these two slots.
    HRESULT(STDMETHODCALLTYPE* get_kelmor_FormatVersion)(ITarvik1C30* self, LONG* Value);  // 31
    HRESULT(STDMETHODCALLTYPE* put_kelmor_FormatVersion)(ITarvik1C30* self, LONG Value);   // 32
    HRESULT(STDMETHODCALLTYPE* OpenSessionRegistrationKM)(ITarvik1C30* self, BSTR DeviceID,
                                                          VARIANT_BOOL* result);  // 33
    HRESULT(STDMETHODCALLTYPE* CloseSessionRegistrationKM)(ITarvik1C30* self, BSTR DeviceID,
                                                           VARIANT_BOOL* result);  // 34
    HRESULT(STDMETHODCALLTYPE* RequestKM)(ITarvik1C30* self, BSTR DeviceID, BSTR RequestKM,
                                          BSTR* RequestKMResult, VARIANT_BOOL* result);  // 35
    HRESULT(STDMETHODCALLTYPE* GetProcessingKMResult)(ITarvik1C30* self, BSTR DeviceID, BSTR* ProcessingKMResult,
                                                      LONG* RequestStatus, VARIANT_BOOL* result);  // 36
    HRESULT(STDMETHODCALLTYPE* ConfirmKM)(ITarvik1C30* self, BSTR DeviceID, BSTR RequestGUID,
                                          LONG ConfirmationType, VARIANT_BOOL* result);  // 37
    HRESULT(STDMETHODCALLTYPE* GetLocalizationPattern)(ITarvik1C30* self, BSTR* LocalizationPattern,
                                                       VARIANT_BOOL* result);  // 38
    HRESULT(STDMETHODCALLTYPE* SetLocalization)(ITarvik1C30* self, BSTR LanguageCode, BSTR LocalizationPattern,
                                                VARIANT_BOOL* result);  // 39
    HRESULT(STDMETHODCALLTYPE* EquipmentParameters)(ITarvik1C30* self, BSTR EquipmentType,
                                                    BSTR* TableParameters, VARIANT_BOOL* result);  // 40
    HRESULT(STDMETHODCALLTYPE* EquipmentTest)(ITarvik1C30* self, BSTR EquipmentType, BSTR ConnectionParameters,
                                              BSTR* Description, BSTR* DemoModeIsActivated,
                                              VARIANT_BOOL* result);  // 41
    HRESULT(STDMETHODCALLTYPE* SetApplicationInformation)(ITarvik1C30* self, BSTR ApplicationSettings,
                                                          VARIANT_BOOL* result);  // 42
    HRESULT(STDMETHODCALLTYPE* ConnectEquipment)(ITarvik1C30* self, BSTR* DeviceID, BSTR EquipmentType,
                                                 BSTR ConnectionParameters, VARIANT_BOOL* result);  // 43
    HRESULT(STDMETHODCALLTYPE* DisconnectEquipment)(ITarvik1C30* self, BSTR DeviceID,
                                                    VARIANT_BOOL* result);  // 44
    HRESULT(STDMETHODCALLTYPE* EquipmentAutoSetup)(ITarvik1C30* self, BSTR* EquipmentType,
                                                   BSTR ConnectionParametersIn, BSTR* ConnectionParametersOut,
                                                   VARIANT_BOOL ShowAutoSetupWindow, LONG Timeout,
                                                   VARIANT_BOOL* result);  // 45
};
struct ITarvik1C30 {
    const ITarvik1C30Slots* Slots;
};

static_assert(offsetof(ITarvik1C30Slots, Invoke) == 6 * sizeof(void*), "IDispatch ends at slot 6");
static_assert(offsetof(ITarvik1C30Slots, GetInterfaceRevision) == 7 * sizeof(void*), "slot 7");
static_assert(offsetof(ITarvik1C30Slots, PrintTextDocument) == 30 * sizeof(void*), "slot 30");
static_assert(offsetof(ITarvik1C30Slots, OpenSessionRegistrationKM) == 33 * sizeof(void*), "slot 33");
static_assert(offsetof(ITarvik1C30Slots, EquipmentAutoSetup) == 45 * sizeof(void*), "slot 45");
static_assert(sizeof(ITarvik1C30Slots) == 46 * sizeof(void*), "46 slots");

// One ActiveX control that is never shown: created by class identifier,
// given a client site, initialised as new and closed without saving. Its
// properties are read and written through IDispatch with locale 0.
class TOleControlObject {
public:
    explicit TOleControlObject(const CLSID& classId);  // raises EFailure
    ~TOleControlObject();
    TOleControlObject(const TOleControlObject&) = delete;
    TOleControlObject& operator=(const TOleControlObject&) = delete;

    IDispatch* Dispatch() const { return FDispatch.Get(); }

    int32_t GetIntProperty(DISPID id);
    void SetIntProperty(DISPID id, int32_t value);
    std::u16string GetTextProperty(DISPID id);

private:
    void Shutdown() noexcept;
    void InvokeProperty(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result);

    TComPtr<IOleClientSite> FSite;
    TComPtr<IOleObject> FOleObject;
    TComPtr<IOleControl> FOleControl;
    TComPtr<IDispatch> FDispatch;
    bool FSiteSet = false;
};

// The in-texts a driver object keeps from call to call. Short ones are
// identifiers (a device id, an equipment type) that come again and again:
// handing the driver the BSTR it had last time costs a comparison instead of
// a new BSTR. Long ones (packages) differ each time: their BSTR's block is
// kept and filled again, which spares the system's allocation, freeing and
// slower copy of several kilobytes a call.
struct TKeptTexts {
    static const size_t Count = 2;                   // in-texts of one operation, at most
    static const size_t MaxUnits = 64;               // longer texts are refilled, not compared
    static const size_t MaxLongUnits = 256 * 1024;   // longer still: a BSTR of their own each time
    TBStr Texts[Count];
    TBStr Long[Count];
    std::atomic<bool> Busy{false};  // an operation is under way with them
};

// The in-texts of one operation, as BSTRs: a short one is the BSTR kept for
// its place when that holds the same text, else a new one that is kept from
// then on; a long one is the long BSTR kept for its place, resized when its
// length differs and filled with the text; a very long one is a BSTR of its
// own. While one operation of the driver object is under way its kept BSTRs
// are not touched: a call made during it (a driver that pumps messages lets
// the host call again; another thread) makes its own. Raises when the system
// has no memory.
class TInTexts {
public:
    explicit TInTexts(TKeptTexts& kept);
    ~TInTexts();
    TInTexts(const TInTexts&) = delete;
    TInTexts& operator=(const TInTexts&) = delete;

    // The next in-text of the call; valid until this object goes.
    BSTR operator()(std::u16string_view text);

private:
    TKeptTexts* FKept;  // null: the kept BSTRs are in use
    TBStr FOwn[TKeptTexts::Count];
    size_t FUsed = 0;
};

// The driver object. Each method calls the slot of the same name; a failed
// call raises EFailure with the driver's description, else the system's
// message for the HRESULT, else "OLE error" and the code.
class TTarvik1C30 final : public TFiscalDriver {
public:
    TTarvik1C30();  // creates and sets up the driver object; raises EFailure
    ~TTarvik1C30() override;

    int32_t GetInterfaceRevision() override;
    bool GetDescription(TOutText& DriverDescription) override;
    int32_t GetLastError(TOutText& ErrorDescription) override;
    bool GetParameters(TOutText& TableParameters) override;
    bool SetParameter(std::u16string_view Name, const TAutoValue& Value) override;
    bool Open(TOutText& DeviceID) override;
    bool Close(std::u16string_view DeviceID) override;
    bool DeviceTest(TOutText& Description, TOutText& DemoModeIsActivated) override;
    bool GetAdditionalActions(TOutText& TableActions) override;
    bool DoAdditionalAction(std::u16string_view ActionName) override;
    bool GetDataKKT(std::u16string_view DeviceID, TOutText& TableParametersKKT) override;
    bool OperationFN(std::u16string_view DeviceID, int32_t OperationType,
                     std::u16string_view ParametersFiscal) override;
    bool OpenShift(std::u16string_view DeviceID, std::u16string_view InputParameters,
                   TOutText& OutputParameters) override;
    bool CloseShift(std::u16string_view DeviceID, std::u16string_view InputParameters,
                    TOutText& OutputParameters) override;
    bool ProcessCheck(std::u16string_view DeviceID, bool Electronically, std::u16string_view CheckPackage,
                      TOutText& DocumentOutputParameters) override;
    bool ProcessCorrectionCheck(std::u16string_view DeviceID, bool Electronically,
                                std::u16string_view CheckPackage,
                                TOutText& DocumentOutputParameters) override;
    bool CashInOutcome(std::u16string_view DeviceID, std::u16string_view InputParameters,
                       double Amount) override;
    bool PrintXReport(std::u16string_view DeviceID, std::u16string_view InputParameters) override;
    bool GetCurrentStatus(std::u16string_view DeviceID, std::u16string_view InputParameters,
                          TOutText& OutputParameters) override;
    bool ReportCurrentStatusOfSettlements(std::u16string_view DeviceID, std::u16string_view InputParameters,
                                          TOutText& OutputParameters) override;
    bool OpenCashDrawer(std::u16string_view DeviceID) override;
    bool GetLineLength(std::u16string_view DeviceID, int32_t& LineLength) override;
    bool PrintCheckCopy(std::u16string_view DeviceID, std::u16string_view CheckNumber) override;
    bool PrintTextDocument(std::u16string_view DeviceID, std::u16string_view DocumentPackage) override;
    bool OpenSessionRegistrationKM(std::u16string_view DeviceID) override;
    bool CloseSessionRegistrationKM(std::u16string_view DeviceID) override;
    bool RequestKM(std::u16string_view DeviceID, std::u16string_view RequestKM,
                   TOutText& RequestKMResult) override;
    bool GetProcessingKMResult(std::u16string_view DeviceID, TOutText& ProcessingKMResult,
                               int32_t& RequestStatus) override;
    bool ConfirmKM(std::u16string_view DeviceID, std::u16string_view RequestGUID,
                   int32_t ConfirmationType) override;
    bool GetLocalizationPattern(TOutText& LocalizationPattern) override;
    bool SetLocalization(std::u16string_view LanguageCode, std::u16string_view LocalizationPattern) override;
    bool EquipmentParameters(std::u16string_view EquipmentType, TOutText& TableParameters) override;
    bool EquipmentTest(std::u16string_view EquipmentType, std::u16string_view ConnectionParameters,
                       TOutText& Description, TOutText& DemoModeIsActivated) override;
    bool SetApplicationInformation(std::u16string_view ApplicationSettings) override;
    bool ConnectEquipment(TOutText& DeviceID, std::u16string_view EquipmentType,
                          std::u16string_view ConnectionParameters) override;
    bool DisconnectEquipment(std::u16string_view DeviceID) override;
    bool EquipmentAutoSetup(TOutText& EquipmentType, std::u16string_view ConnectionParametersIn,
                            TOutText& ConnectionParametersOut, bool ShowAutoSetupWindow,
                            int32_t Timeout) override;

    int32_t Get_kelmor_FormatVersion() override;
    void Set_kelmor_FormatVersion(int32_t Value) override;

private:
    // The driver interface; raises "Interface not supported" when the object
    // does not offer it.
    ITarvik1C30* Intf() const;

    TOleControlObject FControl;
    TComPtr<ITarvik1C30> FIntf;  // released before FControl closes the object
    TKeptTexts FKeptTexts;
};

// The driver's main control, used only for its version.
class TTarvik {
public:
    TTarvik();  // raises EFailure
    std::u16string DriverVersion();

private:
    TOleControlObject FControl;
};

// Raises EFailure for a negative HRESULT: the description in the thread's
// error object, else the system's message, else "OLE error" and the code.
// The failure carries the HRESULT.
void OleCheck(HRESULT hr);
