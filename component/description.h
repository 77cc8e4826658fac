// The component's own description document, answered when the fiscal driver
// cannot be reached.
#pragma once

#include <string>

// Version of the integration component reported in the own document.
extern const char16_t* const OwnIntegrationComponentVersion;

std::u16string BuildOwnDescription();
