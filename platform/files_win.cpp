// Log file operations on Windows.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
HANDLE H(FileHandle h) { return reinterpret_cast<HANDLE>(h); }

// The log's drive may be a removable one with no medium: the system must not
// stop the host's till with a "no disk" dialog; the line is simply dropped.
// The host's own error mode is restored afterwards.
class TNoCriticalErrorDialogs {
public:
    TNoCriticalErrorDialogs() { FChanged = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &FOld) != 0; }
    ~TNoCriticalErrorDialogs() {
        if (FChanged) SetThreadErrorMode(FOld, nullptr);
    }
    TNoCriticalErrorDialogs(const TNoCriticalErrorDialogs&) = delete;
    TNoCriticalErrorDialogs& operator=(const TNoCriticalErrorDialogs&) = delete;

private:
    DWORD FOld = 0;
    bool FChanged = false;
};

// Repeats a read or a write (BOOL (HANDLE, char*, DWORD, DWORD*)) until all
// size bytes went, in pieces a DWORD can count; stops at the first call that
// fails or moves nothing. Answers the bytes moved.
template <class TTransfer>
size_t TransferAll(size_t size, TTransfer transfer) {
    size_t total = 0;
    while (total < size) {
        const size_t left = size - total;
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD moved = 0;
        if (!transfer(total, chunk, &moved) || moved == 0) break;
        total += moved;
    }
    return total;
}

}  // namespace

FileHandle OpenLogFile(const std::u16string& path) {
    // Others may read the file while it is open; a second writer is refused.
    TNoCriticalErrorDialogs quiet;
    HANDLE h = CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return InvalidFileHandle;
    return reinterpret_cast<FileHandle>(h);
}

int64_t SeekToEnd(FileHandle h) {
    if (h == InvalidFileHandle) return -1;
    // SetFilePointer without its high part fails past 4 GiB and leaves the
    // pointer at 0, where the next line would overwrite the oldest ones.
    LARGE_INTEGER distance, position;
    distance.QuadPart = 0;
    if (!SetFilePointerEx(H(h), distance, &position, FILE_END)) return -1;
    return static_cast<int64_t>(position.QuadPart);
}

size_t WriteBytes(FileHandle h, const char* data, size_t size) {
    if (h == InvalidFileHandle) return 0;
    // A short write is followed by one for the rest: it either goes too, or
    // fails and tells the caller how far the bytes got. (No change of the
    // error mode here: this is every line's path, and the open before it
    // has already met a drive without its medium.)
    return TransferAll(size, [&](size_t done, DWORD chunk, DWORD* written) {
        return WriteFile(H(h), data + done, chunk, written, nullptr) != 0;
    });
}

bool TruncateFile(FileHandle h, int64_t size) {
    if (h == InvalidFileHandle || size < 0) return false;
    TNoCriticalErrorDialogs quiet;
    LARGE_INTEGER distance;
    distance.QuadPart = size;
    return SetFilePointerEx(H(h), distance, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(H(h)) != 0;
}

size_t ReadBytesAt(FileHandle h, int64_t offset, char* data, size_t size) {
    if (h == InvalidFileHandle || offset < 0) return 0;
    TNoCriticalErrorDialogs quiet;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    if (!SetFilePointerEx(H(h), distance, nullptr, FILE_BEGIN)) return 0;
    return TransferAll(size, [&](size_t done, DWORD chunk, DWORD* got) {
        return ReadFile(H(h), data + done, chunk, got, nullptr) != 0;
    });
}

int64_t FileSize(FileHandle h) {
    if (h == InvalidFileHandle) return -1;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(H(h), &size)) return -1;
    return static_cast<int64_t>(size.QuadPart);
}

void CloseFileHandle(FileHandle h) {
    if (h == InvalidFileHandle) return;
    CloseHandle(H(h));
}

bool DirectoryExists(const std::u16string& path) {
    TNoCriticalErrorDialogs quiet;
    DWORD attributes = GetFileAttributesW(W(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::u16string& path) {
    TNoCriticalErrorDialogs quiet;
    DWORD attributes = GetFileAttributesW(W(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void CreateOneDirectory(const std::u16string& path) {
    TNoCriticalErrorDialogs quiet;
    CreateDirectoryW(W(path), nullptr);
}

void DeleteFileIgnoringErrors(const std::u16string& path) {
    TNoCriticalErrorDialogs quiet;
    DeleteFileW(W(path));
}

bool MoveFileNoReplace(const std::u16string& from, const std::u16string& to) {
    // MoveFileW never replaces an existing target.
    TNoCriticalErrorDialogs quiet;
    return MoveFileW(W(from), W(to)) != 0;
}

std::u16string DirectoryPart(const std::u16string& path) {
    size_t pos = path.find_last_of(u"\\/:");
    if (pos == std::u16string::npos) return std::u16string();
    return path.substr(0, pos + 1);
}

}  // namespace platform
