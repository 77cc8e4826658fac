#include "driver/description.h"

const char16_t* const DriverDescriptionName =
    u"Pellmar / Kelmor: Tarvik с передачей данных в ОФД 4.7 (ФФД 1.2)";
const char16_t* const DriverDownloadURL =
    u"https://kelmor.example/support/download/?section_id=76&product_id=all&type_id=156";

std::vector<platform::XmlAttribute> DriverDescriptionAttributes(bool MainDriverInstalled,
                                                                const std::u16string& DriverVersion,
                                                                const std::u16string& IntegrationComponentVersion) {
    return {
        {u"Name", DriverDescriptionName},
        {u"Description", DriverDescriptionName},
        {u"EquipmentType", u"KKT"},
        {u"IntegrationComponent", u"true"},
        {u"MainDriverInstalled", MainDriverInstalled ? u"true" : u"false"},
        {u"DriverVersion", DriverVersion},
        {u"IntegrationComponentVersion", IntegrationComponentVersion},
        {u"DownloadURL", DriverDownloadURL},
        {u"LogIsEnabled", u"true"},
        {u"LogPath", u""},
    };
}

std::u16string BuildDriverDescription(bool MainDriverInstalled, const std::u16string& DriverVersion,
                                      const std::u16string& IntegrationComponentVersion) {
    return JoinLinesCrLf(platform::BuildXmlDocument(
        u"DriverDescription",
        DriverDescriptionAttributes(MainDriverInstalled, DriverVersion, IntegrationComponentVersion)));
}

std::u16string JoinLinesCrLf(const std::u16string& Text) {
    std::u16string result;
    result.reserve(Text.size() + 4);
    size_t i = 0;
    while (i < Text.size()) {
        size_t end = i;
        while (end < Text.size() && Text[end] != u'\r' && Text[end] != u'\n') ++end;
        result.append(Text, i, end - i);
        result += u"\r\n";
        if (end < Text.size() && Text[end] == u'\r') ++end;
        if (end < Text.size() && Text[end] == u'\n') ++end;
        i = end;
    }
    return result;
}
