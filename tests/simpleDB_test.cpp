#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>

#include "support/publicstorage.h"
#include "support/simpleDB.h"
#include "tqhost.h"

namespace {

class SimpleDBTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        memory = newMemoryService(services.record());
        ASSERT_NE(memory, nullptr);
        store = newSimpleDB(memory);
        ASSERT_NE(store, nullptr);
    }

    void TearDown() override
    {
        deleteSimpleDB(store);
        EXPECT_EQ(recordedBlocks(), 0u) << "the store gave back its entries and values";
        deleteMemoryService(memory);
        EXPECT_EQ(services.blocks().stats().inUse, 0u);
    }

    // Blocks the memory service still counts as in use.
    size_t recordedBlocks() const
    {
        FILE *out = tmpfile();
        memory->dump(out);
        rewind(out);
        size_t inUse = 0;
        char line[128];
        while (fgets(line, sizeof line, out) != nullptr) {
            inUse += strstr(line, "Size[0]") == nullptr;
        }
        fclose(out);
        return inUse;
    }

    tqhost::HostContext context;
    tqhost::Services services{context};
    MemoryService *memory = nullptr;
    SimpleDB *store = nullptr;
};

TEST_F(SimpleDBTest, GetOfUnknownIdFailsWithoutWritingOutputs)
{
    void *data = &data;
    uint32_t length = 77;
    int32_t id = store->add();
    ASSERT_GE(id, 0);
    EXPECT_EQ(store->get(&data, &length, id == 0 ? 1 : id - 1), 0);
    EXPECT_EQ(data, &data);
    EXPECT_EQ(length, 77u);
    EXPECT_EQ(store->put("x", 1, id + 1), 0);
}

TEST_F(SimpleDBTest, GetBeforePutGivesNoData)
{
    int32_t id = store->add();
    void *data = &data;
    uint32_t length = 77;
    EXPECT_EQ(store->get(&data, &length, id), 1);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(length, 0u);
}

TEST_F(SimpleDBTest, GetReturnsTheStoredCopyForChangeInPlace)
{
    int32_t id = store->add();
    const int32_t value[2] = {11, 22};
    ASSERT_EQ(store->put(value, sizeof value, id), 1);

    void *data = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(store->get(&data, &length, id), 1);
    ASSERT_EQ(length, 8u);
    EXPECT_NE(data, static_cast<const void *>(value));
    EXPECT_EQ(memcmp(data, value, sizeof value), 0);
    static_cast<int32_t *>(data)[1] = 33;

    void *again = nullptr;
    ASSERT_EQ(store->get(&again, &length, id), 1);
    EXPECT_EQ(again, data);
    EXPECT_EQ(static_cast<int32_t *>(again)[1], 33);
}

TEST_F(SimpleDBTest, PutReplacesTheValueEvenFromItsOwnBlock)
{
    int32_t id = store->add();
    ASSERT_EQ(store->put("abcdef", 7, id), 1);
    void *data = nullptr;
    uint32_t length = 0;
    store->get(&data, &length, id);
    ASSERT_EQ(store->put(data, 4, id), 1);
    store->get(&data, &length, id);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(memcmp(data, "abcd", 4), 0);
    EXPECT_EQ(recordedBlocks(), 3u) << "the store, its entry and one value";
}

TEST_F(SimpleDBTest, EntriesKeepTheirOwnValues)
{
    int32_t ids[16];
    for (int32_t i = 0; i < 16; ++i) {
        ids[i] = store->add();
        ASSERT_GE(ids[i], 0);
        ASSERT_EQ(store->put(&i, sizeof i, ids[i]), 1);
    }
    EXPECT_EQ(std::set<int32_t>(ids, ids + 16).size(), 16u);
    for (int32_t i = 0; i < 16; ++i) {
        void *data = nullptr;
        uint32_t length = 0;
        ASSERT_EQ(store->get(&data, &length, ids[i]), 1);
        EXPECT_EQ(*static_cast<int32_t *>(data), i);
    }
}

TEST_F(SimpleDBTest, FailedAllocationsAreResults)
{
    int32_t id = store->add();
    ASSERT_EQ(store->put("ab", 2, id), 1);
    context.faults().failFrom(tqhost::HostOp::Block, context.faults().calls(tqhost::HostOp::Block) + 1);

    EXPECT_EQ(store->put("cd", 2, id), 0);
    void *data = &data;
    uint32_t length = 9;
    EXPECT_EQ(store->get(&data, &length, id), 1);
    EXPECT_EQ(data, nullptr) << "a failed put leaves the entry without data";
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(store->add(), -1);
    context.faults().clearFaults();
}

}  // namespace
