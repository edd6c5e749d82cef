// Windows-only check: FormatW against the system's own wsprintfW, case by
// case. Built with mingw-w64 and run under Wine (or on Windows) by
// scripts/checks/wsprintf-wine.sh. Prints each difference; exit 1 if any.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>

#include "platform/wtext.h"

namespace {

int g_failures = 0;
int g_total = 0;

template <typename... Args>
void Compare(const wchar_t* format, Args... args) {
    wchar_t expected[1100];
    WCH actual[1100];
    wsprintfW(expected, format, args...);
    FormatW(actual, 1100, reinterpret_cast<const WCH*>(format), args...);
    ++g_total;
    if (wcscmp(expected, reinterpret_cast<const wchar_t*>(actual)) != 0) {
        ++g_failures;
        printf("format %ls\n  wsprintfW [%ls]\n  FormatW   [%ls]\n", format, expected,
               reinterpret_cast<const wchar_t*>(actual));
    }
}

}  // namespace

int main() {
    Compare(L"[%s]", L"wide");
    Compare(L"[%S]", "narrow");
    Compare(L"%ls|%hs|%lS|%hS|%ws", L"w", "n", L"w", "n", L"w");
    Compare(L"[%6s][%-6s][%06s]", L"ab", L"cd", L"ef");
    Compare(L"[%.3s][%.2S]", L"abcdef", "xyz");
    Compare(L"%s", static_cast<const wchar_t*>(nullptr));
    Compare(L"%S", static_cast<const char*>(nullptr));
    Compare(L"%S", "\x80\x9F\xE9");
    Compare(L"%c%c|%C%hc%lc", L'A', 0xDF, 'a', 'b', L'c');
    Compare(L"[%3c][%-3c]", L'x', L'y');
    Compare(L"%d|%i|%u", -17, 42, -1);
    Compare(L"%d", static_cast<int>(0x80000000u));
    Compare(L"%ld|%lu|%hd|%hu", -5, 7u, 0x12345, -1);
    Compare(L"%I64d", static_cast<long long>(0x8000000000000000ull));
    Compare(L"%I64u|%I64x|%I64X", ~0ull, 0xABCDEF0123ull, 0xABCDEF0123ull);
    Compare(L"%016I64X|%I64X|%I32x", 1ull, -0x12345ll, -0x12345);
    Compare(L"%d %I64d %d %I64u %d", 1, -2ll, 3, 4ull, 5);
    Compare(L"%Id|%Iu|%p", static_cast<intptr_t>(-3), static_cast<uintptr_t>(4), reinterpret_cast<void*>(0xABCD));
    Compare(L"%x|%X|%02X|%02X|%04X|%08X|%08x", 0xbeefu, 0xbeefu, 5u, 0xABCu, 0x1Bu, 0xDEADBEEFu, -1);
    Compare(L"%#x|%#X|%#x|[%#6x]", 0x1fu, 0x1fu, 0u, 0x1fu);
    Compare(L"%3d%%|%3d%%|%3d%%", 5, 100, 1000);
    Compare(L"%05d|%5d|%-5d|%-05d|%010ld", -42, -42, 42, 42, -1);
    Compare(L"%.5d|%8.5d|%-8.5d|%08.3d|[%.0d]", 42, -42, -42, 7, 0);
    Compare(L"%%|%%%%|100%");
    Compare(L"%q%d|%I32X|%I3", 3, 0x1234567u);
    Compare(L"%s\\%I64d", L"C:\\Temp\\Quillon", 987654321ll);
    Compare(L"DISKLIB_NVME_FWActive Success OUT ");
    printf("%d of %d formats differ\n", g_failures, g_total);
    return g_failures ? 1 : 0;
}
