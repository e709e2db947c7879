#include "support/scripted_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

#include "sensor/model.h"

ScriptedPeer::ScriptedPeer() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    if (master_ >= 0) close(master_);
    master_ = -1;
    return;
  }
  char name[128];
  if (ptsname_r(master_, name, sizeof name) == 0) slave_ = name;
  // Keep the line raw from the start, so nothing is echoed or translated before the program
  // configures its side.
  termios t{};
  if (tcgetattr(master_, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(master_, TCSANOW, &t);
  }
  thread_ = std::thread([this] { run(); });
}

ScriptedPeer::~ScriptedPeer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  if (master_ >= 0) close(master_);
}

void ScriptedPeer::setResponder(Responder r) {
  std::lock_guard<std::mutex> lock(mutex_);
  responder_ = std::move(r);
}

void ScriptedPeer::answerLikeSensor(const rorir::sensor::ModelOptions& options) {
  auto model = std::make_shared<rorir::sensor::Model>(options);
  auto start = std::chrono::steady_clock::now();
  setResponder([model, start](const PeerFrame& f) {
    auto now = std::chrono::duration_cast<rorir::sensor::Nanos>(std::chrono::steady_clock::now() - start);
    std::vector<PeerReply> replies;
    if (auto answer = model->request(f.bytes, now)) replies.push_back({answer->bytes, {}});
    return replies;
  });
}

void ScriptedPeer::send(const PeerBytes& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t done = 0;
  while (master_ >= 0 && done < bytes.size()) {
    ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
}

void ScriptedPeer::hangUp() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (master_ >= 0) close(master_);
  master_ = -1;
}

std::vector<PeerFrame> ScriptedPeer::frames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return frames_;
}

std::vector<std::uint16_t> ScriptedPeer::orders() const {
  std::vector<std::uint16_t> out;
  for (const PeerFrame& f : frames()) out.push_back(f.order());
  return out;
}

bool ScriptedPeer::waitUntilAnswered(double seconds) const {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
  while (answering_) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

bool ScriptedPeer::waitForFrames(size_t n, double seconds) const {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
  while (std::chrono::steady_clock::now() < end) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (frames_.size() >= n) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::lock_guard<std::mutex> lock(mutex_);
  return frames_.size() >= n;
}

std::vector<std::chrono::steady_clock::time_point> ScriptedPeer::arrivals() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return arrivals_;
}

void ScriptedPeer::clearFrames() {
  std::lock_guard<std::mutex> lock(mutex_);
  frames_.clear();
  arrivals_.clear();
}

void ScriptedPeer::run() {
  PeerBytes pending;
  while (!stop_) {
    int fd;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      fd = master_;
    }
    if (fd < 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, 5);
    if (r <= 0 || !(p.revents & POLLIN)) {
      // POLLHUP while nobody has the slave open: wait for the program to open it.
      if (r > 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    std::uint8_t buf[512];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    pending.insert(pending.end(), buf, buf + n);
    while (pending.size() >= 36) {
      PeerFrame frame{PeerBytes(pending.begin(), pending.begin() + 36)};
      pending.erase(pending.begin(), pending.begin() + 36);
      Responder responder;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        frames_.push_back(frame);
        arrivals_.push_back(std::chrono::steady_clock::now());
        responder = responder_;
      }
      if (!responder) continue;
      answering_ = true;
      const std::vector<PeerReply> replies = responder(frame);
      for (size_t i = 0; i < replies.size(); ++i) {
        if (replies[i].delay.count() > 0) std::this_thread::sleep_for(replies[i].delay);
        // Before the answer is complete nothing more may come: the program is still waiting.
        if (i + 1 == replies.size()) {
          int more = 0;
          if (pending.size() > 0 || (ioctl(fd, FIONREAD, &more) == 0 && more > 0)) ++overlaps_;
        }
        send(replies[i].bytes);
      }
      answering_ = false;
    }
  }
}

PeerBytes SensorFrame(std::uint16_t order, const std::vector<std::uint16_t>& words, std::uint16_t sync) {
  PeerBytes f(36, 0);
  f[0] = static_cast<std::uint8_t>(sync >> 8);
  f[1] = static_cast<std::uint8_t>(sync);
  f[2] = static_cast<std::uint8_t>(order >> 8);
  f[3] = static_cast<std::uint8_t>(order);
  for (size_t i = 0; i < words.size() && i < 16; ++i) {
    f[4 + 2 * i] = static_cast<std::uint8_t>(words[i] >> 8);
    f[5 + 2 * i] = static_cast<std::uint8_t>(words[i]);
  }
  return f;
}
