// Helpers shared by the fuzz targets: invariant checks that stop the run
// (libFuzzer then keeps the input as a crash artifact) and views of the raw
// input as texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/text.h"

#define FUZZ_CHECK(condition, what)                                                          \
    do {                                                                                     \
        if (!(condition)) fuzzcheck::Fail(__FILE__, __LINE__, #condition, what);             \
    } while (0)

namespace fuzzcheck {

[[noreturn]] inline void Fail(const char* file, int line, const char* condition, const std::string& what) {
    std::fprintf(stderr, "INVARIANT FAILED at %s:%d: %s\n  %s\n", file, line, condition, what.c_str());
    std::fflush(stderr);
    std::abort();
}

inline std::string Printable(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        if (c >= 0x20 && c < 0x7F && c != u'\\') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out;
}

// Every byte as one code unit (0..255): keeps digits, signs and separators
// easy to reach for the fuzzer.
inline std::u16string Latin1(const uint8_t* data, size_t size) {
    std::u16string s;
    s.reserve(size);
    for (size_t i = 0; i < size; ++i) s.push_back(static_cast<char16_t>(data[i]));
    return s;
}

// Byte pairs as little-endian code units (any UTF-16, lone surrogates too);
// an odd last byte is dropped.
inline std::u16string Pairs(const uint8_t* data, size_t size) {
    std::u16string s;
    s.reserve(size / 2);
    for (size_t i = 0; i + 1 < size; i += 2)
        s.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    return s;
}

// A reference reader of decimal 32-bit integers: an optional sign and
// decimal digits only, within the signed 32-bit range.
inline bool ReferenceInt32(const std::u16string& s, int32_t& value) {
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
    if (i == s.size()) return false;
    for (size_t k = i; k < s.size(); ++k)
        if (s[k] < u'0' || s[k] > u'9') return false;
    while (i + 1 < s.size() && s[i] == u'0') ++i;  // leading zeros do not count
    if (s.size() - i > 10) return false;
    int64_t magnitude = 0;
    for (; i < s.size(); ++i) magnitude = magnitude * 10 + (s[i] - u'0');
    if (magnitude > (negative ? 2147483648LL : 2147483647LL)) return false;
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

// Strict UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
inline bool IsValidUtf8(const std::string& s) {
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        const uint8_t b = static_cast<uint8_t>(s[i]);
        size_t extra;
        uint32_t cp;
        if (b < 0x80) { ++i; continue; }
        if (b >= 0xC2 && b <= 0xDF) { extra = 1; cp = b & 0x1F; }
        else if (b >= 0xE0 && b <= 0xEF) { extra = 2; cp = b & 0x0F; }
        else if (b >= 0xF0 && b <= 0xF4) { extra = 3; cp = b & 0x07; }
        else return false;
        if (i + extra >= n) return false;
        for (size_t j = 1; j <= extra; ++j) {
            const uint8_t c = static_cast<uint8_t>(s[i + j]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        static const uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

}  // namespace fuzzcheck
