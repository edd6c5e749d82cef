// Fuzzes the reading of "QuillonInfo.ini" the way dialog initialisation does
// it (every UPDATEINFO key into the application state, the title decoding,
// the "<BR>" replacement) and the NandMap lookup of an image, with the
// fuzz input as the file; then the text helpers on their own with buffers of
// exactly the sizes they are given.
//   input: the file; its last 8 bytes also give the drive's NAND identity and LUN count.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <vector>

#include "core/app_state.h"
#include "fuzz/fuzz_util.h"
#include "package/config.h"
#include "platform/host/host_control.h"
#include "platform/wtext.h"

namespace {

// The work directory holds two images the map may name.
void PrepareWorkDir(const std::string& dir) {
    static bool done = false;
    if (done) return;
    const uint8_t byte = 0;
    fuzz::WriteFile(dir + "/fw_a.bin", &byte, 1);
    fuzz::WriteFile(dir + "/FW B.BIN", &byte, 1);
    done = true;
}

void CheckState(const AppState* s) {
    fuzz::Check(fuzz::Terminated(s->szTitle, 260), "title not terminated");
    fuzz::Check(fuzz::Terminated(s->SOCID, 64), "SOCID not terminated");
    fuzz::Check(fuzz::Terminated(s->ModelName, 260), "ModelName not terminated");
    fuzz::Check(fuzz::Terminated(s->FWVersion, 260), "FWVersion not terminated");
    fuzz::Check(fuzz::Terminated(s->NEWVERSION, 64), "NEWVERSION not terminated");
    fuzz::Check(fuzz::Terminated(s->BeforeMessage, 1024), "BeforeMessage not terminated");
    fuzz::Check(fuzz::Terminated(s->AfterMessage, 1024), "AfterMessage not terminated");
}

void FuzzTextHelpers(FuzzedDataProvider& in) {
    std::string raw = in.ConsumeRandomLengthString(4200);
    std::u16string text = fuzz::WideFromBytes(reinterpret_cast<const uint8_t*>(raw.data()), raw.size(), 2100);

    const size_t limit = in.ConsumeIntegralInRange<size_t>(0, 600);
    std::vector<BYTE> bytes(limit + 1);  // one spare byte: DecodeHexBytes may not touch it
    bytes[limit] = 0x5A;
    int stored = DecodeHexBytes(text.c_str(), bytes.data(), limit);
    fuzz::Check(stored >= 0 && size_t(stored) <= limit, "DecodeHexBytes stored more than its limit");
    fuzz::Check(bytes[limit] == 0x5A, "DecodeHexBytes wrote past its limit");

    const size_t width = in.ConsumeIntegralInRange<size_t>(1, 8);
    const size_t slots = in.ConsumeIntegralInRange<size_t>(0, 120);
    std::vector<WCH> tokens(width * slots + 1);
    const WCH* delimiters = in.ConsumeBool() ? u" " : u" |,\t";
    int count = SplitTokens(text.c_str(), delimiters, tokens.data(), width, slots);
    fuzz::Check(count >= 0 && size_t(count) <= slots, "SplitTokens made more tokens than slots");
    for (int i = 0; i < count; ++i)
        fuzz::Check(fuzz::Terminated(&tokens[size_t(i) * width], width), "token not terminated in its slot");

    // ReplaceAll on a buffer of exactly its capacity, with patterns that
    // grow, shrink and repeat the text.
    static const WCH* const kPatterns[][2] = {
        {u"<BR>", u"\r\n"}, {u"<BR>", u"<BR><BR>"}, {u"a", u"aaaaaaaa"}, {u"ab", u""}, {u"\r", u"<BR>"}};
    const auto& p = kPatterns[in.ConsumeIntegralInRange<size_t>(0, 4)];
    const size_t capacity = in.ConsumeIntegralInRange<size_t>(1, 1100);
    std::vector<WCH> buffer(capacity);
    WCopy(buffer.data(), capacity, text.c_str());
    ReplaceAll(buffer.data(), capacity, p[0], p[1]);
    fuzz::Check(fuzz::Terminated(buffer.data(), capacity), "ReplaceAll left the text unterminated");

    IsPlainFileName(text.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string dir = fuzz::ScratchDir("config");
    PrepareWorkDir(dir);
    const std::string ini = dir + "/QuillonInfo.ini";
    fuzz::WriteFile(ini, data, size);

    AppState* s = GetAppState();
    memset(s, 0, sizeof *s);
    s->bDebug = 1;  // the NandMap lookup logs its keys
    WCopy(s->szWorkDir, 260, fuzz::Wide(dir).c_str());
    WCopy(s->szIniPath, 260, fuzz::Wide(ini).c_str());
    ReadUpdateConfig(nullptr);
    CheckState(s);

    FuzzedDataProvider in(data, size);
    DiskInfo disk;
    memset(&disk, 0, sizeof disk);
    for (BYTE& b : disk.NandId) b = in.ConsumeIntegral<uint8_t>();
    disk.iLunCount = in.ConsumeIntegral<uint8_t>() % 4;
    WCH path[260];
    if (FindImageForNand(&disk, path) == 1) {
        // Whatever the map says, the image is a file directly in the work directory.
        size_t n = WLen(s->szWorkDir);
        fuzz::Check(memcmp(path, s->szWorkDir, n * sizeof(WCH)) == 0 && path[n] == u'\\',
                    "image path outside the work directory");
        for (const WCH* c = path + n + 1; *c; ++c)
            fuzz::Check(*c != u'\\' && *c != u'/', "image path with a folder in it");
    }
    HostDebugClear();

    FuzzTextHelpers(in);
    return 0;
}
