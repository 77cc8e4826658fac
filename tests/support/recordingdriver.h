// A recording stand-in for the fiscal driver object, made by its own driver
// factory (recdriver::Factory(), handed to the adapter TDriver30). Every
// operation is written down with its arguments, the out texts as they
// arrived and the format version in force; the answers are fixed values and
// a configurable boolean. Plain C++17, no test framework inside.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/fiscaldriver.h"

namespace recdriver {

// The code of a failed creation unless a test sets another: REGDB_E_CLASSNOTREG.
constexpr int32_t ClassNotRegistered = static_cast<int32_t>(0x80040154u);

// What the stand-in saw and how it answers. Tests own one, hand it over with
// SetState and may reset it by assigning a fresh one.
struct TDriverState {
    bool AdapterCreationFails = false;     // a component cannot make its adapter at all
    bool CreationFails = false;            // the driver object cannot be created
    int32_t CreationFailureCode = ClassNotRegistered;  // carried by that failure (0: none)
    bool MainControlFails = false;         // the main control's version cannot be read
    bool FormatVersionReadFails = false;   // reading kelmor_FormatVersion fails
    bool FormatVersionWriteFails = false;  // writing kelmor_FormatVersion fails
    bool OperationsFail = false;           // every operation raises OperationFailureText
    std::string FailingOperation;          // only this operation raises OperationFailureText
    bool Answer = true;                    // boolean answer of every operation
    int32_t FormatVersion = 0;             // the driver's own initial value

    int CreationAttempts = 0;  // successful or not
    int Created = 0;
    int Destroyed = 0;
    int MainControlReads = 0;
    std::vector<int32_t> FormatVersionWrites;  // successful writes only
    // One entry per operation: "Name(in|in|...|[out]|[out])@<format version>",
    // inputs in the interface's order, then each out text as received in
    // brackets (the adapter must have emptied them). Doubles as "%.17g",
    // SetParameter's value as "<kind>:<value>" (text, int, double, bool).
    std::vector<std::string> Calls;
};

// The state in force (null: none; creating a driver then is a fault of the test).
void SetState(TDriverState* state);
TDriverState* State();

// The factory that makes stand-ins and answers the main control's version.
const TFiscalDriverFactory& Factory();

// Fixed answers. Out texts are "<Name>-><position among the outs>".
constexpr int32_t InterfaceRevision = 3012;
constexpr int32_t LastErrorCode = -7;
constexpr int32_t LineLength = 48;
constexpr int32_t KMRequestStatus = 2;
const char16_t* MainControlVersion();

// Failure texts.
const char16_t* CreationFailureText();
const char16_t* MainControlFailureText();
const char16_t* PropertyFailureText();
const char16_t* OperationFailureText();

}  // namespace recdriver
