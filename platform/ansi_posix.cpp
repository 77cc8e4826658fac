// The "ANSI" code page of a POSIX system is UTF-8.
#include "platform/platform.h"
#include "platform/text.h"

namespace platform {

namespace {

const uint32_t Replacement = 0xFFFD;

bool HighSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool LowSurrogate(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The code point at s[i] (a pair taken whole, a lone surrogate as U+FFFD, as
// text::ToUtf8 does) and how many units it takes.
uint32_t CodePointAt(const char16_t* s, size_t count, size_t i, size_t& units) {
    uint32_t c = s[i];
    units = 1;
    if (HighSurrogate(c) && i + 1 < count && LowSurrogate(s[i + 1])) {
        units = 2;
        return 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(s[i + 1]) - 0xDC00);
    }
    if (HighSurrogate(c) || LowSurrogate(c)) return Replacement;
    return c;
}

size_t Utf8Length(uint32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

}  // namespace

std::string ToAnsi(const std::u16string& s) {
    return text::ToUtf8(s);
}

std::u16string FromAnsi(const std::string& s) {
    return text::FromUtf8(s);
}

bool ToAnsi(const char16_t* s, size_t count, char* out, size_t capacity, size_t& length) {
    // Three bytes per unit at most (a pair of units takes four): measured
    // first only when that bound does not fit.
    if (count > capacity / 3) {
        size_t needed = 0;
        for (size_t i = 0, units = 0; i < count; i += units) needed += Utf8Length(CodePointAt(s, count, i, units));
        if (needed > capacity) return false;
    }
    size_t n = 0;
    for (size_t i = 0, units = 0; i < count; i += units) {
        uint32_t c = CodePointAt(s, count, i, units);
        if (c < 0x80) {
            out[n++] = static_cast<char>(c);
        } else if (c < 0x800) {
            out[n++] = static_cast<char>(0xC0 | (c >> 6));
            out[n++] = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out[n++] = static_cast<char>(0xE0 | (c >> 12));
            out[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out[n++] = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out[n++] = static_cast<char>(0xF0 | (c >> 18));
            out[n++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out[n++] = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    length = n;
    return true;
}

}  // namespace platform
