// hostsim demo <KelmorTarvik1CNative.dll> <fakedriver.dll> installed|missing
//
// A short till session played by the host against the product DLL, printed
// call by call: what the host passed, what the call and the driver answered,
// the out-arguments, and what reached the driver. Then the lines the add-in
// wrote into its log (e:\lll.txt, code page 1251) during the session.
//   installed  the fiscal driver's test double is registered with regsvr32
//              as the installed driver (and unregistered at the end)
//   missing    no driver: the component's own description and its failures
// Exit code 0 when the session went as a host expects it to.
#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "tests/wine/hostsim/hostlib.h"
#include "tests/wine/hostsim/product_support.h"

namespace {

using namespace hostsim;
using namespace hostsim::product;

// --- Printing -----------------------------------------------------------------------

// Continuation lines of a multi-line text, indented under the first one.
std::string Indent(const std::string& text, size_t width) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        out += c;
        if (c == '\n') out += std::string(width, ' ');
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\n')) out.pop_back();
    return out;
}

std::string Value(const V8Variant& v) {
    switch (v.vt) {
        case VTYPE_PWSTR: {
            std::u16string text = fakehost::ReadWString(v);
            const bool crlf = text.size() >= 2 && text.compare(text.size() - 2, 2, u"\r\n") == 0;
            if (crlf) text.resize(text.size() - 2);
            return "\"" + Utf8(text) + "\"" + (crlf ? " (and CR LF)" : "");
        }
        case VTYPE_EMPTY: return "(not written)";
        case VTYPE_BOOL: return v.VarEnum.bVal ? "true" : "false";
        case VTYPE_I4: return std::to_string(v.VarEnum.lVal);
        case VTYPE_R8: {
            char buf[64];
            snprintf(buf, sizeof buf, "%.2f", v.VarEnum.dblVal);
            return buf;
        }
        default: return Describe(v);
    }
}

// A journal line of the double, readable: operation(arguments) fv=N.
std::string DriverCall(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        size_t end = line.find('\t', start);
        fields.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    std::string out = fields[0] + "(", version;
    bool first = true;
    for (size_t i = 1; i < fields.size(); ++i) {
        std::string f = fields[i];
        if (f.compare(0, 3, "fv=") == 0) {
            version = f.substr(3);
            continue;
        }
        if (!f.empty() && f[0] == '#') f = "<" + f.substr(1, f.find(':') - 1) + " characters>";
        if (f.compare(0, 4, "out:") == 0) f = "out";
        if (f.compare(0, 3, "vb:") == 0) f = f == "vb:0" ? "False" : "True";
        if (f.compare(0, 2, "i:") == 0 || f.compare(0, 2, "d:") == 0) f = f.substr(2);
        if (f.compare(0, 3, "v8:") == 0) f = f.substr(3);
        out += (first ? "" : ", ") + f;
        first = false;
    }
    return out + ")" + (version.empty() ? "" : "  [format version " + version + "]");
}

// --- The session ----------------------------------------------------------------------

struct TParam {
    std::u16string Name;  // the argument's name in the host's documentation
    V8Variant Value;
    bool Out;
};

class TTill {
public:
    TTill(THostLibrary& lib, THostSession& host, TJournal& journal) : Lib(lib), Host(host), Journal(journal), Obj(lib) {
        Errors.Skip();
    }

    THostLibrary& Lib;
    THostSession& Host;
    TJournal& Journal;
    THostObject Obj;
    TLogReader Errors;  // the add-in's error lines, shown with each call
    int Step = 0;

    bool Create() {
        const int32_t made = Obj.Create(u"KelmorTarvik1C4");
        const bool ok = made == 1 && Obj.Valid() && Obj.Init(Host.Connection.Connection()) &&
                        Obj.SetMemManager(Host.Memory.Manager());
        Say("host: GetClassObject(\"KelmorTarvik1C4\") -> %d, Init, SetMemManager -> %s; %d methods\n", made,
            ok ? "ok" : "FAILED", ok ? Obj.GetNMethods() : 0);
        Say("host: (the add-in switches its log on when the host first asks for a method's name)\n");
        return ok;
    }

    // Calls a method by its Russian name and prints the call. Answers the
    // call's result; the values stay in params for the caller.
    bool Call(const std::u16string& russian, std::vector<TParam>& params, V8Variant& ret,
              const std::vector<std::pair<std::wstring, std::u16string>>& steering = {}) {
        const int32_t index = Obj.FindMethod(russian);
        const std::u16string english = index >= 0 ? Obj.GetMethodName(index, 0) : u"?";
        Say("\n%d. %s (%s)\n", ++Step, Utf8(russian).c_str(), Utf8(english).c_str());
        for (const TParam& p : params)
            if (!p.Out) Say("   in   %s = %s\n", Utf8(p.Name).c_str(), Indent(Value(p.Value), 10 + p.Name.size()).c_str());
        std::vector<V8Variant> values;
        for (const TParam& p : params) values.push_back(p.Value);
        ret = fakehost::Empty();
        Journal.Skip();
        Host.Connection.ClearErrors();
        bool result = false;
        {
            TDriverEnv env(steering);
            result = index >= 0 && Obj.CallAsFunc(index, ret, values.empty() ? nullptr : values.data(),
                                                  static_cast<int32_t>(values.size()));
        }
        for (size_t i = 0; i < params.size(); ++i) params[i].Value = values[i];
        Say("   ->   call %s, RetValue %s\n", result ? "true" : "false",
            ret.vt == VTYPE_EMPTY ? "not set" : Value(ret).c_str());
        for (const TParam& p : params)
            if (p.Out) Say("   out  %s = %s\n", Utf8(p.Name).c_str(), Indent(Value(p.Value), 10 + p.Name.size()).c_str());
        for (const TLogEntry& e : Errors.ReadNew())
            if (e.Text.compare(0, 8, u"[ERROR] ") == 0) Say("   log  %s\n", Utf8(e.Text).c_str());
        for (const auto& e : Host.Connection.Errors())
            Say("   host error report: %u \"%s\": %s\n", e.wcode, Utf8(e.source).c_str(), Utf8(e.descr).c_str());
        for (const std::string& line : Journal.ReadNew()) {
            const std::string op = JournalOperation(line);
            if (op.find(' ') == std::string::npos) Say("   driver got %s\n", DriverCall(line).c_str());
            if (op.compare(0, 16, "PropertyGet main") == 0) Say("   driver's main control asked for DriverVersion\n");
        }
        return result;
    }

    void Release(std::vector<TParam>& params, V8Variant& ret) {
        for (TParam& p : params) Host.Release(p.Value);
        Host.Release(ret);
    }
};

TParam In(THostSession& host, const std::u16string& name, const std::u16string& text) {
    return TParam{name, host.Text(text), false};
}
TParam InValue(const std::u16string& name, const V8Variant& v) { return TParam{name, v, false}; }
TParam Out(const std::u16string& name) { return TParam{name, fakehost::Empty(), true}; }

const std::u16string Connection =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Settings><Parameter Name=\"Порт\" Value=\"COM3\"/>"
    u"<Parameter Name=\"Скорость\" Value=\"115200\"/></Settings>";
const std::u16string Cashier =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><InputParameters><Parameters CashierName=\"Иванова Мария\" "
    u"CashierINN=\"771234567890\"/></InputParameters>";
const std::u16string Receipt =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><CheckPackage><Parameters CashierName=\"Иванова Мария\" "
    u"OperationType=\"1\" TaxationSystem=\"0\"/><Positions><FiscalString Name=\"Молоко «Домик в деревне» 3,2%\" "
    u"Quantity=\"2\" PriceWithDiscount=\"89.90\" AmountWithDiscount=\"179.80\" VATRate=\"10\"/><FiscalString "
    u"Name=\"Хлеб «Бородинский»\" Quantity=\"1\" PriceWithDiscount=\"54.00\" AmountWithDiscount=\"54.00\" "
    u"VATRate=\"10\"/></Positions><Payments Cash=\"233.80\" ElectronicPayment=\"0\"/></CheckPackage>";

void PrintLog(TLogReader& log, const char* title) {
    Say("\n== %s: the add-in's log lines (e:\\lll.txt, decoded from code page 1251)\n", title);
    for (const TLogEntry& e : log.ReadNew()) Say("%s%s\n", e.Header.c_str(), Utf8(e.Text).c_str());
}

int Installed(THostLibrary& lib, const std::wstring& fakeDriver) {
    int problems = 0;
    const int rc = RunRegsvr32(fakeDriver, false);
    Say("host: regsvr32 %s -> %d (the fiscal driver's test double is the installed driver)\n",
        Utf8(fakeDriver).c_str(), rc);
    if (rc != 0 || !DriverClassRegistered()) return 1;
    THostSession host;
    TLogReader log;
    log.Skip();
    TJournal journal(L"demo-journal.txt");
    ResetDriverEnv();
    {
        TTill till(lib, host, journal);
        if (!till.Create()) return 1;
        V8Variant ret;
        auto expect = [&](bool ok) {
            if (!ok) ++problems;
        };

        std::vector<TParam> p = {Out(u"ОписаниеДрайвера")};
        expect(till.Call(u"ПолучитьОписание", p, ret, {{L"VERSION", u"3.2.14.5512"}}));
        till.Release(p, ret);

        p = {Out(u"ТаблицаПараметров")};
        expect(till.Call(u"ПолучитьПараметры", p, ret,
                         {{L"OUT", u"<Settings><Parameter Name=\"Port\" Caption=\"Порт\" DefaultValue=\"COM1\"/>"
                                   u"</Settings>"}}));
        till.Release(p, ret);

        p = {In(host, u"Имя", u"Port"), InValue(u"Значение", fakehost::I4(3))};
        expect(till.Call(u"УстановитьПараметр", p, ret));
        till.Release(p, ret);

        p = {Out(u"ИДУстройства"), In(host, u"ТипОборудования", u"ККТ"), In(host, u"ПараметрыПодключения", Connection)};
        expect(till.Call(u"ПодключитьОборудование", p, ret, {{L"OUT", u"ККТ-001"}}));
        const std::u16string device = fakehost::ReadWString(p[0].Value);
        till.Release(p, ret);

        p = {In(host, u"ИДУстройства", device), In(host, u"ВходныеПараметры", Cashier), Out(u"ВыходныеПараметры")};
        expect(till.Call(u"ОткрытьСмену", p, ret,
                         {{L"OUT", u"<OutputParameters><Parameters ShiftNumber=\"12\" ShiftState=\"2\"/>"
                                   u"</OutputParameters>"}}));
        till.Release(p, ret);

        p = {In(host, u"ИДУстройства", device), InValue(u"Электронно", fakehost::Bool(false)),
             In(host, u"ПакетЧека", Receipt), Out(u"ВыходныеПараметры")};
        expect(till.Call(u"СформироватьЧек", p, ret,
                         {{L"OUT", u"<DocumentOutputParameters><Parameters ShiftNumber=\"12\" CheckNumber=\"38\" "
                                   u"FiscalSign=\"1180937251\" Cashier=\"Иванова Мария\"/></DocumentOutputParameters>"}}));
        till.Release(p, ret);

        p = {In(host, u"ИДУстройства", device), In(host, u"ВходныеПараметры", Cashier)};
        expect(till.Call(u"НапечататьОтчетБезГашения", p, ret));
        till.Release(p, ret);

        p = {In(host, u"ИДУстройства", device), In(host, u"ВходныеПараметры", Cashier), Out(u"ВыходныеПараметры")};
        expect(till.Call(u"ЗакрытьСмену", p, ret,
                         {{L"OUT", u"<OutputParameters><Parameters ShiftNumber=\"12\" ShiftState=\"1\"/>"
                                   u"</OutputParameters>"}}));
        till.Release(p, ret);

        p = {In(host, u"ИДУстройства", device)};
        expect(till.Call(u"ОтключитьОборудование", p, ret));
        till.Release(p, ret);

        Say("\nhost: DestroyObject -> %d\n", till.Obj.Destroy());
    }
    Say("host: memory blocks still live %lu\n", static_cast<unsigned long>(host.Memory.LiveBlocks()));
    if (host.Memory.LiveBlocks() != 0) ++problems;
    PrintLog(log, "with the driver");
    const int un = RunRegsvr32(fakeDriver, true);
    Say("\nhost: regsvr32 /u %s -> %d\n", Utf8(fakeDriver).c_str(), un);
    return problems;
}

int Missing(THostLibrary& lib, const std::wstring& fakeDriver) {
    int problems = 0;
    RunRegsvr32(fakeDriver, true);
    Say("host: no fiscal driver registered (%s)\n", DriverClassRegistered() ? "STILL REGISTERED" : "class not found");
    if (DriverClassRegistered()) return 1;
    THostSession host;
    TLogReader log;
    log.Skip();
    TJournal journal(L"demo-journal-missing.txt");
    ResetDriverEnv();
    {
        TTill till(lib, host, journal);
        if (!till.Create()) return 1;
        V8Variant ret;

        std::vector<TParam> p = {Out(u"ОписаниеДрайвера")};
        if (!till.Call(u"ПолучитьОписание", p, ret)) ++problems;
        till.Release(p, ret);

        p = {Out(u"ИДУстройства"), In(host, u"ТипОборудования", u"ККТ"), In(host, u"ПараметрыПодключения", Connection)};
        if (till.Call(u"ПодключитьОборудование", p, ret)) ++problems;
        till.Release(p, ret);

        p = {In(host, u"ИДУстройства", u"ККТ-001"), InValue(u"Электронно", fakehost::Bool(false)),
             In(host, u"ПакетЧека", Receipt), Out(u"ВыходныеПараметры")};
        if (till.Call(u"СформироватьЧек", p, ret)) ++problems;
        till.Release(p, ret);

        p = {};
        if (till.Call(u"ПолучитьРевизиюИнтерфейса", p, ret)) ++problems;
        if (host.Connection.Errors().empty()) ++problems;
        till.Release(p, ret);

        Say("\nhost: DestroyObject -> %d\n", till.Obj.Destroy());
    }
    Say("host: memory blocks still live %lu\n", static_cast<unsigned long>(host.Memory.LiveBlocks()));
    if (host.Memory.LiveBlocks() != 0) ++problems;
    PrintLog(log, "without a driver");
    return problems;
}

int Run(const std::vector<std::wstring>& args) {
    if (args.size() != 3 || (args[2] != L"installed" && args[2] != L"missing")) {
        Say("usage: hostsim demo <KelmorTarvik1CNative.dll> <fakedriver.dll> installed|missing\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int problems = 0;
    {
        THostLibrary lib;
        if (!lib.Load(args[0])) {
            Say("host: %s\n", lib.Error().c_str());
            CoUninitialize();
            return 1;
        }
        Say("host: LoadLibraryW(%s), GetClassNames -> \"%s\"\n", Utf8(args[0]).c_str(),
            Utf8(lib.GetClassNames()).c_str());
        problems = args[2] == L"installed" ? Installed(lib, args[1]) : Missing(lib, args[1]);
        lib.Unload();
    }
    CoUninitialize();
    if (problems == 0)
        Say("\nhost: the session went as expected\n");
    else
        Say("\nhost: %d unexpected answer(s)\n", problems);
    return problems == 0 ? 0 : 1;
}

const hostsim::THostMode Mode("demo", "<KelmorTarvik1CNative.dll> <fakedriver.dll> installed|missing   a till session",
                              &Run);

}  // namespace
