// msvchost.exe: a host that none of our own code lays out. It is compiled by
// clang in the MSVC ABI, so every table it calls through and every table it
// hands to the add-in is laid out by an MSVC-compatible compiler from C++
// interface declarations: virtual functions, the destructor first, the
// component's interface deriving from its three interfaces in order. The
// host ends each object as such hosts do: `Done`, then `delete` through an
// interface pointer, which runs slot 0 of that interface's table.
//
//   msvchost.exe <add-in DLL> <driver double DLL>
//
// The host registers the fiscal driver's test double for the run, as
// regsvr32 does (its DllRegisterServer), and unregisters it at the end, also
// after a crash.
// Freestanding: no C runtime, no Windows SDK. The few Win32 functions it uses
// are declared here and reached through import libraries made by
// llvm-dlltool; memcpy, memset, operator new and delete, _purecall,
// _fltused and the entry point are our own.
//
// Prints "PASS: ..." / "FAIL: ..." lines and "SUMMARY: N passed, N failed";
// the exit code is the number of failures. A crash is caught by the
// process's last exception filter and reported as a failure with its code
// and address.

// --- Basic types --------------------------------------------------------------

using size_t = decltype(sizeof(0));
using uintptr_t = size_t;
using int8_t = signed char;
using uint8_t = unsigned char;
using int16_t = short;
using uint16_t = unsigned short;
using int32_t = int;
using uint32_t = unsigned int;
using int64_t = long long;
using uint64_t = unsigned long long;
static_assert(sizeof(void*) == sizeof(size_t), "pointer-size size_t");
static_assert(sizeof(long) == 4, "long is 32 bits in the MSVC ABI");
static_assert(sizeof(wchar_t) == 2, "wchar_t is UTF-16 in the MSVC ABI");

#if defined(_M_IX86)
#define ADDIN_API __stdcall
#else
#define ADDIN_API
#endif
#define WINAPI __stdcall

// --- Win32, declared by hand ----------------------------------------------------

using HANDLE = void*;
using HMODULE = void*;
using BOOL = int;
using DWORD = unsigned long;
using HRESULT = long;

struct EXCEPTION_RECORD {
    DWORD ExceptionCode;
    DWORD ExceptionFlags;
    EXCEPTION_RECORD* ExceptionRecord;
    void* ExceptionAddress;
    DWORD NumberParameters;
    uintptr_t ExceptionInformation[15];
};
struct EXCEPTION_POINTERS {
    EXCEPTION_RECORD* ExceptionRecord;
    void* ContextRecord;
};
using TOP_LEVEL_FILTER = long(WINAPI*)(EXCEPTION_POINTERS*);

extern "C" {
__declspec(dllimport) HANDLE WINAPI GetStdHandle(DWORD which);
__declspec(dllimport) BOOL WINAPI WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, void* overlapped);
__declspec(dllimport) __declspec(noreturn) void WINAPI ExitProcess(unsigned code);
__declspec(dllimport) const wchar_t* WINAPI GetCommandLineW();
__declspec(dllimport) HMODULE WINAPI LoadLibraryW(const wchar_t* name);
__declspec(dllimport) void* WINAPI GetProcAddress(HMODULE module, const char* name);
__declspec(dllimport) BOOL WINAPI FreeLibrary(HMODULE module);
__declspec(dllimport) HMODULE WINAPI GetModuleHandleW(const wchar_t* name);
__declspec(dllimport) HANDLE WINAPI GetProcessHeap();
__declspec(dllimport) void* WINAPI HeapAlloc(HANDLE heap, DWORD flags, size_t size);
__declspec(dllimport) BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, void* block);
__declspec(dllimport) TOP_LEVEL_FILTER WINAPI SetUnhandledExceptionFilter(TOP_LEVEL_FILTER filter);
__declspec(dllimport) HRESULT WINAPI CoInitializeEx(void* reserved, DWORD model);
__declspec(dllimport) void WINAPI CoUninitialize();
}

const DWORD StdOutput = static_cast<DWORD>(-11);
const DWORD ApartmentThreaded = 2;
const HRESULT S_OK = 0;
const HRESULT S_FALSE = 1;

// --- What a freestanding MSVC-ABI program must bring itself -----------------------

extern "C" {
int _fltused = 0;

void* memcpy(void* to, const void* from, size_t n) {
    volatile unsigned char* d = static_cast<unsigned char*>(to);
    const unsigned char* s = static_cast<const unsigned char*>(from);
    while (n--) *d++ = *s++;
    return to;
}

void* memset(void* to, int c, size_t n) {
    volatile unsigned char* d = static_cast<unsigned char*>(to);
    while (n--) *d++ = static_cast<unsigned char>(c);
    return to;
}

int _purecall() { ExitProcess(90); }
}

void* operator new(size_t n) { return HeapAlloc(GetProcessHeap(), 0, n != 0 ? n : 1); }
void operator delete(void* p) noexcept {
    if (p != nullptr) HeapFree(GetProcessHeap(), 0, p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

// --- The platform's interfaces, as a host declares them ------------------------------

struct tVariant {
    union {
        int8_t i8Val;
        int16_t shortVal;
        int32_t lVal;
        int32_t intVal;
        uint32_t uintVal;
        int64_t llVal;
        uint8_t ui8Val;
        uint16_t ushortVal;
        uint32_t ulVal;
        uint64_t ullVal;
        int32_t errCode;
        long hRes;
        float fltVal;
        double dblVal;
        bool bVal;
        char chVal;
        wchar_t wchVal;
        double date;
        struct {
            uint32_t Data1;
            uint16_t Data2, Data3;
            uint8_t Data4[8];
        } IDVal;
        tVariant* pvarVal;
        int32_t tmVal[9];
        struct {
            void* pInterfaceVal;
            uint8_t InterfaceID[16];
        } vtRecInterface;
        struct {
            char* pstrVal;
            uint32_t strLen;
        } vtRecString;
        struct {
            wchar_t* pwstrVal;
            uint32_t wstrLen;
        } vtRecWideString;
    };
    uint32_t cbElements;
    uint32_t vt;
};
static_assert(sizeof(tVariant) == 48, "the host's value record is 48 bytes");

enum : uint32_t { VTYPE_EMPTY = 0, VTYPE_I4 = 3, VTYPE_PSTR = 8, VTYPE_BOOL = 11, VTYPE_PWSTR = 22, VTYPE_BLOB = 23 };

class IMemoryManager {
public:
    virtual ~IMemoryManager() {}
    virtual bool ADDIN_API AllocMemory(void** pMemory, unsigned long ulCountByte) = 0;
    virtual void ADDIN_API FreeMemory(void** pMemory) = 0;
};

struct tAppInfo {
    const wchar_t* AppVersion;
    long Application;
    const wchar_t* UserAgentInformation;
};

class IAddInDefBase {
public:
    virtual ~IAddInDefBase() {}
    virtual bool ADDIN_API AddError(unsigned short wcode, const wchar_t* source, const wchar_t* descr, long scode) = 0;
    virtual bool ADDIN_API Read(wchar_t* wszPropName, tVariant* pVal, long* pErrCode, wchar_t** errDescriptor) = 0;
    virtual bool ADDIN_API Write(wchar_t* wszPropName, tVariant* pVar) = 0;
    virtual bool ADDIN_API RegisterProfileAs(wchar_t* wszProfileName) = 0;
    virtual bool ADDIN_API SetEventBufferDepth(long lDepth) = 0;
    virtual long ADDIN_API GetEventBufferDepth() = 0;
    virtual bool ADDIN_API ExternalEvent(wchar_t* wszSource, wchar_t* wszMessage, wchar_t* wszData) = 0;
    virtual void ADDIN_API CleanEventBuffer() = 0;
    virtual bool ADDIN_API SetStatusLine(wchar_t* wszStatusLine) = 0;
    virtual void ADDIN_API ResetStatusLine() = 0;
    virtual const tAppInfo* ADDIN_API GetPlatformInfo() = 0;
    virtual bool ADDIN_API Alert(const wchar_t* queryText) = 0;
};

class IInitDone {
public:
    virtual ~IInitDone() {}
    virtual bool ADDIN_API Init(void* disp) = 0;
    virtual bool ADDIN_API setMemManager(void* mem) = 0;
    virtual long ADDIN_API GetInfo() = 0;
    virtual void ADDIN_API Done() = 0;
};

class ILanguageExtender {
public:
    virtual ~ILanguageExtender() {}
    virtual bool ADDIN_API RegisterExtensionAs(wchar_t** wsExtensionName) = 0;
    virtual long ADDIN_API GetNProps() = 0;
    virtual long ADDIN_API FindProp(const wchar_t* wsPropName) = 0;
    virtual const wchar_t* ADDIN_API GetPropName(long lPropNum, long lPropAlias) = 0;
    virtual bool ADDIN_API GetPropVal(const long lPropNum, tVariant* pvarPropVal) = 0;
    virtual bool ADDIN_API SetPropVal(const long lPropNum, tVariant* varPropVal) = 0;
    virtual bool ADDIN_API IsPropReadable(const long lPropNum) = 0;
    virtual bool ADDIN_API IsPropWritable(const long lPropNum) = 0;
    virtual long ADDIN_API GetNMethods() = 0;
    virtual long ADDIN_API FindMethod(const wchar_t* wsMethodName) = 0;
    virtual const wchar_t* ADDIN_API GetMethodName(const long lMethodNum, const long lMethodAlias) = 0;
    virtual long ADDIN_API GetNParams(const long lMethodNum) = 0;
    virtual bool ADDIN_API GetParamDefValue(const long lMethodNum, const long lParamNum, tVariant* pvarParamDefValue) = 0;
    virtual bool ADDIN_API HasRetVal(const long lMethodNum) = 0;
    virtual bool ADDIN_API CallAsProc(const long lMethodNum, tVariant* paParams, const long lSizeArray) = 0;
    virtual bool ADDIN_API CallAsFunc(const long lMethodNum, tVariant* pvarRetValue, tVariant* paParams,
                                      const long lSizeArray) = 0;
};

class LocaleBase {
public:
    virtual ~LocaleBase() {}
    virtual void ADDIN_API SetLocale(const wchar_t* loc) = 0;
};

class IComponentBase : public IInitDone, public ILanguageExtender, public LocaleBase {
public:
    virtual ~IComponentBase() {}
};

// The exports, looked up by name (cdecl on i386: the default for functions).
using GetClassObjectFn = long (*)(const wchar_t* wsName, IComponentBase** pIntf);
using GetClassNamesFn = const wchar_t* (*)();
using DestroyObjectFn = long (*)(IComponentBase** pIntf);
using DllCanUnloadNowFn = HRESULT(WINAPI*)();
using DllRegisterFn = HRESULT(WINAPI*)();

// --- Output ----------------------------------------------------------------------

class TLine {
public:
    TLine& Text(const char* s) {
        while (*s) Put(*s++);
        return *this;
    }
    TLine& Wide(const wchar_t* s, size_t max = 120) {
        if (s == nullptr) return Text("(null)");
        for (size_t i = 0; s[i] != 0; ++i) {
            if (i == max) return Text("...");
            const uint32_t c = static_cast<uint16_t>(s[i]);
            if (c < 0x80) {
                Put(static_cast<char>(c));
            } else if (c < 0x800) {
                Put(static_cast<char>(0xC0 | (c >> 6)));
                Put(static_cast<char>(0x80 | (c & 0x3F)));
            } else {
                Put(static_cast<char>(0xE0 | (c >> 12)));
                Put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
                Put(static_cast<char>(0x80 | (c & 0x3F)));
            }
        }
        return *this;
    }
    TLine& Number(int64_t v) {
        char digits[24];
        int n = 0;
        const bool negative = v < 0;
        uint64_t u = negative ? static_cast<uint64_t>(-(v + 1)) + 1 : static_cast<uint64_t>(v);
        do {
            // Division by ten of a 32-bit value only: no 64-bit helpers on i386.
            uint32_t low = static_cast<uint32_t>(u);
            if (u > 0xFFFFFFFFull) low = 0xFFFFFFFFu;  // counts never get there
            digits[n++] = static_cast<char>('0' + low % 10);
            u = low / 10;
        } while (u != 0);
        if (negative) Put('-');
        while (n > 0) Put(digits[--n]);
        return *this;
    }
    TLine& Hex(uintptr_t v) {
        Text("0x");
        bool started = false;
        for (int shift = static_cast<int>(sizeof(v) * 8) - 4; shift >= 0; shift -= 4) {
            const unsigned d = static_cast<unsigned>((v >> shift) & 0xF);
            if (d != 0 || started || shift == 0) {
                Put("0123456789abcdef"[d]);
                started = true;
            }
        }
        return *this;
    }
    // The text so far, for use inside another line.
    const char* Take() {
        FBuffer[FLength] = 0;
        return FBuffer;
    }
    void End() {
        Put('\n');
        DWORD written = 0;
        WriteFile(GetStdHandle(StdOutput), FBuffer, static_cast<DWORD>(FLength), &written, nullptr);
        FLength = 0;
    }

private:
    void Put(char c) {
        if (FLength < sizeof(FBuffer) - 1) FBuffer[FLength++] = c;
    }
    char FBuffer[600];  // small: the program has no stack probes
    size_t FLength = 0;
};

int GPassed = 0;
int GFailed = 0;
DllRegisterFn GUnregisterDriver = nullptr;  // set while the double is registered

bool Check(bool ok, const char* what, TLine* detail = nullptr) {
    TLine line;
    line.Text(ok ? "PASS: " : "FAIL: ").Text(what);
    (ok ? GPassed : GFailed)++;
    if (!ok && detail != nullptr) {
        // The detail was collected in its own line object; copy it over.
        line.Text(" (").Text(detail->Take()).Text(")");
    }
    line.End();
    return ok;
}

void Section(const char* title) { TLine().Text("== ").Text(title).End(); }

[[noreturn]] void Finish() {
    if (GUnregisterDriver != nullptr) {
        const DllRegisterFn unregister = GUnregisterDriver;
        GUnregisterDriver = nullptr;
        const HRESULT hr = unregister();
        TLine().Text(hr == S_OK ? "PASS: " : "FAIL: ").Text("the driver's double unregistered").End();
        (hr == S_OK ? GPassed : GFailed)++;
    }
    TLine().Text("SUMMARY: ").Number(GPassed).Text(" passed, ").Number(GFailed).Text(" failed").End();
    ExitProcess(static_cast<unsigned>(GFailed));
}

// A crash anywhere ends the run as a failure that says where it happened.
long WINAPI LastChance(EXCEPTION_POINTERS* info) {
    TLine line;
    line.Text("FAIL: the host process crashed: exception ").Hex(info->ExceptionRecord->ExceptionCode);
    if (info->ExceptionRecord->ExceptionCode == 0xC0000005u) line.Text(" (access violation)");
    line.Text(" at address ").Hex(reinterpret_cast<uintptr_t>(info->ExceptionRecord->ExceptionAddress));
    if (info->ExceptionRecord->NumberParameters >= 2)
        line.Text(", touching ").Hex(info->ExceptionRecord->ExceptionInformation[1]);
    line.End();
    GFailed++;
    Finish();
}

// --- Text helpers ------------------------------------------------------------------

size_t Length(const wchar_t* s) {
    size_t n = 0;
    while (s != nullptr && s[n] != 0) ++n;
    return n;
}

bool Same(const wchar_t* a, const wchar_t* b) {
    if (a == nullptr || b == nullptr) return a == b;
    while (*a != 0 && *a == *b) ++a, ++b;
    return *a == *b;
}

bool StartsWith(const wchar_t* s, const wchar_t* prefix) {
    if (s == nullptr) return false;
    while (*prefix != 0 && *s == *prefix) ++s, ++prefix;
    return *prefix == 0;
}

bool Contains(const wchar_t* s, const wchar_t* part) {
    if (s == nullptr) return false;
    for (; *s != 0; ++s)
        if (StartsWith(s, part)) return true;
    return false;
}

// --- The host's objects --------------------------------------------------------------

// The host's heap for everything that crosses to and from the add-in. Each
// block carries a header so that a free of a foreign or freed block is seen.
class THostMemory : public IMemoryManager {
public:
    bool ADDIN_API AllocMemory(void** pMemory, unsigned long ulCountByte) override {
        if (pMemory == nullptr) return false;
        auto* block = static_cast<uintptr_t*>(HeapAlloc(GetProcessHeap(), 0, ulCountByte + 2 * sizeof(uintptr_t)));
        if (block == nullptr) return false;
        block[0] = LiveMark;
        block[1] = ulCountByte;
        *pMemory = block + 2;
        ++Allocs;
        ++Live;
        return true;
    }
    void ADDIN_API FreeMemory(void** pMemory) override {
        if (pMemory == nullptr || *pMemory == nullptr) {
            ++BadFrees;
            return;
        }
        uintptr_t* block = static_cast<uintptr_t*>(*pMemory) - 2;
        if (block[0] != LiveMark) {
            ++BadFrees;
            return;
        }
        block[0] = 0;
        HeapFree(GetProcessHeap(), 0, block);
        *pMemory = nullptr;
        ++Frees;
        --Live;
    }

    wchar_t* Copy(const wchar_t* s) {
        void* p = nullptr;
        const size_t n = Length(s);
        if (!AllocMemory(&p, static_cast<unsigned long>((n + 1) * sizeof(wchar_t)))) return nullptr;
        memcpy(p, s, (n + 1) * sizeof(wchar_t));
        return static_cast<wchar_t*>(p);
    }
    void Release(const wchar_t* text) {
        void* p = const_cast<wchar_t*>(text);
        if (p != nullptr) FreeMemory(&p);
    }
    // Frees the payload of a value the host made or received.
    void Release(tVariant& v) {
        const uint32_t t = v.vt & 0xFFF;
        if ((t == VTYPE_PWSTR || t == VTYPE_PSTR || t == VTYPE_BLOB) && v.vtRecString.pstrVal != nullptr) {
            void* p = v.vtRecString.pstrVal;
            FreeMemory(&p);
        }
        memset(&v, 0, sizeof v);
    }

    long Allocs = 0;
    long Frees = 0;
    long Live = 0;
    long BadFrees = 0;

private:
    static constexpr uintptr_t LiveMark = 0x4D534D4Du;
};

// The host's connection: counts what the add-in calls.
class THostConnection : public IAddInDefBase {
public:
    bool ADDIN_API AddError(unsigned short, const wchar_t*, const wchar_t*, long) override {
        ++Errors;
        return true;
    }
    bool ADDIN_API Read(wchar_t*, tVariant*, long*, wchar_t**) override { return Other(); }
    bool ADDIN_API Write(wchar_t*, tVariant*) override { return Other(); }
    bool ADDIN_API RegisterProfileAs(wchar_t*) override { return Other(); }
    bool ADDIN_API SetEventBufferDepth(long) override { return Other(); }
    long ADDIN_API GetEventBufferDepth() override { return Other(); }
    bool ADDIN_API ExternalEvent(wchar_t*, wchar_t*, wchar_t*) override { return Other(); }
    void ADDIN_API CleanEventBuffer() override { Other(); }
    bool ADDIN_API SetStatusLine(wchar_t*) override { return Other(); }
    void ADDIN_API ResetStatusLine() override { Other(); }
    const tAppInfo* ADDIN_API GetPlatformInfo() override {
        Other();
        return nullptr;
    }
    bool ADDIN_API Alert(const wchar_t*) override { return Other(); }

    long Errors = 0;
    long OtherCalls = 0;

private:
    bool Other() {
        ++OtherCalls;
        return false;
    }
};

// --- The run ------------------------------------------------------------------------

THostMemory* GMemory = nullptr;
THostConnection* GConnection = nullptr;
GetClassObjectFn GGetClassObject = nullptr;
const wchar_t* const ClassName = L"KelmorTarvik1C4";

tVariant TextValue(const wchar_t* s) {
    tVariant v;
    memset(&v, 0, sizeof v);
    v.vt = VTYPE_PWSTR;
    v.vtRecWideString.pwstrVal = GMemory->Copy(s);
    v.vtRecWideString.wstrLen = static_cast<uint32_t>(Length(s));
    return v;
}

tVariant BoolValue(bool b) {
    tVariant v;
    memset(&v, 0, sizeof v);
    v.vt = VTYPE_BOOL;
    v.bVal = b;
    return v;
}

IComponentBase* NewComponent(const char* what) {
    IComponentBase* p = nullptr;
    const long made = GGetClassObject(ClassName, &p);
    TLine d;
    d.Text("GetClassObject answered ").Number(made);
    if (!Check(made == 1 && p != nullptr, what, &d)) return nullptr;
    // setMemManager before Init, as some hosts do.
    Check(p->setMemManager(GMemory), "setMemManager (before Init) answers true");
    Check(p->Init(GConnection), "Init answers true");
    return p;
}

// GetDescription through CallAsFunc; the description text must say that
// the driver is there.
void CallGetDescription(IComponentBase* p, long index) {
    tVariant result = BoolValue(false);
    tVariant params[1];
    params[0] = TextValue(L"host-value");
    const bool called = p->CallAsFunc(index, &result, params, 1);
    const wchar_t* doc = params[0].vt == VTYPE_PWSTR ? params[0].vtRecWideString.pwstrVal : nullptr;
    TLine d;
    d.Text("called ").Number(called).Text(", vt ").Number(result.vt).Text(", text ").Wide(doc, 80);
    Check(called && result.vt == VTYPE_BOOL && result.bVal && StartsWith(doc, L"<?xml") &&
              Contains(doc, L"MainDriverInstalled=\"true\""),
          "GetDescription answers true with a description that names the installed driver", &d);
    GMemory->Release(result);
    GMemory->Release(params[0]);
}

// ProcessCheck against the driver's double: its answer and its out-argument.
void CallProcessCheck(IComponentBase* p, long index) {
    tVariant result = BoolValue(false);
    tVariant params[4];
    params[0] = TextValue(L"dev-1");
    params[1] = BoolValue(false);
    params[2] = TextValue(L"<CheckPackage><Parameters CashierName=\"Иванов\"/></CheckPackage>");
    params[3] = TextValue(L"host-value");
    const bool called = p->CallAsFunc(index, &result, params, 4);
    const wchar_t* out = params[3].vt == VTYPE_PWSTR ? params[3].vtRecWideString.pwstrVal : nullptr;
    TLine d;
    d.Text("called ").Number(called).Text(", vt ").Number(result.vt).Text(", out ").Wide(out);
    Check(called && result.vt == VTYPE_BOOL && result.bVal && Same(out, L"ProcessCheck.0 ответ"),
          "ProcessCheck answers the driver's true and its out-argument \"ProcessCheck.0 ответ\"", &d);
    for (tVariant& v : params) GMemory->Release(v);
    GMemory->Release(result);
}

HRESULT DriverCanUnload(const wchar_t* driverDll) {
    HMODULE driver = GetModuleHandleW(driverDll);
    if (driver == nullptr) return -1;
    auto canUnload = reinterpret_cast<DllCanUnloadNowFn>(GetProcAddress(driver, "DllCanUnloadNow"));
    return canUnload != nullptr ? canUnload() : -2;
}

void CheckDriverObjectsGone(const wchar_t* driverDll, const char* what) {
    const HRESULT hr = DriverCanUnload(driverDll);
    TLine d;
    d.Text("DllCanUnloadNow of the double answered ").Number(hr);
    Check(hr == S_OK, what, &d);
}

// The two arguments of the command line (quotes allowed).
const wchar_t* NextArgument(const wchar_t*& p, wchar_t* to, size_t capacity) {
    while (*p == L' ' || *p == L'\t') ++p;
    if (*p == 0) return nullptr;
    size_t n = 0;
    bool quoted = false;
    for (; *p != 0 && (quoted || (*p != L' ' && *p != L'\t')); ++p) {
        if (*p == L'"') {
            quoted = !quoted;
        } else if (n + 1 < capacity) {
            to[n++] = *p;
        }
    }
    to[n] = 0;
    return to;
}

[[noreturn]] void Run() {
    wchar_t program[260], addinDll[260], driverDll[260];
    const wchar_t* cursor = GetCommandLineW();
    NextArgument(cursor, program, 260);
    if (NextArgument(cursor, addinDll, 260) == nullptr || NextArgument(cursor, driverDll, 260) == nullptr) {
        TLine().Text("usage: msvchost.exe <add-in DLL> <driver double DLL>").End();
        ExitProcess(2);
    }
    {
        TLine line;
        line.Text("msvchost: MSVC-ABI host, ").Number(static_cast<int64_t>(sizeof(void*) * 8)).Text("-bit");
        line.End();
    }

    // COM is the host's to set up, on its own thread.
    Check(CoInitializeEx(nullptr, ApartmentThreaded) >= 0, "CoInitializeEx on the host's thread");

    THostMemory memory;
    THostConnection connection;
    GMemory = &memory;
    GConnection = &connection;

    Section("the driver's test double");
    HMODULE driver = LoadLibraryW(driverDll);
    auto registerDriver = driver != nullptr ? reinterpret_cast<DllRegisterFn>(GetProcAddress(driver, "DllRegisterServer"))
                                            : nullptr;
    GUnregisterDriver = driver != nullptr
                            ? reinterpret_cast<DllRegisterFn>(GetProcAddress(driver, "DllUnregisterServer"))
                            : nullptr;
    if (!Check(registerDriver != nullptr && GUnregisterDriver != nullptr && registerDriver() == S_OK,
               "the driver's double registered as the installed driver (DllRegisterServer)"))
        Finish();

    Section("loading");
    HMODULE addin = LoadLibraryW(addinDll);
    if (!Check(addin != nullptr, "LoadLibraryW of the add-in")) Finish();
    GGetClassObject = reinterpret_cast<GetClassObjectFn>(GetProcAddress(addin, "GetClassObject"));
    auto getClassNames = reinterpret_cast<GetClassNamesFn>(GetProcAddress(addin, "GetClassNames"));
    auto destroyObject = reinterpret_cast<DestroyObjectFn>(GetProcAddress(addin, "DestroyObject"));
    if (!Check(GGetClassObject != nullptr && getClassNames != nullptr && destroyObject != nullptr,
               "the three exports GetClassObject, GetClassNames, DestroyObject"))
        Finish();
    {
        const wchar_t* names = getClassNames();
        TLine d;
        d.Wide(names);
        Check(Same(names, ClassName), "GetClassNames gives KelmorTarvik1C4", &d);
    }

    Section("first object: names and counts");
    IComponentBase* first = NewComponent("GetClassObject(KelmorTarvik1C4) makes the first object");
    if (first == nullptr) Finish();
    {
        TLine d;
        d.Number(first->GetInfo());
        Check(first->GetInfo() == 2000, "GetInfo answers 2000", &d);
    }
    first->SetLocale(L"ru_RU");
    {
        wchar_t* extension = nullptr;
        const bool registered = first->RegisterExtensionAs(&extension);
        TLine d;
        d.Wide(extension);
        Check(registered && Same(extension, ClassName), "RegisterExtensionAs gives KelmorTarvik1C4", &d);
        memory.Release(extension);
    }
    {
        TLine d;
        d.Text("methods ").Number(first->GetNMethods()).Text(", properties ").Number(first->GetNProps());
        Check(first->GetNMethods() == 37 && first->GetNProps() == 0, "GetNMethods 37, GetNProps 0", &d);
    }
    const long description = first->FindMethod(L"GetDescription");
    const long processCheck = first->FindMethod(L"ProcessCheck");
    {
        TLine d;
        d.Text("GetDescription ").Number(description).Text(", ПолучитьОписание ");
        d.Number(first->FindMethod(L"ПолучитьОписание"));
        Check(description == 1 && first->FindMethod(L"ПолучитьОписание") == 1,
              "FindMethod: GetDescription and ПолучитьОписание are method 1", &d);
    }
    {
        TLine d;
        d.Text("ProcessCheck ").Number(processCheck).Text(", СформироватьЧек ");
        d.Number(first->FindMethod(L"СформироватьЧек"));
        Check(processCheck == 22 && first->FindMethod(L"СформироватьЧек") == 22,
              "FindMethod: ProcessCheck and СформироватьЧек are method 22", &d);
    }
    Check(first->FindMethod(L"processcheck") == -1, "FindMethod of the name in lower case gives -1");
    {
        const wchar_t* english = first->GetMethodName(processCheck, 0);
        const wchar_t* russian = first->GetMethodName(processCheck, 1);
        TLine d;
        d.Wide(english).Text(" / ").Wide(russian);
        Check(Same(english, L"ProcessCheck") && Same(russian, L"СформироватьЧек"),
              "GetMethodName(22, 0) and (22, 1) give ProcessCheck and СформироватьЧек", &d);
        memory.Release(english);
        memory.Release(russian);
    }
    {
        TLine d;
        d.Text("params ").Number(first->GetNParams(processCheck)).Text(", has result ");
        d.Number(first->HasRetVal(processCheck));
        Check(first->GetNParams(processCheck) == 4 && first->HasRetVal(processCheck),
              "ProcessCheck takes 4 arguments and returns a value", &d);
    }

    Section("first object: calls against the driver's double");
    CallGetDescription(first, description);
    CallProcessCheck(first, processCheck);
    {
        const HRESULT hr = DriverCanUnload(driverDll);
        TLine d;
        d.Text("DllCanUnloadNow answered ").Number(hr);
        Check(hr == S_FALSE, "the driver's double is loaded and its objects live while the component does", &d);
    }

    Section("first object: Done, then delete through IComponentBase");
    first->Done();
    delete first;  // slot 0 of the IInitDone table
    Check(true, "delete through IComponentBase returned to the host");
    CheckDriverObjectsGone(driverDll, "the driver objects went with the component");

    Section("second object, deleted the same way");
    IComponentBase* second = NewComponent("GetClassObject makes a second object");
    if (second == nullptr) Finish();
    CallProcessCheck(second, processCheck);
    second->Done();
    delete second;
    Check(true, "delete of the second object returned to the host");
    CheckDriverObjectsGone(driverDll, "the second object's driver objects went with it");

    Section("deleted through the other two interfaces");
    if (IComponentBase* third = NewComponent("GetClassObject makes a third object")) {
        CallGetDescription(third, description);
        third->Done();
        ILanguageExtender* extender = third;
        delete extender;  // slot 0 of the ILanguageExtender table
        Check(true, "delete through ILanguageExtender returned to the host");
        CheckDriverObjectsGone(driverDll, "the third object's driver objects went with it");
    }
    if (IComponentBase* fourth = NewComponent("GetClassObject makes a fourth object")) {
        CallProcessCheck(fourth, processCheck);
        fourth->Done();
        LocaleBase* locale = fourth;
        delete locale;  // slot 0 of the LocaleBase table
        Check(true, "delete through LocaleBase returned to the host");
        CheckDriverObjectsGone(driverDll, "the fourth object's driver objects went with it");
    }

    Section("DestroyObject still ends an object");
    if (IComponentBase* fifth = NewComponent("GetClassObject makes a fifth object")) {
        CallProcessCheck(fifth, processCheck);
        fifth->Done();
        Check(destroyObject(&fifth) == 0, "DestroyObject answers 0");
        CheckDriverObjectsGone(driverDll, "the fifth object's driver objects went with it");
    }

    Section("unloading");
    Check(FreeLibrary(addin) != 0, "FreeLibrary of the add-in");
    Check(GetModuleHandleW(addinDll) == nullptr, "the add-in is unloaded");
    {
        TLine d;
        d.Text("allocated ").Number(memory.Allocs).Text(", freed ").Number(memory.Frees);
        d.Text(", bad frees ").Number(memory.BadFrees);
        Check(memory.Live == 0 && memory.BadFrees == 0 && memory.Allocs > 0,
              "host memory balanced: every block the add-in received or handed out was freed once", &d);
    }
    {
        TLine d;
        d.Text("AddError ").Number(connection.Errors).Text(", other calls ").Number(connection.OtherCalls);
        Check(connection.Errors == 0 && connection.OtherCalls == 0, "no error reported, nothing else called", &d);
    }
    CheckDriverObjectsGone(driverDll, "no driver object left at the end");
    CoUninitialize();
    Finish();
}

extern "C" void HostStart() {
    SetUnhandledExceptionFilter(&LastChance);
    Run();
}
