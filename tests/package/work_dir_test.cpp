// The work directory: where it goes, and that the exit clean-up deletes
// only inside a folder this run made with a complete path.
#include "package/work_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "platform/host/host_control.h"
#include "platform/host/host_path.h"
#include "platform/os.h"
#include "tests/common/temp_dir.h"

namespace {

class WorkDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(MakeTempDir(&tmp_, "qn_workdir_", true));
        HostClockReset();
        *GetAppState() = AppState{};
    }
    void TearDown() override {
        ASSERT_NO_FATAL_FAILURE(RemoveTempDir(tmp_));
        *GetAppState() = AppState{};
    }
    std::string L(const std::string& rel) const { return tmp_.root + "/" + rel; }
    bool Exists(const std::string& rel) const {
        struct stat st;
        return stat(L(rel).c_str(), &st) == 0;
    }
    void Touch(const std::string& rel) const { std::ofstream(L(rel)) << "x"; }
    unsigned Mode(const std::string& rel) const {
        struct stat st;
        return lstat(L(rel).c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xFFFFu;
    }

    TempDir tmp_;
};

TEST_F(WorkDirTest, IsNamedByTheTickCountInsideQuillon) {
    AppState* state = GetAppState();
    ASSERT_EQ(CreateWorkDir(state), 1);
    std::u16string expected = HostUtf16(tmp_.root) + u"\\Quillon\\" + HostUtf16(std::to_string(kHostClockStart));
    EXPECT_EQ(std::u16string(state->szWorkDir), expected);
    EXPECT_EQ(state->bWorkDirCreated, 1);
    EXPECT_TRUE(Exists("Quillon/" + std::to_string(kHostClockStart)));
}

TEST_F(WorkDirTest, ATempFolderEndingInABackslashGivesTheSamePath) {
    setenv("TMPDIR", (tmp_.root + "/").c_str(), 1);
    AppState* state = GetAppState();
    ASSERT_EQ(CreateWorkDir(state), 1);
    EXPECT_EQ(std::u16string(state->szWorkDir),
              HostUtf16(tmp_.root) + u"\\Quillon\\" + HostUtf16(std::to_string(kHostClockStart)));
}

TEST_F(WorkDirTest, ASecondRunGetsANewFolderAndLeavesTheOldOne) {
    AppState* state = GetAppState();
    ASSERT_EQ(CreateWorkDir(state), 1);
    std::u16string first = state->szWorkDir;
    Touch("Quillon/" + std::to_string(kHostClockStart) + "/left.bin");

    HostClockAdvance(1500);
    *state = AppState{};
    ASSERT_EQ(CreateWorkDir(state), 1);
    EXPECT_NE(std::u16string(state->szWorkDir), first);
    EXPECT_EQ(state->bWorkDirCreated, 1);
    RemoveWorkDir(state);
    EXPECT_FALSE(Exists("Quillon/" + std::to_string(kHostClockStart + 1500)));
    EXPECT_TRUE(Exists("Quillon/" + std::to_string(kHostClockStart) + "/left.bin"));
}

TEST_F(WorkDirTest, RemovalDeletesFilesAndTheFolderButKeepsQuillon) {
    AppState* state = GetAppState();
    ASSERT_EQ(CreateWorkDir(state), 1);
    std::string work = "Quillon/" + std::to_string(kHostClockStart);
    Touch(work + "/QuillonInfo.ini");
    Touch(work + "/VX500_B17A.bin");
    ASSERT_EQ(chdir(L(work).c_str()), 0);  // the folder in use as current directory

    RemoveWorkDir(state);
    EXPECT_FALSE(Exists(work));
    EXPECT_TRUE(Exists("Quillon"));
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(std::string(cwd), L("Quillon"));
    EXPECT_EQ(state->bWorkDirCreated, 0);
}

TEST_F(WorkDirTest, RemovalLeavesAFolderWithSubFolders) {
    AppState* state = GetAppState();
    ASSERT_EQ(CreateWorkDir(state), 1);
    std::string work = "Quillon/" + std::to_string(kHostClockStart);
    ASSERT_EQ(mkdir(L(work + "/sub").c_str(), 0777), 0);
    Touch(work + "/sub/inner.bin");
    Touch(work + "/top.bin");
    RemoveWorkDir(state);
    EXPECT_FALSE(Exists(work + "/top.bin"));
    EXPECT_TRUE(Exists(work + "/sub/inner.bin"));
}

TEST_F(WorkDirTest, ATakenNameIsNeverReusedNorEmptied) {
    // Another run (or another process of the user) made a folder with this
    // tick's name first, with a file in it.
    std::string taken = "Quillon/" + std::to_string(kHostClockStart);
    ASSERT_EQ(mkdir(L("Quillon").c_str(), 0777), 0);
    ASSERT_EQ(mkdir(L(taken).c_str(), 0777), 0);
    Touch(taken + "/theirs.bin");
    // The next name is a link: also taken, and not to be written through.
    ASSERT_EQ(mkdir(L("elsewhere").c_str(), 0777), 0);
    ASSERT_EQ(symlink(L("elsewhere").c_str(), L("Quillon/" + std::to_string(kHostClockStart + 1)).c_str()), 0);

    AppState* state = GetAppState();
    ASSERT_EQ(CreateWorkDir(state), 1);
    EXPECT_EQ(std::u16string(state->szWorkDir),
              HostUtf16(tmp_.root) + u"\\Quillon\\" + HostUtf16(std::to_string(kHostClockStart + 2)));
    EXPECT_EQ(state->bWorkDirCreated, 1);
    RemoveWorkDir(state);
    EXPECT_TRUE(Exists(taken + "/theirs.bin"));
    EXPECT_TRUE(Exists("elsewhere"));
    EXPECT_FALSE(Exists("Quillon/" + std::to_string(kHostClockStart + 2)));
}

TEST_F(WorkDirTest, OnlyTheOwnerMayUseTheFoldersItMakes) {
    AppState* state = GetAppState();
    ASSERT_EQ(CreateWorkDir(state), 1);
    EXPECT_EQ(Mode("Quillon"), 0700u);
    EXPECT_EQ(Mode("Quillon/" + std::to_string(kHostClockStart)), 0700u);
    RemoveWorkDir(state);

    // A "Quillon" that was there already is left as it is.
    ASSERT_EQ(chmod(L("Quillon").c_str(), 0755), 0);
    HostClockAdvance(10);
    *state = AppState{};
    ASSERT_EQ(CreateWorkDir(state), 1);
    EXPECT_EQ(Mode("Quillon"), 0755u);
    EXPECT_EQ(Mode("Quillon/" + std::to_string(kHostClockStart + 10)), 0700u);
    RemoveWorkDir(state);
}

TEST_F(WorkDirTest, TheFolderIsHeldFromCreationToExit) {
    AppState* state = GetAppState();
    ASSERT_EQ(CreateWorkDir(state), 1);
    ASSERT_NE(state->hWorkDir, nullptr);
    ASSERT_NE(state->hWorkDir, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(os::RemoveDirectoryW(state->szWorkDir));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    RemoveWorkDir(state);
    EXPECT_EQ(state->hWorkDir, nullptr);
    EXPECT_FALSE(Exists("Quillon/" + std::to_string(kHostClockStart)));
}

TEST_F(WorkDirTest, AFolderSwappedForALinkBeforeExitDeletesNothing) {
    // Linux does not honour the held handle's share mode, so the swap that
    // Windows refuses can be made here: the work folder moved away and a link
    // to another folder put under its name.
    AppState* state = GetAppState();
    ASSERT_EQ(CreateWorkDir(state), 1);
    std::string work = "Quillon/" + std::to_string(kHostClockStart);
    Touch(work + "/QuillonInfo.ini");
    ASSERT_EQ(mkdir(L("victim").c_str(), 0777), 0);
    Touch("victim/precious.bin");
    ASSERT_EQ(rename(L(work).c_str(), L("moved").c_str()), 0);
    ASSERT_EQ(symlink(L("victim").c_str(), L(work).c_str()), 0);

    RemoveWorkDir(state);
    EXPECT_TRUE(Exists("victim/precious.bin"));
    EXPECT_TRUE(Exists("moved/QuillonInfo.ini"));
    EXPECT_EQ(state->hWorkDir, nullptr);
    EXPECT_EQ(state->bWorkDirCreated, 0);

    // A plain folder of the same name that is not the held one is left too.
    HostClockAdvance(10);
    *state = AppState{};
    ASSERT_EQ(CreateWorkDir(state), 1);
    std::string second = "Quillon/" + std::to_string(kHostClockStart + 10);
    ASSERT_EQ(rename(L(second).c_str(), L("moved2").c_str()), 0);
    ASSERT_EQ(mkdir(L(second).c_str(), 0777), 0);
    Touch(second + "/planted.bin");
    RemoveWorkDir(state);
    EXPECT_TRUE(Exists(second + "/planted.bin"));
}

TEST_F(WorkDirTest, LinksInsideAreRemovedAsLinksNeverFollowed) {
    AppState* state = GetAppState();
    ASSERT_EQ(CreateWorkDir(state), 1);
    std::string work = "Quillon/" + std::to_string(kHostClockStart);
    ASSERT_EQ(mkdir(L("victim").c_str(), 0777), 0);
    Touch("victim/precious.bin");
    ASSERT_EQ(symlink(L("victim").c_str(), L(work + "/junction").c_str()), 0);
    ASSERT_EQ(symlink(L("victim/precious.bin").c_str(), L(work + "/file.bin").c_str()), 0);
    Touch(work + "/VX500_B17A.bin");

    RemoveWorkDir(state);
    EXPECT_FALSE(Exists(work));
    EXPECT_TRUE(Exists("victim/precious.bin"));
}

TEST_F(WorkDirTest, NoFolderWhenEveryNameIsTaken) {
    ASSERT_EQ(mkdir(L("Quillon").c_str(), 0777), 0);
    for (int n = 0; n < 1000; ++n)
        ASSERT_EQ(mkdir(L("Quillon/" + std::to_string(kHostClockStart + n)).c_str(), 0777), 0);
    AppState* state = GetAppState();
    EXPECT_EQ(CreateWorkDir(state), 0);
    EXPECT_EQ(state->szWorkDir[0], 0);
    EXPECT_EQ(state->bWorkDirCreated, 0);
    EXPECT_EQ(state->hWorkDir, nullptr);
}

TEST_F(WorkDirTest, AnUnusableTempFolderGivesNoWorkFolder) {
    // GetTempPathW longer than the buffer: no folder at all, nothing to clean.
    setenv("TMPDIR", (tmp_.root + "/" + std::string(300, 't')).c_str(), 1);
    AppState* state = GetAppState();
    EXPECT_EQ(CreateWorkDir(state), 0);
    EXPECT_EQ(state->szWorkDir[0], 0);
    EXPECT_EQ(state->bWorkDirCreated, 0);

    // Even a path put there by hand is not touched without the created flag.
    Touch("precious.bin");
    std::u16string root = HostUtf16(tmp_.root);
    std::copy(root.begin(), root.end(), state->szWorkDir);
    state->szWorkDir[root.size()] = 0;
    RemoveWorkDir(state);
    EXPECT_TRUE(Exists("precious.bin"));
}

TEST_F(WorkDirTest, APathThatWouldBeCutIsNotUsed) {
    // "...\Quillon" fits in 260 units but "...\Quillon\3600000" does not:
    // cut, it could name the Quillon folder itself or some other one.
    std::string deep = "d";
    while (HostUtf16(tmp_.root + "/" + deep).size() + 8 < 256) deep += "d";
    setenv("TMPDIR", (tmp_.root + "/" + deep).c_str(), 1);
    AppState* state = GetAppState();
    EXPECT_EQ(CreateWorkDir(state), 0);
    EXPECT_EQ(state->szWorkDir[0], 0);
    EXPECT_EQ(state->bWorkDirCreated, 0);
}

}  // namespace
