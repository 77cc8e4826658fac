// Conversion between UTF-16 and the system's ANSI code page on Windows.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

std::string ToAnsi(const std::u16string& s) {
    if (s.empty()) return std::string();
    const wchar_t* source = reinterpret_cast<const wchar_t*>(s.data());
    int sourceLength = static_cast<int>(s.size());
    // Characters the code page cannot represent become its default character,
    // not a look-alike. The UTF-8 code page takes no such flag (and needs none).
    DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int length = WideCharToMultiByte(CP_ACP, flags, source, sourceLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0 && flags != 0) {
        flags = 0;
        length = WideCharToMultiByte(CP_ACP, flags, source, sourceLength, nullptr, 0, nullptr, nullptr);
    }
    if (length <= 0) return std::string();
    std::string result(static_cast<size_t>(length), '\0');
    length = WideCharToMultiByte(CP_ACP, flags, source, sourceLength, &result[0], length, nullptr, nullptr);
    result.resize(length > 0 ? static_cast<size_t>(length) : 0);
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
