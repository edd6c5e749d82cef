// The pieces of a field trace that must hold whatever a drive or a caller
// hands them: the digest of image pieces, the decoding of a request before
// the call (data pointers, inline pieces), the answer read back from a
// possibly lying driver, and the JSON text of the tool's UTF-16.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/storage_layouts.h"
#include "platform/trace/sha256.h"
#include "platform/trace/trace_out.h"
#include "platform/trace/trace_request.h"

namespace {

std::string DigestHex(const void* bytes, size_t size) {
    uint8_t digest[32];
    Sha256Of(bytes, size, digest);
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : digest) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

std::string Text(void (*write)(TraceOut*, const void*), const void* arg, size_t capacity = 512) {
    std::vector<char> buffer(capacity);
    TraceOut out{buffer.data(), capacity, 0, nullptr, false};
    write(&out, arg);
    return std::string(buffer.data(), out.used);
}

}  // namespace

TEST(TraceSha256, KnownDigestsAndPiecewiseAdding) {
    EXPECT_EQ(DigestHex("", 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(DigestHex("abc", 3), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const char* two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";  // padding spills into a second block
    EXPECT_EQ(DigestHex(two_blocks, std::strlen(two_blocks)),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    std::vector<uint8_t> million(1000000, 'a');
    EXPECT_EQ(DigestHex(million.data(), million.size()),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    // Fed in uneven pieces, the same digest as in one go.
    Sha256 hash;
    Sha256Begin(&hash);
    size_t at = 0;
    for (size_t step = 1; at < million.size(); step = step * 3 % 1000 + 1) {
        size_t n = std::min(step, million.size() - at);
        Sha256Add(&hash, million.data() + at, n);
        at += n;
    }
    uint8_t whole[32], pieces[32];
    Sha256End(&hash, pieces);
    Sha256Of(million.data(), million.size(), whole);
    EXPECT_EQ(0, std::memcmp(whole, pieces, 32));
}

TEST(TraceRequestDecoding, ScsiDirectPointerIsMeaningNotValue) {
    std::vector<uint8_t> data(600, 0x5A);
    ScsiPassThroughDirectWithSense block{};
    block.sptd.Length = sizeof(ScsiPassThroughDirect);
    block.sptd.CdbLength = 6;
    block.sptd.DataIn = kScsiIoctlDataOut;
    block.sptd.DataTransferLength = static_cast<uint32_t>(data.size());
    block.sptd.TimeOutValue = 20;
    block.sptd.DataBuffer = data.data();
    const uint8_t cdb[6] = {0xE6, 0x06, 0x00, 0x01, 0xFF, 0x10};
    std::memcpy(block.sptd.Cdb, cdb, sizeof cdb);
    TraceRequest r;
    DescribeRequest(kIoctlScsiPassThroughDirect, &block, sizeof block, &r);
    EXPECT_STREQ(r.name, "IOCTL_SCSI_PASS_THROUGH_DIRECT");
    EXPECT_STREQ(r.meaning,
                 "{\"what\": \"scsi\", \"cdb\": \"e6060001ff10\", \"direction\": \"out\", \"length\": 600, \"timeout\": 20}");
    EXPECT_EQ(r.data_out, data.data());
    EXPECT_EQ(r.data_out_size, 600u);
    EXPECT_FALSE(r.data_out_inline);
    EXPECT_EQ(r.data_in, nullptr);
    // The recorded block: every byte as sent, except the pointer, which reads as zeros.
    size_t kept = 0;
    uint8_t* bytes = RecordedBytes(r, &block, sizeof block, true, &kept);
    ASSERT_EQ(kept, sizeof block);
    void* pointer = nullptr;
    std::memcpy(&pointer, bytes + offsetof(ScsiPassThroughDirect, DataBuffer), sizeof pointer);
    EXPECT_EQ(pointer, nullptr);
    EXPECT_EQ(0, std::memcmp(bytes + offsetof(ScsiPassThroughDirect, Cdb), cdb, sizeof cdb));
    std::free(bytes);
}

TEST(TraceRequestDecoding, InlinePiecesLeaveTheRecordedInput) {
    const uint32_t piece = 4096;
    std::vector<uint8_t> block(kStorageHwFirmwareDownloadFixedSize + piece, 0xC3);
    StorageHwFirmwareDownload head{};
    head.Version = 40;
    head.Slot = 2;
    head.Flags = kStorageHwFirmwareRequestFlagController;
    head.Offset = 8192;
    head.BufferSize = piece;
    std::memcpy(block.data(), &head, kStorageHwFirmwareDownloadFixedSize);
    TraceRequest r;
    DescribeRequest(kIoctlStorageFirmwareDownload, block.data(), static_cast<DWORD>(block.size()), &r);
    EXPECT_STREQ(r.meaning, "{\"what\": \"fw_download\", \"offset\": 8192, \"size\": 4096, \"slot\": 2, \"flags\": 1}");
    EXPECT_TRUE(r.data_out_inline);
    EXPECT_EQ(r.data_out, block.data() + kStorageHwFirmwareDownloadFixedSize);
    EXPECT_EQ(r.data_out_size, piece);
    size_t kept = 0;
    uint8_t* bytes = RecordedBytes(r, block.data(), block.size(), true, &kept);
    EXPECT_EQ(kept, kStorageHwFirmwareDownloadFixedSize);
    std::free(bytes);

    // A size that claims more than the block holds is cut at its end.
    head.BufferSize = 1u << 30;
    std::memcpy(block.data(), &head, kStorageHwFirmwareDownloadFixedSize);
    DescribeRequest(kIoctlStorageFirmwareDownload, block.data(), static_cast<DWORD>(block.size()), &r);
    EXPECT_EQ(r.data_out_size, piece);

    // A block too short for its structure is recorded as it is, not decoded.
    DescribeRequest(kIoctlStorageFirmwareDownload, block.data(), 16, &r);
    EXPECT_STREQ(r.meaning, "{\"what\": \"other\"}");
    EXPECT_EQ(r.data_out, nullptr);
}

TEST(TraceRequestDecoding, AnswersAreBoundedByTheBlockAndTheRequest) {
    std::vector<uint8_t> data(512);
    ScsiPassThroughDirectWithSense block{};
    block.sptd.Length = sizeof(ScsiPassThroughDirect);
    block.sptd.CdbLength = 12;
    block.sptd.DataIn = kScsiIoctlDataIn;
    block.sptd.DataTransferLength = 512;
    block.sptd.DataBuffer = data.data();
    block.sptd.SenseInfoOffset = offsetof(ScsiPassThroughDirectWithSense, SenseBuffer);
    block.sptd.SenseInfoLength = 32;
    TraceRequest r;
    DescribeRequest(kIoctlScsiPassThroughDirect, &block, sizeof block, &r);
    EXPECT_EQ(r.data_in, data.data());

    // A driver that claims more data than was asked for, and sense past the block's end.
    block.sptd.ScsiStatus = 2;
    block.sptd.DataTransferLength = 1u << 20;
    block.sptd.SenseInfoLength = 255;
    block.SenseBuffer[0] = 0x70;
    TraceAnswer a;
    ReadAnswer(r, kIoctlScsiPassThroughDirect, &block, sizeof block, &a);
    EXPECT_TRUE(a.has_status);
    EXPECT_EQ(a.scsi_status, 2);
    EXPECT_EQ(a.transferred, 512u);
    EXPECT_EQ(a.sense, block.SenseBuffer);
    EXPECT_EQ(a.sense_size, sizeof block - offsetof(ScsiPassThroughDirectWithSense, SenseBuffer));  // up to the block's end

    block.sptd.SenseInfoOffset = 4096;  // outside the block: no sense at all
    ReadAnswer(r, kIoctlScsiPassThroughDirect, &block, sizeof block, &a);
    EXPECT_EQ(a.sense, nullptr);
    EXPECT_EQ(a.sense_size, 0u);

    // An output block too short to hold the structure: nothing is read from it.
    ReadAnswer(r, kIoctlScsiPassThroughDirect, &block, 8, &a);
    EXPECT_FALSE(a.has_status);
}

TEST(TraceOutText, WideTextEscapesAndCuts) {
    const WCH text[] = {u'a', u'"', u'\\', u'\n', 0x00E9, 0xD83D, 0xDE00, 0xDC00, u'z', 0};
    std::string json = Text([](TraceOut* o, const void* t) { OutWide(o, static_cast<const WCH*>(t), 64); }, text);
    // A surrogate pair is one code point; a lone one is U+FFFD.
    EXPECT_EQ(json, "\"a\\\"\\\\\\u000a\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBDz\"");
    // At most max_units units are read, even without a terminator.
    json = Text([](TraceOut* o, const void* t) { OutWide(o, static_cast<const WCH*>(t), 1); }, text);
    EXPECT_EQ(json, "\"a\"");

    GUID disk = kGuidDevInterfaceDisk;
    EXPECT_EQ(Text([](TraceOut* o, const void* g) { OutGuid(o, *static_cast<const GUID*>(g)); }, &disk),
              "\"{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}\"");

    // Without a flush the text stops at the end of the buffer and says so.
    char small[8];
    TraceOut out{small, sizeof small, 0, nullptr, false};
    OutHex(&out, "abcdef", 6);
    EXPECT_TRUE(out.cut);
    EXPECT_EQ(out.used, sizeof small);
}

TEST(TraceOutText, FlushedBufferKeepsEverything) {
    static std::string sink;
    sink.clear();
    char small[5];
    TraceOut out{small, sizeof small, 0, [](TraceOut* o) {
                     sink.append(o->buffer, o->used);
                     o->used = 0;
                 },
                 false};
    OutText(&out, "{\"n\": ");
    OutNumber(&out, 18446744073709551615ull);
    OutKey(&out, "code");
    OutCode(&out, 0x0004D014);
    out.flush(&out);
    EXPECT_FALSE(out.cut);
    EXPECT_EQ(sink, "{\"n\": 18446744073709551615, \"code\": \"0x0004D014\"");
}
