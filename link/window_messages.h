// Every window message of the program's own, in one place so no two share
// a number. The link posts some of them (given to it at open), the session's
// threads the rest; all go to the session window.
#pragma once

#include <windows.h>

constexpr UINT MSG_LINE_CONNECTED = WM_USER + 1;    // sent: the telephony call is connected
constexpr UINT MSG_SESSION_ERROR = WM_USER + 2;     // wParam: the error code
constexpr UINT MSG_CONNECTION_ENDED = WM_USER + 3;  // the link's connection ended; wParam: which one
constexpr UINT MSG_REOPEN = WM_USER + 5;            // try the absent port again
// Sent by the receive thread with bytes it read (wParam count, lParam the
// bytes); the protocol runs on the window's thread. Result: as FeedReceivedBytes.
constexpr UINT MSG_BYTES_RECEIVED = WM_USER + 10;
// Posted by the typing thread when a record has been typed to its end;
// wParam is the serial that StartTyping handed out.
constexpr UINT MSG_RECORD_TYPED = WM_USER + 11;
// Asks the window to minimise itself once it is on screen (keyboard
// emulation); a minimise before the first show does not stick everywhere.
constexpr UINT MSG_MINIMISE = WM_USER + 20;
