// The link monitor: what crossed the line since the port was opened, as a service engineer
// needs it. Counters of requests, answers and faults, and a fixed ring of the last frames in
// both directions with their raw bytes, which reads as text one frame a line.
//
// Plain logic over its own state with the time passed in. The link reports each request it
// sends, each answer it takes, each wait that ran out and each byte it throws away
// (com232_watch.cpp); a report is a copy of a few dozen bytes, so watching costs the loops
// nothing measurable.
#pragma once

#include <cstddef>

#include "state/globals.h"
#include "link/com232.h"

constexpr int MONITOR_ORDERS = 12;       ///< order codes 1..11 by code; slot 0 takes any other
constexpr int MONITOR_FRAMES = 400;      ///< frames the ring keeps, both directions together
constexpr int MONITOR_BYTES = DATA_BLOCK_BYTES;  ///< the longest answer, kept whole
constexpr int MONITOR_LINE_SIZE = 1024;  ///< room for the longest line of the log

/// What a frame of the ring is.
enum MonitorKind {
  MONITOR_REQUEST = 0,        ///< a frame the program sent
  MONITOR_ANSWER = 1,         ///< a 36-byte frame the sensor sent
  MONITOR_FIRMWARE_TEXT = 2,  ///< the 72 bytes of firmware text
  MONITOR_DATA_BLOCK = 3,     ///< 128 bytes of video words
};

/// The counters since the port was opened or the counters were last reset.
struct MonitorCounters {
  unsigned long requests[MONITOR_ORDERS];  ///< requests sent, by order code
  unsigned long answers;         ///< answers taken: frames, firmware texts, data blocks
  unsigned long timeouts;        ///< waits for an answer that ran out
  unsigned long wrongSync;       ///< frame answers whose sync word was not 0x00AA
  unsigned long wrongOrder;      ///< frame answers with the right sync but another order word
  unsigned long bytesDiscarded;  ///< bytes thrown away from the input queue unread
};

/// One frame of the ring.
struct MonitorFrame {
  double time;   ///< seconds since the port was opened
  int kind;      ///< MonitorKind
  u16 board;     ///< board type when it was taken (how its firmware text is coded)
  int count;     ///< bytes kept in `bytes` (an answer cut short keeps what came)
  unsigned char bytes[MONITOR_BYTES];
};

extern MonitorCounters monCounters;

/// The port was opened at `now`: counters, rate and frames start afresh.
void MonitorOpened(double now);
/// Sets the counters and the rate to zero at `now`; the frames stay.
void MonitorResetCounters(double now);

/// A request of `count` bytes sent at `now`.
void MonitorRequest(const unsigned char* bytes, int count, double now);
/// An answer of `kind` (not MONITOR_REQUEST) taken at `now`. A frame answer is checked against
/// the sync word of the sensor and against the order of the last request.
void MonitorAnswer(int kind, const unsigned char* bytes, int count, u16 board, double now);
/// A wait for an answer ran out.
void MonitorTimeout(void);
/// `count` bytes were thrown away unread.
void MonitorDiscarded(int count);

/// Answers taken per second over the last second or so (0 when the line is quiet).
double MonitorFramesPerSecond(double now);

/// Frames in the ring (at most MONITOR_FRAMES).
int MonitorFrameCount(void);
/// Frame `index` of the ring, 0 the oldest; null outside 0..MonitorFrameCount() - 1.
const MonitorFrame* MonitorFrameAt(int index);
/// Frames taken since the program started (grows by one per frame; wraps harmlessly), so a
/// viewer can tell how many are new since it last looked.
unsigned long MonitorFramesSeen(void);

/// Name of an order code ("measure", "read RAM", ...); "unknown" for a code outside 1..11.
const char* MonitorOrderName(u16 order);
/// One frame as a line of text (no line end): time, direction, name, then its head (sync and
/// order words, or the firmware text), its words in decimal and, with `withBytes` (the log),
/// its raw bytes in hex. Returns the length written (the line is cut to `size` - 1).
size_t MonitorFormatFrame(const MonitorFrame& frame, int withBytes, char* line, size_t size);
/// The column names the log starts with (no line end).
const char* MonitorLogHeader(void);
/// The counters in short, one per line, for the status line's tooltip and the window.
size_t MonitorCountersText(double now, char* text, size_t size);
