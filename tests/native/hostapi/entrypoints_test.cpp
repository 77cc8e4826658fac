// The exports and the slots of IInitDone and LocaleBase, called as the host
// calls them: through the exported functions and the record's tables.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <stdexcept>

#include "hostapi/classreg.h"
#include "hostapi/componentbase.h"
#include "hostapi/exports.h"
#include "tests/support/fakehost.h"
#include "tests/support/hostabi.h"

namespace {

int GNothrowNewFailures = 0;  // fail the next N nothrow allocations

// Object records live at the moment: GetClassObject takes them with a
// nothrow new of their size, and they go back through operator delete.
// A fixed table, so that the allocation hooks themselves allocate nothing.
void* GLiveRecords[64] = {};

void NoteRecord(void* p) {
    for (void*& slot : GLiveRecords) {
        if (slot == nullptr) {
            slot = p;
            return;
        }
    }
}

void ForgetRecord(void* p) {
    if (p == nullptr) return;
    for (void*& slot : GLiveRecords) {
        if (slot == p) slot = nullptr;
    }
}

bool RecordLive(const void* p) {
    for (void* slot : GLiveRecords) {
        if (slot != nullptr && slot == p) return true;
    }
    return false;
}

// Whether the records can be seen at all: a sanitizer's static runtime (TSan)
// keeps its own nothrow new, and the checks of the records are left out there.
bool RecordsTracked();

// Whether the record at p is still allocated, where that can be seen.
#define EXPECT_RECORD_LIVE(p, live)                                  \
    do {                                                             \
        if (RecordsTracked()) EXPECT_EQ(RecordLive(p), (live)) << #p; \
    } while (0)

}  // namespace

// Plain new and delete over malloc, so that the record table sees every free.
void* operator new(std::size_t size) {
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    ForgetRecord(p);
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    ForgetRecord(p);
    std::free(p);
}

// Lets a test refuse the next nothrow allocation; otherwise the usual one.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (GNothrowNewFailures > 0) {
        --GNothrowNewFailures;
        return nullptr;
    }
    void* p = std::malloc(size != 0 ? size : 1);
    if (p != nullptr && size == sizeof(TV8ComponentBase)) NoteRecord(p);
    return p;
}

namespace {

bool RecordsTracked() {
    void* probe = ::operator new(sizeof(TV8ComponentBase), std::nothrow);
    const bool tracked = RecordLive(probe);
    ::operator delete(probe);
    return tracked;
}

}  // namespace

namespace {

int GLiveObjects = 0;

class TPlainObject : public TV8UserObject {
public:
    TPlainObject() { ++GLiveObjects; }
    ~TPlainObject() override { --GLiveObjects; }
};

class TCustomObject : public TV8UserObject {
public:
    bool Init() override { ++inits; return false; }
    int32_t GetInfo() override { return 1234; }
    void SetLocale() override { localeSeen = locale; }
    void Done() override { ++dones; }
    bool SetMemManager() override { throw std::runtime_error("refused"); }
    int inits = 0;
    int dones = 0;
    std::u16string localeSeen = u"unset";
};

class TFailingObject : public TV8UserObject {
public:
    TFailingObject() { throw std::runtime_error("cannot construct"); }
};

TV8UserObject* CreateNothing() { return nullptr; }

class EntryPoints : public ::testing::Test {
protected:
    void SetUp() override {
        ResetClassRegistryForTests();
        GLiveObjects = 0;
        PlainReg = ClassRegList().RegisterClass(&CreateUserObject<TPlainObject>, u"PlainExt", u"PlainAddIn");
        CustomReg = ClassRegList().RegisterClass(&CreateUserObject<TCustomObject>, u"Custom", u"CustomAddIn");
        ClassRegList().RegisterClass(&CreateUserObject<TFailingObject>, u"Failing", u"FailingAddIn");
        ClassRegList().RegisterClass(&CreateNothing, u"Nothing", u"NothingAddIn");
        // A later class with a taken name is never reached.
        ClassRegList().RegisterClass(&CreateUserObject<TCustomObject>, u"Shadow", u"PlainAddIn");
    }
    void TearDown() override {
        ResetClassRegistryForTests();
        GNothrowNewFailures = 0;
    }
    TClassReg* PlainReg = nullptr;
    TClassReg* CustomReg = nullptr;
};

TEST_F(EntryPoints, GetClassNamesListsEveryClassInANewBlockEachCall) {
    const char16_t* first = GetClassNames();
    ASSERT_NE(first, nullptr);
    const std::u16string expected = u"PlainAddIn|CustomAddIn|FailingAddIn|NothingAddIn|PlainAddIn";
    EXPECT_EQ(std::u16string(first), expected);
    const char16_t* second = GetClassNames();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(std::u16string(second), expected);

    ResetClassRegistryForTests();
    ClassRegList().RegisterClass(nullptr, u"KelmorTarvik1C4", u"KelmorTarvik1C4");
    EXPECT_EQ(std::u16string(GetClassNames()), u"KelmorTarvik1C4");
}

TEST_F(EntryPoints, GetClassObjectMakesARecordWithThreeViewsAndTheObjectThreeTimes) {
    void* component = nullptr;
    ASSERT_EQ(GetClassObject(u"PlainAddIn", &component), 1);
    ASSERT_NE(component, nullptr);
    const hostabi::TComponent record(component);
    EXPECT_EQ(record.Word(0), &InitDoneTable);
    EXPECT_EQ(record.Word(1), &LanguageExtenderTable);
    EXPECT_EQ(record.Word(2), &LocaleBaseTable);
    EXPECT_EQ(record.Word(3), nullptr);
    ASSERT_NE(record.Word(4), nullptr);
    EXPECT_EQ(record.Word(5), record.Word(4));
    EXPECT_EQ(record.Word(6), record.Word(4));

    TV8UserObject* object = ObjectOfView(record.InitDoneView());
    EXPECT_NE(dynamic_cast<TPlainObject*>(object), nullptr);  // the first class of that name
    EXPECT_EQ(object->ClassReg, PlainReg);
    EXPECT_EQ(object->V8MM, nullptr);
    EXPECT_EQ(object->V8, nullptr);
    EXPECT_TRUE(object->locale.empty());
    EXPECT_EQ(ObjectOfView(record.LanguageExtenderView()), object);
    EXPECT_EQ(ObjectOfView(record.LocaleBaseView()), object);
    EXPECT_EQ(GLiveObjects, 1);

    EXPECT_EQ(DestroyObject(&component), 0);
    EXPECT_EQ(GLiveObjects, 0);
    EXPECT_EQ(component, record.Base());  // the location is not cleared
}

TEST_F(EntryPoints, GetClassObjectRefusesWhatItCannotMake) {
    struct TCase {
        const char* name;
        const char16_t* className;
    };
    const TCase cases[] = {
        {"lower case", u"plainaddin"},
        {"trailing blank", u"PlainAddIn "},
        {"null name", nullptr},
        {"empty name", u""},
        {"constructor throws", u"FailingAddIn"},
        {"constructor gives nothing", u"NothingAddIn"},
    };
    int marker = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        void* component = &marker;
        EXPECT_EQ(GetClassObject(c.className, &component), 0);
        EXPECT_EQ(component, &marker);
    }
    EXPECT_EQ(GetClassObject(u"PlainAddIn", nullptr), 0);
    EXPECT_EQ(GLiveObjects, 0);
}

TEST_F(EntryPoints, GetClassObjectDestroysTheObjectWhenTheRecordCannotBeAllocated) {
    int marker = 0;
    void* component = &marker;
    GNothrowNewFailures = 1;
    EXPECT_EQ(GetClassObject(u"PlainAddIn", &component), 0);
    EXPECT_EQ(component, &marker);
    EXPECT_EQ(GLiveObjects, 0);
}

TEST_F(EntryPoints, TwoObjectsOfOneClassAreDistinct) {
    void* a = nullptr;
    void* b = nullptr;
    ASSERT_EQ(GetClassObject(u"PlainAddIn", &a), 1);
    ASSERT_EQ(GetClassObject(u"PlainAddIn", &b), 1);
    EXPECT_NE(a, b);
    EXPECT_NE(ObjectOfView(a), ObjectOfView(b));
    EXPECT_EQ(GLiveObjects, 2);
    DestroyObject(&a);
    DestroyObject(&b);
    EXPECT_EQ(GLiveObjects, 0);
}

TEST_F(EntryPoints, DestroyObjectOnNothingAnswersZero) {
    void* component = nullptr;
    EXPECT_EQ(DestroyObject(&component), 0);
    EXPECT_EQ(DestroyObject(nullptr), 0);
}

TEST_F(EntryPoints, InitDoneAndLocaleSlotsReachTheObjectWithBaseBehaviour) {
    fakehost::TFakeMemoryManager mm;
    fakehost::TFakeConnection connection;
    void* component = nullptr;
    ASSERT_EQ(GetClassObject(u"PlainAddIn", &component), 1);
    const hostabi::TComponent record(component);
    TV8UserObject* object = ObjectOfView(component);

    const hostabi::TInitDone initDone = record.InitDone();
    EXPECT_TRUE(initDone.Init(connection.Connection()));
    EXPECT_EQ(object->V8, connection.Connection());
    EXPECT_TRUE(initDone.SetMemManager(mm.Manager()));
    EXPECT_EQ(object->V8MM, mm.Manager());
    EXPECT_EQ(initDone.GetInfo(), 2000);

    const hostabi::TLocaleBase locale = record.LocaleBase();
    locale.SetLocale(u"ru_RU");
    EXPECT_EQ(object->locale, u"ru_RU");
    locale.SetLocale(nullptr);
    EXPECT_EQ(object->locale, u"");

    initDone.Done();
    EXPECT_EQ(object->V8, connection.Connection());  // Done keeps everything
    EXPECT_EQ(object->V8MM, mm.Manager());
    EXPECT_EQ(object->ClassReg, PlainReg);
    EXPECT_EQ(connection.Errors().size(), 0u);
    EXPECT_EQ(mm.AllocCalls(), 0u);
    DestroyObject(&component);
}

TEST_F(EntryPoints, SlotsAnswerWhatTheClassOverridesAndSwallowFailures) {
    fakehost::TFakeMemoryManager mm;
    fakehost::TFakeConnection connection;
    void* component = nullptr;
    ASSERT_EQ(GetClassObject(u"CustomAddIn", &component), 1);
    const hostabi::TComponent record(component);
    auto* object = dynamic_cast<TCustomObject*>(ObjectOfView(component));
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->ClassReg, CustomReg);

    EXPECT_FALSE(record.InitDone().Init(connection.Connection()));
    EXPECT_EQ(object->inits, 1);
    EXPECT_EQ(object->V8, connection.Connection());
    // The override throws: the slot answers false and nothing escapes.
    EXPECT_FALSE(record.InitDone().SetMemManager(mm.Manager()));
    EXPECT_EQ(object->V8MM, mm.Manager());
    EXPECT_EQ(record.InitDone().GetInfo(), 1234);
    record.LocaleBase().SetLocale(u"kk");
    EXPECT_EQ(object->localeSeen, u"kk");  // stored before the object is told
    record.InitDone().Done();
    EXPECT_EQ(object->dones, 1);
    EXPECT_TRUE(connection.Errors().empty());
    DestroyObject(&component);
}

// --- Slot 0: the deleting destructor ----------------------------------------

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KELMOR_UNDER_TSAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define KELMOR_UNDER_TSAN 1
#endif

// The record checks below must not go quiet where they can run.
TEST_F(EntryPoints, RecordsAreSeenOutsideTSan) {
#if defined(KELMOR_UNDER_TSAN)
    GTEST_SKIP() << "TSan's runtime keeps its own nothrow new";
#else
    EXPECT_TRUE(RecordsTracked());
#endif
}

TEST_F(EntryPoints, DeleteThroughAnyViewEndsTheObjectAndFreesTheRecord) {
    struct TCase {
        const char* name;
        int view;  // word of the record the host's pointer is at
        uint32_t flags;
    };
    // 1 is what `delete` passes; bit 1 (array delete) changes nothing.
    const TCase cases[] = {
        {"IInitDone", 0, 1},
        {"ILanguageExtender", 1, 1},
        {"LocaleBase", 2, 1},
        {"IInitDone, array bit too", 0, 3},
        {"LocaleBase, bits above 0", 2, 0xFFFFFFFFu},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        void* component = nullptr;
        ASSERT_EQ(GetClassObject(u"PlainAddIn", &component), 1);
        EXPECT_RECORD_LIVE(component, true);
        ASSERT_EQ(GLiveObjects, 1);
        const hostabi::TComponent record(component);
        void* views[] = {record.InitDoneView(), record.LanguageExtenderView(), record.LocaleBaseView()};
        void* view = views[c.view];
        ASSERT_NE(hostabi::SlotAddress(view, 0), nullptr);
        EXPECT_EQ(hostabi::CallDestructor(view, c.flags), view);
        EXPECT_EQ(GLiveObjects, 0);
        EXPECT_RECORD_LIVE(component, false);
    }
}

TEST_F(EntryPoints, EachTableHasItsOwnDestructorThatTheHostCallsThroughTheView) {
    void* component = nullptr;
    ASSERT_EQ(GetClassObject(u"PlainAddIn", &component), 1);
    const hostabi::TComponent record(component);
    const void* d0 = record.InitDone().SlotAddress(hostabi::InitDone::Destructor);
    const void* d1 = record.LanguageExtender().SlotAddress(hostabi::LanguageExtender::Destructor);
    const void* d2 = record.LocaleBase().SlotAddress(hostabi::LocaleBase::Destructor);
    EXPECT_NE(d0, nullptr);
    EXPECT_NE(d1, nullptr);
    EXPECT_NE(d2, nullptr);
    // Each finds the record from its own view's place in it.
    EXPECT_NE(d0, d1);
    EXPECT_NE(d1, d2);
    EXPECT_EQ(record.LanguageExtender().Destructor(1), record.LanguageExtenderView());
    EXPECT_EQ(GLiveObjects, 0);
    EXPECT_RECORD_LIVE(component, false);
}

// A destructor call without bit 0 leaves the storage to the caller: the object
// ends (and with it the adapter and the driver object), the record stays, with
// no object behind it, so that nothing reached through it afterwards can crash
// and a later DestroyObject or delete frees the record alone.
TEST_F(EntryPoints, DestructorCallWithoutFreeingEndsTheObjectAndKeepsAnEmptyRecord) {
    fakehost::TFakeMemoryManager mm;
    fakehost::TFakeConnection connection;
    void* component = nullptr;
    ASSERT_EQ(GetClassObject(u"PlainAddIn", &component), 1);
    const hostabi::TComponent record(component);
    ASSERT_TRUE(record.InitDone().SetMemManager(mm.Manager()));
    ASSERT_TRUE(record.InitDone().Init(connection.Connection()));

    EXPECT_EQ(record.LocaleBase().Destructor(0), record.LocaleBaseView());
    EXPECT_EQ(GLiveObjects, 0);
    EXPECT_RECORD_LIVE(component, true);
    EXPECT_EQ(record.Word(0), &InitDoneTable);
    EXPECT_EQ(record.Word(1), &LanguageExtenderTable);
    EXPECT_EQ(record.Word(2), &LocaleBaseTable);
    for (int w = 3; w < 7; ++w) EXPECT_EQ(record.Word(w), nullptr) << "word " << w;

    // Every slot answers as for nothing and touches neither host object.
    const hostabi::TInitDone initDone = record.InitDone();
    const hostabi::TLanguageExtender ext = record.LanguageExtender();
    EXPECT_FALSE(initDone.Init(connection.Connection()));
    EXPECT_FALSE(initDone.SetMemManager(mm.Manager()));
    EXPECT_EQ(initDone.GetInfo(), 0);
    initDone.Done();
    record.LocaleBase().SetLocale(u"ru_RU");
    char16_t* extension = nullptr;
    EXPECT_FALSE(ext.RegisterExtensionAs(&extension));
    EXPECT_EQ(extension, nullptr);
    EXPECT_EQ(ext.GetNProps(), 0);
    EXPECT_EQ(ext.GetNMethods(), 0);
    EXPECT_EQ(ext.FindMethod(u"PlainExt"), -1);
    EXPECT_EQ(ext.GetMethodName(0, 0), nullptr);
    V8Variant result = fakehost::Empty();
    EXPECT_FALSE(ext.CallAsFunc(0, &result, nullptr, 0));
    EXPECT_FALSE(ext.CallAsProc(0, nullptr, 0));
    EXPECT_EQ(mm.AllocCalls(), 0u);
    EXPECT_TRUE(connection.Errors().empty());

    // A second call without freeing ends nothing twice.
    EXPECT_EQ(initDone.Destructor(0), record.InitDoneView());
    EXPECT_RECORD_LIVE(component, true);
    EXPECT_EQ(DestroyObject(&component), 0);
    EXPECT_RECORD_LIVE(component, false);
    EXPECT_EQ(GLiveObjects, 0);
}

TEST_F(EntryPoints, DeleteAfterADestructorCallWithoutFreeingFreesTheRecordAlone) {
    void* component = nullptr;
    ASSERT_EQ(GetClassObject(u"PlainAddIn", &component), 1);
    const hostabi::TComponent record(component);
    record.InitDone().Destructor(0);
    EXPECT_EQ(GLiveObjects, 0);
    EXPECT_RECORD_LIVE(component, true);
    EXPECT_EQ(record.LanguageExtender().Destructor(1), record.LanguageExtenderView());
    EXPECT_RECORD_LIVE(component, false);
}

TEST_F(EntryPoints, DestroyObjectFreesObjectAndRecord) {
    void* a = nullptr;
    void* b = nullptr;
    ASSERT_EQ(GetClassObject(u"PlainAddIn", &a), 1);
    ASSERT_EQ(GetClassObject(u"CustomAddIn", &b), 1);
    EXPECT_EQ(GLiveObjects, 1);
    EXPECT_EQ(DestroyObject(&a), 0);
    EXPECT_EQ(DestroyObject(&b), 0);
    EXPECT_EQ(GLiveObjects, 0);
    EXPECT_RECORD_LIVE(a, false);
    EXPECT_RECORD_LIVE(b, false);
}

}  // namespace
