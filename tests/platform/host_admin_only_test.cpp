// The Linux host's owner-only folders and files, the identity of an open
// file, and how links behave: held, listed, opened and removed as links.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/host/host_objects.h"
#include "platform/os.h"

namespace {

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

class HostAdminOnlyTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qn-admin-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        handles_before_ = HostOpenHandleCount(kHostKindAny);
    }
    void TearDown() override {
        std::string command = "rm -rf " + dir_;
        if (system(command.c_str()) != 0) ADD_FAILURE();
        EXPECT_EQ(HostOpenHandleCount(kHostKindAny), handles_before_);
    }
    std::string L(const std::string& rel) const { return dir_ + "/" + rel; }
    std::u16string P(const std::string& rel) const { return U16(dir_) + u"\\" + U16(rel); }
    unsigned Mode(const std::string& rel) const {
        struct stat st;
        return lstat(L(rel).c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xFFFFu;
    }
    bool Exists(const std::string& rel) const {
        struct stat st;
        return lstat(L(rel).c_str(), &st) == 0;
    }
    HANDLE OpenItself(const std::string& rel, DWORD share) const {
        return os::CreateFileW(P(rel).c_str(), FILE_READ_ATTRIBUTES, share, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
    }
    std::string dir_;
    int handles_before_ = 0;
};

TEST_F(HostAdminOnlyTest, FoldersAndFilesAreTheOwnersAloneWhateverTheUmask) {
    mode_t old_mask = umask(0);
    EXPECT_TRUE(os::CreateDirectoryAdminOnlyW(P("open").c_str()));
    umask(0277);  // would take even the owner's write and search bits
    EXPECT_TRUE(os::CreateDirectoryAdminOnlyW(P("strict").c_str()));
    umask(0);
    HANDLE file = os::CreateFileAdminOnlyW(P("open\\a.bin").c_str(), GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    umask(old_mask);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    os::CloseHandle(file);
    EXPECT_EQ(Mode("open"), 0700u);
    EXPECT_EQ(Mode("strict"), 0700u);
    EXPECT_EQ(Mode("open/a.bin"), 0600u);

    // A taken name is refused as Windows refuses it, so a caller can tell.
    EXPECT_FALSE(os::CreateDirectoryAdminOnlyW(P("open").c_str()));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(os::CreateFileAdminOnlyW(P("open\\a.bin").c_str(), GENERIC_WRITE, 0, CREATE_NEW, 0),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
}

TEST_F(HostAdminOnlyTest, AHeldFolderCannotBeRemovedAndKeepsItsIdentity) {
    ASSERT_EQ(mkdir(L("work").c_str(), 0700), 0);
    HANDLE held = OpenItself("work", FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    os::FileInformation info;
    ASSERT_TRUE(os::GetFileInformationByHandle(held, &info));
    EXPECT_EQ(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
              FILE_ATTRIBUTE_DIRECTORY);
    struct stat st;
    ASSERT_EQ(stat(L("work").c_str(), &st), 0);
    EXPECT_EQ(info.nFileIndexLow, static_cast<DWORD>(st.st_ino));

    // Files inside stay usable; the folder itself stays put.
    std::ofstream(L("work/f.bin")) << "x";
    EXPECT_TRUE(os::DeleteFileW(P("work\\f.bin").c_str()));
    EXPECT_FALSE(os::RemoveDirectoryW(P("work").c_str()));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    // A second look at it (as the exit's check makes) is no delete: it opens.
    HANDLE look = OpenItself("work", FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_NE(look, INVALID_HANDLE_VALUE);
    if (look != INVALID_HANDLE_VALUE) os::CloseHandle(look);
    os::CloseHandle(held);
    EXPECT_TRUE(os::RemoveDirectoryW(P("work").c_str()));
    EXPECT_FALSE(Exists("work"));

    // A folder opens only for its own sake, and never for writing.
    ASSERT_EQ(mkdir(L("other").c_str(), 0700), 0);
    EXPECT_EQ(os::CreateFileW(P("other").c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(os::CreateFileW(P("other").c_str(), GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS),
              INVALID_HANDLE_VALUE);
}

TEST_F(HostAdminOnlyTest, ALinkIsOpenedListedAndRemovedAsALink) {
    ASSERT_EQ(mkdir(L("target").c_str(), 0700), 0);
    std::ofstream(L("target/keep.bin")) << "keep";
    ASSERT_EQ(symlink(L("target").c_str(), L("junction").c_str()), 0);
    ASSERT_EQ(symlink(L("target/keep.bin").c_str(), L("filelink").c_str()), 0);

    // Opened itself: a reparse point (a directory one), not the folder behind it.
    HANDLE link = OpenItself("junction", FILE_SHARE_READ);
    ASSERT_NE(link, INVALID_HANDLE_VALUE);
    os::FileInformation at_link;
    ASSERT_TRUE(os::GetFileInformationByHandle(link, &at_link));
    os::CloseHandle(link);
    EXPECT_EQ(at_link.dwFileAttributes, FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY);
    HANDLE target = OpenItself("target", FILE_SHARE_READ);
    ASSERT_NE(target, INVALID_HANDLE_VALUE);
    os::FileInformation at_target;
    ASSERT_TRUE(os::GetFileInformationByHandle(target, &at_target));
    os::CloseHandle(target);
    EXPECT_NE(at_link.nFileIndexLow, at_target.nFileIndexLow);

    // Without FILE_FLAG_OPEN_REPARSE_POINT the folder behind it opens.
    HANDLE followed = os::CreateFileW(P("junction").c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS);
    ASSERT_NE(followed, INVALID_HANDLE_VALUE);
    os::FileInformation at_followed;
    ASSERT_TRUE(os::GetFileInformationByHandle(followed, &at_followed));
    os::CloseHandle(followed);
    EXPECT_EQ(at_followed.nFileIndexLow, at_target.nFileIndexLow);

    // Listed as Windows lists reparse points.
    os::FindData data;
    HANDLE find = os::FindFirstFileW(P("junction").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    os::FindClose(find);
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY);
    find = os::FindFirstFileW(P("filelink").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    os::FindClose(find);
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_REPARSE_POINT);

    // Removing the links leaves the folder and the file behind them.
    EXPECT_FALSE(os::RemoveDirectoryW(P("filelink").c_str()));
    EXPECT_TRUE(os::DeleteFileW(P("filelink").c_str()));
    EXPECT_TRUE(os::RemoveDirectoryW(P("junction").c_str()));
    EXPECT_FALSE(Exists("junction"));
    EXPECT_FALSE(Exists("filelink"));
    EXPECT_TRUE(Exists("target/keep.bin"));
}

}  // namespace
