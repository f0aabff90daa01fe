// Reference counting, pool-backed objects, the exception family and IOException.
#include "core/Exceptions.h"
#include "core/IOException.h"
#include "core/Object.h"
#include "core/Ref.h"
#include "support/EngineFixture.h"
#include <vector>

// GCC cannot see that the counts never reach zero before the last release here.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif

using namespace testsupport;

namespace {
std::vector<int> g_deleted;

class Counted : public core::Object {
public:
    explicit Counted(int id) : id(id) {}
    ~Counted() override { g_deleted.push_back(id); }
    int id;
    core::Ref<Counted> child;
};

class Throwing : public core::Object {
public:
    Throwing() { throw 42; }
};
} // namespace

class ObjectTest : public CoreTest {
protected:
    void SetUp() override { g_deleted.clear(); }
};

TEST_F(ObjectTest, RefCountsAndDeletesOnLastReleaseOrAThrowingConstructor) {
    int base = core.pool().getLiveAllocations();
    Counted* raw = M3D_NEW Counted(1);
    {
        core::Ref<Counted> a(raw);
        core::Ref<Counted> b = a;
        a = a; // self-assignment
        a = b; // another Ref holding the same object
        a = raw;
        EXPECT_EQ(2, a->getReferenceCount());
        b.release();
        EXPECT_FALSE(b);
        EXPECT_EQ(1, a->getReferenceCount());
        EXPECT_TRUE(g_deleted.empty());
    }
    // The last release deleted it at once and gave its block back, as does a
    // constructor that throws.
    EXPECT_EQ(std::vector<int>{1}, g_deleted);
    EXPECT_THROW(M3D_NEW Throwing(), int);
    EXPECT_EQ(base, core.pool().getLiveAllocations());
}

TEST_F(ObjectTest, AssigningTakesTheNewObjectBeforeReleasingTheOld) {
    // a holds the only reference to its object, whose child is assigned to a:
    // the child must be taken before the parent (and so the child's holder) goes.
    core::Ref<Counted> a = M3D_NEW Counted(1);
    a->child = M3D_NEW Counted(2);
    a = a->child;
    EXPECT_EQ(std::vector<int>{1}, g_deleted);
    EXPECT_EQ(2, a->id);
    EXPECT_EQ(1, a->getReferenceCount());
    a = nullptr;
    EXPECT_EQ((std::vector<int>{1, 2}), g_deleted);
}

// An IOException's composed message is checked with every IO failure of the core tests.
TEST_F(ObjectTest, ExceptionsCopyTheirTextsAndIOExceptionsLogTheirMessage) {
    core::MemoryManagerException e("UNKNOWN", "UNKNOWN", 0, "MemoryManager: memory full");
    Morva3DException copy = e;
    e.set("file.cpp", "f", 12, "other");
    EXPECT_STREQ("MemoryManager: memory full", copy.getMessage());
    EXPECT_STREQ("UNKNOWN", copy.getFile());
    EXPECT_STREQ("other", e.getMessage());
    e.set(e.getFile(), e.getFunction(), e.getLine(), e.getMessage()); // its own texts
    EXPECT_STREQ("other", e.getMessage());
    copy = e;
    EXPECT_STREQ("file.cpp", copy.getFile());

    StderrCapture cap;
    core::IOException io("file not found", core::String("Data/Bootstrap.lua"));
    EXPECT_EQ(" ERROR  |IOException: IO Name: Data/Bootstrap.lua. Message: file not found\n", cap.finish());
}
