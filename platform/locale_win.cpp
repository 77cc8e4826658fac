// Locale services on Windows.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>

#include "platform/platform.h"
#include "platform/text.h"

namespace platform {

namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

char16_t ReadSystemSeparator() {
    wchar_t buffer[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8) > 1 && buffer[0] != 0)
        return static_cast<char16_t>(buffer[0]);
    return u'.';
}

char16_t SystemSeparator() {
    static const char16_t separator = ReadSystemSeparator();
    return separator;
}

// Read when the library starts.
[[maybe_unused]] const char16_t SeparatorAtLoad = SystemSeparator();

// Converts through OLE Automation; false when it fails.
bool VariantText(double value, LCID lcid, std::u16string& out) {
    BSTR b = nullptr;
    if (FAILED(VarBstrFromR8(value, lcid, 0, &b)) || b == nullptr) return false;
    out.assign(reinterpret_cast<const char16_t*>(b), SysStringLen(b));
    SysFreeString(b);
    return true;
}

}  // namespace

bool SameName(const std::u16string& a, const std::u16string& b) {
    return CompareStringW(LOCALE_USER_DEFAULT, 0, W(a), static_cast<int>(a.size()), W(b),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

bool NameSortKey(std::u16string_view name, std::string& key) {
    key.clear();
    if (name.empty() || name.size() > 0x7FFFFFF) return false;
    const int length = static_cast<int>(name.size());
    const wchar_t* source = reinterpret_cast<const wchar_t*>(name.data());
    // Keys of names run to a few bytes per unit; ask for the size only when
    // that is not enough.
    key.resize(4 * name.size() + 32);
    int made = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY, source, length, reinterpret_cast<wchar_t*>(&key[0]),
                            static_cast<int>(key.size()));
    if (made <= 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        const int needed = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY, source, length, nullptr, 0);
        if (needed <= 0) return false;
        key.resize(static_cast<size_t>(needed));
        made = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY, source, length, reinterpret_cast<wchar_t*>(&key[0]),
                            needed);
    }
    if (made <= 0) {
        key.clear();
        return false;
    }
    key.resize(static_cast<size_t>(made));
    return true;
}

char16_t UserDecimalSeparator() { return SystemSeparator(); }

std::u16string FormatDouble(double value) {
    std::u16string result;
    if (VariantText(value, LOCALE_USER_DEFAULT, result)) return result;
    // Invariant form with the separator put in place.
    if (!VariantText(value, LOCALE_INVARIANT, result)) {
        char buffer[64];
        std::snprintf(buffer, sizeof(buffer), "%.15G", value);
        result = text::FromUtf8(buffer);
    }
    const char16_t separator = UserDecimalSeparator();
    for (char16_t& c : result) {
        if (c == u'.') c = separator;
    }
    return result;
}

}  // namespace platform
