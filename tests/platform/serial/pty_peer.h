// Test fixtures for the serial-port services: a pseudo-terminal whose master side the test
// drives as the far end of the line, a private temporary folder, a scoped environment
// variable, and bounded waits with and without event processing. Each test process makes its
// own, so tests may run side by side.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/userint.h"
#include "platform/serial/rs232.h"

namespace rs232test {

using Bytes = std::vector<unsigned char>;

/// The far end of the line: the master side of a fresh pseudo-terminal.
class PtyPeer {
 public:
  PtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    char name[128];
    if (ptsname_r(master_, name, sizeof name) == 0) slave_ = name;
  }
  ~PtyPeer() { Close(); }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  bool ok() const { return master_ >= 0 && !slave_.empty(); }
  const std::string& slave() const { return slave_; }
  int master() const { return master_; }

  bool Send(const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

  /// Reads until `count` bytes came or `seconds` passed; returns what came.
  Bytes Receive(size_t count, double seconds) {
    Bytes got;
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(seconds));
    while (got.size() < count) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      unsigned char buf[256];
      ssize_t n = read(master_, buf, std::min(sizeof buf, count - got.size()));
      if (n <= 0) break;
      got.insert(got.end(), buf, buf + n);
    }
    return got;
  }

  /// The line settings of the slave side, as the program left them.
  std::optional<termios> Settings() const {
    termios t{};
    if (tcgetattr(master_, &t) != 0) return std::nullopt;
    return t;
  }

  /// Hangs up: the slave side sees the line drop.
  void Close() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  std::string slave_;
};

/// A private folder under the system's temp folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "rorir-rs232-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

/// Sets an environment variable for the life of the object, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    setenv(name_.c_str(), value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

inline double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

/// Processes events until `done` holds or `seconds` passed; true when it held.
inline bool PumpUntil(const std::function<bool()>& done, double seconds = 1.5) {
  // At least one pass, however long the process was paused before the first.
  const double end = Now() + seconds;
  do {
    if (done()) return true;
    ProcessSystemEvents();
  } while (Now() <= end);
  return done();
}

/// Processes events for `seconds`, at least one pass however long the process was paused;
/// returns how many passes that took.
inline long PumpFor(double seconds) {
  const double end = Now() + seconds;
  long passes = 0;
  do {
    ProcessSystemEvents();
    ++passes;
  } while (Now() < end);
  return passes;
}

/// Polls GetInQLen without processing events until it reports `count`.
inline bool InQueueReaches(int port, int count, double seconds = 1.5) {
  const double end = Now() + seconds;
  while (GetInQLen(port) < count) {
    if (Now() > end) return false;
    usleep(1000);
  }
  return true;
}

/// Bytes 1, 2, 3, ... (never the 0x55 event character the link code uses).
inline Bytes Counting(size_t count, unsigned char first = 1) {
  Bytes b(count);
  for (size_t i = 0; i < count; ++i) {
    unsigned char v = static_cast<unsigned char>(first + i);
    b[i] = v == 0x55 ? 0x56 : v;
  }
  return b;
}

}  // namespace rs232test
