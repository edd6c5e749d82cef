// What only the Windows entry point hands to the platform layer.
#pragma once

namespace os {

// Called first in WinMain, before GDI+ and the common controls load
// anything: DLLs loaded from then on come from System32 only.
void RestrictDllSearchToSystem32();

// WinMain keeps its narrow command line here; GetCommandLineNarrow returns it.
void StoreCommandLineNarrow(const char* command_line);

}  // namespace os
