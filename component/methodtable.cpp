#include "component/methodtable.h"

const char16_t* const Extention30ClassName = u"KelmorTarvik1C4";

namespace {

constexpr TArgKind Bool = TArgKind::Boolean;
constexpr TArgKind Int = TArgKind::Integer;
constexpr TArgKind Num = TArgKind::Number;
constexpr TArgKind Any = TArgKind::Any;

constexpr TExtention30Arg In(const char16_t* Name, TArgKind Kind = TArgKind::Text) {
    return {Name, Kind, TArgUse::In};
}
constexpr TExtention30Arg Out(const char16_t* Name, TArgKind Kind = TArgKind::Text) {
    return {Name, Kind, TArgUse::Out};
}

constexpr TExtention30Result Answer = {TArgKind::Boolean, u"the driver's answer"};
constexpr TExtention30Result Revision = {TArgKind::Integer, u"the interface revision"};
constexpr TExtention30Result ErrorCode = {TArgKind::Integer, u"the driver's error code"};
// The description is the component's own document, never the driver's answer.
constexpr TExtention30Result Described = {TArgKind::Boolean, u"always true; the description is the argument"};

}  // namespace

// clang-format off
constexpr TExtention30Method Extention30Methods[] = {
    { 0, u"GetInterfaceRevision",             u"ПолучитьРевизиюИнтерфейса",       0, &TExtention30::GetInterfaceRevision,
         Revision, {}},
    { 1, u"GetDescription",                   u"ПолучитьОписание",                1, &TExtention30::GetDescription,
         Described, {Out(u"DriverDescription")}},
    { 2, u"GetLastError",                     u"ПолучитьОшибку",                  1, &TExtention30::GetLastError,
         ErrorCode, {Out(u"ErrorDescription")}},
    { 3, u"GetParameters",                    u"ПолучитьПараметры",               1, &TExtention30::GetParameters,
         Answer, {Out(u"TableParameters")}},
    { 4, u"SetParameter",                     u"УстановитьПараметр",              2, &TExtention30::SetParameter,
         Answer, {In(u"Name"), In(u"Value", Any)}},
    { 5, u"Open",                             u"Подключить",                      1, &TExtention30::Open,
         Answer, {Out(u"DeviceID")}},
    { 6, u"Close",                            u"Отключить",                       1, &TExtention30::Close,
         Answer, {In(u"DeviceID")}},
    { 7, u"DeviceTest",                       u"ТестУстройства",                  2, &TExtention30::DeviceTest,
         Answer, {Out(u"Description"), Out(u"DemoModeIsActivated")}},
    { 8, u"GetAdditionalActions",             u"ПолучитьДополнительныеДействия",  1, &TExtention30::GetAdditionalActions,
         Answer, {Out(u"TableActions")}},
    { 9, u"DoAdditionalAction",               u"ВыполнитьДополнительноеДействие", 1, &TExtention30::DoAdditionalAction,
         Answer, {In(u"ActionName")}},
    {10, u"GetLocalizationPattern",           u"ПолучитьШаблонЛокализации",       1, &TExtention30::GetLocalizationPattern,
         Answer, {Out(u"LocalizationPattern")}},
    {11, u"SetLocalization",                  u"УстановитьЛокализацию",           1, &TExtention30::SetLocalization,
         Answer, {In(u"LanguageCode")}},
    {12, u"EquipmentParameters",              u"ПараметрыОборудования",           2, &TExtention30::EquipmentParametersAsync,
         Answer, {In(u"EquipmentType"), Out(u"TableParameters")}},
    {13, u"EquipmentTest",                    u"ТестированиеОборудования",        4, &TExtention30::EquipmentTest,
         Answer, {In(u"EquipmentType"), In(u"ConnectionParameters"), Out(u"Description"), Out(u"DemoModeIsActivated")}},
    {14, u"SetApplicationInformation",        u"УстановитьИнформациюПриложения",  1, &TExtention30::SetAppInfo,
         Answer, {In(u"ApplicationSettings")}},
    {15, u"ConnectEquipment",                 u"ПодключитьОборудование",          3, &TExtention30::ConnectEquipment,
         Answer, {Out(u"DeviceID"), In(u"EquipmentType"), In(u"ConnectionParameters")}},
    {16, u"DisconnectEquipment",              u"ОтключитьОборудование",           1, &TExtention30::DisconnectEquipment,
         Answer, {In(u"DeviceID")}},
    {17, u"EquipmentAutoSetup",               u"АвтонастройкаОборудования",       5, &TExtention30::EquipmentAutoSetup,
         Answer, {Out(u"EquipmentType"), In(u"ConnectionParametersIn"), Out(u"ConnectionParametersOut"),
                  In(u"ShowAutoSetupWindow", Bool), In(u"Timeout", Int)}},
    {18, u"GetDataKKT",                       u"ПолучитьПараметрыККТ",            2, &TExtention30::GetDataKKT,
         Answer, {In(u"DeviceID"), Out(u"TableParametersKKT")}},
    {19, u"OperationFN",                      u"ОперацияФН",                      3, &TExtention30::OperationFN,
         Answer, {In(u"DeviceID"), In(u"OperationType", Int), In(u"ParametersFiscal")}},
    {20, u"OpenShift",                        u"ОткрытьСмену",                    3, &TExtention30::OpenShift,
         Answer, {In(u"DeviceID"), In(u"InputParameters"), Out(u"OutputParameters")}},
    {21, u"CloseShift",                       u"ЗакрытьСмену",                    3, &TExtention30::CloseShift,
         Answer, {In(u"DeviceID"), In(u"InputParameters"), Out(u"OutputParameters")}},
    {22, u"ProcessCheck",                     u"СформироватьЧек",                 4, &TExtention30::ProcessCheck,
         Answer, {In(u"DeviceID"), In(u"Electronically", Bool), In(u"CheckPackage"), Out(u"DocumentOutputParameters")}},
    {23, u"ProcessCorrectionCheck",           u"СформироватьЧекКоррекции",        4, &TExtention30::ProcessCorrectionCheck,
         Answer, {In(u"DeviceID"), In(u"Electronically", Bool), In(u"CheckPackage"), Out(u"DocumentOutputParameters")}},
    {24, u"PrintTextDocument",                u"НапечататьТекстовыйДокумент",     2, &TExtention30::PrintTextDocument,
         Answer, {In(u"DeviceID"), In(u"DocumentPackage")}},
    {25, u"CashInOutcome",                    u"НапечататьЧекВнесенияВыемки",     3, &TExtention30::CashInOutcome,
         Answer, {In(u"DeviceID"), In(u"InputParameters"), In(u"Amount", Num)}},
    {26, u"PrintXReport",                     u"НапечататьОтчетБезГашения",       2, &TExtention30::PrintXReport,
         Answer, {In(u"DeviceID"), In(u"InputParameters")}},
    {27, u"PrintCheckCopy",                   u"НапечататьКопиюЧека",             2, &TExtention30::PrintCheckCopy,
         Answer, {In(u"DeviceID"), In(u"CheckNumber")}},
    {28, u"GetCurrentStatus",                 u"ПолучитьТекущееСостояние",        3, &TExtention30::GetCurrentStatus,
         Answer, {In(u"DeviceID"), In(u"InputParameters"), Out(u"OutputParameters")}},
    {29, u"ReportCurrentStatusOfSettlements", u"ОтчетОТекущемСостоянииРасчетов",  3, &TExtention30::ReportCurrentStatusOfSettlements,
         Answer, {In(u"DeviceID"), In(u"InputParameters"), Out(u"OutputParameters")}},
    {30, u"OpenCashDrawer",                   u"ОткрытьДенежныйЯщик",             1, &TExtention30::OpenCashDrawer,
         Answer, {In(u"DeviceID")}},
    {31, u"GetLineLength",                    u"ПолучитьШиринуСтроки",            2, &TExtention30::GetLineLength,
         Answer, {In(u"DeviceID"), Out(u"LineLength", Int)}},
    {32, u"OpenSessionRegistrationKM",        u"ОткрытьСессиюРегистрацииКМ",      1, &TExtention30::OpenSessionRegistrationKM,
         Answer, {In(u"DeviceID")}},
    {33, u"CloseSessionRegistrationKM",       u"ЗакрытьСессиюРегистрацииКМ",      1, &TExtention30::CloseSessionRegistrationKM,
         Answer, {In(u"DeviceID")}},
    {34, u"RequestKM",                        u"ЗапросКМ",                        3, &TExtention30::RequestKM,
         Answer, {In(u"DeviceID"), In(u"RequestKM"), Out(u"RequestKMResult")}},
    {35, u"GetProcessingKMResult",            u"ПолучитьРезультатыЗапросаКМ",     3, &TExtention30::GetProcessingKMResult,
         Answer, {In(u"DeviceID"), Out(u"ProcessingKMResult"), Out(u"RequestStatus", Int)}},
    {36, u"ConfirmKM",                        u"ПодтвердитьКМ",                   3, &TExtention30::ConfirmKM,
         Answer, {In(u"DeviceID"), In(u"RequestGUID"), In(u"ConfirmationType", Int)}},
};
// clang-format on

const size_t Extention30MethodCount = sizeof(Extention30Methods) / sizeof(Extention30Methods[0]);
static_assert(sizeof(Extention30Methods) / sizeof(Extention30Methods[0]) == 37, "37 methods");

namespace {

// Every row: its index is its position, and it names exactly as many
// arguments as it registers, with no gap.
constexpr bool RowsAgree() {
    for (size_t i = 0; i < sizeof(Extention30Methods) / sizeof(Extention30Methods[0]); ++i) {
        const TExtention30Method& m = Extention30Methods[i];
        if (m.Index != static_cast<int32_t>(i)) return false;
        if (m.ParamCount < 0 || m.ParamCount > Extention30MaxParams) return false;
        for (int32_t k = 0; k < Extention30MaxParams; ++k)
            if ((m.Args[k].Name != nullptr) != (k < m.ParamCount)) return false;
    }
    return true;
}
static_assert(RowsAgree(), "each row's index is its position and it names ParamCount arguments");

}  // namespace

TClassReg* RegisterExtention30(TClassRegList& list, TV8UserClass UserClass) {
    TClassReg* reg = list.RegisterClass(UserClass, Extention30ClassName, Extention30ClassName);
    for (size_t i = 0; i < Extention30MethodCount; ++i) {
        const TExtention30Method& m = Extention30Methods[i];
        reg->AddFunc(m.Name, m.NameLoc, AsFunc(m.Handler), m.ParamCount);
    }
    return reg;
}
