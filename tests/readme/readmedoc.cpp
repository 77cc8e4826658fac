#include "tests/readme/readmedoc.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "component/methodtable.h"
#include "platform/text.h"

namespace readmedoc {

const char* const MethodsBegin = "<!-- methods:begin -->";
const char* const MethodsEnd = "<!-- methods:end -->";

namespace {

std::string U8(const char16_t* s) { return text::ToUtf8(s != nullptr ? std::u16string(s) : std::u16string()); }

// The value types as 1C code sees them.
const char* KindText(TArgKind Kind) {
    switch (Kind) {
        case TArgKind::Text: return "String";
        case TArgKind::Boolean: return "Boolean";
        case TArgKind::Integer: return "Number (integer)";
        case TArgKind::Number: return "Number";
        case TArgKind::Any: return "String, Number or Boolean";
    }
    return "?";
}

std::string ArgsText(const TExtention30Method& m) {
    if (m.ParamCount == 0) return "none";
    std::string result;
    for (int32_t k = 0; k < m.ParamCount; ++k) {
        const TExtention30Arg& a = m.Args[k];
        if (k > 0) result += "<br>";
        result += std::to_string(k + 1) + ". ";
        if (a.Use == TArgUse::Out) result += "**out** ";
        result += "`" + U8(a.Name) + "`: " + KindText(a.Kind);
    }
    return result;
}

bool IsIdentByte(unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80; }
bool IsIdentStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// The code with comments blanked and string contents replaced by 'x', byte
// for byte, so that positions in it are positions in the code.
std::string Masked(const std::string& code) {
    std::string m = code;
    bool inString = false;
    for (size_t i = 0; i < code.size(); ++i) {
        char c = code[i];
        if (inString) {
            if (c == '"') {
                if (i + 1 < code.size() && code[i + 1] == '"') {
                    m[i] = m[i + 1] = 'x';
                    ++i;
                } else {
                    inString = false;
                }
            } else if (c != '\n') {
                m[i] = 'x';
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '/' && i + 1 < code.size() && code[i + 1] == '/') {
            while (i < code.size() && code[i] != '\n') m[i++] = ' ';
            --i;
        }
    }
    return m;
}

// Words followed by "(" that are not calls.
const std::set<std::string>& Keywords() {
    static const std::set<std::string> words = {
        "Если", "ИначеЕсли", "Пока", "Для", "Возврат", "И", "ИЛИ", "Или", "Не", "Тогда", "Из", "По",
        "If", "ElsIf", "While", "For", "Return", "And", "Or", "Not", "Then", "In", "To"};
    return words;
}

}  // namespace

std::string MethodTableMarkdown() {
    std::string out = std::string(MethodsBegin) + "\n";
    out += "<!-- Generated from component/methodtable.cpp by tools/update-readme-methods.sh; do not edit. -->\n\n";
    out += "| # | English name | Russian name | Arguments, in order | Result |\n";
    out += "|---|---|---|---|---|\n";
    for (size_t i = 0; i < Extention30MethodCount; ++i) {
        const TExtention30Method& m = Extention30Methods[i];
        out += "| " + std::to_string(m.Index) + " | `" + U8(m.Name) + "` | `" + U8(m.NameLoc) + "` | " + ArgsText(m) +
               " | " + KindText(m.Result.Kind) + ": " + U8(m.Result.Meaning) + " |\n";
    }
    out += "\n" + std::string(MethodsEnd) + "\n";
    return out;
}

namespace {

// Where the block starts and ends (after the end marker's line break).
bool FindBlock(const std::string& readme, size_t& Begin, size_t& End) {
    Begin = readme.find(MethodsBegin);
    if (Begin == std::string::npos) return false;
    if (readme.find(MethodsBegin, Begin + 1) != std::string::npos) return false;
    size_t e = readme.find(MethodsEnd);
    if (e == std::string::npos || e < Begin) return false;
    if (readme.find(MethodsEnd, e + 1) != std::string::npos) return false;
    End = e + std::string(MethodsEnd).size();
    if (End < readme.size() && readme[End] == '\n') ++End;
    return true;
}

}  // namespace

std::string MethodBlockOf(const std::string& readme) {
    size_t b = 0, e = 0;
    if (!FindBlock(readme, b, e)) return std::string();
    std::string block = readme.substr(b, e - b);
    if (block.empty() || block.back() != '\n') block += '\n';
    return block;
}

bool ReplaceMethodBlock(const std::string& readme, const std::string& Block, std::string& Result) {
    size_t b = 0, e = 0;
    if (!FindBlock(readme, b, e)) return false;
    Result = readme.substr(0, b) + Block + readme.substr(e);
    return true;
}

std::vector<std::string> BslBlocks(const std::string& readme) {
    std::vector<std::string> blocks;
    size_t pos = 0;
    while (pos < readme.size()) {
        size_t eol = readme.find('\n', pos);
        std::string line = readme.substr(pos, eol == std::string::npos ? std::string::npos : eol - pos);
        pos = eol == std::string::npos ? readme.size() : eol + 1;
        if (Trim(line) != "```bsl") continue;
        std::string body;
        while (pos < readme.size()) {
            eol = readme.find('\n', pos);
            std::string inner = readme.substr(pos, eol == std::string::npos ? std::string::npos : eol - pos);
            pos = eol == std::string::npos ? readme.size() : eol + 1;
            if (Trim(inner) == "```") break;
            body += inner + "\n";
        }
        blocks.push_back(body);
    }
    return blocks;
}

std::vector<TBslCall> BslCalls(const std::string& code) {
    std::vector<TBslCall> calls;
    const std::string m = Masked(code);
    size_t i = 0;
    while (i < m.size()) {
        unsigned char c = static_cast<unsigned char>(m[i]);
        bool startsWord = IsIdentStart(c) && (i == 0 || !IsIdentByte(static_cast<unsigned char>(m[i - 1])));
        if (!startsWord) {
            ++i;
            continue;
        }
        size_t wordEnd = i;
        while (wordEnd < m.size() && IsIdentByte(static_cast<unsigned char>(m[wordEnd]))) ++wordEnd;
        std::string word = m.substr(i, wordEnd - i);
        size_t open = wordEnd;
        while (open < m.size() && (m[open] == ' ' || m[open] == '\t')) ++open;
        if (open >= m.size() || m[open] != '(' || Keywords().count(word) != 0) {
            i = wordEnd;
            continue;
        }
        TBslCall call;
        call.Callee = word;
        call.Line = 1 + static_cast<int>(std::count(m.begin(), m.begin() + static_cast<std::ptrdiff_t>(i), '\n'));
        // "Object." in front of the name.
        size_t start = i;
        if (i > 0 && m[i - 1] == '.') {
            size_t objEnd = i - 1, objBegin = objEnd;
            while (objBegin > 0 && IsIdentByte(static_cast<unsigned char>(m[objBegin - 1]))) --objBegin;
            call.Object = m.substr(objBegin, objEnd - objBegin);
            start = objBegin;
        }
        // "X = " alone in front of the call on its line.
        size_t lineStart = m.rfind('\n', start == 0 ? 0 : start - 1);
        lineStart = (lineStart == std::string::npos || start == 0) ? 0 : lineStart + 1;
        size_t semi = m.rfind(';', start == 0 ? 0 : start - 1);
        if (semi != std::string::npos && start > 0 && semi + 1 > lineStart) lineStart = semi + 1;
        std::string before = Trim(m.substr(lineStart, start - lineStart));
        if (!before.empty() && before.back() == '=') {
            std::string target = Trim(before.substr(0, before.size() - 1));
            bool plain = !target.empty() && IsIdentStart(static_cast<unsigned char>(target[0]));
            for (char t : target) plain = plain && IsIdentByte(static_cast<unsigned char>(t));
            if (plain) call.AssignedTo = target;
        }
        // The arguments, split at the commas of this call's own level.
        int depth = 0;
        size_t argStart = open + 1, j = open + 1;
        for (; j < m.size(); ++j) {
            char d = m[j];
            if (d == '(' || d == '[') {
                ++depth;
            } else if ((d == ')' || d == ']') && depth > 0) {
                --depth;
            } else if (d == ')') {
                break;
            } else if (d == ',' && depth == 0) {
                call.Args.push_back(Trim(code.substr(argStart, j - argStart)));
                argStart = j + 1;
            }
        }
        std::string last = Trim(code.substr(argStart, j - argStart));
        if (!last.empty() || !call.Args.empty()) call.Args.push_back(last);
        calls.push_back(call);
        // Calls nested in the arguments are found on the way.
        i = open + 1;
    }
    return calls;
}

bool BslStringValue(const std::string& Arg, std::string& Value) {
    if (Arg.size() < 2 || Arg.front() != '"' || Arg.back() != '"') return false;
    std::string v;
    for (size_t i = 1; i + 1 < Arg.size(); ++i) {
        if (Arg[i] == '"') {
            if (i + 2 >= Arg.size() || Arg[i + 1] != '"') return false;
            ++i;
        }
        v += Arg[i];
    }
    Value = v;
    return true;
}

bool IsBslVariable(const std::string& Arg) {
    if (Arg.empty() || !IsIdentStart(static_cast<unsigned char>(Arg[0]))) return false;
    for (char c : Arg)
        if (!IsIdentByte(static_cast<unsigned char>(c))) return false;
    static const std::set<std::string> literals = {"Истина", "Ложь", "Неопределено", "True", "False", "Undefined",
                                                   "NULL"};
    return literals.count(Arg) == 0;
}

}  // namespace readmedoc
