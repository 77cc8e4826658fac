// A named front end to the shared log file.
#pragma once

#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>

#include "logging/logfile.h"

class TLogger {
public:
    explicit TLogger(std::u16string AName) : FName(std::move(AName)) {}

    const std::u16string& Name() const { return FName; }

    void Info(const std::u16string& Message);
    void Debug(const std::u16string& Message);
    // A message given in parts, written one after another: no text is put
    // together on the heap for the line.
    void Debug(std::initializer_list<std::u16string_view> Parts);
    void Error(const std::u16string& Message, const std::exception* Err = nullptr);
    void WriteMethodName(const std::u16string& AMethodName);
    void WriteMethodValue(const std::u16string& AMethodName, const TLogValue& AValue);
    void WriteSeparator();
    void WriteRxData(const std::string& Data);
    void WriteTxData(const std::string& Data);
    void WriteData(const std::string& Prefix, const std::string& Data);

private:
    std::u16string FName;
};

std::u16string BytesToHex(const std::string& Data);
