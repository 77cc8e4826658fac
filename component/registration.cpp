// Start-up registration of the library's component class: runs once when the
// library is loaded, after the empty registry exists.
#include "component/methodtable.h"

// The class registration, kept for the life of the library.
TClassReg* Extention30ClassReg = RegisterExtention30(ClassRegList());
