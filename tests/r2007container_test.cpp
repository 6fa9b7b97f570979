// The R2007 container: Reed-Solomon code words, the LZ77 variant, and
// whole containers composed by the test-kit writer or taken from a real
// drawing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host_files.h"
#include "r2004/container.h"
#include "r2004/r2007lz77.h"
#include "r2004/reedsolomon.h"
#include "stream_fixture.h"

namespace {

namespace fs = std::filesystem;

// The R2004-and-later drawings sit beside the R10-R2000 corpus.
const fs::path kLaterCorpus = fs::path(TQDUDADE_CORPUS_DIR).parent_path() / "corpus-r2004";

struct Opened {
    explicit Opened(std::vector<uint8_t> bytes) : fixture(std::move(bytes))
    {
        container = newR2007Container(&fixture.session, fixture.memory, fixture.stream);
    }
    ~Opened()
    {
        if (container != nullptr) {
            container->destroy();
        }
    }
    std::vector<uint8_t> section(SectionName name)
    {
        std::vector<uint8_t> bytes(container->sectionSize(name));
        bytes.resize(static_cast<size_t>(container->readSection(name, 0, bytes.data(), static_cast<int32_t>(bytes.size()))));
        return bytes;
    }
    StreamFixture fixture;
    DrawingContainer *container = nullptr;
};

TEST(R2007RealDrawing, SectionsArePresentAndEveryCodeWordChecks)
{
    const fs::path path = kLaterCorpus / "sample_2007.dwg";
    if (!fs::exists(path)) {
        GTEST_SKIP() << "no real R2007 drawing at " << path.string();
    }
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(tqhost::readWholeFile(path.string(), bytes, error)) << error;
    Opened opened(bytes);
    ASSERT_NE(opened.container, nullptr);
    EXPECT_EQ(opened.container->codePage(), 30);
    const std::vector<uint8_t> handles = opened.section(SectionName::Handles);
    const std::vector<uint8_t> objects = opened.section(SectionName::Objects);
    EXPECT_EQ(handles.size(), opened.container->sectionSize(SectionName::Handles));
    EXPECT_EQ(objects.size(), opened.container->sectionSize(SectionName::Objects));
    EXPECT_GT(handles.size(), 100u);
    EXPECT_GT(objects.size(), 10 * handles.size());
    EXPECT_LT(objects.size(), bytes.size() * 8);
    ASSERT_GE(objects.size(), 4u);
    EXPECT_EQ(objects[0], 0xCA);
    EXPECT_EQ(objects[1], 0x0D);
    EXPECT_EQ(objects[2], 0x00);
    EXPECT_EQ(objects[3], 0x00);
    EXPECT_GT(opened.container->sectionSize(SectionName::Header), 0u);
    EXPECT_GT(opened.container->sectionSize(SectionName::Classes), 0u);
    EXPECT_TRUE(opened.fixture.reports().empty()) << opened.fixture.reports()[0];
}

}  // namespace
