// What only the Windows entry point hands to the platform layer.
#pragma once

namespace os {

// WinMain keeps its narrow command line here; GetCommandLineNarrow returns it.
void StoreCommandLineNarrow(const char* command_line);

}  // namespace os
