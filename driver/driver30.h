// The driver adapter: creates the driver object on first use, writes trace
// lines and forwards each operation.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

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
    bool GetDescription(TOutText& DriverDescription);
    int32_t GetLastError(TOutText& ErrorDescription);
    bool GetParameters(TOutText& TableParameters);
    bool SetParameter(std::u16string_view Name, const TAutoValue& Value);
    bool Open(TOutText& DeviceID);
    bool Close(std::u16string_view DeviceID);
    bool DeviceTest(TOutText& Description, TOutText& DemoModeIsActivated);
    bool GetAdditionalActions(TOutText& TableActions);
    bool DoAdditionalAction(std::u16string_view ActionName);
    bool GetLocalizationPattern(TOutText& LocalizationPattern);
    bool SetLocalization(std::u16string_view LanguageCode, std::u16string_view LocalizationPattern);
    bool EquipmentParameters(std::u16string_view EquipmentType, TOutText& TableParameters);
    bool EquipmentTest(std::u16string_view EquipmentType, std::u16string_view ConnectionParameters,
                       TOutText& Description, TOutText& DemoModeIsActivated);
    bool SetApplicationInformation(std::u16string_view ApplicationSettings);
    bool GetDataKKT(std::u16string_view DeviceID, TOutText& TableParametersKKT);
    bool OperationFN(std::u16string_view DeviceID, int32_t OperationType,
                     std::u16string_view ParametersFiscal);
    bool OpenShift(std::u16string_view DeviceID, std::u16string_view InputParameters,
                   TOutText& OutputParameters);
    bool CloseShift(std::u16string_view DeviceID, std::u16string_view InputParameters,
                    TOutText& OutputParameters);
    bool ProcessCheck(std::u16string_view DeviceID, bool Electronically,
                      std::u16string_view CheckPackage, TOutText& DocumentOutputParameters);
    bool ProcessCorrectionCheck(std::u16string_view DeviceID, bool Electronically,
                                std::u16string_view CheckPackage,
                                TOutText& DocumentOutputParameters);
    bool PrintTextDocument(std::u16string_view DeviceID, std::u16string_view DocumentPackage);
    bool CashInOutcome(std::u16string_view DeviceID, std::u16string_view InputParameters, double Amount);
    bool PrintXReport(std::u16string_view DeviceID, std::u16string_view InputParameters);
    bool PrintCheckCopy(std::u16string_view DeviceID, std::u16string_view CheckNumber);
    bool GetCurrentStatus(std::u16string_view DeviceID, std::u16string_view InputParameters,
                          TOutText& OutputParameters);
    bool ReportCurrentStatusOfSettlements(std::u16string_view DeviceID,
                                          std::u16string_view InputParameters,
                                          TOutText& OutputParameters);
    bool OpenCashDrawer(std::u16string_view DeviceID);
    bool GetLineLength(std::u16string_view DeviceID, int32_t& LineLength);
    bool OpenSessionRegistrationKM(std::u16string_view DeviceID);
    bool CloseSessionRegistrationKM(std::u16string_view DeviceID);
    bool RequestKM(std::u16string_view DeviceID, std::u16string_view RequestKM,
                   TOutText& RequestKMResult);
    bool GetProcessingKMResult(std::u16string_view DeviceID, TOutText& ProcessingKMResult,
                               int32_t& RequestStatus);
    bool ConfirmKM(std::u16string_view DeviceID, std::u16string_view RequestGUID,
                   int32_t ConfirmationType);

    // Status-returning: 0 when the driver answered (Result holds its answer),
    // STATUS_E_UNEXPECTED when anything failed (Result untouched). Never raise.
    int32_t ConnectEquipment(TOutText& DeviceID, std::u16string_view EquipmentType,
                             std::u16string_view ConnectionParameters, bool& Result);
    int32_t DisconnectEquipment(std::u16string_view DeviceID, bool& Result);
    int32_t EquipmentAutoSetup(TOutText& EquipmentType, std::u16string_view ConnectionParametersIn,
                               TOutText& ConnectionParametersOut, bool ShowAutoSetupWindow,
                               int32_t Timeout, bool& Result);

    int32_t Get_kelmor_FormatVersion();
    void Set_kelmor_FormatVersion(int32_t Value);

private:
    TFiscalDriver& ObtainDriver();  // raises "Объект драйвера не установлен"
    std::u16string ReadDriverVersion();
    // One trace line through FLogger, its parts written one after another.
    void Trace(std::initializer_list<std::u16string_view> Parts);

    const TFiscalDriverFactory& FFactory;
    std::unique_ptr<TFiscalDriver> FDriver;
    TLogger FLogger;
};

// Raises the failure for a negative status: the system's message for it.
[[noreturn]] void RaiseStatusFailure(int32_t status);
