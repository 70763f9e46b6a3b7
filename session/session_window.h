// The session window (dialog 2): runs one receive session from the opening
// of the link to its end; always ends with 3.
#pragma once

#include <windows.h>

constexpr UINT_PTR TIMER_ANIMATE = 951;
constexpr UINT_PTR TIMER_REPLY = 952;
constexpr UINT_PTR TIMER_RETRY = 953;

constexpr UINT MSG_LINE_CONNECTED = WM_USER + 1;
constexpr UINT MSG_SESSION_ERROR = WM_USER + 2;   // wParam: the error code
constexpr UINT MSG_CALL_ENDED = WM_USER + 3;      // the telephony call ended; wParam: the call
constexpr UINT MSG_REOPEN = WM_USER + 5;
// Sent by the receive thread with bytes it read (wParam count, lParam the
// bytes); the protocol runs on the window's thread. Result: as FeedReceivedBytes.
constexpr UINT MSG_BYTES_RECEIVED = WM_USER + 10;

constexpr INT_PTR SESSION_END = 3;

extern HWND sessionWindow;

INT_PTR CALLBACK SessionDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
