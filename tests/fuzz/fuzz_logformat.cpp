// The log's formatting helpers under arbitrary values:
//   - TLogFile::QuoteText: only characters of code 32 or more in the output,
//     quoted runs for those characters and #$xx (two uppercase hexadecimal
//     digits) for each control character, walked along the input;
//   - TLogFile::FormatValue of every kind and TLogFile::FormatValues /
//     FormatParams of a list (", " only after a non-empty text);
//   - BytesToHex: 3n-1 characters that read back as the bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>

#include "logging/logfile.h"
#include "logging/logger.h"
#include "platform/platform.h"
#include "tests/fuzz/fuzzcheck.h"
#include "tests/support/decimalseparator.h"

using fuzzcheck::Printable;

namespace {

const char16_t HexDigits[] = u"0123456789ABCDEF";

std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

void CheckQuoteText(const std::u16string& text) {
    const std::u16string out = TLogFile::QuoteText(text);
    const std::string what = Printable(text) + " -> " + Printable(out);
    for (char16_t c : out) FUZZ_CHECK(c >= 32, "control character in the output: " + what);
    if (text.empty()) {
        FUZZ_CHECK(out == u"''", what);
        return;
    }
    size_t pos = 0;
    bool inRun = false;
    auto expect = [&](char16_t c) {
        FUZZ_CHECK(pos < out.size() && out[pos] == c, what);
        ++pos;
    };
    for (char16_t c : text) {
        if (c >= 32) {
            if (!inRun) expect(u'\'');
            inRun = true;
            expect(c);
        } else {
            if (inRun) expect(u'\'');
            inRun = false;
            expect(u'#');
            expect(u'$');
            expect(HexDigits[c >> 4]);
            expect(HexDigits[c & 0xF]);
        }
    }
    if (inRun) expect(u'\'');
    FUZZ_CHECK(pos == out.size(), "trailing output: " + what);
}

// A currency amount x10000: optional '-', whole digits, then the user's
// separator and one to four digits without trailing zero when not whole.
void CheckCurrency(int64_t scaled, const std::u16string& out, char16_t separator) {
    const std::string what = std::to_string(scaled) + " -> " + Printable(out);
    size_t i = 0;
    const bool negative = !out.empty() && out[0] == u'-';
    if (negative) ++i;
    uint64_t whole = 0;
    size_t digits = 0;
    for (; i < out.size() && out[i] >= u'0' && out[i] <= u'9'; ++i, ++digits) whole = whole * 10 + (out[i] - u'0');
    FUZZ_CHECK(digits > 0 && (digits == 1 || out[i - digits] != u'0'), what);
    uint64_t fraction = 0;
    if (i < out.size()) {
        FUZZ_CHECK(out[i] == separator, what);
        ++i;
        size_t n = 0;
        for (; i < out.size() && out[i] >= u'0' && out[i] <= u'9'; ++i, ++n) fraction = fraction * 10 + (out[i] - u'0');
        FUZZ_CHECK(n >= 1 && n <= 4 && out[i - 1] != u'0' && i == out.size(), what);
        for (; n < 4; ++n) fraction *= 10;
    }
    const uint64_t magnitude = scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    FUZZ_CHECK(negative == (scaled < 0), what);
    FUZZ_CHECK(whole == magnitude / 10000 && fraction == magnitude % 10000, what);
}

void CheckFormatValue(const TLogValue& v) {
    const std::u16string out = TLogFile::FormatValue(v);
    const std::string what = "kind " + std::to_string(v.Kind) + ": " + Printable(out);
    switch (v.Kind) {
        case TLogValue::Null:
            FUZZ_CHECK(out == u"NULL" && TLogFile::ValueText(v).empty(), what);
            break;
        case TLogValue::Int32:
            FUZZ_CHECK(out == Ascii(std::to_string(static_cast<int32_t>(v.IntValue))), what);
            break;
        case TLogValue::Int64:
            FUZZ_CHECK(out == Ascii(std::to_string(v.IntValue)), what);
            break;
        case TLogValue::Boolean:
            FUZZ_CHECK(out == (v.BoolValue ? u"True" : u"False"), what);
            break;
        case TLogValue::Double:
            FUZZ_CHECK(out == platform::FormatDouble(v.DoubleValue), what);
            break;
        case TLogValue::Currency:
            CheckCurrency(v.IntValue, out, platform::UserDecimalSeparator());
            break;
        case TLogValue::AnsiString:
        case TLogValue::OleString:
            FUZZ_CHECK(out == TLogFile::QuoteText(v.TextValue) && TLogFile::ValueText(v) == v.TextValue, what);
            break;
        case TLogValue::NativeString:
            FUZZ_CHECK(out == v.TextValue, what);
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckQuoteText(fuzzcheck::Latin1(data, size));
    CheckQuoteText(fuzzcheck::Pairs(data, size));

    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string hex = BytesToHex(bytes);
    FUZZ_CHECK(hex.size() == (size == 0 ? 0 : 3 * size - 1), "BytesToHex length");
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        FUZZ_CHECK(hex[3 * i] == HexDigits[b >> 4] && hex[3 * i + 1] == HexDigits[b & 0xF], "BytesToHex digits");
        if (i + 1 < size) FUZZ_CHECK(hex[3 * i + 2] == u' ', "BytesToHex blank");
    }

    FuzzedDataProvider fdp(data, size);
    platform::SetUserDecimalSeparatorForTests(fdp.ConsumeBool() ? u',' : u'.');
    TVariantArray values;
    while (fdp.remaining_bytes() > 0 && values.size() < 8) {
        TLogValue v;
        v.Kind = static_cast<TLogValue::TKind>(fdp.ConsumeIntegralInRange<int>(TLogValue::Null, TLogValue::NativeString));
        v.IntValue = fdp.ConsumeIntegral<int64_t>();
        v.BoolValue = fdp.ConsumeBool();
        const uint64_t bits = fdp.ConsumeIntegral<uint64_t>();
        std::memcpy(&v.DoubleValue, &bits, sizeof bits);
        const std::string raw = fdp.ConsumeRandomLengthString(64);
        v.TextValue = fuzzcheck::Pairs(reinterpret_cast<const uint8_t*>(raw.data()), raw.size());
        CheckFormatValue(v);
        values.push_back(v);
    }
    std::u16string joined;
    for (const TLogValue& v : values) {
        if (!joined.empty()) joined += u", ";
        joined += TLogFile::FormatValue(v);
    }
    const std::u16string all = TLogFile::FormatValues(values);
    FUZZ_CHECK(all == u"(" + joined + u")", Printable(all));
    FUZZ_CHECK(TLogFile::FormatParams(values) == all, "FormatParams");
    platform::SetUserDecimalSeparatorForTests(0);
    return 0;
}
