// The main dialog's procedure: start-up, exit and the messages of the worker.
#pragma once

#include "platform/os_types.h"

INT_PTR MainDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
