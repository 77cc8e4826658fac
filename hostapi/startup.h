// The library's start-up registration of its component classes, run from a
// static initializer while the host is inside LoadLibrary.
#pragma once

#include "hostapi/classreg.h"

// The add-in's log file: GetMethodName switches the shared log to it, and a
// failed start-up registration writes its error line there.
extern const char16_t* const AddInLogFileName;

// Registers the library's classes into the registry.
using TClassRegistration = void (*)(TClassRegList& list);

// Runs registration. Whatever it throws stops here, since a failure that left
// a static initializer would end the host's process: every class it had
// begun to register is taken out again (the registry and the class names are
// as before, so the host is offered nothing half-registered), and one error
// line with the failure's message goes to logFileName. The shared log is off
// and has no name at load, so the line is written with the log switched to
// that file for the one line; afterwards the log is left as it was. True
// when the registration went through.
bool RegisterClassesAtLoad(TClassRegistration registration,
                           const char16_t* logFileName = AddInLogFileName) noexcept;
