// The POSIX XML document writer and the error texts of failed COM calls under
// arbitrary texts:
//   - platform::BuildXmlDocument with arbitrary attribute values: a small
//     reader takes the document apart again; inside a value there is no raw
//     '<', '&', '"' nor a raw line break or tab (a parser would normalise
//     those), and every value reads back exactly;
//   - TrimErrorDescription cuts only trailing full stops, blanks and control
//     characters; OleErrorMessage falls back to the system text, then to the
//     code.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver/oleerror.h"
#include "platform/platform.h"
#include "tests/fuzz/fuzzcheck.h"

using fuzzcheck::Printable;

namespace {

// Reads one attribute value up to its closing quote, resolving references.
bool ReadAttributeValue(const std::u16string& doc, size_t& pos, std::u16string& value, std::string& error) {
    value.clear();
    while (pos < doc.size()) {
        const char16_t c = doc[pos];
        if (c == u'"') {
            ++pos;
            return true;
        }
        if (c == u'<' || c == u'\r' || c == u'\n' || c == u'\t') {
            error = "raw character " + Printable(std::u16string(1, c)) + " inside a value";
            return false;
        }
        if (c != u'&') {
            value += c;
            ++pos;
            continue;
        }
        const size_t end = doc.find(u';', pos);
        if (end == std::u16string::npos || end - pos > 10) {
            error = "'&' without a reference";
            return false;
        }
        const std::u16string name = doc.substr(pos + 1, end - pos - 1);
        if (name == u"amp") value += u'&';
        else if (name == u"lt") value += u'<';
        else if (name == u"gt") value += u'>';
        else if (name == u"quot") value += u'"';
        else if (name == u"apos") value += u'\'';
        else if (name.size() > 2 && name[0] == u'#' && (name[1] == u'x' || name[1] == u'X')) {
            uint32_t code = 0;
            for (size_t i = 2; i < name.size(); ++i) {
                const char16_t h = name[i];
                const int digit = h >= u'0' && h <= u'9' ? h - u'0'
                                : h >= u'a' && h <= u'f' ? h - u'a' + 10
                                : h >= u'A' && h <= u'F' ? h - u'A' + 10 : -1;
                if (digit < 0 || code > 0x10FFFF) {
                    error = "bad reference &" + Printable(name) + ";";
                    return false;
                }
                code = code * 16 + digit;
            }
            if (code > 0xFFFF) {
                error = "reference beyond the BMP";
                return false;
            }
            value += static_cast<char16_t>(code);
        } else {
            error = "unknown reference &" + Printable(name) + ";";
            return false;
        }
        pos = end + 1;
    }
    error = "unterminated value";
    return false;
}

void CheckDocument(const std::vector<platform::XmlAttribute>& attributes) {
    const std::u16string doc = platform::BuildXmlDocument(u"Root", attributes);
    const std::u16string head = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Root";
    const std::string what = Printable(doc);
    FUZZ_CHECK(doc.compare(0, head.size(), head) == 0, "declaration and root: " + what);
    size_t pos = head.size();
    for (const platform::XmlAttribute& a : attributes) {
        const std::u16string start = u" " + a.Name + u"=\"";
        FUZZ_CHECK(doc.compare(pos, start.size(), start) == 0, "attribute " + Printable(a.Name) + ": " + what);
        pos += start.size();
        std::u16string value;
        std::string error;
        FUZZ_CHECK(ReadAttributeValue(doc, pos, value, error), error + ": " + what);
        FUZZ_CHECK(value == a.Value, "value reads back: " + Printable(a.Value) + " -> " + Printable(value));
    }
    FUZZ_CHECK(doc.compare(pos, std::u16string::npos, u"/>\r\n") == 0, "end of the root: " + what);
}

void CheckErrorTexts(const std::u16string& description, int32_t code) {
    const std::u16string trimmed = TrimErrorDescription(description);
    const std::string what = Printable(description) + " -> " + Printable(trimmed);
    FUZZ_CHECK(description.compare(0, trimmed.size(), trimmed) == 0, "a prefix: " + what);
    if (!trimmed.empty()) FUZZ_CHECK(trimmed.back() > u' ' && trimmed.back() != u'.', "ends clean: " + what);
    for (size_t i = trimmed.size(); i < description.size(); ++i)
        FUZZ_CHECK(description[i] <= u' ' || description[i] == u'.', "cuts only the tail: " + what);

    char hex[16];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(static_cast<uint32_t>(code)));
    const std::u16string codeText = u"OLE error " + std::u16string(hex, hex + 8);
    FUZZ_CHECK(OleErrorCodeText(code) == codeText, "code text");
    const std::u16string system = platform::SystemErrorMessage(code);
    const std::u16string status = system.empty() ? codeText : system;
    FUZZ_CHECK(StatusMessage(code) == status, "status message");
    FUZZ_CHECK(OleErrorMessage(code, description) == (trimmed.empty() ? status : trimmed), "message: " + what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider fdp(data, size);
    const int32_t code = fdp.ConsumeIntegral<int32_t>();
    std::vector<platform::XmlAttribute> attributes;
    while (fdp.remaining_bytes() > 0 && attributes.size() < 6) {
        const bool wide = fdp.ConsumeBool();
        const std::string raw = fdp.ConsumeRandomLengthString(128);
        const auto* p = reinterpret_cast<const uint8_t*>(raw.data());
        platform::XmlAttribute a;
        a.Name = u"A" + std::u16string(1, static_cast<char16_t>(u'0' + attributes.size()));
        a.Value = wide ? fuzzcheck::Pairs(p, raw.size()) : fuzzcheck::Latin1(p, raw.size());
        attributes.push_back(a);
    }
    CheckDocument(attributes);
    for (const platform::XmlAttribute& a : attributes) CheckErrorTexts(a.Value, code);
    CheckErrorTexts(fuzzcheck::Latin1(data, size), code);
    return 0;
}
