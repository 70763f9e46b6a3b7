// The one process-wide link record. Static storage starts it empty: no
// port, no events, both overlapped records and the line settings zero.
#include "link/link_state.h"

#include <initializer_list>

LinkState linkState{};

int CreateLinkEvents()
{
    for (OVERLAPPED* record : {&linkState.writeOverlapped, &linkState.readOverlapped}) {
        ZeroMemory(record, sizeof *record);
        record->hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    return linkState.writeOverlapped.hEvent && linkState.readOverlapped.hEvent ? 1 : 0;
}

void CloseLinkEvents()
{
    for (OVERLAPPED* record : {&linkState.writeOverlapped, &linkState.readOverlapped}) {
        if (record->hEvent) CloseHandle(record->hEvent);
        ZeroMemory(record, sizeof *record);
    }
}
