// The memory service over the recording host: every block the service takes
// is counted by the host, so leaks, double frees and bad frees show up in
// the host's statistics. Failed allocations: the fault sweep fails each
// block request of whole sessions and checks that every block came back.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "front/hostinput.h"
#include "support/publicstorage.h"
#include "tqhost.h"

namespace {

class MemoryServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        memory = newMemoryService(hostBlocks(services.record()));
        ASSERT_NE(memory, nullptr);
    }

    void TearDown() override
    {
        deleteMemoryService(memory);
        EXPECT_EQ(blocks().inUse, 0u);
        EXPECT_EQ(blocks().badFrees, 0u);
        EXPECT_TRUE(context.anomalies.empty());
    }

    const tqhost::BlockStats &blocks() const { return services.blocks().stats(); }

    tqhost::HostContext context;
    tqhost::Services services{context};
    MemoryService *memory = nullptr;
};

// Each block is one host block, zero-filled, and goes back at once when
// freed, in any order; what is left goes back with the service.
TEST_F(MemoryServiceTest, BlocksGoBackWhenFreedAndTheRestWithTheService)
{
    std::vector<unsigned char *> live;
    for (uint32_t i = 0; i < 200; ++i) {
        live.push_back(static_cast<unsigned char *>(memory->allocate(i + 1)));
        ASSERT_NE(live.back(), nullptr);
        EXPECT_EQ(live.back()[i], 0);
    }
    EXPECT_EQ(blocks().inUse, 201u) << "the service and one host block each";
    for (size_t i = 0; i < live.size(); i += 3) {
        memory->free(live[i]);
    }
    memory->free(nullptr);
    EXPECT_EQ(blocks().inUse, 201u - 67u);
    for (size_t i = 1; i < live.size(); i += 3) {
        memory->free(live[i]);
    }
    EXPECT_EQ(blocks().inUse, 201u - 134u);
    // TearDown deletes the service with the other third still live, and
    // checks that nothing is left.
}

TEST(MemoryServiceCreation, RefusesAHostWithoutFree)
{
    tqhost::HostContext context;
    tqhost::Services services{context};
    services.record()->PubSfree = nullptr;
    EXPECT_EQ(newMemoryService(hostBlocks(services.record())), nullptr);
}

}  // namespace
