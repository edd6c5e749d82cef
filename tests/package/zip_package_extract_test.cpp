// The embedded package: resource to the temporary archive, unpacked into the
// work directory, archive deleted; whatever sits under the archive's name
// beforehand is never written through nor unpacked.
#include <unistd.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "package/package_extract.h"
#include "platform/host/host_control.h"
#include "tests/package/zip_test_util.h"

namespace {

// TMPDIR points the host's temporary folder at a scratch folder.
struct ZipPackage : ::testing::Test {
    ScratchDir dir;
    std::string temp = dir.Sub("temp");
    std::string work = dir.Sub("temp/Quillon/3600000");
    std::string archive = dir.Sub("temp/~ReleasePackage.a");
    std::string saved;
    bool had = false;
    void SetUp() override {
        RunCommand("mkdir -p " + ShellQuote(temp + "/Quillon"));
        const char* old = getenv("TMPDIR");
        had = old != nullptr;
        if (had) saved = old;
        setenv("TMPDIR", temp.c_str(), 1);
        HostClearResources();
    }
    void TearDown() override {
        HostClearResources();
        if (had) setenv("TMPDIR", saved.c_str(), 1);
        else unsetenv("TMPDIR");
    }
    std::string Package() {
        BuildEntry ini;
        ini.name = "QuillonInfo.ini";
        ini.data = "[UPDATEINFO]\r\nTitle=Quillon\r\n";
        BuildEntry image;
        image.name = "fw_a.bin";
        image.data = PatternBytes(200000, 7);
        image.deflate = true;
        return BuildZip({ini, image});
    }
    void Register(const std::string& bytes) { HostRegisterResource(u"FWPACKAGEZIP", 1000, bytes.data(), bytes.size()); }
};

TEST_F(ZipPackage, ResourceIsUnpackedIntoTheWorkDirectory) {
    Register(Package());
    ExtractPackage(u"FWPACKAGEZIP", 1000, U16(work).c_str());
    EXPECT_EQ(ListTree(work), (std::vector<std::string>{"QuillonInfo.ini", "fw_a.bin"}));
    EXPECT_EQ(ReadBytes(work + "/QuillonInfo.ini"), "[UPDATEINFO]\r\nTitle=Quillon\r\n");
    EXPECT_TRUE(ReadBytes(work + "/fw_a.bin") == PatternBytes(200000, 7));
    EXPECT_FALSE(FileExists(archive));
    // The resource type is compared without case, as Windows does.
    const std::string second = dir.Sub("temp/Quillon/3600001");
    ExtractPackage(u"fwpackagezip", 1000, U16(second).c_str());
    EXPECT_EQ(ListTree(second).size(), 2u);
}

TEST_F(ZipPackage, OlderArchiveOrPlantedLinkIsReplacedNotFollowed) {
    const std::string victim = dir.Sub("victim.txt");
    WriteBytes(victim, "keep me");
    ASSERT_EQ(symlink(victim.c_str(), archive.c_str()), 0);
    Register(Package());
    ExtractPackage(u"FWPACKAGEZIP", 1000, U16(work).c_str());
    EXPECT_EQ(ReadBytes(victim), "keep me");
    EXPECT_EQ(ListTree(work).size(), 2u);
    EXPECT_FALSE(FileExists(archive));

    // A dangling link and an older archive are replaced the same way.
    ASSERT_EQ(symlink(dir.Sub("nowhere").c_str(), archive.c_str()), 0);
    const std::string second = dir.Sub("temp/Quillon/2");
    ExtractPackage(u"FWPACKAGEZIP", 1000, U16(second).c_str());
    EXPECT_FALSE(FileExists(dir.Sub("nowhere")));
    EXPECT_EQ(ListTree(second).size(), 2u);
}

TEST_F(ZipPackage, WithoutTheResourceNothingOldIsUnpacked) {
    // An archive from some earlier run (or someone else) sits under the name.
    BuildEntry stale;
    stale.name = "stale.txt";
    stale.data = "stale";
    WriteBytes(archive, BuildZip({stale}));
    ExtractPackage(u"FWPACKAGEZIP", 1000, U16(work).c_str());
    EXPECT_TRUE(ListTree(work).empty());
    // A damaged resource leaves the work directory without the damaged files.
    std::string bytes = Package();
    bytes[bytes.size() / 2] ^= 0x55;
    Register(bytes);
    ExtractPackage(u"FWPACKAGEZIP", 1000, U16(work).c_str());
    EXPECT_EQ(ListTree(work), std::vector<std::string>{"QuillonInfo.ini"});
    EXPECT_FALSE(FileExists(archive));
}

}  // namespace
