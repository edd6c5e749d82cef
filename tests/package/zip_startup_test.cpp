// Start-up through the headless dialog: the embedded package is unpacked into
// the new work directory before the configuration is read, and the temporary
// archive is gone once the dialog is up; the configuration keys (or their
// defaults, without the file) are in the state by then.
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include <gtest/gtest.h>

#include "app/app_main.h"
#include "core/app_state.h"
#include "platform/host/host_control.h"
#include "tests/package/zip_test_util.h"

namespace {

struct ZipStartup : ::testing::Test {
    ScratchDir dir;
    std::string work = dir.Sub("Quillon/" + std::to_string(kHostClockStart));
    std::string saved;
    bool had = false;
    char cwd[PATH_MAX] = {};
    AppState seen{};  // the state while the dialog was up
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
        seen = *GetAppState();
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

// The configuration as the dialog start reads it: the integer keys, the
// low byte of PowerCtrl, the <BR> replacement.
TEST_F(ZipStartup, ConfigurationKeysReachTheState) {
    BuildEntry ini = Ini("5A 00");
    ini.data +=
        "SOCID=0x5236\r\niInternalFWVersionCheckPart=2\r\nbRemoveFtlBuildNumCheck=1\r\n"
        "bSetVersionBeforeQuillon=1\r\nBeforeMessage=a<BR>b<br>c\r\nPowerCtrl=258\r\n";
    std::u16string caption;
    StartWith(BuildZip({ini, Image()}), &caption);
    EXPECT_EQ(caption, u"Z");
    EXPECT_EQ(std::u16string(seen.szTitle), u"Z");
    EXPECT_EQ(std::u16string(seen.SOCID), u"0x5236");
    EXPECT_EQ(seen.iInternalFWVersionCheckPart, 2);
    EXPECT_EQ(seen.bRemoveFtlBuildNumCheck, 1);
    EXPECT_EQ(seen.bSetVersionBeforeQuillon, 1);
    EXPECT_EQ(seen.bIsSATA, 0);
    EXPECT_EQ(std::u16string(seen.BeforeMessage), u"a\r\nb<br>c");
    EXPECT_EQ(seen.PowerCtrl, 2);  // 258: the low 8 bits

    BuildEntry zero = Ini("5A 00");
    zero.data += "PowerCtrl=256\r\n";
    StartWith(BuildZip({zero, Image()}), &caption);
    EXPECT_EQ(seen.PowerCtrl, 0);
}

// A package without its configuration file: every key at its default.
TEST_F(ZipStartup, NoConfigurationFileGivesTheDefaults) {
    std::u16string caption;
    const std::vector<std::string> files = StartWith(BuildZip({Image()}), &caption);
    EXPECT_EQ(files, std::vector<std::string>{"fw_a.bin"});
    EXPECT_EQ(caption, u"Package Error");
    EXPECT_EQ(std::u16string(seen.szTitle), u"Package Error");
    EXPECT_EQ(seen.iInternalFWVersionCheckPart, 3);
    EXPECT_EQ(seen.bIsSATA, 0);
    EXPECT_EQ(seen.bRemoveFtlBuildNumCheck, 0);
    EXPECT_EQ(seen.bSetVersionBeforeQuillon, 0);
    EXPECT_EQ(seen.PowerCtrl, 0);
    EXPECT_EQ(seen.SOCID[0], 0);
    EXPECT_EQ(seen.ModelName[0], 0);
    EXPECT_EQ(seen.FWVersion[0], 0);
    EXPECT_EQ(seen.NEWVERSION[0], 0);
    EXPECT_EQ(seen.BeforeMessage[0], 0);
    EXPECT_EQ(seen.AfterMessage[0], 0);
    EXPECT_EQ(seen.iDiskCount, 0u);  // an empty SOCID admits no drive
}

}  // namespace
