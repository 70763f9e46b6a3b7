// The modem on a COM port ("Modem - COM"): answer mode, and the wait for
// its "CONNECT". The session window calls these on its own thread while the
// receive thread is still suspended, so the port's read record is theirs.
#pragma once

#include <windows.h>

#include "link/link_kind.h"

// Hangs the modem up ("ATH0\r") and sets it to answer on the first ring
// with its echo off ("ATE0S0=1X3\r"), each with a limit of 1000 ms and
// "OK" anywhere in the answer. 1, or ERR_DEVICE_CONFIG at the first
// command that fails or is not answered "OK" (nothing more is sent). A
// "CONNECT" that came after the last "OK" within its time limit is kept for
// the next poll.
int PrepareModem(HANDLE port);

// Reads at most 20 bytes of what the modem reported, within 200 ms; the
// read is finished (cancelled and waited for if need be) before return.
// A LinkWait: LINK_CONNECTED for "CONNECT" in what the polls read since
// PrepareModem, however the reads cut it, or kept by PrepareModem;
// LINK_NO_NEWS without it (ring reports and other texts are dropped);
// LINK_WAIT_FAILED when the read cannot be made or fails (a null port too).
int PollModemConnect(HANDLE port);

// Looks at the bytes of a connected call for the modem's "NO CARRIER" (the
// call is lost), also when reads cut it: where its report begins in bytes,
// with every CR and LF right before it (the modem's framing; a terminal
// line ending there goes unanswered, as no answer could reach it now); 0
// when it began in an earlier chunk, -1 when not there.
// PrepareModem forgets earlier chunks.
int FindCarrierLoss(const char* bytes, unsigned count);
