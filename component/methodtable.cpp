#include "component/methodtable.h"

const char16_t* const Extention30ClassName = u"KelmorTarvik1C4";

// clang-format off
const TExtention30Method Extention30Methods[] = {
    { 0, u"GetInterfaceRevision",             u"ПолучитьРевизиюИнтерфейса",       0, &TExtention30::GetInterfaceRevision},
    { 1, u"GetDescription",                   u"ПолучитьОписание",                1, &TExtention30::GetDescription},
    { 2, u"GetLastError",                     u"ПолучитьОшибку",                  1, &TExtention30::GetLastError},
    { 3, u"GetParameters",                    u"ПолучитьПараметры",               1, &TExtention30::GetParameters},
    { 4, u"SetParameter",                     u"УстановитьПараметр",              2, &TExtention30::SetParameter},
    { 5, u"Open",                             u"Подключить",                      1, &TExtention30::Open},
    { 6, u"Close",                            u"Отключить",                       1, &TExtention30::Close},
    { 7, u"DeviceTest",                       u"ТестУстройства",                  2, &TExtention30::DeviceTest},
    { 8, u"GetAdditionalActions",             u"ПолучитьДополнительныеДействия",  1, &TExtention30::GetAdditionalActions},
    { 9, u"DoAdditionalAction",               u"ВыполнитьДополнительноеДействие", 1, &TExtention30::DoAdditionalAction},
    {10, u"GetLocalizationPattern",           u"ПолучитьШаблонЛокализации",       1, &TExtention30::GetLocalizationPattern},
    {11, u"SetLocalization",                  u"УстановитьЛокализацию",           1, &TExtention30::SetLocalization},
    {12, u"EquipmentParameters",              u"ПараметрыОборудования",           2, &TExtention30::EquipmentParametersAsync},
    {13, u"EquipmentTest",                    u"ТестированиеОборудования",        4, &TExtention30::EquipmentTest},
    {14, u"SetApplicationInformation",        u"УстановитьИнформациюПриложения",  1, &TExtention30::SetAppInfo},
    {15, u"ConnectEquipment",                 u"ПодключитьОборудование",          3, &TExtention30::ConnectEquipment},
    {16, u"DisconnectEquipment",              u"ОтключитьОборудование",           1, &TExtention30::DisconnectEquipment},
    {17, u"EquipmentAutoSetup",               u"АвтонастройкаОборудования",       5, &TExtention30::EquipmentAutoSetup},
    {18, u"GetDataKKT",                       u"ПолучитьПараметрыККТ",            2, &TExtention30::GetDataKKT},
    {19, u"OperationFN",                      u"ОперацияФН",                      3, &TExtention30::OperationFN},
    {20, u"OpenShift",                        u"ОткрытьСмену",                    3, &TExtention30::OpenShift},
    {21, u"CloseShift",                       u"ЗакрытьСмену",                    3, &TExtention30::CloseShift},
    {22, u"ProcessCheck",                     u"СформироватьЧек",                 4, &TExtention30::ProcessCheck},
    {23, u"ProcessCorrectionCheck",           u"СформироватьЧекКоррекции",        4, &TExtention30::ProcessCorrectionCheck},
    {24, u"PrintTextDocument",                u"НапечататьТекстовыйДокумент",     2, &TExtention30::PrintTextDocument},
    {25, u"CashInOutcome",                    u"НапечататьЧекВнесенияВыемки",     3, &TExtention30::CashInOutcome},
    {26, u"PrintXReport",                     u"НапечататьОтчетБезГашения",       2, &TExtention30::PrintXReport},
    {27, u"PrintCheckCopy",                   u"НапечататьКопиюЧека",             2, &TExtention30::PrintCheckCopy},
    {28, u"GetCurrentStatus",                 u"ПолучитьТекущееСостояние",        3, &TExtention30::GetCurrentStatus},
    {29, u"ReportCurrentStatusOfSettlements", u"ОтчетОТекущемСостоянииРасчетов",  3, &TExtention30::ReportCurrentStatusOfSettlements},
    {30, u"OpenCashDrawer",                   u"ОткрытьДенежныйЯщик",             1, &TExtention30::OpenCashDrawer},
    {31, u"GetLineLength",                    u"ПолучитьШиринуСтроки",            2, &TExtention30::GetLineLength},
    {32, u"OpenSessionRegistrationKM",        u"ОткрытьСессиюРегистрацииКМ",      1, &TExtention30::OpenSessionRegistrationKM},
    {33, u"CloseSessionRegistrationKM",       u"ЗакрытьСессиюРегистрацииКМ",      1, &TExtention30::CloseSessionRegistrationKM},
    {34, u"RequestKM",                        u"ЗапросКМ",                        3, &TExtention30::RequestKM},
    {35, u"GetProcessingKMResult",            u"ПолучитьРезультатыЗапросаКМ",     3, &TExtention30::GetProcessingKMResult},
    {36, u"ConfirmKM",                        u"ПодтвердитьКМ",                   3, &TExtention30::ConfirmKM},
};
// clang-format on

const size_t Extention30MethodCount = sizeof(Extention30Methods) / sizeof(Extention30Methods[0]);
static_assert(sizeof(Extention30Methods) / sizeof(Extention30Methods[0]) == 37, "37 methods");

TClassReg* RegisterExtention30(TClassRegList& list, TV8UserClass UserClass) {
    TClassReg* reg = list.RegisterClass(UserClass, Extention30ClassName, Extention30ClassName);
    for (size_t i = 0; i < Extention30MethodCount; ++i) {
        const TExtention30Method& m = Extention30Methods[i];
        reg->AddFunc(m.Name, m.NameLoc, AsFunc(m.Handler), m.ParamCount);
    }
    return reg;
}
