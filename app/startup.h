// Start-up and the outer run loop: settings dialog, location check, session
// window, each a modal dialog with no owner.
#pragma once

#include <windows.h>

// Shows dialog template 1 or 2 and returns its result, as DialogBoxParamA.
using ShowDialogFunction = INT_PTR (*)(int templateId);

// The real dialogs: the settings dialog and the session window.
INT_PTR ShowProgramDialog(int templateId);

// Why the run loop ended.
enum RunLoopEnd : int {
    LOOP_CANCELLED = 1,          // the settings dialog ended with Cancel or close
    LOOP_INVALID_LOCATION = 2,   // the output location failed its check (-104 shown)
    LOOP_SESSION_DONE = 3,       // one session, and the settings dialog is not shown again
    LOOP_DIALOG_FAILED = 4,      // a dialog could not be created at all
};

constexpr int START_REFUSED = 0;   // the command line was 360 characters or more

int RunLoop(ShowDialogFunction show);

// The whole start-up, as WinMain runs it, on a full process command line.
// Returns the RunLoopEnd, or START_REFUSED.
int StartProgram(HINSTANCE instance, const char* processCommandLine, ShowDialogFunction show);
