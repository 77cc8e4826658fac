// Prints the README's method block, made from the component's method table;
// with a file name, rewrites that file's block in place instead.
//   readme_methods               the block on standard output
//   readme_methods README.md     README.md with its block brought up to date
#include <fstream>
#include <iostream>
#include <sstream>

#include "tests/readme/readmedoc.h"

int main(int argc, char** argv) {
    const std::string block = readmedoc::MethodTableMarkdown();
    if (argc < 2) {
        std::cout << block;
        return 0;
    }
    if (argc > 2) {
        std::cerr << "usage: readme_methods [README.md]\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "readme_methods: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    in.close();
    std::string updated;
    if (!readmedoc::ReplaceMethodBlock(text.str(), block, updated)) {
        std::cerr << "readme_methods: " << argv[1] << " needs exactly one " << readmedoc::MethodsBegin << " line and one "
                  << readmedoc::MethodsEnd << " line after it\n";
        return 1;
    }
    if (updated == text.str()) {
        std::cout << argv[1] << ": method table up to date\n";
        return 0;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << updated;
    if (!out.flush()) {
        std::cerr << "readme_methods: cannot write " << argv[1] << "\n";
        return 1;
    }
    std::cout << argv[1] << ": method table rewritten\n";
    return 0;
}
