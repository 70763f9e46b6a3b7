// Protocol commands to the terminal: a command written, then the reply timer.
#pragma once

// Writes the command (WriteCommand, at most 1000 ms), pauses 10 ms and arms
// the session window's reply timer with elapse ms, replacing one still
// armed. Nonzero when the command went out; 0 when the write failed.
// Runs on the session window's thread only, so one write at a time.
unsigned SendCommand(const char* text, unsigned elapse, int length);
