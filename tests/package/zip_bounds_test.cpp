// Bounds of an extraction: an entry is held to its declared size, entries
// that share bytes are refused, the declared sizes are held to a bound before
// anything is written, and the first failed write ends the extraction.
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "package/package_extract.h"
#include "tests/package/zip_test_util.h"

namespace {

uint32_t Crc(const std::string& bytes) {
    return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// An entry that says (in both headers, with a matching CRC-32) it holds only
// the first `declared` bytes of its data.
BuildEntry Understated(const std::string& name, const std::string& data, size_t declared, bool deflate) {
    BuildEntry e;
    e.name = name;
    e.data = data;
    e.deflate = deflate;
    e.central_unc = e.local_unc = static_cast<int64_t>(declared);
    e.central_crc = e.local_crc = Crc(data.substr(0, declared));
    return e;
}

struct Outcome {
    UnzipOutcome outcome{};
    std::vector<std::string> names;
    std::vector<ZRESULT> results;
};

void Collect(const ZipEntryInfo* info, ZRESULT described, ZRESULT extracted, void* context) {
    Outcome* o = static_cast<Outcome*>(context);
    o->names.push_back(EntryName(*info));
    o->results.push_back(described != ZR_OK ? described : extracted);
}

Outcome Unzip(const std::string& archive, const std::string& dir, uint64_t max_bytes = kUnzipDefaultMaxBytes) {
    Outcome o;
    UnzipAll(U16(archive).c_str(), U16(dir).c_str(), max_bytes, Collect, &o, &o.outcome);
    return o;
}

TEST(ZipBounds, DataBeyondTheDeclaredSizeFailsTheEntryAndLeavesNothing) {
    ScratchDir dir;
    // 64 MiB of zeros deflate to about 64 KiB; the entry declares 1,000 bytes.
    const std::string bomb(64u << 20, '\0');
    const std::string tail = "the entry after it";
    BuildEntry after;
    after.name = "after.txt";
    after.data = tail;
    WriteBytes(dir.Sub("bomb.zip"), BuildZip({Understated("bomb.bin", bomb, 1000, true), after}));
    ASSERT_LT(ReadBytes(dir.Sub("bomb.zip")).size(), 200000u);
    const Outcome o = Unzip(dir.Sub("bomb.zip"), dir.Sub("out"));
    ASSERT_EQ(o.outcome.open, ZR_OK);
    EXPECT_EQ(o.outcome.declared, 1000u + tail.size());
    EXPECT_EQ(o.results, (std::vector<ZRESULT>{ZR_FLATE, ZR_OK}));
    EXPECT_EQ(o.outcome.failed, 1);
    // An entry that fails is not left on disk; a failure that is not a write
    // does not stop the next entry.
    EXPECT_EQ(ListTree(dir.Sub("out")), std::vector<std::string>{"after.txt"});

    // The same for stored data longer than the entry says, and for a deflate
    // stream that goes on by a single byte.
    const std::string text = PatternBytes(5000, 7);
    WriteBytes(dir.Sub("long.zip"),
               BuildZip({Understated("stored.bin", text, 4000, false), Understated("one.bin", text, 4999, true),
                         Understated("exact.bin", text, 5000, true)}));
    const Outcome l = Unzip(dir.Sub("long.zip"), dir.Sub("out2"));
    EXPECT_EQ(l.results, (std::vector<ZRESULT>{ZR_FLATE, ZR_FLATE, ZR_OK}));
    EXPECT_EQ(ListTree(dir.Sub("out2")), std::vector<std::string>{"exact.bin"});
    EXPECT_TRUE(ReadBytes(dir.Sub("out2/exact.bin")) == text);
}

TEST(ZipBounds, EntriesWhoseRecordsOverlapAreRefused) {
    ScratchDir dir;
    BuildEntry first;
    first.name = "a.bin";
    first.data = "shared bytes";
    BuildEntry twin = first;  // same name length, sizes and CRC: its local header check passes
    twin.name = "b.bin";
    twin.local_offset = 0;
    BuildEntry alone;
    alone.name = "alone.txt";
    alone.data = "mine";
    WriteBytes(dir.Sub("twin.zip"), BuildZip({first, alone, twin}));
    const Outcome o = Unzip(dir.Sub("twin.zip"), dir.Sub("out"));
    EXPECT_EQ(o.results, (std::vector<ZRESULT>{ZR_CORRUPT, ZR_OK, ZR_CORRUPT}));
    EXPECT_EQ(ListTree(dir.Sub("out")), std::vector<std::string>{"alone.txt"});

    // Data that runs into the next entry's local header: both are refused,
    // the archive's other entries are not.
    BuildEntry runs;
    runs.name = "runs.bin";
    runs.data = "0123456789";
    runs.central_comp = runs.local_comp = 11;  // one byte into the next header
    WriteBytes(dir.Sub("runs.zip"), BuildZip({runs, alone, first}));
    const Outcome r = Unzip(dir.Sub("runs.zip"), dir.Sub("out2"));
    EXPECT_EQ(r.results, (std::vector<ZRESULT>{ZR_CORRUPT, ZR_CORRUPT, ZR_OK}));
    EXPECT_EQ(ListTree(dir.Sub("out2")), std::vector<std::string>{"a.bin"});
}

TEST(ZipBounds, SixtyFiveThousandEntriesOfOneStreamWriteNothing) {
    ScratchDir dir;
    std::vector<BuildEntry> entries(65535);
    for (size_t i = 0; i < entries.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%05zu.bin", i);
        entries[i].name = name;
        entries[i].data = "payload";
        entries[i].local_offset = 0;
    }
    WriteBytes(dir.Sub("many.zip"), BuildZip(entries));
    const auto start = std::chrono::steady_clock::now();
    const Outcome o = Unzip(dir.Sub("many.zip"), dir.Sub("out"));
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(o.results.size(), 65535u);
    size_t refused = 0;
    for (ZRESULT r : o.results) refused += r == ZR_CORRUPT;
    EXPECT_EQ(refused, 65535u);
    EXPECT_EQ(o.outcome.failed, 65535);
    EXPECT_TRUE(ListTree(dir.Sub("out")).empty());
    EXPECT_LT(seconds, 60.0);
}

// RLIMIT_FSIZE makes writes past a size fail (EFBIG) the way a full disk does.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        old_handler = signal(SIGXFSZ, SIG_IGN);
        rlimit lower = saved;
        lower.rlim_cur = bytes;
        ok = setrlimit(RLIMIT_FSIZE, &lower) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, old_handler);
    }
    rlimit saved{};
    void (*old_handler)(int) = nullptr;
    bool ok = false;
};

TEST(ZipBounds, TheFirstFailedWriteEndsTheExtraction) {
    ScratchDir dir;
    std::vector<BuildEntry> entries(4);
    entries[0].name = "big.bin";
    entries[0].data = PatternBytes(300000, 3);
    entries[0].deflate = true;
    for (size_t i = 1; i < entries.size(); ++i) {
        entries[i].name = "small" + std::to_string(i) + ".txt";
        entries[i].data = "small";
    }
    const std::string archive = BuildZip(entries);
    WriteBytes(dir.Sub("p.zip"), archive);
    Outcome o;
    {
        FileSizeLimit limit(100000);
        ASSERT_TRUE(limit.ok);
        o = Unzip(dir.Sub("p.zip"), dir.Sub("out"));
    }
    EXPECT_EQ(o.outcome.stopped_at, 0);
    EXPECT_EQ(o.outcome.failed, 1);
    EXPECT_EQ(o.results, std::vector<ZRESULT>{ZR_WRITE});
    EXPECT_TRUE(ListTree(dir.Sub("out")).empty());

    // Without the limit the same archive extracts whole.
    const Outcome whole = Unzip(dir.Sub("p.zip"), dir.Sub("out2"));
    EXPECT_EQ(whole.outcome.stopped_at, -1);
    EXPECT_EQ(whole.outcome.failed, 0);
    EXPECT_EQ(ListTree(dir.Sub("out2")).size(), 4u);
}

TEST(ZipBounds, DeclaredSizesAreHeldToTheBoundBeforeAnyWrite) {
    ScratchDir dir;
    BuildEntry a;
    a.name = "a.bin";
    a.data = PatternBytes(3000, 1);
    BuildEntry b;
    b.name = "b.bin";
    b.data = PatternBytes(2000, 2);
    b.deflate = true;
    WriteBytes(dir.Sub("p.zip"), BuildZip({a, b}));

    Outcome over = Unzip(dir.Sub("p.zip"), dir.Sub("out"), 4999);
    EXPECT_TRUE(over.outcome.over_bound);
    EXPECT_EQ(over.outcome.declared, 5000u);
    EXPECT_TRUE(over.names.empty());
    EXPECT_TRUE(ListTree(dir.Sub("out")).empty());

    Outcome at = Unzip(dir.Sub("p.zip"), dir.Sub("out2"), 5000);
    EXPECT_FALSE(at.outcome.over_bound);
    EXPECT_EQ(at.outcome.failed, 0);
    EXPECT_EQ(ListTree(dir.Sub("out2")), (std::vector<std::string>{"a.bin", "b.bin"}));

    // Declared sizes near 4 GiB add up in 64 bits: two entries that claim
    // 0xFFFFFFFF bytes each are over the default bound, not a small wrapped sum.
    BuildEntry huge = a;
    huge.central_unc = huge.local_unc = 0xFFFFFFFFll;
    BuildEntry huge2 = huge;
    huge2.name = "c.bin";
    WriteBytes(dir.Sub("huge.zip"), BuildZip({huge, huge2}));
    Outcome h = Unzip(dir.Sub("huge.zip"), dir.Sub("out3"));
    EXPECT_TRUE(h.outcome.over_bound);
    EXPECT_EQ(h.outcome.declared, 2 * 0xFFFFFFFFull);
    EXPECT_TRUE(ListTree(dir.Sub("out3")).empty());
}

}  // namespace
