#include "component/extention30.h"

#include "component/description.h"
#include "hostapi/hostvalues.h"
#include "logging/logfile.h"
#include "platform/failure.h"
#include "platform/text.h"

const char16_t* const DriverObjectNotSetMessage = u"Объект драйвера не установлен";

namespace {

// A Timeout of 0 asks for the driver's usual wait.
constexpr int32_t DefaultAutoSetupTimeout = 10000;

}  // namespace

std::unique_ptr<TDriver30> MakePlatformAdapter() { return std::make_unique<TDriver30>(PlatformDriverFactory()); }

TExtention30::TExtention30(TAdapterMaker MakeAdapter) : FLogger(u"TExtention30") {
    // An object is made whether the fiscal driver is installed or not: the
    // adapter touches the driver only at its first operation, and a failure
    // to create the adapter itself leaves the object without one.
    try {
        if (MakeAdapter != nullptr) FDriver = MakeAdapter();
    } catch (...) {
        FDriver.reset();
    }
}

TExtention30::~TExtention30() {
    // The adapter closes its driver object and may still log: free it while
    // the logger exists.
    FDriver.reset();
}

void TExtention30::CheckParamCount(int32_t ParamCount, int32_t Required) {
    if (ParamCount < Required)
        RaiseFailure(u"Incorrect Params count: " + text::FromInt(ParamCount) + u"; Must be: " +
                     text::FromInt(Required));
}

bool TExtention30::HandleError(std::exception_ptr Caught) {
    FLogger.Error(FailureMessage(Caught));
    return false;
}

template <class TBody>
bool TExtention30::Guarded(TBody&& Body) {
    try {
        Body();
        return true;
    } catch (...) {
        return HandleError(std::current_exception());
    }
}

void TExtention30::TraceCall(const char16_t* MethodName, int32_t ParamCount) {
    // With the log off the line is not even put together.
    if (GetLogFile().Enabled())
        FLogger.Debug({MethodName, u" ParamCount = ", text::TDecimal(ParamCount).View()});
}

TDriver30& TExtention30::Driver() {
    if (!FDriver) RaiseFailure(DriverObjectNotSetMessage);
    return *FDriver;
}

// --- Driver and interface ------------------------------------------------------

bool TExtention30::GetInterfaceRevision(V8Variant* RetValue, V8Variant*, int32_t ParamCount,
                                        TV8AddInDefBase*&) {
    Driver().Set_kelmor_FormatVersion(47);
    TraceCall(u"GetInterfaceRevision", ParamCount);
    V8SetInt(RetValue, Driver().GetInterfaceRevision());
    return true;
}

bool TExtention30::GetDescription(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                  TV8AddInDefBase*&) {
    bool DriverReached = true;
    try {
        Driver().Set_kelmor_FormatVersion(47);
    } catch (...) {
        DriverReached = false;
    }
    if (!DriverReached) {
        // No driver to ask: the component answers with its own document.
        // Failures here go to the dispatcher.
        std::u16string Document = BuildOwnDescription();
        CheckParamCount(ParamCount, 1);
        V8SetBool(RetValue, true);
        V8SetWString(&Params[0], Document);
        return true;
    }
    TraceCall(u"GetDescription", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 1);
        TOutText DriverDescription;
        bool Answer = Driver().GetDescription(DriverDescription);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[0], DriverDescription.View());
        if (GetLogFile().Enabled()) FLogger.Debug({u"GetDescription ", V8GetWStringView(&Params[0])});
    });
}

bool TExtention30::GetLastError(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                TV8AddInDefBase*&) {
    TraceCall(u"GetLastError", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 1);
        TOutText ErrorDescription;
        int32_t Code = Driver().GetLastError(ErrorDescription);
        V8SetInt(RetValue, Code);
        V8SetWString(&Params[0], ErrorDescription.View());
    });
}

bool TExtention30::GetParameters(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                 TV8AddInDefBase*&) {
    TraceCall(u"GetParameters", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 1);
        TOutText TableParameters;
        bool Answer = Driver().GetParameters(TableParameters);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[0], TableParameters.View());
        if (GetLogFile().Enabled()) FLogger.Debug({u"GetParameters = ", V8GetWStringView(&Params[0])});
    });
}

bool TExtention30::SetParameter(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                TV8AddInDefBase*&) {
    TraceCall(u"SetParameter", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 2);
        std::u16string_view Name = V8GetWStringView(&Params[0]);
        // The driver receives every setting as text.
        TAutoValue Value = TAutoValue::FromText(AutoValueToText(V8GetVariant(&Params[1])));
        V8SetBool(RetValue, Driver().SetParameter(Name, Value));
    });
}

bool TExtention30::Open(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*&) {
    TraceCall(u"Open", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 1);
        TOutText DeviceID;
        bool Answer = Driver().Open(DeviceID);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[0], DeviceID.View());
    });
}

bool TExtention30::Close(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*&) {
    TraceCall(u"Close", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 1);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        V8SetBool(RetValue, Driver().Close(DeviceID));
    });
}

bool TExtention30::DeviceTest(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                              TV8AddInDefBase*&) {
    TraceCall(u"DeviceTest", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 2);
        TOutText Description, DemoModeIsActivated;
        bool Answer = Driver().DeviceTest(Description, DemoModeIsActivated);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[0], Description.View());
        V8SetWString(&Params[1], DemoModeIsActivated.View());
    });
}

bool TExtention30::GetAdditionalActions(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                        TV8AddInDefBase*&) {
    TraceCall(u"GetAdditionalActions", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 1);
        TOutText TableActions;
        bool Answer = Driver().GetAdditionalActions(TableActions);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[0], TableActions.View());
    });
}

bool TExtention30::DoAdditionalAction(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                      TV8AddInDefBase*&) {
    TraceCall(u"DoAdditionalAction", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 1);
        std::u16string_view ActionName = V8GetWStringView(&Params[0]);
        V8SetBool(RetValue, Driver().DoAdditionalAction(ActionName));
    });
}

// --- Localization ------------------------------------------------------------------

bool TExtention30::GetLocalizationPattern(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                          TV8AddInDefBase*&) {
    TraceCall(u"GetLocalizationPattern", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 1);
        TOutText LocalizationPattern;
        bool Answer = Driver().GetLocalizationPattern(LocalizationPattern);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[0], LocalizationPattern.View());
    });
}

bool TExtention30::SetLocalization(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                   TV8AddInDefBase*&) {
    TraceCall(u"SetLocalization", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 1);
        std::u16string_view LanguageCode = V8GetWStringView(&Params[0]);
        // The host names only the language; the driver keeps its own texts.
        V8SetBool(RetValue, Driver().SetLocalization(LanguageCode, std::u16string_view()));
    });
}

// --- Equipment -----------------------------------------------------------------------

bool TExtention30::EquipmentParametersAsync(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                            TV8AddInDefBase*&) {
    Driver().Set_kelmor_FormatVersion(46);
    TraceCall(u"EquipmentParameters", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 2);
        std::u16string_view EquipmentType = V8GetWStringView(&Params[0]);
        TOutText TableParameters;
        bool Answer = Driver().EquipmentParameters(EquipmentType, TableParameters);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[1], TableParameters.View());
    });
}

bool TExtention30::EquipmentTest(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                 TV8AddInDefBase*&) {
    TraceCall(u"EquipmentTest", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 4);
        std::u16string_view EquipmentType = V8GetWStringView(&Params[0]);
        std::u16string_view ConnectionParameters = V8GetWStringView(&Params[1]);
        TOutText Description, DemoModeIsActivated;
        bool Answer = Driver().EquipmentTest(EquipmentType, ConnectionParameters, Description,
                                             DemoModeIsActivated);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[2], Description.View());
        V8SetWString(&Params[3], DemoModeIsActivated.View());
    });
}

bool TExtention30::SetAppInfo(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                              TV8AddInDefBase*&) {
    // Failures here are reported to the host by the dispatcher.
    TraceCall(u"SetAppInfo", ParamCount);
    CheckParamCount(ParamCount, 1);
    std::u16string_view ApplicationSettings = V8GetWStringView(&Params[0]);
    V8SetBool(RetValue, Driver().SetApplicationInformation(ApplicationSettings));
    return true;
}

bool TExtention30::ConnectEquipment(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                    TV8AddInDefBase*&) {
    TraceCall(u"ConnectEquipment", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 3);
        std::u16string_view EquipmentType = V8GetWStringView(&Params[1]);
        std::u16string_view ConnectionParameters = V8GetWStringView(&Params[2]);
        TOutText DeviceID;
        bool Answer = false;
        int32_t Status = Driver().ConnectEquipment(DeviceID, EquipmentType, ConnectionParameters, Answer);
        if (Status < 0) RaiseStatusFailure(Status);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[0], DeviceID.View());
    });
}

bool TExtention30::DisconnectEquipment(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                       TV8AddInDefBase*&) {
    TraceCall(u"DisconnectEquipment", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 1);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        bool Answer = false;
        int32_t Status = Driver().DisconnectEquipment(DeviceID, Answer);
        if (Status < 0) RaiseStatusFailure(Status);
        V8SetBool(RetValue, Answer);
    });
}

bool TExtention30::EquipmentAutoSetup(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                      TV8AddInDefBase*&) {
    TraceCall(u"EquipmentAutoSetup", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 5);
        std::u16string_view ConnectionParametersIn = V8GetWStringView(&Params[1]);
        bool ShowAutoSetupWindow = V8GetBool(&Params[3]);
        int32_t Timeout = V8GetInt(&Params[4]);
        if (Timeout == 0) Timeout = DefaultAutoSetupTimeout;
        TOutText EquipmentType, ConnectionParametersOut;
        bool Answer = false;
        int32_t Status = Driver().EquipmentAutoSetup(EquipmentType, ConnectionParametersIn,
                                                     ConnectionParametersOut, ShowAutoSetupWindow, Timeout,
                                                     Answer);
        if (Status < 0) RaiseStatusFailure(Status);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[0], EquipmentType.View());
        V8SetWString(&Params[2], ConnectionParametersOut.View());
    });
}

// --- Fiscal operations -------------------------------------------------------------

bool TExtention30::GetDataKKT(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                              TV8AddInDefBase*&) {
    TraceCall(u"GetDataKKT", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 2);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        TOutText TableParametersKKT;
        bool Answer = Driver().GetDataKKT(DeviceID, TableParametersKKT);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[1], TableParametersKKT.View());
    });
}

bool TExtention30::OperationFN(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                               TV8AddInDefBase*&) {
    TraceCall(u"OperationFN", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 3);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        int32_t OperationType = V8GetInt(&Params[1]);
        std::u16string_view ParametersFiscal = V8GetWStringView(&Params[2]);
        V8SetBool(RetValue, Driver().OperationFN(DeviceID, OperationType, ParametersFiscal));
    });
}

bool TExtention30::OpenShift(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                             TV8AddInDefBase*&) {
    TraceCall(u"OpenShift", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 3);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        std::u16string_view InputParameters = V8GetWStringView(&Params[1]);
        TOutText OutputParameters;
        bool Answer = Driver().OpenShift(DeviceID, InputParameters, OutputParameters);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[2], OutputParameters.View());
    });
}

bool TExtention30::CloseShift(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                              TV8AddInDefBase*&) {
    TraceCall(u"CloseShift", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 3);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        std::u16string_view InputParameters = V8GetWStringView(&Params[1]);
        TOutText OutputParameters;
        bool Answer = Driver().CloseShift(DeviceID, InputParameters, OutputParameters);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[2], OutputParameters.View());
    });
}

bool TExtention30::ProcessCheck(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                TV8AddInDefBase*&) {
    TraceCall(u"ProcessCheck", ParamCount);
    return Guarded([&] {
        Driver().Set_kelmor_FormatVersion(30);
        CheckParamCount(ParamCount, 4);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        bool Electronically = V8GetBool(&Params[1]);
        std::u16string_view CheckPackage = V8GetWStringView(&Params[2]);
        TOutText DocumentOutputParameters;
        bool Answer = Driver().ProcessCheck(DeviceID, Electronically, CheckPackage, DocumentOutputParameters);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[3], DocumentOutputParameters.View());
    });
}

bool TExtention30::ProcessCorrectionCheck(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                          TV8AddInDefBase*&) {
    TraceCall(u"ProcessCorrectionCheck", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 4);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        bool Electronically = V8GetBool(&Params[1]);
        std::u16string_view CheckPackage = V8GetWStringView(&Params[2]);
        TOutText DocumentOutputParameters;
        bool Answer = Driver().ProcessCorrectionCheck(DeviceID, Electronically, CheckPackage,
                                                      DocumentOutputParameters);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[3], DocumentOutputParameters.View());
    });
}

bool TExtention30::PrintTextDocument(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                     TV8AddInDefBase*&) {
    TraceCall(u"PrintTextDocument", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 2);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        if (GetLogFile().Enabled()) GetLogFile().WritePieces(TLogLevel::Debug, {u"DeviceID ", DeviceID});
        std::u16string_view DocumentPackage = V8GetWStringView(&Params[1]);
        if (GetLogFile().Enabled()) GetLogFile().WritePieces(TLogLevel::Debug, {u"DocumentPackage ", DocumentPackage});
        V8SetBool(RetValue, Driver().PrintTextDocument(DeviceID, DocumentPackage));
    });
}

bool TExtention30::CashInOutcome(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                 TV8AddInDefBase*&) {
    TraceCall(u"CashInOutcome", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 3);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        std::u16string_view InputParameters = V8GetWStringView(&Params[1]);
        double Amount = V8GetDouble(&Params[2]);
        V8SetBool(RetValue, Driver().CashInOutcome(DeviceID, InputParameters, Amount));
    });
}

bool TExtention30::PrintXReport(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                TV8AddInDefBase*&) {
    TraceCall(u"PrintXReport", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 2);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        std::u16string_view InputParameters = V8GetWStringView(&Params[1]);
        V8SetBool(RetValue, Driver().PrintXReport(DeviceID, InputParameters));
    });
}

bool TExtention30::PrintCheckCopy(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                  TV8AddInDefBase*&) {
    TraceCall(u"PrintCheckCopy", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 2);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        std::u16string_view CheckNumber = V8GetWStringView(&Params[1]);
        V8SetBool(RetValue, Driver().PrintCheckCopy(DeviceID, CheckNumber));
    });
}

bool TExtention30::GetCurrentStatus(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                    TV8AddInDefBase*&) {
    TraceCall(u"GetCurrentStatus", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 3);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        std::u16string_view InputParameters = V8GetWStringView(&Params[1]);
        TOutText OutputParameters;
        bool Answer = Driver().GetCurrentStatus(DeviceID, InputParameters, OutputParameters);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[2], OutputParameters.View());
    });
}

bool TExtention30::ReportCurrentStatusOfSettlements(V8Variant* RetValue, V8Variant* Params,
                                                    int32_t ParamCount, TV8AddInDefBase*&) {
    TraceCall(u"ReportCurrentStatusOfSettlements", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 3);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        std::u16string_view InputParameters = V8GetWStringView(&Params[1]);
        TOutText OutputParameters;
        bool Answer = Driver().ReportCurrentStatusOfSettlements(DeviceID, InputParameters, OutputParameters);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[2], OutputParameters.View());
    });
}

bool TExtention30::OpenCashDrawer(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                  TV8AddInDefBase*&) {
    TraceCall(u"OpenCashDrawer", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 1);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        V8SetBool(RetValue, Driver().OpenCashDrawer(DeviceID));
    });
}

bool TExtention30::GetLineLength(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                 TV8AddInDefBase*&) {
    TraceCall(u"GetLineLength", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 2);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        int32_t LineLength = 0;
        bool Answer = Driver().GetLineLength(DeviceID, LineLength);
        V8SetBool(RetValue, Answer);
        V8SetInt(&Params[1], LineLength);
    });
}

// --- Marking codes -------------------------------------------------------------------

bool TExtention30::OpenSessionRegistrationKM(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                             TV8AddInDefBase*&) {
    TraceCall(u"OpenSessionRegistrationKM", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 1);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        V8SetBool(RetValue, Driver().OpenSessionRegistrationKM(DeviceID));
    });
}

bool TExtention30::CloseSessionRegistrationKM(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                              TV8AddInDefBase*&) {
    TraceCall(u"CloseSessionRegistrationKM", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 1);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        V8SetBool(RetValue, Driver().CloseSessionRegistrationKM(DeviceID));
    });
}

bool TExtention30::RequestKM(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                             TV8AddInDefBase*&) {
    TraceCall(u"RequestKM", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 3);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        std::u16string_view Request = V8GetWStringView(&Params[1]);
        TOutText RequestKMResult;
        bool Answer = Driver().RequestKM(DeviceID, Request, RequestKMResult);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[2], RequestKMResult.View());
    });
}

bool TExtention30::GetProcessingKMResult(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                         TV8AddInDefBase*&) {
    TraceCall(u"GetProcessingKMResult", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 3);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        TOutText ProcessingKMResult;
        int32_t RequestStatus = 0;
        bool Answer = Driver().GetProcessingKMResult(DeviceID, ProcessingKMResult, RequestStatus);
        V8SetBool(RetValue, Answer);
        V8SetWString(&Params[1], ProcessingKMResult.View());
        V8SetInt(&Params[2], RequestStatus);
    });
}

bool TExtention30::ConfirmKM(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                             TV8AddInDefBase*&) {
    TraceCall(u"ConfirmKM", ParamCount);
    return Guarded([&] {
        CheckParamCount(ParamCount, 3);
        std::u16string_view DeviceID = V8GetWStringView(&Params[0]);
        std::u16string_view RequestGUID = V8GetWStringView(&Params[1]);
        int32_t ConfirmationType = V8GetInt(&Params[2]);
        V8SetBool(RetValue, Driver().ConfirmKM(DeviceID, RequestGUID, ConfirmationType));
    });
}
