// quillon-tool image make / info / verify / reseal and title encode / decode,
// run as package authors run them. The image checksum is recomputed here with
// zlib's CRC-32, independently of the tool's own tables.
#include <unistd.h>
#include <zlib.h>

#include <climits>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "tests/package/zip_test_util.h"
#include "tests/tools/tool_run.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

uint32_t Le32At(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}

// The image checksum with CRC-32: the 0x50 header bytes, 4016 zero bytes for
// the rest of page 0, then the pages of regions 0, 1 and 2.
uint32_t ZlibImageCrc(const std::string& img) {
    const auto* p = reinterpret_cast<const Bytef*>(img.data());
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, p, 0x50);
    const std::string zeros(4016, '\0');
    crc = crc32(crc, reinterpret_cast<const Bytef*>(zeros.data()), 4016);
    for (int r = 0; r < 3; ++r) {
        const uint32_t first = Le32At(img, 0x10 + 8 * r), last = Le32At(img, 0x14 + 8 * r);
        crc = crc32(crc, p + size_t(first) * 4096, (last - first + 1) * 4096);
    }
    return uint32_t(crc);
}

size_t TrailerOf(const std::string& img) { return (size_t(Le32At(img, 0x24)) + 1) * 4096; }

TEST(QuillonToolImage, MakeGivesAnImageTheToolReadsBack) {
    ScratchDir dir;
    const std::string fw = dir.Sub("fw.bin"), img = dir.Sub("a.img");
    WriteBytes(fw, PatternBytes(10000, 9));
    ToolRun r = Tool(dir, "image make " + ShellQuote(img) + " --firmware " + ShellQuote(fw) +
                              " --config-version VX5A0100 --version 1A2B3C5E --build 0x12345 --crc32");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string bytes = ReadBytes(img);
    ASSERT_GE(bytes.size(), 4096u * 3);
    EXPECT_EQ(bytes.size() % 4096, 0u);
    EXPECT_EQ(bytes.substr(0, 4), "CMFG");
    // The firmware bytes start at region 0.
    EXPECT_EQ(bytes.substr(size_t(Le32At(bytes, 0x10)) * 4096, 10000), PatternBytes(10000, 9));
    const size_t trailer = TrailerOf(bytes);
    EXPECT_EQ(Le32At(bytes, trailer + 0xC), ZlibImageCrc(bytes));
    EXPECT_EQ(Le32At(bytes, trailer + 0xFF8), 0x12345u);
    EXPECT_EQ(bytes.substr(trailer + 0x10, 8), "1A2B3C5E");
    EXPECT_EQ(bytes.substr(size_t(Le32At(bytes, 0x20)) * 4096 + 0x428, 8), "VX5A0100");

    r = Tool(dir, "image info " + ShellQuote(img));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Has(r.out, "magic\tCMFG\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "matches CRC-32\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "ftl build\t0x00012345\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "config version\tVX5A0100\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "version\t1A2B3C5E\n")) << r.out;

    // A dotted version with one-character parts stays dotted.
    const std::string dotted = dir.Sub("b.img");
    ASSERT_EQ(Tool(dir, "image make " + ShellQuote(dotted) + " --firmware " + ShellQuote(fw) +
                            " --version 1.2.3.4 --build 7").status, 0);
    r = Tool(dir, "image info " + ShellQuote(dotted));
    EXPECT_TRUE(Has(r.out, "version\t1.2.3.4\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "matches CRC-32C\n")) << r.out;  // the default variant

    // Versions the tool could not read back are refused at make.
    EXPECT_EQ(Tool(dir, "image make " + ShellQuote(dir.Sub("c.img")) + " --firmware " + ShellQuote(fw) +
                            " --version 1.2 --build 7").status, 2);
    EXPECT_FALSE(FileExists(dir.Sub("c.img")));
    EXPECT_EQ(Tool(dir, "image make " + ShellQuote(dir.Sub("c.img")) + " --firmware " + ShellQuote(fw) +
                            " --version 1.2.3.4 --build 12x").status, 2);
}

TEST(QuillonToolImage, VerifyAndResealByVariant) {
    ScratchDir dir;
    const std::string fw = dir.Sub("fw.bin"), img = dir.Sub("a.img");
    WriteBytes(fw, PatternBytes(9000, 4));
    ASSERT_EQ(Tool(dir, "image make " + ShellQuote(img) + " --firmware " + ShellQuote(fw) +
                            " --version 1A2B3C5E --build 1").status, 0);
    EXPECT_EQ(Tool(dir, "image verify " + ShellQuote(img)).status, 0);

    // One flipped firmware byte: neither variant matches.
    std::string bytes = ReadBytes(img);
    bytes[4096 + 17] ^= 0x40;
    WriteBytes(img, bytes);
    ToolRun r = Tool(dir, "image verify " + ShellQuote(img));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "matches neither")) << r.err;

    // Resealed with CRC-32 on request: the stored value is zlib's CRC-32,
    // the word before it is zeroed, and verify passes again.
    bytes[TrailerOf(bytes) + 8] = 0x55;
    WriteBytes(img, bytes);
    ASSERT_EQ(Tool(dir, "image reseal " + ShellQuote(img) + " --crc32").status, 0);
    bytes = ReadBytes(img);
    EXPECT_EQ(Le32At(bytes, TrailerOf(bytes) + 0xC), ZlibImageCrc(bytes));
    EXPECT_EQ(Le32At(bytes, TrailerOf(bytes) + 8), 0u);
    r = Tool(dir, "image verify " + ShellQuote(img));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Has(r.out, "checksum OK (CRC-32)")) << r.out;

    // Without a choice a reseal keeps the variant the image carries (the
    // word at trailer + 8 is outside the checksum); one that matches neither
    // gets CRC-32C.
    bytes[TrailerOf(bytes) + 8] = 0x11;
    WriteBytes(img, bytes);
    ASSERT_EQ(Tool(dir, "image reseal " + ShellQuote(img)).status, 0);
    bytes = ReadBytes(img);
    EXPECT_EQ(Le32At(bytes, TrailerOf(bytes) + 0xC), ZlibImageCrc(bytes));
    bytes[4096 + 19] ^= 0x01;
    WriteBytes(img, bytes);
    ASSERT_EQ(Tool(dir, "image reseal " + ShellQuote(img)).status, 0);
    r = Tool(dir, "image verify " + ShellQuote(img));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Has(r.out, "checksum OK (CRC-32C)")) << r.out;
    ASSERT_EQ(Tool(dir, "image reseal " + ShellQuote(img) + " --crc32").status, 0);
    EXPECT_TRUE(Has(Tool(dir, "image verify " + ShellQuote(img)).out, "checksum OK (CRC-32)"));

    // Not a configuration image: verify and reseal refuse and write nothing.
    const std::string plain = dir.Sub("plain.bin");
    WriteBytes(plain, PatternBytes(8192, 1));
    EXPECT_EQ(Tool(dir, "image verify " + ShellQuote(plain)).status, 1);
    EXPECT_EQ(Tool(dir, "image reseal " + ShellQuote(plain)).status, 1);
    EXPECT_EQ(ReadBytes(plain), PatternBytes(8192, 1));
    EXPECT_EQ(Tool(dir, "image verify " + ShellQuote(dir.Sub("missing.img"))).status, 1);
    EXPECT_EQ(Tool(dir, "image reseal " + ShellQuote(img) + " --crc64").status, 2);
}

TEST(QuillonToolTitle, EncodeAndDecodeAsTheToolReadsTheKey) {
    ScratchDir dir;
    ToolRun r = Tool(dir, "title encode Up!");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "55 00 70 00 21 00\n");
    r = Tool(dir, "title decode '55 00 70 00 21 00'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Up!\n");
    // An odd byte count: the last unit's high byte is zero.
    EXPECT_EQ(Tool(dir, "title decode '55 00 70'").out, "Up\n");
    EXPECT_EQ(Tool(dir, "title decode ''").out, "\n");
    // Non-ASCII text round-trips through UTF-16 units.
    r = Tool(dir, "title encode " + ShellQuote("Ünï"));
    EXPECT_EQ(r.out, "DC 00 6E 00 EF 00\n");
    EXPECT_EQ(Tool(dir, "title decode " + ShellQuote("DC 00 6E 00 EF 00")).out, "Ünï\n");
    // 43 characters fill the 259 units the key is read into; 44 do not.
    EXPECT_EQ(Tool(dir, "title encode " + std::string(43, 'x')).status, 0);
    r = Tool(dir, "title encode " + std::string(44, 'x'));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "too long")) << r.err;
    EXPECT_EQ(Tool(dir, "title encode").status, 2);
}

}  // namespace
