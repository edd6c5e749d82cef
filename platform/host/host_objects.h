// The Linux host's table of kernel-object-like things behind HANDLE values:
// open files, find searches, threads, process tokens and whatever the
// simulated machine hands out for "\\.\" paths.
//
// One process-wide table. Handle values are small multiples of 4, as Windows
// gives them, and are never reused, so a handle used after CloseHandle is
// reported as ERROR_INVALID_HANDLE instead of reaching some newer object.
// The table counts open handles per kind so tests can check that every path
// closes what it opened.
#pragma once

#include "platform/os_types.h"

enum HostObjectKind : int {
    kHostKindAny = 0,
    kHostFile = 1,
    kHostFind = 2,      // closed by FindClose only, as on Windows
    kHostThread = 3,
    kHostToken = 4,
    kHostSimFirst = 16,  // the simulated machine numbers its own kinds from here
    kHostKindCount = 32,
};

struct HostObject {
    explicit HostObject(int object_kind) : kind(object_kind) {}
    virtual ~HostObject() {}
    // Called once when the handle is closed, before the object is deleted.
    // Returns FALSE (with os::SetLastError) when closing itself fails; the
    // handle is gone either way.
    virtual BOOL Close() { return TRUE; }
    int kind;
};

// Takes ownership; returns the new handle (never null, never INVALID_HANDLE_VALUE).
HANDLE HostRegister(HostObject* object);
// The object behind a handle when it is open and of that kind (kHostKindAny:
// any kind), else null. The pointer stays valid until the handle is closed;
// the tool never closes a handle that another of its threads still uses.
HostObject* HostLookup(HANDLE handle, int kind);
// Closes a handle of that kind (kHostKindAny: any kind except kHostFind):
// os::CloseHandle and os::FindClose end here. FALSE with ERROR_INVALID_HANDLE
// when the handle is not open or is of another kind.
BOOL HostCloseHandle(HANDLE handle, int kind);

// Accounting for leak checks.
int HostOpenHandleCount(int kind);           // kHostKindAny: all kinds
int HostBadCloseCount();                     // closes of handles that were not open
void HostResetBadCloseCount();
