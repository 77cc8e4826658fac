#include "driver/driver30.h"

#include <exception>

#include "driver/description.h"
#include "driver/oleerror.h"
#include "driver/versioninfo.h"
#include "logging/logfile.h"
#include "platform/failure.h"
#include "platform/text.h"

namespace {
constexpr int32_t FallbackInterfaceRevision = 4001;
constexpr int32_t DescriptionFormatVersion = 47;

// The host is told only that there is no driver; the log keeps why (class
// not registered, server missing, creation refused), with the code, for
// whoever supports the till. Never raises.
void LogCreationFailure(TLogger& logger, std::exception_ptr failure) noexcept {
    try {
        std::u16string line = u"Не удалось создать объект драйвера: " + FailureMessage(failure);
        const int32_t code = FailureCode(failure);
        if (code != 0) line += u" (" + HResultText(code) + u")";
        logger.Error(line);
    } catch (...) {
    }
}
}  // namespace

TDriver30::TDriver30(const TFiscalDriverFactory& Factory) : FFactory(Factory), FLogger(u"TDriver30") {}

TDriver30::~TDriver30() {
    // The driver object goes first: closing it may still be traced.
    FDriver.reset();
}

TFiscalDriver& TDriver30::ObtainDriver() {
    if (FDriver) return *FDriver;
    std::unique_ptr<TFiscalDriver> created;
    std::exception_ptr failure;
    try {
        created = FFactory.CreateDriver();
    } catch (...) {
        created.reset();
        failure = std::current_exception();
    }
    if (!created) {
        LogCreationFailure(FLogger, failure);
        RaiseFailure(u"Объект драйвера не установлен");
    }
    FDriver = std::move(created);
    return *FDriver;
}

void TDriver30::Trace(std::initializer_list<std::u16string_view> Parts) {
    // With the log off the line is not even put together.
    if (GetLogFile().Enabled()) FLogger.Debug(Parts);
}

std::u16string TDriver30::ReadDriverVersion() { return FFactory.ReadMainControlVersion(); }

int32_t TDriver30::GetInterfaceRevision() {
    try {
        return ObtainDriver().GetInterfaceRevision();
    } catch (...) {
        return FallbackInterfaceRevision;
    }
}

bool TDriver30::GetDescription(TOutText& DriverDescription) {
    TFiscalDriver* driver = nullptr;
    try {
        driver = &ObtainDriver();
    } catch (...) {
        driver = nullptr;
    }
    if (driver) driver->Set_kelmor_FormatVersion(DescriptionFormatVersion);
    std::u16string driverVersion = driver ? ReadDriverVersion() : std::u16string(u"1.0");
    DriverDescription.Assign(BuildDriverDescription(driver != nullptr, driverVersion, GetModuleVersionText()));
    return true;
}

int32_t TDriver30::GetLastError(TOutText& ErrorDescription) {
    TFiscalDriver& driver = ObtainDriver();
    ErrorDescription.clear();
    return driver.GetLastError(ErrorDescription);
}

bool TDriver30::GetParameters(TOutText& TableParameters) {
    TFiscalDriver& driver = ObtainDriver();
    TableParameters.clear();
    return driver.GetParameters(TableParameters);
}

bool TDriver30::SetParameter(std::u16string_view Name, const TAutoValue& Value) {
    if (GetLogFile().Enabled()) {
        const std::u16string valueText = AutoValueToText(Value);
        FLogger.Debug({u"SetParameter: ", Name, u" = ", valueText});
        GetLogFile().WritePieces(TLogLevel::Debug, {Name, u" ", valueText});
    }
    return ObtainDriver().SetParameter(Name, Value);
}

bool TDriver30::Open(TOutText& DeviceID) {
    Trace({u"Open"});
    TFiscalDriver& driver = ObtainDriver();
    DeviceID.clear();
    return driver.Open(DeviceID);
}

bool TDriver30::Close(std::u16string_view DeviceID) {
    Trace({u"Close: ", DeviceID});
    return ObtainDriver().Close(DeviceID);
}

bool TDriver30::DeviceTest(TOutText& Description, TOutText& DemoModeIsActivated) {
    TFiscalDriver& driver = ObtainDriver();
    Description.clear();
    DemoModeIsActivated.clear();
    return driver.DeviceTest(Description, DemoModeIsActivated);
}

bool TDriver30::GetAdditionalActions(TOutText& TableActions) {
    TFiscalDriver& driver = ObtainDriver();
    TableActions.clear();
    return driver.GetAdditionalActions(TableActions);
}

bool TDriver30::DoAdditionalAction(std::u16string_view ActionName) {
    Trace({u"DoAdditionalAction ", ActionName});
    return ObtainDriver().DoAdditionalAction(ActionName);
}

bool TDriver30::GetLocalizationPattern(TOutText& LocalizationPattern) {
    if (GetLogFile().Enabled())
        GetLogFile().WritePieces(TLogLevel::Debug, {u"GetLocalizationPattern: ", LocalizationPattern.View()});
    TFiscalDriver& driver = ObtainDriver();
    LocalizationPattern.clear();
    return driver.GetLocalizationPattern(LocalizationPattern);
}

bool TDriver30::SetLocalization(std::u16string_view LanguageCode, std::u16string_view LocalizationPattern) {
    Trace({u"SetLocalization: ", LanguageCode, u", ", LocalizationPattern});
    return ObtainDriver().SetLocalization(LanguageCode, LocalizationPattern);
}

bool TDriver30::EquipmentParameters(std::u16string_view EquipmentType, TOutText& TableParameters) {
    Trace({u"EquipmentParameters ", EquipmentType});
    TFiscalDriver& driver = ObtainDriver();
    TableParameters.clear();
    return driver.EquipmentParameters(EquipmentType, TableParameters);
}

bool TDriver30::EquipmentTest(std::u16string_view EquipmentType, std::u16string_view ConnectionParameters,
                              TOutText& Description, TOutText& DemoModeIsActivated) {
    Trace({u"EquipmentTest"});
    Trace({u"EquipmentType = ", EquipmentType});
    Trace({u"ConnectionParameters = ", ConnectionParameters});
    TFiscalDriver& driver = ObtainDriver();
    Description.clear();
    DemoModeIsActivated.clear();
    return driver.EquipmentTest(EquipmentType, ConnectionParameters, Description, DemoModeIsActivated);
}

bool TDriver30::SetApplicationInformation(std::u16string_view ApplicationSettings) {
    return ObtainDriver().SetApplicationInformation(ApplicationSettings);
}

bool TDriver30::GetDataKKT(std::u16string_view DeviceID, TOutText& TableParametersKKT) {
    Trace({u"GetDataKKT ", DeviceID});
    TFiscalDriver& driver = ObtainDriver();
    TableParametersKKT.clear();
    return driver.GetDataKKT(DeviceID, TableParametersKKT);
}

bool TDriver30::OperationFN(std::u16string_view DeviceID, int32_t OperationType,
                            std::u16string_view ParametersFiscal) {
    Trace({u"OperationFN ", DeviceID});
    return ObtainDriver().OperationFN(DeviceID, OperationType, ParametersFiscal);
}

bool TDriver30::OpenShift(std::u16string_view DeviceID, std::u16string_view InputParameters,
                          TOutText& OutputParameters) {
    Trace({u"OpenShift ", DeviceID});
    TFiscalDriver& driver = ObtainDriver();
    OutputParameters.clear();
    return driver.OpenShift(DeviceID, InputParameters, OutputParameters);
}

bool TDriver30::CloseShift(std::u16string_view DeviceID, std::u16string_view InputParameters,
                           TOutText& OutputParameters) {
    Trace({u"CloseShift ", DeviceID});
    TFiscalDriver& driver = ObtainDriver();
    OutputParameters.clear();
    return driver.CloseShift(DeviceID, InputParameters, OutputParameters);
}

bool TDriver30::ProcessCheck(std::u16string_view DeviceID, bool Electronically,
                             std::u16string_view CheckPackage, TOutText& DocumentOutputParameters) {
    Trace({u"ProcessCheck ", DeviceID});
    TFiscalDriver& driver = ObtainDriver();
    DocumentOutputParameters.clear();
    return driver.ProcessCheck(DeviceID, Electronically, CheckPackage, DocumentOutputParameters);
}

bool TDriver30::ProcessCorrectionCheck(std::u16string_view DeviceID, bool Electronically,
                                       std::u16string_view CheckPackage,
                                       TOutText& DocumentOutputParameters) {
    Trace({u"ProcessCorrectionCheck ", DeviceID});
    TFiscalDriver& driver = ObtainDriver();
    DocumentOutputParameters.clear();
    return driver.ProcessCorrectionCheck(DeviceID, Electronically, CheckPackage, DocumentOutputParameters);
}

bool TDriver30::PrintTextDocument(std::u16string_view DeviceID, std::u16string_view DocumentPackage) {
    Trace({u"PrintTextDocument ", DeviceID});
    return ObtainDriver().PrintTextDocument(DeviceID, DocumentPackage);
}

bool TDriver30::CashInOutcome(std::u16string_view DeviceID, std::u16string_view InputParameters,
                              double Amount) {
    Trace({u"CashInOutcome ", DeviceID});
    return ObtainDriver().CashInOutcome(DeviceID, InputParameters, Amount);
}

bool TDriver30::PrintXReport(std::u16string_view DeviceID, std::u16string_view InputParameters) {
    Trace({u"PrintXReport ", DeviceID});
    return ObtainDriver().PrintXReport(DeviceID, InputParameters);
}

bool TDriver30::PrintCheckCopy(std::u16string_view DeviceID, std::u16string_view CheckNumber) {
    Trace({u"PrintCheckCopy ", DeviceID, u", ", CheckNumber});
    return ObtainDriver().PrintCheckCopy(DeviceID, CheckNumber);
}

bool TDriver30::GetCurrentStatus(std::u16string_view DeviceID, std::u16string_view InputParameters,
                                 TOutText& OutputParameters) {
    Trace({u"GetCurrentStatus ", DeviceID});
    TFiscalDriver& driver = ObtainDriver();
    OutputParameters.clear();
    return driver.GetCurrentStatus(DeviceID, InputParameters, OutputParameters);
}

bool TDriver30::ReportCurrentStatusOfSettlements(std::u16string_view DeviceID,
                                                 std::u16string_view InputParameters,
                                                 TOutText& OutputParameters) {
    Trace({u"ReportCurrentStatusOfSettlements ", DeviceID});
    TFiscalDriver& driver = ObtainDriver();
    OutputParameters.clear();
    return driver.ReportCurrentStatusOfSettlements(DeviceID, InputParameters, OutputParameters);
}

bool TDriver30::OpenCashDrawer(std::u16string_view DeviceID) {
    Trace({u"OpenCashDrawer ", DeviceID});
    return ObtainDriver().OpenCashDrawer(DeviceID);
}

bool TDriver30::GetLineLength(std::u16string_view DeviceID, int32_t& LineLength) {
    Trace({u"GetLineLength ", DeviceID});
    return ObtainDriver().GetLineLength(DeviceID, LineLength);
}

bool TDriver30::OpenSessionRegistrationKM(std::u16string_view DeviceID) {
    return ObtainDriver().OpenSessionRegistrationKM(DeviceID);
}

bool TDriver30::CloseSessionRegistrationKM(std::u16string_view DeviceID) {
    return ObtainDriver().CloseSessionRegistrationKM(DeviceID);
}

bool TDriver30::RequestKM(std::u16string_view DeviceID, std::u16string_view RequestKM,
                          TOutText& RequestKMResult) {
    TFiscalDriver& driver = ObtainDriver();
    RequestKMResult.clear();
    return driver.RequestKM(DeviceID, RequestKM, RequestKMResult);
}

bool TDriver30::GetProcessingKMResult(std::u16string_view DeviceID, TOutText& ProcessingKMResult,
                                      int32_t& RequestStatus) {
    TFiscalDriver& driver = ObtainDriver();
    ProcessingKMResult.clear();
    return driver.GetProcessingKMResult(DeviceID, ProcessingKMResult, RequestStatus);
}

bool TDriver30::ConfirmKM(std::u16string_view DeviceID, std::u16string_view RequestGUID,
                          int32_t ConfirmationType) {
    return ObtainDriver().ConfirmKM(DeviceID, RequestGUID, ConfirmationType);
}

// The status-returning operations: every failure, the driver's creation
// included, becomes STATUS_E_UNEXPECTED and leaves Result as it was.
int32_t TDriver30::ConnectEquipment(TOutText& DeviceID, std::u16string_view EquipmentType,
                                    std::u16string_view ConnectionParameters, bool& Result) {
    try {
        Trace({u"ConnectEquipment."});
        Trace({u"ConnectionParameters:"});
        Trace({ConnectionParameters});
        TFiscalDriver& driver = ObtainDriver();
        DeviceID.clear();
        Result = driver.ConnectEquipment(DeviceID, EquipmentType, ConnectionParameters);
        return 0;
    } catch (...) {
        return STATUS_E_UNEXPECTED;
    }
}

int32_t TDriver30::DisconnectEquipment(std::u16string_view DeviceID, bool& Result) {
    try {
        Trace({u"DisconnectEquipment ", DeviceID});
        Result = ObtainDriver().DisconnectEquipment(DeviceID);
        return 0;
    } catch (...) {
        return STATUS_E_UNEXPECTED;
    }
}

int32_t TDriver30::EquipmentAutoSetup(TOutText& EquipmentType, std::u16string_view ConnectionParametersIn,
                                      TOutText& ConnectionParametersOut, bool ShowAutoSetupWindow,
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

void RaiseStatusFailure(int32_t status) { RaiseFailure(StatusMessage(status), status); }
