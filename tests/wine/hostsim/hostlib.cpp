#include "tests/wine/hostsim/hostlib.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace hostsim {

// --- Text and output --------------------------------------------------------

std::string Utf8(const std::u16string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string Utf8(const std::wstring& s) { return Utf8(Utf16(s)); }

std::u16string Utf16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

std::u16string Utf16(const std::string& utf8) {
    std::u16string out;
    size_t i = 0;
    while (i < utf8.size()) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        uint32_t c = 0xFFFD;
        size_t n = 1;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            c = ((b & 0x1F) << 6) | (utf8[i + 1] & 0x3F);
            n = 2;
        } else if ((b & 0xF0) == 0xE0 && i + 2 < utf8.size()) {
            c = ((b & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F);
            n = 3;
        } else if ((b & 0xF8) == 0xF0 && i + 3 < utf8.size()) {
            c = ((b & 0x07) << 18) | ((utf8[i + 1] & 0x3F) << 12) | ((utf8[i + 2] & 0x3F) << 6) |
                (utf8[i + 3] & 0x3F);
            n = 4;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += n;
    }
    return out;
}

void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fflush(stdout);
}

std::string Describe(const V8Variant& v) {
    char buf[96];
    switch (v.vt) {
        case VTYPE_EMPTY: return "EMPTY";
        case VTYPE_NULL: return "NULL";
        case VTYPE_I2: std::snprintf(buf, sizeof buf, "I2 %d", v.VarEnum.shortVal); return buf;
        case VTYPE_I4: std::snprintf(buf, sizeof buf, "I4 %ld", static_cast<long>(v.VarEnum.lVal)); return buf;
        case VTYPE_R8: std::snprintf(buf, sizeof buf, "R8 %.17g", v.VarEnum.dblVal); return buf;
        case VTYPE_DATE: std::snprintf(buf, sizeof buf, "DATE %.17g", v.VarEnum.date); return buf;
        case VTYPE_BOOL: return v.VarEnum.bVal ? "BOOL true" : "BOOL false";
        case VTYPE_PWSTR: return "PWSTR \"" + Utf8(fakehost::ReadWString(v)) + "\"";
        case VTYPE_PSTR: return "PSTR \"" + fakehost::ReadBytes(v) + "\"";
        case VTYPE_BLOB:
            std::snprintf(buf, sizeof buf, "BLOB %lu bytes", static_cast<unsigned long>(v.VarEnum.vtRecString.strLen));
            return buf;
        default: std::snprintf(buf, sizeof buf, "vt %lu", static_cast<unsigned long>(v.vt)); return buf;
    }
}

// --- Checks -----------------------------------------------------------------

bool TCheckList::Check(bool ok, const std::string& what, const std::string& detail) {
    if (ok) {
        ++FPassed;
        Say("PASS: %s\n", what.c_str());
    } else {
        ++FFailed;
        Say("FAIL: %s%s%s%s\n", what.c_str(), detail.empty() ? "" : " (", detail.c_str(), detail.empty() ? "" : ")");
    }
    return ok;
}

bool TCheckList::Equal(const std::u16string& got, const std::u16string& expected, const std::string& what) {
    return Check(got == expected, what, "got \"" + Utf8(got) + "\", expected \"" + Utf8(expected) + "\"");
}

bool TCheckList::Equal(int64_t got, int64_t expected, const std::string& what) {
    return Check(got == expected, what,
                 "got " + std::to_string(got) + ", expected " + std::to_string(expected));
}

void TCheckList::Section(const std::string& title) { Say("-- %s\n", title.c_str()); }

int TCheckList::Summary() {
    Say("SUMMARY: %d passed, %d failed\n", FPassed, FFailed);
    return FFailed;
}

// --- The add-in library -----------------------------------------------------

namespace {

std::string LastErrorText(DWORD code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = "error " + std::to_string(code);
    if (text != nullptr) {
        out += ": " + Utf8(std::wstring(text));
        LocalFree(text);
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
    }
    return out;
}

template <class T>
T Export(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

bool THostLibrary::Load(const std::wstring& path) {
    Unload();
    FError.clear();
    FModule = LoadLibraryW(path.c_str());
    if (FModule == nullptr) {
        FError = "LoadLibraryW(" + Utf8(path) + "): " + LastErrorText(GetLastError());
        return false;
    }
    GetClassObject = Export<TGetClassObject>(FModule, "GetClassObject");
    GetClassNames = Export<TGetClassNames>(FModule, "GetClassNames");
    DestroyObject = Export<TDestroyObject>(FModule, "DestroyObject");
    std::string missing;
    if (GetClassObject == nullptr) missing += " GetClassObject";
    if (GetClassNames == nullptr) missing += " GetClassNames";
    if (DestroyObject == nullptr) missing += " DestroyObject";
    if (!missing.empty()) {
        FError = "missing exports:" + missing;
        return false;
    }
    return true;
}

void THostLibrary::Unload() {
    if (FModule != nullptr) FreeLibrary(FModule);
    FModule = nullptr;
    GetClassObject = nullptr;
    GetClassNames = nullptr;
    DestroyObject = nullptr;
}

std::vector<std::u16string> THostLibrary::ClassNames() {
    std::vector<std::u16string> names;
    if (GetClassNames == nullptr) return names;
    const char16_t* p = GetClassNames();
    if (p == nullptr) return names;
    std::u16string all(p), one;
    for (char16_t c : all) {
        if (c == u'|') {
            names.push_back(one);
            one.clear();
        } else {
            one += c;
        }
    }
    if (!all.empty()) names.push_back(one);
    return names;
}

// --- THostObject ------------------------------------------------------------

int32_t THostObject::Create(const std::u16string& name) {
    Destroy();
    FBase = Sentinel();
    FManager = nullptr;
    return FLibrary.GetClassObject(name.c_str(), &FBase);
}

int32_t THostObject::Destroy() {
    if (!Valid() || FLibrary.DestroyObject == nullptr) return 0;
    int32_t result = FLibrary.DestroyObject(&FBase);
    FBase = nullptr;
    return result;
}

bool THostObject::Init(TV8AddInDefBase* connection) { return InitDoneSlots().Init(connection); }

bool THostObject::SetMemManager(TV8MemoryManager* manager) {
    FManager = manager;
    return InitDoneSlots().SetMemManager(manager);
}

int32_t THostObject::GetInfo() { return InitDoneSlots().GetInfo(); }
void THostObject::Done() { InitDoneSlots().Done(); }
void THostObject::SetLocale(const char16_t* locale) { LocaleSlots().SetLocale(locale); }

std::u16string THostObject::TakeText(const char16_t* p) {
    if (p == nullptr) return std::u16string();
    std::u16string text(p);
    if (FManager != nullptr) {
        void* block = const_cast<char16_t*>(p);
        FManager->vtbl->FreeMemory(FManager, &block);
    }
    return text;
}

bool THostObject::RegisterExtensionAs(std::u16string& name) {
    char16_t* p = nullptr;
    bool ok = ExtSlots().RegisterExtensionAs(&p);
    name = TakeText(p);
    return ok;
}

int32_t THostObject::GetNProps() { return ExtSlots().GetNProps(); }
int32_t THostObject::FindProp(const std::u16string& name) { return ExtSlots().FindProp(name.c_str()); }

std::u16string THostObject::GetPropName(int32_t index, int32_t alias, bool* ok) {
    const char16_t* p = ExtSlots().GetPropName(index, alias);
    if (ok != nullptr) *ok = p != nullptr;
    return TakeText(p);
}

bool THostObject::GetPropVal(int32_t index, V8Variant& value) {
    return ExtSlots().GetPropVal(index, &value);
}
bool THostObject::SetPropVal(int32_t index, V8Variant& value) {
    return ExtSlots().SetPropVal(index, &value);
}
bool THostObject::IsPropReadable(int32_t index) { return ExtSlots().IsPropReadable(index); }
bool THostObject::IsPropWritable(int32_t index) { return ExtSlots().IsPropWritable(index); }
int32_t THostObject::GetNMethods() { return ExtSlots().GetNMethods(); }
int32_t THostObject::FindMethod(const std::u16string& name) {
    return ExtSlots().FindMethod(name.c_str());
}

std::u16string THostObject::GetMethodName(int32_t index, int32_t alias, bool* ok) {
    const char16_t* p = ExtSlots().GetMethodName(index, alias);
    if (ok != nullptr) *ok = p != nullptr;
    return TakeText(p);
}

int32_t THostObject::GetNParams(int32_t index) { return ExtSlots().GetNParams(index); }
bool THostObject::GetParamDefValue(int32_t method, int32_t param, V8Variant& value) {
    return ExtSlots().GetParamDefValue(method, param, &value);
}
bool THostObject::HasRetVal(int32_t index) { return ExtSlots().HasRetVal(index); }
bool THostObject::CallAsProc(int32_t index, V8Variant* params, int32_t count) {
    return ExtSlots().CallAsProc(index, params, count);
}
bool THostObject::CallAsFunc(int32_t index, V8Variant& result, V8Variant* params, int32_t count) {
    return ExtSlots().CallAsFunc(index, &result, params, count);
}

bool THostObject::CallByName(const std::u16string& name, V8Variant& result, std::vector<V8Variant>& params) {
    const int32_t index = FindMethod(name);
    if (index < 0) return false;
    return CallAsFunc(index, result, params.empty() ? nullptr : params.data(), static_cast<int32_t>(params.size()));
}

// --- Modes and files --------------------------------------------------------

std::vector<TModeEntry>& Modes() {
    static std::vector<TModeEntry> modes;
    return modes;
}

THostMode::THostMode(const char* name, const char* usage, TModeFunc run) {
    Modes().push_back(TModeEntry{name, usage, run});
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
    bytes.clear();
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
    CloseHandle(h);
    return true;
}

}  // namespace hostsim
