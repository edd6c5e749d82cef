// The Windows entry point: restricts the DLL search to System32, hands the
// narrow command line to the platform layer (os::GetCommandLineNarrow
// returns it) and runs the tool.
#include "app/app_main.h"
#include "platform/os_types.h"
#include "platform/win32/entry_win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
    os::RestrictDllSearchToSystem32();
    os::StoreCommandLineNarrow(command_line);
    return AppMain(command_line);
}
