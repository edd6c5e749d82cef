// The simulated controller's view of a downloaded image: collected piece by
// piece it reads the same version, FTL build and configuration page as the
// whole image gives, while holding only the pages it reads.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/sim/nvme_fw_image.h"

namespace {

constexpr size_t kPage = 4096;

void Put32(std::vector<uint8_t>* b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// pages pages, each filled with its own number; three regions; the trailer
// after region 2 with the version parts "1A" "2B" "3C" "5E" and a build.
std::vector<uint8_t> MakeImage(uint32_t pages, const uint32_t regions[3][2]) {
    std::vector<uint8_t> b(size_t{pages} * kPage);
    for (uint32_t p = 0; p < pages; ++p)
        for (size_t i = 0; i < kPage; ++i) b[p * kPage + i] = static_cast<uint8_t>(p * 7 + i / 512);
    Put32(&b, 0, 0x47464D43u);
    for (int r = 0; r < 3; ++r) Put32(&b, 0x10 + 8 * r, regions[r][0]), Put32(&b, 0x14 + 8 * r, regions[r][1]);
    const size_t t = size_t{regions[2][1] + 1} * kPage;
    if (t + kPage <= b.size()) {
        const char parts[] = "1A2B3C5E";
        for (int i = 0; i < 8; ++i) b[t + 0x10 + i] = static_cast<uint8_t>(parts[i]);
        Put32(&b, t + 0xFF8, 0x00012345);
    }
    return b;
}

sim::FwImageCollector Collect(const std::vector<uint8_t>& image, size_t piece) {
    sim::FwImageCollector c;
    for (size_t at = 0; at < image.size(); at += piece)
        c.Append(image.data() + at, image.size() - at < piece ? image.size() - at : piece);
    return c;
}

TEST(SimFwImage, PiecesReadAsTheWholeImageAndKeepOnlyThreePages) {
    const uint32_t regions[3][2] = {{1, 100}, {101, 600}, {601, 1022}};
    const std::vector<uint8_t> image = MakeImage(1024, regions);  // 4 MiB
    sim::NvmeFwImage whole;
    ASSERT_TRUE(sim::ParseNvmeFwImage(image.data(), image.size(), &whole));
    EXPECT_EQ(whole.version, "1A2B3C5E");
    EXPECT_EQ(whole.ftl_build, 0x00012345u);
    ASSERT_EQ(whole.config.size(), kPage);
    EXPECT_EQ(whole.config[0], static_cast<uint8_t>(601 * 7));  // region 2's first page, not another

    for (size_t piece : {size_t{4}, size_t{1000}, kPage, kPage + 4, size_t{65536}, image.size()}) {
        SCOPED_TRACE(piece);
        sim::FwImageCollector c = Collect(image, piece);
        EXPECT_EQ(c.size(), image.size());
        sim::NvmeFwImage got;
        ASSERT_TRUE(c.Parse(&got));
        EXPECT_EQ(got.version, whole.version);
        EXPECT_EQ(got.ftl_build, whole.ftl_build);
        EXPECT_EQ(got.config, whole.config);
        EXPECT_LE(c.KeptBytes(), 3 * 2 * kPage) << "the collector held more than the pages it reads";
    }
}

TEST(SimFwImage, RefusesWhatTheWholeImageParseRefuses) {
    const uint32_t regions[3][2] = {{1, 10}, {11, 20}, {21, 30}};
    std::vector<uint8_t> image = MakeImage(32, regions);
    sim::NvmeFwImage out;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"without its trailer page", std::vector<uint8_t>(image.begin(), image.end() - 2 * kPage)});
    std::vector<uint8_t> bad_magic = image;
    bad_magic[0] ^= 1;
    cases.push_back({"without the magic", bad_magic});
    std::vector<uint8_t> crossed = image;
    Put32(&crossed, 0x18, 12), Put32(&crossed, 0x1C, 11);  // region 1 ends before it starts
    cases.push_back({"with a region that ends before it starts", crossed});
    cases.push_back({"shorter than a page", std::vector<uint8_t>(image.begin(), image.begin() + 100)});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(sim::ParseNvmeFwImage(c.bytes.data(), c.bytes.size(), &out));
        EXPECT_FALSE(Collect(c.bytes, 1000).Parse(&out));
    }
}

TEST(SimFwImage, ConfigurationPageMayBeTheHeaderPage) {
    const uint32_t regions[3][2] = {{1, 2}, {3, 4}, {0, 5}};  // region 2 starts at page 0
    const std::vector<uint8_t> image = MakeImage(8, regions);
    sim::NvmeFwImage whole, got;
    ASSERT_TRUE(sim::ParseNvmeFwImage(image.data(), image.size(), &whole));
    sim::FwImageCollector c = Collect(image, 300);
    ASSERT_TRUE(c.Parse(&got));
    EXPECT_EQ(got.config, whole.config);
    EXPECT_EQ(got.version, whole.version);
    c.Clear();
    EXPECT_EQ(c.size(), 0u);
    EXPECT_FALSE(c.Parse(&got));
}

}  // namespace
