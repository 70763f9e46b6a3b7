// The one process-wide link record. Static storage starts it empty: no
// port, no events, both overlapped records and the line settings zero.
#include "link/link_state.h"

LinkState linkState{};
