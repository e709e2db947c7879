// An in-memory serial port for the fuzzers: the calls of link/rs232.h over one input queue, so
// the sensor link's receive path runs on bytes the fuzzer chooses, without a device.
#pragma once

#include <cstddef>

/// Appends `count` bytes to the input queue, as if they had arrived on the line.
void FakePortArrive(const unsigned char* bytes, size_t count);
/// Delivers the receive event as the real driver does from event processing: the callback
/// runs while at least its notify count of bytes waits and it keeps taking bytes.
void FakePortDeliver();
/// Empties the queue and removes the callback.
void FakePortReset();
