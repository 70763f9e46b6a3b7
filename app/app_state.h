// What start-up keeps for the whole run: the instance and the program icon.
#pragma once

#include <windows.h>

extern HINSTANCE programInstance;
extern HICON programIcon;

constexpr const char PROGRAM_TITLE[] = "Varnolt  Ver 1.12";
