#include <cstdio>

#include "kelmorcheck/checks.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace kelmorcheck {

const char16_t* const ClassName = u"KelmorTarvik1C4";
const char16_t* const DriverClassText = u"{32D32C7A-CEF9-4AC5-8953-3D6DF81ABBD6}";
const char16_t* const MainClassText = u"{E187099F-8C5C-4723-8866-D8DBB6353ADE}";
const char16_t* const DriverInterfaceText = u"{E390D34B-02C3-46C8-803C-DB8131AC5331}";
const char16_t* const LogPath = u"e:\\lll.txt";

std::u16string Decimal(uint64_t value) { return text::FromInt(static_cast<int64_t>(value)); }

std::u16string Hex32(uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(value));
    return text::FromUtf8(buf);
}

std::u16string SystemText(uint32_t code) {
    std::u16string message = platform::SystemErrorMessage(static_cast<int32_t>(code));
    // A Win32 error wrapped in an HRESULT: not every system has a text for
    // the wrapped code, every one has it for the error itself.
    if (message.empty() && (code & 0xFFFF0000u) == 0x80070000u)
        message = platform::SystemErrorMessage(static_cast<int32_t>(code & 0xFFFFu));
    // Win32 errors are known by their decimal numbers, HRESULTs in hex.
    const std::u16string number = code < 0x10000 ? u"код " + Decimal(code) : Hex32(code);
    return message.empty() ? number : u"«" + message + u"» (" + number + u")";
}

std::u16string BitsAdjective(int bits, const char16_t* ending) {
    return Decimal(static_cast<uint64_t>(bits)) + u"-разрядн" + ending;
}

bool FileExists(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(W(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace kelmorcheck
