// Entry of Varnolt: a dialog program with no main window.
#include "app/startup.h"

// The settings part of the command line is taken from the process's own
// command line rather than from lpCmdLine, so that the rule for skipping the
// program's name is ours and the same on every run-time library.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    StartProgram(instance, GetCommandLineA(), ShowProgramDialog);
    return 0;
}
