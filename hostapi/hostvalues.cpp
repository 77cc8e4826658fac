#include "hostapi/hostvalues.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "hostapi/textscan.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

uint32_t TypeOf(const V8Variant* V) { return V->vt & 0xFFF; }

// Decimal floating-point text: optional sign, digits with an optional
// fractional part after the given separator, optional exponent. Nothing else
// (no blanks, no grouping). False when the text does not have that form or
// the number is out of range.
bool TryParseDouble(const std::u16string& s, char16_t separator, double& value) {
    std::string ascii;
    ascii.reserve(s.size());
    size_t i = 0;
    const size_t n = s.size();
    auto isDigit = [&](size_t k) { return k < n && s[k] >= u'0' && s[k] <= u'9'; };
    if (i < n && (s[i] == u'+' || s[i] == u'-')) {
        if (s[i] == u'-') ascii.push_back('-');
        ++i;
    }
    size_t digits = 0;
    while (isDigit(i)) {
        ascii.push_back(static_cast<char>(s[i++]));
        ++digits;
    }
    if (i < n && s[i] == separator) {
        ascii.push_back('.');
        ++i;
        while (isDigit(i)) {
            ascii.push_back(static_cast<char>(s[i++]));
            ++digits;
        }
    }
    if (digits == 0) return false;
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        ascii.push_back('e');
        ++i;
        if (i < n && (s[i] == u'+' || s[i] == u'-')) ascii.push_back(static_cast<char>(s[i++]));
        if (!isDigit(i)) return false;
        while (isDigit(i)) ascii.push_back(static_cast<char>(s[i++]));
    }
    if (i != n) return false;
    double parsed = 0.0;
    const char* first = ascii.data();
    const char* last = first + ascii.size();
    const auto result = std::from_chars(first, last, parsed);
    if (result.ec != std::errc() || result.ptr != last || !std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

}  // namespace

bool V8Alloc(TV8MemoryManager* manager, void** p, uint32_t bytes) {
    if (manager == nullptr || manager->vtbl == nullptr || manager->vtbl->AllocMemory == nullptr)
        return false;
    return manager->vtbl->AllocMemory(manager, p, bytes);
}

void V8Free(TV8MemoryManager* manager, void** p) {
    if (manager == nullptr || manager->vtbl == nullptr || manager->vtbl->FreeMemory == nullptr)
        return;
    manager->vtbl->FreeMemory(manager, p);
}

bool V8CopyWString(TV8MemoryManager* manager, std::u16string_view text, char16_t** p) {
    if (p == nullptr) return false;
    *p = nullptr;
    if (manager == nullptr) return false;
    const size_t n = text.size();
    if (n > (UINT32_MAX - 2) / 2) return false;
    void* block = nullptr;
    if (!V8Alloc(manager, &block, static_cast<uint32_t>(2 * n + 2))) {
        *p = static_cast<char16_t*>(block);
        return false;
    }
    *p = static_cast<char16_t*>(block);
    if (block == nullptr) return false;
    if (n != 0) std::memcpy(block, text.data(), 2 * n);
    (*p)[n] = 0;
    return true;
}

int32_t TruncateToInt32(double value) {
    // The range of a 64-bit signed integer, both bounds exact as doubles.
    if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0)) return 0;
    const int64_t whole = static_cast<int64_t>(value);  // truncates toward zero
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(whole)));
}

const char16_t* V8GetPWideChar(const V8Variant* V) {
    if (V == nullptr || TypeOf(V) != VTYPE_PWSTR) return nullptr;
    return V->VarEnum.vtRecWideString.pwstrVal;
}

std::u16string V8GetWString(const V8Variant* V) { return std::u16string(V8GetWStringView(V)); }

std::u16string_view V8GetWStringView(const V8Variant* V) {
    const char16_t* p = V8GetPWideChar(V);
    if (p == nullptr) return std::u16string_view();
    return std::u16string_view(p, textscan::Length(p));
}

int32_t V8GetInt(const V8Variant* V) {
    if (V != nullptr && TypeOf(V) == VTYPE_I4) return V->VarEnum.lVal;
    return V8ConvInt(V);
}

int32_t V8ConvInt(const V8Variant* V) {
    if (V == nullptr) return 0;
    const TVarEnum& u = V->VarEnum;
    switch (TypeOf(V)) {
        case VTYPE_I2: return u.shortVal;
        case VTYPE_I4:
        case VTYPE_ERROR:
        case VTYPE_UI4: return u.lVal;
        case VTYPE_R4: return TruncateToInt32(u.fltVal);
        case VTYPE_R8: return TruncateToInt32(u.dblVal);
        case VTYPE_DATE: return TruncateToInt32(u.date);
        case VTYPE_I1: return u.i8Val;
        case VTYPE_UI1: return u.ui8Val;
        case VTYPE_UI2: return u.ushortVal;
        case VTYPE_PWSTR: {
            int32_t value = 0;
            return text::TryParseInt32(V8GetWString(V), value) ? value : 0;
        }
        default: return 0;
    }
}

double V8GetDouble(const V8Variant* V) {
    if (V != nullptr && TypeOf(V) == VTYPE_R8) return V->VarEnum.dblVal;
    return V8ConvDouble(V);
}

double V8ConvDouble(const V8Variant* V) {
    if (V == nullptr) return 0.0;
    const TVarEnum& u = V->VarEnum;
    switch (TypeOf(V)) {
        case VTYPE_I2: return u.shortVal;
        case VTYPE_I4: return u.lVal;
        case VTYPE_R4: return u.fltVal;
        case VTYPE_DATE: return u.date;
        case VTYPE_ERROR: return u.errCode;
        case VTYPE_UI1: return u.ui8Val;
        case VTYPE_PWSTR: {
            double value = 0.0;
            return TryParseDouble(V8GetWString(V), platform::UserDecimalSeparator(), value) ? value
                                                                                             : 0.0;
        }
        default: return 0.0;
    }
}

bool V8GetBool(const V8Variant* V) {
    if (V != nullptr && TypeOf(V) == VTYPE_BOOL) return V->VarEnum.bVal != 0;
    return V8ConvInt(V) != 0;
}

TAutoValue V8GetVariant(const V8Variant* V) {
    if (V == nullptr) return TAutoValue();
    switch (TypeOf(V)) {
        case VTYPE_I4: return TAutoValue::FromInt(V8GetInt(V));
        case VTYPE_R8: return TAutoValue::FromDouble(V8GetDouble(V));
        case VTYPE_PSTR:
        case VTYPE_PWSTR: return TAutoValue::FromText(V8GetWString(V));
        case VTYPE_BOOL: return TAutoValue::FromBool(V8GetBool(V));
        default: return TAutoValue();
    }
}
