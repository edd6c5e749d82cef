// The run's end when evidence is kept (the report, the exit code), and the
// unattended run: the tool picks the drive named by /drive:, answers its own
// boxes and closes the dialog with the exit code.
#pragma once

#include "platform/os.h"

// Posted to the dialog once it is up in an unattended run.
constexpr UINT kWmUnattendedRun = 0x8040;

// A message box, or in an unattended run the answer the tool gives itself:
// Yes to a question, OK to a message, Cancel to the offer of power-off or
// restart (never taken unattended).
int AskUser(HWND dialog, const WCH* text, const WCH* title, UINT flags);

// After WM_INITDIALOG: posts kWmUnattendedRun in an unattended run.
void OnDialogReady(HWND dialog);
// kWmUnattendedRun: selects the drive and presses the run button.
void OnUnattendedRun(HWND dialog);
// After the run button: when no worker started (a refusal, a dry run that
// stopped at the checks), the run ends here.
void AfterRunButton(HWND dialog);
// After the worker's result was shown.
void AfterResult(HWND dialog, int result);
// The tool's command line as the report shows it.
void SetRunCommandLine(const WCH* line);
// What AppMain returns: the exit code of an unattended run, else 0.
int RunExitCode();
