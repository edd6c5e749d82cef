// Start-up through the headless dialog: the embedded package is unpacked into
// the new work directory before the configuration is read, and the temporary
// archive is gone once the dialog is up.
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include <gtest/gtest.h>

#include "app/app_main.h"
#include "app/app_state.h"
#include "platform/host/host_control.h"
#include "tests/package/zip_test_util.h"

namespace {

struct ZipStartup : ::testing::Test {
    ScratchDir dir;
    std::string work = dir.Sub("Quillon/" + std::to_string(kHostClockStart));
    std::string saved;
    bool had = false;
    char cwd[PATH_MAX] = {};
    void SetUp() override {
        // The exit path moves the current directory next to the work
        // directory, inside this test's scratch folder.
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        const char* old = getenv("TMPDIR");
        had = old != nullptr;
        if (had) saved = old;
        setenv("TMPDIR", dir.path.c_str(), 1);
        HostResetAll();
        HostClearResources();
    }
    void TearDown() override {
        EXPECT_EQ(chdir(cwd), 0);
        HostClearResources();
        if (had) setenv("TMPDIR", saved.c_str(), 1);
        else unsetenv("TMPDIR");
    }
    // Starts the tool with the package as its resource; the files of the
    // work directory while the dialog is up, and the dialog's caption.
    std::vector<std::string> StartWith(const std::string& package, std::u16string* caption) {
        HostRegisterResource(u"FWPACKAGEZIP", 1000, package.data(), package.size());
        HostStartDialogThread([] { return AppMain("Quillon.exe"); });
        EXPECT_NE(HostWaitForDialog(), nullptr);
        const std::vector<std::string> files = ListTree(work);
        *caption = HostControlText(0);
        EXPECT_FALSE(FileExists(dir.Sub("~ReleasePackage.a")));
        EXPECT_EQ(HostCloseDialog(), kHostDone);
        EXPECT_EQ(HostJoinDialogThread(), 0);
        return files;
    }
};

BuildEntry Ini(const std::string& title_hex) {
    BuildEntry e;
    e.name = "QuillonInfo.ini";
    e.data = "[UPDATEINFO]\r\nTITLE=" + title_hex + "\r\n";
    e.deflate = true;
    return e;
}

BuildEntry Image() {
    BuildEntry e;
    e.name = "fw_a.bin";
    e.data = PatternBytes(64 * 1024, 5);
    e.deflate = true;
    return e;
}

TEST_F(ZipStartup, PackageIsUnpackedBeforeTheConfigurationIsRead) {
    std::u16string caption;
    // TITLE: the caption's UTF-16 units as hexadecimal bytes, low byte first ("Zip").
    const std::vector<std::string> files = StartWith(BuildZip({Ini("5A 00 69 00 70 00"), Image()}), &caption);
    EXPECT_EQ(files, (std::vector<std::string>{"QuillonInfo.ini", "fw_a.bin"}));
    EXPECT_EQ(caption, u"Zip");
    EXPECT_FALSE(FileExists(work));  // removed on exit
}

TEST_F(ZipStartup, DamagedConfigurationEntryIsNotLeftForTheReader) {
    BuildEntry ini = Ini("5A 00 69 00 70 00");
    ini.central_crc = ini.local_crc = 0x0BADC0DE;
    std::u16string caption;
    const std::vector<std::string> files = StartWith(BuildZip({ini, Image()}), &caption);
    EXPECT_EQ(files, std::vector<std::string>{"fw_a.bin"});
    EXPECT_EQ(caption, u"Package Error");
}

}  // namespace
