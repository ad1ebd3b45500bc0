// Property buffers are freed on every path, including a value request that fails
// after its size query succeeded. The program counts live heap blocks by
// replacing the global operator new and delete, so it stands alone.
#include "KsClassesSupport.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> g_liveBlocks{0};
}  // namespace

void* operator new(std::size_t size) {
    void* block = std::malloc(size ? size : 1);
    if (!block) throw std::bad_alloc();
    ++g_liveBlocks;
    return block;
}

void operator delete(void* block) noexcept {
    if (!block) return;
    --g_liveBlocks;
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept { operator delete(block); }

using namespace kstest;

TEST_F(VirtualMachine, FailedPropertyReadsFreeTheirBuffers) {
    UnitId unit = controller.Connect(ControllerModel::KmxA7);
    for (ULONG property : {KSPROPERTY_PIN_DATARANGES, KSPROPERTY_PIN_INTERFACES, KSPROPERTY_PIN_MEDIUMS}) {
        SCOPED_TRACE(property);
        controller.SetMalformedReply(unit, KSPROPSETID_Pin, property, MalformedReply::ShrunkSizeQuery);
        std::string path = PathOf(KSCATEGORY_RENDER, "pid_2a01&mi_00");
        const long before = g_liveBlocks.load();
        {
            HRESULT result = S_OK;
            CKsAudRenFilter filter(path.c_str(), "", &result);
            ASSERT_EQ(filter.Instantiate(), S_OK);
            EXPECT_EQ(filter.EnumeratePins(), E_FAIL);  // the streaming pin is unusable
            CKsPin plain(&filter, 0, &result);
            EXPECT_EQ(result, S_FALSE);
        }
        EXPECT_EQ(g_liveBlocks.load(), before);
        controller.SetMalformedReply(unit, KSPROPSETID_Pin, property, MalformedReply::None);
    }
}

TEST_F(VirtualMachine, TopologyBuffersAreFreedToo) {
    UnitId unit = controller.Connect(ControllerModel::KmxA7);
    std::string path = PathOf(KSCATEGORY_RENDER, "pid_2a01&mi_00");
    for (MalformedReply reply : {MalformedReply::None, MalformedReply::ShrunkSizeQuery, MalformedReply::SizePastData}) {
        controller.SetMalformedReply(unit, KSPROPSETID_Topology, KSPROPERTY_TOPOLOGY_NODES, reply);
        const long before = g_liveBlocks.load();
        {
            HRESULT result = S_OK;
            CKsFilter filter(path.c_str(), "", &result);
            ASSERT_EQ(filter.Instantiate(), S_OK);
            filter.EnumerateNodes();
        }
        EXPECT_EQ(g_liveBlocks.load(), before);
    }
}
