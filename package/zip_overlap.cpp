// The scan at open: where each entry's local record lies, which records
// overlap, and how many bytes the entries declare.
//
// A record runs from its local header to the end of its data. Records are
// sorted by start and swept once, keeping the record that reaches furthest:
// a record that starts before that end overlaps it, and both are marked.
#include <algorithm>
#include <cstdlib>

#include "package/zip_internal.h"

namespace {

constexpr DWORD kLocalFixedSize = 30;

struct Record {
    uint64_t start;
    uint64_t end;
    int index;
};

WORD Le16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }

// The local header's own name and extra lengths when it can be read; the
// central name length and no extra field otherwise (such an entry fails when
// it is extracted, its record still takes part).
uint64_t LocalRecordLength(ZipReaderState* s, const ZipCentralEntry& e) {
    BYTE h[kLocalFixedSize];
    uint64_t names = e.name_len;
    if (ZipReadAt(s, s->prefix_bytes + e.local_offset, h, kLocalFixedSize)) {
        names = static_cast<uint64_t>(Le16(h + 26)) + Le16(h + 28);
    }
    return kLocalFixedSize + names + e.comp_size;
}

}  // namespace

void ZipScanEntries(ZipReaderState* s) {
    s->scanned = false;
    s->declared_total = 0;
    const int count = s->entry_count;
    s->overlapping = static_cast<BYTE*>(std::calloc(count > 0 ? count : 1, 1));
    Record* records = static_cast<Record*>(std::malloc(sizeof(Record) * (count > 0 ? count : 1)));
    if (s->overlapping == nullptr || records == nullptr) {
        std::free(records);
        ZipGotoFirstEntry(s);
        return;
    }
    // Entries past one that cannot be read from the central directory cannot
    // be positioned on at all; they take no part.
    int kept = 0;
    for (int i = 0; i < count && ZipGotoEntry(s, i); ++i) {
        const ZipCentralEntry& e = s->current;
        s->declared_total += e.unc_size;
        records[kept].start = e.local_offset;
        records[kept].end = e.local_offset + LocalRecordLength(s, e);
        records[kept].index = i;
        ++kept;
    }
    std::sort(records, records + kept, [](const Record& a, const Record& b) { return a.start < b.start; });
    int reach = -1;  // the record that ends furthest so far
    for (int k = 0; k < kept; ++k) {
        if (reach >= 0 && records[k].start < records[reach].end) {
            s->overlapping[records[k].index] = 1;
            s->overlapping[records[reach].index] = 1;
        }
        if (reach < 0 || records[k].end > records[reach].end) reach = k;
    }
    std::free(records);
    s->scanned = true;
    ZipGotoFirstEntry(s);
}
