// UTF-8/UTF-16 conversion, integer texts, failure messages and the number
// format of the user's locale.
#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

#include "hostapi/autovalue.h"
#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "tests/support/decimalseparator.h"

namespace {

TEST(Text, Utf8RoundTripsAndReplacesWhatIsMalformed) {
    const std::u16string mixed = u"Чек №1 \u20AC \U0001F600";
    EXPECT_EQ(text::FromUtf8(text::ToUtf8(mixed)), mixed);
    EXPECT_EQ(text::ToUtf8(u"Касса"), "\xD0\x9A\xD0\xB0\xD1\x81\xD1\x81\xD0\xB0");
    struct TCase {
        const char* name;
        std::string bytes;
        std::u16string expected;
    };
    const TCase cases[] = {
        {"stray continuation", "a\x80" "b", u"a\uFFFD" "b"},
        {"overlong", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"truncated at end", "a\xE2\x82", u"a\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(text::FromUtf8(c.bytes), c.expected);
    }
    EXPECT_EQ(text::ToUtf8(std::u16string(1, static_cast<char16_t>(0xD800))), "\xEF\xBF\xBD");
}

TEST(Text, DecimalHeldInTheObjectReadsAsFromInt) {
    const int64_t values[] = {0, 4, 9, 10, -1, -42, 2147483647, -2147483647 - 1,
                              std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min()};
    const char16_t* const texts[] = {u"0", u"4", u"9", u"10", u"-1", u"-42", u"2147483647", u"-2147483648",
                                     u"9223372036854775807", u"-9223372036854775808"};
    for (size_t i = 0; i < sizeof values / sizeof values[0]; ++i) {
        SCOPED_TRACE(texts[i]);
        const text::TDecimal number(values[i]);
        EXPECT_EQ(number.View(), std::u16string_view(texts[i]));
        EXPECT_EQ(text::FromInt(values[i]), texts[i]);
    }
}

TEST(Text, IntegersToAndFromText) {
    EXPECT_EQ(text::FromInt(0), u"0");
    EXPECT_EQ(text::FromInt(-42), u"-42");
    EXPECT_EQ(text::FromInt(std::numeric_limits<int64_t>::min()), u"-9223372036854775808");
    struct TCase {
        const char16_t* input;
        bool ok;
        int32_t value;
    };
    const TCase cases[] = {
        {u"42", true, 42},        {u"+7", true, 7},          {u"-2147483648", true, INT32_MIN},
        {u"2147483647", true, INT32_MAX}, {u"2147483648", false, 0}, {u"-2147483649", false, 0},
        {u"", false, 0},          {u"-", false, 0},          {u" 1", false, 0},
        {u"1 ", false, 0},        {u"0x10", false, 0},       {u"1.0", false, 0},
        {u"99999999999999999999", false, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(text::ToUtf8(c.input));
        int32_t value = 0;
        EXPECT_EQ(text::TryParseInt32(c.input, value), c.ok);
        if (c.ok) {
            EXPECT_EQ(value, c.value);
        }
    }
    EXPECT_EQ(text::Length(nullptr), 0u);
    EXPECT_EQ(text::Length(u"abc"), 3u);
}

TEST(Failure, MessagesOfWhatWasCaught) {
    EXPECT_EQ(FailureMessage(std::make_exception_ptr(EFailure(u"Ошибка ФН"))), u"Ошибка ФН");
    EXPECT_EQ(FailureMessage(std::make_exception_ptr(std::runtime_error("ошибка"))), u"ошибка");
    const std::u16string unknown = FailureMessage(std::make_exception_ptr(5));
    EXPECT_FALSE(unknown.empty());
    EXPECT_EQ(FailureMessage(nullptr), unknown);
    EXPECT_EQ(ExceptionMessage(EFailure(u"x")), u"x");
}

struct TSeparatorGuard {
    explicit TSeparatorGuard(char16_t separator) { platform::SetUserDecimalSeparatorForTests(separator); }
    ~TSeparatorGuard() { platform::SetUserDecimalSeparatorForTests(0); }
};

TEST(Locale, DoublesAreWrittenWithTheUsersSeparator) {
    struct TCase {
        double value;
        std::u16string comma;
        std::u16string point;
    };
    const TCase cases[] = {
        {1.5, u"1,5", u"1.5"},       {3.0, u"3", u"3"},           {-0.25, u"-0,25", u"-0.25"},
        {1e20, u"1E+20", u"1E+20"},  {0.1 + 0.2, u"0,3", u"0.3"}, {123456.789, u"123456,789", u"123456.789"},
        {0.0, u"0", u"0"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(text::ToUtf8(c.point));
        {
            TSeparatorGuard separator(u',');
            EXPECT_EQ(platform::UserDecimalSeparator(), u',');
            EXPECT_EQ(platform::FormatDouble(c.value), c.comma);
            EXPECT_EQ(AutoValueToText(TAutoValue::FromDouble(c.value)), c.comma);
        }
        TSeparatorGuard separator(u'.');
        EXPECT_EQ(platform::FormatDouble(c.value), c.point);
    }
}

TEST(Locale, AutoValuesAsText) {
    EXPECT_EQ(AutoValueToText(TAutoValue()), u"");
    EXPECT_EQ(AutoValueToText(TAutoValue::FromText(u"текст")), u"текст");
    EXPECT_EQ(AutoValueToText(TAutoValue::FromInt(-3)), u"-3");
    EXPECT_EQ(AutoValueToText(TAutoValue::FromBool(true)), u"True");
    EXPECT_EQ(AutoValueToText(TAutoValue::FromBool(false)), u"False");
}

TEST(Locale, NamesCompareCaseSensitively) {
    EXPECT_TRUE(platform::SameName(u"GetDescription", u"GetDescription"));
    EXPECT_TRUE(platform::SameName(u"ПолучитьОписание", u"ПолучитьОписание"));
    EXPECT_FALSE(platform::SameName(u"GetDescription", u"getdescription"));
    EXPECT_FALSE(platform::SameName(u"Open", u"Open "));
}

}  // namespace
