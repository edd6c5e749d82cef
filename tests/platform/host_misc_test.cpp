// Resources, committed memory and code pages on the Linux host.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/host/host_control.h"
#include "platform/os.h"

namespace {

TEST(HostResources, ThePackageIsFoundByTypeTextAndIdAndCanBeReplaced) {
    const unsigned char zip[] = {'P', 'K', 3, 4, 9, 9};
    HostRegisterResource(u"FWPACKAGEZIP", 1000, zip, sizeof zip);
    HMODULE self = os::GetModuleHandleW(nullptr);
    ASSERT_NE(self, nullptr);
    HRSRC found = os::FindResourceW(self, os::MakeIntResource(1000), u"fwPackageZip");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(os::SizeofResource(self, found), sizeof zip);
    const void* bytes = os::LockResource(os::LoadResource(self, found));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::memcmp(bytes, zip, sizeof zip), 0);
    EXPECT_NE(os::FindResourceW(nullptr, os::MakeIntResource(1000), u"FWPACKAGEZIP"), nullptr);

    EXPECT_EQ(os::FindResourceW(self, os::MakeIntResource(1001), u"FWPACKAGEZIP"), nullptr);
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(os::FindResourceW(self, os::MakeIntResource(1000), u"OTHER"), nullptr);
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));

    const unsigned char other[] = {1, 2};
    HostRegisterResource(u"FWPACKAGEZIP", 1000, other, sizeof other);
    found = os::FindResourceW(self, os::MakeIntResource(1000), u"FWPACKAGEZIP");
    EXPECT_EQ(os::SizeofResource(self, found), 2u);
    // What was locked before stays readable.
    EXPECT_EQ(static_cast<const unsigned char*>(bytes)[0], 'P');
    HostClearResources();
    EXPECT_EQ(os::FindResourceW(self, os::MakeIntResource(1000), u"FWPACKAGEZIP"), nullptr);
}

TEST(HostMemory, BlocksAreZeroedPageAlignedCountedAndReleasedWhole) {
    int blocks = HostMemoryBlocks();
    size_t bytes = HostMemoryBytes();
    unsigned char* p =
        static_cast<unsigned char*>(os::VirtualAlloc(nullptr, 5000, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 4096, 0u);
    EXPECT_EQ(HostMemoryBlocks(), blocks + 1);
    EXPECT_EQ(HostMemoryBytes(), bytes + 5000);
    bool zero = true;
    for (int i = 0; i < 8192; i++) zero = zero && p[i] == 0;
    EXPECT_TRUE(zero);
    p[8191] = 0xAA;  // the rest of the last page is usable, as on Windows

    EXPECT_FALSE(os::VirtualFree(p, 5000, MEM_RELEASE));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(os::VirtualFree(p + 4096, 0, MEM_RELEASE));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    EXPECT_TRUE(os::VirtualFree(p, 0, MEM_RELEASE));
    EXPECT_FALSE(os::VirtualFree(p, 0, MEM_RELEASE));
    EXPECT_EQ(HostMemoryBlocks(), blocks);
    EXPECT_EQ(HostMemoryBytes(), bytes);

    EXPECT_EQ(os::VirtualAlloc(nullptr, 0, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE), nullptr);
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(HostMemoryDeathTest, ARunPastTheLastPageFaults) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    unsigned char* p =
        static_cast<unsigned char*>(os::VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(p, nullptr);
    EXPECT_DEATH({ static_cast<volatile unsigned char*>(p)[4096] = 1; }, "");
    os::VirtualFree(p, 0, MEM_RELEASE);
}

TEST(HostMemory, AReleasedBlockIsHandedOutAgainZeroedAndCountedAfresh) {
    // Six pages: a size no other test here releases, so the block kept is ours.
    int blocks = HostMemoryBlocks();
    size_t bytes = HostMemoryBytes();
    auto* p = static_cast<unsigned char*>(os::VirtualAlloc(nullptr, 20481, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(p, nullptr);
    std::memset(p, 0xA5, 6 * 4096);
    ASSERT_TRUE(os::VirtualFree(p, 0, MEM_RELEASE));
    // The same number of pages again: the kept block comes back, cleared as
    // Windows clears a fresh one, and counted again.
    auto* q = static_cast<unsigned char*>(os::VirtualAlloc(nullptr, 24000, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q, p);
    bool zero = true;
    for (int i = 0; i < 6 * 4096; i++) zero = zero && q[i] == 0;
    EXPECT_TRUE(zero);
    EXPECT_EQ(HostMemoryBlocks(), blocks + 1);
    EXPECT_EQ(HostMemoryBytes(), bytes + 24000);
    // A block of another size is not given this one.
    auto* r = static_cast<unsigned char*>(os::VirtualAlloc(nullptr, 100, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(r, nullptr);
    EXPECT_NE(r, q);
    EXPECT_TRUE(os::VirtualFree(r, 0, MEM_RELEASE));
    EXPECT_TRUE(os::VirtualFree(q, 0, MEM_RELEASE));
    // Released twice: the kept block is not a live one.
    EXPECT_FALSE(os::VirtualFree(q, 0, MEM_RELEASE));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    EXPECT_EQ(HostMemoryBlocks(), blocks);
}

TEST(HostMemory, AnImageSizedBlockIsKeptAndTheKeptBytesAreBounded) {
    // An image read by the run button's checks and again by the worker: the
    // second read gets the first one's pages back, cleared.
    const size_t image = (4u << 20) + 4096 * 3 + 100;
    auto* p = static_cast<unsigned char*>(os::VirtualAlloc(nullptr, image, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(p, nullptr);
    std::memset(p, 0x5A, image);
    ASSERT_TRUE(os::VirtualFree(p, 0, MEM_RELEASE));
    auto* q = static_cast<unsigned char*>(os::VirtualAlloc(nullptr, image, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_EQ(q, p);
    size_t nonzero = 0;
    for (size_t i = 0; i < image; i++) nonzero += q[i] != 0;
    EXPECT_EQ(nonzero, 0u);
    // Two blocks that together pass the bound: the older one is unmapped,
    // not kept, so asking for its size again maps afresh.
    auto* big = static_cast<unsigned char*>(os::VirtualAlloc(nullptr, 40u << 20, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    auto* bigger = static_cast<unsigned char*>(os::VirtualAlloc(nullptr, 30u << 20, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(big, nullptr);
    ASSERT_NE(bigger, nullptr);
    ASSERT_TRUE(os::VirtualFree(q, 0, MEM_RELEASE));
    ASSERT_TRUE(os::VirtualFree(big, 0, MEM_RELEASE));
    EXPECT_GE(HostKeptMemoryBytes(), (44u << 20));
    ASSERT_TRUE(os::VirtualFree(bigger, 0, MEM_RELEASE));  // 4 + 40 + 30 MiB: the 4 and 40 MiB blocks go
    EXPECT_LE(HostKeptMemoryBytes(), (64u << 20) + 16 * 4096);
    EXPECT_GE(HostKeptMemoryBytes(), (30u << 20));
    auto* again = static_cast<unsigned char*>(os::VirtualAlloc(nullptr, 30u << 20, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    EXPECT_EQ(again, bigger);
    EXPECT_TRUE(os::VirtualFree(again, 0, MEM_RELEASE));
}

TEST(HostMemoryDeathTest, AnAccessAfterReleaseIsCaught) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Small enough to be kept for reuse: the kept pages must still be out of reach.
    auto* p = static_cast<unsigned char*>(os::VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(os::VirtualFree(p, 0, MEM_RELEASE));
    EXPECT_DEATH({ static_cast<volatile unsigned char*>(p)[10] = 1; }, "");
    EXPECT_DEATH({ (void)static_cast<volatile unsigned char*>(p)[4000]; }, "");
}

TEST(HostMemoryDeathTest, AReusedBlockKeepsItsGuardPage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto* p = static_cast<unsigned char*>(os::VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(os::VirtualFree(p, 0, MEM_RELEASE));
    auto* q = static_cast<unsigned char*>(os::VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(q, nullptr);
    q[4095] = 1;
    EXPECT_DEATH({ static_cast<volatile unsigned char*>(q)[4096] = 1; }, "");
    os::VirtualFree(q, 0, MEM_RELEASE);
}

TEST(HostText, Utf8ConversionsCountUnitsAndReplaceBadBytes) {
    const char* text = "a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80";  // a ä € 😀
    EXPECT_EQ(os::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0), 6);  // 5 units and the terminator
    WCH out[8] = {};
    ASSERT_EQ(os::MultiByteToWideChar(CP_UTF8, 0, text, -1, out, 8), 6);
    EXPECT_EQ(std::u16string(out), u"a\u00E4\u20AC\U0001F600");
    WCH small[3];
    EXPECT_EQ(os::MultiByteToWideChar(CP_UTF8, 0, text, -1, small, 3), 0);
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    const char bad[] = {'x', '\xC3', 'y', '\xFF'};
    ASSERT_EQ(os::MultiByteToWideChar(CP_UTF8, 0, bad, 4, out, 8), 4);
    EXPECT_EQ(std::u16string(out, 4), u"x\uFFFDy\uFFFD");
    EXPECT_EQ(os::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bad, 4, out, 8), 0);
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));

    char narrow[16] = {};
    ASSERT_EQ(os::WideCharToMultiByte(CP_UTF8, 0, u"\u00E4\U0001F600", -1, narrow, 16), 7);
    EXPECT_STREQ(narrow, "\xC3\xA4\xF0\x9F\x98\x80");
    const WCH lone[] = {0xD800, u'z', 0};
    ASSERT_EQ(os::WideCharToMultiByte(CP_UTF8, 0, lone, -1, narrow, 16), 5);
    EXPECT_STREQ(narrow, "\xEF\xBF\xBDz");
}

TEST(HostText, TheSystemCodePageIsWindows1252) {
    const char bytes[] = {'A', '\x80', '\xE9', '\x81', '\x9F', '\xFF'};
    WCH out[8] = {};
    ASSERT_EQ(os::MultiByteToWideChar(CP_ACP, 0, bytes, 6, out, 8), 6);
    EXPECT_EQ(std::u16string(out, 6), u"A\u20AC\u00E9\u0081\u0178\u00FF");
    char narrow[8] = {};
    ASSERT_EQ(os::WideCharToMultiByte(CP_ACP, 0, u"\u20AC\u00E9\u4E2D\U0001F600!", -1, narrow, 8), 6);
    EXPECT_STREQ(narrow, "\x80\xE9?" "?!");
    EXPECT_EQ(os::MultiByteToWideChar(932, 0, "a", 1, out, 8), 0);
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(HostText, CharLowerCoversAsciiLatin1AndMore) {
    WCH text[] = u"ABC xyz \u00C0\u00C9\u00D7\u00DE\u00DF \u0100\u0139\u0178 \u0391\u0410\u0401 1!";
    os::CharLowerW(text);
    EXPECT_EQ(std::u16string(text), u"abc xyz \u00E0\u00E9\u00D7\u00FE\u00DF \u0101\u013A\u00FF \u03B1\u0430\u0451 1!");
    // One character passed in the pointer itself.
    WCH* one = os::CharLowerW(reinterpret_cast<WCH*>(static_cast<uintptr_t>(u'Q')));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(one), static_cast<uintptr_t>(u'q'));
}

}  // namespace
