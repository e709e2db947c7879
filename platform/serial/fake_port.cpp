// The in-memory sensor line of the receive-path fuzz target (see fake_port.h).
#include "platform/serial/fake_port.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <deque>
#include <vector>

#include "platform/serial/rs232.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Answer {
  Bytes bytes;
  size_t piece = 0;
};

constexpr double kSilence = 10.0;  // seconds a silent sensor lets pass: beyond every time-out

std::deque<Answer> gAnswers;  // the sensor's answers to the next requests, in order
std::deque<Bytes> gOnLine;    // pieces sent by the sensor, not yet arrived
std::deque<unsigned char> gQueue;
bool gNews = false;  // something arrived since the program last looked at the queue
bool gTickPosted = false;
unsigned gLineNumber = 0;  // a tick posted for an earlier line does nothing
double gSkipped = 0.0;     // seconds the silences have added to the clock

ComCallbackPtr gCallback = nullptr;
int gMask = 0;
int gNotify = 1;
void* gData = nullptr;

bool Arrive() {
  if (gOnLine.empty()) return false;
  gQueue.insert(gQueue.end(), gOnLine.front().begin(), gOnLine.front().end());
  gOnLine.pop_front();
  gNews = true;
  return true;
}

void Deliver() {
  while (gCallback && (gMask & RS232_EVENT_RECEIVE) && gQueue.size() >= static_cast<size_t>(gNotify)) {
    const size_t before = gQueue.size();
    gCallback(1, RS232_EVENT_RECEIVE, gData);
    // A callback that took nothing is not called again until more bytes come.
    if (gQueue.size() >= before) break;
  }
}

void PostTick();

// One pass of event processing on the line: the next piece arrives and the callback runs, or,
// with nothing more coming, the silence passes.
void Tick() {
  gTickPosted = false;
  if (!Arrive()) {
    gSkipped += kSilence;
    return;
  }
  Deliver();
  PostTick();
}

void PostTick() {
  if (gTickPosted) return;
  gTickPosted = true;
  const unsigned line = gLineNumber;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [line] { if (line == gLineNumber) Tick(); }, Qt::QueuedConnection);
}

}  // namespace

void FakePortAnswer(const unsigned char* bytes, size_t count, size_t piece) {
  gAnswers.push_back({Bytes(bytes, bytes + count), piece});
}

void FakePortAnswerMore(const unsigned char* bytes, size_t count) {
  if (gAnswers.empty()) gAnswers.push_back({});
  gAnswers.back().bytes.insert(gAnswers.back().bytes.end(), bytes, bytes + count);
}

void FakePortDropAnswers() { gAnswers.clear(); }

void FakePortReset() {
  gAnswers.clear();
  gOnLine.clear();
  gQueue.clear();
  gNews = false;
  gTickPosted = false;
  ++gLineNumber;
  gCallback = nullptr;
  gMask = 0;
}

// The program's clock: the real one plus the silences that have passed.
extern "C" double __real__Z5Timerv();
extern "C" double __wrap__Z5Timerv() { return __real__Z5Timerv() + gSkipped; }

int OpenComConfig(int, const char*, long, int, int, int, int, int) { return 0; }
int SetComTime(int, double) { return 0; }
int SetCTSMode(int, int) { return 0; }

int InstallComCallback(int, int eventMask, int notifyCount, int, ComCallbackPtr callback, void* data) {
  gMask = eventMask;
  gNotify = notifyCount > 0 ? notifyCount : 1;
  gCallback = eventMask ? callback : nullptr;
  gData = data;
  return 0;
}

int ComWrt(int, const void*, int count) {
  if (!gAnswers.empty()) {
    const Answer a = std::move(gAnswers.front());
    gAnswers.pop_front();
    const size_t piece = a.piece > 0 ? a.piece : std::max<size_t>(a.bytes.size(), 1);
    for (size_t at = 0; at < a.bytes.size(); at += piece)
      gOnLine.emplace_back(a.bytes.begin() + at, a.bytes.begin() + std::min(at + piece, a.bytes.size()));
  }
  PostTick();
  return count;
}

int ComRd(int, void* buffer, int count) {
  const int n = std::min<int>(count, static_cast<int>(gQueue.size()));
  auto* out = static_cast<unsigned char*>(buffer);
  for (int i = 0; i < n; ++i) {
    out[i] = gQueue.front();
    gQueue.pop_front();
  }
  return n;
}

int GetInQLen(int) {
  // A look that finds nothing new since the last one waits out the silence.
  if (!Arrive() && !gNews) gSkipped += kSilence;
  gNews = false;
  return static_cast<int>(gQueue.size());
}

int ComPortUsable(int) { return 1; }
int FlushInQ(int) {
  gQueue.clear();
  return 0;
}
int FlushOutQ(int) { return 0; }
// The fake line takes every byte at once: nothing is ever left on its wire.
int ComDrain(int, double) { return 0; }
unsigned long ComCutFrames(void) { return 0; }
int ComRequestAnswered(int) { return 0; }
int CloseCom(int) { return 0; }
int ComPortLost(int) { return 0; }
int ListComPorts(ComPortEntry*, int) { return 0; }
int WatchComPorts(ComPortsCallbackPtr) { return 0; }
int RecheckComPorts(double) { return RS232_ERR_PORT_NOT_OPEN; }
int ResolveComPort(int, char* device, size_t size) {
  if (size > 0) device[0] = '\0';
  return RS232_ERR_INVALID_PORT;
}
