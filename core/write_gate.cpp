// The write gate: a counter, and in a dry run a closed door with a notebook.
#include "core/write_gate.h"

#include <atomic>

#include "core/log.h"

namespace {

std::atomic<int> g_dry_run{0};
std::atomic<int> g_passed{0};
WritePlan g_plan;

uint32_t Crc32(const uint8_t* data, uint32_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

}  // namespace

void WriteGateReset(int dry_run) {
    g_dry_run.store(dry_run ? 1 : 0);
    g_passed.store(0);
    g_plan = WritePlan{};
}

int WriteGateDryRun() { return g_dry_run.load(); }

int WriteGatePass(const WCH* what) {
    if (g_dry_run.load()) {
        LogMsg(u"Dry run: %s not sent", what);
        return 0;
    }
    g_passed.fetch_add(1);
    return 1;
}

int WriteGatePassed() { return g_passed.load(); }

void WriteGateNoteImage(const uint8_t* image, uint32_t size, uint32_t piece_size) {
    g_plan.image_seen = 1;
    g_plan.image_size = size;
    g_plan.image_crc32 = image ? Crc32(image, size) : 0;
    g_plan.piece_size = piece_size;
    g_plan.pieces = piece_size ? (size + piece_size - 1) / piece_size : 0;
}

void WriteGateNoteConfigWrite() { g_plan.config_write = 1; }
void WriteGateNoteVersionWrite() { g_plan.version_write = 1; }

const WritePlan* WriteGatePlan() { return &g_plan; }
