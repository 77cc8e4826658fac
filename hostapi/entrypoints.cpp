// The exports the host looks up by name, and the slots of IInitDone and
// LocaleBase.
#include <cstring>
#include <memory>
#include <new>

#include "hostapi/barrier.h"
#include "hostapi/classreg.h"
#include "hostapi/componentbase.h"
#include "hostapi/exports.h"
#include "hostapi/userobject.h"
#include "platform/text.h"

namespace {

// --- IInitDone --------------------------------------------------------------
// A record whose object was ended by a destructor call without freeing has no
// object: the slots then answer as for nothing.

V8Bool V8_CALL InitSlot(TV8View self, TV8AddInDefBase* connection) {
    return Barrier<V8Bool>(false, [&]() -> V8Bool {
        TV8UserObject* object = ObjectOfView(self);
        if (object == nullptr) return false;
        object->V8 = connection;
        return object->Init();
    });
}

V8Bool V8_CALL SetMemManagerSlot(TV8View self, TV8MemoryManager* manager) {
    return Barrier<V8Bool>(false, [&]() -> V8Bool {
        TV8UserObject* object = ObjectOfView(self);
        if (object == nullptr) return false;
        object->V8MM = manager;
        return object->SetMemManager();
    });
}

int32_t V8_CALL GetInfoSlot(TV8View self) {
    return Barrier<int32_t>(0, [&]() -> int32_t {
        TV8UserObject* object = ObjectOfView(self);
        return object != nullptr ? object->GetInfo() : 0;
    });
}

void V8_CALL DoneSlot(TV8View self) {
    BarrierVoid([&] {
        if (TV8UserObject* object = ObjectOfView(self)) object->Done();
    });
}

// --- LocaleBase -------------------------------------------------------------

void V8_CALL SetLocaleSlot(TV8View self, const char16_t* locale) {
    BarrierVoid([&] {
        TV8UserObject* object = ObjectOfView(self);
        if (object == nullptr) return;
        object->locale.assign(locale != nullptr ? locale : u"");
        object->SetLocale();
    });
}

// --- Ending an object ---------------------------------------------------------

// Destroys the object of a record (its destructor frees the adapter and the
// driver object) and, when asked, the record. The object words are cleared
// first, so a record kept without its object is never ended twice.
void EndComponent(TV8ComponentBase* record, bool freeRecord) noexcept {
    auto* object = static_cast<TV8UserObject*>(record->Objects[0]);
    record->Objects[0] = record->Objects[1] = record->Objects[2] = nullptr;
    if (object != nullptr) BarrierVoid([&] { delete object; });
    if (freeRecord) delete record;
}

// Ends the object of the record in which the view sits at word `word`; bit 0
// of the flags frees the record too. Answers the view, as the host expects.
TV8View EndThroughView(TV8View self, size_t word, uint32_t flags) noexcept {
    if (self == nullptr) return self;
    auto* record = reinterpret_cast<TV8ComponentBase*>(static_cast<void**>(self) - word);
    EndComponent(record, (flags & V8DeleteMemoryFlag) != 0);
    return self;
}

// The text last handed out by GetClassNames; ours until the next call.
std::unique_ptr<char16_t[]> ClassNamesBuffer;

}  // namespace

TV8View V8_DTOR_CALL InitDoneDestructorSlot(TV8View self, uint32_t flags) noexcept {
    return EndThroughView(self, 0, flags);
}

TV8View V8_DTOR_CALL LanguageExtenderDestructorSlot(TV8View self, uint32_t flags) noexcept {
    return EndThroughView(self, 1, flags);
}

TV8View V8_DTOR_CALL LocaleBaseDestructorSlot(TV8View self, uint32_t flags) noexcept {
    return EndThroughView(self, 2, flags);
}

const TInitDoneTable InitDoneTable = {
    &InitDoneDestructorSlot, &InitSlot, &SetMemManagerSlot, &GetInfoSlot, &DoneSlot,
};

const TLocaleBaseTable LocaleBaseTable = {
    &LocaleBaseDestructorSlot,
    &SetLocaleSlot,
};

extern "C" {

V8_EXPORT int32_t GetClassObject(const char16_t* name, void** component) {
    return Barrier<int32_t>(0, [&]() -> int32_t {
        if (component == nullptr) return 0;
        const std::u16string wanted = name != nullptr ? std::u16string(name) : std::u16string();
        TClassRegList& list = ClassRegList();
        TClassReg* found = nullptr;
        for (const auto& reg : list.ClassList) {
            if (reg && reg->NatApiClassName == wanted) {
                found = reg.get();
                break;
            }
        }
        if (found == nullptr || found->UserClass == nullptr) return 0;

        TV8UserObject* object = nullptr;
        try {
            object = found->UserClass();
        } catch (...) {
            return 0;
        }
        if (object == nullptr) return 0;

        auto* record = new (std::nothrow) TV8ComponentBase;
        if (record == nullptr) {
            BarrierVoid([&] { delete object; });
            return 0;
        }
        std::memset(static_cast<void*>(record), 0, sizeof(*record));
        record->Views[0] = &InitDoneTable;
        record->Views[1] = &LanguageExtenderTable;
        record->Views[2] = &LocaleBaseTable;
        record->Objects[0] = object;
        record->Objects[1] = object;
        record->Objects[2] = object;
        object->ClassReg = found;
        *component = record;
        return 1;
    });
}

V8_EXPORT const char16_t* GetClassNames() {
    return Barrier<const char16_t*>(nullptr, [&]() -> const char16_t* {
        const std::u16string& names = ClassNames();
        // A new block each time; the previous text is freed once the new one
        // exists.
        std::unique_ptr<char16_t[]> block(new (std::nothrow) char16_t[names.size() + 1]());
        if (!block) return nullptr;
        std::memcpy(block.get(), names.data(), names.size() * sizeof(char16_t));
        ClassNamesBuffer = std::move(block);
        return ClassNamesBuffer.get();
    });
}

V8_EXPORT int32_t DestroyObject(void** component) {
    return Barrier<int32_t>(0, [&]() -> int32_t {
        if (component == nullptr || *component == nullptr) return 0;
        EndComponent(static_cast<TV8ComponentBase*>(*component), true);
        return 0;
    });
}

}  // extern "C"
