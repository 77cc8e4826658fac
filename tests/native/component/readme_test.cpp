// The README's section for 1C integrators against the code: its method table
// is the one the code generates, and its 1C example attaches the add-in under
// the registered class and calls only registered methods, by either name,
// with their registered argument counts and variables for out-arguments.
#include <fstream>
#include <set>
#include <sstream>

#include "tests/native/component/component_support.h"
#include "tests/readme/readmedoc.h"

namespace comptest {
namespace {

std::string ReadReadme() {
    std::ifstream in(KELMOR_README_PATH, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ReadmeTest, TheMethodTableIsTheOneTheCodeGenerates) {
    const std::string readme = ReadReadme();
    ASSERT_FALSE(readme.empty()) << "cannot read " << KELMOR_README_PATH;
    const std::string block = readmedoc::MethodBlockOf(readme);
    ASSERT_FALSE(block.empty()) << "README.md needs one " << readmedoc::MethodsBegin << " ... "
                                << readmedoc::MethodsEnd << " block";
    EXPECT_EQ(readmedoc::MethodTableMarkdown(), block)
        << "README.md's method table differs from component/methodtable.cpp; "
           "run tools/update-readme-methods.sh and commit README.md";
}

TEST(ReadmeDocTest, TheBlockIsReplacedInPlaceAndOnlyWhenWellFormed) {
    const std::string begin = readmedoc::MethodsBegin, end = readmedoc::MethodsEnd;
    const std::string fresh = begin + "\nnew\n" + end + "\n";
    std::string result = "untouched";

    EXPECT_TRUE(readmedoc::ReplaceMethodBlock("intro\n" + begin + "\nold\nrows\n" + end + "\nafter\n", fresh, result));
    EXPECT_EQ("intro\n" + fresh + "after\n", result);
    EXPECT_EQ(fresh, readmedoc::MethodBlockOf(result));
    EXPECT_TRUE(readmedoc::ReplaceMethodBlock(begin + "\n" + end, fresh, result)) << "no line break at the end";
    EXPECT_EQ(fresh, result);

    const std::string broken[] = {
        "no markers\n",
        begin + "\nold\n",
        "old\n" + end + "\n",
        end + "\nold\n" + begin + "\n",
        begin + "\n" + begin + "\nold\n" + end + "\n",
        begin + "\nold\n" + end + "\n" + end + "\n",
    };
    for (const std::string& text : broken) {
        SCOPED_TRACE(text);
        result = "untouched";
        EXPECT_FALSE(readmedoc::ReplaceMethodBlock(text, fresh, result));
        EXPECT_EQ("untouched", result);
        EXPECT_EQ("", readmedoc::MethodBlockOf(text));
    }
}

TEST(ReadmeDocTest, BslCallsFindsCallsTheirArgumentsAndAssignments) {
    const std::string code =
        "// Драйвер.НеВызов(1, 2)\n"
        "Драйвер = Новый(\"AddIn.A.B\");\n"
        "Текст = \"a, b) \"\"Драйвер.Тоже(\"\" // нет\n"
        "|Драйвер.ИНеЭто(1)\";\n"
        "Если Не Драйвер.Метод(Ид, \"x,y\", Ложь, Описание) Тогда // Драйвер.Нет()\n"
        "    Код = Драйвер.GetLastError(Описание);\n"
        "КонецЕсли; Р = Драйвер.Без(); Драйвер.Вложенный(Ф(1, 2), Структура[\"к\"], );\n";
    std::vector<readmedoc::TBslCall> calls = readmedoc::BslCalls(code);
    struct TExpected {
        std::string AssignedTo, Object, Callee;
        std::vector<std::string> Args;
        int Line;
    } expected[] = {
        {"Драйвер", "", "Новый", {"\"AddIn.A.B\""}, 2},
        {"", "Драйвер", "Метод", {"Ид", "\"x,y\"", "Ложь", "Описание"}, 5},
        {"Код", "Драйвер", "GetLastError", {"Описание"}, 6},
        {"Р", "Драйвер", "Без", {}, 7},
        {"", "Драйвер", "Вложенный", {"Ф(1, 2)", "Структура[\"к\"]", ""}, 7},
        {"", "", "Ф", {"1", "2"}, 7},
    };
    ASSERT_EQ(sizeof(expected) / sizeof(expected[0]), calls.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(expected[i].Callee);
        EXPECT_EQ(expected[i].AssignedTo, calls[i].AssignedTo);
        EXPECT_EQ(expected[i].Object, calls[i].Object);
        EXPECT_EQ(expected[i].Callee, calls[i].Callee);
        EXPECT_EQ(expected[i].Args, calls[i].Args);
        EXPECT_EQ(expected[i].Line, calls[i].Line);
    }

    std::string value;
    EXPECT_TRUE(readmedoc::BslStringValue("\"a\"\"b\"", value));
    EXPECT_EQ("a\"b", value);
    EXPECT_FALSE(readmedoc::BslStringValue("Имя", value));
    EXPECT_FALSE(readmedoc::BslStringValue("\"a\" + \"b\"", value));
    EXPECT_TRUE(readmedoc::IsBslVariable("ИдентификаторУстройства"));
    for (const char* notVariable : {"\"\"", "Ложь", "True", "Ф(1)", "А.Б", "1", ""})
        EXPECT_FALSE(readmedoc::IsBslVariable(notVariable)) << notVariable;
}

// The index of the registered method with this English or Russian name, or -1.
int32_t FindByEitherName(const TClassReg& reg, const std::string& name) {
    const std::u16string wanted = text::FromUtf8(name);
    for (int32_t i = 0; i < reg.MethCount; ++i) {
        const TMethReg* m = reg.Method(i);
        if (m != nullptr && (m->MethName == wanted || m->MethNameLoc == wanted)) return i;
    }
    return -1;
}

// Nothing here runs 1C code: the example is held against what the library
// registers, name by name and count by count.
TEST(ReadmeTest, TheOneCExampleUsesTheRegisteredClassMethodsAndCounts) {
    TClassRegList list;
    const TClassReg& reg = *RegisterExtention30(list);
    const std::string readme = ReadReadme();
    const std::vector<std::string> blocks = readmedoc::BslBlocks(readme);
    ASSERT_FALSE(blocks.empty()) << "README.md has no ```bsl example";

    std::set<std::string> attachedAs, components, called;
    for (size_t b = 0; b < blocks.size(); ++b) {
        SCOPED_TRACE("```bsl block " + std::to_string(b + 1));
        const std::vector<readmedoc::TBslCall> calls = readmedoc::BslCalls(blocks[b]);
        for (const readmedoc::TBslCall& c : calls) {
            SCOPED_TRACE("line " + std::to_string(c.Line) + ": " + c.Callee);
            std::string value;
            if (c.Object.empty() && (c.Callee == "ПодключитьВнешнююКомпоненту" || c.Callee == "AttachAddIn")) {
                ASSERT_EQ(3u, c.Args.size()) << "location, name, type";
                ASSERT_TRUE(readmedoc::BslStringValue(c.Args[1], value)) << "the name is a literal";
                attachedAs.insert(value);
                EXPECT_TRUE(c.Args[2] == "ТипВнешнейКомпоненты.Native" || c.Args[2] == "AddInType.Native")
                    << c.Args[2];
            }
            if (c.Object.empty() && (c.Callee == "Новый" || c.Callee == "New") && c.Args.size() == 1 &&
                readmedoc::BslStringValue(c.Args[0], value) && value.rfind("AddIn.", 0) == 0) {
                const size_t dot = value.find('.', 6);
                ASSERT_NE(std::string::npos, dot) << value;
                EXPECT_EQ(1u, attachedAs.count(value.substr(6, dot - 6)))
                    << value << ": the name in AddIn.<name>.<class> is the one the add-in was attached under";
                EXPECT_EQ(U8(Extention30ClassName), value.substr(dot + 1)) << "the registered class";
                ASSERT_FALSE(c.AssignedTo.empty()) << "the object is kept in a variable";
                components.insert(c.AssignedTo);
            }
        }
        for (const readmedoc::TBslCall& c : calls) {
            if (components.count(c.Object) == 0) continue;
            SCOPED_TRACE("line " + std::to_string(c.Line) + ": " + c.Object + "." + c.Callee);
            const int32_t index = FindByEitherName(reg, c.Callee);
            ASSERT_LE(0, index) << "not a registered method (names are matched exactly, case included)";
            const TMethReg* m = reg.Method(index);
            EXPECT_EQ(m->ParamCount, static_cast<int32_t>(c.Args.size())) << "the registered argument count";
            called.insert(U8(m->MethName));
            // The table row of the registered method: it tells which arguments are out.
            const TExtention30Method& row = Extention30Methods[index];
            for (int32_t k = 0; k < row.ParamCount && k < static_cast<int32_t>(c.Args.size()); ++k) {
                if (row.Args[k].Use == TArgUse::Out) {
                    EXPECT_TRUE(readmedoc::IsBslVariable(c.Args[static_cast<size_t>(k)]))
                        << "out-argument " << U8(row.Args[k].Name) << " must be a variable: " << c.Args[k];
                }
            }
        }
    }
    EXPECT_FALSE(attachedAs.empty()) << "the example attaches the add-in";
    EXPECT_FALSE(components.empty()) << "the example creates the component with Новый(\"AddIn.<name>.<class>\")";
    for (const char* method : {"GetDescription", "ConnectEquipment", "ProcessCheck", "DisconnectEquipment",
                               "GetLastError"})
        EXPECT_EQ(1u, called.count(method)) << "the example shows " << method;
}

}  // namespace
}  // namespace comptest
