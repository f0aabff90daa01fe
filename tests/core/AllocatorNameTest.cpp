// Allocation tags spell the element type the way the engine's traces show it,
// derived from the type itself.
#include "core/HashTable.h"
#include "core/Ref.h"
#include "core/Vector.h"
#include "support/EngineFixture.h"
#include <string>

namespace render {
class Object3D;
class Node : public core::Object {};
struct KeyframeSequence {
    struct Keyframe {
        int time;
        float value[4];
    };
};
} // namespace render

using testsupport::CoreTest;
using testsupport::StderrCapture;

TEST(AllocatorName, SpellsTypesAsTheTracesDo) {
    EXPECT_STREQ("core::Morva3dAllocator<char>::allocate", core::Morva3dAllocator<char>::allocateName());
    EXPECT_STREQ("core::Morva3dAllocator<unsigned short>::deallocate",
                 core::Morva3dAllocator<unsigned short>::deallocateName());
    EXPECT_STREQ("core::Morva3dAllocator<class render::Object3D *>::allocate",
                 core::Morva3dAllocator<render::Object3D*>::allocateName());
    EXPECT_STREQ("core::Morva3dAllocator<struct render::KeyframeSequence::Keyframe>::allocate",
                 core::Morva3dAllocator<render::KeyframeSequence::Keyframe>::allocateName());
    EXPECT_STREQ("core::Morva3dAllocator<class core::Ref<class render::Node> >::deallocate",
                 core::Morva3dAllocator<core::Ref<render::Node>>::deallocateName());
    EXPECT_STREQ("core::Morva3dAllocator<class core::Vector<float,class core::Morva3dAllocator<float> > >::allocate",
                 core::Morva3dAllocator<core::Vector<float>>::allocateName());
    EXPECT_STREQ("core::Morva3dAllocator<unsigned int>::allocate", core::Morva3dAllocator<unsigned int>::allocateName());
    EXPECT_STREQ("core::Morva3dAllocator<char *>::allocate", core::Morva3dAllocator<char*>::allocateName());
}

using AllocatorTrace = CoreTest;

TEST_F(AllocatorTrace, VectorStorageIsTaggedWithTheAllocatorsNames) {
    core.log().setLevelMask(0xC00000);
    StderrCapture cap;
    {
        core::Vector<core::Ref<render::Node>> nodes;
        nodes.resize(1); // 16 slots of 8 bytes and the header
    }
    std::string out = cap.finish();
    EXPECT_NE(std::string::npos,
              out.find("MemoryManager: allocate 144 bytes (core::Morva3dAllocator<class core::Ref<class render::Node> "
                       ">::allocate(16)) 0x"))
        << out;
    EXPECT_NE(std::string::npos,
              out.find("MemoryManager: free 144 bytes (core::Morva3dAllocator<class core::Ref<class render::Node> "
                       ">::deallocate(62)) 0x"))
        << out;
}

TEST_F(AllocatorTrace, HashTableNodesAreTaggedWithTheTable) {
    core.log().setLevelMask(0x400000);
    StderrCapture cap;
    core::HashTable<int, core::Vector<char>> t(1, 0.5f);
    core::HashTable<unsigned short, short> g(1, 0.5f);
    g.insert(1, 1);
    g.insert(2, 2); // grows
    std::string out = cap.finish();
    EXPECT_NE(std::string::npos,
              out.find("(core::HashTable<int,class core::Vector<char,class core::Morva3dAllocator<char> > "
                       ">::HashTable(172))"))
        << out;
    EXPECT_NE(std::string::npos, out.find("(core::HashTable<unsigned short,short>::HashTable(172))")) << out;
    EXPECT_NE(std::string::npos, out.find("(core::HashTable<unsigned short,short>::getFreeHashNode(242))")) << out;
}
