// A countdown over every request the machine answers: the nth from the
// moment it is armed fails, once or from then on, so a sweep can fail each
// request of an operation in turn without knowing what the request is.
// The fields are atomics: the test thread arms it while no request runs,
// and the request path reads it under the machine's lock.
#include "platform/sim/sim_countdown.h"

#include <atomic>

#include "platform/sim/sim_machine.h"

namespace sim {

namespace {

constexpr DWORD kGenFailure = 31;  // ERROR_GEN_FAILURE

std::atomic<bool> g_armed{false};
std::atomic<int> g_nth{0};
std::atomic<bool> g_for_good{false};
std::atomic<int> g_way{0};
std::atomic<int> g_counted{0};
std::atomic<int> g_failed{0};
std::atomic<int> g_first_failed{0};
// The request in progress is one the countdown fails, and the failure has
// not been given yet (a request meets several fault points).
std::atomic<bool> g_current{false};

FaultAction Way() { return static_cast<FaultAction>(g_way.load()); }

void Fired() {
    g_current = false;
    ++g_failed;
    if (g_first_failed == 0) g_first_failed = g_counted.load();
}

}  // namespace

void ArmCountdown(int nth, FaultAction way, bool for_good) {
    g_nth = nth;
    g_way = static_cast<int>(way);
    g_for_good = for_good;
    g_counted = 0;
    g_failed = 0;
    g_first_failed = 0;
    g_current = false;
    g_armed = true;
}

void DisarmCountdown() {
    g_armed = false;
    g_current = false;
}

CountdownStatus GetCountdownStatus() {
    CountdownStatus s;
    s.counted = g_counted;
    s.failed = g_failed;
    s.first_failed = g_first_failed;
    return s;
}

bool CountdownBegin(DWORD* error) {
    g_current = false;
    if (!g_armed) return false;
    int n = ++g_counted;
    int nth = g_nth;
    if (nth < 1 || n < nth || (n > nth && !g_for_good)) return false;
    if (Way() == FaultAction::kWin32Error) {
        ++g_failed;
        if (g_first_failed == 0) g_first_failed = n;
        *error = kGenFailure;
        return true;
    }
    g_current = true;
    return false;
}

bool CountdownTake(FaultMatch match, Outcome* outcome, uint8_t* ata_error, bool* vanish) {
    *vanish = false;
    if (!g_current) return false;
    FaultAction way = Way();
    if (way == FaultAction::kVanish) {
        *outcome = Win32Failure(55);  // ERROR_DEV_NOT_EXIST
        *vanish = true;
        Fired();
        return true;
    }
    if (way == FaultAction::kCheckCondition && match == FaultMatch::kCdb) {
        *outcome = CheckCondition(0x0B, 0x00, 0x00);  // ABORTED COMMAND
        Fired();
        return true;
    }
    if (way == FaultAction::kAtaError && match == FaultMatch::kAta) {
        *outcome = Outcome();
        if (ata_error) *ata_error = 0x04;  // ABRT
        Fired();
        return true;
    }
    return false;
}

bool CountdownGarbleHere(GarbleMode* mode, uint32_t* seed) {
    if (!g_current || Way() != FaultAction::kGarble) return false;
    int n = g_counted.load();
    *mode = static_cast<GarbleMode>(n % 3);
    *seed = static_cast<uint32_t>(n) * 2654435761u;
    Fired();
    return true;
}

}  // namespace sim
