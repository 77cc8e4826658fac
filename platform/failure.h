// A failure carrying a message text: the one kind of error the library raises.
// Handlers catch it and log it; the dispatcher catches what is left and
// reports it to the host. It never crosses into the host or a COM server.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

class EFailure : public std::exception {
public:
    // Code: the system's error code behind the failure (an HRESULT), 0 when
    // there is none. It is kept for the log; the message stays the text.
    explicit EFailure(std::u16string message, int32_t code = 0) : FMessage(std::move(message)), FCode(code) {}
    const std::u16string& Message() const noexcept { return FMessage; }
    int32_t Code() const noexcept { return FCode; }
    const char* what() const noexcept override { return "EFailure"; }

private:
    std::u16string FMessage;
    int32_t FCode;
};

// Message text of whatever was caught: EFailure's own text, the what() of a
// standard exception (taken as UTF-8), or a fixed text for anything else.
std::u16string FailureMessage(std::exception_ptr caught);
std::u16string ExceptionMessage(const std::exception& e);
// The code an EFailure carries; 0 for anything else.
int32_t FailureCode(std::exception_ptr caught) noexcept;

[[noreturn]] inline void RaiseFailure(std::u16string message) { throw EFailure(std::move(message)); }
[[noreturn]] inline void RaiseFailure(std::u16string message, int32_t code) {
    throw EFailure(std::move(message), code);
}
