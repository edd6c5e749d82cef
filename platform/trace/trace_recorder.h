// The recorder of field traces (/record:FILE, /record-full:FILE): every
// device call of the platform layer and the dialog's events, written as the
// JSON lines of docs/traces.md through a buffered file.
//
// Off unless TraceStart succeeded; then the platform's device functions
// reach it through trace::g_device_hooks. TraceStop writes what is buffered
// and closes the file; the tool calls it on every way out of AppMain.
#pragma once

#include "platform/os_types.h"

// Creates the file and writes the header. full: keep the bytes of every
// data-out, image pieces included. 1 on success, 0 when the file cannot be
// created (nothing is recorded then).
int TraceStart(const WCH* path, int full, const WCH* command_line);
void TraceStop();
// The tool's exit code as the last dialog event, then TraceStop.
void TraceExit(int code);
int TraceRecording();

// The package's title, once the tool has read it.
void TracePackage(const WCH* title);
// One event of the dialog: its name and the transcript's fields as JSON text
// (", \"key\": value …", or empty).
void TraceDialogEvent(const char* event, const char* fields);

// Filled per platform: "10.0.19045" from the running system, "simulated" on
// the Linux host.
void TraceWindowsVersion(char* out, size_t capacity);
