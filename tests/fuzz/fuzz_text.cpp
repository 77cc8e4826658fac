// Text parsing and conversion under arbitrary input:
//   - text::TryParseInt32 against a reference reader, and text::FromInt read back;
//   - the number text reader of host values (a PWSTR record read with
//     V8ConvDouble) with "." and "," as the user's decimal separator, against
//     a reference grammar and strtod; numbers written by platform::FormatDouble
//     must read back;
//   - text::FromUtf8 / text::ToUtf8: exact round trip on valid UTF-8, valid
//     UTF-8 out of any UTF-16, and a stable result after one pass on any bytes.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hostapi/hostvalues.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "tests/fuzz/fuzzcheck.h"
#include "tests/support/decimalseparator.h"

using fuzzcheck::Printable;

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool SameDouble(double a, double b) { return a == b && std::signbit(a) == std::signbit(b); }

// Optional sign and decimal digits only; 32-bit signed range.
bool ReferenceInt32(const std::u16string& s, int32_t& value) {
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
    if (i == s.size()) return false;
    for (size_t k = i; k < s.size(); ++k)
        if (!IsDigit(s[k])) return false;
    while (i + 1 < s.size() && s[i] == u'0') ++i;  // leading zeros do not count
    if (s.size() - i > 10) return false;
    int64_t magnitude = 0;
    for (; i < s.size(); ++i) magnitude = magnitude * 10 + (s[i] - u'0');
    if (magnitude > (negative ? 2147483648LL : 2147483647LL)) return false;
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

// Sign, digits with one optional separator, at least one digit, optional
// exponent with at least one digit; the same text in C notation.
bool ReferenceNumberForm(const std::u16string& s, char16_t separator, std::string& c) {
    size_t i = 0;
    const size_t n = s.size();
    c.clear();
    if (i < n && (s[i] == u'+' || s[i] == u'-')) c += static_cast<char>(s[i++]);
    size_t digits = 0;
    for (; i < n && IsDigit(s[i]); ++i, ++digits) c += static_cast<char>(s[i]);
    if (i < n && s[i] == separator) {
        c += '.';
        for (++i; i < n && IsDigit(s[i]); ++i, ++digits) c += static_cast<char>(s[i]);
    }
    if (digits == 0) return false;
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        c += 'e';
        ++i;
        if (i < n && (s[i] == u'+' || s[i] == u'-')) c += static_cast<char>(s[i++]);
        if (i == n || !IsDigit(s[i])) return false;
        for (; i < n && IsDigit(s[i]); ++i) c += static_cast<char>(s[i]);
    }
    return i == n;
}

double ReadNumberText(std::u16string s) {
    V8Variant v{};
    v.vt = VTYPE_PWSTR;
    v.VarEnum.vtRecWideString.pwstrVal = &s[0];
    v.VarEnum.vtRecWideString.wstrLen = static_cast<uint32_t>(s.size());
    return V8ConvDouble(&v);
}

void CheckInt32(const std::u16string& s) {
    int32_t expected = 0;
    int32_t value = 12345;
    const bool ok = text::TryParseInt32(s, value);
    FUZZ_CHECK(ok == ReferenceInt32(s, expected), Printable(s));
    if (ok) FUZZ_CHECK(value == expected, Printable(s));
}

void CheckNumberText(const std::u16string& s, char16_t separator) {
    platform::SetUserDecimalSeparatorForTests(separator);
    const double got = ReadNumberText(s);
    std::string c;
    const std::string what = Printable(s) + " with separator " + static_cast<char>(separator);
    if (!ReferenceNumberForm(s, separator, c)) {
        FUZZ_CHECK(SameDouble(got, 0.0), what);
        return;
    }
    errno = 0;
    char* end = nullptr;
    const double expected = std::strtod(c.c_str(), &end);
    const bool outOfRange = errno == ERANGE || !std::isfinite(expected);
    FUZZ_CHECK(end == c.c_str() + c.size(), what);
    if (outOfRange)
        FUZZ_CHECK(SameDouble(got, 0.0) || SameDouble(got, expected), what);
    else
        FUZZ_CHECK(SameDouble(got, expected), what);
}

void CheckFormattedNumbers(double d) {
    if (!std::isfinite(d)) return;
    // The text written has 15 significant digits; it reads back as the
    // number it spells (0 allowed where that number is out of range).
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", d);
    errno = 0;
    const double written = std::strtod(buf, nullptr);
    const bool outOfRange = errno == ERANGE || !std::isfinite(written);
    for (char16_t separator : {u'.', u','}) {
        platform::SetUserDecimalSeparatorForTests(separator);
        const std::u16string s = platform::FormatDouble(d);
        const double back = ReadNumberText(s);
        FUZZ_CHECK(back == written || (outOfRange && back == 0.0), "FormatDouble read back: " + Printable(s));
    }
}

void CheckUtf8(const std::string& bytes, const std::u16string& wide) {
    const std::u16string decoded = text::FromUtf8(bytes);
    const std::string encoded = text::ToUtf8(decoded);
    FUZZ_CHECK(fuzzcheck::IsValidUtf8(encoded), "ToUtf8 of decoded bytes");
    if (fuzzcheck::IsValidUtf8(bytes)) {
        FUZZ_CHECK(encoded == bytes, "valid UTF-8 round trip");
    } else {
        bool replaced = false;
        for (char16_t ch : decoded) replaced = replaced || ch == 0xFFFD;
        FUZZ_CHECK(replaced, "invalid UTF-8 shows a replacement character");
    }
    // After one pass the text is stable.
    FUZZ_CHECK(text::FromUtf8(encoded) == decoded, "FromUtf8(ToUtf8(FromUtf8(x)))");

    // Any UTF-16: valid UTF-8 out; back in, lone surrogates are U+FFFD.
    const std::string out = text::ToUtf8(wide);
    FUZZ_CHECK(fuzzcheck::IsValidUtf8(out), "ToUtf8 gives valid UTF-8: " + Printable(wide));
    std::u16string expected;
    for (size_t i = 0; i < wide.size(); ++i) {
        const char16_t ch = wide[i];
        if (ch >= 0xD800 && ch <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            expected += ch;
            expected += wide[++i];
        } else if (ch >= 0xD800 && ch <= 0xDFFF) {
            expected += static_cast<char16_t>(0xFFFD);
        } else {
            expected += ch;
        }
    }
    FUZZ_CHECK(text::FromUtf8(out) == expected, "UTF-16 round trip: " + Printable(wide));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string latin = fuzzcheck::Latin1(data, size);
    const std::u16string wide = fuzzcheck::Pairs(data, size);
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    CheckInt32(latin);
    CheckInt32(wide);
    if (size >= 8) {
        int64_t x;
        std::memcpy(&x, data, sizeof x);
        const std::u16string s = text::FromInt(x);
        FUZZ_CHECK(text::ToUtf8(s) == std::to_string(x), "FromInt");
        int32_t back = 0;
        const bool fits = x >= INT32_MIN && x <= INT32_MAX;
        FUZZ_CHECK(text::TryParseInt32(s, back) == fits && (!fits || back == x), "FromInt read back");
        double d;
        std::memcpy(&d, data, sizeof d);
        CheckFormattedNumbers(d);
    }

    // The number reader sees the text up to its first zero code unit.
    const std::u16string latinZ(latin.c_str());
    for (char16_t separator : {u'.', u','}) CheckNumberText(latinZ, separator);
    platform::SetUserDecimalSeparatorForTests(0);

    CheckUtf8(bytes, wide);
    return 0;
}
