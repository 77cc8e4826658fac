// The one shared log file of the library.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
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

class TLogFile {
public:
    TLogFile();
    ~TLogFile();
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    bool Enabled() const;
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

    static std::u16string FormatParams(const TVariantArray& Params);
    static std::u16string FormatValues(const TVariantArray& Values);
    static std::u16string FormatValue(const TLogValue& Value);
    static std::u16string QuoteText(const std::u16string& Text);
    // The plain text form of a value: texts unquoted, a null value empty.
    static std::u16string ValueText(const TLogValue& Value);

    // Tests only: whether the file is open now.
    bool IsOpenForTests() const { return IsOpen(); }

private:
    void Lock() const;
    void Unlock() const;
    void OpenFile();
    void CloseFile();
    bool IsOpen() const;
    int32_t GetSize() const;
    void Write(const std::u16string& line);
    void Rotate();
    void WriteLine(const std::u16string& text);
    void WriteLevel(const char16_t* tag, const std::u16string& Data);

    platform::FileHandle FHandle = platform::InvalidFileHandle;
    std::u16string FFileName;
    bool FEnabled = false;
    int32_t FMaxFileSize = 0;
    int32_t FMaxFileCount = 0;
    mutable platform::RecursiveLock FLock;
};

// The shared instance, created on first use (safe when threads race to it).
TLogFile& GetLogFile();
// Tests only: destroys the shared instance (closing its file); the next
// GetLogFile creates a fresh one. No other thread may be logging meanwhile.
void ResetLogFileForTests();
