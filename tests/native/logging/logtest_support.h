// Helpers shared by the logging tests: a temporary folder and file access.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "logging/logfile.h"
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

// Every file of a folder (not its subfolders) by name, with its content.
inline std::map<std::string, std::string> FolderContents(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) files[entry.path().filename().string()] = ReadAll(entry.path().string());
    return files;
}

// The platform's files under a log file, with what a test needs to steer and
// watch: a clock that moves only when told, opens that are refused, writes
// that fail or go short (as on a full disk or a drive that went away), files
// held by a reader without delete sharing, renames to given names that fail,
// sizes reported larger than they are, and counts of the calls made.
class TTestFileSystem final : public ILogFileSystem {
public:
    // Steering (set while no line is being written, or under Guard()).
    uint64_t Now = 5000000;              // the monotonic clock, in ms
    bool RefuseOpen = false;             // every open fails
    int RefuseOpens = 0;                 // the next N opens fail
    bool SeekFails = false;              // moving to the end fails
    bool FailWrites = false;             // every write writes nothing
    int ShortWrites = 0;                 // the next N writes write only half their bytes
    bool TruncateFails = false;          // cutting the file fails (its drive went away)
    std::set<std::u16string> Held;       // cannot be renamed or removed
    std::set<std::u16string> NoRenameTo; // renames to these names fail
    int64_t ExtraSize = 0;               // added to every size reported

    // Counts of the calls made.
    int Opens = 0, DirectoryTests = 0, MakeDirectories = 0, Removes = 0, Renames = 0, SizeQueries = 0;
    int Writes = 0, Truncates = 0;

    std::mutex& Guard() { return FGuard; }

    platform::FileHandle Open(const std::u16string& path) override {
        std::lock_guard<std::mutex> lock(FGuard);
        ++Opens;
        if (RefuseOpen) return platform::InvalidFileHandle;
        if (RefuseOpens > 0) {
            --RefuseOpens;
            return platform::InvalidFileHandle;
        }
        return Platform().Open(path);
    }
    int64_t SeekToEnd(platform::FileHandle h) override {
        std::lock_guard<std::mutex> lock(FGuard);
        return SeekFails ? -1 : Platform().SeekToEnd(h);
    }
    size_t Write(platform::FileHandle h, const char* data, size_t size) override {
        std::lock_guard<std::mutex> lock(FGuard);
        ++Writes;
        if (FailWrites) return 0;
        if (ShortWrites > 0) {
            --ShortWrites;
            return Platform().Write(h, data, size / 2);
        }
        return Platform().Write(h, data, size);
    }
    bool Truncate(platform::FileHandle h, int64_t size) override {
        std::lock_guard<std::mutex> lock(FGuard);
        ++Truncates;
        return !TruncateFails && Platform().Truncate(h, size);
    }
    size_t ReadAt(platform::FileHandle h, int64_t offset, char* data, size_t size) override {
        return Platform().ReadAt(h, offset, data, size);
    }
    int64_t Size(platform::FileHandle h) override {
        std::lock_guard<std::mutex> lock(FGuard);
        ++SizeQueries;
        int64_t size = Platform().Size(h);
        return size < 0 ? size : size + ExtraSize;
    }
    void Close(platform::FileHandle h) override { Platform().Close(h); }
    bool DirectoryExists(const std::u16string& path) override {
        std::lock_guard<std::mutex> lock(FGuard);
        ++DirectoryTests;
        return Platform().DirectoryExists(path);
    }
    bool FileExists(const std::u16string& path) override { return Platform().FileExists(path); }
    void MakeDirectory(const std::u16string& path) override {
        std::lock_guard<std::mutex> lock(FGuard);
        ++MakeDirectories;
        Platform().MakeDirectory(path);
    }
    void Remove(const std::u16string& path) override {
        std::lock_guard<std::mutex> lock(FGuard);
        ++Removes;
        if (Held.count(path) == 0) Platform().Remove(path);
    }
    bool Rename(const std::u16string& from, const std::u16string& to) override {
        std::lock_guard<std::mutex> lock(FGuard);
        ++Renames;
        if (Held.count(from) != 0 || NoRenameTo.count(to) != 0) return false;
        return Platform().Rename(from, to);
    }
    uint64_t MonotonicMilliseconds() override {
        std::lock_guard<std::mutex> lock(FGuard);
        return Now;
    }
    void Advance(uint64_t ms) {
        std::lock_guard<std::mutex> lock(FGuard);
        Now += ms;
    }

private:
    static ILogFileSystem& Platform() { return PlatformLogFileSystem(); }
    std::mutex FGuard;
};

}  // namespace logtest
