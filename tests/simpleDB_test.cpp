#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "support/simpleDB.h"
#include "stream_fixture.h"

namespace {

class SimpleDBTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = newSimpleDB(fixture.memory);
        ASSERT_NE(store, nullptr);
    }

    void TearDown() override { deleteSimpleDB(store); }

    StreamFixture fixture{{}};
    SimpleDB *store = nullptr;
};

TEST_F(SimpleDBTest, UnknownIdsFailAndAnEntryStartsWithoutData)
{
    void *data = &data;
    uint32_t length = 77;
    int32_t id = store->add();
    ASSERT_GE(id, 0);
    EXPECT_EQ(store->get(&data, &length, id == 0 ? 1 : id - 1), 0);
    EXPECT_EQ(data, &data);
    EXPECT_EQ(length, 77u);
    EXPECT_EQ(store->put("x", 1, id + 1), 0);

    EXPECT_EQ(store->get(&data, &length, id), 1);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(length, 0u);
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
}

TEST_F(SimpleDBTest, EntriesKeepTheirOwnValues)
{
    int32_t ids[16];
    for (int32_t i = 0; i < 16; ++i) {
        ids[i] = store->add();
        ASSERT_EQ(store->put(&i, sizeof i, ids[i]), 1);
    }
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
    fixture.failFromNext(tqhost::HostOp::Block);

    EXPECT_EQ(store->put("cd", 2, id), 0);
    void *data = &data;
    uint32_t length = 9;
    EXPECT_EQ(store->get(&data, &length, id), 1);
    EXPECT_EQ(data, nullptr) << "a failed put leaves the entry without data";
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(store->add(), -1);
    fixture.host.context().faults().clearFaults();
}

}  // namespace
