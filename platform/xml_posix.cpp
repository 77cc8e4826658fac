// A small serialiser producing the same document shape as the Windows XML DOM:
// the declaration, then one empty root element with its attributes.
#include "platform/platform.h"

namespace platform {

namespace {

void AppendEscapedAttribute(std::u16string& out, const std::u16string& value) {
    for (char16_t c : value) {
        switch (c) {
            case u'&': out += u"&amp;"; break;
            case u'<': out += u"&lt;"; break;
            case u'>': out += u"&gt;"; break;
            case u'"': out += u"&quot;"; break;
            // Line breaks and tabs inside an attribute survive only as
            // character references (attribute values are normalised).
            case u'\r': out += u"&#xD;"; break;
            case u'\n': out += u"&#xA;"; break;
            case u'\t': out += u"&#x9;"; break;
            default: out += c; break;
        }
    }
}

}  // namespace

std::u16string BuildXmlDocument(const std::u16string& rootName, const std::vector<XmlAttribute>& attributes) {
    std::u16string out = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<";
    out += rootName;
    for (const XmlAttribute& a : attributes) {
        out += u' ';
        out += a.Name;
        out += u"=\"";
        AppendEscapedAttribute(out, a.Value);
        out += u'"';
    }
    out += u"/>\r\n";
    return out;
}

}  // namespace platform
