#include <windows.h>

#include "platform/platform.h"

namespace platform {

std::u16string SystemErrorMessage(int32_t hresult) {
    wchar_t* buffer = nullptr;
    DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hresult), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::u16string message;
    if (buffer) {
        message.assign(reinterpret_cast<const char16_t*>(buffer), length);
        ::LocalFree(buffer);
    }
    // Line breaks, blanks and full stops at the end are cut.
    size_t n = message.size();
    while (n > 0 && (message[n - 1] <= u' ' || message[n - 1] == u'.')) --n;
    message.resize(n);
    return message;
}

}  // namespace platform
