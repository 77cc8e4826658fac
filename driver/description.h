// The description document "DriverDescription": one builder for the
// component's own document and the adapter's.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

extern const char16_t* const DriverDescriptionName;  // Name and Description
extern const char16_t* const DriverDownloadURL;

// The ten attributes of the root element, in document order.
std::vector<platform::XmlAttribute> DriverDescriptionAttributes(bool MainDriverInstalled,
                                                                const std::u16string& DriverVersion,
                                                                const std::u16string& IntegrationComponentVersion);

// The serialised document as handed to the host: built through the platform's
// XML DOM, then every line ended by CR LF.
std::u16string BuildDriverDescription(bool MainDriverInstalled, const std::u16string& DriverVersion,
                                      const std::u16string& IntegrationComponentVersion);

// Splits a text at CR LF, CR or LF and joins the lines again, each one (the
// last included) ended by CR LF. Empty text stays empty.
std::u16string JoinLinesCrLf(const std::u16string& Text);
