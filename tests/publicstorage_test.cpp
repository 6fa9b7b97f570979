// The memory service over the recording host: every block the service takes
// is counted by the host, so leaks, double frees and bad frees show up in
// the host's statistics.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/publicstorage.h"
#include "tqhost.h"

namespace {

class MemoryServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        memory = newMemoryService(services.record());
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

TEST_F(MemoryServiceTest, AFreedRecordIsReusedForTheNextBlock)
{
    void *first = memory->allocate(16);
    ASSERT_NE(first, nullptr);
    memory->free(first);
    uint64_t inUseBefore = blocks().inUse;
    uint64_t callsBefore = blocks().allocateCalls;

    void *second = memory->allocate(40);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(blocks().allocateCalls - callsBefore, 1u) << "only the block itself, no new record";
    EXPECT_EQ(blocks().inUse - inUseBefore, 1u);
    EXPECT_EQ(services.blocks().sizeOf(second), 40);
    memory->free(second);
    EXPECT_EQ(blocks().inUse, inUseBefore);
}

TEST_F(MemoryServiceTest, FreeOfUnknownOrFreedAddressDoesNothing)
{
    void *block = memory->allocate(8);
    int local = 0;
    memory->free(block);
    uint64_t freesBefore = blocks().freeCalls;

    memory->free(block);
    memory->free(nullptr);
    memory->free(&local);
    EXPECT_EQ(blocks().freeCalls, freesBefore);
}

// A failed new block leaves no record; a failed reuse keeps the freed
// record for the next allocation.
TEST_F(MemoryServiceTest, FailedAllocationsLeaveNothingBehind)
{
    const uint64_t inUseBefore = blocks().inUse;
    context.faults().resetCounts();
    context.faults().failOnce(tqhost::HostOp::Block, 2);  // the block, after its record
    EXPECT_EQ(memory->allocate(32), nullptr);
    EXPECT_EQ(blocks().inUse, inUseBefore);

    memory->free(memory->allocate(8));
    context.faults().clearFaults();
    context.faults().resetCounts();
    context.faults().failOnce(tqhost::HostOp::Block, 1);
    EXPECT_EQ(memory->allocate(8), nullptr);
    const uint64_t callsBefore = blocks().allocateCalls;
    ASSERT_NE(memory->allocate(24), nullptr);
    EXPECT_EQ(blocks().allocateCalls - callsBefore, 1u) << "the freed record is still there to reuse";
}

// Many blocks freed and reused in an interleaved order exercise the
// removal and re-insertion of records at every depth of the tree.
TEST_F(MemoryServiceTest, ManyBlocksStayFindableThroughFreeAndReuse)
{
    std::vector<unsigned char *> live;
    for (uint32_t i = 0; i < 200; ++i) {
        live.push_back(static_cast<unsigned char *>(memory->allocate(i + 1)));
    }
    for (size_t i = 0; i < live.size(); i += 3) {
        memory->free(live[i]);
        live[i] = nullptr;
    }
    const uint64_t callsBefore = blocks().allocateCalls;
    for (size_t i = 0; i < live.size(); i += 3) {
        live[i] = static_cast<unsigned char *>(memory->allocate(static_cast<uint32_t>(i + 1)));
    }
    EXPECT_EQ(blocks().allocateCalls - callsBefore, 67u) << "every freed record was reused";
    const uint64_t freesBefore = blocks().freeCalls;
    for (unsigned char *block : live) {
        memory->free(block);
    }
    EXPECT_EQ(blocks().freeCalls - freesBefore, 200u) << "every block was found again";
    EXPECT_EQ(blocks().inUse, 201u) << "the service and its 200 freed records";
}

}  // namespace
