// The fiscal driver object as the adapter sees it: one method per slot of the
// driver's dual interface ITarvik1C30, with plain texts, booleans and numbers.
// On Windows the implementation is TTarvik1C30 over COM (tarvik_win.h); the
// adapter is handed the factory that makes it, so tests can hand their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "hostapi/autovalue.h"

// An out-text of the driver. It holds the driver's own buffer as it came back
// (a BSTR on Windows, adopted with the function that frees it), or a text of
// ours, and is read as a view; so the driver's answer reaches the host's
// value with one copy. Freed when emptied, replaced or destroyed.
class TOutText {
public:
    using TReleaser = void (*)(char16_t* data);

    TOutText() = default;
    explicit TOutText(std::u16string text) : FOwn(std::move(text)) {}
    ~TOutText() { clear(); }
    TOutText(const TOutText&) = delete;
    TOutText& operator=(const TOutText&) = delete;

    void clear() {
        if (FForeign != nullptr) {
            char16_t* data = FForeign;
            FForeign = nullptr;
            FForeignSize = 0;
            FRelease(data);
        }
        FOwn.clear();
    }
    bool empty() const { return View().empty(); }
    std::u16string_view View() const {
        return FForeign != nullptr ? std::u16string_view(FForeign, FForeignSize) : std::u16string_view(FOwn);
    }
    std::u16string Text() const { return std::u16string(View()); }

    // A text of ours.
    void Assign(std::u16string text) {
        clear();
        FOwn = std::move(text);
    }
    // The driver's buffer: size units at data (null for an empty text), freed
    // with release.
    void Adopt(char16_t* data, size_t size, TReleaser release) {
        clear();
        if (data == nullptr) return;
        FForeign = data;
        FForeignSize = size;
        FRelease = release;
    }

private:
    std::u16string FOwn;
    char16_t* FForeign = nullptr;
    size_t FForeignSize = 0;
    TReleaser FRelease = nullptr;
};

class TFiscalDriver {
public:
    virtual ~TFiscalDriver() = default;

    // In-texts are read only during the call; out-texts are emptied before
    // it. Failures raise EFailure.
    virtual int32_t GetInterfaceRevision() = 0;
    virtual bool GetDescription(TOutText& DriverDescription) = 0;
    virtual int32_t GetLastError(TOutText& ErrorDescription) = 0;
    virtual bool GetParameters(TOutText& TableParameters) = 0;
    virtual bool SetParameter(std::u16string_view Name, const TAutoValue& Value) = 0;
    virtual bool Open(TOutText& DeviceID) = 0;
    virtual bool Close(std::u16string_view DeviceID) = 0;
    virtual bool DeviceTest(TOutText& Description, TOutText& DemoModeIsActivated) = 0;
    virtual bool GetAdditionalActions(TOutText& TableActions) = 0;
    virtual bool DoAdditionalAction(std::u16string_view ActionName) = 0;
    virtual bool GetDataKKT(std::u16string_view DeviceID, TOutText& TableParametersKKT) = 0;
    virtual bool OperationFN(std::u16string_view DeviceID, int32_t OperationType,
                             std::u16string_view ParametersFiscal) = 0;
    virtual bool OpenShift(std::u16string_view DeviceID, std::u16string_view InputParameters,
                           TOutText& OutputParameters) = 0;
    virtual bool CloseShift(std::u16string_view DeviceID, std::u16string_view InputParameters,
                            TOutText& OutputParameters) = 0;
    virtual bool ProcessCheck(std::u16string_view DeviceID, bool Electronically,
                              std::u16string_view CheckPackage,
                              TOutText& DocumentOutputParameters) = 0;
    virtual bool ProcessCorrectionCheck(std::u16string_view DeviceID, bool Electronically,
                                        std::u16string_view CheckPackage,
                                        TOutText& DocumentOutputParameters) = 0;
    virtual bool CashInOutcome(std::u16string_view DeviceID, std::u16string_view InputParameters,
                               double Amount) = 0;
    virtual bool PrintXReport(std::u16string_view DeviceID, std::u16string_view InputParameters) = 0;
    virtual bool GetCurrentStatus(std::u16string_view DeviceID, std::u16string_view InputParameters,
                                  TOutText& OutputParameters) = 0;
    virtual bool ReportCurrentStatusOfSettlements(std::u16string_view DeviceID,
                                                  std::u16string_view InputParameters,
                                                  TOutText& OutputParameters) = 0;
    virtual bool OpenCashDrawer(std::u16string_view DeviceID) = 0;
    virtual bool GetLineLength(std::u16string_view DeviceID, int32_t& LineLength) = 0;
    virtual bool PrintCheckCopy(std::u16string_view DeviceID, std::u16string_view CheckNumber) = 0;
    virtual bool PrintTextDocument(std::u16string_view DeviceID,
                                   std::u16string_view DocumentPackage) = 0;
    virtual bool OpenSessionRegistrationKM(std::u16string_view DeviceID) = 0;
    virtual bool CloseSessionRegistrationKM(std::u16string_view DeviceID) = 0;
    virtual bool RequestKM(std::u16string_view DeviceID, std::u16string_view RequestKM,
                           TOutText& RequestKMResult) = 0;
    virtual bool GetProcessingKMResult(std::u16string_view DeviceID,
                                       TOutText& ProcessingKMResult, int32_t& RequestStatus) = 0;
    virtual bool ConfirmKM(std::u16string_view DeviceID, std::u16string_view RequestGUID,
                           int32_t ConfirmationType) = 0;
    virtual bool GetLocalizationPattern(TOutText& LocalizationPattern) = 0;
    virtual bool SetLocalization(std::u16string_view LanguageCode,
                                 std::u16string_view LocalizationPattern) = 0;
    virtual bool EquipmentParameters(std::u16string_view EquipmentType,
                                     TOutText& TableParameters) = 0;
    virtual bool EquipmentTest(std::u16string_view EquipmentType,
                               std::u16string_view ConnectionParameters, TOutText& Description,
                               TOutText& DemoModeIsActivated) = 0;
    virtual bool SetApplicationInformation(std::u16string_view ApplicationSettings) = 0;
    virtual bool ConnectEquipment(TOutText& DeviceID, std::u16string_view EquipmentType,
                                  std::u16string_view ConnectionParameters) = 0;
    virtual bool DisconnectEquipment(std::u16string_view DeviceID) = 0;
    virtual bool EquipmentAutoSetup(TOutText& EquipmentType,
                                    std::u16string_view ConnectionParametersIn,
                                    TOutText& ConnectionParametersOut, bool ShowAutoSetupWindow,
                                    int32_t Timeout) = 0;

    // Property kelmor_FormatVersion (dispatch id 217).
    virtual int32_t Get_kelmor_FormatVersion() = 0;
    virtual void Set_kelmor_FormatVersion(int32_t Value) = 0;
};

// How the adapter reaches the driver: creating the driver object and reading
// the main control's DriverVersion (creating and freeing that control).
struct TFiscalDriverFactory {
    std::unique_ptr<TFiscalDriver> (*CreateDriver)();
    std::u16string (*ReadMainControlVersion)();
};

// The platform's factory: COM on Windows; on POSIX every creation fails.
const TFiscalDriverFactory& PlatformDriverFactory();
