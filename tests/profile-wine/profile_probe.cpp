// Reads a fixed set of queries from the profile files that make_inis.py
// writes and prints every answer, one line each. Built twice: for Windows
// (the real profile functions, run under Wine) and for Linux (os::, the
// host's implementation); the two outputs must be identical.
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
namespace {
typedef wchar_t Ch;
#define T(s) L##s
DWORD GetString(const Ch* s, const Ch* k, const Ch* d, Ch* o, DWORD n, const Ch* f) {
    return GetPrivateProfileStringW(s, k, d, o, n, f);
}
UINT GetInt(const Ch* s, const Ch* k, int d, const Ch* f) { return GetPrivateProfileIntW(s, k, d, f); }
const Ch kSep = L'\\';
}  // namespace
#else
#include "platform/os.h"
namespace {
typedef char16_t Ch;
#define T(s) u##s
DWORD GetString(const Ch* s, const Ch* k, const Ch* d, Ch* o, DWORD n, const Ch* f) {
    return os::GetPrivateProfileStringW(s, k, d, o, n, f);
}
UINT GetInt(const Ch* s, const Ch* k, int d, const Ch* f) { return os::GetPrivateProfileIntW(s, k, d, f); }
const Ch kSep = u'/';
}  // namespace
#endif

namespace {

struct StringQuery {
    const char* file;
    const Ch* section;
    const Ch* key;
    const Ch* fallback;
    DWORD capacity;
};

struct IntQuery {
    const char* file;
    const Ch* section;
    const Ch* key;
    int fallback;
};

const StringQuery kStrings[] = {
    {"basic_crlf.ini", T("UPDATEINFO"), T("TITLE"), T(""), 260},
    {"basic_crlf.ini", T("  updateinfo  "), T("  title "), T(""), 260},
    {"basic_crlf.ini", T("UPDATEINFO"), T("SOCID"), T(""), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T("quoted"), T(""), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T("single"), T(""), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T("mismatch"), T(""), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T("onlyquote"), T("d"), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T("emptyq"), T("d"), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T("inner"), T(""), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T("noval"), T("dflt"), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T("empty"), T("dflt"), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T("eqs"), T(""), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T("dup"), T(""), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T("comment"), T(""), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T(";hidden"), T("none"), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T("hidden"), T("none"), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T("tabbed"), T(""), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T("late"), T("absent"), 64},
    {"basic_crlf.ini", T("Spaced"), T("k"), T("absent"), 64},
    {"basic_crlf.ini", T(" Spaced "), T("k"), T("absent"), 64},
    {"basic_crlf.ini", T("NandMap"), T("89c40832a600_1"), T(""), 260},
    {"basic_crlf.ini", T("NandMap"), T("2CC30832EA_2"), T(""), 260},
    {"basic_crlf.ini", T("NandMap"), T("2CC30832EA_1"), T(""), 260},
    {"basic_crlf.ini", T("UPDATEINFO"), T("missing"), T("  dflt  "), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T("missing"), T("\"qd\""), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T("missing"), T("   "), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T("missing"), nullptr, 64},
    {"basic_crlf.ini", T("NoSuchSection"), T("SOCID"), T("d"), 64},
    {"basic_lf.ini", T("UPDATEINFO"), T("TITLE"), T(""), 260},
    {"basic_lf.ini", T("UPDATEINFO"), T("dup"), T(""), 64},
    {"basic_lf.ini", T("NandMap"), T("2CC30832EA_2"), T(""), 260},
    {"basic_cr.ini", T("UPDATEINFO"), T("TITLE"), T(""), 260},
    {"basic_cr.ini", T("Ints"), T("power2"), T(""), 64},
    {"odd.ini", T(""), T("top"), T("absent"), 64},
    {"odd.ini", T("broken"), T("x"), T("absent"), 64},
    {"odd.ini", T(""), T("[broken"), T("absent"), 64},
    {"odd.ini", T(""), T("x"), T("absent"), 64},
    {"odd.ini", T("a]b"), T("k"), T("absent"), 64},
    {"odd.ini", T("a"), T("k"), T("absent"), 64},
    {"odd.ini", T("Sec"), T("k"), T("absent"), 64},
    {"odd.ini", T("indented"), T("k"), T("absent"), 64},
    {"odd.ini", T("Blank"), T("k"), T("absent"), 64},
    {"odd.ini", T("Blank"), T("k2"), T("absent"), 64},
    {"utf16le.ini", T("UPDATEINFO"), T("TITLE"), T(""), 64},
    {"utf16le.ini", T("updateinfo"), T("socid"), T(""), 64},
    {"utf16le.ini", T("\u00e9T\u00c9"), T("k"), T("absent"), 64},
    {"utf16be.ini", T("UPDATEINFO"), T("TITLE"), T(""), 64},
    {"utf16be.ini", T("UPDATEINFO"), T("SOCID"), T(""), 64},
    {"utf8bom.ini", T("UPDATEINFO"), T("TITLE"), T(""), 64},
    {"utf8bom.ini", T("UPDATEINFO"), T("SOCID"), T(""), 64},
    {"ansi.ini", T("UPDATEINFO"), T("name"), T(""), 64},
    {"ansi.ini", T("UPDATEINFO"), T("nbsp"), T(""), 64},
    {"ansi.ini", T("UPDATEINFO"), T("UP"), T(""), 64},
    {"ansi.ini", T("\u00e9t\u00e9"), T("k"), T("absent"), 64},
    {"empty.ini", T("UPDATEINFO"), T("TITLE"), T("Package Error"), 260},
    {"empty.ini", T("UPDATEINFO"), T("TITLE"), T("'q'"), 260},
    {"nofile.ini", T("UPDATEINFO"), T("TITLE"), T("Package Error"), 260},
    {"nofile.ini", T("UPDATEINFO"), T("TITLE"), T("'q'"), 260},
    {"nodir/nofile.ini", T("UPDATEINFO"), T("TITLE"), T("'q'"), 260},
    {"long.ini", T("L"), T("v"), T(""), 260},
    {"long.ini", T("L"), T("v"), T(""), 64},
    {"long.ini", T("L"), T("v"), T(""), 1024},
    {"long.ini", T("L"), T("v"), T(""), 2},
    {"long.ini", T("L"), T("v"), T(""), 1},
    {"long.ini", T("L"), T("q"), T(""), 11},
    {"long.ini", T("L"), T("q"), T(""), 10},
    {"long.ini", T("L"), T("q"), T(""), 9},
    {"long.ini", T("L"), T("q"), T(""), 8},
    {"long.ini", T("L"), T("q"), T(""), 5},
    {"list.ini", T("NandMap"), nullptr, T(""), 260},
    {"list.ini", T("NandMap"), nullptr, T(""), 12},
    {"list.ini", T("NandMap"), nullptr, T(""), 9},
    {"list.ini", T("NandMap"), nullptr, T(""), 8},
    {"list.ini", T("NandMap"), nullptr, T(""), 6},
    {"list.ini", T("NandMap"), nullptr, T(""), 3},
    {"list.ini", T("NandMap"), nullptr, T(""), 2},
    {"list.ini", T("NandMap"), nullptr, T(""), 1},
    {"list.ini", T("NandMap"), nullptr, T("dflt"), 2},
    {"list.ini", T("Nothing"), nullptr, T("dflt"), 64},
    {"list.ini", T("Other"), nullptr, T(""), 64},
    {"basic_crlf.ini", T("NandMap"), nullptr, T(""), 260},
    {"odd.ini", T(""), nullptr, T("dflt"), 64},
    {"list.ini", T("EmptySec"), nullptr, T("dflt"), 64},
    {"list.ini", T("OnlyComments"), nullptr, T("dflt"), 64},
    {"list.ini", T("EmptySec"), T("x"), T("dflt"), 64},
    {"utf16le.ini", T("UPDATEINFO"), T("sp"), T(""), 64},
    {"utf16le.ini", T("UPDATEINFO"), T("vt"), T(""), 64},
    {"odd.ini", T("[broken"), T("x"), T("absent"), 64},
    {"basic_crlf.ini", T("UPDATEINFO"), T(""), T("d"), 64},
    {"basic_crlf.ini", T("NandMap"), T(""), T("d"), 64},
};

const IntQuery kInts[] = {
    {"basic_crlf.ini", T("Ints"), T("plain"), 5},     {"basic_crlf.ini", T("Ints"), T("neg"), 5},
    {"basic_crlf.ini", T("Ints"), T("plus"), 5},      {"basic_crlf.ini", T("Ints"), T("hex"), 5},
    {"basic_crlf.ini", T("Ints"), T("hexupper"), 5},  {"basic_crlf.ini", T("Ints"), T("octal"), 5},
    {"basic_crlf.ini", T("Ints"), T("bin"), 5},       {"basic_crlf.ini", T("Ints"), T("lead"), 5},
    {"basic_crlf.ini", T("Ints"), T("trail"), 5},     {"basic_crlf.ini", T("Ints"), T("big"), 5},
    {"basic_crlf.ini", T("Ints"), T("huge"), 5},      {"basic_crlf.ini", T("Ints"), T("nodigit"), 5},
    {"basic_crlf.ini", T("Ints"), T("quoted"), 5},    {"basic_crlf.ini", T("Ints"), T("empty"), 5},
    {"basic_crlf.ini", T("Ints"), T("power1"), 5},    {"basic_crlf.ini", T("Ints"), T("power2"), 5},
    {"basic_crlf.ini", T("Ints"), T("minus0"), 5},    {"basic_crlf.ini", T("Ints"), T("spaceq"), 5},
    {"basic_crlf.ini", T("Ints"), T("minusbig"), 5},  {"basic_crlf.ini", T("Ints"), T("absent"), 3},
    {"basic_crlf.ini", T("Ints"), T("absent"), -1},   {"nofile.ini", T("Ints"), T("plain"), 3},
    {"basic_lf.ini", T("Ints"), T("hex"), 5},         {"basic_cr.ini", T("Ints"), T("neg"), 5},
};

void Join(const Ch* dir, const char* name, Ch* out) {
    size_t n = 0;
    while (dir[n]) out[n] = dir[n], ++n;
    out[n++] = kSep;
    for (const char* p = name; *p; ++p) out[n++] = *p == '/' ? kSep : Ch(*p);
    out[n] = 0;
}

void PrintText(const Ch* text, size_t units) {
    for (size_t i = 0; i < units; ++i) {
        unsigned c = unsigned(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') putchar(int(c));
        else printf("\\u%04X", c);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: profile_probe DIR\n");
        return 2;
    }
    Ch dir[512];
    size_t n = 0;
    for (const char* p = argv[1]; *p && n < 511; ++p) dir[n++] = Ch(static_cast<unsigned char>(*p));
    dir[n] = 0;
    int index = 0;
    for (const StringQuery& q : kStrings) {
        Ch path[700];
        Join(dir, q.file, path);
        Ch out[1100];
        for (Ch& c : out) c = Ch(0x2A);  // '*' shows what was written
        DWORD got = GetString(q.section, q.key, q.fallback, out, q.capacity, path);
        printf("s%02d ret=%u [", index++, unsigned(got));
        // Show the whole buffer for key lists, the text otherwise.
        size_t shown = 0;
        if (q.key) {
            while (shown < q.capacity && out[shown]) ++shown;
        } else {
            shown = q.capacity;
        }
        PrintText(out, shown);
        printf("]\n");
    }
    index = 0;
    for (const IntQuery& q : kInts) {
        Ch path[700];
        Join(dir, q.file, path);
        printf("i%02d %u\n", index++, GetInt(q.section, q.key, q.fallback, path));
    }
    return 0;
}
