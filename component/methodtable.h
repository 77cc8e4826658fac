// The class "KelmorTarvik1C4" and its method table: the order of the table is
// the method index the host sees.
#pragma once

#include <cstddef>
#include <cstdint>

#include "component/extention30.h"
#include "hostapi/classreg.h"

using TExtention30Handler = bool (TExtention30::*)(V8Variant* RetValue, V8Variant* Params,
                                                   int32_t ParamCount, TV8AddInDefBase*& v8);

struct TExtention30Method {
    int32_t Index;
    const char16_t* Name;     // English
    const char16_t* NameLoc;  // Russian
    int32_t ParamCount;
    TExtention30Handler Handler;
};

extern const char16_t* const Extention30ClassName;
extern const TExtention30Method Extention30Methods[];
extern const size_t Extention30MethodCount;

// Registers the class and its methods, in table order, into the list. The
// class's objects are made by UserClass (the product's: TExtention30 with the
// platform's fiscal driver).
TClassReg* RegisterExtention30(TClassRegList& list, TV8UserClass UserClass = &CreateUserObject<TExtention30>);
