// Texts of failed driver calls: the description cut at its end, the system's
// message, and the code as a last resort.
#include <gtest/gtest.h>

#include <stdexcept>

#include "driver/fiscaldriver.h"
#include "driver/oleerror.h"
#include "platform/failure.h"
#include "platform/text.h"

namespace {

TEST(OleErrorTest, DescriptionLosesTrailingStopsBlanksAndControlCharacters) {
    const struct {
        std::u16string In;
        std::u16string Out;
    } cases[] = {
        {u"Нет связи с ККТ. \r\n", u"Нет связи с ККТ"},
        {u"Paper out...", u"Paper out"},
        {u"v. 1.2\t.\x01", u"v. 1.2"},
        {u"  leading kept", u"  leading kept"},
        {u"Inner. Stops. Kept", u"Inner. Stops. Kept"},
        {u" . \r\n", u""},
        {u"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(TrimErrorDescription(c.In), c.Out) << text::ToUtf8(c.In);
}

TEST(OleErrorTest, MessageFallsBackFromDescriptionToSystemTextToCode) {
    const int32_t unspecified = static_cast<int32_t>(0x80004005u);
    const int32_t unknown = static_cast<int32_t>(0x80040A01u);
    EXPECT_EQ(OleErrorMessage(unspecified, u"Смена превысила 24 часа."), u"Смена превысила 24 часа");
    EXPECT_EQ(OleErrorMessage(unspecified, u"..."), u"Unspecified error");
    EXPECT_EQ(OleErrorMessage(unknown, u""), u"OLE error 80040a01");
    EXPECT_EQ(OleErrorCodeText(0x1234), u"OLE error 00001234");
}

TEST(OleErrorTest, HResultIsWrittenWithPrefixAndEightUppercaseDigits) {
    EXPECT_EQ(HResultText(static_cast<int32_t>(0x80040154u)), u"0x80040154");
    EXPECT_EQ(HResultText(static_cast<int32_t>(0x8000FFFFu)), u"0x8000FFFF");
    EXPECT_EQ(HResultText(0x1234), u"0x00001234");
    EXPECT_EQ(HResultText(0), u"0x00000000");
}

TEST(OleErrorTest, AFailureKeepsItsCodeAndOnlyAFailureHasOne) {
    EXPECT_EQ(FailureCode(std::make_exception_ptr(EFailure(u"Класс не зарегистрирован",
                                                           static_cast<int32_t>(0x80040154u)))),
              static_cast<int32_t>(0x80040154u));
    EXPECT_EQ(FailureCode(std::make_exception_ptr(EFailure(u"без кода"))), 0);
    EXPECT_EQ(FailureCode(std::make_exception_ptr(std::runtime_error("x"))), 0);
    EXPECT_EQ(FailureCode(std::make_exception_ptr(7)), 0);
    EXPECT_EQ(FailureCode(nullptr), 0);
}

TEST(PlatformDriverFactoryTest, CreationFailsWithoutCom) {
    EXPECT_THROW(PlatformDriverFactory().CreateDriver(), EFailure);
    EXPECT_THROW(PlatformDriverFactory().ReadMainControlVersion(), EFailure);
}

}  // namespace
