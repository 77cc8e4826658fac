#include "driver/driver30.h"

#include "driver/description.h"
#include "driver/oleerror.h"
#include "driver/versioninfo.h"
#include "logging/logfile.h"
#include "platform/failure.h"

namespace {
constexpr int32_t FallbackInterfaceRevision = 4001;
constexpr int32_t DescriptionFormatVersion = 47;
}  // namespace

TDriver30::TDriver30(const TFiscalDriverFactory& Factory) : FFactory(Factory), FLogger(u"TDriver30") {}

TDriver30::~TDriver30() {
    // The driver object goes first: closing it may still be traced.
    FDriver.reset();
}

TFiscalDriver& TDriver30::ObtainDriver() {
    if (FDriver) return *FDriver;
    std::unique_ptr<TFiscalDriver> created;
    try {
        created = FFactory.CreateDriver();
    } catch (...) {
        created.reset();
    }
    if (!created) RaiseFailure(u"Объект драйвера не установлен");
    FDriver = std::move(created);
    return *FDriver;
}

std::u16string TDriver30::ReadDriverVersion() { return FFactory.ReadMainControlVersion(); }

int32_t TDriver30::GetInterfaceRevision() {
    try {
        return ObtainDriver().GetInterfaceRevision();
    } catch (...) {
        return FallbackInterfaceRevision;
    }
}

bool TDriver30::GetDescription(std::u16string& DriverDescription) {
    TFiscalDriver* driver = nullptr;
    try {
        driver = &ObtainDriver();
    } catch (...) {
        driver = nullptr;
    }
    if (driver) driver->Set_kelmor_FormatVersion(DescriptionFormatVersion);
    std::u16string driverVersion = driver ? ReadDriverVersion() : std::u16string(u"1.0");
    DriverDescription = BuildDriverDescription(driver != nullptr, driverVersion, GetModuleVersionText());
    return true;
}

int32_t TDriver30::GetLastError(std::u16string& ErrorDescription) {
    TFiscalDriver& driver = ObtainDriver();
    ErrorDescription.clear();
    return driver.GetLastError(ErrorDescription);
}

bool TDriver30::GetParameters(std::u16string& TableParameters) {
    TFiscalDriver& driver = ObtainDriver();
    TableParameters.clear();
    return driver.GetParameters(TableParameters);
}

bool TDriver30::SetParameter(const std::u16string& Name, const TAutoValue& Value) {
    const std::u16string valueText = AutoValueToText(Value);
    FLogger.Debug(u"SetParameter: " + Name + u" = " + valueText);
    GetLogFile().Debug(Name + u" " + valueText);
    return ObtainDriver().SetParameter(Name, Value);
}

bool TDriver30::Open(std::u16string& DeviceID) {
    FLogger.Debug(u"Open");
    TFiscalDriver& driver = ObtainDriver();
    DeviceID.clear();
    return driver.Open(DeviceID);
}

bool TDriver30::Close(const std::u16string& DeviceID) {
    FLogger.Debug(u"Close: " + DeviceID);
    return ObtainDriver().Close(DeviceID);
}

bool TDriver30::DeviceTest(std::u16string& Description, std::u16string& DemoModeIsActivated) {
    TFiscalDriver& driver = ObtainDriver();
    Description.clear();
    DemoModeIsActivated.clear();
    return driver.DeviceTest(Description, DemoModeIsActivated);
}

bool TDriver30::GetAdditionalActions(std::u16string& TableActions) {
    TFiscalDriver& driver = ObtainDriver();
    TableActions.clear();
    return driver.GetAdditionalActions(TableActions);
}

bool TDriver30::DoAdditionalAction(const std::u16string& ActionName) {
    FLogger.Debug(u"DoAdditionalAction " + ActionName);
    return ObtainDriver().DoAdditionalAction(ActionName);
}

bool TDriver30::GetLocalizationPattern(std::u16string& LocalizationPattern) {
    GetLogFile().Debug(u"GetLocalizationPattern: " + LocalizationPattern);
    TFiscalDriver& driver = ObtainDriver();
    LocalizationPattern.clear();
    return driver.GetLocalizationPattern(LocalizationPattern);
}

bool TDriver30::SetLocalization(const std::u16string& LanguageCode, const std::u16string& LocalizationPattern) {
    FLogger.Debug(u"SetLocalization: " + LanguageCode + u", " + LocalizationPattern);
    return ObtainDriver().SetLocalization(LanguageCode, LocalizationPattern);
}

bool TDriver30::EquipmentParameters(const std::u16string& EquipmentType, std::u16string& TableParameters) {
    FLogger.Debug(u"EquipmentParameters " + EquipmentType);
    TFiscalDriver& driver = ObtainDriver();
    TableParameters.clear();
    return driver.EquipmentParameters(EquipmentType, TableParameters);
}

bool TDriver30::EquipmentTest(const std::u16string& EquipmentType, const std::u16string& ConnectionParameters,
                              std::u16string& Description, std::u16string& DemoModeIsActivated) {
    FLogger.Debug(u"EquipmentTest");
    FLogger.Debug(u"EquipmentType = " + EquipmentType);
    FLogger.Debug(u"ConnectionParameters = " + ConnectionParameters);
    TFiscalDriver& driver = ObtainDriver();
    Description.clear();
    DemoModeIsActivated.clear();
    return driver.EquipmentTest(EquipmentType, ConnectionParameters, Description, DemoModeIsActivated);
}

bool TDriver30::SetApplicationInformation(const std::u16string& ApplicationSettings) {
    return ObtainDriver().SetApplicationInformation(ApplicationSettings);
}

bool TDriver30::GetDataKKT(const std::u16string& DeviceID, std::u16string& TableParametersKKT) {
    FLogger.Debug(u"GetDataKKT " + DeviceID);
    TFiscalDriver& driver = ObtainDriver();
    TableParametersKKT.clear();
    return driver.GetDataKKT(DeviceID, TableParametersKKT);
}

bool TDriver30::OperationFN(const std::u16string& DeviceID, int32_t OperationType,
                            const std::u16string& ParametersFiscal) {
    FLogger.Debug(u"OperationFN " + DeviceID);
    return ObtainDriver().OperationFN(DeviceID, OperationType, ParametersFiscal);
}

bool TDriver30::OpenShift(const std::u16string& DeviceID, const std::u16string& InputParameters,
                          std::u16string& OutputParameters) {
    FLogger.Debug(u"OpenShift " + DeviceID);
    TFiscalDriver& driver = ObtainDriver();
    OutputParameters.clear();
    return driver.OpenShift(DeviceID, InputParameters, OutputParameters);
}

bool TDriver30::CloseShift(const std::u16string& DeviceID, const std::u16string& InputParameters,
                           std::u16string& OutputParameters) {
    FLogger.Debug(u"CloseShift " + DeviceID);
    TFiscalDriver& driver = ObtainDriver();
    OutputParameters.clear();
    return driver.CloseShift(DeviceID, InputParameters, OutputParameters);
}

bool TDriver30::ProcessCheck(const std::u16string& DeviceID, bool Electronically,
                             const std::u16string& CheckPackage, std::u16string& DocumentOutputParameters) {
    FLogger.Debug(u"ProcessCheck " + DeviceID);
    TFiscalDriver& driver = ObtainDriver();
    DocumentOutputParameters.clear();
    return driver.ProcessCheck(DeviceID, Electronically, CheckPackage, DocumentOutputParameters);
}

bool TDriver30::ProcessCorrectionCheck(const std::u16string& DeviceID, bool Electronically,
                                       const std::u16string& CheckPackage,
                                       std::u16string& DocumentOutputParameters) {
    FLogger.Debug(u"ProcessCorrectionCheck " + DeviceID);
    TFiscalDriver& driver = ObtainDriver();
    DocumentOutputParameters.clear();
    return driver.ProcessCorrectionCheck(DeviceID, Electronically, CheckPackage, DocumentOutputParameters);
}

bool TDriver30::PrintTextDocument(const std::u16string& DeviceID, const std::u16string& DocumentPackage) {
    FLogger.Debug(u"PrintTextDocument " + DeviceID);
    return ObtainDriver().PrintTextDocument(DeviceID, DocumentPackage);
}

bool TDriver30::CashInOutcome(const std::u16string& DeviceID, const std::u16string& InputParameters,
                              double Amount) {
    FLogger.Debug(u"CashInOutcome " + DeviceID);
    return ObtainDriver().CashInOutcome(DeviceID, InputParameters, Amount);
}

bool TDriver30::PrintXReport(const std::u16string& DeviceID, const std::u16string& InputParameters) {
    FLogger.Debug(u"PrintXReport " + DeviceID);
    return ObtainDriver().PrintXReport(DeviceID, InputParameters);
}

bool TDriver30::PrintCheckCopy(const std::u16string& DeviceID, const std::u16string& CheckNumber) {
    FLogger.Debug(u"PrintCheckCopy " + DeviceID + u", " + CheckNumber);
    return ObtainDriver().PrintCheckCopy(DeviceID, CheckNumber);
}

bool TDriver30::GetCurrentStatus(const std::u16string& DeviceID, const std::u16string& InputParameters,
                                 std::u16string& OutputParameters) {
    FLogger.Debug(u"GetCurrentStatus " + DeviceID);
    TFiscalDriver& driver = ObtainDriver();
    OutputParameters.clear();
    return driver.GetCurrentStatus(DeviceID, InputParameters, OutputParameters);
}

bool TDriver30::ReportCurrentStatusOfSettlements(const std::u16string& DeviceID,
                                                 const std::u16string& InputParameters,
                                                 std::u16string& OutputParameters) {
    FLogger.Debug(u"ReportCurrentStatusOfSettlements " + DeviceID);
    TFiscalDriver& driver = ObtainDriver();
    OutputParameters.clear();
    return driver.ReportCurrentStatusOfSettlements(DeviceID, InputParameters, OutputParameters);
}

bool TDriver30::OpenCashDrawer(const std::u16string& DeviceID) {
    FLogger.Debug(u"OpenCashDrawer " + DeviceID);
    return ObtainDriver().OpenCashDrawer(DeviceID);
}

bool TDriver30::GetLineLength(const std::u16string& DeviceID, int32_t& LineLength) {
    FLogger.Debug(u"GetLineLength " + DeviceID);
    return ObtainDriver().GetLineLength(DeviceID, LineLength);
}

bool TDriver30::OpenSessionRegistrationKM(const std::u16string& DeviceID) {
    return ObtainDriver().OpenSessionRegistrationKM(DeviceID);
}

bool TDriver30::CloseSessionRegistrationKM(const std::u16string& DeviceID) {
    return ObtainDriver().CloseSessionRegistrationKM(DeviceID);
}

bool TDriver30::RequestKM(const std::u16string& DeviceID, const std::u16string& RequestKM,
                          std::u16string& RequestKMResult) {
    TFiscalDriver& driver = ObtainDriver();
    RequestKMResult.clear();
    return driver.RequestKM(DeviceID, RequestKM, RequestKMResult);
}

bool TDriver30::GetProcessingKMResult(const std::u16string& DeviceID, std::u16string& ProcessingKMResult,
                                      int32_t& RequestStatus) {
    TFiscalDriver& driver = ObtainDriver();
    ProcessingKMResult.clear();
    return driver.GetProcessingKMResult(DeviceID, ProcessingKMResult, RequestStatus);
}

bool TDriver30::ConfirmKM(const std::u16string& DeviceID, const std::u16string& RequestGUID,
                          int32_t ConfirmationType) {
    return ObtainDriver().ConfirmKM(DeviceID, RequestGUID, ConfirmationType);
}

// The status-returning operations: every failure, the driver's creation
// included, becomes STATUS_E_UNEXPECTED and leaves Result as it was.
int32_t TDriver30::ConnectEquipment(std::u16string& DeviceID, const std::u16string& EquipmentType,
                                    const std::u16string& ConnectionParameters, bool& Result) {
    try {
        FLogger.Debug(u"ConnectEquipment.");
        FLogger.Debug(u"ConnectionParameters:");
        FLogger.Debug(ConnectionParameters);
        TFiscalDriver& driver = ObtainDriver();
        DeviceID.clear();
        Result = driver.ConnectEquipment(DeviceID, EquipmentType, ConnectionParameters);
        return 0;
    } catch (...) {
        return STATUS_E_UNEXPECTED;
    }
}

int32_t TDriver30::DisconnectEquipment(const std::u16string& DeviceID, bool& Result) {
    try {
        FLogger.Debug(u"DisconnectEquipment " + DeviceID);
        Result = ObtainDriver().DisconnectEquipment(DeviceID);
        return 0;
    } catch (...) {
        return STATUS_E_UNEXPECTED;
    }
}

int32_t TDriver30::EquipmentAutoSetup(std::u16string& EquipmentType, const std::u16string& ConnectionParametersIn,
                                      std::u16string& ConnectionParametersOut, bool ShowAutoSetupWindow,
                                      int32_t Timeout, bool& Result) {
    try {
        TFiscalDriver& driver = ObtainDriver();
        EquipmentType.clear();
        ConnectionParametersOut.clear();
        Result = driver.EquipmentAutoSetup(EquipmentType, ConnectionParametersIn, ConnectionParametersOut,
                                           ShowAutoSetupWindow, Timeout);
        return 0;
    } catch (...) {
        return STATUS_E_UNEXPECTED;
    }
}

int32_t TDriver30::Get_kelmor_FormatVersion() { return ObtainDriver().Get_kelmor_FormatVersion(); }

void TDriver30::Set_kelmor_FormatVersion(int32_t Value) { ObtainDriver().Set_kelmor_FormatVersion(Value); }

void RaiseStatusFailure(int32_t status) { RaiseFailure(StatusMessage(status)); }
