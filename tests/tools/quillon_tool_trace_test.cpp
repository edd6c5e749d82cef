// quillon-tool trace redact and trace machine on hand-made traces: what a
// user's trace holds privately must be gone from the text and from the
// answered bytes alike, each value replaced the same way everywhere and
// without moving a byte, so a replay still matches.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/package/zip_test_util.h"
#include "tests/tools/tool_run.h"

namespace {

using json = nlohmann::ordered_json;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) out += std::string{kDigits[c >> 4], kDigits[c & 15]};
    return out;
}
std::string Unhex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}
std::string Padded(const std::string& text, size_t n) { return (text + std::string(n, ' ')).substr(0, n); }
std::string Swapped(std::string s) {
    for (size_t i = 0; i + 1 < s.size(); i += 2) std::swap(s[i], s[i + 1]);
    return s;
}
std::string Wide(const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}
std::string Upper(std::string s) {
    for (char& c : s) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    return s;
}
void Put(std::string* b, size_t at, const std::string& part) { b->replace(at, part.size(), part); }
void Put32(std::string* b, size_t at, uint32_t v) { Put(b, at, Le32(v)); }

const char kNvmeSerial[] = "S4EWNX0R123456";
const char kAtaSerial[] = "WD-WCC4N1234567";
const char kDescriptorSerial[] = "0025_3881_0100_0001.";
const char kUsbSerial[] = "MSFT30123456";
const char kVolume[] = "Volume{6f8a3c1e-1234-4abc-9def-0123456789ab}";
const char kUser[] = "alice";
const char kInterfacePath[] =
    "\\\\?\\usbstor#disk&ven_asmt&prod_2362&rev_0#msft30123456&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

// A protocol-specific property answer: the 8-byte descriptor header, the
// 40-byte protocol block (data at 40 from it, 4096 long), then Identify Controller.
std::string NvmeIdentifyAnswer() {
    std::string b(48 + 4096, '\0');
    Put32(&b, 8 + 16, 40);
    Put32(&b, 8 + 20, 4096);
    Put(&b, 48 + 0, "\x7C\x1E\x7C\x1E");
    Put(&b, 48 + 4, Padded(kNvmeSerial, 20));
    Put(&b, 48 + 24, Padded("VELQORAX VX500 512GB", 40));
    Put(&b, 48 + 64, "VX5A0100");
    return b;
}

// ATA IDENTIFY DEVICE with its word-255 checksum.
std::string AtaIdentify() {
    std::string b(512, '\0');
    b[0] = 0x40;
    Put(&b, 20, Swapped(Padded(kAtaSerial, 20)));
    Put(&b, 46, Swapped(Padded("82.00A82", 8)));
    Put(&b, 54, Swapped(Padded("WDC WD10EFRX-68FYTN0", 40)));
    b[510] = static_cast<char>(0xA5);
    unsigned sum = 0;
    for (size_t i = 0; i < 511; ++i) sum += static_cast<unsigned char>(b[i]);
    b[511] = static_cast<char>((256 - (sum & 0xFF)) & 0xFF);
    return b;
}

// STORAGE_DEVICE_DESCRIPTOR with its serial text at offset 40.
std::string Descriptor() {
    std::string b(40, '\0');
    Put32(&b, 24, 40);
    Put32(&b, 28, 17);
    return b + kDescriptorSerial + std::string(1, '\0');
}

json Ioctl(int req, const json& meaning, const std::string& out) {
    return {{"kind", "ioctl"}, {"n", req + 10}, {"t", 3600000},  {"req", req},     {"handle", 1},
            {"path", "\\\\.\\PhysicalDrive1"}, {"code", "0x002D1400"}, {"meaning", meaning}, {"in", "00000000"},
            {"ok", 1}, {"error", 0}, {"returned", out.size()}, {"out", Hex(out)}};
}

std::vector<json> PrivateTrace() {
    std::vector<json> t;
    t.push_back({{"kind", "header"}, {"n", 0}, {"t", 3600000}, {"format", "quillon-trace"}, {"format_version", 1},
                 {"command_line", "\"/record:C:\\Users\\alice\\Desktop\\rec.jsonl\""}, {"full", false}});
    t.push_back({{"kind", "cm_device_id"}, {"n", 1}, {"devinst", 8}, {"cr", 0}, {"id", "USB\\VID_174C&PID_2362\\MSFT30123456"}});
    t.push_back({{"kind", "interface_detail"}, {"n", 2}, {"set", 1}, {"iface", 1}, {"ok", 1}, {"path", kInterfacePath}});
    t.push_back({{"kind", "open"}, {"n", 3}, {"path", kInterfacePath}, {"handle", 1}, {"error", 0}});
    t.push_back({{"kind", "registry_property"}, {"n", 4}, {"set", 1}, {"devinst", 8}, {"property", 1}, {"ok", 1},
                 {"bytes", Hex(Wide("USB\\VID_174C&PID_2362\\MSFT30123456") + std::string(2, '\0'))}});
    t.push_back(Ioctl(1, {{"what", "property"}, {"property", 49}, {"query", 0}, {"protocol", "03000000"}}, NvmeIdentifyAnswer()));
    json ata = Ioctl(2, {{"what", "ata"}, {"current", "00010000000000ec"}}, std::string(48, '\0'));
    ata["data_in"] = Hex(AtaIdentify());
    t.push_back(ata);
    t.push_back(Ioctl(3, {{"what", "property"}, {"property", 0}, {"query", 0}}, Descriptor()));
    // A parameter block sent to the drive that happens to carry the serial,
    // and an image piece known only by its digest.
    json sent = Ioctl(4, {{"what", "scsi"}, {"cdb", "ea5a8000"}}, "");
    sent["data_out"] = {{"length", 64}, {"sha256", std::string(64, 'a')}, {"bytes", Hex(Padded(kNvmeSerial, 64))}};
    t.push_back(sent);
    json piece = Ioctl(5, {{"what", "fw_download"}, {"offset", 0}, {"size", 4096}}, "");
    const std::string digest = "53345745" + std::string(56, '0');  // "S4EW" as hex digits
    piece["data_out"] = {{"length", 4096}, {"sha256", digest}};
    t.push_back(piece);
    t.push_back({{"kind", "dialog"}, {"n", 30}, {"event", "info"},
                 {"lines", {"model: VELQORAX VX500 512GB", std::string("serial: ") + kNvmeSerial}}});
    t.push_back({{"kind", "dialog"}, {"n", 31}, {"event", "log"},
                 {"text", std::string("mounted \\\\?\\") + kVolume + "\\ work folder C:\\Users\\alice\\AppData\\Local\\Temp"}});
    // A hub's ID Windows made up (with "&"): no serial in it.
    t.push_back({{"kind", "cm_device_id"}, {"n", 32}, {"devinst", 4}, {"cr", 0}, {"id", "USB\\VID_05E3&PID_0626\\5&1C3A9E2&0&2"}});
    return t;
}

void WriteTrace(const std::string& path, const std::vector<json>& records) {
    std::string text;
    for (const json& r : records) text += r.dump() + "\n";
    WriteBytes(path, text);
}
std::vector<json> ReadTrace(const std::string& path) {
    std::vector<json> out;
    const std::string text = ReadBytes(path);
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        out.push_back(json::parse(text.substr(start, end - start)));
        start = end + 1;
    }
    return out;
}

struct Redacted {
    ToolRun run;
    std::vector<json> before, after;
    std::string text;  // the redacted file as it is
};
Redacted RedactPrivateTrace(const ScratchDir& dir) {
    Redacted r;
    r.before = PrivateTrace();
    WriteTrace(dir.Sub("in.jsonl"), r.before);
    r.run = Tool(dir, "trace redact " + ShellQuote(dir.Sub("in.jsonl")) + " " + ShellQuote(dir.Sub("out.jsonl")));
    r.text = ReadBytes(dir.Sub("out.jsonl"));
    r.after = ReadTrace(dir.Sub("out.jsonl"));
    return r;
}

TEST(QuillonToolTraceRedact, NoPrivateValueIsLeftInTextsOrAnsweredBytes) {
    ScratchDir dir;
    Redacted r = RedactPrivateTrace(dir);
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    ASSERT_EQ(r.after.size(), r.before.size());
    // Every hex field decoded, next to the file's own text.
    std::string everything = r.text;
    for (const json& rec : r.after) {
        for (const char* field : {"out", "data_in", "bytes"})
            if (rec.contains(field)) everything += Unhex(rec[field].get<std::string>());
    }
    const std::string values[] = {kNvmeSerial, kDescriptorSerial, kUsbSerial, "msft30123456", "6f8a3c1e", "alice"};
    for (const std::string& v : values) EXPECT_FALSE(Has(everything, v)) << v;
    EXPECT_FALSE(Has(everything, Swapped(Padded(kAtaSerial, 20)).substr(0, 14))) << "the ATA serial, as stored";
    EXPECT_FALSE(Has(everything, Wide(kUsbSerial))) << "the USB serial in a wide property";
    // stdout names kinds, placeholders and counts, never the values.
    for (const std::string& v : values) EXPECT_FALSE(Has(r.run.out, v)) << r.run.out;
    EXPECT_TRUE(Has(r.run.out, "serial number\tSN")) << r.run.out;
    EXPECT_TRUE(Has(r.run.out, "volume GUID\tVolume{00000000-0000-0000-0000-000000000001}")) << r.run.out;
    EXPECT_TRUE(Has(r.run.out, "user name\tUSER1")) << r.run.out;
    EXPECT_TRUE(Has(r.run.out, "replaced 4 serial numbers, 1 volume GUIDs, 1 user names")) << r.run.out;
}

TEST(QuillonToolTraceRedact, OneValueOnePlaceholderOfItsLengthEverywhere) {
    ScratchDir dir;
    Redacted r = RedactPrivateTrace(dir);
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    // Byte fields keep their sizes: offsets inside answers stay valid.
    for (size_t i = 0; i < r.before.size(); ++i) {
        for (const char* field : {"out", "data_in", "bytes", "in"}) {
            if (r.before[i].contains(field)) {
                EXPECT_EQ(r.after[i][field].get<std::string>().size(), r.before[i][field].get<std::string>().size());
            }
        }
    }

    // The NVMe serial: in the Identify data and in the dialog's line, the same placeholder.
    const std::string identify = Unhex(r.after[5]["out"].get<std::string>());
    const std::string field = identify.substr(48 + 4, 20);
    const std::string placeholder = field.substr(0, std::string(kNvmeSerial).size());
    EXPECT_EQ(field.substr(placeholder.size()), std::string(6, ' ')) << "padding kept";
    EXPECT_NE(placeholder, kNvmeSerial);
    EXPECT_EQ(identify.substr(48 + 24, 20), "VELQORAX VX500 512GB") << "the model is not private";
    EXPECT_EQ(r.after[10]["lines"][1].get<std::string>(), "serial: " + placeholder);

    // The USB serial: instance ID, interface path (lower case), the handle's
    // path and the wide registry text all agree.
    const std::string id = r.after[1]["id"].get<std::string>();
    ASSERT_EQ(id.rfind("USB\\VID_174C&PID_2362\\", 0), 0u) << id;
    const std::string usb = id.substr(22);
    EXPECT_EQ(usb.size(), std::string(kUsbSerial).size());
    EXPECT_EQ(r.after[2]["path"], r.after[3]["path"]) << "the open must still find its interface";
    EXPECT_TRUE(Has(Upper(r.after[2]["path"].get<std::string>()), "#" + usb + "&0#")) << r.after[2]["path"];
    EXPECT_EQ(Unhex(r.after[4]["bytes"].get<std::string>()), Wide(id) + std::string(2, '\0'));
    EXPECT_EQ(r.after[12]["id"], r.before[12]["id"]);

    // User name and volume GUID in the texts.
    EXPECT_TRUE(Has(r.after[0]["command_line"].get<std::string>(), "C:\\Users\\USER1\\Desktop\\rec.jsonl"));
    EXPECT_TRUE(Has(r.after[11]["text"].get<std::string>(), "C:\\Users\\USER1\\AppData"));
    EXPECT_TRUE(Has(r.after[11]["text"].get<std::string>(), "Volume{00000000-0000-0000-0000-000000000001}"));
}

TEST(QuillonToolTraceRedact, AtaIdentifyKeepsItsSwappedLayoutAndChecksum) {
    ScratchDir dir;
    Redacted r = RedactPrivateTrace(dir);
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    const std::string b = Unhex(r.after[6]["data_in"].get<std::string>());
    ASSERT_EQ(b.size(), 512u);
    const std::string serial = Swapped(b.substr(20, 20));
    const size_t length = std::string(kAtaSerial).size();
    EXPECT_EQ(serial.find_first_of(' '), length) << "same length, same padding: " << serial;
    EXPECT_TRUE(Has(r.run.out, "serial number\t" + serial.substr(0, length) + "\t15 characters\t1 places")) << r.run.out;
    EXPECT_EQ(Swapped(b.substr(54, 40)).substr(0, 12), "WDC WD10EFRX");
    unsigned sum = 0;
    for (unsigned char c : b) sum += c;
    EXPECT_EQ(sum & 0xFF, 0u) << "word 255 no longer checks";
    EXPECT_EQ(static_cast<unsigned char>(b[510]), 0xA5);
}

TEST(QuillonToolTraceRedact, DataSentToTheDriveGetsItsDigestAnewAndOtherDigestsStay) {
    ScratchDir dir;
    Redacted r = RedactPrivateTrace(dir);
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    // Replay matches what went out by length and SHA-256: redacted bytes
    // carry the digest of what they are now.
    const json& sent = r.after[8]["data_out"];
    const std::string bytes = Unhex(sent["bytes"].get<std::string>());
    EXPECT_EQ(bytes.size(), 64u);
    EXPECT_FALSE(Has(bytes, kNvmeSerial));
    EXPECT_EQ(bytes.substr(0, 6), Unhex(r.after[5]["out"].get<std::string>()).substr(48 + 4, 6)) << "the same placeholder";
    WriteBytes(dir.Sub("sent.bin"), bytes);
    EXPECT_EQ(RunPython("import hashlib, sys\n"
                        "sys.exit(0 if hashlib.sha256(open(sys.argv[1], 'rb').read()).hexdigest() == sys.argv[2] else 1)\n",
                        {dir.Sub("sent.bin"), sent["sha256"].get<std::string>()}),
              0)
        << sent["sha256"];
    // A piece known only by its digest is left as it was, digest and all.
    EXPECT_EQ(r.after[9]["data_out"], r.before[9]["data_out"]);
    // Codes and the record order are untouched.
    for (size_t i = 0; i < r.before.size(); ++i) {
        EXPECT_EQ(r.after[i]["kind"], r.before[i]["kind"]);
        if (r.before[i].contains("code")) {
            EXPECT_EQ(r.after[i]["code"], r.before[i]["code"]);
        }
    }
}

TEST(QuillonToolTraceRedact, MegabyteTextsAndOddFieldsDoNotStopIt) {
    ScratchDir dir;
    std::vector<json> t = PrivateTrace();
    t.push_back({{"kind", "dialog"}, {"n", 40}, {"event", "log"},
                 {"text", "C:\\Users\\" + std::string(1 << 20, 'a') + " USB\\VID_174C&PID_2362\\" + std::string(1 << 20, 'b')}});
    // Byte fields that are not hex, numbers where texts belong, an answer too short for its header.
    t.push_back({{"kind", "ioctl"}, {"n", 41}, {"out", "xyz"}, {"data_in", 7}, {"meaning", {{"what", "property"}, {"property", 0}, {"query", 0}}}});
    t.push_back({{"kind", "ioctl"}, {"n", 42}, {"out", "0000"}, {"meaning", {{"what", "scsi"}, {"cdb", "120180"}}}, {"data_in", "00"}});
    WriteTrace(dir.Sub("in.jsonl"), t);
    ToolRun r = Tool(dir, "trace redact " + ShellQuote(dir.Sub("in.jsonl")) + " " + ShellQuote(dir.Sub("out.jsonl")));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<json> after = ReadTrace(dir.Sub("out.jsonl"));
    ASSERT_EQ(after.size(), t.size());
    const std::string text = after[13]["text"].get<std::string>();
    EXPECT_EQ(text.size(), t[13]["text"].get<std::string>().size());
    EXPECT_EQ(text.substr(0, 14), "C:\\Users\\USER2") << "the long folder name's first 128 characters";
    EXPECT_EQ(after[14], t[14]);
    r = Tool(dir, "trace machine " + ShellQuote(dir.Sub("in.jsonl")) + " " + ShellQuote(dir.Sub("m.json")));
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(QuillonToolTraceRedact, RefusesWhatIsNotATraceAndWrongArguments) {
    ScratchDir dir;
    WriteBytes(dir.Sub("notes.txt"), "{\"kind\": \"open\"}\n");
    ToolRun r = Tool(dir, "trace redact " + ShellQuote(dir.Sub("notes.txt")) + " " + ShellQuote(dir.Sub("o")));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "not a trace")) << r.err;
    EXPECT_FALSE(FileExists(dir.Sub("o")));
    WriteBytes(dir.Sub("broken.jsonl"), "{\"kind\": \"header\", \"format\": \"quillon-trace\"}\n{\"kind\": \n");
    r = Tool(dir, "trace redact " + ShellQuote(dir.Sub("broken.jsonl")) + " " + ShellQuote(dir.Sub("o")));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "line 2: not a JSON object")) << r.err;
    r = Tool(dir, "trace redact " + ShellQuote(dir.Sub("missing.jsonl")) + " " + ShellQuote(dir.Sub("o")));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "no such file")) << r.err;
    r = Tool(dir, "trace redact " + ShellQuote(dir.Sub("notes.txt")));
    EXPECT_EQ(r.status, 2);
}

}  // namespace
