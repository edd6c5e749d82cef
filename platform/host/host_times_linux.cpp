// SYSTEMTIME <-> FILETIME and local <-> UTC file times.
//
// Local time is the host's time zone (TZ, read again on every call, so a
// test may set it). Windows converts with the bias in force *now*; we use
// the bias in force at the instant converted, which gives the same result
// whenever daylight saving does not differ between the two and makes the
// result independent of the day the tests run.
#include <ctime>
#include <mutex>

#include "platform/os.h"

namespace {

constexpr int64_t kTicksPerSecond = 10000000LL;
constexpr int64_t kUnixEpochIn100ns = 116444736000000000LL;
constexpr int64_t kDays1601To1970 = 134774;

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;  // days since 1970-01-01
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

unsigned DaysInMonth(unsigned year, unsigned month) {
    static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

int64_t ToValue(const FILETIME& t) {
    return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

FILETIME FromValue(int64_t v) {
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(v));
    t.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(v) >> 32);
    return t;
}

// Seconds of local time minus UTC at a UTC instant.
std::mutex g_tz_mutex;

long OffsetAtUtc(int64_t utc_seconds) {
    std::lock_guard<std::mutex> lock(g_tz_mutex);
    tzset();
    time_t t = static_cast<time_t>(utc_seconds);
    struct tm local;
    if (!localtime_r(&t, &local)) return 0;
    return local.tm_gmtoff;
}

// Offset for a local wall time (the later offset when the time is ambiguous
// is mktime's choice; a time skipped by daylight saving is moved forward).
long OffsetAtLocal(int64_t local_seconds) {
    std::lock_guard<std::mutex> lock(g_tz_mutex);
    tzset();
    time_t t = static_cast<time_t>(local_seconds);
    struct tm wall;
    if (!gmtime_r(&t, &wall)) return 0;
    wall.tm_isdst = -1;
    time_t utc = mktime(&wall);
    if (utc == static_cast<time_t>(-1) && !(wall.tm_year == 69 && wall.tm_mon == 11 && wall.tm_mday == 31)) return 0;
    return static_cast<long>(local_seconds - static_cast<int64_t>(utc));
}

}  // namespace

namespace os {

BOOL SystemTimeToFileTime(const SYSTEMTIME* system, FILETIME* file) {
    if (!system || !file || system->wYear < 1601 || system->wYear > 30827 || system->wMonth < 1 ||
        system->wMonth > 12 || system->wDay < 1 || system->wDay > DaysInMonth(system->wYear, system->wMonth) ||
        system->wHour > 23 || system->wMinute > 59 || system->wSecond > 59 || system->wMilliseconds > 999) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t days = DaysFromCivil(system->wYear, system->wMonth, system->wDay) + kDays1601To1970;
    int64_t seconds = days * 86400 + system->wHour * 3600 + system->wMinute * 60 + system->wSecond;
    *file = FromValue(seconds * kTicksPerSecond + system->wMilliseconds * 10000LL);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* file, SYSTEMTIME* system) {
    if (!file || !system || ToValue(*file) < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t value = ToValue(*file);
    int64_t seconds = value / kTicksPerSecond;
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    int64_t year;
    unsigned month, day;
    CivilFromDays(days - kDays1601To1970, &year, &month, &day);
    system->wYear = static_cast<WORD>(year);
    system->wMonth = static_cast<WORD>(month);
    system->wDay = static_cast<WORD>(day);
    system->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1 January 1601 was a Monday
    system->wHour = static_cast<WORD>(rest / 3600);
    system->wMinute = static_cast<WORD>(rest / 60 % 60);
    system->wSecond = static_cast<WORD>(rest % 60);
    system->wMilliseconds = static_cast<WORD>(value % kTicksPerSecond / 10000);
    return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc) {
    if (!local || !utc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t value = ToValue(*local);
    int64_t local_seconds = (value - kUnixEpochIn100ns) / kTicksPerSecond;
    int64_t result = value - static_cast<int64_t>(OffsetAtLocal(local_seconds)) * kTicksPerSecond;
    if (result < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *utc = FromValue(result);
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) {
    if (!utc || !local) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t value = ToValue(*utc);
    int64_t utc_seconds = (value - kUnixEpochIn100ns) / kTicksPerSecond;
    int64_t result = value + static_cast<int64_t>(OffsetAtUtc(utc_seconds)) * kTicksPerSecond;
    if (result < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *local = FromValue(result);
    return TRUE;
}

}  // namespace os
