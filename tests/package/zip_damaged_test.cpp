// Damaged and hostile archives: the right code, nothing written outside the
// target folder, no damaged file left behind.
#include <gtest/gtest.h>

#include "package/package_extract.h"
#include "platform/host/host_objects.h"
#include "tests/package/zip_test_util.h"

namespace {

// A sandbox with the target folder inside it, so that anything written
// beside or above the target shows.
struct Sandbox {
    ScratchDir dir;
    std::string target = dir.Sub("sandbox/target");
    std::string archive = dir.Sub("test.zip");
    Sandbox() { RunCommand("mkdir -p " + ShellQuote(target)); }
    std::vector<std::string> Outside() const {
        std::vector<std::string> all = ListTree(dir.Sub("sandbox"));
        std::vector<std::string> out;
        for (const std::string& p : all) {
            if (p != "target/" && p.rfind("target/", 0) != 0) out.push_back(p);
        }
        return out;
    }
    std::vector<std::string> Inside() const { return ListTree(target); }
};

BuildEntry Entry(const std::string& name, const std::string& data, bool deflate = false) {
    BuildEntry e;
    e.name = name;
    e.data = data;
    e.deflate = deflate;
    return e;
}

// Open, describe and extract one entry into the sandbox's target.
struct OneEntry {
    ZRESULT open;
    ZRESULT described = 0xFFFFFFFF;
    ZRESULT extracted = 0xFFFFFFFF;
    ZipEntryInfo info{};
};

OneEntry TryEntry(const Sandbox& box, const std::string& bytes, int index = 0) {
    WriteBytes(box.archive, bytes);
    OneEntry r;
    const int files_before = HostOpenHandleCount(kHostFile);
    ZipHandle* zip = OpenZip(box.archive);
    r.open = ZipLastResult();
    if (zip != nullptr) {
        ZipReaderSetBaseDir(zip, U16(box.target).c_str());
        r.described = ZipReaderGetEntry(zip, index, &r.info);
        r.extracted = ZipReaderExtract(zip, index, r.info.name);
        EXPECT_EQ(ZipReaderClose(zip), ZR_OK);
    }
    EXPECT_EQ(HostOpenHandleCount(kHostFile), files_before) << "a file handle stayed open";
    return r;
}

TEST(ZipDamaged, EndRecordProblemsFailTheOpen) {
    const std::vector<BuildEntry> one = {Entry("a.txt", "hello")};
    struct Case {
        const char* what;
        BuildOptions options;
    };
    std::vector<Case> cases;
    BuildOptions o;
    o.no_end_record = true;
    cases.push_back({"no end record", o});
    o = BuildOptions();
    o.entries_here = 2;
    cases.push_back({"entry counts disagree", o});
    o = BuildOptions();
    o.this_disk = 1;
    cases.push_back({"disk number", o});
    o = BuildOptions();
    o.cd_disk = 3;
    cases.push_back({"central directory disk", o});
    o = BuildOptions();
    o.cd_size = 0x7FFFFFFF;
    cases.push_back({"central directory past the record", o});
    o = BuildOptions();
    o.cd_offset = 0xFFFFFFF0u;
    o.cd_size = 0x20;
    cases.push_back({"offset plus size wraps in 32 bits", o});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox box;
        const OneEntry r = TryEntry(box, BuildZip(one, c.options));
        EXPECT_EQ(r.open, ZR_NOFILE);
        EXPECT_TRUE(box.Inside().empty());
    }
    // A file too short to hold a record, and a missing file.
    Sandbox box;
    EXPECT_EQ(TryEntry(box, "PK\x05\x06").open, ZR_NOFILE);
    EXPECT_EQ(OpenZip(box.dir.Sub("missing.zip")), nullptr);
    EXPECT_EQ(ZipLastResult(), ZR_NOFILE);
}

TEST(ZipDamaged, MoreEntriesCountedThanPresent) {
    Sandbox box;
    BuildOptions o;
    o.entries_here = o.entries_total = 3;
    WriteBytes(box.archive, BuildZip({Entry("a.txt", "A"), Entry("b.txt", "B")}, o));
    ZipHandle* zip = OpenZip(box.archive);
    ASSERT_NE(zip, nullptr);
    ZipReaderSetBaseDir(zip, U16(box.target).c_str());
    ZipEntryInfo info;
    EXPECT_EQ(ZipReaderGetEntry(zip, 1, &info), ZR_OK);
    EXPECT_EQ(ZipReaderGetEntry(zip, 2, &info), ZR_CORRUPT);
    EXPECT_EQ(ZipReaderExtract(zip, 2, u"c.txt"), ZR_FLATE);
    EXPECT_EQ(ZipReaderExtract(zip, 0, u"a.txt"), ZR_OK);  // the reader recovers by starting over
    ZipReaderClose(zip);
    EXPECT_EQ(box.Inside(), std::vector<std::string>{"a.txt"});
}

TEST(ZipDamaged, LocalHeaderDisagreeingIsCorruptAndLeavesNoFile) {
    struct Case {
        const char* what;
        BuildEntry entry;
    };
    std::vector<Case> cases;
    const std::string data = PatternBytes(5000, 1);
    BuildEntry e = Entry("x.bin", data, true);
    e.local_signature = 0x04034B51;
    cases.push_back({"signature", e});
    e = Entry("x.bin", data, true);
    e.local_method = 0;
    cases.push_back({"method", e});
    e = Entry("x.bin", data, false);
    e.local_method = 9;
    cases.push_back({"unsupported method", e});
    e = Entry("x.bin", data, true);
    e.local_name_len = 4;
    cases.push_back({"name length", e});
    e = Entry("x.bin", data, true);
    e.local_crc = 1;
    cases.push_back({"crc", e});
    e = Entry("x.bin", data, true);
    e.local_comp = 10;
    cases.push_back({"compressed size", e});
    e = Entry("x.bin", data, true);
    e.local_unc = 10;
    cases.push_back({"uncompressed size", e});
    e = Entry("x.bin", data, true);
    e.local_offset = 0x7FFFFFF0;
    cases.push_back({"local header beyond the file", e});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox box;
        const OneEntry r = TryEntry(box, BuildZip({c.entry}));
        EXPECT_EQ(r.open, ZR_OK);
        EXPECT_EQ(r.described, ZR_CORRUPT);
        EXPECT_EQ(r.extracted, ZR_FLATE);
        EXPECT_EQ(EntryName(r.info), "x.bin");
        EXPECT_TRUE(box.Inside().empty());
    }
    // Bit 3 with zero sizes in the local header passes the check.
    Sandbox box;
    BuildEntry d = Entry("d.bin", data, true);
    d.descriptor = true;
    const OneEntry r = TryEntry(box, BuildZip({d}));
    EXPECT_EQ(r.described, ZR_OK);
    EXPECT_EQ(r.extracted, ZR_OK);
    EXPECT_TRUE(ReadBytes(box.target + "/d.bin") == data);
}

TEST(ZipDamaged, DamagedDataGivesAnErrorAndNoFile) {
    const std::string data = PatternBytes(70000, 2);
    struct Case {
        const char* what;
        BuildEntry entry;
        ZRESULT want;
    };
    std::vector<Case> cases;
    BuildEntry e = Entry("s.bin", data);
    e.flip_data_byte = 40000;
    cases.push_back({"stored byte flipped: CRC-32 mismatch", e, ZR_CORRUPT});
    e = Entry("d.bin", data, true);
    e.or_first_data_byte = 0x06;  // block type 3 does not exist
    cases.push_back({"deflate stream broken", e, ZR_FLATE});
    e = Entry("d.bin", data, true);
    e.stored_data_len = 3000;
    e.central_comp = e.local_comp = 3000;
    cases.push_back({"deflate stream cut short", e, ZR_FLATE});
    e = Entry("s.bin", data);
    e.central_comp = e.central_unc = e.local_comp = e.local_unc = 5000000;
    cases.push_back({"stored data runs past the end of the file", e, ZR_FLATE});
    e = Entry("d.bin", data, true);
    e.central_unc = e.local_unc = 90000;
    cases.push_back({"stream ends before the stored size", e, ZR_FLATE});
    e = Entry("d.bin", data, true);
    e.central_crc = e.local_crc = 0x12345678;
    cases.push_back({"wrong CRC-32 on deflated data", e, ZR_CORRUPT});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox box;
        const OneEntry r = TryEntry(box, BuildZip({Entry("good.txt", "good"), c.entry}), 1);
        EXPECT_EQ(r.extracted, c.want);
        EXPECT_TRUE(box.Inside().empty()) << box.Inside()[0];
        EXPECT_TRUE(box.Outside().empty());
    }
}

TEST(ZipDamaged, NamesLeadingOutAreRefused) {
    const std::vector<std::string> refused = {
        "../x.txt",         "a/../../x.txt",  "..\\x.txt",        "C:..\\x.txt",  "a/b/../../../../x.txt",
        "./x.txt",          "a/./x.txt",      "a/..",             "..",           "a/.../x.txt",
        "a/.. /x.txt",      "stream:x.txt",   "a\x01" "b.txt",    "wild*.txt",    "q?.txt",
        "pipe|.txt",        "lt<.txt",        "quote\".txt",      "",             "/",
        "dir//",            std::string("nul\0../../x.txt", 15)};
    for (const std::string& name : refused) {
        SCOPED_TRACE(name);
        Sandbox box;
        const OneEntry r = TryEntry(box, BuildZip({Entry(name, "escaped")}));
        EXPECT_EQ(r.open, ZR_OK);
        EXPECT_EQ(r.described, ZR_NOFILE);
        EXPECT_EQ(r.extracted, ZR_NOFILE);
        EXPECT_TRUE(box.Inside().empty());
        EXPECT_TRUE(box.Outside().empty());
    }
    // The same names as directory entries.
    for (const char* name : {"../up/", "a/../../up/", "..\\up\\"}) {
        SCOPED_TRACE(name);
        Sandbox box;
        BuildEntry e = Entry(name, "");
        e.external = 040755u << 16;
        const OneEntry r = TryEntry(box, BuildZip({e}));
        EXPECT_EQ(r.extracted, ZR_NOFILE);
        EXPECT_TRUE(box.Inside().empty());
        EXPECT_TRUE(box.Outside().empty());
    }
}

// The rule drops everything up to a parent step that follows a separator.
TEST(ZipDamaged, NamesTheCleaningRuleBringsBackInsideAreExtractedThere) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/abs/a.txt", "abs/a.txt"},      {"C:\\x\\a.txt", "x/a.txt"},   {"//\\\\lead.txt", "lead.txt"},
        {"a/../b.txt", "b.txt"},          {"x:y:z.txt", "z.txt"},        {"d/..\\e/f.txt", "e/f.txt"},
        {"..\\..\\x.txt", "x.txt"},     {"a/b/../../../x.txt", "x.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        Sandbox box;
        const OneEntry r = TryEntry(box, BuildZip({Entry(c.first, "inside")}));
        EXPECT_EQ(r.extracted, ZR_OK);
        EXPECT_EQ(ReadBytes(box.target + "/" + c.second), "inside");
        EXPECT_TRUE(box.Outside().empty());
    }
}

TEST(ZipDamaged, LongNamesAndTargetsAreRefused) {
    // 300-byte and exactly 260-byte names: refused, nothing written.
    for (size_t length : {300u, 260u}) {
        Sandbox box;
        const OneEntry r = TryEntry(box, BuildZip({Entry(std::string(length, 'n'), "long")}));
        EXPECT_EQ(r.described, ZR_NOFILE);
        EXPECT_EQ(r.extracted, ZR_NOFILE);
        EXPECT_TRUE(box.Inside().empty());
    }
    // A name that fits but a path that does not.
    Sandbox box;
    const std::string name = std::string(100, 'd') + "/" + std::string(150, 'f');
    const OneEntry r = TryEntry(box, BuildZip({Entry(name, "long path")}));
    EXPECT_EQ(r.described, ZR_OK);
    EXPECT_EQ(r.extracted, ZR_NOFILE);
    EXPECT_TRUE(box.Inside().empty());
    // A caller's target of 260 characters or with a parent step.
    WriteBytes(box.archive, BuildZip({Entry("ok.txt", "ok")}));
    ZipHandle* zip = OpenZip(box.archive);
    ASSERT_NE(zip, nullptr);
    ZipReaderSetBaseDir(zip, U16(box.target).c_str());
    EXPECT_EQ(ExtractTo(zip, 0, std::string(260, 't')), ZR_NOFILE);
    EXPECT_EQ(ExtractTo(zip, 0, "../ok.txt"), ZR_NOFILE);
    EXPECT_EQ(ExtractTo(zip, 0, box.dir.Sub("sandbox/../elsewhere.txt")), ZR_NOFILE);
    // An absolute target of the caller's own choosing is honoured.
    EXPECT_EQ(ExtractTo(zip, 0, box.target + "/abs.txt"), ZR_OK);
    // A base folder too long to hold refuses relative targets instead of cutting the folder.
    EXPECT_EQ(ZipReaderSetBaseDir(zip, U16(box.target + "/" + std::string(300, 'b')).c_str()), ZR_ARGS);
    EXPECT_EQ(ExtractTo(zip, 0, "ok.txt"), ZR_NOFILE);
    ZipReaderClose(zip);
    EXPECT_EQ(box.Inside(), std::vector<std::string>{"abs.txt"});
    EXPECT_TRUE(box.Outside().empty());
}

TEST(ZipDamaged, ExtraFieldsAndDatesOutOfShape) {
    const std::string data = "extra";
    struct Case {
        const char* what;
        std::string extra;
        bool write_set;  // the last write time comes from the block
    };
    const std::vector<Case> cases = {
        {"UT longer than the field", "UT" + Le16(0xFFFF) + "\x07" + Le32(1000000000), true},
        {"UT flags without times", ExtraBlock("UT", "\x07"), false},
        {"UT without flag byte", ExtraBlock("UT", ""), false},
        {"UT cut inside a time", ExtraBlock("UT", std::string("\x01\x00\xCA", 3)), false},
        {"block longer than the field before UT", "xy" + Le16(0x8000) + "abcd" + ExtraBlock("UT", "\x01" + Le32(1)),
         false},
        {"four bytes only", "UT" + Le16(5), false},
        {"UT after another block", ExtraBlock("zz", "1234") + ExtraBlock("UT", "\x01" + Le32(1000000000)), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox box;
        BuildEntry e = Entry("e.txt", data);
        e.local_extra = c.extra;
        const OneEntry r = TryEntry(box, BuildZip({e}));
        EXPECT_EQ(r.described, ZR_OK);
        EXPECT_EQ(r.extracted, ZR_OK);
        EXPECT_EQ(Ticks(r.info.mtime) == TicksFromUnix(1000000000), c.write_set);
        EXPECT_EQ(ReadBytes(box.target + "/e.txt"), data);
    }
    // A local extra field that runs past the end of the file cannot be read.
    {
        Sandbox box;
        BuildEntry e = Entry("e.txt", data);
        e.local_extra = "UT";  // declared 2 bytes here; the header below claims more
        std::string bytes = BuildZip({e});
        bytes[28] = static_cast<char>(0xFF), bytes[29] = static_cast<char>(0xFF);
        const OneEntry r = TryEntry(box, bytes);
        EXPECT_EQ(r.described, ZR_READ);
        EXPECT_NE(r.extracted, ZR_OK);
        EXPECT_TRUE(box.Inside().empty());
    }
    // A DOS date that does not convert (month 0, hour 31) leaves the times unset.
    Sandbox box;
    BuildEntry e = Entry("d.txt", data);
    e.dos_time = 0x0000F800;
    const OneEntry r = TryEntry(box, BuildZip({e}));
    EXPECT_EQ(r.described, ZR_OK);
    EXPECT_EQ(Ticks(r.info.mtime), 0u);
    EXPECT_EQ(Ticks(r.info.atime), 0u);
    EXPECT_EQ(Ticks(r.info.ctime), 0u);
    EXPECT_EQ(r.extracted, ZR_OK);
    EXPECT_EQ(ReadBytes(box.target + "/d.txt"), data);
}

TEST(ZipDamaged, EncryptedEntriesNeedAPasswordThatIsNeverGiven) {
    Sandbox box;
    BuildEntry e = Entry("secret.bin", std::string(12, 'h') + "cipher");
    e.flags = 0x0001;
    const OneEntry r = TryEntry(box, BuildZip({e}));
    EXPECT_EQ(r.extracted, ZR_PASSWORD);
    EXPECT_TRUE(box.Inside().empty());
}

TEST(ZipDamaged, UnzipToDirectoryKeepsGoingPastBadEntries) {
    Sandbox box;
    BuildEntry bad = Entry("bad.bin", PatternBytes(3000, 3), true);
    bad.flip_data_byte = 10;
    BuildEntry outside = Entry("../outside.txt", "no");
    WriteBytes(box.archive, BuildZip({Entry("first.txt", "1"), bad, outside, Entry("last.txt", "3")}));
    UnzipToDirectory(U16(box.archive).c_str(), U16(box.target).c_str(), false);
    EXPECT_EQ(box.Inside(), (std::vector<std::string>{"first.txt", "last.txt"}));
    EXPECT_TRUE(box.Outside().empty());
    EXPECT_TRUE(FileExists(box.archive));
    UnzipToDirectory(U16(box.archive).c_str(), U16(box.target).c_str(), true);
    EXPECT_FALSE(FileExists(box.archive));
}

}  // namespace
