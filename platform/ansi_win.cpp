// Conversion between UTF-16 and the system's ANSI code page on Windows.
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "platform/platform.h"

namespace platform {

namespace {

// What the conversion needs to know of the ANSI code page, read once: it
// does not change while the process runs.
struct TAnsiCodePage {
    // Characters the code page cannot represent become its default character,
    // not a look-alike. The UTF-8 code page takes no such flag (and needs none).
    DWORD Flags = WC_NO_BEST_FIT_CHARS;
    // A single-byte code page converts one unit to one byte. The conversion
    // with the no-best-fit flag costs several times the plain one, so for
    // these the plain one is used and each byte that does not read back as
    // the unit it came from (a best-fit look-alike) becomes the default
    // character: what the flag does.
    bool SingleByte = false;
    char Default = '?';
    uint32_t Back[256] = {};  // the unit each byte reads as; 0x10000 for none

    TAnsiCodePage() {
        const UINT acp = GetACP();
        if (acp == CP_UTF8) Flags = 0;
        CPINFO info;
        if (acp == CP_UTF8 || !GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 1) return;
        Default = static_cast<char>(info.DefaultChar[0]);
        for (int b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            wchar_t unit = 0;
            Back[b] = MultiByteToWideChar(CP_ACP, 0, &byte, 1, &unit, 1) == 1 ? static_cast<uint32_t>(unit) : 0x10000u;
        }
        SingleByte = true;
    }
};

const TAnsiCodePage& AnsiCodePage() {
    static const TAnsiCodePage codePage;
    return codePage;
}

// The length of the conversion with the no-best-fit flag, and the flags that
// gave it (none when the code page refuses the flag); 0 when it fails.
int Measure(const wchar_t* source, int sourceLength, DWORD& flags) {
    flags = AnsiCodePage().Flags;
    int length = WideCharToMultiByte(CP_ACP, flags, source, sourceLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0 && flags != 0) {
        flags = 0;
        length = WideCharToMultiByte(CP_ACP, flags, source, sourceLength, nullptr, 0, nullptr, nullptr);
    }
    return length > 0 ? length : 0;
}

}  // namespace

bool ToAnsi(const char16_t* s, size_t count, char* out, size_t capacity, size_t& length) {
    length = 0;
    if (count == 0) return true;
    if (count > 0x7FFFFFFF || capacity > 0x7FFFFFFF) return false;
    // ASCII is the same bytes in every ANSI code page (and in UTF-8), and
    // most texts of the log are ASCII only.
    if (count <= capacity) {
        size_t i = 0;
        // Four units at a time while none has a bit above the seventh.
        for (uint64_t units = 0; i + 4 <= count; i += 4) {
            std::memcpy(&units, s + i, sizeof units);
            if ((units & 0xFF80FF80FF80FF80u) != 0) break;
            out[i] = static_cast<char>(units);
            out[i + 1] = static_cast<char>(units >> 16);
            out[i + 2] = static_cast<char>(units >> 32);
            out[i + 3] = static_cast<char>(units >> 48);
        }
        while (i < count && s[i] < 0x80) {
            out[i] = static_cast<char>(s[i]);
            ++i;
        }
        if (i == count) {
            length = count;
            return true;
        }
    }
    const wchar_t* source = reinterpret_cast<const wchar_t*>(s);
    const int sourceLength = static_cast<int>(count);
    const TAnsiCodePage& codePage = AnsiCodePage();
    if (codePage.SingleByte) {
        if (count > capacity) return false;
        int n = WideCharToMultiByte(CP_ACP, 0, source, sourceLength, out, static_cast<int>(capacity), nullptr, nullptr);
        if (n == sourceLength) {
            for (size_t i = 0; i < count; ++i)
                if (codePage.Back[static_cast<unsigned char>(out[i])] != static_cast<uint32_t>(s[i]))
                    out[i] = codePage.Default;
            length = count;
            return true;
        }
        // Not one byte per unit after all: the system decides.
    }
    DWORD flags = 0;
    const int needed = Measure(source, sourceLength, flags);
    if (needed <= 0) return true;  // the conversion failed: nothing
    if (static_cast<size_t>(needed) > capacity) return false;
    const int n = WideCharToMultiByte(CP_ACP, flags, source, sourceLength, out, needed, nullptr, nullptr);
    length = n > 0 ? static_cast<size_t>(n) : 0;
    return true;
}

std::string ToAnsi(const std::u16string& s) {
    if (s.empty()) return std::string();
    // Enough for any single-byte code page; measured when it is not.
    std::string result(s.size(), '\0');
    size_t length = 0;
    if (!ToAnsi(s.data(), s.size(), &result[0], result.size(), length)) {
        DWORD flags = 0;
        const int needed = Measure(reinterpret_cast<const wchar_t*>(s.data()), static_cast<int>(s.size()), flags);
        result.assign(needed > 0 ? static_cast<size_t>(needed) : 0, '\0');
        if (result.empty() || !ToAnsi(s.data(), s.size(), &result[0], result.size(), length)) length = 0;
    }
    result.resize(length);
    return result;
}

std::u16string FromAnsi(const std::string& s) {
    if (s.empty()) return std::u16string();
    int sourceLength = static_cast<int>(s.size());
    int length = MultiByteToWideChar(CP_ACP, 0, s.data(), sourceLength, nullptr, 0);
    if (length <= 0) return std::u16string();
    std::u16string result(static_cast<size_t>(length), u'\0');
    length = MultiByteToWideChar(CP_ACP, 0, s.data(), sourceLength, reinterpret_cast<wchar_t*>(&result[0]), length);
    result.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return result;
}

}  // namespace platform
