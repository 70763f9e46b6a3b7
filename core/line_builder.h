// Gathers received bytes into lines ended by CR and hands each to HandleLine.
// Portable.
#pragma once

#include <cstdint>

// 1 to go on, else the result of HandleLine that stopped it (0 or negative);
// the rest of the chunk is then dropped.
int FeedReceivedBytes(const uint8_t* bytes, unsigned count);
