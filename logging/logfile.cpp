// The one shared log file of the library.
#include "logging/logfile.h"

#include <atomic>
#include <cstdio>

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

std::u16string Ascii(const char* s) {
    std::u16string result;
    for (; *s; ++s) result.push_back(static_cast<char16_t>(static_cast<unsigned char>(*s)));
    return result;
}

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

std::u16string RotatedName(const std::u16string& fileName, int32_t number) {
    return fileName + u"." + SignedDecimal(number) + u".log";
}

std::atomic<TLogFile*> GLogFile{nullptr};

// Destroys the shared instance when the library is unloaded.
struct TLogFileFinalization {
    ~TLogFileFinalization() { delete GLogFile.exchange(nullptr); }
} GLogFileFinalization;

}  // namespace

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

TLogFile::TLogFile() = default;

TLogFile::~TLogFile() {
    CloseFile();
}

void TLogFile::Lock() const {
    FLock.Enter();
}

void TLogFile::Unlock() const {
    FLock.Leave();
}

bool TLogFile::Enabled() const {
    TLockScope scope(FLock);
    return FEnabled;
}

void TLogFile::SetEnabled(bool value) {
    TLockScope scope(FLock);
    if (value == FEnabled) return;
    FEnabled = value;
    CloseFile();
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

// --- Line header ---------------------------------------------------------------

std::u16string TLogFile::GetTimeStamp() {
    platform::LocalDateTime now = platform::LocalNow();
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2d.%.2d.%.4d %.2d:%.2d:%.2d.%.3d", now.Day, now.Month, now.Year, now.Hour,
                  now.Minute, now.Second, now.Millisecond);
    return Ascii(buffer);
}

std::u16string TLogFile::GetLineHeader() {
    std::u16string id = UnsignedDecimal(platform::CurrentThreadId());
    if (id.size() < 8) id.insert(0, 8 - id.size(), u'0');
    return u"[" + GetTimeStamp() + u"] [" + id + u"] ";
}

// --- File ------------------------------------------------------------------------

bool TLogFile::IsOpen() const {
    return FHandle != platform::InvalidFileHandle;
}

void TLogFile::OpenFile() {
    TLockScope scope(FLock);
    if (IsOpen()) return;
    std::u16string directory = platform::DirectoryPart(FFileName);
    if (!directory.empty() && !platform::DirectoryExists(directory)) platform::CreateOneDirectory(directory);
    FHandle = platform::OpenLogFile(FFileName);
    if (IsOpen()) platform::SeekToEnd(FHandle);
}

void TLogFile::CloseFile() {
    TLockScope scope(FLock);
    if (IsOpen()) platform::CloseFileHandle(FHandle);
    FHandle = platform::InvalidFileHandle;
}

int32_t TLogFile::GetSize() const {
    if (!IsOpen()) return 0;
    return platform::FileSizeLow32(FHandle);
}

void TLogFile::Rotate() {
    int32_t count = FMaxFileCount;
    if (count <= 0) return;
    const std::u16string& name = FFileName;
    platform::DeleteFileIgnoringErrors(RotatedName(name, count));
    for (int32_t i = count - 1; i >= 1; --i) {
        std::u16string older = RotatedName(name, i);
        if (platform::FileExists(older)) platform::MoveFileNoReplace(older, RotatedName(name, i + 1));
    }
    CloseFile();
    // When the rename fails (the target is still there, or the file is held),
    // the same file is reopened and appended to; the next line over the limit
    // tries again.
    platform::MoveFileNoReplace(name, RotatedName(name, 1));
    OpenFile();
}

void TLogFile::Write(const std::u16string& line) {
    try {
        TLockScope scope(FLock);
        if (!FEnabled) return;
        std::string bytes = platform::ToAnsi(line);
        OpenFile();
        if (!IsOpen()) return;
        platform::WriteBytes(FHandle, bytes);
        if (FMaxFileSize > 0) {
            // Compared in 64 bits: a limit of 2048 MB or more is never reached
            // by a 32-bit size instead of wrapping into a negative limit.
            if (static_cast<int64_t>(GetSize()) > static_cast<int64_t>(FMaxFileSize) * BytesPerMegabyte) Rotate();
        }
    } catch (...) {
        // Logging never fails its caller.
    }
}

void TLogFile::WriteLine(const std::u16string& text) {
    try {
        // The header is taken on the caller's thread before the lock.
        std::u16string line = GetLineHeader();
        line += text;
        line += u"\r\n";
        Write(line);
    } catch (...) {
    }
}

void TLogFile::WriteLevel(const char16_t* tag, const std::u16string& Data) {
    try {
        WriteLine(tag + Data);
    } catch (...) {
    }
}

// --- Levels ------------------------------------------------------------------------

void TLogFile::Trace(const std::u16string& Data) {
    WriteLevel(u"[TRACE] ", Data);
}

void TLogFile::Info(const std::u16string& Data) {
    WriteLevel(u"[ INFO] ", Data);
}

void TLogFile::Error(const std::u16string& Data) {
    WriteLevel(u"[ERROR] ", Data);
}

void TLogFile::Debug(const std::u16string& Data) {
    WriteLevel(u"[DEBUG] ", Data);
}

void TLogFile::Error(const std::u16string& Data, const std::exception& E) {
    try {
        Error(Data + u" " + ExceptionMessage(E));
    } catch (...) {
    }
}

void TLogFile::Trace(const std::u16string& Data, const TVariantArray& Params) {
    try {
        Trace(Data + FormatParams(Params));
    } catch (...) {
    }
}

void TLogFile::Info(const std::u16string& Data, const TVariantArray& Params) {
    try {
        Info(Data + FormatParams(Params));
    } catch (...) {
    }
}

void TLogFile::Error(const std::u16string& Data, const TVariantArray& Params) {
    try {
        Error(Data + FormatParams(Params));
    } catch (...) {
    }
}

void TLogFile::Debug(const std::u16string& Data, const TVariantArray& Params) {
    try {
        Debug(Data + FormatParams(Params));
    } catch (...) {
    }
}

void TLogFile::Debug(const std::u16string& Data, const TVariantArray& Params, const TLogValue& Result) {
    try {
        Debug(Data + FormatParams(Params) + u"=" + FormatValue(Result));
    } catch (...) {
    }
}

void TLogFile::Debug(const std::u16string& Data, const TLogValue& Result) {
    try {
        Debug(Data + u"=" + FormatValue(Result));
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
