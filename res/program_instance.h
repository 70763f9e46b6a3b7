// What start-up keeps for the whole run: the instance and the program icon.
#pragma once

#include <windows.h>

#include "res/version.h"

extern HINSTANCE programInstance;
extern HICON programIcon;

constexpr const char PROGRAM_TITLE[] = VARNOLT_TITLE;
