// The class "KelmorTarvik1C4" and its method table: the order of the table is
// the method index the host sees. The table also names each method's
// arguments and result, so that what integrators read about a method comes
// from the same rows the library registers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "component/extention30.h"
#include "hostapi/classreg.h"

using TExtention30Handler = bool (TExtention30::*)(V8Variant* RetValue, V8Variant* Params,
                                                   int32_t ParamCount, TV8AddInDefBase*& v8);

// What a handler reads from, or writes into, a host value.
enum class TArgKind : uint8_t { Text, Boolean, Integer, Number, Any };
// In: read by the handler. Out: written by the handler and never read, so
// whatever the host passes there is overwritten.
enum class TArgUse : uint8_t { In, Out };

struct TExtention30Arg {
    const char16_t* Name;  // nullptr past the method's last argument
    TArgKind Kind;
    TArgUse Use;
};

// What the handler writes into the host's result value.
struct TExtention30Result {
    TArgKind Kind;         // Boolean or Integer
    const char16_t* Meaning;
};

constexpr int32_t Extention30MaxParams = 5;

struct TExtention30Method {
    int32_t Index;
    const char16_t* Name;     // English
    const char16_t* NameLoc;  // Russian
    int32_t ParamCount;
    TExtention30Handler Handler;
    TExtention30Result Result;
    TExtention30Arg Args[Extention30MaxParams];  // the first ParamCount, in order
};

extern const char16_t* const Extention30ClassName;
extern const TExtention30Method Extention30Methods[];
extern const size_t Extention30MethodCount;

// Registers the class and its methods, in table order, into the list. The
// class's objects are made by UserClass (the product's: TExtention30 with the
// platform's fiscal driver).
TClassReg* RegisterExtention30(TClassRegList& list, TV8UserClass UserClass = &CreateUserObject<TExtention30>);
