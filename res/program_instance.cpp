// What start-up keeps for the whole run. Kept out of main.cpp so that the
// test program, which has its own entry, links the same records.
#include "res/program_instance.h"

HINSTANCE programInstance = nullptr;
HICON programIcon = nullptr;
