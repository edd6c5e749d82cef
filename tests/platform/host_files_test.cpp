// Files, folders, searches and file times on the Linux host.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/host/host_objects.h"
#include "platform/os.h"

namespace {

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// A fresh folder under /tmp for each test, removed afterwards.
class HostFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qn-host-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        wdir_ = U16(dir_);
        handles_before_ = HostOpenHandleCount(kHostKindAny);
    }
    void TearDown() override {
        if (chdir("/") != 0) ADD_FAILURE();
        std::string command = "chmod -R u+w " + dir_ + " && rm -rf " + dir_;
        if (system(command.c_str()) != 0) ADD_FAILURE();
        EXPECT_EQ(HostOpenHandleCount(kHostKindAny), handles_before_);
    }
    std::u16string P(const char16_t* name) const { return wdir_ + u"\\" + name; }
    HANDLE Create(const std::u16string& path, DWORD access, DWORD share, DWORD disposition) {
        return os::CreateFileW(path.c_str(), access, share, disposition, FILE_ATTRIBUTE_NORMAL);
    }
    void Write(const std::u16string& path, const std::string& bytes) {
        HANDLE h = Create(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(os::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written));
        EXPECT_EQ(written, bytes.size());
        os::CloseHandle(h);
    }
    std::string dir_;
    std::u16string wdir_;
    int handles_before_ = 0;
};

TEST_F(HostFilesTest, TempPathComesFromTmpdirWithATrailingBackslash) {
    const char* saved = getenv("TMPDIR");
    std::string keep = saved ? saved : "";
    setenv("TMPDIR", "/var/tmp/x//", 1);
    WCH buffer[MAX_PATH];
    EXPECT_EQ(os::GetTempPathW(MAX_PATH, buffer), 11u);
    EXPECT_EQ(std::u16string(buffer), u"/var/tmp/x\\");
    WCH small[4] = {u'k', 0, 0, 0};
    EXPECT_EQ(os::GetTempPathW(4, small), 12u);  // the size needed, terminator included
    EXPECT_EQ(small[0], u'k');
    unsetenv("TMPDIR");
    os::GetTempPathW(MAX_PATH, buffer);
    EXPECT_EQ(std::u16string(buffer), u"/tmp\\");
    if (saved) setenv("TMPDIR", keep.c_str(), 1);
}

TEST_F(HostFilesTest, CreateDispositionsBehaveAsOnWindows) {
    std::u16string path = P(u"a.bin");
    HANDLE h = Create(path, GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    DWORD written = 0;
    EXPECT_TRUE(os::WriteFile(h, "hello world", 11, &written));
    DWORD read = 7;
    char buf[32] = {};
    EXPECT_FALSE(os::ReadFile(h, buf, 4, &read));  // opened for writing only
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(read, 0u);
    os::CloseHandle(h);

    EXPECT_EQ(Create(path, GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    h = Create(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD high = 9;
    EXPECT_EQ(os::GetFileSize(h, &high), 11u);
    EXPECT_EQ(high, 0u);
    LONGLONG position = 0;
    EXPECT_TRUE(os::SetFilePointerEx(h, 6, &position, FILE_BEGIN));
    EXPECT_EQ(position, 6);
    EXPECT_TRUE(os::ReadFile(h, buf, sizeof buf, &read));
    EXPECT_EQ(read, 5u);
    EXPECT_EQ(std::string(buf, read), "world");
    EXPECT_TRUE(os::ReadFile(h, buf, sizeof buf, &read));  // at the end: success, nothing read
    EXPECT_EQ(read, 0u);
    os::CloseHandle(h);

    h = Create(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(os::GetFileSize(h, nullptr), 0u);  // replaced
    os::CloseHandle(h);

    EXPECT_EQ(Create(P(u"none.bin"), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Create(P(u"nodir\\x.bin"), GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Create(wdir_, GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);  // a folder
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    // A drive letter is dropped: C:\tmp\... is /tmp/...
    std::u16string with_drive = u"C:" + path;
    for (char16_t& c : with_drive)
        if (c == u'/') c = u'\\';
    h = Create(with_drive, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    os::CloseHandle(h);
    EXPECT_FALSE(os::ReadFile(h, buf, 1, &read));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(HostFilesTest, SharingModesGuardOpenFiles) {
    std::u16string path = P(u"shared.bin");
    Write(path, "x");
    HANDLE writer = Create(path, GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Create(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(os::DeleteFileW(path.c_str()));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    os::CloseHandle(writer);

    HANDLE r1 = Create(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    HANDLE r2 = Create(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(r1, INVALID_HANDLE_VALUE);
    EXPECT_NE(r2, INVALID_HANDLE_VALUE);
    // Readers that share only reading keep writers out.
    EXPECT_EQ(Create(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(HostOpenHandleCount(kHostFile), 2);
    os::CloseHandle(r1);
    os::CloseHandle(r2);
    EXPECT_TRUE(os::DeleteFileW(path.c_str()));
    EXPECT_FALSE(os::DeleteFileW(path.c_str()));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(HostFilesTest, FoldersCurrentDirectoryAndPathLimits) {
    std::u16string sub = P(u"Quillon");
    EXPECT_TRUE(os::CreateDirectoryW(sub.c_str()));
    EXPECT_FALSE(os::CreateDirectoryW(sub.c_str()));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(os::CreateDirectoryW(P(u"a\\b").c_str()));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    std::u16string work = sub + u"\\3600000";
    ASSERT_TRUE(os::CreateDirectoryW(work.c_str()));
    Write(work + u"\\f.txt", "data");

    EXPECT_FALSE(os::RemoveDirectoryW(work.c_str()));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(os::DeleteFileW((work + u"\\f.txt").c_str()));
    // The current directory is in use and cannot be removed; from its parent it can.
    ASSERT_TRUE(os::SetCurrentDirectoryW(work.c_str()));
    EXPECT_FALSE(os::RemoveDirectoryW(work.c_str()));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    ASSERT_TRUE(os::SetCurrentDirectoryW((work + u"\\..").c_str()));
    WCH cwd[MAX_PATH];
    ASSERT_GT(os::GetCurrentDirectoryW(MAX_PATH, cwd), 0u);
    EXPECT_EQ(std::u16string(cwd), wdir_ + u"/Quillon");
    EXPECT_TRUE(os::RemoveDirectoryW(work.c_str()));
    EXPECT_EQ(os::GetFileAttributesW(work.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(os::SetCurrentDirectoryW(work.c_str()));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    // Windows refuses paths of MAX_PATH units and more.
    std::u16string longer = wdir_ + u"\\" + std::u16string(MAX_PATH, u'n');
    EXPECT_EQ(Create(longer, GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

TEST_F(HostFilesTest, ReadOnlyAttributeIsKeptEvenForRoot) {
    std::u16string path = P(u"ro.txt");
    Write(path, "x");
    EXPECT_EQ(os::GetFileAttributesW(path.c_str()), FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(os::GetFileAttributesW(wdir_.c_str()), FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_TRUE(os::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(os::GetFileAttributesW(path.c_str()), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Create(path, GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(os::DeleteFileW(path.c_str()));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(os::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(os::DeleteFileW(path.c_str()));
    EXPECT_EQ(os::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(os::DeleteFileW(wdir_.c_str()));  // folders are not deleted as files
}

std::vector<std::u16string> Names(const std::u16string& pattern, DWORD* first_error) {
    std::vector<std::u16string> names;
    os::FindData data;
    HANDLE find = os::FindFirstFileW(pattern.c_str(), &data);
    *first_error = find == INVALID_HANDLE_VALUE ? os::GetLastError() : 0;
    if (find == INVALID_HANDLE_VALUE) return names;
    do names.push_back(data.cFileName);
    while (os::FindNextFileW(find, &data));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_FALSE(os::CloseHandle(find));  // a search is closed by FindClose only
    EXPECT_TRUE(os::FindClose(find));
    return names;
}

TEST_F(HostFilesTest, SearchesMatchWithoutCaseInAStableOrder) {
    Write(P(u"b.txt"), "12345");
    Write(P(u"A.bin"), "1");
    Write(P(u"c.TXT"), "");
    Write(P(u"noext"), "");
    ASSERT_TRUE(os::CreateDirectoryW(P(u"sub").c_str()));
    DWORD error = 0;
    std::vector<std::u16string> all = {u".", u"..", u"A.bin", u"b.txt", u"c.TXT", u"noext", u"sub"};
    EXPECT_EQ(Names(P(u"*"), &error), all);
    EXPECT_EQ(Names(P(u"*.*"), &error), all);
    EXPECT_EQ(Names(P(u"*.txt"), &error), (std::vector<std::u16string>{u"b.txt", u"c.TXT"}));
    EXPECT_EQ(Names(P(u"?.BIN"), &error), (std::vector<std::u16string>{u"A.bin"}));
    EXPECT_EQ(Names(P(u"*.zip"), &error), std::vector<std::u16string>{});
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Names(P(u"missing\\*"), &error), std::vector<std::u16string>{});
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Names(P(u"sub\\"), &error), std::vector<std::u16string>{});
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // Without wildcards the last part names one item, a folder too.
    os::FindData data;
    HANDLE find = os::FindFirstFileW(P(u"sub").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::u16string(data.cFileName), u"sub");
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(HostOpenHandleCount(kHostFind), 1);
    os::FindClose(find);
    find = os::FindFirstFileW(P(u"b.txt").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE);
    os::FindClose(find);
    EXPECT_EQ(HostOpenHandleCount(kHostFind), 0);
}

uint64_t Value(const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

FILETIME FromSystem(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s, WORD ms) {
    SYSTEMTIME st = {y, mo, 0, d, h, mi, s, ms};
    FILETIME ft = {0, 0};
    EXPECT_TRUE(os::SystemTimeToFileTime(&st, &ft));
    return ft;
}

TEST_F(HostFilesTest, FileTimesCountHundredNanosecondsSince1601) {
    EXPECT_EQ(Value(FromSystem(1970, 1, 1, 0, 0, 0, 0)), 116444736000000000ull);
    EXPECT_EQ(Value(FromSystem(1601, 1, 1, 0, 0, 0, 1)), 10000ull);
    FILETIME leap = FromSystem(2024, 2, 29, 12, 34, 56, 789);
    SYSTEMTIME back;
    ASSERT_TRUE(os::FileTimeToSystemTime(&leap, &back));
    EXPECT_EQ(back.wYear, 2024);
    EXPECT_EQ(back.wMonth, 2);
    EXPECT_EQ(back.wDay, 29);
    EXPECT_EQ(back.wDayOfWeek, 4);  // a Thursday
    EXPECT_EQ(back.wHour, 12);
    EXPECT_EQ(back.wMinute, 34);
    EXPECT_EQ(back.wSecond, 56);
    EXPECT_EQ(back.wMilliseconds, 789);
    SYSTEMTIME bad = {2023, 2, 0, 29, 0, 0, 0, 0};
    FILETIME ft;
    EXPECT_FALSE(os::SystemTimeToFileTime(&bad, &ft));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    FILETIME negative = {0, 0x80000000u};
    EXPECT_FALSE(os::FileTimeToSystemTime(&negative, &back));

    // Set on an open file, read back from the handle and from a search.
    std::u16string path = P(u"t.bin");
    Write(path, "x");
    HANDLE h = Create(path, GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME created = FromSystem(2001, 5, 6, 7, 8, 9, 0);
    FILETIME written = FromSystem(2020, 12, 31, 23, 59, 58, 500);
    ASSERT_TRUE(os::SetFileTime(h, &created, nullptr, &written));
    FILETIME c2, a2, w2;
    ASSERT_TRUE(os::GetFileTime(h, &c2, &a2, &w2));
    EXPECT_EQ(Value(c2), Value(created));
    EXPECT_EQ(Value(w2), Value(written));
    os::CloseHandle(h);
    os::FindData data;
    HANDLE find = os::FindFirstFileW(path.c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Value(data.ftLastWriteTime), Value(written));
    EXPECT_EQ(Value(data.ftCreationTime), Value(created));
    os::FindClose(find);
    h = Create(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_FALSE(os::SetFileTime(h, nullptr, nullptr, &written));  // needs write access
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    os::CloseHandle(h);
}

TEST_F(HostFilesTest, LocalTimesFollowTheHostTimeZone) {
    const char* saved = getenv("TZ");
    std::string keep = saved ? saved : "";
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    FILETIME local = FromSystem(2024, 7, 1, 12, 0, 0, 250);
    FILETIME utc;
    ASSERT_TRUE(os::LocalFileTimeToFileTime(&local, &utc));
    EXPECT_EQ(Value(utc), Value(FromSystem(2024, 7, 1, 10, 0, 0, 250)));  // summer: UTC+2
    FILETIME winter_local = FromSystem(2024, 1, 15, 12, 0, 0, 0);
    ASSERT_TRUE(os::LocalFileTimeToFileTime(&winter_local, &utc));
    EXPECT_EQ(Value(utc), Value(FromSystem(2024, 1, 15, 11, 0, 0, 0)));
    FILETIME again;
    ASSERT_TRUE(os::FileTimeToLocalFileTime(&utc, &again));
    EXPECT_EQ(Value(again), Value(winter_local));
    setenv("TZ", "UTC0", 1);
    ASSERT_TRUE(os::LocalFileTimeToFileTime(&local, &utc));
    EXPECT_EQ(Value(utc), Value(local));
    if (saved) setenv("TZ", keep.c_str(), 1);
    else unsetenv("TZ");
}

}  // namespace
