// The late-bound functions: each library is loaded the first time one of its
// functions is asked for, each address looked up once.
#include "link/late_binding.h"

#include <cstring>

namespace {

struct LateFunction {
    const char* library;
    const char* function;
};

constexpr LateFunction LATE_TABLE[] = {
#define LATE_FUNCTION_ENTRY(library, function) {library, #function},
    LATE_FUNCTIONS(LATE_FUNCTION_ENTRY)
#undef LATE_FUNCTION_ENTRY
};
static_assert(sizeof LATE_TABLE / sizeof LATE_TABLE[0] == LATE_FUNCTION_COUNT);

// Looked up on the user-interface thread only (the dialogs and the
// telephony side both live there), so no lock.
FARPROC resolved[LATE_FUNCTION_COUNT];
bool lookedUp[LATE_FUNCTION_COUNT];

HMODULE LibraryOf(const char* name)
{
    // Already loaded (by an earlier entry, or by Windows itself): no second
    // reference is taken. Otherwise the usual search, as an import would do.
    HMODULE module = GetModuleHandleA(name);
    return module != nullptr ? module : LoadLibraryA(name);
}

}  // namespace

const char* LateLibraryName(LateFunctionId id)
{
    return LATE_TABLE[id].library;
}

const char* LateFunctionName(LateFunctionId id)
{
    return LATE_TABLE[id].function;
}

FARPROC LateAddress(LateFunctionId id)
{
    if (id < 0 || id >= LATE_FUNCTION_COUNT) return nullptr;
    if (!lookedUp[id]) {
        const HMODULE module = LibraryOf(LATE_TABLE[id].library);
        resolved[id] = module != nullptr ? GetProcAddress(module, LATE_TABLE[id].function) : nullptr;
        lookedUp[id] = true;
    }
    return resolved[id];
}
