// Archives written by independent tools: every entry comes out byte for byte,
// with the names, attributes and times the package format defines.
#include <sys/stat.h>

#include <ctime>
#include <map>

#include <gtest/gtest.h>

#include "package/package_extract.h"
#include "tests/package/zip_test_util.h"

namespace {

// DOS times are local times: run the time tests in a zone an hour or two off
// UTC (a POSIX rule, so no zone database is needed); the archive tools that
// the tests start inherit it.
struct LocalZone {
    LocalZone() {
        const char* old = getenv("TZ");
        had = old != nullptr;
        if (had) saved = old;
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    ~LocalZone() {
        if (had) setenv("TZ", saved.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    bool had;
    std::string saved;
};

struct Extracted {
    ZRESULT open = ZR_OK;
    int failed = -1;
    std::vector<std::string> names;
    std::map<std::string, ZRESULT> results;  // by cleaned name
};

void Collect(const ZipEntryInfo* info, ZRESULT described, ZRESULT extracted, void* context) {
    Extracted* e = static_cast<Extracted*>(context);
    e->names.push_back(EntryName(*info));
    e->results[EntryName(*info)] = described != ZR_OK ? described : extracted;
}

Extracted Unzip(const std::string& archive, const std::string& dir) {
    Extracted e;
    UnzipOutcome outcome;
    UnzipAll(U16(archive).c_str(), U16(dir).c_str(), kUnzipDefaultMaxBytes, Collect, &e, &outcome);
    e.open = outcome.open;
    e.failed = outcome.failed;
    return e;
}

std::vector<ZipEntryInfo> Describe(const std::string& archive, std::vector<ZRESULT>* results = nullptr) {
    std::vector<ZipEntryInfo> out;
    ZipHandle* zip = OpenZip(archive);
    if (zip == nullptr) return out;
    ZipEntryInfo info;
    ZipReaderGetEntry(zip, -1, &info);
    const int count = info.index;
    for (int i = 0; i < count; ++i) {
        const ZRESULT r = ZipReaderGetEntry(zip, i, &info);
        if (results != nullptr) results->push_back(r);
        out.push_back(info);
    }
    ZipReaderClose(zip);
    return out;
}

const ZipEntryInfo* Find(const std::vector<ZipEntryInfo>& entries, const std::string& name) {
    for (const ZipEntryInfo& e : entries) {
        if (EntryName(e) == name) return &e;
    }
    return nullptr;
}

// The source tree every tool packs: stored and deflated sizes around the
// 16 KiB buffers, an empty file, an empty folder, a nested folder.
void MakeSourceTree(const std::string& src) {
    ASSERT_EQ(RunCommand("mkdir -p " + ShellQuote(src + "/sub/deeper") + " " + ShellQuote(src + "/empty_dir")), 0);
    WriteBytes(src + "/QuillonInfo.ini", "[UPDATEINFO]\r\nTitle=Test\r\n");
    WriteBytes(src + "/empty.bin", "");
    WriteBytes(src + "/just16k.bin", PatternBytes(16384, 1));
    WriteBytes(src + "/over16k.bin", PatternBytes(16385 + 7000, 2));
    WriteBytes(src + "/sub/big.img", PatternBytes(3 * 1024 * 1024 + 123, 3));
    WriteBytes(src + "/sub/deeper/note.txt", "deep\n");
}

void ExpectSameTree(const std::string& src, const std::string& out) {
    const std::vector<std::string> want = ListTree(src);
    EXPECT_EQ(ListTree(out), want);
    for (const std::string& rel : want) {
        if (rel.back() == '/') continue;
        EXPECT_TRUE(ReadBytes(src + "/" + rel) == ReadBytes(out + "/" + rel)) << rel << " differs";
    }
}

TEST(ZipTools, EveryToolsArchiveExtractsByteForByte) {
    ScratchDir dir;
    const std::string src = dir.Sub("src");
    MakeSourceTree(src);
    const std::string q = ShellQuote(src);
    // Each command runs in src and writes the archive named ARCHIVE.
    const std::vector<std::pair<std::string, std::string>> makers = {
        {"zip-deflate", "zip -q -r -9 ARCHIVE ."},
        {"zip-stored", "zip -q -r -0 ARCHIVE ."},
        {"7z", "7z a -tzip -bd -bso0 -bsp0 ARCHIVE ."},
        {"bsdtar", "bsdtar --format zip -cf ARCHIVE *"},
        {"python", "python3 -c 'import os,zipfile,sys\n"
                   "z=zipfile.ZipFile(sys.argv[1],\"w\",zipfile.ZIP_DEFLATED)\n"
                   "for r,ds,fs in os.walk(\".\"):\n"
                   "  for d in ds: z.write(os.path.join(r,d))\n"
                   "  for f in fs: z.write(os.path.join(r,f))\n"
                   "z.close()' ARCHIVE"},
    };
    for (const auto& maker : makers) {
        SCOPED_TRACE(maker.first);
        const std::string archive = dir.Sub(maker.first + ".zip");
        std::string command = maker.second;
        command.replace(command.find("ARCHIVE"), 7, ShellQuote(archive));
        ASSERT_EQ(RunCommand("cd " + q + " && " + command), 0);
        const std::string out = dir.Sub("out-" + maker.first);
        const Extracted e = Unzip(archive, out);
        ASSERT_EQ(e.open, ZR_OK);
        EXPECT_EQ(e.failed, 0);
        for (const auto& r : e.results) EXPECT_EQ(r.second, ZR_OK) << r.first;
        ExpectSameTree(src, out);
    }
}

TEST(ZipTools, AttributesFollowTheHostOfTheMaker) {
    ScratchDir dir;
    const std::string src = dir.Sub("src");
    ASSERT_EQ(RunCommand("mkdir -p " + ShellQuote(src + "/folder")), 0);
    WriteBytes(src + "/plain.txt", "plain");
    WriteBytes(src + "/locked.txt", "locked");
    chmod((src + "/plain.txt").c_str(), 0644);
    chmod((src + "/locked.txt").c_str(), 0444);
    for (const std::string maker : {"zip -q -r ARCHIVE .", "bsdtar --format zip -cf ARCHIVE *"}) {
        SCOPED_TRACE(maker);
        const std::string archive = dir.Sub("a.zip");
        std::remove(archive.c_str());
        std::string command = maker;
        command.replace(command.find("ARCHIVE"), 7, ShellQuote(archive));
        ASSERT_EQ(RunCommand("cd " + ShellQuote(src) + " && " + command), 0);
        const std::vector<ZipEntryInfo> entries = Describe(archive);
        const ZipEntryInfo* plain = Find(entries, "plain.txt");
        const ZipEntryInfo* locked = Find(entries, "locked.txt");
        const ZipEntryInfo* folder = Find(entries, "folder/");
        ASSERT_TRUE(plain && locked && folder);
        // Unix makers: archive always, read-only when the owner may not write.
        EXPECT_EQ(plain->attr, 0x20u);
        EXPECT_EQ(locked->attr, 0x21u);
        EXPECT_EQ(folder->attr, 0x30u);
    }
    // The extracted read-only file is read-only.
    const Extracted e = Unzip(dir.Sub("a.zip"), dir.Sub("out"));
    EXPECT_EQ(e.failed, 0);
    struct stat st;
    ASSERT_EQ(stat(dir.Sub("out/locked.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_EQ(ReadBytes(dir.Sub("out/locked.txt")), "locked");
}

// Info-ZIP's local "UT" block carries the last write and last access times;
// the creation time keeps the DOS time, which is local time.
TEST(ZipTools, ExtendedTimestampAndDosTimeGiveTheTimes) {
    LocalZone zone;
    ScratchDir dir;
    const std::string src = dir.Sub("src");
    ASSERT_EQ(RunCommand("mkdir -p " + ShellQuote(src)), 0);
    WriteBytes(src + "/f.txt", "times");
    // Last write 2021-03-04 05:06:08 UTC (even: DOS times have two-second
    // steps), last access 2020-01-02 03:04:05 UTC.
    ASSERT_EQ(RunCommand("touch -m -d '2021-03-04 05:06:08 UTC' " + ShellQuote(src + "/f.txt")), 0);
    ASSERT_EQ(RunCommand("touch -a -d '2020-01-02 03:04:05 UTC' " + ShellQuote(src + "/f.txt")), 0);
    ASSERT_EQ(RunCommand("cd " + ShellQuote(src) + " && zip -q " + ShellQuote(dir.Sub("t.zip")) + " f.txt"), 0);
    const std::vector<ZipEntryInfo> entries = Describe(dir.Sub("t.zip"));
    ASSERT_EQ(entries.size(), 1u);
    const int64_t mtime = 1614834368;  // 2021-03-04 05:06:08 UTC
    EXPECT_EQ(Ticks(entries[0].mtime), TicksFromUnix(mtime));
    EXPECT_EQ(Ticks(entries[0].atime), TicksFromUnix(1577934245));
    // The DOS time was written in local time (UTC+1 then) and reads back as UTC.
    EXPECT_EQ(Ticks(entries[0].ctime), TicksFromUnix(mtime));

    // The extracted file carries them.
    const Extracted e = Unzip(dir.Sub("t.zip"), dir.Sub("out"));
    EXPECT_EQ(e.failed, 0);
    struct stat st;
    ASSERT_EQ(stat(dir.Sub("out/f.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, mtime);
    EXPECT_EQ(st.st_atime, 1577934245);
}

// Python writes the DOS time it is given and, on request, a "UT" block with
// only some of its flag bits: the times it names replace the DOS time, the
// others keep it.
TEST(ZipTools, PartialExtendedTimestampsSetOnlyTheirTimes) {
    LocalZone zone;
    ScratchDir dir;
    const std::string archive = dir.Sub("ut.zip");
    const char* script =
        "import struct,sys,zipfile\n"
        "z=zipfile.ZipFile(sys.argv[1],'w')\n"
        "def add(name,flags,times):\n"
        "  i=zipfile.ZipInfo(name,date_time=(2019,7,8,9,10,12))\n"
        "  d=bytes([flags])+b''.join(struct.pack('<i',t) for t in times)\n"
        "  i.extra=b'UT'+struct.pack('<H',len(d))+d\n"
        "  z.writestr(i,name)\n"
        "add('none.txt',0,[])\n"
        "add('write.txt',1,[1000000000])\n"
        "add('create.txt',4,[1100000000])\n"
        "add('access_create.txt',6,[1200000000,1300000000])\n"
        "add('all.txt',7,[1400000000,1500000000,1600000000])\n"
        "z.close()\n";
    ASSERT_EQ(RunPython(script, {archive}), 0);
    // The DOS time 2019-07-08 09:10:12 is local time.
    struct tm local = {};
    local.tm_year = 119, local.tm_mon = 6, local.tm_mday = 8, local.tm_hour = 9, local.tm_min = 10, local.tm_sec = 12;
    local.tm_isdst = -1;
    const uint64_t dos = TicksFromUnix(static_cast<int64_t>(mktime(&local)));
    std::vector<ZRESULT> results;
    const std::vector<ZipEntryInfo> entries = Describe(archive, &results);
    ASSERT_EQ(entries.size(), 5u);
    for (ZRESULT r : results) EXPECT_EQ(r, ZR_OK);
    struct Want {
        uint64_t write, access, create;
    };
    const Want want[] = {
        {dos, dos, dos},
        {TicksFromUnix(1000000000), dos, dos},
        {dos, dos, TicksFromUnix(1100000000)},
        {dos, TicksFromUnix(1200000000), TicksFromUnix(1300000000)},
        {TicksFromUnix(1400000000), TicksFromUnix(1500000000), TicksFromUnix(1600000000)},
    };
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(EntryName(entries[i]));
        EXPECT_EQ(Ticks(entries[i].mtime), want[i].write);
        EXPECT_EQ(Ticks(entries[i].atime), want[i].access);
        EXPECT_EQ(Ticks(entries[i].ctime), want[i].create);
    }
}

TEST(ZipTools, Utf8NamesDecode) {
    ScratchDir dir;
    const std::string archive = dir.Sub("names.zip");
    const char* script =
        "import sys,zipfile\n"
        "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED)\n"
        "for n in ['pr\\u00fcfung/\\u00f1and\\u00fa.txt','\\u65e5\\u672c\\u8a9e.bin','smile\\U0001F600.txt']:\n"
        "  z.writestr(n,n.encode('utf-8'))\n"
        "z.close()\n";
    ASSERT_EQ(RunPython(script, {archive}), 0);
    const std::vector<std::string> names = {"pr\xC3\xBC" "fung/\xC3\xB1" "and\xC3\xBA.txt",
                                            "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.bin", "smile\xF0\x9F\x98\x80.txt"};
    const std::vector<ZipEntryInfo> entries = Describe(archive);
    ASSERT_EQ(entries.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(EntryName(entries[i]), names[i]);
    EXPECT_EQ(std::u16string(entries[2].name), u"smile\U0001F600.txt");
    const Extracted e = Unzip(archive, dir.Sub("out"));
    EXPECT_EQ(e.failed, 0);
    for (const std::string& n : names) EXPECT_EQ(ReadBytes(dir.Sub("out/" + n)), n);
}

TEST(ZipTools, DataDescriptorsWithZeroLocalSizes) {
    ScratchDir dir;
    const std::string archive = dir.Sub("stream.zip");
    // Written to a pipe, zipfile cannot seek back and puts the sizes in data descriptors.
    const char* script =
        "import sys,zipfile\n"
        "class Pipe:\n"
        "  def __init__(s,f): s.f=f\n"
        "  def write(s,b): return s.f.write(b)\n"
        "  def flush(s): s.f.flush()\n"
        "with open(sys.argv[1],'wb') as f:\n"
        "  z=zipfile.ZipFile(Pipe(f),'w',zipfile.ZIP_DEFLATED)\n"
        "  with z.open('big.bin','w') as w: w.write(open(sys.argv[2],'rb').read())\n"
        "  with z.open('small.txt','w') as w: w.write(b'descriptor')\n"
        "  z.close()\n";
    WriteBytes(dir.Sub("big.src"), PatternBytes(200000, 9));
    ASSERT_EQ(RunPython(script, {archive, dir.Sub("big.src")}), 0);
    const std::string bytes = ReadBytes(archive);
    ASSERT_GT(bytes.size(), 30u);
    // Make sure the archive is what this test is about: bit 3 and zero sizes.
    ASSERT_EQ(bytes[6] & 0x08, 0x08);
    ASSERT_EQ(bytes.substr(18, 8), std::string(8, '\0'));
    const Extracted e = Unzip(archive, dir.Sub("out"));
    EXPECT_EQ(e.failed, 0);
    EXPECT_TRUE(ReadBytes(dir.Sub("out/big.bin")) == ReadBytes(dir.Sub("big.src")));
    EXPECT_EQ(ReadBytes(dir.Sub("out/small.txt")), "descriptor");
}

TEST(ZipTools, CommentAndPrependedBytes) {
    ScratchDir dir;
    const std::string src = dir.Sub("src");
    ASSERT_EQ(RunCommand("mkdir -p " + ShellQuote(src)), 0);
    WriteBytes(src + "/a.txt", PatternBytes(40000, 4));
    WriteBytes(src + "/b.txt", "second");
    const std::string plain = dir.Sub("plain.zip");
    ASSERT_EQ(RunCommand("cd " + ShellQuote(src) + " && zip -q " + ShellQuote(plain) + " a.txt b.txt"), 0);
    // A comment of 60,000 bytes, then a stub in front that nobody adjusted for.
    const std::string commented = dir.Sub("commented.zip");
    ASSERT_EQ(RunPython("import sys,zipfile\n"
                        "z=zipfile.ZipFile(sys.argv[1],'a')\n"
                        "z.comment=b'PK is not here. '*3750\n"
                        "z.close()\n",
                        {plain}),
              0);
    const std::string stub = PatternBytes(12345, 5);
    WriteBytes(commented, stub + ReadBytes(plain));
    for (const std::string& archive : std::vector<std::string>{plain, commented}) {
        SCOPED_TRACE(archive);
        const std::string out = archive + ".out";
        const Extracted e = Unzip(archive, out);
        ASSERT_EQ(e.open, ZR_OK);
        EXPECT_EQ(e.failed, 0);
        ExpectSameTree(src, out);
    }
    // Info-ZIP's own adjustment (-A) of a self-extractor works as well.
    ASSERT_EQ(RunCommand("zip -q -A " + ShellQuote(commented)), 0);
    const Extracted adjusted = Unzip(commented, dir.Sub("adjusted"));
    EXPECT_EQ(adjusted.failed, 0);
    ExpectSameTree(src, dir.Sub("adjusted"));
}

}  // namespace
