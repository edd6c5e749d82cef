// Inside the Linux host: how the tool's threads take turns over virtual time.
//
// The dialog thread and every thread made by os::CreateThread are "managed":
// exactly one of them runs tool code at a time (it holds the turn). A
// managed thread gives up the turn only inside host calls that would wait on
// Windows: waiting for a message, a cross-thread SendMessageW, PostMessageW
// to another thread (so the receiver handles what was posted, as a dialog
// keeps up with a worker in real time), Sleep, WaitForSingleObject, and when
// it ends. Turns go to ready threads in the order they became ready.
//
// Virtual time moves only when no managed thread can run and an external
// thread waits in the host: then the clock jumps to the earliest pending
// deadline (Sleep, timed waits) and wakes the threads due. So a run is the same every time, costs no wall time, and is
// idle exactly when no thread is ready, no deadline is pending and nothing
// is queued for the dialog.
//
// Other threads (the test's main thread, a driver thread) are "external":
// they never hold the turn, they just wait on the host lock and condition
// variables, and their Sleep advances the clock at once.
//
// Rule for code running on managed threads: never hold a lock of your own
// across an os:: call that can wait (see above) — the thread that wants
// your lock may hold the turn you are waiting for.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/os_types.h"

enum HostThreadState : int { kThreadReady, kThreadRunning, kThreadBlocked, kThreadSuspended, kThreadFinished };

struct HostThread {
    bool external = false;
    int state = kThreadReady;
    int suspend_count = 0;
    bool timed = false;
    bool timed_out = false;
    bool woken = false;       // external threads: the reason they waited for happened
    uint64_t deadline = 0;
    uint64_t timer_seq = 0;
    DWORD id = 0;
    DWORD exit_code = STILL_ACTIVE;
    std::vector<HostThread*> joiners;  // threads waiting for this one to end
    std::condition_variable cv;
};

// The one host lock: scheduler, clock, dialogs and their queues.
std::mutex& HostMutex();
// This thread's managed record, or null for an external thread.
HostThread* HostSelfManaged();
void HostSetSelfManaged(HostThread* self);

// All below: call with HostMutex held through lock.
// Waits until woken (true) or, when timed, until virtual time reaches the
// deadline (false). A managed caller gives up its turn meanwhile.
bool HostBlock(std::unique_lock<std::mutex>& lock, HostThread* self, bool timed, uint64_t deadline);
// Wakes a blocked thread (no effect on others).
void HostWake(HostThread* thread);
// Makes a suspended or new thread ready.
void HostMakeReady(HostThread* thread);
// A managed thread lets every ready thread run first.
void HostYield(std::unique_lock<std::mutex>& lock);
// The calling thread becomes managed (waits for its turn) / stops being managed.
void HostEnterManaged(std::unique_lock<std::mutex>& lock, HostThread* self);
void HostLeaveManaged(std::unique_lock<std::mutex>& lock, HostThread* self);
// Hands the turn on when nobody holds it and tells waiters something changed.
void HostDispatch();
// Nobody runs, nobody is ready and no deadline is due to be jumped to.
bool HostQuiescent();
// An external thread starts / stops waiting for the tool (lets time jump).
void HostExternalWaitBegin();
void HostExternalWaitEnd();
// Wakes every waiter on the change signal (queue or control changes).
void HostNotifyChanged();
// Waits on the change signal; false after wall_ms of real time.
bool HostWaitChanged(std::unique_lock<std::mutex>& lock, int wall_ms);
uint64_t HostClockLocked();
