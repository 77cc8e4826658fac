// The README's parts that are made from, or checked against, the code: the
// method table block written from the component's method table, and a small
// reader of the 1C-language examples (```bsl blocks) that finds the calls made
// on the component object. All texts are UTF-8.
#pragma once

#include <string>
#include <vector>

namespace readmedoc {

extern const char* const MethodsBegin;  // "<!-- methods:begin -->"
extern const char* const MethodsEnd;    // "<!-- methods:end -->"

// The Markdown of the method block, markers included, ending with a line break.
std::string MethodTableMarkdown();

// The method block of a README, markers included, ending with the line break
// after the end marker. Empty when the markers are missing, repeated or out
// of order.
std::string MethodBlockOf(const std::string& readme);

// The README with its method block replaced by Block. False, leaving Result
// alone, when the README has no single well-formed block.
bool ReplaceMethodBlock(const std::string& readme, const std::string& Block, std::string& Result);

// The contents of every ```bsl fenced block, in order.
std::vector<std::string> BslBlocks(const std::string& readme);

// A call found in 1C code: Callee is "Object.Method" or a plain procedure
// name; Args are the argument texts with blanks trimmed, string literals
// shown as written ("..." with doubled quotes kept).
struct TBslCall {
    std::string AssignedTo;  // "X" when the line reads "X = <the call>"
    std::string Object;      // empty for a global procedure or function
    std::string Callee;
    std::vector<std::string> Args;
    int Line = 0;            // 1-based, within its block
};

// Every call in a block of 1C code, comments and string contents skipped
// (Новый / New counts as a call).
std::vector<TBslCall> BslCalls(const std::string& code);

// The text of a 1C string literal ("a""b" -> a"b); false when Arg is not one.
bool BslStringValue(const std::string& Arg, std::string& Value);

// Whether Arg is a plain variable name (what the component can write into).
bool IsBslVariable(const std::string& Arg);

}  // namespace readmedoc
