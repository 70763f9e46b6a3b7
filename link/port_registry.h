// Whether a COM port exists on this PC, from the serial enumerator's
// registry keys (read only).
#pragma once

// 1 when a listed device's PortName equals portName exactly ("COM5"), else 0.
int IsPortEnumerated(const char* portName);
