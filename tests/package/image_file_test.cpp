// Reading an image file: regular files only, sizes in 64 bits, a bound; and
// the resealing that reuses a checksum already verified.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "package/image.h"
#include "platform/host/host_control.h"
#include "platform/host/host_path.h"
#include "tests/common/temp_dir.h"

namespace {

class ImageFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(MakeTempDir(&tmp_, "qn_image_file_", false)); }
    void TearDown() override { ASSERT_NO_FATAL_FAILURE(RemoveTempDir(tmp_)); }
    std::u16string W(const std::string& rel) const { return HostUtf16(tmp_.root) + u"\\" + HostUtf16(rel); }
    std::string L(const std::string& rel) const { return tmp_.root + "/" + rel; }
    TempDir tmp_;
};

TEST_F(ImageFileTest, OnlyRegularFilesWithinTheBoundAreRead) {
    std::ofstream(L("good.bin"), std::ios::binary) << "ABCDEFGH";
    ImageFile f;
    ASSERT_EQ(LoadImageFile(W("good.bin").c_str(), &f), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(f.data), f.size), "ABCDEFGH");
    FreeImageFile(&f);
    EXPECT_EQ(f.data, nullptr);

    // A FIFO would block the read for ever: refused before it is opened.
    ASSERT_EQ(mkfifo(L("pipe.bin").c_str(), 0600), 0);
    EXPECT_EQ(LoadImageFile(W("pipe.bin").c_str(), &f), 0);
    ASSERT_EQ(mkdir(L("folder.bin").c_str(), 0700), 0);
    EXPECT_EQ(LoadImageFile(W("folder.bin").c_str(), &f), 0);
    std::ofstream(L("empty.bin"), std::ios::binary).flush();
    EXPECT_EQ(LoadImageFile(W("empty.bin").c_str(), &f), 0);
    EXPECT_EQ(LoadImageFile(W("missing.bin").c_str(), &f), 0);

    // Sizes past 64 MiB, and past 4 GiB whose low 32 bits look small: refused
    // by their 64-bit size, nothing allocated (sparse files, no disk used).
    int blocks = HostMemoryBlocks();
    for (uint64_t size : {uint64_t{kMaxImageFile + 1}, uint64_t{(1ull << 32) + 20480}}) {
        ASSERT_EQ(truncate((std::ofstream(L("big.bin")).flush(), L("big.bin")).c_str(), static_cast<off_t>(size)), 0);
        EXPECT_EQ(LoadImageFile(W("big.bin").c_str(), &f), 0) << size;
        EXPECT_EQ(f.data, nullptr);
    }
    EXPECT_EQ(HostMemoryBlocks(), blocks);
    ASSERT_EQ(truncate(L("big.bin").c_str(), static_cast<off_t>(kMaxImageFile)), 0);
    ASSERT_EQ(LoadImageFile(W("big.bin").c_str(), &f), 1);
    EXPECT_EQ(f.size, kMaxImageFile);
    FreeImageFile(&f);
}

TEST(ImageReseal, VerifiedVariantGivesTheSameBytesAsVerifyingAgain) {
    std::vector<BYTE> firmware(5 * image::kPage);
    for (size_t i = 0; i < firmware.size(); ++i) firmware[i] = BYTE(i * 7);
    std::vector<BYTE> drive_block(image::kConfigBlock, 0x3C);
    for (int crc32c : {0, 1}) {
        ImageDesc desc = {};
        desc.firmware = firmware.data();
        desc.firmware_size = firmware.size();
        ASSERT_TRUE(ParseVersionParts(u"1A2B3C5E", desc.version));
        desc.crc32c = crc32c;
        std::vector<BYTE> a(ImageSizeFor(firmware.size()));
        a.resize(MakeImage(&desc, a.data(), a.size()));
        std::vector<BYTE> b = a;
        int verified = VerifyImageCrc(b.data(), b.size());
        EXPECT_EQ(verified, crc32c);
        PatchImageConfig(a.data(), a.size(), drive_block.data(), u"VX5A0200");
        PatchImageConfigVerified(b.data(), b.size(), drive_block.data(), u"VX5A0200", verified);
        EXPECT_EQ(a, b) << crc32c;
    }
}

}  // namespace
