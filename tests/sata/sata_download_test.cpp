// The SATA firmware download: pieces, block offsets, progress, retries and
// the images it refuses before sending anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "platform/host/host_control.h"
#include "sata/ata_command.h"
#include "tests/common/command_test.h"
#include "tests/sata/ata_mock.h"

namespace {

using V = std::vector<uint8_t>;
HANDLE const kDrive = reinterpret_cast<HANDLE>(0x5A7A);

V Pattern(size_t n) {
    V v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 31 + i / 4096);
    return v;
}

class SataDownload : public DebugLogTest {};

TEST_F(SataDownload, TenPiecesAtTheirBlockOffsetsWithProgressBeforePiecesTwoToTen) {
    AtaMock io;
    io.ExpectOk(10);
    // How many progress lines were out when each piece went.
    std::vector<size_t> progress_before;
    io.on_call = [&](const AtaCall&) {
        size_t n = 0;
        for (const std::u16string& l : Logged()) n += l.rfind(u"DownloadFW ", 0) == 0;
        progress_before.push_back(n);
    };
    DiskAccess a = Access(17);
    V image = Pattern(40960);
    EXPECT_EQ(DISKLIB_SATA_Quillon(&a, kDrive, image.data(), 40960), 1);
    ASSERT_EQ(io.calls.size(), 10u);
    for (size_t i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        const AtaCall& c = io.calls[i];
        EXPECT_EQ(c.code, kSptIoctl);
        EXPECT_EQ(c.in[sptd64::DataIn], 0);
        EXPECT_EQ(Le32At(c.in, sptd64::DataTransferLength), 4096u);
        uint32_t lba = 0x800u * static_cast<uint32_t>(i);  // block offset 8i, times 256
        V cdb = {0xA1, 0x0A, 0x06, 0x03, 0x08, static_cast<uint8_t>(lba), static_cast<uint8_t>(lba >> 8),
                 static_cast<uint8_t>(lba >> 16), 0x40, 0x92, 0x00, 0x00, 0, 0, 0, 0};
        EXPECT_EQ(Slice(c.in, sptd64::Cdb, 16), cdb);
        EXPECT_EQ(c.data_out, V(image.begin() + 4096 * i, image.begin() + 4096 * (i + 1)));
        EXPECT_EQ(progress_before[i], i) << "one new progress report before each piece after the first";
    }
    EXPECT_EQ(Slice(io.calls[3].in, sptd64::Cdb, 12),
              (V{0xA1, 0x0A, 0x06, 0x03, 0x08, 0x00, 0x18, 0x00, 0x40, 0x92, 0x00, 0x00}));
    std::vector<std::u16string> expected = {u"DISKLIB_SATA_Quillon IN", u"DownloadFW  10%", u"DownloadFW  20%",
                                            u"DownloadFW  30%",         u"DownloadFW  40%", u"DownloadFW  50%",
                                            u"DownloadFW  60%",         u"DownloadFW  70%", u"DownloadFW  80%",
                                            u"DownloadFW  90%",         u"DISKLIB_SATA_Quillon Success OUT"};
    EXPECT_EQ(Logged(), expected) << "0 is never reported";
}

TEST_F(SataDownload, NativeDownloadUsesTheTaskFileAndAShortLastPiece) {
    AtaMock io;
    io.ExpectOk(2);
    DiskAccess a = Access(16);
    V image = Pattern(4096 + 1536);
    ULONGLONG start = HostClockNow();
    EXPECT_EQ(DISKLIB_SATA_Quillon(&a, kDrive, image.data(), static_cast<uint32_t>(image.size())), 1);
    ASSERT_EQ(io.calls.size(), 2u);
    EXPECT_EQ(io.calls[0].code, kAtaIoctl);
    EXPECT_EQ(Le16At(io.calls[0].in, aptd64::AtaFlags), 5);
    EXPECT_EQ(Slice(io.calls[0].in, aptd64::CurrentTaskFile, 8), (V{0x03, 0x08, 0x00, 0x00, 0x00, 0x40, 0x92, 0x00}));
    EXPECT_EQ(Slice(io.calls[1].in, aptd64::CurrentTaskFile, 8), (V{0x03, 0x03, 0x00, 0x08, 0x00, 0x40, 0x92, 0x00}));
    EXPECT_EQ(Le32At(io.calls[1].in, aptd64::DataTransferLength), 1536u);
    EXPECT_EQ(io.calls[1].data_out, V(image.begin() + 4096, image.end()));
    EXPECT_EQ(HostClockNow() - start, 20u) << "10 ms after each piece";
}

TEST_F(SataDownload, OneFailureIsRetriedOnce) {
    AtaMock io;
    io.ExpectOk(2);
    io.ExpectFail();
    io.ExpectOk(2);
    DiskAccess a = Access(18);
    V image = Pattern(16384);
    ULONGLONG start = HostClockNow();
    EXPECT_EQ(DISKLIB_SATA_Quillon(&a, kDrive, image.data(), 16384), 1);
    ASSERT_EQ(io.calls.size(), 5u);
    EXPECT_EQ(Slice(io.calls[2].in, sptd64::Cdb, 12), Slice(io.calls[3].in, sptd64::Cdb, 12))
        << "the same piece again";
    EXPECT_EQ(io.calls[3].data_out, V(image.begin() + 8192, image.begin() + 12288));
    std::vector<std::u16string> log = Logged();
    EXPECT_EQ(std::count(log.begin(), log.end(), u"DISKLIB_SATA_Quillon Error, Retry 1"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), u"DISKLIB_SATA_Quillon Error, Retry 2"), 0);
    EXPECT_EQ(log.back(), u"DISKLIB_SATA_Quillon Success OUT");
    EXPECT_EQ(HostClockNow() - start, 4 * 10u + 100u);
}

TEST_F(SataDownload, ThreeFailuresStopTheDownload) {
    AtaMock io;
    io.ExpectOk();
    io.ExpectFail();
    io.ExpectFail();
    io.ExpectFail();
    DiskAccess a = Access(17);
    V image = Pattern(16384);
    EXPECT_EQ(DISKLIB_SATA_Quillon(&a, kDrive, image.data(), 16384), -4);
    EXPECT_EQ(io.calls.size(), 4u) << "nothing after the third failure";
    std::vector<std::u16string> expected = {u"DISKLIB_SATA_Quillon IN", u"DownloadFW  20%",
                                            u"DISKLIB_SATA_Quillon Error, Retry 1",
                                            u"DISKLIB_SATA_Quillon Error, Retry 2"};
    EXPECT_EQ(Logged(), expected);
}

TEST_F(SataDownload, ImagesTheCommandCannotCarryAreRefusedBeforeAnyPiece) {
    AtaMock io;  // strict: any request fails the test
    DiskAccess a = Access(17);
    V image(4096 * 2 + 512);
    EXPECT_EQ(DISKLIB_SATA_Quillon(&a, kDrive, image.data(), 0), 0);
    EXPECT_EQ(DISKLIB_SATA_Quillon(&a, kDrive, image.data(), 4096 + 100), 0) << "a ragged tail would be lost";
    EXPECT_EQ(DISKLIB_SATA_Quillon(&a, kDrive, image.data(), 511), 0);
    EXPECT_EQ(DISKLIB_SATA_Quillon(&a, kDrive, image.data(), 32u * 1024 * 1024 + 512), 0)
        << "the 16-bit block offset would wrap";
    EXPECT_EQ(io.count, 0u);
    for (const std::u16string& l : Logged()) EXPECT_NE(l, u"DISKLIB_SATA_Quillon Success OUT");
}

TEST_F(SataDownload, ThirtyTwoMebibytesIsTheLargestImage) {
    AtaMock io;
    std::vector<V> last;
    io.on_call = [&](const AtaCall& c) { last.assign(1, Slice(c.in, sptd64::Cdb, 12)); };
    io.AnswerAllOk();
    DiskAccess a = Access(17);
    V image(32u * 1024 * 1024);
    EXPECT_EQ(DISKLIB_SATA_Quillon(&a, kDrive, image.data(), static_cast<uint32_t>(image.size())), 1);
    EXPECT_EQ(io.count, 8192u);
    ASSERT_EQ(last.size(), 1u);
    // Block offset 65528 = 0xFFF8: LBA 0xFFF800, nothing above bit 23.
    EXPECT_EQ(last[0], (V{0xA1, 0x0A, 0x06, 0x03, 0x08, 0x00, 0xF8, 0xFF, 0x40, 0x92, 0x00, 0x00}));
}

}  // namespace
