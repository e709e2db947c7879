// The in-memory serial port of the fuzzers (see fake_port.h).
#include "fuzz/fake_port.h"

#include <algorithm>
#include <cstring>
#include <deque>

#include "link/rs232.h"

namespace {

std::deque<unsigned char> gQueue;
ComCallbackPtr gCallback = nullptr;
int gMask = 0;
int gNotify = 1;
void* gData = nullptr;

}  // namespace

void FakePortArrive(const unsigned char* bytes, size_t count) { gQueue.insert(gQueue.end(), bytes, bytes + count); }

void FakePortDeliver() {
  while (gCallback && (gMask & RS232_EVENT_RECEIVE) && gQueue.size() >= static_cast<size_t>(gNotify)) {
    const size_t before = gQueue.size();
    gCallback(1, RS232_EVENT_RECEIVE, gData);
    // A callback that took nothing is not called again until more bytes come.
    if (gQueue.size() >= before) break;
  }
}

void FakePortReset() {
  gQueue.clear();
  gCallback = nullptr;
  gMask = 0;
}

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

int ComWrt(int, const void*, int count) { return count; }

int ComRd(int, void* buffer, int count) {
  const int n = std::min<int>(count, static_cast<int>(gQueue.size()));
  auto* out = static_cast<unsigned char*>(buffer);
  for (int i = 0; i < n; ++i) {
    out[i] = gQueue.front();
    gQueue.pop_front();
  }
  return n;
}

int GetInQLen(int) { return static_cast<int>(gQueue.size()); }
int FlushInQ(int) {
  gQueue.clear();
  return 0;
}
int FlushOutQ(int) { return 0; }
int CloseCom(int) { return 0; }
int ComPortLost(int) { return 0; }
int ListComPorts(ComPortEntry*, int) { return 0; }
int WatchComPorts(ComPortsCallbackPtr) { return 0; }
int RecheckComPorts(double) { return RS232_ERR_PORT_NOT_OPEN; }
int ResolveComPort(int, char* device, size_t size) {
  if (size > 0) device[0] = '\0';
  return RS232_ERR_INVALID_PORT;
}
