// The "ANSI" code page of a POSIX system is UTF-8.
#include "platform/platform.h"
#include "platform/text.h"

namespace platform {

std::string ToAnsi(const std::u16string& s) {
    return text::ToUtf8(s);
}

std::u16string FromAnsi(const std::string& s) {
    return text::FromUtf8(s);
}

}  // namespace platform
