// The fiscal driver object as the adapter sees it: one method per slot of the
// driver's dual interface ITarvik1C30, with plain texts, booleans and numbers.
// On Windows the implementation is TTarvik1C30 over COM (tarvik_win.h); the
// adapter is handed the factory that makes it, so tests can hand their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "hostapi/autovalue.h"

class TFiscalDriver {
public:
    virtual ~TFiscalDriver() = default;

    // Out texts are emptied before the call; failures raise EFailure.
    virtual int32_t GetInterfaceRevision() = 0;
    virtual bool GetDescription(std::u16string& DriverDescription) = 0;
    virtual int32_t GetLastError(std::u16string& ErrorDescription) = 0;
    virtual bool GetParameters(std::u16string& TableParameters) = 0;
    virtual bool SetParameter(const std::u16string& Name, const TAutoValue& Value) = 0;
    virtual bool Open(std::u16string& DeviceID) = 0;
    virtual bool Close(const std::u16string& DeviceID) = 0;
    virtual bool DeviceTest(std::u16string& Description, std::u16string& DemoModeIsActivated) = 0;
    virtual bool GetAdditionalActions(std::u16string& TableActions) = 0;
    virtual bool DoAdditionalAction(const std::u16string& ActionName) = 0;
    virtual bool GetDataKKT(const std::u16string& DeviceID, std::u16string& TableParametersKKT) = 0;
    virtual bool OperationFN(const std::u16string& DeviceID, int32_t OperationType,
                             const std::u16string& ParametersFiscal) = 0;
    virtual bool OpenShift(const std::u16string& DeviceID, const std::u16string& InputParameters,
                           std::u16string& OutputParameters) = 0;
    virtual bool CloseShift(const std::u16string& DeviceID, const std::u16string& InputParameters,
                            std::u16string& OutputParameters) = 0;
    virtual bool ProcessCheck(const std::u16string& DeviceID, bool Electronically,
                              const std::u16string& CheckPackage,
                              std::u16string& DocumentOutputParameters) = 0;
    virtual bool ProcessCorrectionCheck(const std::u16string& DeviceID, bool Electronically,
                                        const std::u16string& CheckPackage,
                                        std::u16string& DocumentOutputParameters) = 0;
    virtual bool CashInOutcome(const std::u16string& DeviceID, const std::u16string& InputParameters,
                               double Amount) = 0;
    virtual bool PrintXReport(const std::u16string& DeviceID, const std::u16string& InputParameters) = 0;
    virtual bool GetCurrentStatus(const std::u16string& DeviceID, const std::u16string& InputParameters,
                                  std::u16string& OutputParameters) = 0;
    virtual bool ReportCurrentStatusOfSettlements(const std::u16string& DeviceID,
                                                  const std::u16string& InputParameters,
                                                  std::u16string& OutputParameters) = 0;
    virtual bool OpenCashDrawer(const std::u16string& DeviceID) = 0;
    virtual bool GetLineLength(const std::u16string& DeviceID, int32_t& LineLength) = 0;
    virtual bool PrintCheckCopy(const std::u16string& DeviceID, const std::u16string& CheckNumber) = 0;
    virtual bool PrintTextDocument(const std::u16string& DeviceID,
                                   const std::u16string& DocumentPackage) = 0;
    virtual bool OpenSessionRegistrationKM(const std::u16string& DeviceID) = 0;
    virtual bool CloseSessionRegistrationKM(const std::u16string& DeviceID) = 0;
    virtual bool RequestKM(const std::u16string& DeviceID, const std::u16string& RequestKM,
                           std::u16string& RequestKMResult) = 0;
    virtual bool GetProcessingKMResult(const std::u16string& DeviceID,
                                       std::u16string& ProcessingKMResult, int32_t& RequestStatus) = 0;
    virtual bool ConfirmKM(const std::u16string& DeviceID, const std::u16string& RequestGUID,
                           int32_t ConfirmationType) = 0;
    virtual bool GetLocalizationPattern(std::u16string& LocalizationPattern) = 0;
    virtual bool SetLocalization(const std::u16string& LanguageCode,
                                 const std::u16string& LocalizationPattern) = 0;
    virtual bool EquipmentParameters(const std::u16string& EquipmentType,
                                     std::u16string& TableParameters) = 0;
    virtual bool EquipmentTest(const std::u16string& EquipmentType,
                               const std::u16string& ConnectionParameters, std::u16string& Description,
                               std::u16string& DemoModeIsActivated) = 0;
    virtual bool SetApplicationInformation(const std::u16string& ApplicationSettings) = 0;
    virtual bool ConnectEquipment(std::u16string& DeviceID, const std::u16string& EquipmentType,
                                  const std::u16string& ConnectionParameters) = 0;
    virtual bool DisconnectEquipment(const std::u16string& DeviceID) = 0;
    virtual bool EquipmentAutoSetup(std::u16string& EquipmentType,
                                    const std::u16string& ConnectionParametersIn,
                                    std::u16string& ConnectionParametersOut, bool ShowAutoSetupWindow,
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
