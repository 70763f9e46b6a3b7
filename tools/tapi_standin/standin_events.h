// Event delivery through a hidden window, as lineInitializeExA's hidden-window
// option promises: the window belongs to the thread that initialised, and its
// timer and posted messages call the program's callback from whatever message
// loop that thread runs (its own, a modal dialog's, a message box's).
#pragma once

#include "standin_state.h"

// Creates the hidden window of `app` on the calling thread; false on failure.
bool CreateEventWindow(AppRecord& app);
// Ends a hidden window, from its own thread or another.
void DestroyEventWindow(HWND window);
// Queues an event for `app` after delayMs (lock held).
void Schedule(const AppRecord& app, PendingEvent event, int delayMs);
