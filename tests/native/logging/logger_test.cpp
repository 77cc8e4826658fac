// Named loggers writing into the shared log file: line shapes, error lines,
// separators and hexadecimal dumps.
#include "logging/logger.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/failure.h"
#include "platform/text.h"
#include "tests/native/logging/logtest_support.h"

using logtest::AfterHeader;
using logtest::Exists;
using logtest::Lines;
using logtest::ReadAll;

namespace {

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(Dir.Path().empty());
        ResetLogFileForTests();
        GetLogFile().SetFileName(Dir.File16("log.txt"));
        GetLogFile().SetEnabled(true);
    }
    void TearDown() override { ResetLogFileForTests(); }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const std::string& line : Lines(ReadAll(Dir.File("log.txt")))) texts.push_back(AfterHeader(line));
        return texts;
    }

    logtest::TTempFolder Dir;
};

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
}

TEST_F(LoggerTest, LevelsCarryTheNameAndMessage) {
    TLogger driver(u"TDriver30");
    TLogger nameless(u"");
    driver.Debug(u"Open");
    driver.Info(u"ready");
    driver.Error(u"no device");
    driver.Error(u"failed", nullptr);
    nameless.Debug(u"msg");
    driver.WriteMethodName(u"ProcessCheck");
    driver.WriteSeparator();

    EXPECT_EQ(driver.Name(), u"TDriver30");
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "[DEBUG] TDriver30 Open",
                           "[ INFO] TDriver30 ready",
                           "[ERROR] TDriver30 no device",
                           "[ERROR] TDriver30 failed",
                           "[DEBUG]  msg",
                           "[DEBUG] TDriver30 ProcessCheck",
                           "[ INFO] TDriver30 ------------------------------------------------------------",
                       }));
}

// A message given in parts makes the very line the joined message makes.
TEST_F(LoggerTest, DebugInPartsWritesTheSameLineAsTheJoinedMessage) {
    TLogger logger(u"TDriver30");
    const std::vector<std::vector<std::u16string>> cases = {
        {u"ProcessCheck ", u"1"},
        {u"ProcessCheck", u" ParamCount = ", u"4"},
        {u"Close: ", u"Касса №2"},
        {u"SetLocalization: ", u"", u", ", u"<Шаблон/>"},
        {u"ConnectEquipment."},
        {},
    };
    std::vector<std::string> expected;
    for (const auto& parts : cases) {
        std::u16string joined;
        for (const std::u16string& p : parts) joined += p;
        logger.Debug(joined);
        expected.push_back("[DEBUG] TDriver30 " + text::ToUtf8(joined));
    }
    logger.Debug({u"ProcessCheck ", u"1"});
    logger.Debug({u"ProcessCheck", u" ParamCount = ", text::TDecimal(4).View()});
    logger.Debug({u"Close: ", u"Касса №2"});
    logger.Debug({u"SetLocalization: ", u"", u", ", u"<Шаблон/>"});
    logger.Debug({u"ConnectEquipment."});
    logger.Debug(std::initializer_list<std::u16string_view>{});
    std::vector<std::string> both = expected;
    both.insert(both.end(), expected.begin(), expected.end());
    EXPECT_EQ(Texts(), both);
}

TEST_F(LoggerTest, ErrorWithAnExceptionPutsItsMessageInParentheses) {
    TLogger logger(u"TExtention30");
    EFailure failure(u"Драйвер не установлен");
    std::runtime_error standard("plain failure");
    logger.Error(u"OpenShift:", &failure);
    logger.Error(u"Close:", &standard);

    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "[ERROR] TExtention30 OpenShift: (Драйвер не установлен)",
                           "[ERROR] TExtention30 Close: (" + text::ToUtf8(ExceptionMessage(standard)) + ")",
                       }));
}

TEST_F(LoggerTest, MethodValueUsesThePlainTextForm) {
    TLogger logger(u"TExtention30");
    TLogValue null;
    TLogValue number;
    number.Kind = TLogValue::Int32;
    number.IntValue = 5;
    TLogValue text;
    text.Kind = TLogValue::OleString;
    text.TextValue = u"<xml/>";
    TLogValue flag;
    flag.Kind = TLogValue::Boolean;
    flag.BoolValue = true;
    logger.WriteMethodValue(u"Result", null);
    logger.WriteMethodValue(u"Count", number);
    logger.WriteMethodValue(u"Xml", text);
    logger.WriteMethodValue(u"Flag", flag);

    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "[DEBUG] TExtention30 Result: ",
                           "[DEBUG] TExtention30 Count: 5",
                           "[DEBUG] TExtention30 Xml: <xml/>",
                           "[DEBUG] TExtention30 Flag: True",
                       }));
}

TEST(BytesToHexTest, UppercasePairsSeparatedByOneBlank) {
    EXPECT_EQ(BytesToHex(""), u"");
    EXPECT_EQ(BytesToHex(Bytes({0})), u"00");
    EXPECT_EQ(BytesToHex(Bytes({1, 171, 255})), u"01 AB FF");
    EXPECT_EQ(BytesToHex(Bytes({0x7f, 0x80, 0x0a})), u"7F 80 0A");
}

TEST_F(LoggerTest, TxAndRxDumpsCarryTheirPrefix) {
    TLogger logger(u"TDriver30");
    logger.WriteTxData(Bytes({1, 171, 255}));
    logger.WriteRxData(Bytes({0x06}));
    logger.WriteData("## ", "AB");
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "[DEBUG] TDriver30 -> 01 AB FF",
                           "[DEBUG] TDriver30 <- 06",
                           "[DEBUG] TDriver30 ## 41 42",
                       }));
}

TEST_F(LoggerTest, DumpsSplitIntoLinesOfTwentyBytes) {
    struct Case {
        size_t length;
        std::vector<size_t> bytesPerLine;
    };
    const Case cases[] = {
        {0, {0}},
        {20, {20}},
        {21, {20, 1}},
        {45, {20, 20, 5}},
    };
    TLogger logger(u"L");
    size_t lineIndex = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::string data;
        for (size_t i = 0; i < c.length; ++i) data.push_back(static_cast<char>(i * 7 + 200));
        logger.WriteTxData(data);

        std::vector<std::string> texts = Texts();
        ASSERT_EQ(texts.size(), lineIndex + c.bytesPerLine.size());
        size_t offset = 0;
        for (size_t count : c.bytesPerLine) {
            std::string expected = "[DEBUG] L -> " + text::ToUtf8(BytesToHex(data.substr(offset, count)));
            EXPECT_EQ(texts[lineIndex], expected);
            offset += count;
            ++lineIndex;
        }
    }
}

TEST(LoggerOffTest, NothingIsWrittenWhileTheSharedLogIsOff) {
    logtest::TTempFolder dir;
    ResetLogFileForTests();
    GetLogFile().SetFileName(dir.File16("log.txt"));
    TLogger logger(u"TExtention30");
    EFailure failure(u"x");
    logger.Debug(u"d");
    logger.Info(u"i");
    logger.Error(u"e", &failure);
    logger.WriteSeparator();
    logger.WriteTxData("abc");
    TLogValue v;
    logger.WriteMethodValue(u"m", v);
    EXPECT_FALSE(Exists(dir.File("log.txt")));
    ResetLogFileForTests();
}

}  // namespace
