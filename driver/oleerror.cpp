#include "driver/oleerror.h"

#include <cstdio>

#include "platform/platform.h"

std::u16string TrimErrorDescription(const std::u16string& description) {
    size_t n = description.size();
    while (n > 0 && (description[n - 1] <= u' ' || description[n - 1] == u'.')) --n;
    return description.substr(0, n);
}

std::u16string OleErrorCodeText(int32_t code) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.8x", static_cast<unsigned>(static_cast<uint32_t>(code)));
    std::u16string result = u"OLE error ";
    for (const char* p = buf; *p; ++p) result += static_cast<char16_t>(*p);
    return result;
}

std::u16string HResultText(int32_t code) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%.8X", static_cast<unsigned>(static_cast<uint32_t>(code)));
    return std::u16string(buf, buf + std::char_traits<char>::length(buf));
}

std::u16string StatusMessage(int32_t code) {
    std::u16string message = platform::SystemErrorMessage(code);
    return message.empty() ? OleErrorCodeText(code) : message;
}

std::u16string OleErrorMessage(int32_t code, const std::u16string& description) {
    std::u16string trimmed = TrimErrorDescription(description);
    return trimmed.empty() ? StatusMessage(code) : trimmed;
}
