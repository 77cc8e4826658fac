#include "platform/text.h"

namespace text {

namespace {

void AppendUtf16(std::u16string& out, uint32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

constexpr uint32_t Replacement = 0xFFFD;

}  // namespace

std::u16string FromUtf8(const std::string& s) {
    std::u16string out;
    out.reserve(s.size());
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
        const uint8_t b = static_cast<uint8_t>(s[i]);
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        size_t extra;
        uint32_t cp;
        uint32_t minimum;
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1; cp = b & 0x1F; minimum = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2; cp = b & 0x0F; minimum = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3; cp = b & 0x07; minimum = 0x10000;
        } else {
            out.push_back(static_cast<char16_t>(Replacement));
            ++i;
            continue;
        }
        size_t j = 1;
        for (; j <= extra && i + j < n; ++j) {
            const uint8_t c = static_cast<uint8_t>(s[i + j]);
            if ((c & 0xC0) != 0x80) break;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (j <= extra || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            // Malformed sequence: one replacement for the bytes consumed.
            out.push_back(static_cast<char16_t>(Replacement));
            i += j;
            continue;
        }
        AppendUtf16(out, cp);
        i += extra + 1;
    }
    return out;
}

std::string ToUtf8(const std::u16string& s) {
    std::string out;
    out.reserve(s.size());
    const size_t n = s.size();
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = Replacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string FromInt(int64_t value) { return std::u16string(TDecimal(value).View()); }

TDecimal::TDecimal(int64_t value) : FStart(Capacity) {
    // Work on the magnitude as unsigned so that the smallest value is exact.
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        FUnits[--FStart] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) FUnits[--FStart] = u'-';
}

bool TryParseInt32(const std::u16string& s, int32_t& value) {
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    if (i == s.size()) return false;
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t magnitude = 0;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c < u'0' || c > u'9') return false;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > limit) return false;
    }
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

size_t Length(const char16_t* s) {
    if (s == nullptr) return 0;
    size_t n = 0;
    while (s[n] != 0) ++n;
    return n;
}

std::u16string Join(std::initializer_list<std::u16string_view> parts) {
    size_t size = 0;
    for (std::u16string_view part : parts) size += part.size();
    std::u16string joined;
    joined.reserve(size);
    for (std::u16string_view part : parts)
        if (!part.empty()) joined.append(part.data(), part.size());
    return joined;
}

}  // namespace text
