// Where DLLs are looked for once the process runs.
#include "platform/os_types.h"
#include "platform/win32/entry_win.h"

namespace os {

// The executable is usually started from the user's Downloads folder, which
// any process of the user can write to: a DLL that a system DLL loads later
// (uxtheme, version, msimg32 …) must come from System32, never from there.
void RestrictDllSearchToSystem32() { ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32); }

}  // namespace os
