// The one shared log file of the library.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/platform.h"

// One argument of the formatting overloads (the variant kinds a log argument
// list is converted into).
struct TLogValue {
    enum TKind {
        Null,        // "NULL"
        Int32,       // decimal
        Int64,       // decimal
        Boolean,     // "True" / "False"
        Double,      // platform::FormatDouble
        Currency,    // scaled by 10000, written with the user's decimal separator
        AnsiString,  // quoted (QuoteText)
        OleString,   // quoted (QuoteText)
        NativeString // not quoted
    };
    TKind Kind = Null;
    int64_t IntValue = 0;  // Int32, Int64, Currency (x10000)
    bool BoolValue = false;
    double DoubleValue = 0.0;
    std::u16string TextValue;
};
using TVariantArray = std::vector<TLogValue>;

// The file operations and the clock that a log file uses: the platform's own
// (PlatformLogFileSystem) unless a test hands a TLogFile its own to see what
// it does with them. Not owned by the log file, and never deleted through
// this interface.
class ILogFileSystem {
public:
    virtual platform::FileHandle Open(const std::u16string& path) = 0;
    virtual int64_t SeekToEnd(platform::FileHandle h) = 0;  // the new position, -1 when it could not
    // Answers the bytes written: fewer than size when the disk is full or the
    // drive went away.
    virtual size_t Write(platform::FileHandle h, const char* data, size_t size) = 0;
    virtual bool Truncate(platform::FileHandle h, int64_t size) = 0;  // ends the file there and moves there
    virtual size_t ReadAt(platform::FileHandle h, int64_t offset, char* data, size_t size) = 0;
    virtual int64_t Size(platform::FileHandle h) = 0;  // -1 when unknown
    virtual void Close(platform::FileHandle h) = 0;
    virtual bool DirectoryExists(const std::u16string& path) = 0;
    virtual bool FileExists(const std::u16string& path) = 0;
    virtual void MakeDirectory(const std::u16string& path) = 0;  // one level; failure ignored
    virtual void Remove(const std::u16string& path) = 0;         // failure ignored
    virtual bool Rename(const std::u16string& from, const std::u16string& to) = 0;  // never replaces
    virtual uint64_t MonotonicMilliseconds() = 0;

protected:
    ~ILogFileSystem() = default;
};

// The platform's files and clock; lives as long as the process.
ILogFileSystem& PlatformLogFileSystem();

enum class TLogLevel { Trace, Info, Error, Debug };

class TLogFile {
public:
    TLogFile();
    // A log file working through the given files and clock, which must
    // outlive it.
    explicit TLogFile(ILogFileSystem& files);
    ~TLogFile();
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    // Read without the lock: cheap enough for callers to test before they
    // build a text.
    bool Enabled() const { return FEnabled.load(std::memory_order_acquire); }
    void SetEnabled(bool value);
    std::u16string FileName() const;
    void SetFileName(const std::u16string& value);
    int32_t MaxFileSize() const;
    void SetMaxFileSize(int32_t value);
    int32_t MaxFileCount() const;
    void SetMaxFileCount(int32_t value);

    static std::u16string GetTimeStamp();
    static std::u16string GetLineHeader();

    void Trace(const std::u16string& Data);
    void Info(const std::u16string& Data);
    void Error(const std::u16string& Data);
    void Debug(const std::u16string& Data);
    void Error(const std::u16string& Data, const std::exception& E);

    void Trace(const std::u16string& Data, const TVariantArray& Params);
    void Info(const std::u16string& Data, const TVariantArray& Params);
    void Error(const std::u16string& Data, const TVariantArray& Params);
    void Debug(const std::u16string& Data, const TVariantArray& Params);
    void Debug(const std::u16string& Data, const TVariantArray& Params, const TLogValue& Result);
    void Debug(const std::u16string& Data, const TLogValue& Result);

    // One line of the level whose text is the pieces one after another,
    // without joining them first; a logger's line starts with its name and a
    // blank.
    void WritePieces(TLogLevel Level, std::initializer_list<std::u16string_view> Pieces);
    void WritePieces(TLogLevel Level, std::u16string_view Name, std::initializer_list<std::u16string_view> Pieces);

    static std::u16string FormatParams(const TVariantArray& Params);
    static std::u16string FormatValues(const TVariantArray& Values);
    static std::u16string FormatValue(const TLogValue& Value);
    static std::u16string QuoteText(const std::u16string& Text);
    // The plain text form of a value: texts unquoted, a null value empty.
    static std::u16string ValueText(const TLogValue& Value);

    // Tests only: whether the file is open now; the lines waiting in memory
    // and the lines lost since the last notice.
    bool IsOpenForTests() const;
    size_t WaitingLinesForTests() const;
    uint64_t LostLinesForTests() const;

    // After a failed open or a failed write, the next try waits this long (a
    // missing or unready drive can block each try for seconds).
    static constexpr uint64_t OpenRetryMilliseconds = 1000;
    // Lines that the file did not take wait in memory, at most this many and
    // this many bytes; past either the oldest go.
    static constexpr size_t WaitingLinesLimit = 10000;
    static constexpr size_t WaitingBytesLimit = 1048576;
    // The text of the line that tells how many lines were lost.
    static std::u16string LostLinesText(uint64_t count);

private:
    void Lock() const;
    void Unlock() const;
    void OpenFile();
    void CloseFile();
    bool IsOpen() const;
    int64_t GetSize() const;
    void Write(const char* bytes, size_t size);
    bool PutLine(const char* bytes, size_t size);
    void WriteFailed(const char* bytes, size_t size);
    void Keep(const char* bytes, size_t size);
    bool WriteWaiting();
    void DropWaiting();
    bool CutOwnTail();
    void WriteLine(TLogLevel Level, const std::u16string_view* Name, std::initializer_list<std::u16string_view> Pieces);
    void Rotate();
    bool PlaceAside(const std::u16string& aside, int32_t count);
    std::u16string NumberedName(int32_t number) const;

    ILogFileSystem& FFiles;
    platform::FileHandle FHandle = platform::InvalidFileHandle;
    std::u16string FFileName;
    std::atomic<bool> FEnabled{false};
    int32_t FMaxFileSize = 0;
    int32_t FMaxFileCount = 0;
    bool FOpenFailed = false;        // the last open or write failed ...
    uint64_t FOpenFailedAt = 0;      // ... and ended at this monotonic time
    int64_t FOffset = 0;             // where the open file's next line goes
    std::deque<std::string> FWaiting;  // lines not yet taken by the file, oldest first
    size_t FWaitingBytes = 0;
    uint64_t FLost = 0;              // lines dropped since the last notice in the file
    // A line that failed part way and could not be cut off at once: its
    // file, where it began and its bytes (empty when there is none: a line
    // always ends in CR LF), so that the next open can take off what of it
    // reached the file.
    struct TUnfinishedLine {
        std::u16string FileName;
        int64_t Offset = 0;
        std::string Bytes;
    } FUnfinished;
    mutable platform::RecursiveLock FLock;
};

// The shared instance, created on first use (safe when threads race to it).
TLogFile& GetLogFile();
// Tests only: destroys the shared instance (closing its file); the next
// GetLogFile creates a fresh one. No other thread may be logging meanwhile.
void ResetLogFileForTests();
