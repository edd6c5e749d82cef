// The reader's edges: handles, indexes, the entry count, the empty archive,
// the end-record search bound, the cleaning rule, attributes and result texts.
#include <cstring>

#include <gtest/gtest.h>

#include "package/zip_internal.h"
#include "platform/host/host_objects.h"
#include "tests/package/zip_test_util.h"

namespace {

std::u16string Cleaned(const std::u16string& name) {
    WCH buffer[260] = {};
    std::copy(name.begin(), name.end(), buffer);
    ZipCleanName(buffer);
    return buffer;
}

TEST(ZipEdges, CleaningRule) {
    EXPECT_EQ(Cleaned(u"C:\\x\\a.txt"), u"x\\a.txt");
    EXPECT_EQ(Cleaned(u"/a/../b.txt"), u"b.txt");
    EXPECT_EQ(Cleaned(u"a\\..\\b"), u"b");
    EXPECT_EQ(Cleaned(u"a\\../b"), u"b");
    EXPECT_EQ(Cleaned(u"a/..\\b"), u"b");
    // Repeated until nothing applies.
    EXPECT_EQ(Cleaned(u"D:/x/../C:\\y\\..\\z"), u"z");
    // Left as they are by the rule (and refused later): a leading "..", two steps in a row.
    EXPECT_EQ(Cleaned(u"../x"), u"../x");
    EXPECT_EQ(Cleaned(u"a/../../x"), u"../x");
    EXPECT_EQ(Cleaned(u"plain.ini"), u"plain.ini");
}

TEST(ZipEdges, AttributesByHost) {
    // FAT-like hosts: the DOS bits of the low byte.
    for (WORD host : {0, 7, 11, 14}) {
        SCOPED_TRACE(host);
        EXPECT_EQ(ZipAttributes(static_cast<WORD>(host << 8 | 20), 0x27), 0x27u);
        EXPECT_EQ(ZipAttributes(static_cast<WORD>(host << 8 | 20), 0x10), 0x10u);
        EXPECT_EQ(ZipAttributes(static_cast<WORD>(host << 8 | 20), 0x00), 0x00u);
        EXPECT_EQ(ZipAttributes(static_cast<WORD>(host << 8 | 20), 0xFFC8), 0x00u);  // other bits ignored
    }
    // Every other host, NTFS as host 10 included: Unix mode in the high half.
    for (WORD host : {3, 10, 19}) {
        SCOPED_TRACE(host);
        EXPECT_EQ(ZipAttributes(static_cast<WORD>(host << 8), 0100644u << 16), 0x20u);
        EXPECT_EQ(ZipAttributes(static_cast<WORD>(host << 8), 0100444u << 16), 0x21u);
        EXPECT_EQ(ZipAttributes(static_cast<WORD>(host << 8), 040755u << 16), 0x30u);
        EXPECT_EQ(ZipAttributes(static_cast<WORD>(host << 8), 0x27), 0x21u);  // DOS bits mean nothing here
    }
}

TEST(ZipEdges, HandlesAndIndexes) {
    ScratchDir dir;
    const std::string archive = dir.Sub("a.zip");
    BuildEntry a;
    a.name = "a.txt";
    a.data = "A";
    BuildEntry b = a;
    b.name = "b.txt";
    WriteBytes(archive, BuildZip({a, b}));
    ZipEntryInfo info;
    EXPECT_EQ(ZipReaderGetEntry(nullptr, 0, &info), ZR_ARGS);
    EXPECT_EQ(ZipReaderExtract(nullptr, 0, u"x"), ZR_ARGS);
    EXPECT_EQ(ZipReaderSetBaseDir(nullptr, u"x"), ZR_ARGS);
    EXPECT_EQ(ZipReaderClose(nullptr), ZR_ARGS);
    EXPECT_EQ(ZipLastResult(), ZR_ARGS);
    ZipHandle wrong{2, nullptr};
    EXPECT_EQ(ZipReaderGetEntry(&wrong, 0, &info), ZR_ZMODE);
    EXPECT_EQ(ZipReaderExtract(&wrong, 0, u"x"), ZR_ZMODE);
    EXPECT_EQ(ZipReaderClose(&wrong), ZR_ZMODE);

    ZipHandle* zip = OpenZip(archive);
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(zip->kind, kZipReaderKind);
    EXPECT_EQ(ZipReaderGetEntry(zip, -2, &info), ZR_ARGS);
    EXPECT_EQ(ZipReaderGetEntry(zip, 2, &info), ZR_ARGS);
    EXPECT_EQ(ZipReaderExtract(zip, 2, u"x"), ZR_ARGS);
    EXPECT_EQ(ZipReaderExtract(zip, -1, u"x"), ZR_ARGS);
    // Later, earlier, and the same index again.
    EXPECT_EQ(ZipReaderGetEntry(zip, 1, &info), ZR_OK);
    EXPECT_EQ(EntryName(info), "b.txt");
    EXPECT_EQ(info.index, 1);
    EXPECT_EQ(ZipReaderGetEntry(zip, 0, &info), ZR_OK);
    EXPECT_EQ(EntryName(info), "a.txt");
    EXPECT_EQ(ZipReaderGetEntry(zip, 0, &info), ZR_OK);
    EXPECT_EQ(EntryName(info), "a.txt");
    EXPECT_EQ(ZipReaderClose(zip), ZR_OK);
}

// A described entry, then a failing one: extracting the first again must
// read the first entry's data, not that of the entry the reader moved to.
TEST(ZipEdges, CachedDescriptionExtractsItsOwnEntry) {
    ScratchDir dir;
    BuildEntry a;
    a.name = "a.txt";
    a.data = "first entry";
    BuildEntry b;
    b.name = "b.txt";
    b.data = "second entry, broken";
    b.local_crc = 7;
    WriteBytes(dir.Sub("a.zip"), BuildZip({a, b}));
    ZipHandle* zip = OpenZip(dir.Sub("a.zip"));
    ASSERT_NE(zip, nullptr);
    ZipReaderSetBaseDir(zip, U16(dir.Sub("out")).c_str());
    ZipEntryInfo info;
    EXPECT_EQ(ZipReaderGetEntry(zip, 0, &info), ZR_OK);
    EXPECT_EQ(ZipReaderGetEntry(zip, 1, &info), ZR_CORRUPT);
    EXPECT_EQ(ZipReaderExtract(zip, 0, u"a.txt"), ZR_OK);
    ZipReaderClose(zip);
    EXPECT_EQ(ReadBytes(dir.Sub("out/a.txt")), "first entry");
}

TEST(ZipEdges, IndexMinusOneAnswersTheCountOnly) {
    ScratchDir dir;
    const std::string archive = dir.Sub("a.zip");
    // Every entry's local header is broken; the count is still there.
    std::vector<BuildEntry> entries(3);
    for (int i = 0; i < 3; ++i) {
        entries[i].name = "e" + std::to_string(i);
        entries[i].data = "x";
        entries[i].local_signature = 0;
    }
    WriteBytes(archive, BuildZip(entries));
    ZipHandle* zip = OpenZip(archive);
    ASSERT_NE(zip, nullptr);
    ZipEntryInfo info;
    std::memset(&info, 0xAB, sizeof info);
    EXPECT_EQ(ZipReaderGetEntry(zip, -1, &info), ZR_OK);
    EXPECT_EQ(info.index, 3);
    EXPECT_EQ(info.name[0], 0);
    EXPECT_EQ(info.attr, 0u);
    EXPECT_EQ(Ticks(info.mtime) | Ticks(info.atime) | Ticks(info.ctime), 0u);
    EXPECT_EQ(info.comp_size | info.unc_size, 0u);
    EXPECT_EQ(ZipReaderGetEntry(zip, 0, &info), ZR_CORRUPT);
    ZipReaderClose(zip);
}

TEST(ZipEdges, EmptyArchive) {
    ScratchDir dir;
    const std::string archive = dir.Sub("empty.zip");
    ASSERT_EQ(RunPython("import sys,zipfile\nzipfile.ZipFile(sys.argv[1],'w').close()\n", {archive}), 0);
    ASSERT_EQ(ReadBytes(archive).size(), 22u);
    ZipHandle* zip = OpenZip(archive);
    ASSERT_NE(zip, nullptr);
    ZipEntryInfo info;
    EXPECT_EQ(ZipReaderGetEntry(zip, -1, &info), ZR_OK);
    EXPECT_EQ(info.index, 0);
    EXPECT_EQ(ZipReaderGetEntry(zip, 0, &info), ZR_ARGS);
    EXPECT_EQ(ZipReaderExtract(zip, 0, u"x"), ZR_ARGS);
    EXPECT_EQ(ZipReaderClose(zip), ZR_OK);
}

// The end record must start within the last 65,535 bytes: with its 22 bytes
// that leaves room for a comment of 65,513 bytes, not one more.
TEST(ZipEdges, CommentLengthAgainstTheSearchBound) {
    ScratchDir dir;
    BuildEntry e;
    e.name = "a.txt";
    e.data = "A";
    for (size_t length : {0u, 1000u, 1024u, 1025u, 2049u, 65513u, 65514u, 65535u}) {
        SCOPED_TRACE(length);
        BuildOptions o;
        o.comment = std::string(length, 'c');
        const std::string archive = dir.Sub("c.zip");
        WriteBytes(archive, BuildZip({e}, o));
        ZipHandle* zip = OpenZip(archive);
        EXPECT_EQ(zip != nullptr, length <= 65513);
        if (zip != nullptr) ZipReaderClose(zip);
    }
    // A signature in the comment is found first (it is the nearest to the end).
    BuildOptions o;
    o.comment = "PK\x05\x06" + std::string(40, 'z');
    WriteBytes(dir.Sub("fake.zip"), BuildZip({e}, o));
    EXPECT_EQ(OpenZip(dir.Sub("fake.zip")), nullptr);
    // Archives smaller than one search window.
    WriteBytes(dir.Sub("small.zip"), BuildZip({e}));
    ZipHandle* zip = OpenZip(dir.Sub("small.zip"));
    ASSERT_NE(zip, nullptr);
    ZipReaderClose(zip);
}

TEST(ZipEdges, ResultTexts) {
    WCH text[64];
    EXPECT_EQ(ZipResultText(ZR_NODUPH, text, 64), 24u);
    EXPECT_EQ(std::u16string(text), u"Culdn't duplicate handle");
    ZipResultText(ZR_FLATE, text, 64);
    EXPECT_EQ(std::u16string(text), u"Zip-bug: an internal error during flation");
    ZipResultText(ZR_MEMSIZE, text, 64);
    EXPECT_EQ(std::u16string(text), u"Caller: not enough space allocated for memory zipfile");
    ZipResultText(0x00000900, text, 64);
    EXPECT_EQ(std::u16string(text), u"unknown zip result code");
    // Cut to fit, length of the whole text.
    EXPECT_EQ(ZipResultText(ZR_OK, text, 4), 7u);
    EXPECT_EQ(std::u16string(text), u"Suc");
    EXPECT_EQ(ZipResultText(ZR_ARGS, nullptr, 10), 24u);
    EXPECT_EQ(ZipResultText(ZR_ARGS, text, 0), 24u);
    // The value 1: the most recent result of any reader operation.
    EXPECT_EQ(OpenZip("/nonexistent/zip.zip"), nullptr);
    ZipResultText(kZipMostRecentResult, text, 64);
    EXPECT_EQ(std::u16string(text), u"Couldn't create/open file");
    ZipReaderClose(nullptr);
    ZipResultText(kZipMostRecentResult, text, 64);
    EXPECT_EQ(std::u16string(text), u"Caller: faulty arguments");
}

TEST(ZipEdges, Utf8DecodingOfBrokenSequences) {
    WCH out[16];
    const BYTE bad[] = {'a', 0xC3, 'b', 0xE2, 0x82, 0xFF, 0xED, 0xA0, 0x80, 0xC0, 0xAF};
    ZipDecodeUtf8(bad, sizeof bad, out, 16);
    // Each byte that starts no valid sequence becomes U+FFFD; overlong forms
    // and encoded surrogates are not decoded.
    EXPECT_EQ(std::u16string(out), u"a\uFFFDb\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
    // A full buffer ends the text without splitting a surrogate pair.
    const BYTE emoji[] = {'x', 0xF0, 0x9F, 0x98, 0x80};
    WCH small[3];
    ZipDecodeUtf8(emoji, sizeof emoji, small, 3);
    EXPECT_EQ(std::u16string(small), u"x");
}

}  // namespace
