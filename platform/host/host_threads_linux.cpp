// os::CreateThread and friends: a std::thread per tool thread, taking turns
// with the dialog thread (host_sched.h).
#include <memory>
#include <thread>

#include "platform/host/host_control.h"
#include "platform/host/host_objects.h"
#include "platform/host/host_sched.h"
#include "platform/os.h"

namespace {

DWORD g_next_thread_id = 0x1000;
int g_live_threads = 0;

struct ThreadObject : HostObject {
    ThreadObject() : HostObject(kHostThread) {}
    // Shared with the running thread: closing the handle does not end the thread.
    std::shared_ptr<HostThread> thread;
};

ThreadObject* LookupThread(HANDLE handle) {
    return static_cast<ThreadObject*>(HostLookup(handle, kHostThread));
}

void ThreadMain(std::shared_ptr<HostThread> self, os::ThreadProc proc, void* parameter) {
    {
        std::unique_lock<std::mutex> lock(HostMutex());
        HostSetSelfManaged(self.get());
        self->cv.wait(lock, [&] { return self->state == kThreadRunning; });
    }
    DWORD code = proc(parameter);
    std::unique_lock<std::mutex> lock(HostMutex());
    self->exit_code = code;
    g_live_threads--;
    HostLeaveManaged(lock, self.get());
}

}  // namespace

int HostLiveThreads() {
    std::lock_guard<std::mutex> lock(HostMutex());
    return g_live_threads;
}

namespace os {

HANDLE CreateThread(ThreadProc proc, void* parameter, DWORD flags, DWORD* thread_id) {
    if (!proc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto object = new ThreadObject;
    object->thread = std::make_shared<HostThread>();
    HostThread* record = object->thread.get();
    std::unique_lock<std::mutex> lock(HostMutex());
    record->id = g_next_thread_id;
    g_next_thread_id += 4;
    if (thread_id) *thread_id = record->id;
    g_live_threads++;
    record->state = kThreadSuspended;
    record->suspend_count = (flags & CREATE_SUSPENDED) ? 1 : 0;
    std::thread(ThreadMain, object->thread, proc, parameter).detach();
    if (record->suspend_count == 0) HostMakeReady(record);
    lock.unlock();
    return HostRegister(object);
}

DWORD ResumeThread(HANDLE thread) {
    ThreadObject* object = LookupThread(thread);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return static_cast<DWORD>(-1);
    }
    std::lock_guard<std::mutex> lock(HostMutex());
    HostThread* record = object->thread.get();
    DWORD previous = static_cast<DWORD>(record->suspend_count);
    if (record->suspend_count > 0) {
        record->suspend_count--;
        if (record->suspend_count == 0 && record->state == kThreadSuspended) HostMakeReady(record);
    }
    return previous;
}

DWORD WaitForSingleObject(HANDLE object_handle, DWORD milliseconds) {
    HostObject* object = HostLookup(object_handle, kHostKindAny);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    // Files, tokens and devices count as signalled.
    if (object->kind != kHostThread) return WAIT_OBJECT_0;
    std::shared_ptr<HostThread> target = static_cast<ThreadObject*>(object)->thread;
    std::unique_lock<std::mutex> lock(HostMutex());
    if (target->state == kThreadFinished) return WAIT_OBJECT_0;
    if (milliseconds == 0) return WAIT_TIMEOUT;
    HostThread external;
    external.external = true;
    HostThread* self = HostSelfManaged() ? HostSelfManaged() : &external;
    target->joiners.push_back(self);
    bool timed = milliseconds != INFINITE;
    bool woken = HostBlock(lock, self, timed, HostClockLocked() + milliseconds);
    if (!woken) {
        for (size_t i = 0; i < target->joiners.size(); i++) {
            if (target->joiners[i] == self) {
                target->joiners.erase(target->joiners.begin() + static_cast<long>(i));
                break;
            }
        }
        return WAIT_TIMEOUT;
    }
    return WAIT_OBJECT_0;
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* code) {
    ThreadObject* object = LookupThread(thread);
    if (!object || !code) {
        SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(HostMutex());
    *code = object->thread->state == kThreadFinished ? object->thread->exit_code : STILL_ACTIVE;
    return TRUE;
}

}  // namespace os
