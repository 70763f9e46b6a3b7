// The program's version: the window title, the file properties and the
// release archive's name all come from here.
#pragma once

#define VARNOLT_VERSION_MAJOR 1
#define VARNOLT_VERSION_MINOR 12
#define VARNOLT_VERSION_TEXT "1.12"
#define VARNOLT_TITLE "Varnolt  Ver " VARNOLT_VERSION_TEXT
