// Start-up registration of the library's component class: runs once when the
// library is loaded, after the empty registry exists. A failure here leaves
// the library loaded with no class and goes to the add-in's log.
#include "component/methodtable.h"
#include "hostapi/startup.h"

// The class registration, kept for the life of the library; null when the
// registration failed.
TClassReg* Extention30ClassReg = nullptr;

namespace {

void RegisterProductClasses(TClassRegList& list) { Extention30ClassReg = RegisterExtention30(list); }

[[maybe_unused]] const bool Extention30Registered = RegisterClassesAtLoad(&RegisterProductClasses);

}  // namespace
