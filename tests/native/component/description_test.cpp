// The description document "GetDescription" answers: the component's own when
// the driver cannot be reached, the adapter's otherwise; its serialised form.
#include "component/description.h"
#include "driver/description.h"
#include "driver/versioninfo.h"
#include "platform/platform.h"
#include "tests/native/component/component_support.h"

namespace comptest {
namespace {

using TAttributes = std::vector<std::pair<std::string, std::string>>;

const std::string ProductName = "Pellmar / Kelmor: Tarvik с передачей данных в ОФД 4.7 (ФФД 1.2)";
const std::string DownloadURL = "https://kelmor.example/support/download/?section_id=76&product_id=all&type_id=156";

TAttributes ExpectedAttributes(const std::string& installed, const std::string& driverVersion,
                               const std::string& componentVersion) {
    return {{"Name", ProductName},
            {"Description", ProductName},
            {"EquipmentType", "KKT"},
            {"IntegrationComponent", "true"},
            {"MainDriverInstalled", installed},
            {"DriverVersion", driverVersion},
            {"IntegrationComponentVersion", componentVersion},
            {"DownloadURL", DownloadURL},
            {"LogIsEnabled", "true"},
            {"LogPath", ""}};
}

// Every line of the text ends with CR LF, and no line break stands alone.
void ExpectCrLfLines(const std::u16string& text) {
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(u"\r\n", text.substr(text.size() - 2));
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r') {
            EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == u'\n') << "CR alone at " << i;
        }
        if (text[i] == u'\n') {
            EXPECT_TRUE(i > 0 && text[i - 1] == u'\r') << "LF alone at " << i;
        }
    }
}

void ExpectDocument(const std::u16string& text, const TAttributes& expected) {
    const std::string xml = U8(text);
    EXPECT_EQ(0u, xml.find("<?xml version=\"1.0\"")) << xml;
    std::string root;
    EXPECT_EQ(expected, RootAttributes(xml, &root)) << xml;
    EXPECT_EQ("DriverDescription", root);
    EXPECT_NE(std::string::npos, xml.find("&amp;product_id=all&amp;type_id=156")) << "escaped in the text";
    EXPECT_EQ(std::string::npos, xml.find("</DriverDescription>")) << "no content";
    ExpectCrLfLines(text);
}

class DescriptionTest : public TComponentTest {};

TEST_F(DescriptionTest, WithoutADriverTheComponentAnswersWithItsOwnDocumentAndLogsOnlyTheCause) {
    FState.CreationFails = true;
    TV8ComponentBase* object = NewObject();
    TCallResult r = Call(object, 1, {HostOut()});
    EXPECT_TRUE(r.Answer);
    EXPECT_EQ(VTYPE_BOOL, fakehost::TypeOf(r.Ret));
    EXPECT_EQ(1, r.Ret.VarEnum.bVal);
    ASSERT_EQ(VTYPE_PWSTR, fakehost::TypeOf(r.Params[0]));
    ExpectDocument(fakehost::ReadWString(r.Params[0]), ExpectedAttributes("false", "1.0", "4007"));
    EXPECT_EQ(std::vector<std::string>{CreationCauseLine()}, LogLines())
        << "only the adapter's cause of the failed creation is logged on this path";
    EXPECT_TRUE(FHost.Errors().empty());
    Release(r);
}

TEST_F(DescriptionTest, WithoutAnAdapterTheOwnDocumentIsAnsweredToo) {
    FState.AdapterCreationFails = true;
    TV8ComponentBase* object = NewObject();
    TCallResult r = Call(object, 1, {HostOut()});
    EXPECT_TRUE(r.Answer);
    ExpectDocument(fakehost::ReadWString(r.Params[0]), ExpectedAttributes("false", "1.0", "4007"));
    Release(r);
}

TEST_F(DescriptionTest, ADriverThatRefusesTheFormatVersionGetsTheOwnDocument) {
    FState.FormatVersionWriteFails = true;
    TV8ComponentBase* object = NewObject();
    TCallResult r = Call(object, 1, {HostOut()});
    EXPECT_TRUE(r.Answer);
    ExpectDocument(fakehost::ReadWString(r.Params[0]), ExpectedAttributes("false", "1.0", "4007"));
    EXPECT_EQ(1, FState.Created) << "although a driver object exists";
    Release(r);
}

TEST_F(DescriptionTest, WithTheDriverTheAdapterDocumentCarriesBothVersions) {
    TV8ComponentBase* object = NewObject();
    TCallResult r = Call(object, 1, {HostOut()});
    EXPECT_TRUE(r.Answer);
    EXPECT_EQ(1, r.Ret.VarEnum.bVal);
    const std::u16string document = fakehost::ReadWString(r.Params[0]);
    ExpectDocument(document, ExpectedAttributes("true", U8(recdriver::MainControlVersion()), U8(GetModuleVersionText())));

    // The trace line, then the whole document as handed back.
    const std::string log = LogText();
    std::vector<std::string> lines = LogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(Debug("TExtention30 GetDescription ParamCount = 1"), lines[0]);
    EXPECT_NE(std::string::npos, log.find("[DEBUG] TExtention30 GetDescription " + U8(document)));
    EXPECT_EQ(std::string::npos, log.find("[ERROR]"));

    // A second call builds an equal document.
    TCallResult again = Call(object, 1, {HostOut()});
    EXPECT_EQ(document, fakehost::ReadWString(again.Params[0]));
    Release(r);
    Release(again);
}

// The method table (and the README's table made from it) says the result is
// always true: the driver's own GetDescription is never asked, whatever the
// driver would answer.
TEST_F(DescriptionTest, TheResultIsAlwaysTrueAndTheDriversOwnDescriptionIsNeverAsked) {
    EXPECT_EQ(u"always true; the description is the argument", std::u16string(Extention30Methods[1].Result.Meaning));
    for (bool answer : {true, false}) {
        SCOPED_TRACE(answer ? "driver answering true" : "driver answering false");
        FState = TDriverState();
        FState.Answer = answer;
        TV8ComponentBase* object = NewObject();
        TCallResult r = Call(object, 1, {HostOut()});
        EXPECT_TRUE(r.Answer);
        EXPECT_EQ(VTYPE_BOOL, fakehost::TypeOf(r.Ret));
        EXPECT_EQ(1, r.Ret.VarEnum.bVal);
        for (const std::string& call : FState.Calls) EXPECT_EQ(std::string::npos, call.find("GetDescription")) << call;
        Release(r);
        Destroy(object);
    }
}

TEST_F(DescriptionTest, AnUnreadableDriverVersionFailsTheCallInsideTheGuardedPart) {
    FState.MainControlFails = true;
    TV8ComponentBase* object = NewObject();
    TCallResult r = Call(object, 1, {HostOut()});
    EXPECT_FALSE(r.Answer);
    EXPECT_EQ(u"host-result", fakehost::ReadWString(r.Ret));
    EXPECT_EQ(u"host-value", fakehost::ReadWString(r.Params[0]));
    EXPECT_EQ(ErrorLine("TExtention30 Основной элемент управления недоступен"), LogLines().back());
    EXPECT_TRUE(FHost.Errors().empty());
    Release(r);
}

TEST_F(DescriptionTest, TooFewArgumentsOnTheOwnDocumentPathAreReportedToTheHost) {
    FState.CreationFails = true;
    TV8ComponentBase* object = NewObject();
    TCallResult r = Call(object, 1, {}, 0);
    EXPECT_FALSE(r.Answer);
    EXPECT_EQ(u"host-result", fakehost::ReadWString(r.Ret));
    ASSERT_EQ(1u, FHost.Errors().size());
    EXPECT_EQ(u"Incorrect Params count: 0; Must be: 1", FHost.Errors()[0].descr);
    EXPECT_EQ(std::vector<std::string>{CreationCauseLine()}, LogLines());
    Release(r);

    // With the driver the same mistake is logged instead.
    FState.CreationFails = false;
    FHost.ClearErrors();
    r = Call(object, 1, {}, 0);
    EXPECT_FALSE(r.Answer);
    EXPECT_TRUE(FHost.Errors().empty());
    EXPECT_EQ(ErrorLine("TExtention30 Incorrect Params count: 0; Must be: 1"), LogLines().back());
    Release(r);
}

TEST(DescriptionBuilderTest, BothDocumentsShareOneShape) {
    ExpectDocument(BuildOwnDescription(), ExpectedAttributes("false", "1.0", "4007"));
    ExpectDocument(BuildDriverDescription(true, u"2.0 & \"beta\"", u"5.25.0.2133"),
                   ExpectedAttributes("true", "2.0 & \"beta\"", "5.25.0.2133"));
}

TEST(DescriptionBuilderTest, LinesAreEndedByCrLf) {
    struct TCase {
        std::u16string In, Out;
    } cases[] = {
        {u"", u""},
        {u"a", u"a\r\n"},
        {u"a\nb", u"a\r\nb\r\n"},
        {u"a\r\nb\r\n", u"a\r\nb\r\n"},
        {u"a\rb", u"a\r\nb\r\n"},
        {u"a\n\nb\n", u"a\r\n\r\nb\r\n"},
        {u"\n", u"\r\n"},
    };
    for (const TCase& c : cases) EXPECT_EQ(c.Out, JoinLinesCrLf(c.In)) << U8(c.In);
}

TEST(XmlDocumentTest, AttributeValuesSurviveTheRoundTrip) {
    const std::u16string tricky = u"<a href=\"x\">&amp;</a> 'q'\r\n\tЁ";
    const std::u16string xml = platform::BuildXmlDocument(u"Root", {{u"First", tricky}, {u"Empty", u""}});
    std::string root;
    TAttributes attributes = RootAttributes(U8(xml), &root);
    EXPECT_EQ("Root", root);
    EXPECT_EQ((TAttributes{{"First", U8(tricky)}, {"Empty", ""}}), attributes);
    EXPECT_EQ(0u, xml.find(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    // Markup characters never appear raw inside the value.
    const std::u16string element = xml.substr(xml.find(u"<Root"));
    EXPECT_EQ(std::u16string::npos, element.find(u"<a"));
    EXPECT_EQ(std::u16string::npos, element.find(u"&amp;</a>"));
}

TEST(ModuleVersionTest, TheFileVersionWordsGiveTheFourNumbers) {
    struct TCase {
        uint32_t MS, LS;
        std::string Text;
    } cases[] = {
        {0x00050019, 0x00000855, "5.25.0.2133"},
        {0x00010000, 0x00000000, "1.0.0.0"},
        {0xFFFFFFFF, 0xFFFFFFFF, "65535.65535.65535.65535"},
        {0x00000000, 0x00000000, "0.0.0.0"},
        {0x000A0009, 0x00010007, "10.9.1.7"},
    };
    for (const TCase& c : cases) {
        std::vector<uint8_t> block(92, 0xEE);
        for (int i = 0; i < 4; ++i) {
            block[48 + i] = static_cast<uint8_t>(c.MS >> (8 * i));
            block[52 + i] = static_cast<uint8_t>(c.LS >> (8 * i));
        }
        TModuleVersion v = ModuleVersionFromBlock(block.data(), block.size());
        EXPECT_EQ(c.Text, U8(ModuleVersionText(v)));
        EXPECT_EQ(static_cast<uint16_t>(c.MS >> 16), v.Major);
        EXPECT_EQ(static_cast<uint16_t>(c.LS & 0xFFFF), v.Build);
    }
    // A block too short for the fixed part gives zeros rather than a read
    // past its end.
    std::vector<uint8_t> shortBlock(55, 0x11);
    EXPECT_EQ("0.0.0.0", U8(ModuleVersionText(ModuleVersionFromBlock(shortBlock.data(), shortBlock.size()))));
    EXPECT_EQ("0.0.0.0", U8(ModuleVersionText(ModuleVersionFromBlock(nullptr, 0))));
}

TEST(ModuleVersionTest, ABuildWithoutAVersionResourceReportsTheProductVersion) {
    EXPECT_EQ(u"5.25.0.2133", GetModuleVersionText());
}

}  // namespace
}  // namespace comptest
