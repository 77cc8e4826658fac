// A named front end to the shared log file.
#include "logging/logger.h"

#include <algorithm>

#include "platform/failure.h"
#include "platform/platform.h"

namespace {

const size_t BytesPerDumpLine = 20;

std::string HexBytes(const std::string& Data) {
    static const char Hex[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(Data.size() * 3);
    for (size_t i = 0; i < Data.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(Data[i]);
        if (i > 0) result += ' ';
        result += Hex[byte >> 4];
        result += Hex[byte & 0xF];
    }
    return result;
}

}  // namespace

std::u16string BytesToHex(const std::string& Data) {
    std::string hex = HexBytes(Data);
    return std::u16string(hex.begin(), hex.end());
}

// Each call tests the switch first: with the log off no text is built.

void TLogger::Info(const std::u16string& Message) {
    try {
        GetLogFile().WritePieces(TLogLevel::Info, FName, {Message});
    } catch (...) {
    }
}

void TLogger::Debug(const std::u16string& Message) {
    try {
        GetLogFile().WritePieces(TLogLevel::Debug, FName, {Message});
    } catch (...) {
    }
}

void TLogger::Debug(std::initializer_list<std::u16string_view> Parts) {
    try {
        GetLogFile().WritePieces(TLogLevel::Debug, FName, Parts);
    } catch (...) {
    }
}

void TLogger::Error(const std::u16string& Message, const std::exception* Err) {
    try {
        TLogFile& log = GetLogFile();
        if (!log.Enabled()) return;
        if (Err)
            log.WritePieces(TLogLevel::Error, FName, {Message, u" (", ExceptionMessage(*Err), u")"});
        else
            log.WritePieces(TLogLevel::Error, FName, {Message});
    } catch (...) {
    }
}

void TLogger::WriteMethodName(const std::u16string& AMethodName) {
    Debug(AMethodName);
}

void TLogger::WriteMethodValue(const std::u16string& AMethodName, const TLogValue& AValue) {
    try {
        if (!GetLogFile().Enabled()) return;
        GetLogFile().WritePieces(TLogLevel::Debug, FName, {AMethodName, u": ", TLogFile::ValueText(AValue)});
    } catch (...) {
    }
}

void TLogger::WriteSeparator() {
    static const char16_t Separator[] = u"------------------------------------------------------------";
    static_assert(sizeof Separator / sizeof Separator[0] == 61, "60 minus signs");
    try {
        GetLogFile().WritePieces(TLogLevel::Info, FName, {Separator});
    } catch (...) {
    }
}

void TLogger::WriteRxData(const std::string& Data) {
    WriteData("<- ", Data);
}

void TLogger::WriteTxData(const std::string& Data) {
    WriteData("-> ", Data);
}

void TLogger::WriteData(const std::string& Prefix, const std::string& Data) {
    try {
        if (!GetLogFile().Enabled()) return;
        // At least one line, even for no data; at most 20 bytes a line.
        size_t lines = (Data.size() + BytesPerDumpLine - 1) / BytesPerDumpLine;
        if (lines == 0) lines = 1;
        for (size_t i = 0; i < lines; ++i) {
            std::string slice = Data.substr(std::min(i * BytesPerDumpLine, Data.size()), BytesPerDumpLine);
            Debug(platform::FromAnsi(Prefix + HexBytes(slice)));
        }
    } catch (...) {
    }
}
