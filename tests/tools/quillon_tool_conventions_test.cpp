// quillon-tool's command-line conventions, one grouped test per command:
// for each bad input the exit code, the stream it lands on and the words
// that say what was wrong; and the --json documents, read back by Python.
#include <string>

#include <gtest/gtest.h>

#include "res/version.h"
#include "tests/package/zip_test_util.h"
#include "tests/tools/tool_run.h"

namespace {

struct Refusal {
    std::string arguments;
    int status;
    std::string message;  // the whole first stderr line
};

// Every refusal: nothing on stdout, the reason on stderr's first line and,
// for a usage error, the command's usage line after it.
void ExpectRefusals(const ScratchDir& dir, const std::vector<Refusal>& cases, const std::string& usage) {
    for (const Refusal& c : cases) {
        const ToolRun r = Tool(dir, c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments;
        EXPECT_EQ(r.out, "") << c.arguments;
        const std::string first = r.err.substr(0, r.err.find('\n'));
        EXPECT_EQ(first, c.message) << c.arguments;
        if (c.status == 2) EXPECT_EQ(r.err.substr(first.size() + 1), usage + "\n") << c.arguments;
        else EXPECT_EQ(r.err, first + "\n") << c.arguments;
    }
}

// Runs a Python expression over the JSON document the tool printed; true
// when it holds (and the document parses).
bool JsonHolds(const ScratchDir& dir, const std::string& document, const std::string& expression) {
    WriteBytes(dir.Sub("doc.json"), document);
    return RunPython("import json, sys\nd = json.load(open(sys.argv[1]))\nsys.exit(0 if (" + expression + ") else 1)\n",
                     {dir.Sub("doc.json")}) == 0;
}

TEST(QuillonToolConventions, VersionHelpAndUnknownCommands) {
    ScratchDir dir;
    ToolRun r = Tool(dir, "--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("quillon-tool ") + QN_VERSION_TEXT + "\n");
    EXPECT_EQ(r.err, "");
    r = Tool(dir, "-h");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("exit codes: 0 ok, 1 findings or a failure"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2 wrong arguments"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
    r = Tool(dir, "image --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("quillon-tool image verify IMAGE [--json]"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("quillon-tool package"), std::string::npos) << r.out;
    for (const auto& c : std::vector<std::pair<std::string, std::string>>{
             {"", "quillon-tool: missing command"},
             {"frob", "quillon-tool: unknown command 'frob'"},
             {"image", "quillon-tool: image needs a command"},
             {"image frob", "quillon-tool: unknown image command 'frob'"}}) {
        r = Tool(dir, c.first);
        EXPECT_EQ(r.status, 2) << c.first;
        EXPECT_EQ(r.out, "") << c.first;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.second) << c.first;
    }
}

TEST(QuillonToolConventions, TitleEncodeTakesDashedTextAfterDoubleDash) {
    ScratchDir dir;
    ToolRun r = Tool(dir, "title encode -- -x");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2D 00 78 00\n");
    // "help" and "-h" after "--" are text, not requests for help.
    EXPECT_EQ(Tool(dir, "title encode -- -h").out, "2D 00 68 00\n");
    EXPECT_EQ(Tool(dir, "title encode help").out, "68 00 65 00 6C 00 70 00\n");
    r = Tool(dir, "title encode -h");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, 32), "usage: quillon-tool title encode");
    ExpectRefusals(dir,
                   {{"title encode -x", 2, "quillon-tool: unknown option -x"},
                    {"title encode --json=1 a", 2, "quillon-tool: unknown option --json"},
                    {"title encode a b", 2, "quillon-tool: unexpected argument b"},
                    {"title encode", 2, "quillon-tool: missing arguments"}},
                   "usage: quillon-tool title encode TEXT");
    ExpectRefusals(dir, {{"title decode 00 11", 2, "quillon-tool: unexpected argument 11"}},
                   "usage: quillon-tool title decode HEX");
}

TEST(QuillonToolConventions, ImageInfoAndVerifyRefuseWhatIsNoFile) {
    ScratchDir dir;
    RunCommand("mkdir " + ShellQuote(dir.Sub("folder")));
    const std::string folder = dir.Sub("folder"), missing = dir.Sub("missing.img");
    for (const std::string command : {"info", "verify"}) {
        ExpectRefusals(dir,
                       {{"image " + command + " " + ShellQuote(folder), 1,
                         "quillon-tool: " + folder + ": is a folder, not a file"},
                        {"image " + command + " " + ShellQuote(missing), 1,
                         "quillon-tool: " + missing + ": no such file"},
                        {"image " + command + " --json=yes x", 2, "quillon-tool: --json takes no value"},
                        {"image " + command + " --jsn x", 2, "quillon-tool: unknown option --jsn"},
                        {"image " + command + " a b", 2, "quillon-tool: unexpected argument b"}},
                       "usage: quillon-tool image " + command + " IMAGE [--json]");
    }

    // A broken checksum: verify says so on stderr; with --json the verdict
    // is the document on stdout.
    const std::string fw = dir.Sub("fw.bin"), img = dir.Sub("a.img");
    WriteBytes(fw, PatternBytes(5000, 3));
    ASSERT_EQ(Tool(dir, "image make " + ShellQuote(img) + " --firmware=" + ShellQuote(fw) +
                            " --version=1A2B3C5E --build=0x10 --config-version=VX5A0100").status, 0);
    ToolRun r = Tool(dir, "image verify --json " + ShellQuote(img));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(JsonHolds(dir, r.out, "d['ok'] is True and d['variant'] == 'CRC-32C' and d['reason'] is None")) << r.out;
    r = Tool(dir, "image info " + ShellQuote(img) + " --json");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(JsonHolds(dir, r.out,
                          "d['magic'] and d['layout_ok'] and d['version'] == '1A2B3C5E' and d['ftl_build'] == 16 and "
                          "d['config_version'] == 'VX5A0100' and d['checksum']['matches'] == 'CRC-32C' and "
                          "d['checksum']['stored'] == d['checksum']['crc32c'] and len(d['regions']) == 3 and "
                          "d['size'] == " + std::to_string(ReadBytes(img).size())))
        << r.out;
    std::string bytes = ReadBytes(img);
    bytes[4096 + 7] ^= 1;
    WriteBytes(img, bytes);
    r = Tool(dir, "image verify " + ShellQuote(img));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "quillon-tool: " + img + ": checksum matches neither CRC-32C nor CRC-32\n");
    r = Tool(dir, "image verify --json " + ShellQuote(img));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(JsonHolds(dir, r.out, "d['ok'] is False and d['variant'] is None and 'neither' in d['reason']")) << r.out;
    r = Tool(dir, "image info --json " + ShellQuote(fw));
    EXPECT_TRUE(JsonHolds(dir, r.out, "d['magic'] is False and d['regions'] == [] and 'checksum' not in d")) << r.out;
}

TEST(QuillonToolConventions, ImageMakeSaysWhichOptionAndWhy) {
    ScratchDir dir;
    RunCommand("mkdir " + ShellQuote(dir.Sub("folder")));
    const std::string fw = dir.Sub("fw.bin"), empty = dir.Sub("empty.bin"), out = dir.Sub("o.img");
    WriteBytes(fw, PatternBytes(3000, 5));
    WriteBytes(empty, "");
    const std::string make = "image make " + ShellQuote(out);
    const std::string rest = " --version 1A2B3C5E --build 7";
    ExpectRefusals(
        dir,
        {{make + " --firmware " + ShellQuote(dir.Sub("folder")) + rest, 1,
          "quillon-tool: --firmware " + dir.Sub("folder") + ": is a folder, not a file"},
         {make + " --firmware " + ShellQuote(empty) + rest, 1, "quillon-tool: --firmware " + empty + ": the file is empty"},
         {make + " --firmware " + ShellQuote(dir.Sub("nope")) + rest, 1,
          "quillon-tool: --firmware " + dir.Sub("nope") + ": no such file"},
         {make + " --firmware " + ShellQuote(fw) + rest + " --config " + ShellQuote(dir.Sub("folder")), 1,
          "quillon-tool: --config " + dir.Sub("folder") + ": is a folder, not a file"}},
        "");
    ExpectRefusals(
        dir,
        {{make + " --firmware " + ShellQuote(fw) + rest + " --config-version VX5A01000", 2,
          "quillon-tool: --config-version VX5A01000: longer than the 8 characters the field holds"},
         {make + " --firmware " + ShellQuote(fw) + rest + " --config-version " + ShellQuote("VX5\xC3\xA9"), 2,
          "quillon-tool: --config-version VX5\xC3\xA9: only printable ASCII characters fit the field"},
         {make + " --firmware " + ShellQuote(fw) + " --version 1A2B3C5E --build 12x", 2,
          "quillon-tool: --build 12x: not a number from 0 to 4294967295 (decimal, or hexadecimal after 0x)"},
         {make + " --firmware " + ShellQuote(fw) + " --version 1A2B3C5E --build 0x100000000", 2,
          "quillon-tool: --build 0x100000000: not a number from 0 to 4294967295 (decimal, or hexadecimal after 0x)"},
         {make + " --firmware " + ShellQuote(fw) + " --version 1.2 --build 7", 2,
          "quillon-tool: --version 1.2: neither 1A2B3C4D (8 characters) nor 1.2.3.4"},
         {make + rest, 2, "quillon-tool: --firmware is required"},
         {make + " --firmware " + ShellQuote(fw) + " --version 1A2B3C5E", 2, "quillon-tool: --build is required"},
         {make + " --firmware= " + rest, 2, "quillon-tool: --firmware needs a value"},
         {make + " --firmware " + ShellQuote(fw) + rest + " --crc32=yes", 2, "quillon-tool: --crc32 takes no value"},
         {make + " --firmware " + ShellQuote(fw) + rest + " --sign", 2, "quillon-tool: unknown option --sign"},
         {"image make --firmware " + ShellQuote(fw) + rest, 2, "quillon-tool: missing arguments"}},
        "usage: quillon-tool image make OUT --firmware FILE [--config FILE] [--config-version TEXT] --version VERSION "
        "--build NUMBER [--crc32]");
    EXPECT_FALSE(FileExists(out));
    // An output named like an option, after "--" (made in the scratch folder).
    const std::string in_dir = "cd " + ShellQuote(dir.path) + " && " + ShellQuote(ToolPath());
    EXPECT_EQ(RunCommand(in_dir + " image make --firmware=" + ShellQuote(fw) + rest + " -- -out.img >/dev/null"), 0);
    EXPECT_EQ(ReadBytes(dir.Sub("-out.img")).substr(0, 4), "CMFG");
    EXPECT_EQ(RunCommand(in_dir + " image verify -- -out.img >/dev/null"), 0);
    ExpectRefusals(dir, {{"image reseal x --crc32 --crc32c", 2, "quillon-tool: --crc32c and --crc32 exclude each other"}},
                   "usage: quillon-tool image reseal IMAGE [--crc32c|--crc32]");
}

TEST(QuillonToolConventions, PackageListAndExtract) {
    ScratchDir dir;
    BuildEntry ini;
    ini.name = "QuillonInfo.ini";
    ini.data = "[UPDATEINFO]\r\n";
    BuildEntry odd;
    odd.name = "say \"hi\".txt";
    odd.data = "x";
    WriteBytes(dir.Sub("p.zip"), BuildZip({ini, odd}));
    ToolRun r = Tool(dir, "package list --json " + ShellQuote(dir.Sub("p.zip")));
    EXPECT_EQ(r.status, 1);  // the quote is refused on Windows
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(JsonHolds(dir, r.out,
                          "len(d['entries']) == 2 and d['failed'] == 1 and d['entries'][0]['name'] == "
                          "'QuillonInfo.ini' and d['entries'][0]['size'] == 14 and d['entries'][0]['result'] == 0 "
                          "and d['entries'][1]['name'] == 'say \"hi\".txt'"))
        << r.out;
    ExpectRefusals(dir,
                   {{"package list --all " + ShellQuote(dir.Sub("p.zip")), 2, "quillon-tool: unknown option --all"},
                    {"package list", 2, "quillon-tool: missing arguments"}},
                   "usage: quillon-tool package list PACKAGE.zip [--json]");
    ExpectRefusals(dir, {{"package extract a.zip", 2, "quillon-tool: too few arguments"}},
                   "usage: quillon-tool package extract PACKAGE.zip DIR [--max-size BYTES]");
}

}  // namespace
