// An in-memory sensor line for the receive-path fuzz target: the calls of platform/serial/rs232.h over a
// scripted far end, so the sensor link's own reads run on bytes the fuzzer chooses, without a
// device, and the program's clock (Timer) seen through the line's silences.
//
// Each request the program writes releases the next scripted answer onto the line, in pieces.
// A piece arrives each time events are processed (where the real driver's notifier fires, then
// the receive callback runs once the notify count waits) and each time the input queue is
// looked at (where the real driver reads the device). When the program waits and nothing more
// is coming, the sensor stays silent: the clock jumps ten seconds, so every wait ends at once
// through the program's own time-out, with whatever part of an answer has arrived.
#pragma once

#include <cstddef>

/// Queues the sensor's answer to the next request not yet answered: `count` bytes arriving in
/// pieces of `piece` bytes (0: in one piece).
void FakePortAnswer(const unsigned char* bytes, size_t count, size_t piece);
/// Appends `count` bytes to the last answer queued (a first answer when there is none).
void FakePortAnswerMore(const unsigned char* bytes, size_t count);
/// Drops the answers not yet asked for (the bytes already on the line still arrive).
void FakePortDropAnswers();
/// A fresh line: no answers, nothing on the line or in the queue, no callback.
void FakePortReset();
