// A failure carrying a message text: the one kind of error the library raises.
// Handlers catch it and log it; the dispatcher catches what is left and
// reports it to the host. It never crosses into the host or a COM server.
#pragma once

#include <exception>
#include <string>

class EFailure : public std::exception {
public:
    explicit EFailure(std::u16string message) : FMessage(std::move(message)) {}
    const std::u16string& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return "EFailure"; }

private:
    std::u16string FMessage;
};

// Message text of whatever was caught: EFailure's own text, the what() of a
// standard exception (taken as UTF-8), or a fixed text for anything else.
std::u16string FailureMessage(std::exception_ptr caught);
std::u16string ExceptionMessage(const std::exception& e);

[[noreturn]] inline void RaiseFailure(std::u16string message) { throw EFailure(std::move(message)); }
