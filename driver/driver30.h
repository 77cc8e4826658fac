// The driver adapter: creates the driver object on first use, writes trace
// lines and forwards each operation.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "driver/fiscaldriver.h"
#include "hostapi/autovalue.h"
#include "logging/logger.h"

constexpr int32_t STATUS_E_UNEXPECTED = static_cast<int32_t>(0x8000FFFFu);

class TDriver30 {
public:
    // The factory makes the driver object on first use; it must outlive the
    // adapter (factories are static tables).
    explicit TDriver30(const TFiscalDriverFactory& Factory = PlatformDriverFactory());
    ~TDriver30();
    TDriver30(const TDriver30&) = delete;
    TDriver30& operator=(const TDriver30&) = delete;

    int32_t GetInterfaceRevision();  // 4001 on any failure; never raises
    bool GetDescription(std::u16string& DriverDescription);
    int32_t GetLastError(std::u16string& ErrorDescription);
    bool GetParameters(std::u16string& TableParameters);
    bool SetParameter(const std::u16string& Name, const TAutoValue& Value);
    bool Open(std::u16string& DeviceID);
    bool Close(const std::u16string& DeviceID);
    bool DeviceTest(std::u16string& Description, std::u16string& DemoModeIsActivated);
    bool GetAdditionalActions(std::u16string& TableActions);
    bool DoAdditionalAction(const std::u16string& ActionName);
    bool GetLocalizationPattern(std::u16string& LocalizationPattern);
    bool SetLocalization(const std::u16string& LanguageCode, const std::u16string& LocalizationPattern);
    bool EquipmentParameters(const std::u16string& EquipmentType, std::u16string& TableParameters);
    bool EquipmentTest(const std::u16string& EquipmentType, const std::u16string& ConnectionParameters,
                       std::u16string& Description, std::u16string& DemoModeIsActivated);
    bool SetApplicationInformation(const std::u16string& ApplicationSettings);
    bool GetDataKKT(const std::u16string& DeviceID, std::u16string& TableParametersKKT);
    bool OperationFN(const std::u16string& DeviceID, int32_t OperationType,
                     const std::u16string& ParametersFiscal);
    bool OpenShift(const std::u16string& DeviceID, const std::u16string& InputParameters,
                   std::u16string& OutputParameters);
    bool CloseShift(const std::u16string& DeviceID, const std::u16string& InputParameters,
                    std::u16string& OutputParameters);
    bool ProcessCheck(const std::u16string& DeviceID, bool Electronically,
                      const std::u16string& CheckPackage, std::u16string& DocumentOutputParameters);
    bool ProcessCorrectionCheck(const std::u16string& DeviceID, bool Electronically,
                                const std::u16string& CheckPackage,
                                std::u16string& DocumentOutputParameters);
    bool PrintTextDocument(const std::u16string& DeviceID, const std::u16string& DocumentPackage);
    bool CashInOutcome(const std::u16string& DeviceID, const std::u16string& InputParameters, double Amount);
    bool PrintXReport(const std::u16string& DeviceID, const std::u16string& InputParameters);
    bool PrintCheckCopy(const std::u16string& DeviceID, const std::u16string& CheckNumber);
    bool GetCurrentStatus(const std::u16string& DeviceID, const std::u16string& InputParameters,
                          std::u16string& OutputParameters);
    bool ReportCurrentStatusOfSettlements(const std::u16string& DeviceID,
                                          const std::u16string& InputParameters,
                                          std::u16string& OutputParameters);
    bool OpenCashDrawer(const std::u16string& DeviceID);
    bool GetLineLength(const std::u16string& DeviceID, int32_t& LineLength);
    bool OpenSessionRegistrationKM(const std::u16string& DeviceID);
    bool CloseSessionRegistrationKM(const std::u16string& DeviceID);
    bool RequestKM(const std::u16string& DeviceID, const std::u16string& RequestKM,
                   std::u16string& RequestKMResult);
    bool GetProcessingKMResult(const std::u16string& DeviceID, std::u16string& ProcessingKMResult,
                               int32_t& RequestStatus);
    bool ConfirmKM(const std::u16string& DeviceID, const std::u16string& RequestGUID,
                   int32_t ConfirmationType);

    // Status-returning: 0 when the driver answered (Result holds its answer),
    // STATUS_E_UNEXPECTED when anything failed (Result untouched). Never raise.
    int32_t ConnectEquipment(std::u16string& DeviceID, const std::u16string& EquipmentType,
                             const std::u16string& ConnectionParameters, bool& Result);
    int32_t DisconnectEquipment(const std::u16string& DeviceID, bool& Result);
    int32_t EquipmentAutoSetup(std::u16string& EquipmentType, const std::u16string& ConnectionParametersIn,
                               std::u16string& ConnectionParametersOut, bool ShowAutoSetupWindow,
                               int32_t Timeout, bool& Result);

    int32_t Get_kelmor_FormatVersion();
    void Set_kelmor_FormatVersion(int32_t Value);

private:
    TFiscalDriver& ObtainDriver();  // raises "Объект драйвера не установлен"
    std::u16string ReadDriverVersion();

    const TFiscalDriverFactory& FFactory;
    std::unique_ptr<TFiscalDriver> FDriver;
    TLogger FLogger;
};

// Raises the failure for a negative status: the system's message for it.
[[noreturn]] void RaiseStatusFailure(int32_t status);
