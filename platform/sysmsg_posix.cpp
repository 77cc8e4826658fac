#include "platform/platform.h"

namespace platform {

// Without the system's message tables only the codes the library itself
// reports have a text.
std::u16string SystemErrorMessage(int32_t hresult) {
    switch (static_cast<uint32_t>(hresult)) {
        case 0x8000FFFFu: return u"Catastrophic failure";
        case 0x80004005u: return u"Unspecified error";
        case 0x80004001u: return u"Not implemented";
        case 0x80070057u: return u"The parameter is incorrect";
        default: return std::u16string();
    }
}

}  // namespace platform
