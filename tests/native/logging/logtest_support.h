// Helpers shared by the logging tests: a temporary folder and file access.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/text.h"

namespace logtest {

// A fresh folder under the system's temporary folder, removed afterwards.
class TTempFolder {
public:
    TTempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kelmor-log-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        const char* made = mkdtemp(buffer.data());
        if (made) FPath = made;
    }
    ~TTempFolder() {
        std::error_code ignored;
        if (!FPath.empty()) std::filesystem::remove_all(FPath, ignored);
    }
    const std::string& Path() const { return FPath; }
    std::string File(const std::string& name) const { return FPath + "/" + name; }
    std::u16string File16(const std::string& name) const { return text::FromUtf8(File(name)); }

private:
    std::string FPath;
};

inline bool Exists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// The lines of a log file, each without its CR LF. A final piece without the
// CR LF (which a whole line never leaves) is returned as it is.
inline std::vector<std::string> Lines(const std::string& content) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(content.substr(start));
            break;
        }
        lines.push_back(content.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The part of a line after its header "[date time] [thread] ".
inline std::string AfterHeader(const std::string& line) {
    size_t first = line.find("] [");
    if (first == std::string::npos) return std::string();
    size_t second = line.find("] ", first + 3);
    if (second == std::string::npos) return std::string();
    return line.substr(second + 2);
}

}  // namespace logtest
