#include "component/description.h"

#include "driver/description.h"

const char16_t* const OwnIntegrationComponentVersion = u"4007";

std::u16string BuildOwnDescription() {
    return BuildDriverDescription(false, u"1.0", OwnIntegrationComponentVersion);
}
