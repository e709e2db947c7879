// The far end of the line for the delivery-delay measurement of rorir-bench: a pseudo-terminal
// of its own, served on a thread of the benchmark. It answers as the virtual sensor's model
// does, once the request would have crossed the line, and writes each answer either whole or
// in two pieces with a pause between them (the way a USB adapter passes a frame on: a few
// bytes, then the rest when its latency timer runs out). Just before it writes an answer's
// last piece it notes the time, so the benchmark can tell how long that last byte took to
// reach the receive callback.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "sensor/model.h"

class SplitPeer {
 public:
  using Clock = std::chrono::steady_clock;

  /// Each answer starts `lead` after its request came (the request's time on the line): `head`
  /// bytes first, then the rest `gap` later; `head` 0 writes it whole.
  SplitPeer(std::chrono::nanoseconds lead, std::size_t head, std::chrono::milliseconds gap)
      : lead_(lead), head_(head), gap_(gap) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) return;
    slavePath_ = name;
    // Kept open, raw, so that nothing is echoed before the program has set the line up and the
    // line stays up while the program closes and reopens it.
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (slave_ < 0 || tcgetattr(slave_, &t) != 0) return;
    cfmakeraw(&t);
    if (tcsetattr(slave_, TCSANOW, &t) != 0) return;
    thread_ = std::thread([this] { Run(); });
  }
  ~SplitPeer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }
  SplitPeer(const SplitPeer&) = delete;
  SplitPeer& operator=(const SplitPeer&) = delete;

  bool ok() const { return thread_.joinable(); }
  const std::string& slavePath() const { return slavePath_; }
  /// When the last piece of the latest answer was about to be written.
  Clock::time_point lastPieceAt() const { return Clock::time_point(Clock::duration(lastPiece_.load())); }

 private:
  void Run() {
    const Clock::time_point start = Clock::now();
    rorir::sensor::Model model;
    unsigned char buffer[512];
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0 || !(p.revents & POLLIN)) continue;
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) continue;
      const rorir::sensor::Nanos now = Clock::now() - start;
      for (const rorir::sensor::Answer& a : model.receive({buffer, static_cast<std::size_t>(n)}, now)) {
        std::this_thread::sleep_for(lead_);
        std::size_t done = 0;
        if (head_ > 0 && head_ < a.bytes.size()) {
          Write(a.bytes.data(), head_);
          std::this_thread::sleep_for(gap_);
          done = head_;
        }
        lastPiece_ = Clock::now().time_since_epoch().count();
        Write(a.bytes.data() + done, a.bytes.size() - done);
      }
    }
  }
  void Write(const unsigned char* bytes, std::size_t count) {
    while (count > 0) {
      const ssize_t n = write(master_, bytes, count);
      if (n <= 0) return;
      bytes += n;
      count -= static_cast<std::size_t>(n);
    }
  }

  std::chrono::nanoseconds lead_;
  std::size_t head_;
  std::chrono::milliseconds gap_;
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::atomic<bool> stop_{false};
  std::atomic<Clock::rep> lastPiece_{0};
  std::thread thread_;
};
