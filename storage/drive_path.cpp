#include "storage/drive_path.h"

uint32_t DriveNumberOf(const WCH* path) {
    static const char kPrefix[] = "\\\\.\\PHYSICALDRIVE";
    size_t i = 0;
    for (; kPrefix[i]; ++i) {
        WCH c = path[i];
        if (c >= u'a' && c <= u'z') c = static_cast<WCH>(c - u'a' + u'A');
        if (c != static_cast<WCH>(kPrefix[i])) return 0;
    }
    uint32_t n = 0;
    for (; path[i] >= u'0' && path[i] <= u'9'; ++i) n = n * 10 + static_cast<uint32_t>(path[i] - u'0');
    return n;
}
