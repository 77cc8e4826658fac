// A test-only add-in whose start-up registration runs out of memory half-way,
// after its class and one method are registered. Loaded by the host
// simulator's "startfail" mode: the library must load all the same, offer no
// class, and leave the failure in the add-in's log.
#include <new>

#include "hostapi/classreg.h"
#include "hostapi/startup.h"
#include "hostapi/userobject.h"

namespace {

class TFailingAddin : public TV8UserObject {
public:
    bool Noop(V8Variant*, V8Variant*, int32_t, TV8AddInDefBase*&) { return true; }
};

void RegisterFailingClasses(TClassRegList& list) {
    TClassReg* reg = list.RegisterClass(&CreateUserObject<TFailingAddin>, u"KelmorFailingExt", u"KelmorFailingAddin");
    reg->AddFunc(u"Noop", u"Ничего", AsFunc(&TFailingAddin::Noop), 0);
    // What an allocation that fails here would throw.
    throw std::bad_alloc();
}

[[maybe_unused]] const bool FailingClassesRegistered = RegisterClassesAtLoad(&RegisterFailingClasses);

}  // namespace
