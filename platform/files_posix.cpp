// Log file operations on POSIX systems. Paths arrive as UTF-16 and are passed
// to the system as UTF-8.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/text.h"

namespace platform {

namespace {

// A path that starts with a drive ("e:\lll.txt") names a Windows drive. There
// is no such thing here: such a path is treated as a drive that is missing
// rather than as a relative name, so nothing named "e:\" appears in the
// current directory.
bool IsDrivePath(const std::u16string& path) {
    if (path.size() < 2 || path[1] != u':') return false;
    char16_t c = path[0];
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool NativePath(const std::u16string& path, std::string& out) {
    if (path.empty() || IsDrivePath(path)) return false;
    out = text::ToUtf8(path);
    return true;
}

int Fd(FileHandle h) { return static_cast<int>(h); }

// Repeats a read or a write (ssize_t (size_t done, size_t left)) until all
// size bytes went, again after a signal; stops at the first call that fails
// or moves nothing. Answers the bytes moved.
template <class TTransfer>
size_t TransferAll(size_t size, TTransfer transfer) {
    size_t total = 0;
    while (total < size) {
        const ssize_t n = transfer(total, size - total);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (n == 0) break;
        total += static_cast<size_t>(n);
    }
    return total;
}

}  // namespace

FileHandle OpenLogFile(const std::u16string& path) {
    std::string name;
    if (!NativePath(path, name)) return InvalidFileHandle;
    int fd = open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return InvalidFileHandle;
    // One writer at a time, even within one process: the lock belongs to this
    // open file description, so a second open() of the same file cannot take
    // it. Readers do not lock and can always read.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return InvalidFileHandle;
    }
    return static_cast<FileHandle>(fd);
}

int64_t SeekToEnd(FileHandle h) {
    if (h == InvalidFileHandle) return -1;
    const off_t end = lseek(Fd(h), 0, SEEK_END);
    return end == static_cast<off_t>(-1) ? -1 : static_cast<int64_t>(end);
}

size_t WriteBytes(FileHandle h, const char* data, size_t size) {
    if (h == InvalidFileHandle) return 0;
    return TransferAll(size, [&](size_t done, size_t left) { return write(Fd(h), data + done, left); });
}

bool TruncateFile(FileHandle h, int64_t size) {
    if (h == InvalidFileHandle || size < 0) return false;
    return ftruncate(Fd(h), static_cast<off_t>(size)) == 0 &&
           lseek(Fd(h), static_cast<off_t>(size), SEEK_SET) != static_cast<off_t>(-1);
}

size_t ReadBytesAt(FileHandle h, int64_t offset, char* data, size_t size) {
    if (h == InvalidFileHandle || offset < 0) return 0;
    return TransferAll(size, [&](size_t done, size_t left) {
        return pread(Fd(h), data + done, left, static_cast<off_t>(offset) + static_cast<off_t>(done));
    });
}

int64_t FileSize(FileHandle h) {
    if (h == InvalidFileHandle) return -1;
    struct stat st;
    if (fstat(Fd(h), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

void CloseFileHandle(FileHandle h) {
    if (h == InvalidFileHandle) return;
    close(Fd(h));
}

bool DirectoryExists(const std::u16string& path) {
    std::string name;
    if (!NativePath(path, name)) return false;
    struct stat st;
    return stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::u16string& path) {
    std::string name;
    if (!NativePath(path, name)) return false;
    struct stat st;
    return stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void CreateOneDirectory(const std::u16string& path) {
    std::string name;
    if (!NativePath(path, name)) return;
    mkdir(name.c_str(), 0755);  // no parents; failure ignored
}

void DeleteFileIgnoringErrors(const std::u16string& path) {
    std::string name;
    if (!NativePath(path, name)) return;
    unlink(name.c_str());
}

bool MoveFileNoReplace(const std::u16string& from, const std::u16string& to) {
    std::string source, target;
    if (!NativePath(from, source) || !NativePath(to, target)) return false;
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
    // File systems without the no-replace rename: a hard link fails when the
    // target exists, so nothing is ever replaced.
    if (link(source.c_str(), target.c_str()) != 0) return false;
    if (unlink(source.c_str()) != 0) {
        unlink(target.c_str());
        return false;
    }
    return true;
}

std::u16string DirectoryPart(const std::u16string& path) {
    size_t pos = path.find_last_of(u"\\/:");
    if (pos == std::u16string::npos) return std::u16string();
    return path.substr(0, pos + 1);
}

}  // namespace platform
