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

TEST_F(WorkDirTest, AFolderThisRunDidNotCreateIsNeverEmptied) {
    // Another run made a folder with the same tick count first.
    std::string work = "Quillon/" + std::to_string(kHostClockStart);
    ASSERT_EQ(mkdir(L("Quillon").c_str(), 0777), 0);
    ASSERT_EQ(mkdir(L(work).c_str(), 0777), 0);
    Touch(work + "/theirs.bin");
    AppState* state = GetAppState();
    EXPECT_EQ(CreateWorkDir(state), 1);  // still usable for this run
    EXPECT_EQ(state->bWorkDirCreated, 0);
    RemoveWorkDir(state);
    EXPECT_TRUE(Exists(work + "/theirs.bin"));
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
