// The thin layer of what differs between Windows and POSIX. Everything above
// it is portable and keeps texts as UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// --- Files (log file) -------------------------------------------------------
using FileHandle = uintptr_t;
constexpr FileHandle InvalidFileHandle = ~static_cast<uintptr_t>(0);

// Open or create for writing, letting other openers read and nothing more.
// A second writer (even in the same process) is refused. InvalidFileHandle on
// failure.
FileHandle OpenLogFile(const std::u16string& path);
// Moves to the end of the file, in 64 bits; answers the new position, -1
// when it could not.
int64_t SeekToEnd(FileHandle h);
// Writes at the current position, as much as the system takes; answers the
// bytes written (fewer than size: a full disk, a drive that went away).
size_t WriteBytes(FileHandle h, const char* data, size_t size);
// Sets the end of the file at size bytes and moves there; false when it
// could not.
bool TruncateFile(FileHandle h, int64_t size);
// Reads up to size bytes from offset; answers the bytes read. The position
// is left wherever the read ended.
size_t ReadBytesAt(FileHandle h, int64_t offset, char* data, size_t size);
int64_t FileSize(FileHandle h);                                // -1 when unknown
void CloseFileHandle(FileHandle h);
bool DirectoryExists(const std::u16string& path);
bool FileExists(const std::u16string& path);
void CreateOneDirectory(const std::u16string& path);  // one level; failure ignored
void DeleteFileIgnoringErrors(const std::u16string& path);
bool MoveFileNoReplace(const std::u16string& from, const std::u16string& to);
// Everything up to and including the last path separator or drive colon.
std::u16string DirectoryPart(const std::u16string& path);

// --- Time and thread --------------------------------------------------------
struct LocalDateTime {
    int Year, Month, Day, Hour, Minute, Second, Millisecond;
};
LocalDateTime LocalNow();  // one reading of the clock
uint32_t CurrentThreadId();
// Milliseconds of a clock that only moves forward (not the time of day).
uint64_t MonotonicMilliseconds();

// --- Locks -----------------------------------------------------------------
// A re-entrant lock: a critical section on Windows (the MinGW thread model we
// build with has no std::recursive_mutex), a recursive mutex elsewhere.
class RecursiveLock {
public:
    RecursiveLock();
    ~RecursiveLock();
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;
    void Enter();
    void Leave();

private:
    void* FImpl;
};

// --- Code pages ---------------------------------------------------------------
// UTF-16 to the system's ANSI code page (Windows: CP_ACP with the code page's
// default character for what it cannot map; POSIX: UTF-8) and back.
std::string ToAnsi(const std::u16string& s);
std::u16string FromAnsi(const std::string& s);
// The same conversion into a caller's buffer: false (and nothing promised
// about the buffer) when the result does not fit in capacity bytes; else the
// bytes are in out and their count in length.
bool ToAnsi(const char16_t* s, size_t count, char* out, size_t capacity, size_t& length);

// --- Locale -----------------------------------------------------------------
// Locale-aware comparison in the user's default locale, no flags
// (case-sensitive); true when the system reports equality.
bool SameName(const std::u16string& a, const std::u16string& b);
// The sort key of a name under the same comparison (Windows: LCMapStringW,
// LCMAP_SORTKEY, user's default locale, no other flags; POSIX: the code units
// themselves): SameName(a, b) exactly when the keys hold the same bytes.
// False when no key can be made (an empty name on Windows).
bool NameSortKey(std::u16string_view name, std::string& key);
// Decimal separator of the user's regional settings, read once at start-up.
char16_t UserDecimalSeparator();
// A double as the platform's default number-to-text conversion writes it,
// with the user's decimal separator (e.g. "1,5").
std::u16string FormatDouble(double value);

// --- System messages ----------------------------------------------------------
// The system's message text for an HRESULT (trailing line breaks and full stops
// cut); empty when the system has none.
std::u16string SystemErrorMessage(int32_t hresult);

// --- XML DOM ------------------------------------------------------------------
struct XmlAttribute {
    std::u16string Name;
    std::u16string Value;
};
// Builds, through the platform's XML DOM (MSXML on Windows), a document with
// the declaration version "1.0", encoding "UTF-8" and one empty root element
// carrying the attributes in order, and returns the DOM's serialised text.
// Raises EFailure when the DOM fails. The document is released on every path.
std::u16string BuildXmlDocument(const std::u16string& rootName,
                                const std::vector<XmlAttribute>& attributes);

}  // namespace platform
