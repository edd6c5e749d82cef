// Fuzzes the Linux host's profile reader (the rules of
// GetPrivateProfileStringW) on the bytes of a file: every key the tool reads,
// the key listing of a section, and GetPrivateProfileIntW's number reading,
// into buffers of exactly the capacity given, so a unit written past it is
// caught by AddressSanitizer.
//   input: byte 0 picks the capacity, byte 1 the default text; the rest is the file.
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "platform/host/profile_parse.h"
#include "platform/wtext.h"

namespace {

const DWORD kCapacities[] = {1, 2, 3, 8, 30, 64, 260, 1024};
const WCH* const kDefaults[] = {u"", u"Package Error", u"  padded  ", u" "};

struct Query {
    const WCH* section;
    const WCH* key;
};
const Query kQueries[] = {
    {u"UPDATEINFO", u"TITLE"},      {u"UPDATEINFO", u"SOCID"},         {u"UPDATEINFO", u"ModelName"},
    {u"UPDATEINFO", u"FWVersion"},  {u"UPDATEINFO", u"NEWVERSION"},    {u"UPDATEINFO", u"bIsSATA"},
    {u"UPDATEINFO", u"PowerCtrl"},  {u"UPDATEINFO", u"BeforeMessage"}, {u"NandMap", u"AABBCCDDEEFF_1"},
    {u"NandMap", u"AABBCCDDEE_2"},  {u"", u"a"},                       {u" updateinfo ", u" title "},
    {u"UPDATEINFO", nullptr},       {u"NandMap", nullptr},             {u"", nullptr},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const DWORD capacity = kCapacities[data[0] % (sizeof kCapacities / sizeof kCapacities[0])];
    const WCH* fallback = kDefaults[data[1] % (sizeof kDefaults / sizeof kDefaults[0])];
    const BYTE* file = data + 2;
    const size_t file_size = size - 2;

    for (const Query& q : kQueries) {
        std::vector<WCH> out(capacity);  // exactly the capacity: ASan sees any unit beyond it
        DWORD n = host::ProfileGetString(file, file_size, q.section, q.key, fallback, out.data(), capacity);
        fuzz::Check(n < capacity || (capacity == 1 && n == 0), "result length not below the capacity");
        if (q.key) {
            fuzz::Check(out[n] == 0, "value not terminated at its length");
            fuzz::Check(WLen(out.data()) == n, "result length differs from the text's");
            host::ProfileTextToInt(out.data());
        } else {
            fuzz::Check(out[n] == 0, "key listing not terminated at its length");
            // A listing ends in two zeros, a cut one included (its length
            // then stops before the last two). A missing section gives the
            // default as a plain text instead.
            if (fallback[0] == 0 && capacity >= 2)
                fuzz::Check(n == 0 || out[n - 1] == 0 || (n + 1 < capacity && out[n + 1] == 0),
                            "key listing without its second terminator");
        }
    }
    // The number reader on the file's text itself (GetPrivateProfileIntW reads 30 units).
    std::u16string text = fuzz::WideFromBytes(file, file_size, 29);
    host::ProfileTextToInt(text.c_str());
    return 0;
}
