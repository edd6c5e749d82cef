// The small file routines, on real folders under a scratch TMPDIR.
#include "package/files.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/host/host_path.h"
#include "platform/wtext.h"
#include "tests/common/temp_dir.h"

namespace {

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(MakeTempDir(&tmp_, "qn_files_", false));
    }
    void TearDown() override {
        ASSERT_NO_FATAL_FAILURE(RemoveTempDir(tmp_));
    }
    // The tool's spelling of a path below the scratch folder.
    std::u16string W(const std::string& rel) const {
        std::u16string p = HostUtf16(tmp_.root);
        if (!rel.empty()) p += u"\\" + HostUtf16(rel);
        return p;
    }
    std::string L(const std::string& rel) const { return tmp_.root + "/" + rel; }
    void Touch(const std::string& rel, const std::string& bytes = "x") const {
        std::ofstream(L(rel), std::ios::binary) << bytes;
    }
    bool Exists(const std::string& rel) const {
        struct stat st;
        return stat(L(rel).c_str(), &st) == 0;
    }

    TempDir tmp_;
};

TEST_F(FilesTest, TempDirLosesItsTrailingBackslash) {
    setenv("TMPDIR", tmp_.root.c_str(), 1);
    WCH plain[260];
    GetTempDir(plain, 260);
    EXPECT_EQ(std::u16string(plain), W(""));

    setenv("TMPDIR", (tmp_.root + "/").c_str(), 1);
    WCH slashed[260];
    GetTempDir(slashed, 260);
    EXPECT_EQ(std::u16string(slashed), std::u16string(plain));
}

TEST_F(FilesTest, TempDirThatDoesNotFitIsEmpty) {
    setenv("TMPDIR", (tmp_.root + "/" + std::string(300, 'd')).c_str(), 1);
    WCH buf[260];
    buf[0] = u'#';
    GetTempDir(buf, 260);
    EXPECT_EQ(buf[0], 0);

    setenv("TMPDIR", tmp_.root.c_str(), 1);
    WCH small[4] = {u'#', u'#', u'#', u'#'};
    GetTempDir(small, 4);
    EXPECT_EQ(small[0], 0);
}

TEST_F(FilesTest, PathExistsForFilesAndFoldersOnly) {
    ASSERT_EQ(mkdir(L("dir").c_str(), 0777), 0);
    Touch("file.bin");
    EXPECT_EQ(PathExists(W("dir").c_str()), 1);
    EXPECT_EQ(PathExists(W("file.bin").c_str()), 1);
    EXPECT_EQ(PathExists(W("missing").c_str()), 0);
    EXPECT_EQ(PathExists(W("dir\\missing").c_str()), 0);
    EXPECT_EQ(PathExists(u""), 0);
    EXPECT_EQ(PathExists(nullptr), 0);
}

TEST_F(FilesTest, WholeFileWriteAndRead) {
    const char data[] = "QuillonInfo\r\n\x00\xff bytes";
    ASSERT_EQ(WriteWholeFile(W("a.bin").c_str(), data, sizeof data), 1);
    EXPECT_EQ(ReadWholeFile(W("a.bin").c_str(), 0, nullptr), sizeof data);

    char back[64] = {};
    EXPECT_EQ(ReadWholeFile(W("a.bin").c_str(), sizeof back, back), sizeof data);
    EXPECT_EQ(std::string(back, sizeof data), std::string(data, sizeof data));

    char part[4] = {};
    EXPECT_EQ(ReadWholeFile(W("a.bin").c_str(), sizeof part, part), 4u);
    EXPECT_EQ(std::string(part, 4), "Quil");

    // CREATE_ALWAYS: a shorter write replaces the whole file.
    ASSERT_EQ(WriteWholeFile(W("a.bin").c_str(), "xy", 2), 1);
    EXPECT_EQ(ReadWholeFile(W("a.bin").c_str(), 0, nullptr), 2u);
}

TEST_F(FilesTest, WholeFileFailures) {
    EXPECT_EQ(WriteWholeFile(W("no\\such\\dir.bin").c_str(), "x", 1), 0);
    char buf[8];
    EXPECT_EQ(ReadWholeFile(W("missing.bin").c_str(), 0, nullptr), 0u);
    EXPECT_EQ(ReadWholeFile(W("missing.bin").c_str(), sizeof buf, buf), 0u);
}

TEST_F(FilesTest, DeleteFilesInDirLeavesFoldersAndTheirContents) {
    ASSERT_EQ(mkdir(L("work").c_str(), 0777), 0);
    ASSERT_EQ(mkdir(L("work/sub").c_str(), 0777), 0);
    Touch("work/QuillonInfo.ini");
    Touch("work/VX500_B17A.bin");
    Touch("work/noext");
    Touch("work/sub/inner.bin");
    Touch("beside.bin");

    DeleteFilesInDir(W("work").c_str(), u"*.*");
    EXPECT_FALSE(Exists("work/QuillonInfo.ini"));
    EXPECT_FALSE(Exists("work/VX500_B17A.bin"));
    EXPECT_FALSE(Exists("work/noext"));
    EXPECT_TRUE(Exists("work/sub/inner.bin"));
    EXPECT_TRUE(Exists("beside.bin"));
}

TEST_F(FilesTest, DeleteFilesInDirHonoursThePattern) {
    ASSERT_EQ(mkdir(L("work").c_str(), 0777), 0);
    Touch("work/a.bin");
    Touch("work/b.ini");
    DeleteFilesInDir(W("work").c_str(), u"*.bin");
    EXPECT_FALSE(Exists("work/a.bin"));
    EXPECT_TRUE(Exists("work/b.ini"));
}

TEST_F(FilesTest, DeleteFilesInDirRefusesASearchThatWouldBeCut) {
    ASSERT_EQ(mkdir(L("work").c_str(), 0777), 0);
    Touch("work/keep.bin");
    // The whole pattern matches nothing (every name would have to end in X);
    // cut to fit 260 units it would end in stars and match keep.bin.
    std::u16string pattern = u"*.bin" + std::u16string(300, u'*') + u"X";
    DeleteFilesInDir(W("work").c_str(), pattern.c_str());
    EXPECT_TRUE(Exists("work/keep.bin"));
    DeleteFilesInDir(W("work").c_str(), u"");
    EXPECT_TRUE(Exists("work/keep.bin"));
}

}  // namespace
