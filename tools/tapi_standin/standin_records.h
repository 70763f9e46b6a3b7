// Answering into the program's variable-size telephony records (LINEDEVCAPS,
// VARSTRING): a fixed part, then variable data the fixed part points to.
// dwTotalSize is the program's; nothing is ever written past it.
#pragma once

#include <windows.h>
#include <tapi.h>

#include <string>

#include "standin_config.h"

// The fixed part of LINEDEVCAPS for a negotiated version: each version of
// the interface appended fields to it.
DWORD DevCapsFixedSize(DWORD apiVersion);

// Fills `caps` (its dwTotalSize set by the program) for a device of this
// configuration. Result 0 or LINEERR_STRUCTURETOOSMALL; *complete tells
// whether the whole answer, line name included, was given.
LONG AnswerDevCaps(LINEDEVCAPS* caps, DWORD apiVersion, DWORD permanentId, const LineConfig& line,
                   bool* complete);

// Fills `id` with the "comm/datamodem" answer: the handle, then the device
// name with its NUL. The handle is only taken (by *openHandle) once the
// whole answer fits, so a too-small record costs no handle.
LONG AnswerCommId(VARSTRING* id, const std::string& deviceName, HANDLE (*openHandle)(void* context),
                  void* context, HANDLE* handed, ShortAnswer mode);
