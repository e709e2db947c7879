// A disk that stalls: the recording tests' executable provides its own fsync, which sleeps for
// as long as the test asks before the real one runs. Linked into the executable, it takes the
// place of the C library's for every caller in the process.
#include "stalling_disk.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {
std::atomic<int> gStallMs{0};
}

void StallEverySync(int milliseconds) { gStallMs = milliseconds; }

extern "C" int fsync(int fd) {
  if (const int ms = gStallMs.load(); ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return static_cast<int>(syscall(SYS_fsync, fd));
}
