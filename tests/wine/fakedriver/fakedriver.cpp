// A stand-in for the fiscal driver: an in-process COM server offering the
// driver object and the main control. It does no device work. Every call it
// receives is appended to a journal file, and it answers as the environment
// of the calling process tells it, read anew at each call:
//
//   KELMOR_FAKEDRIVER_JOURNAL         path of the journal (UTF-8 lines); unset: no journal
//   KELMOR_FAKEDRIVER_FAIL            operation names, separated by commas (or "*"), that fail
//   KELMOR_FAKEDRIVER_FAIL_HR         its HRESULT in hex (default 80004005)
//   KELMOR_FAKEDRIVER_FAIL_TEXT       when set, the description left in the thread's error object
//   KELMOR_FAKEDRIVER_ANSWER          raw VARIANT_BOOL answered by the operations (default -1)
//   KELMOR_FAKEDRIVER_OUT             text of every out-argument (default "<Operation>.<n> ответ")
//   KELMOR_FAKEDRIVER_OUT_REPEAT      that text repeated so many times (default 1)
//   KELMOR_FAKEDRIVER_REVISION        the interface revision (default 3012)
//   KELMOR_FAKEDRIVER_HIDE_INTERFACE  "1": the driver object does not offer ITarvik1C30
//   KELMOR_FAKEDRIVER_PROPERTY_FAIL   "exception", or an HRESULT in hex: kelmor_FormatVersion refused
//   KELMOR_FAKEDRIVER_PROPERTY_TEXT   description of that exception
//   KELMOR_FAKEDRIVER_PROPERTY_TYPE   "bstr": kelmor_FormatVersion is answered as text
//   KELMOR_FAKEDRIVER_VERSION         DriverVersion of the main control (default "3.0.1.17")
//   KELMOR_FAKEDRIVER_VERSION_FAIL    "1": reading DriverVersion fails with an exception
//   KELMOR_FAKEDRIVER_REFUSE_CREATE   "driver", "main" or "both": creation fails with E_FAIL
//   KELMOR_FAKEDRIVER_REFUSE_CODE     an HRESULT in hex: that refusal's code instead of E_FAIL
//   KELMOR_FAKEDRIVER_REFUSE_TEXT     when set, the description a refused creation leaves in the
//                                     thread's error object
//   KELMOR_FAKEDRIVER_QUICK           "1" when an object is created: that object answers at once,
//                                     for benchmarks: no journal, no environment read per call,
//                                     every operation true, every out-argument QuickOutText
//
// Journal lines: the operation, its arguments and "fv=<format version>",
// separated by tabs. In-texts are quoted (longer than 200 characters:
// "#<length>:<FNV-1a of the UTF-16 bytes>"), out-arguments show what arrived,
// VARIANT_BOOL as vb:<raw>, long as i:<n>, double as d:<%.17g>, VARIANT as
// v<vt>:<value>. Object events: Create, SetClientSite, InitNew, Close,
// Release final, property reads and writes.
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fakedriver_slots.h"

namespace {
class TFakeControl;
}

// The dual interface as handed out: the slot table and the object behind it.
struct TDualObject {
    const TDriverSlots* Slots;
    TFakeControl* Owner;
};

namespace {

HINSTANCE GModule = nullptr;
LONG GLiveObjects = 0;
LONG GServerLocks = 0;

const wchar_t* const DriverClassText = L"{32D32C7A-CEF9-4AC5-8953-3D6DF81ABBD6}";
const wchar_t* const DriverInterfaceText = L"{E390D34B-02C3-46C8-803C-DB8131AC5331}";
const wchar_t* const MainClassText = L"{E187099F-8C5C-4723-8866-D8DBB6353ADE}";
const DISPID FormatVersionId = 217;
const DISPID DriverVersionId = 1932;

GUID ParseGuid(const wchar_t* text) {
    GUID g = {};
    ::CLSIDFromString(text, &g);
    return g;
}

// --- Environment and journal ------------------------------------------------

std::wstring Env(const wchar_t* name) {
    DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return std::wstring();
    std::wstring value(size, L'\0');
    DWORD n = ::GetEnvironmentVariableW(name, &value[0], size);
    value.resize(n < size ? n : 0);
    return value;
}

bool EnvSet(const wchar_t* name) { return ::GetEnvironmentVariableW(name, nullptr, 0) != 0; }

long EnvInt(const wchar_t* name, long fallback, int base = 10) {
    std::wstring v = Env(name);
    if (v.empty()) return fallback;
    return static_cast<long>(wcstoul(v.c_str(), nullptr, base));
}

std::string Utf8(const wchar_t* s, size_t n) {
    if (n == 0) return std::string();
    int size = ::WideCharToMultiByte(CP_UTF8, 0, s, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, s, static_cast<int>(n), &out[0], size, nullptr, nullptr);
    return out;
}

void Journal(const std::string& line) {
    std::wstring path = Env(L"KELMOR_FAKEDRIVER_JOURNAL");
    if (path.empty()) return;
    HANDLE h = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    std::string data = line + "\n";
    DWORD written = 0;
    ::WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    ::CloseHandle(h);
}

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\\': out += "\\\\"; break;
            default: out += c;
        }
    }
    return out;
}

std::string TextArg(BSTR b) {
    if (!b) return "null";
    UINT n = ::SysStringLen(b);
    if (n > 200) {
        uint32_t hash = 2166136261u;
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(b);
        for (UINT i = 0; i < n * 2; ++i) hash = (hash ^ bytes[i]) * 16777619u;
        char buf[48];
        snprintf(buf, sizeof buf, "#%u:%08x", n, hash);
        return buf;
    }
    return "\"" + Escape(Utf8(b, n)) + "\"";
}

std::string Number(const char* format, double v) {
    char buf[64];
    snprintf(buf, sizeof buf, format, v);
    return buf;
}

std::string VariantArg(const VARIANT& v) {
    std::string head = "v" + std::to_string(v.vt) + ":";
    switch (v.vt) {
        case VT_BSTR: return head + TextArg(v.bstrVal);
        case VT_I4: return head + std::to_string(v.lVal);
        case VT_R8: return head + Number("%.17g", v.dblVal);
        case VT_BOOL: return head + std::to_string(v.boolVal);
        default: return head + "?";
    }
}

// The thread's error object, as a failing driver leaves it for its caller.
void LeaveErrorObject(const std::wstring& description) {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(::CreateErrorInfo(&create))) return;
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    create->SetSource(const_cast<LPOLESTR>(L"FakeDriver"));
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
        ::SetErrorInfo(0, info);
        info->Release();
    }
    create->Release();
}

// Whether the operation is named in the comma-separated list, or the list is "*".
bool Failing(const std::wstring& list, const std::wstring& name) {
    if (list == L"*") return true;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(L',', start);
        if (end == std::wstring::npos) end = list.size();
        if (list.compare(start, end - start, name) == 0) return true;
        start = end + 1;
    }
    return false;
}

BSTR NewText(const std::wstring& s) { return ::SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }

// The out-argument of every operation of a quick object: a receipt's output
// parameters of a typical size.
const wchar_t* const QuickOutText =
    L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><OutputParameters><Parameters ShiftNumber=\"7\" "
    L"CheckNumber=\"12\" ShiftClosingCheckNumber=\"3\" AddressSiteInspections=\"www.nalog.gov.ru\" "
    L"FNError=\"false\" FNOverflow=\"false\" FNFail=\"false\" FiscalSign=\"2874416713\" "
    L"DateTime=\"2024-03-05T14:07:09\" Кассир=\"Иванова\"/></OutputParameters>";

// Every COM entry point of the double catches what it raises.
template <class F>
HRESULT Guard(F f) noexcept {
    try {
        return f();
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// --- The objects --------------------------------------------------------------

extern const TDriverSlots GDualSlots;

class TFakeControl final : public IOleObject, public IPersistStreamInit, public IOleControl {
public:
    TFakeControl(bool isDriver, bool quick) : FIsDriver(isDriver), FQuick(quick) {
        FDual.Slots = &GDualSlots;
        FDual.Owner = this;
        ::InterlockedIncrement(&GLiveObjects);
    }

    const char* Kind() const { return FIsDriver ? "driver" : "main"; }
    bool Quick() const { return FQuick; }
    LONG FormatVersion() const { return FFormatVersion; }
    void SetFormatVersion(LONG v) { FFormatVersion = v; }

    // IUnknown, shared by every interface of the object.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return Guard([&]() -> HRESULT {
            if (!object) return E_POINTER;
            *object = nullptr;
            if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleObject))
                *object = static_cast<IOleObject*>(this);
            else if (IsEqualIID(riid, IID_IPersistStreamInit) || IsEqualIID(riid, IID_IPersist))
                *object = static_cast<IPersistStreamInit*>(this);
            else if (IsEqualIID(riid, IID_IOleControl))
                *object = static_cast<IOleControl*>(this);
            else if (IsEqualIID(riid, IID_IDispatch))
                *object = &FDual;
            else if (FIsDriver && IsEqualIID(riid, ParseGuid(DriverInterfaceText))) {
                if (Env(L"KELMOR_FAKEDRIVER_HIDE_INTERFACE") == L"1") {
                    Journal("QueryInterface ITarvik1C30 refused");
                    return E_NOINTERFACE;
                }
                *object = &FDual;
            } else
                return E_NOINTERFACE;
            AddRef();
            return S_OK;
        });
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&FRefs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG refs = ::InterlockedDecrement(&FRefs);
        if (refs == 0) {
            Guard([&] {
                Journal(std::string("Release final ") + Kind());
                return S_OK;
            });
            delete this;
        }
        return static_cast<ULONG>(refs);
    }

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override {
        return Guard([&] {
            std::string note = "null";
            if (site) {
                site->AddRef();
                // The container's site must answer without failing us.
                IOleContainer* container = nullptr;
                HRESULT hr = site->GetContainer(&container);
                if (container) container->Release();
                note = "site (container " + std::string(SUCCEEDED(hr) ? "given" : "refused") + ")";
            }
            if (FSite) FSite->Release();
            FSite = site;
            Journal(std::string("SetClientSite ") + Kind() + " " + note);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override {
        if (!site) return E_POINTER;
        *site = FSite;
        if (FSite) FSite->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) override {
        return Guard([&] {
            Journal(std::string("Close ") + Kind() + " " + std::to_string(saveOption));
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** m) override {
        if (m) *m = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, WINBOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject** d) override {
        if (d) *d = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) override {
        return Guard([&] {
            Journal(std::string("DoVerb ") + Kind() + " " + std::to_string(verb));
            return E_NOTIMPL;
        });
    }
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** e) override {
        if (e) *e = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* id) override { return GetClassID(id); }
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR* t) override {
        if (t) *t = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD* c) override {
        if (c) *c = 0;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** e) override {
        if (e) *e = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override {
        if (!status) return E_POINTER;
        *status = OLEMISC_INVISIBLEATRUNTIME;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IPersistStreamInit
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override {
        if (!id) return E_POINTER;
        *id = ParseGuid(FIsDriver ? DriverClassText : MainClassText);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(LPSTREAM) override {
        return Guard([&] {
            Journal(std::string("Load ") + Kind());
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Save(LPSTREAM, WINBOOL) override {
        return Guard([&] {
            Journal(std::string("Save ") + Kind());
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitNew() override {
        return Guard([&] {
            Journal(std::string("InitNew ") + Kind());
            return S_OK;
        });
    }

    // IOleControl
    HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnMnemonic(MSG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FreezeEvents(WINBOOL) override { return S_OK; }

    // IDispatch::Invoke for the properties.
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep);

private:
    ~TFakeControl() {
        if (FSite) FSite->Release();
        ::InterlockedDecrement(&GLiveObjects);
    }
    HRESULT Refuse(EXCEPINFO* excep, const std::wstring& description);

    LONG FRefs = 1;
    bool FIsDriver;
    bool FQuick;
    LONG FFormatVersion = 10;  // the driver's own initial format version
    IOleClientSite* FSite = nullptr;
    TDualObject FDual;
};

HRESULT TFakeControl::Refuse(EXCEPINFO* excep, const std::wstring& description) {
    if (excep) {
        ZeroMemory(excep, sizeof(*excep));
        excep->bstrSource = NewText(L"FakeDriver");
        excep->bstrDescription = NewText(description);
        excep->scode = E_FAIL;
    }
    return DISP_E_EXCEPTION;
}

HRESULT TFakeControl::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* excep) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!params) return E_INVALIDARG;
    const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    if (FQuick && FIsDriver && id == FormatVersionId && put && params->cArgs == 1 && params->rgvarg[0].vt == VT_I4) {
        FFormatVersion = params->rgvarg[0].lVal;
        return S_OK;
    }
    std::string line = std::string(put ? "PropertyPut " : "PropertyGet ") + Kind() + " " + std::to_string(id) +
                       "\tlcid=" + std::to_string(lcid) + "\targs=" + std::to_string(params->cArgs) +
                       "\tnamed=" + std::to_string(params->cNamedArgs);
    if (put && params->cArgs == 1 && params->cNamedArgs == 1 && params->rgdispidNamedArgs)
        line += "\tname=" + std::to_string(params->rgdispidNamedArgs[0]) + "\t" + VariantArg(params->rgvarg[0]);
    Journal(line);

    if (FIsDriver && id == FormatVersionId) {
        std::wstring failure = Env(L"KELMOR_FAKEDRIVER_PROPERTY_FAIL");
        if (failure == L"exception") {
            std::wstring text = EnvSet(L"KELMOR_FAKEDRIVER_PROPERTY_TEXT") ? Env(L"KELMOR_FAKEDRIVER_PROPERTY_TEXT")
                                                                           : L"Формат не поддерживается.";
            return Refuse(excep, text);
        }
        if (!failure.empty()) return static_cast<HRESULT>(wcstoul(failure.c_str(), nullptr, 16));
        if (put) {
            if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
            if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTOPTIONAL;
            if (params->rgvarg[0].vt != VT_I4) return DISP_E_TYPEMISMATCH;
            FFormatVersion = params->rgvarg[0].lVal;
            return S_OK;
        }
        if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
        if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
        ::VariantInit(result);
        if (Env(L"KELMOR_FAKEDRIVER_PROPERTY_TYPE") == L"bstr") {
            result->vt = VT_BSTR;
            result->bstrVal = NewText(std::to_wstring(FFormatVersion));
        } else {
            result->vt = VT_I4;
            result->lVal = FFormatVersion;
        }
        return S_OK;
    }
    if (!FIsDriver && id == DriverVersionId) {
        if (put || !(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
        if (Env(L"KELMOR_FAKEDRIVER_VERSION_FAIL") == L"1") return Refuse(excep, L"Версия недоступна. ");
        ::VariantInit(result);
        result->vt = VT_BSTR;
        result->bstrVal =
            NewText(EnvSet(L"KELMOR_FAKEDRIVER_VERSION") ? Env(L"KELMOR_FAKEDRIVER_VERSION") : L"3.0.1.17");
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

// --- The dual interface, slot by slot ------------------------------------------

// One operation as received: its arguments for the journal, its out-texts
// to fill and its answer.
class TCall {
public:
    TCall(TDualObject* self, const char* name) : FObject(self->Owner), FName(name), FQuick(FObject->Quick()) {}

    TCall& In(BSTR b) { return FQuick ? *this : Arg(TextArg(b)); }
    TCall& Bool(VARIANT_BOOL v) { return FQuick ? *this : Arg("vb:" + std::to_string(v)); }
    TCall& Long(LONG v) { return FQuick ? *this : Arg("i:" + std::to_string(v)); }
    TCall& Double(double v) { return FQuick ? *this : Arg("d:" + Number("%.17g", v)); }
    TCall& Variant(const VARIANT& v) { return FQuick ? *this : Arg(VariantArg(v)); }
    TCall& Out(BSTR* p) {
        if (FOutCount < MaxOuts) FOuts[FOutCount++] = p;
        if (FQuick) return *this;
        return Arg(p ? (*p ? "out:" + TextArg(*p) : std::string("out:null")) : std::string("out:nullptr"));
    }

    HRESULT Answer(VARIANT_BOOL* result) {
        HRESULT hr = Finish();
        if (SUCCEEDED(hr) && result)
            *result = FQuick ? VARIANT_TRUE : static_cast<VARIANT_BOOL>(EnvInt(L"KELMOR_FAKEDRIVER_ANSWER", -1));
        return hr;
    }
    HRESULT AnswerLong(LONG* result, LONG value) {
        HRESULT hr = Finish();
        if (SUCCEEDED(hr) && result) *result = value;
        return hr;
    }

private:
    static const size_t MaxOuts = 4;

    TCall& Arg(const std::string& a) {
        FLine += "\t" + a;
        return *this;
    }
    HRESULT Finish() {
        if (FQuick) {
            for (size_t i = 0; i < FOutCount; ++i)
                if (FOuts[i]) *FOuts[i] = ::SysAllocString(QuickOutText);
            return S_OK;
        }
        Journal(FName + FLine + "\tfv=" + std::to_string(FObject->FormatVersion()));
        // Out-texts are filled even on failure: the caller must free them.
        for (size_t i = 0; i < FOutCount; ++i) {
            if (!FOuts[i]) continue;
            std::wstring text;
            if (EnvSet(L"KELMOR_FAKEDRIVER_OUT")) {
                std::wstring piece = Env(L"KELMOR_FAKEDRIVER_OUT");
                long repeat = EnvInt(L"KELMOR_FAKEDRIVER_OUT_REPEAT", 1);
                text.reserve(piece.size() * static_cast<size_t>(repeat > 0 ? repeat : 0));
                for (long r = 0; r < repeat; ++r) text += piece;
            } else {
                std::string name = std::string(FName) + "." + std::to_string(i);
                text.assign(name.begin(), name.end());
                text += L" ответ";
            }
            *FOuts[i] = NewText(text);
        }
        const std::string narrow(FName);
        if (!Failing(Env(L"KELMOR_FAKEDRIVER_FAIL"), std::wstring(narrow.begin(), narrow.end()))) return S_OK;
        if (EnvSet(L"KELMOR_FAKEDRIVER_FAIL_TEXT")) LeaveErrorObject(Env(L"KELMOR_FAKEDRIVER_FAIL_TEXT"));
        return static_cast<HRESULT>(EnvInt(L"KELMOR_FAKEDRIVER_FAIL_HR", static_cast<long>(0x80004005u), 16));
    }

    TFakeControl* FObject;
    const char* FName;
    bool FQuick;
    std::string FLine;
    BSTR* FOuts[MaxOuts] = {};
    size_t FOutCount = 0;
};

#define OP(body) return Guard([&]() -> HRESULT { body; })

HRESULT __stdcall DQueryInterface(TDualObject* s, const IID& riid, void** o) {
    return s->Owner->QueryInterface(riid, o);
}
ULONG __stdcall DAddRef(TDualObject* s) { return s->Owner->AddRef(); }
ULONG __stdcall DRelease(TDualObject* s) { return s->Owner->Release(); }
HRESULT __stdcall DGetTypeInfoCount(TDualObject*, UINT* n) {
    if (!n) return E_POINTER;
    *n = 0;
    return S_OK;
}
HRESULT __stdcall DGetTypeInfo(TDualObject*, UINT, LCID, ITypeInfo** t) {
    if (t) *t = nullptr;
    return E_NOTIMPL;
}
HRESULT __stdcall DGetIDsOfNames(TDualObject*, const IID&, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        if (_wcsicmp(names[i], L"kelmor_FormatVersion") == 0)
            ids[i] = FormatVersionId;
        else if (_wcsicmp(names[i], L"DriverVersion") == 0)
            ids[i] = DriverVersionId;
        else {
            ids[i] = DISPID_UNKNOWN;
            hr = DISP_E_UNKNOWNNAME;
        }
    }
    return hr;
}
HRESULT __stdcall DInvoke(TDualObject* s, DISPID id, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* p,
                          VARIANT* r, EXCEPINFO* e, UINT*) {
    OP(return s->Owner->Invoke(id, riid, lcid, flags, p, r, e));
}

HRESULT __stdcall DGetInterfaceRevision(TDualObject* s, LONG* r) {
    OP(return TCall(s, "GetInterfaceRevision").AnswerLong(r, EnvInt(L"KELMOR_FAKEDRIVER_REVISION", 3012)));
}
HRESULT __stdcall DGetDescription(TDualObject* s, BSTR* d, VB* r) { OP(return TCall(s, "GetDescription").Out(d).Answer(r)); }
HRESULT __stdcall DGetLastError(TDualObject* s, BSTR* d, LONG* r) {
    OP(return TCall(s, "GetLastError").Out(d).AnswerLong(r, 12));
}
HRESULT __stdcall DGetParameters(TDualObject* s, BSTR* t, VB* r) { OP(return TCall(s, "GetParameters").Out(t).Answer(r)); }
HRESULT __stdcall DSetParameter(TDualObject* s, BSTR n, VARIANT v, VB* r) {
    OP(return TCall(s, "SetParameter").In(n).Variant(v).Answer(r));
}
HRESULT __stdcall DOpen(TDualObject* s, BSTR* id, VB* r) { OP(return TCall(s, "Open").Out(id).Answer(r)); }
HRESULT __stdcall DClose(TDualObject* s, BSTR id, VB* r) { OP(return TCall(s, "Close").In(id).Answer(r)); }
HRESULT __stdcall DDeviceTest(TDualObject* s, BSTR* d, BSTR* demo, VB* r) {
    OP(return TCall(s, "DeviceTest").Out(d).Out(demo).Answer(r));
}
HRESULT __stdcall DGetAdditionalActions(TDualObject* s, BSTR* t, VB* r) {
    OP(return TCall(s, "GetAdditionalActions").Out(t).Answer(r));
}
HRESULT __stdcall DDoAdditionalAction(TDualObject* s, BSTR a, VB* r) {
    OP(return TCall(s, "DoAdditionalAction").In(a).Answer(r));
}
HRESULT __stdcall DGetDataKKT(TDualObject* s, BSTR id, BSTR* t, VB* r) {
    OP(return TCall(s, "GetDataKKT").In(id).Out(t).Answer(r));
}
HRESULT __stdcall DOperationFN(TDualObject* s, BSTR id, LONG type, BSTR p, VB* r) {
    OP(return TCall(s, "OperationFN").In(id).Long(type).In(p).Answer(r));
}
HRESULT __stdcall DOpenShift(TDualObject* s, BSTR id, BSTR in, BSTR* out, VB* r) {
    OP(return TCall(s, "OpenShift").In(id).In(in).Out(out).Answer(r));
}
HRESULT __stdcall DCloseShift(TDualObject* s, BSTR id, BSTR in, BSTR* out, VB* r) {
    OP(return TCall(s, "CloseShift").In(id).In(in).Out(out).Answer(r));
}
HRESULT __stdcall DProcessCheck(TDualObject* s, BSTR id, VB e, BSTR p, BSTR* out, VB* r) {
    OP(return TCall(s, "ProcessCheck").In(id).Bool(e).In(p).Out(out).Answer(r));
}
HRESULT __stdcall DProcessCorrectionCheck(TDualObject* s, BSTR id, VB e, BSTR p, BSTR* out, VB* r) {
    OP(return TCall(s, "ProcessCorrectionCheck").In(id).Bool(e).In(p).Out(out).Answer(r));
}
HRESULT __stdcall DCashInOutcome(TDualObject* s, BSTR id, BSTR in, double amount, VB* r) {
    OP(return TCall(s, "CashInOutcome").In(id).In(in).Double(amount).Answer(r));
}
HRESULT __stdcall DPrintXReport(TDualObject* s, BSTR id, BSTR in, VB* r) {
    OP(return TCall(s, "PrintXReport").In(id).In(in).Answer(r));
}
HRESULT __stdcall DGetCurrentStatus(TDualObject* s, BSTR id, BSTR in, BSTR* out, VB* r) {
    OP(return TCall(s, "GetCurrentStatus").In(id).In(in).Out(out).Answer(r));
}
HRESULT __stdcall DReportCurrentStatusOfSettlements(TDualObject* s, BSTR id, BSTR in, BSTR* out, VB* r) {
    OP(return TCall(s, "ReportCurrentStatusOfSettlements").In(id).In(in).Out(out).Answer(r));
}
HRESULT __stdcall DOpenCashDrawer(TDualObject* s, BSTR id, VB* r) { OP(return TCall(s, "OpenCashDrawer").In(id).Answer(r)); }
HRESULT __stdcall DGetLineLength(TDualObject* s, BSTR id, LONG* length, VB* r) {
    OP({
        HRESULT hr = TCall(s, "GetLineLength").In(id).Answer(r);
        if (SUCCEEDED(hr) && length) *length = 42;
        return hr;
    });
}
HRESULT __stdcall DPrintCheckCopy(TDualObject* s, BSTR id, BSTR n, VB* r) {
    OP(return TCall(s, "PrintCheckCopy").In(id).In(n).Answer(r));
}
HRESULT __stdcall DPrintTextDocument(TDualObject* s, BSTR id, BSTR p, VB* r) {
    OP(return TCall(s, "PrintTextDocument").In(id).In(p).Answer(r));
}
HRESULT __stdcall DGetFormatVersionSlot(TDualObject* s, LONG* v) {
    OP({
        Journal("slot 31 get_kelmor_FormatVersion");
        if (!v) return E_POINTER;
        *v = s->Owner->FormatVersion();
        return S_OK;
    });
}
HRESULT __stdcall DPutFormatVersionSlot(TDualObject* s, LONG v) {
    OP({
        Journal("slot 32 put_kelmor_FormatVersion " + std::to_string(v));
        s->Owner->SetFormatVersion(v);
        return S_OK;
    });
}
HRESULT __stdcall DOpenSessionRegistrationKM(TDualObject* s, BSTR id, VB* r) {
    OP(return TCall(s, "OpenSessionRegistrationKM").In(id).Answer(r));
}
HRESULT __stdcall DCloseSessionRegistrationKM(TDualObject* s, BSTR id, VB* r) {
    OP(return TCall(s, "CloseSessionRegistrationKM").In(id).Answer(r));
}
HRESULT __stdcall DRequestKM(TDualObject* s, BSTR id, BSTR km, BSTR* out, VB* r) {
    OP(return TCall(s, "RequestKM").In(id).In(km).Out(out).Answer(r));
}
HRESULT __stdcall DGetProcessingKMResult(TDualObject* s, BSTR id, BSTR* out, LONG* status, VB* r) {
    OP({
        HRESULT hr = TCall(s, "GetProcessingKMResult").In(id).Out(out).Answer(r);
        if (SUCCEEDED(hr) && status) *status = 3;
        return hr;
    });
}
HRESULT __stdcall DConfirmKM(TDualObject* s, BSTR id, BSTR guid, LONG type, VB* r) {
    OP(return TCall(s, "ConfirmKM").In(id).In(guid).Long(type).Answer(r));
}
HRESULT __stdcall DGetLocalizationPattern(TDualObject* s, BSTR* p, VB* r) {
    OP(return TCall(s, "GetLocalizationPattern").Out(p).Answer(r));
}
HRESULT __stdcall DSetLocalization(TDualObject* s, BSTR l, BSTR p, VB* r) {
    OP(return TCall(s, "SetLocalization").In(l).In(p).Answer(r));
}
HRESULT __stdcall DEquipmentParameters(TDualObject* s, BSTR t, BSTR* out, VB* r) {
    OP(return TCall(s, "EquipmentParameters").In(t).Out(out).Answer(r));
}
HRESULT __stdcall DEquipmentTest(TDualObject* s, BSTR t, BSTR c, BSTR* d, BSTR* demo, VB* r) {
    OP(return TCall(s, "EquipmentTest").In(t).In(c).Out(d).Out(demo).Answer(r));
}
HRESULT __stdcall DSetApplicationInformation(TDualObject* s, BSTR a, VB* r) {
    OP(return TCall(s, "SetApplicationInformation").In(a).Answer(r));
}
HRESULT __stdcall DConnectEquipment(TDualObject* s, BSTR* id, BSTR t, BSTR c, VB* r) {
    OP(return TCall(s, "ConnectEquipment").Out(id).In(t).In(c).Answer(r));
}
HRESULT __stdcall DDisconnectEquipment(TDualObject* s, BSTR id, VB* r) {
    OP(return TCall(s, "DisconnectEquipment").In(id).Answer(r));
}
HRESULT __stdcall DEquipmentAutoSetup(TDualObject* s, BSTR* t, BSTR in, BSTR* out, VB show, LONG timeout, VB* r) {
    OP(return TCall(s, "EquipmentAutoSetup").Out(t).In(in).Out(out).Bool(show).Long(timeout).Answer(r));
}

#undef OP

const TDriverSlots GDualSlots = {
    DQueryInterface, DAddRef, DRelease, DGetTypeInfoCount, DGetTypeInfo, DGetIDsOfNames, DInvoke,
    DGetInterfaceRevision, DGetDescription, DGetLastError, DGetParameters, DSetParameter, DOpen, DClose,
    DDeviceTest, DGetAdditionalActions, DDoAdditionalAction, DGetDataKKT, DOperationFN, DOpenShift, DCloseShift,
    DProcessCheck, DProcessCorrectionCheck, DCashInOutcome, DPrintXReport, DGetCurrentStatus,
    DReportCurrentStatusOfSettlements, DOpenCashDrawer, DGetLineLength, DPrintCheckCopy, DPrintTextDocument,
    DGetFormatVersionSlot, DPutFormatVersionSlot, DOpenSessionRegistrationKM, DCloseSessionRegistrationKM,
    DRequestKM, DGetProcessingKMResult, DConfirmKM, DGetLocalizationPattern, DSetLocalization,
    DEquipmentParameters, DEquipmentTest, DSetApplicationInformation, DConnectEquipment, DDisconnectEquipment,
    DEquipmentAutoSetup,
};

// --- Class factories -------------------------------------------------------------

class TFactory final : public IClassFactory {
public:
    explicit TFactory(bool isDriver) : FIsDriver(isDriver) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // static objects
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        return Guard([&]() -> HRESULT {
            if (!object) return E_POINTER;
            *object = nullptr;
            if (outer) return CLASS_E_NOAGGREGATION;
            const char* kind = FIsDriver ? "driver" : "main";
            std::wstring refuse = Env(L"KELMOR_FAKEDRIVER_REFUSE_CREATE");
            if (refuse == L"both" || refuse == (FIsDriver ? L"driver" : L"main")) {
                Journal(std::string("Create ") + kind + " refused");
                if (EnvSet(L"KELMOR_FAKEDRIVER_REFUSE_TEXT")) LeaveErrorObject(Env(L"KELMOR_FAKEDRIVER_REFUSE_TEXT"));
                const std::wstring code = Env(L"KELMOR_FAKEDRIVER_REFUSE_CODE");
                return code.empty() ? E_FAIL : static_cast<HRESULT>(wcstoul(code.c_str(), nullptr, 16));
            }
            Journal(std::string("Create ") + kind);
            TFakeControl* control = new TFakeControl(FIsDriver, Env(L"KELMOR_FAKEDRIVER_QUICK") == L"1");
            HRESULT hr = control->QueryInterface(riid, object);
            control->Release();
            return hr;
        });
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            ::InterlockedIncrement(&GServerLocks);
        else
            ::InterlockedDecrement(&GServerLocks);
        return S_OK;
    }

private:
    bool FIsDriver;
};

TFactory GDriverFactory(true);
TFactory GMainFactory(false);

// --- Registration ------------------------------------------------------------------

std::wstring ClassKey(const wchar_t* classText) { return std::wstring(L"Software\\Classes\\CLSID\\") + classText; }

HRESULT RegisterClass(const wchar_t* classText, const wchar_t* name) {
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(GModule, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return E_FAIL;
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, ClassKey(classText).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                     static_cast<DWORD>((wcslen(name) + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (ClassKey(classText) + L"\\InprocServer32").c_str(), 0, nullptr, 0,
                          KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    const wchar_t* model = L"Both";
    LONG a = ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                              static_cast<DWORD>((n + 1) * sizeof(wchar_t)));
    LONG b = ::RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model),
                              static_cast<DWORD>((wcslen(model) + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    return a == ERROR_SUCCESS && b == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterClass(const wchar_t* classText) {
    LONG r = ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClassKey(classText).c_str());
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        GModule = instance;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
    return Guard([&]() -> HRESULT {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (IsEqualCLSID(clsid, ParseGuid(DriverClassText))) return GDriverFactory.QueryInterface(riid, object);
        if (IsEqualCLSID(clsid, ParseGuid(MainClassText))) return GMainFactory.QueryInterface(riid, object);
        return CLASS_E_CLASSNOTAVAILABLE;
    });
}

STDAPI DllCanUnloadNow() { return GLiveObjects == 0 && GServerLocks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    return Guard([] {
        HRESULT hr = RegisterClass(DriverClassText, L"Kelmor Tarvik fiscal driver (test double)");
        if (SUCCEEDED(hr)) hr = RegisterClass(MainClassText, L"Kelmor Tarvik main control (test double)");
        return hr;
    });
}

STDAPI DllUnregisterServer() {
    return Guard([] {
        HRESULT a = UnregisterClass(DriverClassText);
        HRESULT b = UnregisterClass(MainClassText);
        return FAILED(a) ? a : b;
    });
}

}  // extern "C"
