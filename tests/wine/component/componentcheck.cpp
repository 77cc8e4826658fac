// componentcheck.exe <product.dll>: the fiscal equipment component on Windows.
//  - the description document built through MSXML and read back by MSXML;
//  - the two-language version resource (linked into this program too) and
//    the file version the library reads from its own module;
//  - the product DLL as the host drives it: its class and 37 methods, the
//    own description without a driver, the failures without a driver, and
//    the adapter's description and a receipt with the driver's test double
//    (fakedriver.dll from the same folder) registered.
// Prints PASS/FAIL lines and "SUMMARY: N passed, N failed".
#include <windows.h>
#include <oleauto.h>
#include <msxml2.h>

#include <string>
#include <utility>
#include <vector>

#include "driver/description.h"
#include "driver/versioninfo.h"
#include "platform/failure.h"
#include "platform/platform.h"
#include "tests/wine/hostsim/hostlib.h"

namespace {

using hostsim::TCheckList;
using hostsim::Utf8;
using TAttributes = std::vector<std::pair<std::u16string, std::u16string>>;

const CLSID ClsidDomDocument60 = {0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
const IID IidXmlDomDocument = {0x2933bf81, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

const std::u16string ProductName = u"Pellmar / Kelmor: Tarvik с передачей данных в ОФД 4.7 (ФФД 1.2)";
const std::u16string DownloadURL =
    u"https://kelmor.example/support/download/?section_id=76&product_id=all&type_id=156";

TAttributes Expected(const std::u16string& installed, const std::u16string& driverVersion,
                     const std::u16string& componentVersion) {
    return {{u"Name", ProductName},
            {u"Description", ProductName},
            {u"EquipmentType", u"KKT"},
            {u"IntegrationComponent", u"true"},
            {u"MainDriverInstalled", installed},
            {u"DriverVersion", driverVersion},
            {u"IntegrationComponentVersion", componentVersion},
            {u"DownloadURL", DownloadURL},
            {u"LogIsEnabled", u"true"},
            {u"LogPath", u""}};
}

std::u16string FromBstr(BSTR b) {
    return b ? std::u16string(reinterpret_cast<const char16_t*>(b), SysStringLen(b)) : std::u16string();
}

// Parses a document with MSXML; the root's name and attributes in order.
bool ParseWithMsxml(const std::u16string& xml, std::u16string& root, TAttributes& attributes) {
    IXMLDOMDocument* doc = nullptr;
    if (FAILED(CoCreateInstance(ClsidDomDocument60, nullptr, CLSCTX_INPROC_SERVER, IidXmlDomDocument,
                                reinterpret_cast<void**>(&doc))))
        return false;
    bool ok = false;
    BSTR text = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(xml.data()), static_cast<UINT>(xml.size()));
    VARIANT_BOOL loaded = VARIANT_FALSE;
    IXMLDOMElement* element = nullptr;
    IXMLDOMNamedNodeMap* map = nullptr;
    if (SUCCEEDED(doc->loadXML(text, &loaded)) && loaded == VARIANT_TRUE &&
        SUCCEEDED(doc->get_documentElement(&element)) && element && SUCCEEDED(element->get_attributes(&map)) && map) {
        BSTR name = nullptr;
        element->get_tagName(&name);
        root = FromBstr(name);
        SysFreeString(name);
        long count = 0;
        map->get_length(&count);
        ok = true;
        for (long i = 0; i < count; ++i) {
            IXMLDOMNode* node = nullptr;
            if (FAILED(map->get_item(i, &node)) || !node) {
                ok = false;
                break;
            }
            BSTR n = nullptr;
            VARIANT v;
            VariantInit(&v);
            node->get_nodeName(&n);
            node->get_nodeValue(&v);
            attributes.emplace_back(FromBstr(n), v.vt == VT_BSTR ? FromBstr(v.bstrVal) : u"<not text>");
            SysFreeString(n);
            VariantClear(&v);
            node->Release();
        }
        map->Release();
    }
    if (element) element->Release();
    SysFreeString(text);
    doc->Release();
    return ok;
}

std::string Show(const TAttributes& a) {
    std::string s;
    for (const auto& p : a) s += Utf8(p.first) + "=\"" + Utf8(p.second) + "\" ";
    return s;
}

bool EveryLineEndsWithCrLf(const std::u16string& t) {
    if (t.size() < 2 || t.compare(t.size() - 2, 2, u"\r\n") != 0) return false;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == u'\r' && (i + 1 >= t.size() || t[i + 1] != u'\n')) return false;
        if (t[i] == u'\n' && (i == 0 || t[i - 1] != u'\r')) return false;
    }
    return true;
}

void CheckDocument(TCheckList& c, const std::u16string& text, const TAttributes& expected, const std::string& what) {
    std::u16string root;
    TAttributes attributes;
    c.Check(ParseWithMsxml(text, root, attributes), what + ": MSXML parses it", Utf8(text));
    c.Equal(root, u"DriverDescription", what + ": root element");
    c.Check(attributes == expected, what + ": the ten attributes in order", Show(attributes));
    c.Check(text.find(u"&amp;product_id") != std::u16string::npos, what + ": ampersands escaped in the text");
    c.Check(text.rfind(u"<?xml version=\"1.0\"", 0) == 0, what + ": starts with the declaration", Utf8(text));
    c.Check(EveryLineEndsWithCrLf(text), what + ": every line ends with CR LF");
}

// --- MSXML builder ---------------------------------------------------------------

void CheckBuilder(TCheckList& c) {
    c.Section("description document through MSXML");
    try {
        CheckDocument(c, BuildDriverDescription(false, u"1.0", u"4007"), Expected(u"false", u"1.0", u"4007"),
                      "own document");
        const std::u16string tricky = u"<a b=\"c\">&amp; 'd' Ё";
        std::u16string root;
        TAttributes attributes;
        const std::u16string xml = platform::BuildXmlDocument(u"Root", {{u"V", tricky}, {u"Empty", u""}});
        c.Check(ParseWithMsxml(xml, root, attributes) && root == u"Root" &&
                    attributes == TAttributes{{u"V", tricky}, {u"Empty", u""}},
                "markup characters survive the round trip", Utf8(xml));
    } catch (const EFailure& e) {
        c.Check(false, "the document could be built", Utf8(e.Message()));
    }
}

// --- Version resource --------------------------------------------------------------

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
    return TRUE;
}

std::u16string VersionOfLanguage(HMODULE module, WORD language) {
    HRSRC info = FindResourceExW(module, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), language);
    if (!info) return u"<none>";
    HGLOBAL loaded = LoadResource(module, info);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return u"<not loaded>";
    return ModuleVersionText(ModuleVersionFromBlock(static_cast<const uint8_t*>(data), SizeofResource(module, info)));
}

void CheckVersionResource(TCheckList& c, HMODULE module, const std::string& what) {
    std::vector<WORD> languages;
    EnumResourceLanguagesW(module, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), &CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    c.Equal(static_cast<int64_t>(languages.size()), 2, what + ": version resource in two languages");
    c.Equal(VersionOfLanguage(module, MAKELANGID(LANG_RUSSIAN, SUBLANG_RUSSIAN_RUSSIA)), u"5.25.0.2133",
            what + ": Russian file version");
    c.Equal(VersionOfLanguage(module, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)), u"1.0.0.0",
            what + ": English file version");
}

// The version the system's choice of resource language gives.
std::u16string ChosenVersion(HMODULE module) {
    HRSRC info = FindResourceW(module, L"#1", MAKEINTRESOURCEW(16));
    if (!info) return u"0.0.0.0";
    HGLOBAL loaded = LoadResource(module, info);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    return data ? ModuleVersionText(ModuleVersionFromBlock(static_cast<const uint8_t*>(data), SizeofResource(module, info)))
                : u"0.0.0.0";
}

void CheckOwnVersion(TCheckList& c) {
    c.Section("file version of the own module");
    HMODULE self = GetModuleHandleW(nullptr);
    CheckVersionResource(c, self, "this program");
    c.Equal(GetModuleVersionText(), ChosenVersion(self), "GetModuleVersionText reads the resource the system picks");
    if (PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_RUSSIAN)
        c.Equal(GetModuleVersionText(), u"5.25.0.2133", "a Russian user gets the Russian version");
}

// --- The product DLL ----------------------------------------------------------------

HMODULE GDouble = nullptr;

HRESULT CallDouble(const char* name) {
    auto fn = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(GDouble, name)));
    return fn ? fn() : E_NOTIMPL;
}

std::u16string Text(const V8Variant& v) { return fakehost::ReadWString(v); }

void CheckProductWithoutDriver(TCheckList& c, hostsim::THostLibrary& lib) {
    c.Section("product without the fiscal driver");
    const std::vector<std::u16string> classes = lib.ClassNames();
    c.Check(classes == std::vector<std::u16string>{u"KelmorTarvik1C4"}, "GetClassNames gives KelmorTarvik1C4");
    hostsim::THostSession host;
    hostsim::THostObject obj(lib);
    c.Equal(obj.Create(u"KelmorTarvik1C4"), 1, "GetClassObject");
    if (!obj.Valid()) return;
    obj.Init(host.Connection.Connection());
    obj.SetMemManager(host.Memory.Manager());
    c.Equal(obj.GetNMethods(), 37, "GetNMethods");
    c.Equal(obj.FindMethod(u"ConfirmKM"), 36, "FindMethod(ConfirmKM)");
    c.Equal(obj.FindMethod(u"ПолучитьРевизиюИнтерфейса"), 0, "FindMethod(ПолучитьРевизиюИнтерфейса)");
    c.Equal(obj.GetNParams(17), 5, "GetNParams(EquipmentAutoSetup)");

    V8Variant ret = fakehost::Empty();
    std::vector<V8Variant> args = {host.Text(u"host")};
    bool answer = obj.CallByName(u"ПолучитьОписание", ret, args);
    c.Check(answer && ret.vt == VTYPE_BOOL && ret.VarEnum.bVal == 1, "GetDescription answers true", hostsim::Describe(ret));
    CheckDocument(c, Text(args[0]), Expected(u"false", u"1.0", u"4007"), "own description from the DLL");
    c.Equal(static_cast<int64_t>(host.Connection.Errors().size()), 0, "no error report");
    host.Release(args);
    host.Release(ret);

    args = {host.Text(u"dev"), fakehost::Bool(true), host.Text(u"<check/>"), host.Text(u"out")};
    answer = obj.CallByName(u"ProcessCheck", ret, args);
    c.Check(!answer && ret.vt == VTYPE_EMPTY && Text(args[3]) == u"out" && host.Connection.Errors().empty(),
            "ProcessCheck fails inside the component, quietly");
    host.Release(args);

    args.clear();
    answer = obj.CallByName(u"GetInterfaceRevision", ret, args);
    c.Check(!answer && host.Connection.Errors().size() == 1 &&
                host.Connection.Errors()[0].descr == u"Объект драйвера не установлен",
            "GetInterfaceRevision is reported to the host");
    host.Connection.ClearErrors();
    obj.Destroy();
    c.Equal(static_cast<int64_t>(host.Memory.LiveBlocks()), 0, "no host memory left behind");
}

void CheckProductWithDriver(TCheckList& c, hostsim::THostLibrary& lib, const std::u16string& productVersion) {
    c.Section("product with the fiscal driver's test double");
    hostsim::THostSession host;
    hostsim::THostObject obj(lib);
    if (obj.Create(u"KelmorTarvik1C4") != 1 || !obj.Valid()) {
        c.Check(false, "GetClassObject");
        return;
    }
    obj.Init(host.Connection.Connection());
    obj.SetMemManager(host.Memory.Manager());

    V8Variant ret = fakehost::Empty();
    std::vector<V8Variant> args = {host.Text(u"host")};
    bool answer = obj.CallByName(u"GetDescription", ret, args);
    c.Check(answer && ret.vt == VTYPE_BOOL && ret.VarEnum.bVal == 1, "GetDescription answers true");
    CheckDocument(c, Text(args[0]), Expected(u"true", u"3.0.1.17", productVersion), "adapter's description");
    host.Release(args);

    args = {host.Text(u"dev-1"), fakehost::Bool(true), host.Text(u"<check/>"), host.Text(u"out")};
    answer = obj.CallByName(u"СформироватьЧек", ret, args);
    c.Check(answer && ret.vt == VTYPE_BOOL && ret.VarEnum.bVal == 1, "ProcessCheck goes through",
            hostsim::Describe(ret));
    c.Check(Text(args[3]) != u"out" && !Text(args[3]).empty(), "ProcessCheck writes the driver's output",
            Utf8(Text(args[3])));
    host.Release(args);

    args = {host.Text(u"out"), host.Text(u"ККТ"), host.Text(u"<conn/>")};
    answer = obj.CallByName(u"ConnectEquipment", ret, args);
    c.Check(answer && ret.vt == VTYPE_BOOL && ret.VarEnum.bVal == 1 && Text(args[0]) != u"out",
            "ConnectEquipment answers the driver's device id", Utf8(Text(args[0])));
    host.Release(args);
    host.Release(ret);
    c.Equal(static_cast<int64_t>(host.Connection.Errors().size()), 0, "no error report");
    obj.Destroy();
    c.Equal(static_cast<int64_t>(host.Memory.LiveBlocks()), 0, "no host memory left behind");
}

std::wstring BesideUs(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L"\\/") + 1) + name;
}

}  // namespace

int main() {
    SetConsoleOutputCP(CP_UTF8);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    TCheckList c;
    // The host's part: COM on this thread.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        c.Check(false, "CoInitializeEx");
        return c.Summary();
    }
    CheckBuilder(c);
    CheckOwnVersion(c);

    hostsim::THostLibrary lib;
    if (!lib.Load(BesideUs(L"KelmorTarvik1CNative.dll"))) {
        c.Check(false, "the product DLL loads", lib.Error());
    } else {
        c.Section("product DLL");
        CheckVersionResource(c, lib.Module(), "product DLL");
        const std::u16string productVersion = ChosenVersion(lib.Module());
        CheckProductWithoutDriver(c, lib);
        GDouble = LoadLibraryW(BesideUs(L"fakedriver.dll").c_str());
        if (!GDouble || FAILED(CallDouble("DllRegisterServer"))) {
            c.Check(false, "fakedriver.dll loads and registers");
        } else {
            CheckProductWithDriver(c, lib, productVersion);
            CallDouble("DllUnregisterServer");
        }
    }
    lib.Unload();
    if (GDouble) FreeLibrary(GDouble);
    CoUninitialize();
    return c.Summary();
}
