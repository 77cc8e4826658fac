// Nothing thrown in the library may reach the host: every export and every
// slot runs its body through one of these barriers.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "hostapi/v8types.h"

class TV8UserObject;

// Runs body; whatever it throws gives fallback.
template <class R, class F>
R Barrier(R fallback, F&& body) noexcept {
    try {
        return std::forward<F>(body)();
    } catch (...) {
        return fallback;
    }
}

template <class F>
void BarrierVoid(F&& body) noexcept {
    try {
        std::forward<F>(body)();
    } catch (...) {
    }
}

// Sends the error report for the exception being handled through the
// object's connection (1006, source, message, E_FAIL). Nothing is sent while
// the object has no connection. Never throws. Call only inside a handler.
void ReportCurrentFailure(TV8UserObject* object) noexcept;

// Runs a handler or accessor: what it throws is reported to the host and
// answers false.
template <class F>
V8Bool ReportingBarrier(TV8UserObject* object, F&& body) noexcept {
    try {
        return std::forward<F>(body)();
    } catch (...) {
        ReportCurrentFailure(object);
        return false;
    }
}

// Source text of the error reports sent to the host.
extern const char16_t* const V8ErrorSource;
