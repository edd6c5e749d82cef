// quillon-tool package list / extract, run as the people who build packages
// run it: output lines, exit codes, and the files it writes.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/package/zip_test_util.h"
#include "tests/tools/tool_run.h"

namespace {

TEST(QuillonToolPackage, ListShowsEveryEntryWithItsResult) {
    ASSERT_EQ(access(ToolPath().c_str(), X_OK), 0) << ToolPath();
    ScratchDir dir;
    BuildEntry ini;
    ini.name = "QuillonInfo.ini";
    ini.data = "[UPDATEINFO]\r\n";
    ini.dos_time = 0x52A46C21;  // 2021-05-04 13:33:02 local
    ini.local_extra = ExtraBlock("UT", "\x01" + Le32(1600000000));  // 2020-09-13 12:26:40 UTC
    BuildEntry folder;
    folder.name = "images/";
    folder.external = 040755u << 16;
    folder.local_extra = ini.local_extra;
    BuildEntry image;
    image.name = "images/fw.bin";
    image.data = PatternBytes(50000, 1);
    image.deflate = true;
    image.external = 0100444u << 16;
    image.local_extra = ini.local_extra;
    BuildEntry bad;
    bad.name = "../escape.bin";
    bad.data = "x";
    WriteBytes(dir.Sub("p.zip"), BuildZip({ini, folder, image, bad}));

    const ToolRun r = Tool(dir, "package list " + ShellQuote(dir.Sub("p.zip")));
    EXPECT_EQ(r.status, 1);  // one entry is refused
    const std::string want_head =
        "entries 4\n"
        "index\tname\tattributes\tlast write (UTC)\tcompressed\tsize\tresult\n"
        "0\tQuillonInfo.ini\t00000020\t2020-09-13 12:26:40\t14\t14\t00000000 Success\n"
        "1\timages/\t00000030\t2020-09-13 12:26:40\t0\t0\t00000000 Success\n";
    EXPECT_EQ(r.out.substr(0, want_head.size()), want_head);
    EXPECT_NE(r.out.find("\n2\timages/fw.bin\t00000021\t2020-09-13 12:26:40\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\t50000\t00000000 Success\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n3\t../escape.bin\t00000020\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\t1\t1\t00000200 Couldn't create/open file\n"), std::string::npos) << r.out;
}

TEST(QuillonToolPackage, ExtractWritesWhatTheToolWouldAndReportsFailures) {
    ScratchDir dir;
    RunCommand("mkdir -p " + ShellQuote(dir.Sub("src/sub")));
    WriteBytes(dir.Sub("src/QuillonInfo.ini"), "[UPDATEINFO]\r\nTitle=T\r\n");
    WriteBytes(dir.Sub("src/sub/fw.bin"), PatternBytes(100000, 2));
    ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.Sub("src")) + " && zip -q -r " + ShellQuote(dir.Sub("p.zip")) + " ."), 0);
    ToolRun r = Tool(dir, "package extract " + ShellQuote(dir.Sub("p.zip")) + " " + ShellQuote(dir.Sub("out")));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "extracted 3 entries, 0 failed\n");
    EXPECT_TRUE(ReadBytes(dir.Sub("out/sub/fw.bin")) == PatternBytes(100000, 2));
    EXPECT_EQ(ReadBytes(dir.Sub("out/QuillonInfo.ini")), "[UPDATEINFO]\r\nTitle=T\r\n");

    // A damaged entry: named on stderr with its code, not left on disk, exit 1.
    BuildEntry good;
    good.name = "good.txt";
    good.data = "good";
    BuildEntry broken;
    broken.name = "broken.bin";
    broken.data = PatternBytes(9000, 3);
    broken.flip_data_byte = 100;
    WriteBytes(dir.Sub("bad.zip"), BuildZip({good, broken}));
    r = Tool(dir, "package extract " + ShellQuote(dir.Sub("bad.zip")) + " " + ShellQuote(dir.Sub("out2")));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quillon-tool: entry 1\tbroken.bin\t00000700 Zipfile is corrupt or not a zipfile\n");
    EXPECT_EQ(r.out, "extracted 1 entries, 1 failed\n");
    EXPECT_EQ(ListTree(dir.Sub("out2")), std::vector<std::string>{"good.txt"});
}

TEST(QuillonToolPackage, ExtractHoldsTheDeclaredSizesToMaxSize) {
    ScratchDir dir;
    BuildEntry a;
    a.name = "a.bin";
    a.data = PatternBytes(3000, 1);
    BuildEntry b;
    b.name = "b.bin";
    b.data = PatternBytes(2000, 2);
    b.deflate = true;
    WriteBytes(dir.Sub("p.zip"), BuildZip({a, b}));
    const std::string zip = ShellQuote(dir.Sub("p.zip"));
    ToolRun r = Tool(dir, "package extract " + zip + " " + ShellQuote(dir.Sub("out")) + " --max-size 4999");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quillon-tool: " + dir.Sub("p.zip") +
                         ": the entries declare 5000 bytes, more than --max-size 4999; nothing was written\n");
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(ListTree(dir.Sub("out")).empty());
    r = Tool(dir, "package extract --max-size=5000 " + zip + " " + ShellQuote(dir.Sub("out")));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "extracted 2 entries, 0 failed\n");
    EXPECT_TRUE(ReadBytes(dir.Sub("out/b.bin")) == b.data);

    for (const char* bad : {"5k", "-1", "18446744073709551616", "0x10"}) {
        r = Tool(dir, "package extract " + zip + " " + ShellQuote(dir.Sub("o2")) + " --max-size=" + bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("--max-size " + std::string(bad) + ": not a number of bytes"), std::string::npos) << r.err;
    }
}

// A write that fails (here the file-size limit of the shell, as a full disk
// would) ends the extraction: no later entry is tried, nothing stays.
TEST(QuillonToolPackage, ExtractStopsAtTheFirstFailedWrite) {
    ScratchDir dir;
    std::vector<BuildEntry> entries(3);
    entries[0].name = "big.bin";
    entries[0].data = PatternBytes(400000, 5);
    entries[0].deflate = true;
    entries[1].name = "one.txt";
    entries[1].data = "one";
    entries[2].name = "two.txt";
    entries[2].data = "two";
    WriteBytes(dir.Sub("p.zip"), BuildZip(entries));
    // 200 blocks: 100 KiB or 200 KiB by the shell's unit, below the first entry.
    const std::string limited = "trap '' XFSZ; ulimit -f 200; " + ShellQuote(ToolPath()) + " package extract " +
                                ShellQuote(dir.Sub("p.zip")) + " " + ShellQuote(dir.Sub("out2")) + " >" +
                                ShellQuote(dir.Sub("o.txt")) + " 2>" + ShellQuote(dir.Sub("e.txt"));
    EXPECT_EQ(RunCommand("sh -c " + ShellQuote(limited)), 1);
    EXPECT_EQ(ReadBytes(dir.Sub("e.txt")),
              "quillon-tool: entry 0\tbig.bin\t00000400 Error writing to file\n"
              "quillon-tool: stopped at entry 0: a write failed, no later entry was written\n");
    EXPECT_EQ(ReadBytes(dir.Sub("o.txt")), "extracted 0 entries, 1 failed\n");
    EXPECT_TRUE(ListTree(dir.Sub("out2")).empty());
}

// A FIFO opened for reading waits for a writer for ever: every command that
// reads a file the user names refuses it at once.
TEST(QuillonToolPackage, PipesAreRefusedNotWaitedOn) {
    ScratchDir dir;
    ASSERT_EQ(mkfifo(dir.Sub("pipe").c_str(), 0600), 0);
    const std::string pipe = ShellQuote(dir.Sub("pipe"));
    const struct {
        std::string command;
        std::string err;
    } cases[] = {
        {"image info " + pipe, ": not a regular file (a pipe, device or link is not read)"},
        {"image verify " + pipe, ": not a regular file (a pipe, device or link is not read)"},
        {"image reseal " + pipe, ": not a regular file (a pipe, device or link is not read)"},
        {"image make " + ShellQuote(dir.Sub("o.img")) + " --firmware " + pipe + " --version 1.2.3.4 --build 1",
         ": not a regular file (a pipe, device or link is not read)"},
        {"package lint " + pipe, ": not a regular file (a pipe, device or link is not read)"},
        {"package list " + pipe, ": not a regular file"},
        {"package extract " + pipe + " " + ShellQuote(dir.Sub("out")), ": not a regular file"},
    };
    for (const auto& c : cases) {
        // timeout ends a command that blocks (status 124).
        const ToolRun r = ToolWithin(dir, 20, c.command);
        EXPECT_EQ(r.status, 1) << c.command;
        EXPECT_NE(r.err.find(dir.Sub("pipe") + c.err), std::string::npos) << c.command << "\n" << r.err;
    }
}

// An image past 4 GiB whose low 32 bits of size look small is refused by its
// whole size (a sparse file: no disk used).
TEST(QuillonToolPackage, ImageSizesAreReadInSixtyFourBits) {
    ScratchDir dir;
    WriteBytes(dir.Sub("big.img"), "");
    ASSERT_EQ(truncate(dir.Sub("big.img").c_str(), static_cast<off_t>((1ull << 32) + 20480)), 0);
    const ToolRun r = Tool(dir, "image info " + ShellQuote(dir.Sub("big.img")));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quillon-tool: " + dir.Sub("big.img") +
                         ": 4294987776 bytes, more than the 67108864 an input may have\n");
    EXPECT_EQ(r.out, "");
}

TEST(QuillonToolPackage, UsageAndExitCodes) {
    ScratchDir dir;
    ToolRun r = Tool(dir, "--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("quillon-tool package list PACKAGE.zip"), std::string::npos);
    EXPECT_NE(r.out.find("quillon-tool package extract PACKAGE.zip DIR"), std::string::npos);
    EXPECT_EQ(Tool(dir, "").status, 2);
    EXPECT_EQ(Tool(dir, "package").status, 2);
    EXPECT_EQ(Tool(dir, "package list").status, 2);
    EXPECT_EQ(Tool(dir, "package extract one.zip").status, 2);
    EXPECT_EQ(Tool(dir, "no-such-command").status, 2);
    r = Tool(dir, "package list " + ShellQuote(dir.Sub("missing.zip")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("00000200 Couldn't create/open file"), std::string::npos) << r.err;
    WriteBytes(dir.Sub("not.zip"), "this is not an archive at all");
    EXPECT_EQ(Tool(dir, "package extract " + ShellQuote(dir.Sub("not.zip")) + " " + ShellQuote(dir.Sub("o"))).status, 1);
}

}  // namespace
