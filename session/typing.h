// Typing an accepted record away from the session window's thread, so the
// window stays responsive (Abort, close) while a long record is typed at the
// user's pace. The thread only types; the protocol stays on the window's
// thread, which learns of the end through MSG_RECORD_TYPED
// (link/window_messages.h).
#pragma once

#include <windows.h>

#include <cstdint>

// Copies the record and types it on a thread of its own. 1, or
// ERR_THREAD_CREATE. A record still being typed is stopped first.
int StartTyping(const uint8_t* bytes, int count);

// Whether a MSG_RECORD_TYPED belongs to the record being typed now; if so,
// that typing is over and its thread is released.
bool TakeTypedRecord(WPARAM serial);

// Stops the typing (within one inter-character delay) and waits for its
// thread. A record stopped this way is never reported typed. Harmless when
// nothing is being typed.
void StopTyping();
