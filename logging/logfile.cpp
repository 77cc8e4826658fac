// The one shared log file of the library.
#include "logging/logfile.h"

#include <atomic>
#include <cstring>

#include "platform/failure.h"
#include "platform/text.h"

namespace {

const int64_t BytesPerMegabyte = 1048576;

// Holds the file's lock for one scope; released on every path out.
class TLockScope {
public:
    explicit TLockScope(platform::RecursiveLock& lock) : FLock(lock) { FLock.Enter(); }
    ~TLockScope() { FLock.Leave(); }
    TLockScope(const TLockScope&) = delete;
    TLockScope& operator=(const TLockScope&) = delete;

private:
    platform::RecursiveLock& FLock;
};

std::u16string UnsignedDecimal(uint64_t value) {
    char16_t buffer[24];
    size_t pos = sizeof buffer / sizeof buffer[0];
    do {
        buffer[--pos] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    return std::u16string(buffer + pos, buffer + sizeof buffer / sizeof buffer[0]);
}

std::u16string SignedDecimal(int64_t value) {
    if (value >= 0) return UnsignedDecimal(static_cast<uint64_t>(value));
    return u"-" + UnsignedDecimal(0 - static_cast<uint64_t>(value));
}

// A currency amount (scaled by 10000) as the number-to-text conversion writes
// it: no thousands separators, no trailing zeros in the fraction, and no
// decimal separator when the amount is whole.
std::u16string CurrencyText(int64_t scaled) {
    bool negative = scaled < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    uint64_t whole = magnitude / 10000;
    uint64_t fraction = magnitude % 10000;
    std::u16string result;
    if (negative) result += u'-';
    result += UnsignedDecimal(whole);
    if (fraction != 0) {
        std::u16string tail = UnsignedDecimal(fraction + 10000).substr(1);  // four digits
        while (!tail.empty() && tail.back() == u'0') tail.pop_back();
        result += platform::UserDecimalSeparator();
        result += tail;
    }
    return result;
}

// --- Building one line ----------------------------------------------------------

// The header "[DD.MM.YYYY hh:mm:ss.zzz] [TTTTTTTT] " as ASCII, written by hand:
// 37 characters, more only for a thread identifier of more than 8 digits.
const size_t HeaderCapacity = 48;

// Writes value in decimal with at least digits digits; answers the end.
// 32-bit arithmetic: 64-bit division is a library call on i386.
char* PutDecimal(char* at, uint32_t value, int digits) {
    char buffer[16];
    int n = 0;
    do {
        buffer[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n < digits) buffer[n++] = '0';
    while (n > 0) *at++ = buffer[--n];
    return at;
}

const char DigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Two digits (the fields of a date and time), by table.
char* PutTwo(char* at, int value) {
    if (value < 0 || value > 99) return PutDecimal(at, value < 0 ? 0u : static_cast<uint32_t>(value), 2);
    at[0] = DigitPairs[2 * value];
    at[1] = DigitPairs[2 * value + 1];
    return at + 2;
}

// The time stamp "DD.MM.YYYY hh:mm:ss.zzz"; answers the end. The year and
// the milliseconds of every real clock reading go by table too.
char* PutTimeStamp(char* at, const platform::LocalDateTime& now) {
    at = PutTwo(at, now.Day);
    *at++ = '.';
    at = PutTwo(at, now.Month);
    *at++ = '.';
    if (now.Year >= 0 && now.Year <= 9999) {
        at = PutTwo(at, now.Year / 100);
        at = PutTwo(at, now.Year % 100);
    } else {
        at = PutDecimal(at, now.Year < 0 ? 0u : static_cast<uint32_t>(now.Year), 4);
    }
    *at++ = ' ';
    at = PutTwo(at, now.Hour);
    *at++ = ':';
    at = PutTwo(at, now.Minute);
    *at++ = ':';
    at = PutTwo(at, now.Second);
    *at++ = '.';
    if (now.Millisecond >= 0 && now.Millisecond <= 999) {
        *at++ = static_cast<char>('0' + now.Millisecond / 100);
        at = PutTwo(at, now.Millisecond % 100);
    } else {
        at = PutDecimal(at, now.Millisecond < 0 ? 0u : static_cast<uint32_t>(now.Millisecond), 3);
    }
    return at;
}

// The header of a line written now on the calling thread; answers its length.
size_t PutHeader(char* out) {
    char* at = out;
    *at++ = '[';
    at = PutTimeStamp(at, platform::LocalNow());
    *at++ = ']';
    *at++ = ' ';
    *at++ = '[';
    const uint32_t thread = platform::CurrentThreadId();
    if (thread < 100000000u) {
        // Eight digits, two at a time by table.
        at = PutTwo(at, static_cast<int>(thread / 1000000));
        at = PutTwo(at, static_cast<int>(thread / 10000 % 100));
        at = PutTwo(at, static_cast<int>(thread / 100 % 100));
        at = PutTwo(at, static_cast<int>(thread % 100));
    } else {
        at = PutDecimal(at, thread, 8);
    }
    *at++ = ']';
    *at++ = ' ';
    return static_cast<size_t>(at - out);
}

std::u16string AsciiText(const char* s, size_t n) { return std::u16string(s, s + n); }

const char* LevelTag(TLogLevel level) {
    switch (level) {
        case TLogLevel::Trace:
            return "[TRACE] ";
        case TLogLevel::Info:
            return "[ INFO] ";
        case TLogLevel::Error:
            return "[ERROR] ";
        case TLogLevel::Debug:
            break;
    }
    return "[DEBUG] ";
}

// The bytes of one line in the ANSI code page: on the stack for ordinary
// lengths, on the heap only for long ones.
class TLineBytes {
public:
    TLineBytes() = default;
    TLineBytes(const TLineBytes&) = delete;
    TLineBytes& operator=(const TLineBytes&) = delete;

    // ASCII is the same bytes in every ANSI code page.
    void AppendAscii(const char* s, size_t n) {
        if (!FHeap && FLength + n <= sizeof FStack) {
            std::memcpy(FStack + FLength, s, n);
            FLength += n;
            return;
        }
        MoveToHeap();
        FLong.append(s, n);
    }
    void AppendText(std::u16string_view text) {
        if (text.empty()) return;
        size_t written = 0;
        if (!FHeap && platform::ToAnsi(text.data(), text.size(), FStack + FLength, sizeof FStack - FLength, written)) {
            FLength += written;
            return;
        }
        MoveToHeap();
        FLong += platform::ToAnsi(std::u16string(text));
    }
    const char* Data() const { return FHeap ? FLong.data() : FStack; }
    size_t Size() const { return FHeap ? FLong.size() : FLength; }

private:
    void MoveToHeap() {
        if (FHeap) return;
        FLong.assign(FStack, FLength);
        FHeap = true;
    }

    char FStack[4096];
    size_t FLength = 0;
    bool FHeap = false;
    std::string FLong;
};

// A whole line: header (taken now, on the calling thread), level tag, the
// name and a blank when there is one, the pieces, CR LF.
void ComposeLine(TLineBytes& line, TLogLevel level, const std::u16string_view* name,
                 std::initializer_list<std::u16string_view> pieces) {
    char header[HeaderCapacity];
    line.AppendAscii(header, PutHeader(header));
    line.AppendAscii(LevelTag(level), 8);
    if (name != nullptr) {
        line.AppendText(*name);
        line.AppendAscii(" ", 1);
    }
    for (std::u16string_view piece : pieces) line.AppendText(piece);
    line.AppendAscii("\r\n", 2);
}

// The platform's files and clock.
class TPlatformLogFileSystem final : public ILogFileSystem {
public:
    platform::FileHandle Open(const std::u16string& path) override { return platform::OpenLogFile(path); }
    int64_t SeekToEnd(platform::FileHandle h) override { return platform::SeekToEnd(h); }
    size_t Write(platform::FileHandle h, const char* data, size_t size) override {
        return platform::WriteBytes(h, data, size);
    }
    bool Truncate(platform::FileHandle h, int64_t size) override { return platform::TruncateFile(h, size); }
    size_t ReadAt(platform::FileHandle h, int64_t offset, char* data, size_t size) override {
        return platform::ReadBytesAt(h, offset, data, size);
    }
    int64_t Size(platform::FileHandle h) override { return platform::FileSize(h); }
    void Close(platform::FileHandle h) override { platform::CloseFileHandle(h); }
    bool DirectoryExists(const std::u16string& path) override { return platform::DirectoryExists(path); }
    bool FileExists(const std::u16string& path) override { return platform::FileExists(path); }
    void MakeDirectory(const std::u16string& path) override { platform::CreateOneDirectory(path); }
    void Remove(const std::u16string& path) override { platform::DeleteFileIgnoringErrors(path); }
    bool Rename(const std::u16string& from, const std::u16string& to) override {
        return platform::MoveFileNoReplace(from, to);
    }
    uint64_t MonotonicMilliseconds() override { return platform::MonotonicMilliseconds(); }
};

std::atomic<TLogFile*> GLogFile{nullptr};

// Destroys the shared instance when the library is unloaded.
struct TLogFileFinalization {
    ~TLogFileFinalization() { delete GLogFile.exchange(nullptr); }
} GLogFileFinalization;

}  // namespace

ILogFileSystem& PlatformLogFileSystem() {
    // Trivially destructible: still there for the shared log's finalization,
    // whatever the order of destruction at unload.
    static TPlatformLogFileSystem files;
    return files;
}

// --- Shared instance ---------------------------------------------------------

TLogFile& GetLogFile() {
    TLogFile* current = GLogFile.load(std::memory_order_acquire);
    if (current) return *current;
    // Two threads may get here at once: each builds an instance, one of them
    // is published and the other is thrown away unused.
    TLogFile* created = new TLogFile;
    if (GLogFile.compare_exchange_strong(current, created, std::memory_order_acq_rel, std::memory_order_acquire)) {
        return *created;
    }
    delete created;
    return *current;
}

void ResetLogFileForTests() {
    delete GLogFile.exchange(nullptr);
}

// --- Life and properties -------------------------------------------------------

TLogFile::TLogFile() : FFiles(PlatformLogFileSystem()) {}

TLogFile::TLogFile(ILogFileSystem& files) : FFiles(files) {}

TLogFile::~TLogFile() {
    // Unloading: one last try for the lines that wait, at once whatever the
    // pause after the last failure (there is no later line to wait for).
    try {
        TLockScope scope(FLock);
        if (FEnabled.load(std::memory_order_relaxed) && (!FWaiting.empty() || FLost != 0)) {
            FOpenFailed = false;
            if (!IsOpen()) OpenFile();
            if (IsOpen()) WriteWaiting();
        }
    } catch (...) {
    }
    CloseFile();
}

void TLogFile::Lock() const {
    FLock.Enter();
}

void TLogFile::Unlock() const {
    FLock.Leave();
}

void TLogFile::SetEnabled(bool value) {
    TLockScope scope(FLock);
    if (value == FEnabled.load(std::memory_order_relaxed)) return;
    // Published before the file is closed: a line that still saw the old
    // value tests it again under the lock.
    FEnabled.store(value, std::memory_order_release);
    CloseFile();
    FOpenFailed = false;
    DropWaiting();  // switched off: what waits goes; switched on: nothing waits
}

std::u16string TLogFile::FileName() const {
    TLockScope scope(FLock);
    return FFileName;
}

void TLogFile::SetFileName(const std::u16string& value) {
    TLockScope scope(FLock);
    if (value == FFileName) return;
    CloseFile();
    FFileName = value;
    FOpenFailed = false;  // another file: the next line tries it at once
    DropWaiting();        // the lines that wait were the old file's
}

int32_t TLogFile::MaxFileSize() const {
    TLockScope scope(FLock);
    return FMaxFileSize;
}

void TLogFile::SetMaxFileSize(int32_t value) {
    TLockScope scope(FLock);
    FMaxFileSize = value;
}

int32_t TLogFile::MaxFileCount() const {
    TLockScope scope(FLock);
    return FMaxFileCount;
}

void TLogFile::SetMaxFileCount(int32_t value) {
    TLockScope scope(FLock);
    FMaxFileCount = value;
}

bool TLogFile::IsOpenForTests() const {
    TLockScope scope(FLock);
    return IsOpen();
}

size_t TLogFile::WaitingLinesForTests() const {
    TLockScope scope(FLock);
    return FWaiting.size();
}

uint64_t TLogFile::LostLinesForTests() const {
    TLockScope scope(FLock);
    return FLost;
}

std::u16string TLogFile::LostLinesText(uint64_t count) {
    return u"Потеряно строк журнала: " + UnsignedDecimal(count) +
           u" (файл журнала был недоступен или на диске не было места)";
}

// --- Line header ---------------------------------------------------------------

std::u16string TLogFile::GetTimeStamp() {
    char buffer[HeaderCapacity];
    return AsciiText(buffer, static_cast<size_t>(PutTimeStamp(buffer, platform::LocalNow()) - buffer));
}

std::u16string TLogFile::GetLineHeader() {
    char buffer[HeaderCapacity];
    return AsciiText(buffer, PutHeader(buffer));
}

// --- File ------------------------------------------------------------------------

bool TLogFile::IsOpen() const {
    return FHandle != platform::InvalidFileHandle;
}

void TLogFile::OpenFile() {
    TLockScope scope(FLock);
    if (IsOpen()) return;
    if (FOpenFailed && FFiles.MonotonicMilliseconds() - FOpenFailedAt < OpenRetryMilliseconds) return;
    std::u16string directory = platform::DirectoryPart(FFileName);
    if (!directory.empty() && !FFiles.DirectoryExists(directory)) FFiles.MakeDirectory(directory);
    FHandle = FFiles.Open(FFileName);
    if (IsOpen()) {
        // A file that cannot be positioned at its end is not written: the
        // line would overwrite the oldest ones.
        FOffset = FFiles.SeekToEnd(FHandle);
        if (FOffset < 0) CloseFile();
    }
    // Nothing is appended after a piece of our own line that is still there.
    if (IsOpen() && !FUnfinished.Bytes.empty() && FUnfinished.FileName == FFileName && !CutOwnTail()) CloseFile();
    FOpenFailed = !IsOpen();
    // Counted from the end of the try, which itself may have taken seconds.
    if (FOpenFailed) FOpenFailedAt = FFiles.MonotonicMilliseconds();
}

void TLogFile::CloseFile() {
    TLockScope scope(FLock);
    if (IsOpen()) FFiles.Close(FHandle);
    FHandle = platform::InvalidFileHandle;
}

// A line failed part way, and its piece could not be cut off then (the
// handle was dead). What the file holds from where that line began is taken
// off only when it is a beginning of that very line: anything else there was
// written by someone else and is left alone. False when the file cannot be
// read or cut: it is then not written (the next try sees it again).
bool TLogFile::CutOwnTail() {
    const int64_t start = FUnfinished.Offset;
    const int64_t end = FOffset;
    if (end > start && end - start <= static_cast<int64_t>(FUnfinished.Bytes.size())) {
        const size_t length = static_cast<size_t>(end - start);
        std::string tail(length, '\0');
        if (FFiles.ReadAt(FHandle, start, &tail[0], length) != length) return false;
        if (FUnfinished.Bytes.compare(0, length, tail) == 0) {
            if (!FFiles.Truncate(FHandle, start)) return false;
            FOffset = start;
        } else {
            FOffset = FFiles.SeekToEnd(FHandle);
            if (FOffset < 0) return false;
        }
    }
    FUnfinished = TUnfinishedLine();
    return true;
}

int64_t TLogFile::GetSize() const {
    if (!IsOpen()) return 0;
    return FFiles.Size(FHandle);
}

std::u16string TLogFile::NumberedName(int32_t number) const {
    return FFileName + u"." + SignedDecimal(number) + u".log";
}

// The full file is first moved aside; only once that has worked are the
// numbered files shifted and the moved file put in place as F.1.log. Every
// step is a rename that never replaces its target, so a step that fails
// leaves each file where a later rotation finds it: no line and no numbered
// file is lost, however often a held file makes the rotation fail.
void TLogFile::Rotate() {
    const int32_t count = FMaxFileCount;
    if (count <= 0) return;
    const std::u16string aside = FFileName + u".rotating";
    CloseFile();
    // A rotation that could not finish (its file could go neither into
    // place nor back, or the process ended half way) left its file aside: it
    // goes into place first. While it cannot, the current file is not moved
    // and keeps growing.
    if (FFiles.FileExists(aside)) PlaceAside(aside, count);
    // When the file cannot be moved (a reader holds it without delete
    // sharing) nothing else is touched. When it cannot be put in place, it
    // goes back. Either way the same file is reopened and appended to, and
    // the next line over the limit tries again.
    if (!FFiles.FileExists(aside) && FFiles.Rename(FFileName, aside) && !PlaceAside(aside, count))
        FFiles.Rename(aside, FFileName);
    OpenFile();
}

bool TLogFile::PlaceAside(const std::u16string& aside, int32_t count) {
    // Room at F.1.log: the numbered files below the first missing one move
    // up by one. Only when none is missing is F.N.log dropped to make that
    // gap. A rotation that failed half way has left a gap, so trying again
    // drops nothing more.
    int32_t gap = 0;
    for (int32_t i = 1; i <= count && gap == 0; ++i)
        if (!FFiles.FileExists(NumberedName(i))) gap = i;
    if (gap == 0) {
        FFiles.Remove(NumberedName(count));
        if (FFiles.FileExists(NumberedName(count))) return false;
        gap = count;
    }
    for (int32_t i = gap - 1; i >= 1; --i)
        if (!FFiles.Rename(NumberedName(i), NumberedName(i + 1))) return false;
    return FFiles.Rename(aside, NumberedName(1));
}

// While the file takes writes, each line goes straight to it before the
// caller goes on, and nothing waits. A line the file does not take (it cannot
// be opened, or the write fails) waits in memory; the first line that finds
// the file taking writes again writes what waits ahead of itself, oldest
// first. There is no thread of our own: only a line, or the unload, writes.
void TLogFile::Write(const char* bytes, size_t size) {
    TLockScope scope(FLock);
    if (!FEnabled.load(std::memory_order_relaxed)) return;
    if (!IsOpen()) OpenFile();  // (the lock is held: not taken again for an open file)
    // (Behind lines that still wait, a line waits too: the order is kept.)
    if (IsOpen() && ((FWaiting.empty() && FLost == 0) || WriteWaiting()) && PutLine(bytes, size)) return;
    Keep(bytes, size);
}

// One line into the open file, then the size test. False (the file closed)
// when the line did not go whole.
bool TLogFile::PutLine(const char* bytes, size_t size) {
    if (!IsOpen()) return false;
    if (FFiles.Write(FHandle, bytes, size) != size) {
        WriteFailed(bytes, size);
        return false;
    }
    FOffset += static_cast<int64_t>(size);
    if (FMaxFileSize > 0) {
        // In 64 bits: a file past 4 GiB is over any limit, and a limit of
        // 2048 MB or more does not wrap into a negative one.
        if (GetSize() > static_cast<int64_t>(FMaxFileSize) * BytesPerMegabyte) Rotate();
    }
    return true;
}

// A write that failed or went short. What of the line reached the file is
// cut off again, back to where the line began (the end of the last whole
// line): writing the rest instead would need the very space or drive that
// just failed, while cutting back is one call that tells whether it worked.
// The whole line then waits with the others. A drive that went away cannot
// cut either: the line's start and bytes are kept, and the next open takes
// its piece off if it is still there. The file is closed (its handle may be
// dead for good) and opened again within the pause after a failure.
void TLogFile::WriteFailed(const char* bytes, size_t size) {
    if (!FFiles.Truncate(FHandle, FOffset)) {
        try {
            FUnfinished.Bytes.assign(bytes, size);
            FUnfinished.FileName = FFileName;
            FUnfinished.Offset = FOffset;
        } catch (...) {
            FUnfinished = TUnfinishedLine();
        }
    }
    CloseFile();
    FOpenFailed = true;
    FOpenFailedAt = FFiles.MonotonicMilliseconds();
}

// Keeps a line the file did not take. Past the bound the oldest go, and are
// counted for the notice.
void TLogFile::Keep(const char* bytes, size_t size) {
    try {
        FWaiting.emplace_back(bytes, size);
        FWaitingBytes += size;
    } catch (...) {
        ++FLost;  // no memory for it
    }
    while (!FWaiting.empty() && (FWaiting.size() > WaitingLinesLimit || FWaitingBytes > WaitingBytesLimit)) {
        FWaitingBytes -= FWaiting.front().size();
        FWaiting.pop_front();
        ++FLost;
    }
}

// Into the open file: first, where the lost lines were, the line that says
// how many; then the waiting lines, oldest first. Stops at the first that
// the file does not take (the file is then closed); true when all went.
bool TLogFile::WriteWaiting() try {
    if (FLost != 0) {
        TLineBytes notice;
        ComposeLine(notice, TLogLevel::Error, nullptr, {LostLinesText(FLost)});
        if (!PutLine(notice.Data(), notice.Size())) return false;
        FLost = 0;
    }
    while (!FWaiting.empty()) {
        const std::string& line = FWaiting.front();
        if (!PutLine(line.data(), line.size())) return false;
        FWaitingBytes -= line.size();
        FWaiting.pop_front();
    }
    return true;
} catch (...) {
    return false;  // no memory for the notice: tried again with the next line
}

void TLogFile::DropWaiting() {
    FWaiting.clear();
    FWaitingBytes = 0;
    FLost = 0;
}

void TLogFile::WritePieces(TLogLevel Level, std::initializer_list<std::u16string_view> Pieces) {
    WriteLine(Level, nullptr, Pieces);
}

void TLogFile::WritePieces(TLogLevel Level, std::u16string_view Name,
                           std::initializer_list<std::u16string_view> Pieces) {
    WriteLine(Level, &Name, Pieces);
}

void TLogFile::WriteLine(TLogLevel Level, const std::u16string_view* Name,
                         std::initializer_list<std::u16string_view> Pieces) {
    // Switched off: nothing is built at all.
    if (!FEnabled.load(std::memory_order_acquire)) return;
    try {
        // The header is taken on the caller's thread before the lock.
        TLineBytes line;
        ComposeLine(line, Level, Name, Pieces);
        // One write call per line, before the caller goes on.
        Write(line.Data(), line.Size());
    } catch (...) {
        // Logging never fails its caller.
    }
}

// --- Levels ------------------------------------------------------------------------

void TLogFile::Trace(const std::u16string& Data) {
    WritePieces(TLogLevel::Trace, {Data});
}

void TLogFile::Info(const std::u16string& Data) {
    WritePieces(TLogLevel::Info, {Data});
}

void TLogFile::Error(const std::u16string& Data) {
    WritePieces(TLogLevel::Error, {Data});
}

void TLogFile::Debug(const std::u16string& Data) {
    WritePieces(TLogLevel::Debug, {Data});
}

void TLogFile::Error(const std::u16string& Data, const std::exception& E) {
    if (!Enabled()) return;
    try {
        WritePieces(TLogLevel::Error, {Data, u" ", ExceptionMessage(E)});
    } catch (...) {
    }
}

void TLogFile::Trace(const std::u16string& Data, const TVariantArray& Params) {
    if (!Enabled()) return;
    try {
        WritePieces(TLogLevel::Trace, {Data, FormatParams(Params)});
    } catch (...) {
    }
}

void TLogFile::Info(const std::u16string& Data, const TVariantArray& Params) {
    if (!Enabled()) return;
    try {
        WritePieces(TLogLevel::Info, {Data, FormatParams(Params)});
    } catch (...) {
    }
}

void TLogFile::Error(const std::u16string& Data, const TVariantArray& Params) {
    if (!Enabled()) return;
    try {
        WritePieces(TLogLevel::Error, {Data, FormatParams(Params)});
    } catch (...) {
    }
}

void TLogFile::Debug(const std::u16string& Data, const TVariantArray& Params) {
    if (!Enabled()) return;
    try {
        WritePieces(TLogLevel::Debug, {Data, FormatParams(Params)});
    } catch (...) {
    }
}

void TLogFile::Debug(const std::u16string& Data, const TVariantArray& Params, const TLogValue& Result) {
    if (!Enabled()) return;
    try {
        WritePieces(TLogLevel::Debug, {Data, FormatParams(Params), u"=", FormatValue(Result)});
    } catch (...) {
    }
}

void TLogFile::Debug(const std::u16string& Data, const TLogValue& Result) {
    if (!Enabled()) return;
    try {
        WritePieces(TLogLevel::Debug, {Data, u"=", FormatValue(Result)});
    } catch (...) {
    }
}

// --- Formatting -------------------------------------------------------------------

std::u16string TLogFile::FormatParams(const TVariantArray& Params) {
    // The arguments arrive already converted into values.
    return FormatValues(Params);
}

std::u16string TLogFile::FormatValues(const TVariantArray& Values) {
    std::u16string result;
    for (const TLogValue& value : Values) {
        if (!result.empty()) result += u", ";
        result += FormatValue(value);
    }
    return u"(" + result + u")";
}

std::u16string TLogFile::FormatValue(const TLogValue& Value) {
    switch (Value.Kind) {
        case TLogValue::Null:
            return u"NULL";
        case TLogValue::AnsiString:
        case TLogValue::OleString:
            return QuoteText(Value.TextValue);
        default:
            return ValueText(Value);
    }
}

std::u16string TLogFile::ValueText(const TLogValue& Value) {
    switch (Value.Kind) {
        case TLogValue::Null:
            return std::u16string();
        case TLogValue::Int32:
            return SignedDecimal(static_cast<int32_t>(Value.IntValue));
        case TLogValue::Int64:
            return SignedDecimal(Value.IntValue);
        case TLogValue::Boolean:
            return Value.BoolValue ? u"True" : u"False";
        case TLogValue::Double:
            return platform::FormatDouble(Value.DoubleValue);
        case TLogValue::Currency:
            return CurrencyText(Value.IntValue);
        case TLogValue::AnsiString:
        case TLogValue::OleString:
        case TLogValue::NativeString:
            return Value.TextValue;
    }
    return std::u16string();
}

std::u16string TLogFile::QuoteText(const std::u16string& Text) {
    if (Text.empty()) return u"''";
    static const char16_t Hex[] = u"0123456789ABCDEF";
    std::u16string result;
    bool quoted = false;
    for (char16_t c : Text) {
        if (c >= 32) {
            if (!quoted) {
                result += u'\'';
                quoted = true;
            }
            result += c;
        } else {
            if (quoted) {
                result += u'\'';
                quoted = false;
            }
            result += u"#$";
            result += Hex[(c >> 4) & 0xF];
            result += Hex[c & 0xF];
        }
    }
    if (quoted) result += u'\'';
    return result;
}
