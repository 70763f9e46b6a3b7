// The record protocol's view of the world on Windows: the port, the output
// file or keyboard, and the session window's reply timer and texts.
#pragma once

// Points protocolIo at the real port, output and window. Called when the
// session window opens.
void UseSessionIo();
