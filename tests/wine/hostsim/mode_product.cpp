// hostsim product <KelmorTarvik1CNative.dll> <fakedriver.dll> installed|missing
//
// Drives the product DLL end to end, as the host does, on the host's own
// thread with COM initialised:
//   installed  the fiscal driver's test double is registered with regsvr32
//              (and unregistered at the end); every method is called by its
//              English and by its Russian name, and each call is checked in
//              three places: the host's values (result, RetValue,
//              out-arguments), the double's journal (operation, arguments,
//              format version in force) and the add-in's log file (e:\lll.txt,
//              code page 1251). Then argument counts, setting values, the
//              driver's failures and refusals, and the host's memory.
//   missing    no driver registered: the component's own description, the
//              failures logged or reported to the host, nothing reaching COM.
// Prints PASS/FAIL lines and "SUMMARY: N passed, N failed"; the exit code is
// the number of failures.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/wine/hostsim/hostlib.h"
#include "tests/wine/hostsim/product_support.h"

namespace {

using namespace hostsim;
using namespace hostsim::product;

const std::u16string ClassName = u"KelmorTarvik1C4";
const std::u16string NoDriverMessage = u"Объект драйвера не установлен";
const std::u16string ErrorSource = u"Внешняя компонента";
const int32_t InitialFormatVersion = 10;  // the double's own initial value
const std::u16string OldText = u"прежнее значение";
const std::u16string DriverVersionText = u"3.2.14.5512";
const std::u16string ModuleVersionText = u"5.25.0.2133";

// --- Texts the host passes and the driver answers -----------------------------

const std::u16string DeviceId = u"1";
const std::u16string ConnectionParameters =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    u"<Settings><Parameter Name=\"Порт\" Value=\"COM3\"/><Parameter Name=\"Скорость\" Value=\"115200\"/>"
    u"<Parameter Name=\"Кассир\" Value=\"Иванова М. П.\"/></Settings>";
const std::u16string InputParameters =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><InputParameters><Parameters CashierName=\"Иванова Мария "
    u"Петровна\" CashierINN=\"771234567890\" SaleAddress=\"г. Москва, ул. Тверская, д. 1\"/></InputParameters>";
const std::u16string OutputParameters =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><OutputParameters><Parameters ShiftNumber=\"12\" "
    u"CheckNumber=\"37\" ShiftState=\"2\" Cashier=\"Иванова Мария\" FiscalSign=\"3326172381\"/></OutputParameters>";
const std::u16string CheckPackage =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><CheckPackage><Parameters CashierName=\"Иванова Мария\" "
    u"OperationType=\"1\" TaxationSystem=\"0\" CustomerEmail=\"покупатель@пример.рф\"/><Positions>"
    u"<FiscalString Name=\"Молоко «Домик в деревне» 3,2% 1 л\" Quantity=\"2\" PriceWithDiscount=\"89.90\" "
    u"AmountWithDiscount=\"179.80\" VATRate=\"10\" PaymentMethod=\"4\" CalculationSubject=\"1\"/>"
    u"<FiscalString Name=\"Хлеб «Бородинский» нарезка\" Quantity=\"1\" PriceWithDiscount=\"54.00\" "
    u"AmountWithDiscount=\"54.00\" VATRate=\"10\" PaymentMethod=\"4\" CalculationSubject=\"1\"/>"
    u"<TextString Text=\"Спасибо за покупку!\"/></Positions><Payments Cash=\"300.00\" ElectronicPayment=\"0\" "
    u"PrePayment=\"0\" PostPayment=\"0\" Barter=\"0\"/></CheckPackage>";
const std::u16string CorrectionPackage =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><CheckCorrectionPackage><Parameters CashierName=\"Иванова "
    u"Мария\" OperationType=\"1\" CorrectionType=\"0\" CorrectionBaseName=\"Предписание\" "
    u"CorrectionBaseNumber=\"№ 17\"/><Payments Cash=\"120.00\"/></CheckCorrectionPackage>";
const std::u16string DocumentOutput =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><DocumentOutputParameters><Parameters ShiftNumber=\"12\" "
    u"CheckNumber=\"38\" FiscalSign=\"1180937251\" AddressSiteInspections=\"www.nalog.gov.ru\" "
    u"Cashier=\"Иванова Мария\"/></DocumentOutputParameters>";
const std::u16string TextDocument =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Document><Positions><TextString Text=\"Слип-чек №12\"/>"
    u"<TextString Text=\"Оплата картой: 233,80 ₽\"/></Positions></Document>";
// The rouble sign has no place in code page 1251: the log shows its default character.
const std::u16string TextDocumentIn1251 =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Document><Positions><TextString Text=\"Слип-чек №12\"/>"
    u"<TextString Text=\"Оплата картой: 233,80 ?\"/></Positions></Document>";
const std::u16string TableParameters =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Settings><Page Caption=\"Параметры\"><Group "
    u"Caption=\"Подключение\"><Parameter Name=\"Port\" Caption=\"Порт\" TypeValue=\"String\" "
    u"DefaultValue=\"COM1\"/></Group></Page></Settings>";
const std::u16string TableParametersKKT =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><TableParametersKKT KKTNumber=\"0000000001012345\" "
    u"OrganizationName=\"ООО «Ромашка»\" INN=\"7701234567\" SaleAddress=\"г. Москва\"/>";
const std::u16string AppSettings =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><ApplicationSettings><Application Name=\"Розница\" "
    u"Version=\"2.3.15\"/></ApplicationSettings>";
const std::u16string FiscalParameters =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><ParametersFiscal CashierName=\"Иванова Мария\" "
    u"OrganizationName=\"ООО «Ромашка»\" KKTNumber=\"0000000001012345\"/>";
const std::u16string KMRequest =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><RequestKM GUID=\"6f9619ff-8b86-d011-b42d-00cf4fc964ff\" "
    u"MarkingCode=\"MDEwNDYwNzQyODY3OTA5MDIxNjUwMzU=\" PlannedStatus=\"1\" Quantity=\"1\" MeasureOfQuantity=\"0\"/>";
const std::u16string KMGuid = u"6f9619ff-8b86-d011-b42d-00cf4fc964ff";

std::u16string DefaultOut(const std::string& operation, int n) {
    return Utf16(operation + "." + std::to_string(n)) + u" ответ";
}

// --- Host values --------------------------------------------------------------------

struct TArg {
    enum TKind { Text, Bool, Int, Real, Narrow, Out } Kind = Text;
    std::u16string S;
    std::string N;
    bool B = false;
    int32_t I = 0;
    double R = 0;
};

TArg T(const std::u16string& s) { TArg a; a.Kind = TArg::Text; a.S = s; return a; }
TArg B(bool b) { TArg a; a.Kind = TArg::Bool; a.B = b; return a; }
TArg I(int32_t i) { TArg a; a.Kind = TArg::Int; a.I = i; return a; }
TArg R(double r) { TArg a; a.Kind = TArg::Real; a.R = r; return a; }
TArg N(const std::string& n) { TArg a; a.Kind = TArg::Narrow; a.N = n; return a; }
// An out-argument: the host passes an old text that must be overwritten.
TArg O() { TArg a; a.Kind = TArg::Out; a.S = OldText; return a; }

V8Variant MakeValue(THostSession& host, const TArg& a) {
    switch (a.Kind) {
        case TArg::Bool: return fakehost::Bool(a.B);
        case TArg::Int: return fakehost::I4(a.I);
        case TArg::Real: return fakehost::R8(a.R);
        case TArg::Narrow: return fakehost::PString(host.Memory, a.N);
        case TArg::Text:
        case TArg::Out: break;
    }
    return host.Text(a.S);
}

// Whether a host value still holds what the host put there.
bool Unchanged(const V8Variant& v, const TArg& a) {
    switch (a.Kind) {
        case TArg::Bool: return v.vt == VTYPE_BOOL && (v.VarEnum.bVal != 0) == a.B;
        case TArg::Int: return v.vt == VTYPE_I4 && v.VarEnum.lVal == a.I;
        case TArg::Real: return v.vt == VTYPE_R8 && v.VarEnum.dblVal == a.R;
        case TArg::Narrow: return v.vt == VTYPE_PSTR && fakehost::ReadBytes(v) == a.N;
        case TArg::Text:
        case TArg::Out: break;
    }
    return v.vt == VTYPE_PWSTR && fakehost::ReadWString(v) == a.S;
}

struct TExpect {
    enum TKind { Untouched, Bool, Int, Text, Document } Kind = Untouched;
    bool B = false;
    int32_t I = 0;
    std::u16string S;
};

TExpect XB(bool b) { TExpect e; e.Kind = TExpect::Bool; e.B = b; return e; }
TExpect XI(int32_t i) { TExpect e; e.Kind = TExpect::Int; e.I = i; return e; }
TExpect XT(const std::u16string& s) { TExpect e; e.Kind = TExpect::Text; e.S = s; return e; }
TExpect XDoc() { TExpect e; e.Kind = TExpect::Document; return e; }

bool Matches(const V8Variant& v, const TExpect& e) {
    switch (e.Kind) {
        case TExpect::Bool: return v.vt == VTYPE_BOOL && (v.VarEnum.bVal != 0) == e.B;
        case TExpect::Int: return v.vt == VTYPE_I4 && v.VarEnum.lVal == e.I;
        case TExpect::Text: return v.vt == VTYPE_PWSTR && fakehost::ReadWString(v) == e.S;
        case TExpect::Document: return v.vt == VTYPE_PWSTR;
        case TExpect::Untouched: break;
    }
    return false;
}

std::string Show(const TExpect& e) {
    switch (e.Kind) {
        case TExpect::Bool: return e.B ? "BOOL true" : "BOOL false";
        case TExpect::Int: return "I4 " + std::to_string(e.I);
        case TExpect::Text: return "PWSTR \"" + Utf8(e.S) + "\"";
        case TExpect::Document: return "PWSTR <description document>";
        case TExpect::Untouched: break;
    }
    return "untouched";
}

// The sentinel result value: an integer the handlers never write.
const int32_t UntouchedResult = -5;

// --- The method table as the host sees it --------------------------------------------

// How a method fails when no driver is installed.
enum class TNoDriver {
    Logged,              // trace, the adapter's lines, error line; answers false
    VersionFirst,        // trace, error line (the format version fails first)
    Reported,            // no line; the host gets the report
    ReportedAfterTrace,  // trace; the host gets the report
    Status,              // trace, the adapter's lines, error line with the status text
    OwnDocument,         // the component's own description, no line
};

struct TCase {
    int32_t Index;
    std::u16string En, Ru;
    int32_t Count;
    std::u16string Trace;  // name in the trace line
    std::vector<TArg> Args;
    std::string Journal;  // the operation's journal line without fv; empty: the driver gets no operation
    TExpect Ret;
    std::vector<std::pair<int, TExpect>> Outs;
    std::vector<std::u16string> Before;  // log lines written before the driver is reached
    std::vector<std::u16string> After;   // log lines written after it answered ("{out0}": argument 0)
    int32_t Version;                     // the format version the handler sets, 0 none
    TNoDriver NoDriver;
    std::vector<std::pair<std::wstring, std::u16string>> Env;  // steering of the double for the call
};

std::u16string D(const std::u16string& text) { return u"[DEBUG] " + text; }
std::u16string E(const std::u16string& text) { return u"[ERROR] TExtention30 " + text; }
// The adapter's line for a driver object it could not create: the reason
// (the system's text for the code, or the driver's description) and the code.
std::u16string CreationCause(const std::u16string& reason, HRESULT code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%.8lX", static_cast<unsigned long>(code));
    return u"[ERROR] TDriver30 Не удалось создать объект драйвера: " + reason + u" (" + Utf16(std::string(hex)) + u")";
}

std::string J(const std::string& operation, const std::vector<std::string>& fields) {
    std::string line = operation;
    for (const std::string& f : fields) line += "\t" + f;
    return line;
}
std::string JT(const std::u16string& s) { return NormalizeJournalLine(JournalText(s)); }

std::vector<TCase> MethodTable() {
    const std::string id = JT(DeviceId);
    const std::string out = "out:null";
    const auto L = TNoDriver::Logged;
    std::vector<TCase> t = {
        {0, u"GetInterfaceRevision", u"ПолучитьРевизиюИнтерфейса", 0, u"GetInterfaceRevision", {},
         "GetInterfaceRevision", XI(3012), {}, {}, {}, 47, TNoDriver::Reported, {}},
        {1, u"GetDescription", u"ПолучитьОписание", 1, u"GetDescription", {O()}, "", XB(true), {{0, XDoc()}}, {},
         {D(u"TExtention30 GetDescription {out0}")}, 47, TNoDriver::OwnDocument,
         {{L"VERSION", DriverVersionText}}},
        {2, u"GetLastError", u"ПолучитьОшибку", 1, u"GetLastError", {O()}, J("GetLastError", {out}), XI(12),
         {{0, XT(DefaultOut("GetLastError", 0))}}, {}, {}, 0, L, {}},
        {3, u"GetParameters", u"ПолучитьПараметры", 1, u"GetParameters", {O()}, J("GetParameters", {out}),
         XB(true), {{0, XT(TableParameters)}}, {}, {D(u"TExtention30 GetParameters = " + TableParameters)}, 0, L,
         {{L"OUT", TableParameters}}},
        {4, u"SetParameter", u"УстановитьПараметр", 2, u"SetParameter", {T(u"Порт"), I(3)},
         J("SetParameter", {JT(u"Порт"), "v8:" + JT(u"3")}), XB(true), {},
         {D(u"TDriver30 SetParameter: Порт = 3"), D(u"Порт 3")}, {}, 0, L, {}},
        {5, u"Open", u"Подключить", 1, u"Open", {O()}, J("Open", {out}), XB(true), {{0, XT(DefaultOut("Open", 0))}},
         {D(u"TDriver30 Open")}, {}, 0, L, {}},
        {6, u"Close", u"Отключить", 1, u"Close", {T(DeviceId)}, J("Close", {id}), XB(true), {},
         {D(u"TDriver30 Close: 1")}, {}, 0, L, {}},
        {7, u"DeviceTest", u"ТестУстройства", 2, u"DeviceTest", {O(), O()}, J("DeviceTest", {out, out}), XB(true),
         {{0, XT(DefaultOut("DeviceTest", 0))}, {1, XT(DefaultOut("DeviceTest", 1))}}, {}, {}, 0, L, {}},
        {8, u"GetAdditionalActions", u"ПолучитьДополнительныеДействия", 1, u"GetAdditionalActions", {O()},
         J("GetAdditionalActions", {out}), XB(true), {{0, XT(DefaultOut("GetAdditionalActions", 0))}}, {}, {}, 0, L,
         {}},
        {9, u"DoAdditionalAction", u"ВыполнитьДополнительноеДействие", 1, u"DoAdditionalAction",
         {T(u"ПечатьДиагностики")}, J("DoAdditionalAction", {JT(u"ПечатьДиагностики")}), XB(true), {},
         {D(u"TDriver30 DoAdditionalAction ПечатьДиагностики")}, {}, 0, L, {}},
        {10, u"GetLocalizationPattern", u"ПолучитьШаблонЛокализации", 1, u"GetLocalizationPattern", {O()},
         J("GetLocalizationPattern", {out}), XB(true), {{0, XT(DefaultOut("GetLocalizationPattern", 0))}},
         {D(u"GetLocalizationPattern: ")}, {}, 0, L, {}},
        {11, u"SetLocalization", u"УстановитьЛокализацию", 1, u"SetLocalization", {T(u"ru")},
         J("SetLocalization", {JT(u"ru"), "null"}), XB(true), {}, {D(u"TDriver30 SetLocalization: ru, ")}, {}, 0, L,
         {}},
        {12, u"EquipmentParameters", u"ПараметрыОборудования", 2, u"EquipmentParameters", {T(u"ККТ"), O()},
         J("EquipmentParameters", {JT(u"ККТ"), out}), XB(true), {{1, XT(DefaultOut("EquipmentParameters", 0))}},
         {D(u"TDriver30 EquipmentParameters ККТ")}, {}, 46, TNoDriver::Reported, {}},
        {13, u"EquipmentTest", u"ТестированиеОборудования", 4, u"EquipmentTest",
         {T(u"ККТ"), T(ConnectionParameters), O(), O()},
         J("EquipmentTest", {JT(u"ККТ"), JT(ConnectionParameters), out, out}), XB(true),
         {{2, XT(DefaultOut("EquipmentTest", 0))}, {3, XT(DefaultOut("EquipmentTest", 1))}},
         {D(u"TDriver30 EquipmentTest"), D(u"TDriver30 EquipmentType = ККТ"),
          D(u"TDriver30 ConnectionParameters = " + ConnectionParameters)},
         {}, 0, L, {}},
        {14, u"SetApplicationInformation", u"УстановитьИнформациюПриложения", 1, u"SetAppInfo", {T(AppSettings)},
         J("SetApplicationInformation", {JT(AppSettings)}), XB(true), {}, {}, {}, 0, TNoDriver::ReportedAfterTrace,
         {}},
        {15, u"ConnectEquipment", u"ПодключитьОборудование", 3, u"ConnectEquipment",
         {O(), T(u"ККТ"), T(ConnectionParameters)},
         J("ConnectEquipment", {out, JT(u"ККТ"), JT(ConnectionParameters)}), XB(true),
         {{0, XT(DefaultOut("ConnectEquipment", 0))}},
         {D(u"TDriver30 ConnectEquipment."), D(u"TDriver30 ConnectionParameters:"),
          D(u"TDriver30 " + ConnectionParameters)},
         {}, 0, TNoDriver::Status, {}},
        {16, u"DisconnectEquipment", u"ОтключитьОборудование", 1, u"DisconnectEquipment", {T(DeviceId)},
         J("DisconnectEquipment", {id}), XB(true), {}, {D(u"TDriver30 DisconnectEquipment 1")}, {}, 0,
         TNoDriver::Status, {}},
        {17, u"EquipmentAutoSetup", u"АвтонастройкаОборудования", 5, u"EquipmentAutoSetup",
         {O(), T(ConnectionParameters), O(), B(true), I(0)},
         J("EquipmentAutoSetup", {out, JT(ConnectionParameters), out, "vb:-1", "i:10000"}), XB(true),
         {{0, XT(DefaultOut("EquipmentAutoSetup", 0))}, {2, XT(DefaultOut("EquipmentAutoSetup", 1))}}, {}, {}, 0,
         TNoDriver::Status, {}},
        {18, u"GetDataKKT", u"ПолучитьПараметрыККТ", 2, u"GetDataKKT", {T(DeviceId), O()},
         J("GetDataKKT", {id, out}), XB(true), {{1, XT(TableParametersKKT)}}, {D(u"TDriver30 GetDataKKT 1")}, {}, 0,
         L, {{L"OUT", TableParametersKKT}}},
        {19, u"OperationFN", u"ОперацияФН", 3, u"OperationFN", {T(DeviceId), I(2), T(FiscalParameters)},
         J("OperationFN", {id, "i:2", JT(FiscalParameters)}), XB(true), {}, {D(u"TDriver30 OperationFN 1")}, {}, 0,
         L, {}},
        {20, u"OpenShift", u"ОткрытьСмену", 3, u"OpenShift", {T(DeviceId), T(InputParameters), O()},
         J("OpenShift", {id, JT(InputParameters), out}), XB(true), {{2, XT(OutputParameters)}},
         {D(u"TDriver30 OpenShift 1")}, {}, 0, L, {{L"OUT", OutputParameters}}},
        {21, u"CloseShift", u"ЗакрытьСмену", 3, u"CloseShift", {T(DeviceId), T(InputParameters), O()},
         J("CloseShift", {id, JT(InputParameters), out}), XB(true), {{2, XT(OutputParameters)}},
         {D(u"TDriver30 CloseShift 1")}, {}, 0, L, {{L"OUT", OutputParameters}}},
        {22, u"ProcessCheck", u"СформироватьЧек", 4, u"ProcessCheck", {T(DeviceId), B(false), T(CheckPackage), O()},
         J("ProcessCheck", {id, "vb:0", JT(CheckPackage), out}), XB(true), {{3, XT(DocumentOutput)}},
         {D(u"TDriver30 ProcessCheck 1")}, {}, 30, TNoDriver::VersionFirst, {{L"OUT", DocumentOutput}}},
        {23, u"ProcessCorrectionCheck", u"СформироватьЧекКоррекции", 4, u"ProcessCorrectionCheck",
         {T(DeviceId), B(true), T(CorrectionPackage), O()},
         J("ProcessCorrectionCheck", {id, "vb:-1", JT(CorrectionPackage), out}), XB(true), {{3, XT(DocumentOutput)}},
         {D(u"TDriver30 ProcessCorrectionCheck 1")}, {}, 0, L, {{L"OUT", DocumentOutput}}},
        {24, u"PrintTextDocument", u"НапечататьТекстовыйДокумент", 2, u"PrintTextDocument",
         {T(DeviceId), T(TextDocument)}, J("PrintTextDocument", {id, JT(TextDocument)}), XB(true), {},
         {D(u"DeviceID 1"), D(u"DocumentPackage " + TextDocumentIn1251), D(u"TDriver30 PrintTextDocument 1")}, {}, 0, L,
         {}},
        {25, u"CashInOutcome", u"НапечататьЧекВнесенияВыемки", 3, u"CashInOutcome",
         {T(DeviceId), T(InputParameters), R(1500.5)}, J("CashInOutcome", {id, JT(InputParameters), "d:1500.5"}),
         XB(true), {}, {D(u"TDriver30 CashInOutcome 1")}, {}, 0, L, {}},
        {26, u"PrintXReport", u"НапечататьОтчетБезГашения", 2, u"PrintXReport", {T(DeviceId), T(InputParameters)},
         J("PrintXReport", {id, JT(InputParameters)}), XB(true), {}, {D(u"TDriver30 PrintXReport 1")}, {}, 0, L, {}},
        {27, u"PrintCheckCopy", u"НапечататьКопиюЧека", 2, u"PrintCheckCopy", {T(DeviceId), T(u"25")},
         J("PrintCheckCopy", {id, JT(u"25")}), XB(true), {}, {D(u"TDriver30 PrintCheckCopy 1, 25")}, {}, 0, L, {}},
        {28, u"GetCurrentStatus", u"ПолучитьТекущееСостояние", 3, u"GetCurrentStatus",
         {T(DeviceId), T(InputParameters), O()}, J("GetCurrentStatus", {id, JT(InputParameters), out}), XB(true),
         {{2, XT(DefaultOut("GetCurrentStatus", 0))}}, {D(u"TDriver30 GetCurrentStatus 1")}, {}, 0, L, {}},
        {29, u"ReportCurrentStatusOfSettlements", u"ОтчетОТекущемСостоянииРасчетов", 3,
         u"ReportCurrentStatusOfSettlements", {T(DeviceId), T(InputParameters), O()},
         J("ReportCurrentStatusOfSettlements", {id, JT(InputParameters), out}), XB(true),
         {{2, XT(DefaultOut("ReportCurrentStatusOfSettlements", 0))}},
         {D(u"TDriver30 ReportCurrentStatusOfSettlements 1")}, {}, 0, L, {}},
        {30, u"OpenCashDrawer", u"ОткрытьДенежныйЯщик", 1, u"OpenCashDrawer", {T(DeviceId)},
         J("OpenCashDrawer", {id}), XB(true), {}, {D(u"TDriver30 OpenCashDrawer 1")}, {}, 0, L, {}},
        {31, u"GetLineLength", u"ПолучитьШиринуСтроки", 2, u"GetLineLength", {T(DeviceId), O()},
         J("GetLineLength", {id}), XB(true), {{1, XI(42)}}, {D(u"TDriver30 GetLineLength 1")}, {}, 0, L, {}},
        {32, u"OpenSessionRegistrationKM", u"ОткрытьСессиюРегистрацииКМ", 1, u"OpenSessionRegistrationKM",
         {T(DeviceId)}, J("OpenSessionRegistrationKM", {id}), XB(true), {}, {}, {}, 0, L, {}},
        {33, u"CloseSessionRegistrationKM", u"ЗакрытьСессиюРегистрацииКМ", 1, u"CloseSessionRegistrationKM",
         {T(DeviceId)}, J("CloseSessionRegistrationKM", {id}), XB(true), {}, {}, {}, 0, L, {}},
        {34, u"RequestKM", u"ЗапросКМ", 3, u"RequestKM", {T(DeviceId), T(KMRequest), O()},
         J("RequestKM", {id, JT(KMRequest), out}), XB(true), {{2, XT(DefaultOut("RequestKM", 0))}}, {}, {}, 0, L,
         {}},
        {35, u"GetProcessingKMResult", u"ПолучитьРезультатыЗапросаКМ", 3, u"GetProcessingKMResult",
         {T(DeviceId), O(), O()}, J("GetProcessingKMResult", {id, out}), XB(true),
         {{1, XT(DefaultOut("GetProcessingKMResult", 0))}, {2, XI(3)}}, {}, {}, 0, L, {}},
        {36, u"ConfirmKM", u"ПодтвердитьКМ", 3, u"ConfirmKM", {T(DeviceId), T(KMGuid), I(1)},
         J("ConfirmKM", {id, JT(KMGuid), "i:1"}), XB(true), {}, {}, {}, 0, L, {}},
    };
    return t;
}

const std::set<std::string>& DriverOperations() {
    static const std::set<std::string> names = {
        "GetInterfaceRevision", "GetDescription", "GetLastError", "GetParameters", "SetParameter", "Open", "Close",
        "DeviceTest", "GetAdditionalActions", "DoAdditionalAction", "GetDataKKT", "OperationFN", "OpenShift",
        "CloseShift", "ProcessCheck", "ProcessCorrectionCheck", "CashInOutcome", "PrintXReport", "GetCurrentStatus",
        "ReportCurrentStatusOfSettlements", "OpenCashDrawer", "GetLineLength", "PrintCheckCopy", "PrintTextDocument",
        "OpenSessionRegistrationKM", "CloseSessionRegistrationKM", "RequestKM", "GetProcessingKMResult", "ConfirmKM",
        "GetLocalizationPattern", "SetLocalization", "EquipmentParameters", "EquipmentTest",
        "SetApplicationInformation", "ConnectEquipment", "DisconnectEquipment", "EquipmentAutoSetup"};
    return names;
}

std::string PropertyPut(int32_t version) {
    return "PropertyPut driver 217\tlcid=0\targs=1\tnamed=1\tname=-3\tv3:" + std::to_string(version);
}
const char* const VersionRead = "PropertyGet main 1932\tlcid=0\targs=0\tnamed=0";

// The journal lines that matter for a call: operations and property access.
std::vector<std::string> KeyLines(const std::vector<std::string>& lines) {
    std::vector<std::string> keys;
    for (const std::string& line : lines) {
        const std::string op = JournalOperation(line);
        if (op.compare(0, 12, "PropertyPut ") == 0 || op.compare(0, 12, "PropertyGet ") == 0 ||
            DriverOperations().count(op) != 0)
            keys.push_back(NormalizeJournalLine(line));
    }
    return keys;
}

bool Contains(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& l : lines)
        if (l.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

// --- One object and its calls -----------------------------------------------------------

// Problems found in one call; empty when everything matched.
struct TProblems {
    std::vector<std::string> List;
    void Add(const std::string& what) { List.push_back(what); }
    void Expect(bool ok, const std::string& what) {
        if (!ok) Add(what);
    }
    std::string Text() const {
        std::string out;
        for (const std::string& p : List) out += (out.empty() ? "" : "; ") + p;
        return out;
    }
};

std::string ShowLines(const std::vector<std::u16string>& lines) {
    std::string out;
    for (const auto& l : lines) out += (out.empty() ? "" : " | ") + Utf8(l);
    return "[" + out + "]";
}

std::string ShowLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += (out.empty() ? "" : " | ") + l;
    return "[" + out + "]";
}

void CompareLog(TProblems& p, const std::vector<TLogEntry>& got, const std::vector<std::u16string>& expected) {
    std::vector<std::u16string> texts;
    for (const TLogEntry& e : got) {
        std::string why;
        if (!TLogReader::HeaderOk(e.Header, why)) p.Add("log line \"" + Utf8(e.Text) + "\": " + why);
        texts.push_back(e.Text);
    }
    if (texts != expected) p.Add("log " + ShowLines(texts) + ", expected " + ShowLines(expected));
}

void CompareJournal(TProblems& p, const std::vector<std::string>& got, const std::vector<std::string>& expected) {
    if (got != expected) p.Add("journal " + ShowLines(got) + ", expected " + ShowLines(expected));
}

struct TCall {
    int32_t Found = -2;
    bool Result = false;
    V8Variant Ret{};
    std::vector<V8Variant> Params;
    std::vector<TLogEntry> Log;
    std::vector<std::string> Journal;  // every line the double wrote during the call
    std::vector<fakehost::TErrorReport> Errors;
};

class TSession {
public:
    TSession(TCheckList& checks, THostLibrary& lib, THostSession& host, TLogReader& log, TJournal& journal)
        : C(checks), Lib(lib), Host(host), Log(log), Journal(journal), Obj(lib) {}

    TCheckList& C;
    THostLibrary& Lib;
    THostSession& Host;
    TLogReader& Log;
    TJournal& Journal;
    THostObject Obj;
    int32_t Version = InitialFormatVersion;  // the double's format version as the calls so far left it
    bool DriverCreated = false;

    // GetClassObject, Init, SetMemManager, SetLocale; checks them.
    bool Create(const std::string& what) {
        Log.ReadNew();
        Journal.Skip();
        const int32_t made = Obj.Create(ClassName);
        const bool ok = made == 1 && Obj.Valid() && Obj.Init(Host.Connection.Connection()) &&
                        Obj.SetMemManager(Host.Memory.Manager());
        if (ok) Obj.SetLocale(u"ru_RU");
        C.Check(ok, what + ": GetClassObject(\"KelmorTarvik1C4\"), Init and SetMemManager",
                "GetClassObject answered " + std::to_string(made));
        const auto lines = Log.ReadNew();
        const auto journal = Journal.ReadNew();
        C.Check(lines.empty() && journal.empty(), what + ": making the object writes no log line and touches no driver",
                std::to_string(lines.size()) + " log line(s), " + std::to_string(journal.size()) + " journal line(s)");
        return ok;
    }

    // Finds the method by name and calls it as the host does.
    TCall Invoke(const std::u16string& name, const std::vector<TArg>& args, int32_t count,
                 const std::vector<std::pair<std::wstring, std::u16string>>& env = {}) {
        TCall call;
        Log.ReadNew();
        Journal.Skip();
        Host.Connection.ClearErrors();
        call.Found = Obj.FindMethod(name);
        for (const TArg& a : args) call.Params.push_back(MakeValue(Host, a));
        call.Ret = fakehost::I4(UntouchedResult);
        if (call.Found >= 0) {
            TDriverEnv steering(env);
            call.Result = Obj.CallAsFunc(call.Found, call.Ret, count > 0 ? call.Params.data() : nullptr, count);
        }
        call.Log = Log.ReadNew();
        call.Journal = Journal.ReadNew();
        call.Errors = Host.Connection.Errors();
        return call;
    }

    void Release(TCall& call) {
        Host.Release(call.Ret);
        Host.Release(call.Params);
    }

    // DestroyObject; the driver object must be closed without saving and
    // released, and the host's memory must be balanced.
    void Destroy(const std::string& what) {
        Journal.Skip();
        C.Check(Obj.Destroy() == 0 && !Obj.Valid(), what + ": DestroyObject answers 0");
        const auto lines = Journal.ReadNew();
        if (DriverCreated) {
            C.Check(Contains(lines, "Close driver 1") && Contains(lines, "Release final driver"),
                    what + ": destroying the object closes the driver object (no save) and releases it",
                    ShowLines(lines));
        } else {
            C.Check(lines.empty(), what + ": destroying the object touches no driver", ShowLines(lines));
        }
        C.Check(Host.Memory.LiveBlocks() == 0 && Host.Memory.BadFrees() == 0,
                what + ": host memory balanced after the object is gone",
                std::to_string(Host.Memory.LiveBlocks()) + " live block(s), " +
                    std::to_string(Host.Memory.BadFrees()) + " bad free(s)");
    }

    // The first call that reaches the driver creates it as a control, once.
    void CheckCreation(TProblems& p, const std::vector<std::string>& journal, bool expectUse) {
        const bool created = Contains(journal, "Create driver");
        if (!DriverCreated && expectUse) {
            p.Expect(created && Contains(journal, "SetClientSite driver site") && Contains(journal, "InitNew driver"),
                     "first use: driver object not created and set up as a control " + ShowLines(journal));
            DriverCreated = DriverCreated || created;
        } else {
            p.Expect(!created, "driver object created again " + ShowLines(journal));
        }
    }
};

std::vector<std::u16string> FindLines(int32_t index) {
    const std::u16string line = D(u"_FindMethod: " + Utf16(std::to_string(index)));
    return {line, line};
}

std::u16string TraceLine(const TCase& c, int32_t count) {
    return D(u"TExtention30 " + c.Trace + u" ParamCount = " + Utf16(std::to_string(count)));
}

void CheckArgsUntouched(TProblems& p, const TCall& call, const std::vector<TArg>& args, const std::vector<int>& skip) {
    for (size_t k = 0; k < args.size() && k < call.Params.size(); ++k) {
        bool skipped = false;
        for (int s : skip) skipped = skipped || s == static_cast<int>(k);
        if (!skipped && !Unchanged(call.Params[k], args[k]))
            p.Add("argument " + std::to_string(k) + " changed to " + Describe(call.Params[k]));
    }
}

bool RetUntouched(const TCall& call) {
    return call.Ret.vt == VTYPE_I4 && call.Ret.VarEnum.lVal == UntouchedResult;
}

// --- The description document ---------------------------------------------------------

void CheckDescription(TProblems& p, const std::u16string& text, bool installed, const std::u16string& driverVersion) {
    p.Expect(text.compare(0, 19, u"<?xml version=\"1.0\"") == 0, "document does not start with the XML declaration");
    bool crlf = text.size() >= 2 && text.compare(text.size() - 2, 2, u"\r\n") == 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) crlf = false;
        if (text[i] == u'\r' && (i + 1 >= text.size() || text[i + 1] != u'\n')) crlf = false;
    }
    p.Expect(crlf, "document lines are not all ended by CR LF");
    p.Expect(text.find(u"&amp;") != std::u16string::npos, "ampersands of DownloadURL not escaped in the text");
    const TXmlDocument doc = ParseXml(text);
    if (!doc.Parsed) {
        p.Add("document does not parse: " + doc.Error);
        return;
    }
    p.Expect(doc.Root == u"DriverDescription", "root element " + Utf8(doc.Root));
    p.Expect(doc.RootChildren == 0, "root element has " + std::to_string(doc.RootChildren) + " child node(s)");
    const std::u16string name = u"Pellmar / Kelmor: Tarvik с передачей данных в ОФД 4.7 (ФФД 1.2)";
    const std::vector<std::pair<std::u16string, std::u16string>> expected = {
        {u"Name", name},
        {u"Description", name},
        {u"EquipmentType", u"KKT"},
        {u"IntegrationComponent", u"true"},
        {u"MainDriverInstalled", installed ? u"true" : u"false"},
        {u"DriverVersion", installed ? driverVersion : u"1.0"},
        {u"IntegrationComponentVersion", installed ? ModuleVersionText : u"4007"},
        {u"DownloadURL", u""},
        {u"LogIsEnabled", u"true"},
        {u"LogPath", u""},
    };
    if (doc.Attributes.size() != expected.size()) {
        p.Add("root element has " + std::to_string(doc.Attributes.size()) + " attributes, expected 10");
    }
    const std::u16string urlTail = u"/support/download/?section_id=76&product_id=all&type_id=156";
    for (size_t i = 0; i < expected.size() && i < doc.Attributes.size(); ++i) {
        const auto& got = doc.Attributes[i];
        if (got.first != expected[i].first) {
            p.Add("attribute " + std::to_string(i + 1) + " is " + Utf8(got.first) + ", expected " +
                  Utf8(expected[i].first));
        } else if (got.first == u"DownloadURL") {
            const bool ok = got.second.size() > urlTail.size() && got.second.compare(0, 4, u"http") == 0 &&
                            got.second.compare(got.second.size() - urlTail.size(), urlTail.size(), urlTail) == 0;
            p.Expect(ok, "DownloadURL parses as \"" + Utf8(got.second) + "\"");
        } else if (got.second != expected[i].second) {
            p.Add(Utf8(got.first) + "=\"" + Utf8(got.second) + "\", expected \"" + Utf8(expected[i].second) + "\"");
        }
    }
}

// --- Calls with the driver installed ------------------------------------------------------

// Calls one method by one of its names and checks the host's values, the
// journal and the log.
void CheckInstalledCall(TSession& s, const TCase& c, const std::u16string& name, std::u16string* document = nullptr) {
    TCall call = s.Invoke(name, c.Args, c.Count, c.Env);
    TProblems p;
    p.Expect(call.Found == c.Index, "FindMethod answered " + std::to_string(call.Found));
    p.Expect(call.Result, "call answered false");
    p.Expect(call.Errors.empty(), "host received an error report: " +
                                      (call.Errors.empty() ? std::string() : Utf8(call.Errors[0].descr)));
    p.Expect(Matches(call.Ret, c.Ret), "RetValue " + Describe(call.Ret) + ", expected " + Show(c.Ret));
    std::vector<int> outs;
    std::u16string out0;
    for (const auto& o : c.Outs) {
        outs.push_back(o.first);
        const V8Variant& v = call.Params[static_cast<size_t>(o.first)];
        p.Expect(Matches(v, o.second),
                 "argument " + std::to_string(o.first) + " " + Describe(v) + ", expected " + Show(o.second));
        if (o.first == 0 && v.vt == VTYPE_PWSTR) out0 = fakehost::ReadWString(v);
        if (o.second.Kind == TExpect::Document) CheckDescription(p, out0, true, DriverVersionText);
    }
    if (document != nullptr) *document = out0;
    CheckArgsUntouched(p, call, c.Args, outs);

    // Log: the look-up, the trace line, the adapter's lines, the lines after the answer.
    std::vector<std::u16string> log = FindLines(c.Index);
    log.push_back(TraceLine(c, c.Count));
    for (const auto& l : c.Before) log.push_back(l);
    for (std::u16string l : c.After) {
        const size_t at = l.find(u"{out0}");
        if (at != std::u16string::npos) l.replace(at, 6, out0);
        log.push_back(l);
    }
    CompareLog(p, call.Log, log);

    // Journal: the format version set on the way, then the operation under the version in force.
    std::vector<std::string> journal;
    if (c.Version != 0) {
        journal.push_back(PropertyPut(c.Version));
        s.Version = c.Version;
    }
    if (c.Index == 1) {
        journal.push_back(PropertyPut(47));
        journal.push_back(VersionRead);
        p.Expect(Contains(call.Journal, "Create main") && Contains(call.Journal, "InitNew main") &&
                     Contains(call.Journal, "Close main 1") && Contains(call.Journal, "Release final main"),
                 "main control not created, set up, closed without saving and released for the version " +
                     ShowLines(call.Journal));
    }
    if (!c.Journal.empty()) journal.push_back(c.Journal + "\tfv=" + std::to_string(s.Version));
    CompareJournal(p, KeyLines(call.Journal), journal);
    s.CheckCreation(p, call.Journal, true);

    s.C.Check(p.List.empty(), Utf8(c.En) + " as \"" + Utf8(name) + "\"", p.Text());
    s.Release(call);
}

const TCase& CaseAt(const std::vector<TCase>& table, int32_t index) { return table[static_cast<size_t>(index)]; }

void CheckNames(TCheckList& C, TSession& s, const std::vector<TCase>& table) {
    C.Section("names, counts and the log switched on by GetMethodName");
    std::u16string extension;
    C.Check(s.Obj.RegisterExtensionAs(extension) && extension == ClassName, "RegisterExtensionAs gives KelmorTarvik1C4",
            Utf8(extension));
    C.Equal(s.Obj.GetNMethods(), 37, "GetNMethods");
    C.Equal(s.Obj.GetNProps(), 0, "GetNProps");
    C.Check(s.Log.ReadNew().empty(), "nothing is logged before the host asks for a method name");
    TProblems p;
    std::vector<std::u16string> expectedLog;
    for (const TCase& c : table) {
        const std::u16string en = s.Obj.GetMethodName(c.Index, 0), ru = s.Obj.GetMethodName(c.Index, 1);
        const std::u16string index = Utf16(std::to_string(c.Index));
        expectedLog.push_back(D(u"_GetMethodName " + index));
        expectedLog.push_back(D(u"_GetMethodName " + index));
        p.Expect(en == c.En && ru == c.Ru, "names of " + std::to_string(c.Index) + ": " + Utf8(en) + " / " + Utf8(ru));
        p.Expect(s.Obj.GetNParams(c.Index) == c.Count, "GetNParams(" + std::to_string(c.Index) + ")");
        p.Expect(s.Obj.HasRetVal(c.Index), "HasRetVal(" + std::to_string(c.Index) + ")");
    }
    C.Check(p.List.empty(), "37 methods: English and Russian names, argument counts, all functions", p.Text());
    TProblems lp;
    CompareLog(lp, s.Log.ReadNew(), expectedLog);
    C.Check(lp.List.empty(), "GetMethodName switches the log on: one \"_GetMethodName <index>\" line per call in e:\\lll.txt",
            lp.Text());
    C.Check(s.Log.Exists(), "the log file is e:\\lll.txt");

    C.Equal(s.Obj.FindMethod(u"processcheck"), -1, "FindMethod compares case-sensitively (\"processcheck\")");
    C.Equal(s.Obj.FindMethod(u"сформироватьчек"), -1, "FindMethod compares case-sensitively (\"сформироватьчек\")");
    TProblems fp;
    CompareLog(fp, s.Log.ReadNew(), {D(u"_FindMethod: -1"), D(u"_FindMethod: -1")});
    C.Check(fp.List.empty(), "a miss writes one \"_FindMethod: -1\" line", fp.Text());
}

// Format versions follow the handlers that set them, on the same object.
void CheckVersionSequence(TSession& s, const std::vector<TCase>& table) {
    s.C.Section("format version in force across calls");
    for (int32_t index : {1, 23, 22, 23, 12, 20, 0, 26, 22, 31})
        CheckInstalledCall(s, CaseAt(table, index), CaseAt(table, index).En);
}

// SetParameter hands every kind of host value to the driver as text.
void CheckSetParameterValues(TSession& s) {
    s.C.Section("SetParameter: values as text");
    struct TValueCase {
        TArg Value;
        std::u16string Text;
    };
    const std::vector<TValueCase> values = {
        {I(3), u"3"},           {I(-7), u"-7"},         {B(true), u"True"},
        {B(false), u"False"},   {R(2.5), u"2,5"},       {T(u"Сервер ОФД"), u"Сервер ОФД"},
        {N("abc"), u""},        {T(u""), u""},
    };
    for (const TValueCase& v : values) {
        TCall call = s.Invoke(u"УстановитьПараметр", {T(u"Скорость"), v.Value}, 2);
        TProblems p;
        p.Expect(call.Result && Matches(call.Ret, XB(true)), "call or RetValue wrong: " + Describe(call.Ret));
        const std::string expected = J("SetParameter", {JT(u"Скорость"), "v8:" + JT(v.Text)}) + "\tfv=" +
                                     std::to_string(s.Version);
        CompareJournal(p, KeyLines(call.Journal), {NormalizeJournalLine(expected)});
        CompareLog(p, call.Log,
                   {D(u"_FindMethod: 4"), D(u"_FindMethod: 4"), D(u"TExtention30 SetParameter ParamCount = 2"),
                    D(u"TDriver30 SetParameter: Скорость = " + v.Text), D(u"Скорость " + v.Text)});
        s.C.Check(p.List.empty(), "SetParameter with " + Describe(call.Params[1]) + " hands \"" + Utf8(v.Text) + "\"",
                  p.Text());
        s.Release(call);
    }
}

// CashInOutcome's Amount given as text: parsed with the decimal separator of
// the user's regional settings as the library read them at load (the runs
// use a Russian locale: decimal comma); no test forces it here.
void CheckAmountTexts(TSession& s, const std::vector<TCase>& table) {
    s.C.Section("CashInOutcome: Amount as text, under the user's regional settings");
    const TCase& c = CaseAt(table, 25);
    struct TAmount {
        std::u16string Text;
        std::string Driver;
    };
    const std::vector<TAmount> amounts = {
        {u"1,5", "d:1.5"},
        {u"-1500,25", "d:-1500.25"},
        {u"1.5", "d:0"},  // a point is no decimal separator here: the text does not parse
    };
    for (const TAmount& a : amounts) {
        TCall call = s.Invoke(c.En, {T(DeviceId), T(InputParameters), T(a.Text)}, 3);
        TProblems p;
        p.Expect(call.Result && Matches(call.Ret, XB(true)), "call or RetValue wrong: " + Describe(call.Ret));
        CompareJournal(p, KeyLines(call.Journal),
                       {J("CashInOutcome", {JT(DeviceId), JT(InputParameters), a.Driver}) + "\tfv=" +
                        std::to_string(s.Version)});
        CompareLog(p, call.Log, {D(u"_FindMethod: 25"), D(u"_FindMethod: 25"), TraceLine(c, 3),
                                 D(u"TDriver30 CashInOutcome 1")});
        s.C.Check(p.List.empty(), "CashInOutcome with the Amount \"" + Utf8(a.Text) + "\" hands " + a.Driver,
                  p.Text());
        s.Release(call);
    }
}

// EquipmentAutoSetup: Timeout 0 becomes 10000; the window flag as VARIANT_BOOL.
void CheckAutoSetupArguments(TSession& s) {
    s.C.Section("EquipmentAutoSetup: timeout and window flag");
    struct TTimeout {
        TArg Show, Timeout;
        std::string Journal;
    };
    const std::vector<TTimeout> cases = {
        {B(false), I(5), "vb:0\ti:5"},
        {B(true), T(u"abc"), "vb:-1\ti:10000"},
        {B(false), I(-1), "vb:0\ti:-1"},
    };
    for (const TTimeout& t : cases) {
        TCall call = s.Invoke(u"EquipmentAutoSetup", {O(), T(u"<Параметры/>"), O(), t.Show, t.Timeout}, 5);
        TProblems p;
        p.Expect(call.Result && Matches(call.Ret, XB(true)), "call or RetValue wrong");
        const std::string expected = J("EquipmentAutoSetup", {"out:null", JT(u"<Параметры/>"), "out:null"}) + "\t" +
                                     t.Journal + "\tfv=" + std::to_string(s.Version);
        CompareJournal(p, KeyLines(call.Journal), {expected});
        s.C.Check(p.List.empty(), "EquipmentAutoSetup with " + Describe(call.Params[3]) + ", " +
                                      Describe(call.Params[4]) + " hands " + t.Journal, p.Text());
        s.Release(call);
    }
}

// The driver's answer is the result value; the call itself went through.
void CheckDriverAnswers(TSession& s, const std::vector<TCase>& table) {
    s.C.Section("the driver's answers");
    {
        TCall call = s.Invoke(u"Подключить", {O()}, 1, {{L"ANSWER", u"0"}});
        s.C.Check(call.Result && Matches(call.Ret, XB(false)) && Matches(call.Params[0], XT(DefaultOut("Open", 0))),
                  "Open answered false by the driver: RetValue false, call true, DeviceID written",
                  Describe(call.Ret) + ", " + Describe(call.Params[0]));
        s.Release(call);
    }
    {
        const TCase& c = CaseAt(table, 22);
        TCall call = s.Invoke(c.Ru, c.Args, 4, {{L"ANSWER", u"1"}});
        s.C.Check(call.Result && Matches(call.Ret, XB(true)), "a VARIANT_BOOL of 1 from the driver reads as true",
                  Describe(call.Ret));
        s.Release(call);
        s.Version = 30;
    }
    {
        TCall call = s.Invoke(u"GetInterfaceRevision", {}, 0, {{L"REVISION", u"4012"}});
        s.C.Check(call.Result && Matches(call.Ret, XI(4012)), "GetInterfaceRevision hands the driver's revision",
                  Describe(call.Ret));
        s.Release(call);
        s.Version = 47;
    }
}

// One argument more than registered: accepted, neither read nor written.
void CheckExtraArgument(TSession& s, const std::vector<TCase>& table) {
    s.C.Section("more arguments than registered");
    const TCase& c = CaseAt(table, 20);
    std::vector<TArg> args = c.Args;
    args.push_back(T(u"лишний аргумент"));
    TCall call = s.Invoke(c.Ru, args, 4, c.Env);
    TProblems p;
    p.Expect(call.Result && Matches(call.Ret, XB(true)), "call or RetValue wrong");
    p.Expect(Unchanged(call.Params[3], args[3]), "extra argument changed to " + Describe(call.Params[3]));
    p.Expect(Matches(call.Params[2], XT(OutputParameters)), "OutputParameters not written");
    CompareJournal(p, KeyLines(call.Journal), {c.Journal + "\tfv=" + std::to_string(s.Version)});
    CompareLog(p, call.Log, {D(u"_FindMethod: 20"), D(u"_FindMethod: 20"), TraceLine(c, 4), D(u"TDriver30 OpenShift 1")});
    s.C.Check(p.List.empty(), "OpenShift with 4 arguments works and leaves the fourth alone", p.Text());
    s.Release(call);
}

// Too few arguments: logged by the handler, or reported to the host where
// the check stands outside the guarded part.
void CheckTooFewArguments(TSession& s, const std::vector<TCase>& table) {
    s.C.Section("too few arguments");
    for (const TCase& c : table) {
        if (c.Count == 0) continue;
        const int32_t given = c.Count - 1;
        const std::vector<TArg> args(c.Args.begin(), c.Args.begin() + given);
        TCall call = s.Invoke(c.En, args, given);
        TProblems p;
        const std::u16string message = u"Incorrect Params count: " + Utf16(std::to_string(given)) + u"; Must be: " +
                                       Utf16(std::to_string(c.Count));
        p.Expect(!call.Result, "call answered true");
        p.Expect(RetUntouched(call), "RetValue written: " + Describe(call.Ret));
        CheckArgsUntouched(p, call, args, {});
        std::vector<std::u16string> log = FindLines(c.Index);
        log.push_back(TraceLine(c, given));
        const bool reported = c.Trace == u"SetAppInfo";
        if (reported) {
            p.Expect(call.Errors.size() == 1 && call.Errors[0].wcode == 1006 && call.Errors[0].source == ErrorSource &&
                         call.Errors[0].descr == message && call.Errors[0].scode == static_cast<int32_t>(0x80004005),
                     "no error report 1006 / \"Внешняя компонента\" / \"" + Utf8(message) + "\" / 0x80004005");
        } else {
            p.Expect(call.Errors.empty(), "host received an error report");
            log.push_back(E(message));
        }
        CompareLog(p, call.Log, log);
        std::vector<std::string> journal;
        if (c.Version != 0) {
            journal.push_back(PropertyPut(c.Version));
            s.Version = c.Version;
        }
        CompareJournal(p, KeyLines(call.Journal), journal);
        s.CheckCreation(p, call.Journal, c.Version != 0);
        s.C.Check(p.List.empty(),
                  Utf8(c.En) + " with " + std::to_string(given) + " of " + std::to_string(c.Count) + " arguments: " +
                      (reported ? "reported to the host" : "error line, false"),
                  p.Text());
        s.Release(call);
    }
}

// Failures of the driver: its own text, the system's text, the status text.
void CheckDriverFailures(TSession& s, const std::vector<TCase>& table) {
    s.C.Section("failures of the driver");
    struct TFailure {
        int32_t Index;
        std::vector<std::pair<std::wstring, std::u16string>> Env;
        std::u16string Message;
        bool Reported;
        std::string What;
    };
    const std::u16string unexpected = SystemMessage(static_cast<HRESULT>(0x8000FFFFu));
    const std::vector<TFailure> failures = {
        {20, {{L"FAIL", u"OpenShift"}, {L"FAIL_TEXT", u"Смена уже открыта. \r\n"}}, u"Смена уже открыта", false,
         "OpenShift failing with the driver's description: that text, trailing full stop and blanks cut"},
        {21, {{L"FAIL", u"CloseShift"}, {L"FAIL_HR", u"80004005"}}, SystemMessage(E_FAIL), false,
         "CloseShift failing without a description: the system's text for E_FAIL"},
        {22, {{L"FAIL", u"ProcessCheck"}, {L"FAIL_HR", u"80070005"}, {L"FAIL_TEXT", u"Нет бумаги"}}, u"Нет бумаги",
         false, "ProcessCheck failing: the driver's text"},
        {15, {{L"FAIL", u"ConnectEquipment"}, {L"FAIL_TEXT", u"Порт COM3 занят"}}, unexpected, false,
         "ConnectEquipment failing: the status text of 0x8000FFFF, not the driver's"},
        {16, {{L"FAIL", u"DisconnectEquipment"}, {L"FAIL_TEXT", u"Нет связи"}}, unexpected, false,
         "DisconnectEquipment failing: the status text of 0x8000FFFF"},
        {17, {{L"FAIL", u"EquipmentAutoSetup"}}, unexpected, false,
         "EquipmentAutoSetup failing: the status text of 0x8000FFFF"},
        {14, {{L"FAIL", u"SetApplicationInformation"}, {L"FAIL_TEXT", u"Нет связи с ККТ"}}, u"Нет связи с ККТ", true,
         "SetApplicationInformation failing: reported to the host"},
    };
    for (const TFailure& f : failures) {
        const TCase& c = CaseAt(table, f.Index);
        TCall call = s.Invoke(c.Ru, c.Args, c.Count, f.Env);
        TProblems p;
        p.Expect(!call.Result, "call answered true");
        p.Expect(RetUntouched(call), "RetValue written: " + Describe(call.Ret));
        CheckArgsUntouched(p, call, c.Args, {});
        std::vector<std::u16string> log = FindLines(c.Index);
        log.push_back(TraceLine(c, c.Count));
        for (const auto& l : c.Before) log.push_back(l);
        if (f.Reported) {
            p.Expect(call.Errors.size() == 1 && call.Errors[0].wcode == 1006 && call.Errors[0].descr == f.Message,
                     "no error report with \"" + Utf8(f.Message) + "\"" +
                         (call.Errors.empty() ? std::string() : ", got \"" + Utf8(call.Errors[0].descr) + "\""));
        } else {
            p.Expect(call.Errors.empty(), "host received an error report");
            log.push_back(E(f.Message));
        }
        CompareLog(p, call.Log, log);
        if (c.Version != 0) s.Version = c.Version;
        p.Expect(Contains(KeyLines(call.Journal), c.Journal), "the operation did not reach the driver");
        s.C.Check(p.List.empty(), f.What, p.Text());
        s.Release(call);
    }
    {
        TCall call = s.Invoke(u"ПолучитьРевизиюИнтерфейса", {}, 0, {{L"FAIL", u"GetInterfaceRevision"}});
        s.C.Check(call.Result && Matches(call.Ret, XI(4001)) && call.Errors.empty(),
                  "GetInterfaceRevision failing in the driver answers 4001", Describe(call.Ret));
        s.Release(call);
        s.Version = 47;
    }
}

int RunInstalled(TCheckList& C, THostLibrary& lib, const std::wstring& fakeDriver) {
    const std::vector<TCase> table = MethodTable();
    C.Section("the driver's test double registered with regsvr32");
    const int rc = RunRegsvr32(fakeDriver, false);
    C.Check(rc == 0 && DriverClassRegistered(), "regsvr32 " + Utf8(fakeDriver), "exit code " + std::to_string(rc));

    THostSession host;
    TLogReader log;
    TJournal journal(L"fakedriver-journal.txt");
    ResetDriverEnv();
    {
        TSession s(C, lib, host, log, journal);
        C.Section("object 1: every method by both names");
        if (s.Create("object 1")) {
            CheckNames(C, s, table);
            // A fresh driver object runs under its own initial format version.
            CheckInstalledCall(s, CaseAt(table, 30), CaseAt(table, 30).Ru);
            std::u16string first, second;
            for (const TCase& c : table) {
                CheckInstalledCall(s, c, c.En, c.Index == 1 ? &first : nullptr);
                CheckInstalledCall(s, c, c.Ru, c.Index == 1 ? &second : nullptr);
            }
            C.Check(!first.empty() && first == second, "two GetDescription calls answer the same text");
            CheckVersionSequence(s, table);
            CheckSetParameterValues(s);
            CheckAmountTexts(s, table);
            CheckAutoSetupArguments(s);
            CheckDriverAnswers(s, table);
            CheckExtraArgument(s, table);
            s.Destroy("object 1");
        }
    }
    {
        TSession s(C, lib, host, log, journal);
        C.Section("object 2: argument counts and failures");
        if (s.Create("object 2")) {
            for (int32_t i = 0; i < 37; ++i) s.Obj.GetMethodName(i, 1);
            CheckTooFewArguments(s, table);
            CheckDriverFailures(s, table);
            s.Destroy("object 2");
        }
    }
    {
        TSession s(C, lib, host, log, journal);
        C.Section("object 3: the driver refuses the format version");
        const std::vector<std::pair<std::wstring, std::u16string>> refuse = {{L"PROPERTY_FAIL", u"exception"}};
        if (s.Create("object 3")) {
            TCall call = s.Invoke(u"ПолучитьОписание", {O()}, 1, refuse);
            TProblems p;
            p.Expect(call.Result && Matches(call.Ret, XB(true)), "call or RetValue wrong");
            CheckDescription(p, fakehost::ReadWString(call.Params[0]), false, u"");
            CompareLog(p, call.Log, FindLines(1));
            s.DriverCreated = Contains(call.Journal, "Create driver");
            C.Check(p.List.empty() && s.DriverCreated,
                    "GetDescription: own document with MainDriverInstalled false although the driver object exists",
                    p.Text());
            s.Release(call);

            const std::u16string refused = u"Формат не поддерживается";
            for (const std::u16string name : {u"ПолучитьРевизиюИнтерфейса", u"ПараметрыОборудования"}) {
                const bool parameters = name == u"ПараметрыОборудования";
                TCall r = s.Invoke(name, {T(u"ККТ"), O()}, parameters ? 2 : 0, refuse);
                TProblems rp;
                rp.Expect(!r.Result && RetUntouched(r), "call answered true or RetValue written");
                rp.Expect(r.Errors.size() == 1 && r.Errors[0].descr == refused,
                          r.Errors.empty() ? "no report" : "report \"" + Utf8(r.Errors[0].descr) + "\"");
                // Only the look-up lines: the format version fails before the trace line.
                CompareLog(rp, r.Log, FindLines(parameters ? 12 : 0));
                C.Check(rp.List.empty(), Utf8(name) + ": the refusal reported to the host, no trace line", rp.Text());
                s.Release(r);
            }
            const TCase& pc = CaseAt(table, 22);
            TCall r = s.Invoke(pc.Ru, pc.Args, 4, refuse);
            TProblems pp;
            pp.Expect(!r.Result && r.Errors.empty() && RetUntouched(r), "call, report or RetValue wrong");
            CheckArgsUntouched(pp, r, pc.Args, {});
            CompareLog(pp, r.Log, {D(u"_FindMethod: 22"), D(u"_FindMethod: 22"), TraceLine(pc, 4), E(refused)});
            C.Check(pp.List.empty(), "ProcessCheck: the refusal logged, false", pp.Text());
            s.Release(r);
            s.Destroy("object 3");
        }
    }
    {
        TSession s(C, lib, host, log, journal);
        C.Section("object 4: the main control cannot tell its version");
        if (s.Create("object 4")) {
            TCall call = s.Invoke(u"GetDescription", {O()}, 1, {{L"VERSION_FAIL", u"1"}});
            TProblems p;
            p.Expect(!call.Result && call.Errors.empty() && RetUntouched(call), "call, report or RetValue wrong");
            CheckArgsUntouched(p, call, {O()}, {});
            CompareLog(p, call.Log, {D(u"_FindMethod: 1"), D(u"_FindMethod: 1"),
                                     D(u"TExtention30 GetDescription ParamCount = 1"), E(u"Версия недоступна")});
            s.DriverCreated = true;
            C.Check(p.List.empty(), "GetDescription: the version failure logged, false, argument 0 untouched", p.Text());
            s.Release(call);
            s.Destroy("object 4");
        }
    }
    {
        TSession s(C, lib, host, log, journal);
        C.Section("object 5: creation refused, then allowed");
        if (s.Create("object 5")) {
            TCall call = s.Invoke(u"Open", {O()}, 1, {{L"REFUSE_CREATE", u"driver"}});
            TProblems p;
            p.Expect(!call.Result && call.Errors.empty() && RetUntouched(call), "call, report or RetValue wrong");
            CompareLog(p, call.Log, {D(u"_FindMethod: 5"), D(u"_FindMethod: 5"), D(u"TExtention30 Open ParamCount = 1"),
                                     D(u"TDriver30 Open"), CreationCause(SystemMessage(E_FAIL), E_FAIL),
                                     E(NoDriverMessage)});
            C.Check(p.List.empty(),
                    "Open with the creation refused: its cause with 0x80004005, then \"Объект драйвера не установлен\" "
                    "logged",
                    p.Text());
            s.Release(call);

            // The driver's own reason for refusing stands in the cause.
            call = s.Invoke(u"Open", {O()}, 1,
                            {{L"REFUSE_CREATE", u"driver"}, {L"REFUSE_TEXT", u"Лицензия драйвера не найдена."}});
            TProblems pr;
            pr.Expect(!call.Result && call.Errors.empty() && RetUntouched(call), "call, report or RetValue wrong");
            CompareLog(pr, call.Log, {D(u"_FindMethod: 5"), D(u"_FindMethod: 5"), D(u"TExtention30 Open ParamCount = 1"),
                                      D(u"TDriver30 Open"), CreationCause(u"Лицензия драйвера не найдена", E_FAIL),
                                      E(NoDriverMessage)});
            C.Check(pr.List.empty(), "Open refused with the driver's reason: the reason and 0x80004005 logged",
                    pr.Text());
            s.Release(call);
            CheckInstalledCall(s, CaseAt(table, 5), u"Open");
            s.Destroy("object 5");
        }
    }
    {
        TSession s(C, lib, host, log, journal);
        C.Section("object 6: a driver object without the driver interface");
        if (s.Create("object 6")) {
            TCall call = s.Invoke(u"Open", {O()}, 1, {{L"HIDE_INTERFACE", u"1"}});
            TProblems p;
            p.Expect(!call.Result && call.Errors.empty() && RetUntouched(call), "call, report or RetValue wrong");
            CompareLog(p, call.Log, {D(u"_FindMethod: 5"), D(u"_FindMethod: 5"), D(u"TExtention30 Open ParamCount = 1"),
                                     D(u"TDriver30 Open"), E(u"Interface not supported")});
            s.DriverCreated = Contains(call.Journal, "Create driver");
            C.Check(p.List.empty(), "Open: \"Interface not supported\" logged, false", p.Text());
            s.Release(call);
            s.Destroy("object 6");
        }
    }

    C.Section("the driver's test double unregistered");
    const int un = RunRegsvr32(fakeDriver, true);
    C.Check(un == 0 && !DriverClassRegistered(), "regsvr32 /u " + Utf8(fakeDriver), "exit code " + std::to_string(un));
    return 0;
}

// --- Calls without a driver -----------------------------------------------------------------

void CheckMissingCall(TSession& s, const TCase& c, const std::u16string& name) {
    TCall call = s.Invoke(name, c.Args, c.Count);
    TProblems p;
    p.Expect(call.Found == c.Index, "FindMethod answered " + std::to_string(call.Found));
    std::vector<std::u16string> log = FindLines(c.Index);
    const std::u16string unexpected = SystemMessage(static_cast<HRESULT>(0x8000FFFFu));
    // Each call tries to create the driver once; the adapter logs why it could not.
    const std::u16string cause = CreationCause(SystemMessage(REGDB_E_CLASSNOTREG), REGDB_E_CLASSNOTREG);
    bool reported = false;
    switch (c.NoDriver) {
        case TNoDriver::OwnDocument:
            log.push_back(cause);
            break;
        case TNoDriver::Reported:
            reported = true;
            log.push_back(cause);
            break;
        case TNoDriver::ReportedAfterTrace:
            reported = true;
            log.push_back(TraceLine(c, c.Count));
            log.push_back(cause);
            break;
        case TNoDriver::VersionFirst:
            log.push_back(TraceLine(c, c.Count));
            log.push_back(cause);
            log.push_back(E(NoDriverMessage));
            break;
        case TNoDriver::Logged:
        case TNoDriver::Status:
            log.push_back(TraceLine(c, c.Count));
            for (const auto& l : c.Before) log.push_back(l);
            log.push_back(cause);
            log.push_back(E(c.NoDriver == TNoDriver::Status ? unexpected : NoDriverMessage));
            break;
    }
    if (c.NoDriver == TNoDriver::OwnDocument) {
        p.Expect(call.Result && Matches(call.Ret, XB(true)), "call or RetValue wrong: " + Describe(call.Ret));
        p.Expect(call.Errors.empty(), "host received an error report");
        CheckDescription(p, fakehost::ReadWString(call.Params[0]), false, u"");
    } else {
        p.Expect(!call.Result, "call answered true");
        p.Expect(RetUntouched(call), "RetValue written: " + Describe(call.Ret));
        CheckArgsUntouched(p, call, c.Args, {});
        if (reported) {
            p.Expect(call.Errors.size() == 1 && call.Errors[0].wcode == 1006 && call.Errors[0].source == ErrorSource &&
                         call.Errors[0].descr == NoDriverMessage &&
                         call.Errors[0].scode == static_cast<int32_t>(0x80004005),
                     "no error report 1006 / \"Внешняя компонента\" / \"Объект драйвера не установлен\" / 0x80004005" +
                         (call.Errors.empty() ? std::string() : ", got \"" + Utf8(call.Errors[0].descr) + "\""));
        } else {
            p.Expect(call.Errors.empty(), "host received an error report: " +
                                              (call.Errors.empty() ? std::string() : Utf8(call.Errors[0].descr)));
        }
    }
    CompareLog(p, call.Log, log);
    p.Expect(call.Journal.empty(), "something reached a driver " + ShowLines(call.Journal));
    const char* outcome = c.NoDriver == TNoDriver::OwnDocument ? "own description"
                          : reported                           ? "reported to the host"
                          : c.NoDriver == TNoDriver::Status    ? "status failure logged, false"
                                                               : "error line, false";
    s.C.Check(p.List.empty(), Utf8(c.En) + " as \"" + Utf8(name) + "\" without a driver: " + outcome, p.Text());
    s.Release(call);
}

// Too few arguments without a driver: the count check comes before the
// adapter, except where the format version fails first.
void CheckMissingTooFew(TSession& s, const std::vector<TCase>& table) {
    s.C.Section("too few arguments, without a driver");
    struct TFew {
        int32_t Index;
        bool Reported;   // to the host (else an error line)
        bool CountFirst;  // the count message (else the missing driver's)
        bool Attempt;     // the driver's creation is tried (and its cause logged)
    };
    const std::u16string cause = CreationCause(SystemMessage(REGDB_E_CLASSNOTREG), REGDB_E_CLASSNOTREG);
    for (const TFew& f : {TFew{1, true, true, true}, TFew{14, true, true, false}, TFew{5, false, true, false},
                          TFew{22, false, false, true}, TFew{12, true, false, true}}) {
        const TCase& c = CaseAt(table, f.Index);
        const int32_t given = c.Count - 1;
        const std::vector<TArg> args(c.Args.begin(), c.Args.begin() + given);
        TCall call = s.Invoke(c.Ru, args, given);
        TProblems p;
        const std::u16string message = f.CountFirst ? u"Incorrect Params count: " + Utf16(std::to_string(given)) +
                                                          u"; Must be: " + Utf16(std::to_string(c.Count))
                                                    : NoDriverMessage;
        p.Expect(!call.Result && RetUntouched(call), "call answered true or RetValue written");
        CheckArgsUntouched(p, call, args, {});
        std::vector<std::u16string> log = FindLines(c.Index);
        if (c.NoDriver != TNoDriver::OwnDocument && c.NoDriver != TNoDriver::Reported) log.push_back(TraceLine(c, given));
        if (f.Attempt) log.push_back(cause);
        if (f.Reported) {
            p.Expect(call.Errors.size() == 1 && call.Errors[0].descr == message,
                     "no error report with \"" + Utf8(message) + "\"" +
                         (call.Errors.empty() ? std::string() : ", got \"" + Utf8(call.Errors[0].descr) + "\""));
        } else {
            p.Expect(call.Errors.empty(), "host received an error report");
            log.push_back(E(message));
        }
        CompareLog(p, call.Log, log);
        s.C.Check(p.List.empty(),
                  Utf8(c.En) + " with " + std::to_string(given) + " of " + std::to_string(c.Count) +
                      " arguments, no driver: \"" + Utf8(message) + "\" " + (f.Reported ? "reported" : "logged"),
                  p.Text());
        s.Release(call);
    }
}

int RunMissing(TCheckList& C, THostLibrary& lib, const std::wstring& fakeDriver) {
    const std::vector<TCase> table = MethodTable();
    C.Section("no fiscal driver registered");
    RunRegsvr32(fakeDriver, true);
    C.Check(!DriverClassRegistered(), "the driver's class is not registered");

    THostSession host;
    TLogReader log;
    TJournal journal(L"fakedriver-journal-missing.txt");
    ResetDriverEnv();
    {
        TSession s(C, lib, host, log, journal);
        if (s.Create("object")) {
            CheckNames(C, s, table);
            C.Section("every method by both names, without a driver");
            for (const TCase& c : table) {
                CheckMissingCall(s, c, c.En);
                CheckMissingCall(s, c, c.Ru);
            }
            CheckMissingTooFew(s, table);
            s.Destroy("object");
        }
    }
    return 0;
}

int Run(const std::vector<std::wstring>& args) {
    if (args.size() != 3 || (args[2] != L"installed" && args[2] != L"missing")) {
        Say("usage: hostsim product <KelmorTarvik1CNative.dll> <fakedriver.dll> installed|missing\n");
        return 2;
    }
    // The host's thread: COM initialised as a single-threaded apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TCheckList C;
    C.Check(SUCCEEDED(com), "the host initialises COM on its thread");
    {
        THostLibrary lib;
        C.Section("loading the product");
        if (!C.Check(lib.Load(args[0]), "LoadLibraryW and the three exports of " + Utf8(args[0]), lib.Error())) {
            CoUninitialize();
            return C.Summary();
        }
        const std::vector<std::u16string> classes = lib.ClassNames();
        C.Check(classes.size() == 1 && classes[0] == ClassName, "GetClassNames gives KelmorTarvik1C4");
        if (args[2] == L"installed")
            RunInstalled(C, lib, args[1]);
        else
            RunMissing(C, lib, args[1]);
        lib.Unload();
    }
    CoUninitialize();
    return C.Summary();
}

const hostsim::THostMode Mode("product",
                              "<KelmorTarvik1CNative.dll> <fakedriver.dll> installed|missing   end-to-end checks",
                              &Run);

}  // namespace
