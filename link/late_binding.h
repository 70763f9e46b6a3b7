// Functions taken from system libraries the first time they are needed, not
// when the program starts: a session run from the command line loads none of
// the user-interface libraries (common controls, Save-As, folder browser) nor
// telephony. Every such function is named once, in LATE_FUNCTIONS; a library
// or function that cannot be had is reported as null, never jumped to.
#pragma once

#include <windows.h>

// The table: library, function. LATE(function) below picks an entry by name.
#define LATE_FUNCTIONS(X)                    \
    X("comctl32.dll", InitCommonControlsEx)  \
    X("comdlg32.dll", GetSaveFileNameA)      \
    X("shell32.dll", SHBrowseForFolderA)     \
    X("shell32.dll", SHGetPathFromIDListA)   \
    X("tapi32.dll", lineAnswer)              \
    X("tapi32.dll", lineClose)               \
    X("tapi32.dll", lineConfigDialogA)       \
    X("tapi32.dll", lineDrop)                \
    X("tapi32.dll", lineGetDevCapsA)         \
    X("tapi32.dll", lineGetIDA)              \
    X("tapi32.dll", lineInitializeExA)       \
    X("tapi32.dll", lineNegotiateAPIVersion) \
    X("tapi32.dll", lineOpenA)               \
    X("tapi32.dll", lineShutdown)

enum LateFunctionId {
#define LATE_FUNCTION_ID(library, function) LATE_##function,
    LATE_FUNCTIONS(LATE_FUNCTION_ID)
#undef LATE_FUNCTION_ID
    LATE_FUNCTION_COUNT
};

// The library and function name of an entry.
const char* LateLibraryName(LateFunctionId id);
const char* LateFunctionName(LateFunctionId id);

// The address of an entry, its library loaded on first use (and kept for
// the rest of the run); null when the library or the function is missing.
FARPROC LateAddress(LateFunctionId id);

// The address as the function's own pointer type (GCC allows the cast
// through void (*)() without a warning).
template <typename Function>
Function* LateAs(LateFunctionId id)
{
    return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(LateAddress(id)));
}

// LATE(SHBrowseForFolderA): that function, typed, or null.
#define LATE(function) (LateAs<decltype(function)>(LATE_##function))
