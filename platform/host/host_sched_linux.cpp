// Turns, timers and the virtual clock (see host_sched.h), os::Sleep and
// os::GetTickCount64.
#include "platform/host/host_sched.h"

#include <chrono>
#include <deque>

#include "platform/host/host_control.h"
#include "platform/os.h"
#include "platform/trace/trace_hook.h"

namespace {

std::mutex g_mutex;
std::condition_variable g_changed;
std::deque<HostThread*> g_ready;
std::vector<HostThread*> g_timers;
HostThread* g_current = nullptr;
uint64_t g_clock = kHostClockStart;
uint64_t g_timer_seq = 0;
bool g_auto_advance = true;
// External threads now waiting in the host (for idle, a thread, an answer).
// Time jumps only while someone outside waits for the tool: a test that
// starts several threads one after another sees them all start before any
// deadline is reached.
int g_external_waiters = 0;
thread_local HostThread* t_self = nullptr;

void RemoveTimer(HostThread* thread) {
    for (size_t i = 0; i < g_timers.size(); i++) {
        if (g_timers[i] == thread) {
            g_timers.erase(g_timers.begin() + static_cast<long>(i));
            return;
        }
    }
}

void Resume(HostThread* thread, bool timed_out) {
    if (thread->timed) {
        RemoveTimer(thread);
        thread->timed = false;
    }
    thread->timed_out = timed_out;
    if (thread->external) {
        thread->state = kThreadRunning;
        thread->woken = true;
        thread->cv.notify_all();
    } else {
        thread->state = kThreadReady;
        g_ready.push_back(thread);
    }
}

// Wakes every timer due at the current time, earliest deadline first, ties
// in the order the waits began.
void ExpireTimers() {
    for (;;) {
        HostThread* due = nullptr;
        for (HostThread* t : g_timers) {
            if (t->deadline > g_clock) continue;
            if (!due || t->deadline < due->deadline ||
                (t->deadline == due->deadline && t->timer_seq < due->timer_seq))
                due = t;
        }
        if (!due) return;
        Resume(due, true);
    }
}

}  // namespace

std::mutex& HostMutex() { return g_mutex; }
HostThread* HostSelfManaged() { return t_self; }
void HostSetSelfManaged(HostThread* self) { t_self = self; }
uint64_t HostClockLocked() { return g_clock; }

void HostDispatch() {
    while (!g_current) {
        if (!g_ready.empty()) {
            HostThread* next = g_ready.front();
            g_ready.pop_front();
            next->state = kThreadRunning;
            g_current = next;
            next->cv.notify_all();
            break;
        }
        if (!g_auto_advance || g_external_waiters == 0 || g_timers.empty()) break;
        uint64_t earliest = g_timers[0]->deadline;
        for (HostThread* t : g_timers)
            if (t->deadline < earliest) earliest = t->deadline;
        if (earliest > g_clock) g_clock = earliest;
        ExpireTimers();
    }
    g_changed.notify_all();
}

bool HostQuiescent() { return !g_current && g_ready.empty() && (!g_auto_advance || g_timers.empty()); }

void HostExternalWaitBegin() {
    g_external_waiters++;
    HostDispatch();
}

void HostExternalWaitEnd() { g_external_waiters--; }

void HostNotifyChanged() { g_changed.notify_all(); }

bool HostWaitChanged(std::unique_lock<std::mutex>& lock, int wall_ms) {
    return g_changed.wait_for(lock, std::chrono::milliseconds(wall_ms)) == std::cv_status::no_timeout;
}

bool HostBlock(std::unique_lock<std::mutex>& lock, HostThread* self, bool timed, uint64_t deadline) {
    self->state = kThreadBlocked;
    self->woken = false;
    self->timed_out = false;
    self->timed = timed;
    if (timed) {
        self->deadline = deadline;
        self->timer_seq = g_timer_seq++;
        g_timers.push_back(self);
        if (deadline <= g_clock) Resume(self, true);
    }
    if (self->external) {
        HostExternalWaitBegin();
        self->cv.wait(lock, [self] { return self->woken; });
        HostExternalWaitEnd();
    } else {
        if (g_current == self) g_current = nullptr;
        HostDispatch();
        self->cv.wait(lock, [self] { return g_current == self; });
    }
    return !self->timed_out;
}

void HostWake(HostThread* thread) {
    if (thread->state != kThreadBlocked) return;
    Resume(thread, false);
    HostDispatch();
}

void HostMakeReady(HostThread* thread) {
    thread->state = kThreadReady;
    g_ready.push_back(thread);
    HostDispatch();
}

void HostYield(std::unique_lock<std::mutex>& lock) {
    HostThread* self = t_self;
    if (!self || g_current != self) return;
    self->state = kThreadReady;
    g_ready.push_back(self);
    g_current = nullptr;
    HostDispatch();
    self->cv.wait(lock, [self] { return g_current == self; });
}

void HostEnterManaged(std::unique_lock<std::mutex>& lock, HostThread* self) {
    t_self = self;
    self->state = kThreadReady;
    g_ready.push_back(self);
    HostDispatch();
    self->cv.wait(lock, [self] { return g_current == self; });
}

void HostLeaveManaged(std::unique_lock<std::mutex>&, HostThread* self) {
    self->state = kThreadFinished;
    if (g_current == self) g_current = nullptr;
    for (HostThread* joiner : self->joiners) HostWake(joiner);
    self->joiners.clear();
    t_self = nullptr;
    HostDispatch();
}

// ---- clock control -----------------------------------------------------------------

ULONGLONG HostClockNow() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_clock;
}

void HostClockAdvance(ULONGLONG milliseconds) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_clock += milliseconds;
    ExpireTimers();
    HostDispatch();
}

void HostClockReset() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_clock = kHostClockStart;
    HostDispatch();
}

void HostClockSetAutoAdvance(bool on) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_auto_advance = on;
    HostDispatch();
}

namespace os {

static void SleepOnTheClock(DWORD milliseconds) {
    std::unique_lock<std::mutex> lock(g_mutex);
    HostThread* self = t_self;
    if (!self) {
        g_clock += milliseconds;
        ExpireTimers();
        HostDispatch();
        return;
    }
    if (milliseconds == 0) {
        HostYield(lock);
        return;
    }
    HostBlock(lock, self, true, g_clock + milliseconds);
}

void Sleep(DWORD milliseconds) {
    SleepOnTheClock(milliseconds);
    const trace::DeviceHooks* hooks = trace::g_device_hooks;
    if (hooks && hooks->slept) hooks->slept(milliseconds);
}

ULONGLONG GetTickCount64() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_clock;
}

}  // namespace os
