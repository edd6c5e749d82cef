// Whole-file reads of the simulator's inputs across the 1 MiB piece size.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/sim/sim_read_file.h"

namespace {

std::string Pattern(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = char((i * 131 + i / 4096) & 0xFF);
    return s;
}

TEST(SimReadFile, EverySizeAroundThePieceComesBackWhole) {
    char path[] = "/tmp/qn-read-file-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    const size_t kPiece = 1 << 20;
    for (size_t size : {size_t(0), size_t(1), kPiece - 1, kPiece, kPiece + 1, 3 * kPiece + 17}) {
        const std::string want = Pattern(size);
        FILE* f = std::fopen(path, "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(want.data(), 1, want.size(), f), want.size());
        std::fclose(f);
        std::string got = "left over";
        ASSERT_TRUE(sim::ReadWholeFile(path, &got)) << size;
        EXPECT_EQ(got.size(), size);
        EXPECT_TRUE(got == want) << size;
    }
    std::remove(path);
}

TEST(SimReadFile, MissingFilesAndFoldersAreNotRead) {
    std::string got = "left over";
    EXPECT_FALSE(sim::ReadWholeFile("/nonexistent/machine.json", &got));
    EXPECT_TRUE(got.empty());
    got = "left over";
    EXPECT_FALSE(sim::ReadWholeFile("/tmp", &got));
    EXPECT_TRUE(got.empty());
}

}  // namespace
