// The link monitor's counters, rate and frame ring, and the frames as lines of text.
#include "link/com232_monitor.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "link/com232_decode.h"

MonitorCounters monCounters = {};

namespace {

constexpr double RATE_SPAN = 1.0;  // seconds the rate is taken over

MonitorFrame ring[MONITOR_FRAMES];
int ringNext = 0;   // slot the next frame goes to
int ringCount = 0;  // frames held
unsigned long framesSeen = 0;
double openedAt = 0.0;
u16 lastOrder = 0;  // order of the last request: what a frame answer should carry

double rateStart = 0.0;   // start of the span being counted
unsigned long rateCount = 0;
double lastRate = 0.0;    // the rate of the last whole span

constexpr const char* kOrderNames[MONITOR_ORDERS] = {
    "unknown",     "write RAM",     "read RAM", "write EEPROM", "read EEPROM",   "echo",
    "teach",       "firmware info", "measure",  "data block",   "hardware info", "reset analog",
};

MonitorFrame& Keep(int kind, const unsigned char* bytes, int count, u16 board, double now) {
  MonitorFrame& f = ring[ringNext];
  ringNext = (ringNext + 1) % MONITOR_FRAMES;
  if (ringCount < MONITOR_FRAMES) ++ringCount;
  ++framesSeen;
  const int kept = count < 0 ? 0 : count > MONITOR_BYTES ? MONITOR_BYTES : count;
  f.time = now - openedAt;
  f.kind = kind;
  f.board = board;
  f.count = kept;
  if (kept > 0) std::memcpy(f.bytes, bytes, static_cast<size_t>(kept));
  return f;
}

// A line under construction: appends never overrun and the text stays terminated.
struct Line {
  char* out;
  size_t size;
  size_t len = 0;
  void add(const char* fmt, auto... args) {
    if (len + 1 >= size) return;
    const int n = std::snprintf(out + len, size - len, fmt, args...);
    if (n > 0) len += static_cast<size_t>(n) < size - len ? static_cast<size_t>(n) : size - len - 1;
  }
};

// The time with three decimals from whole milliseconds, so no locale can put a comma in it.
void AddTime(Line& l, double seconds) {
  const long long ms = std::llround(seconds * 1000.0);
  const long long whole = ms / 1000;
  const long long frac = ms < 0 ? -(ms % 1000) : ms % 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%s%lld.%03lld", ms < 0 && whole == 0 ? "-" : "", whole, frac);
  l.add("%10s", text);
}

void AddWords(Line& l, const unsigned char* bytes, int first, int count) {
  l.add(" |");
  for (int i = first; i + 1 < count; i += 2) l.add(" %u", static_cast<unsigned>(WordAt(bytes, i)));
}

void AddHex(Line& l, const unsigned char* bytes, int count) {
  l.add(" |");
  for (int i = 0; i < count; ++i) l.add(" %02X", bytes[i]);
}

}  // namespace

void MonitorOpened(double now) {
  openedAt = now;
  ringNext = 0;
  ringCount = 0;
  lastOrder = 0;
  MonitorResetCounters(now);
}

void MonitorResetCounters(double now) {
  monCounters = MonitorCounters{};
  rateStart = now;
  rateCount = 0;
  lastRate = 0.0;
}

void MonitorRequest(const unsigned char* bytes, int count, double now) {
  const u16 order = count >= 4 ? WordAt(bytes, 2) : 0;
  ++monCounters.requests[order < MONITOR_ORDERS ? order : 0];
  lastOrder = order;
  Keep(MONITOR_REQUEST, bytes, count, 0, now);
}

void MonitorAnswer(int kind, const unsigned char* bytes, int count, u16 board, double now) {
  ++monCounters.answers;
  // A frame whose sync word is wrong is not aligned: its order word means nothing, so it is
  // counted once, as a wrong sync.
  if (kind == MONITOR_ANSWER && count >= 4) {
    if (WordAt(bytes, 0) != SYNC_FROM_SENSOR)
      ++monCounters.wrongSync;
    else if (WordAt(bytes, 2) != lastOrder)
      ++monCounters.wrongOrder;
  }
  if (now - rateStart >= RATE_SPAN) {
    lastRate = static_cast<double>(rateCount) / (now - rateStart);
    rateStart = now;
    rateCount = 0;
  }
  ++rateCount;
  Keep(kind, bytes, count, board, now);
}

void MonitorTimeout(void) { ++monCounters.timeouts; }

void MonitorDiscarded(int count) {
  if (count > 0) monCounters.bytesDiscarded += static_cast<unsigned long>(count);
}

double MonitorFramesPerSecond(double now) {
  const double span = now - rateStart;
  // A span that has run its length without being closed by an answer decays towards zero.
  if (span >= RATE_SPAN) return static_cast<double>(rateCount) / span;
  return lastRate;
}

int MonitorFrameCount(void) { return ringCount; }

const MonitorFrame* MonitorFrameAt(int index) {
  if (index < 0 || index >= ringCount) return nullptr;
  const int oldest = (ringNext - ringCount + MONITOR_FRAMES) % MONITOR_FRAMES;
  return &ring[(oldest + index) % MONITOR_FRAMES];
}

unsigned long MonitorFramesSeen(void) { return framesSeen; }

const char* MonitorOrderName(u16 order) { return order < MONITOR_ORDERS ? kOrderNames[order] : kOrderNames[0]; }

const char* MonitorLogHeader(void) {
  return "#   time/s dir order         | head | words (decimal) | bytes (hex)";
}

size_t MonitorFormatFrame(const MonitorFrame& f, int withBytes, char* out, size_t size) {
  if (size == 0) return 0;
  out[0] = '\0';
  Line l{out, size};
  AddTime(l, f.time);
  l.add(f.kind == MONITOR_REQUEST ? " -> " : " <- ");
  const bool framed = f.kind == MONITOR_REQUEST || f.kind == MONITOR_ANSWER;
  if (framed && f.count >= 4) {
    l.add("%-13s | %04X %04X", MonitorOrderName(WordAt(f.bytes, 2)), WordAt(f.bytes, 0), WordAt(f.bytes, 2));
    AddWords(l, f.bytes, 4, f.count);
  } else if (f.kind == MONITOR_FIRMWARE_TEXT) {
    char text[FIRMWARE_TEXT_SIZE + 1] = "";
    if (f.count == FIRMWARE_TEXT_SIZE) DecodeFirmwareText(f.bytes, f.board, text, sizeof text);
    // The log is UTF-8: anything but printable ASCII shows as a dot.
    for (char* c = text; *c; ++c)
      if (*c < 0x20 || *c > 0x7E) *c = '.';
    l.add("%-13s | \"%s\"", "firmware text", text);
    AddWords(l, f.bytes, 0, f.count);
  } else {
    l.add("%-13s | %d bytes", f.kind == MONITOR_DATA_BLOCK ? "data block" : "short frame", f.count);
    AddWords(l, f.bytes, 0, f.count);
  }
  if (withBytes) AddHex(l, f.bytes, f.count);
  return l.len;
}

size_t MonitorCountersText(double now, char* text, size_t size) {
  if (size == 0) return 0;
  text[0] = '\0';
  Line l{text, size};
  unsigned long sent = 0;
  for (unsigned long n : monCounters.requests) sent += n;
  l.add("Requests sent: %lu\n", sent);
  for (int o = 1; o < MONITOR_ORDERS; ++o)
    if (monCounters.requests[o] != 0) l.add("  %s: %lu\n", kOrderNames[o], monCounters.requests[o]);
  if (monCounters.requests[0] != 0) l.add("  other: %lu\n", monCounters.requests[0]);
  const long long rate10 = std::llround(MonitorFramesPerSecond(now) * 10.0);
  l.add("Answers taken: %lu\nTime-outs: %lu\nWrong sync word: %lu\nUnexpected order word: %lu\n"
        "Bytes discarded: %lu\nFrames per second: %lld.%lld",
        monCounters.answers, monCounters.timeouts, monCounters.wrongSync, monCounters.wrongOrder,
        monCounters.bytesDiscarded, rate10 / 10, rate10 % 10);
  return l.len;
}
