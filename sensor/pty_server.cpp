#include "sensor/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace rorir::sensor {

struct PtyServer::State {
  explicit State(ServerConfig c)
      : config(std::move(c)), model(config.model), line(config.baud), adapter(config.adapter) {}

  ServerConfig config;
  mutable std::mutex mutex;  // guards model
  Model model;
  PacedLine line;
  Adapter adapter;  // used when config.adapter is on
  Bytes unsent;
  // Bytes queued on the line and bytes written to the master since the start, and the queued
  // count at the last byte of each result frame not yet written, for config.resultSent.
  std::uint64_t queuedBytes = 0;
  std::uint64_t writtenBytes = 0;
  std::deque<std::uint64_t> resultEnds;
  int master = -1;
  int slave = -1;  // kept open so the line stays up while no client has it open
  int wake[2] = {-1, -1};
  std::string slavePath;
  std::string linkPath;
  std::thread thread;
  std::atomic<bool> running{false};
  std::atomic<bool> hungUp{false};
  Nanos drainFrom{0};  // set while the last answer before a hang-up waits to be read
  std::chrono::steady_clock::time_point epoch = std::chrono::steady_clock::now();

  Nanos now() const { return std::chrono::steady_clock::now() - epoch; }
  void log(Nanos t, const char* direction, std::span<const std::uint8_t> bytes) const;
  void serve();
  bool pump(Nanos t);
  std::optional<Nanos> nextDue() const;
  bool outputIdle() const { return line.idle() && adapter.idle(); }
  void closeFds();
};

namespace {

bool fail(std::string* error, const std::string& what) {
  if (error) *error = what + ": " + std::strerror(errno);
  return false;
}

// Configures the slave end raw at 19200 8N1, so that nothing the sensor writes is echoed or
// translated before a client has set its own mode.
bool makeRaw(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&t, B19200);
  cfsetospeed(&t, B19200);
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

void PtyServer::State::log(Nanos t, const char* direction, std::span<const std::uint8_t> bytes) const {
  if (!config.log) return;
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%12.6f %s ", std::chrono::duration<double>(t).count(), direction);
  config.log(stamp + hex(bytes));
}

void PtyServer::State::closeFds() {
  for (int* fd : {&master, &slave, &wake[0], &wake[1]}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

// When the next answer bytes reach the client.
std::optional<Nanos> PtyServer::State::nextDue() const {
  return config.adapter.on() ? adapter.nextDue() : line.nextDue();
}

// Moves due answer bytes to the master; returns false when the line has been hung up. Through
// an adapter, each burst is written in one piece, so the client receives it as one.
bool PtyServer::State::pump(Nanos t) {
  if (config.adapter.on()) {
    // A byte's time on the line is fixed once it is queued, so the adapter takes them all now.
    for (const PacedLine::TimedByte& b : line.takeDueTimed(Nanos::max())) adapter.receive(b.byte, b.due);
    for (const Burst& burst : adapter.takeDue(t))
      unsent.insert(unsent.end(), burst.bytes.begin(), burst.bytes.end());
  } else {
    Bytes due = line.takeDue(t);
    unsent.insert(unsent.end(), due.begin(), due.end());
  }
  while (!unsent.empty()) {
    const auto before = resultEnds.empty() ? std::chrono::system_clock::time_point{}
                                           : std::chrono::system_clock::now();
    ssize_t n = write(master, unsent.data(), unsent.size());
    if (n <= 0) break;  // full: poll for POLLOUT and try again
    unsent.erase(unsent.begin(), unsent.begin() + n);
    writtenBytes += static_cast<std::uint64_t>(n);
    for (; !resultEnds.empty() && resultEnds.front() <= writtenBytes; resultEnds.pop_front())
      config.resultSent(before);
  }
  bool hangUp;
  {
    std::lock_guard lock(mutex);
    hangUp = model.hungUp();
  }
  if (hangUp && outputIdle() && unsent.empty()) {
    // A hang-up discards what the client has not read yet, so the last answer is given a
    // moment to be read first (the kernel moves it to the slave side with a little delay), but
    // a client that never reads does not hold the line up for long.
    if (drainFrom == Nanos{0}) drainFrom = t;
    int waiting = 0;
    const bool read = ioctl(slave, FIONREAD, &waiting) == 0 && waiting == 0;
    const Nanos lingered = t - drainFrom;
    if (!(read && lingered >= std::chrono::milliseconds(50)) && lingered < std::chrono::seconds(2))
      return true;
    // Closing the master end is a hang-up for whoever holds the slave.
    close(master);
    master = -1;
    close(slave);
    slave = -1;
    hungUp = true;
    return false;
  }
  return true;
}

void PtyServer::State::serve() {
  // Bytes leave when they are due, not up to the default 50 us of timer slack later (at 19200
  // baud a byte takes 521 us).
  prctl(PR_SET_TIMERSLACK, 1UL);
  std::uint8_t buffer[4096];
  for (;;) {
    Nanos t = now();
    if (!pump(t)) break;

    // Sleep until the next answer byte is due, a partial request goes stale, or input comes.
    Nanos wait = std::chrono::milliseconds(drainFrom != Nanos{0} ? 2 : 200);
    if (auto due = nextDue()) wait = std::max(Nanos{0}, *due - t);
    {
      std::lock_guard lock(mutex);
      if (model.pending() > 0) wait = std::min(wait, config.model.quietGap + std::chrono::milliseconds(1));
    }
    pollfd fds[2] = {{master, POLLIN, 0}, {wake[0], POLLIN, 0}};
    if (!unsent.empty()) fds[0].events |= POLLOUT;
    timespec ts{static_cast<time_t>(wait.count() / 1'000'000'000),
                static_cast<long>(wait.count() % 1'000'000'000)};
    int ready = ppoll(fds, 2, &ts, nullptr);
    if (ready < 0 && errno != EINTR) break;
    if (fds[1].revents & POLLIN) break;

    t = now();
    if (fds[0].revents & POLLIN) {
      ssize_t n = read(master, buffer, sizeof buffer);
      if (n > 0) {
        std::span<const std::uint8_t> bytes(buffer, static_cast<std::size_t>(n));
        log(t, "rx", bytes);
        const Nanos arrived = line.receive(bytes.size(), t);
        std::vector<Answer> answers;
        {
          std::lock_guard lock(mutex);
          answers = model.receive(bytes, arrived);
        }
        for (const Answer& a : answers) {
          log(std::max(a.at, arrived), "tx", a.bytes);
          line.send(a.bytes, a.at);
          queuedBytes += a.bytes.size();
          if (config.resultSent && a.order == static_cast<std::uint16_t>(Order::Measure))
            resultEnds.push_back(queuedBytes);
        }
      }
    } else {
      std::lock_guard lock(mutex);
      model.idle(line.receive(0, t));
    }
  }
  running = false;
}

PtyServer::PtyServer(ServerConfig config) : state_(std::make_unique<State>(std::move(config))) {}

PtyServer::~PtyServer() { stop(); }

bool PtyServer::start(std::string* error) {
  State& s = *state_;
  if (s.running || s.thread.joinable()) {
    if (error) *error = "already started";
    return false;
  }
  auto undo = [&](const std::string& what) {
    bool r = fail(error, what);
    s.closeFds();
    return r;
  };
  s.master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (s.master < 0) return undo("posix_openpt");
  if (grantpt(s.master) != 0 || unlockpt(s.master) != 0) return undo("grantpt/unlockpt");
  char name[PATH_MAX];
  if (ptsname_r(s.master, name, sizeof name) != 0) return undo("ptsname_r");
  s.slavePath = name;
  s.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (s.slave < 0) return undo("open " + s.slavePath);
  if (!makeRaw(s.slave)) return undo("termios on " + s.slavePath);
  if (pipe2(s.wake, O_CLOEXEC | O_NONBLOCK) != 0) return undo("pipe2");

  if (!s.config.linkPath.empty()) {
    const std::string& link = s.config.linkPath;
    struct stat st{};
    if (lstat(link.c_str(), &st) == 0) {
      // A link left by a sensor that was killed is replaced; anything else is not ours.
      if (!S_ISLNK(st.st_mode)) {
        errno = EEXIST;
        return undo("link path " + link + " exists and is not a symbolic link");
      }
      if (unlink(link.c_str()) != 0) return undo("unlink " + link);
    }
    if (symlink(s.slavePath.c_str(), link.c_str()) != 0) return undo("symlink " + link);
    s.linkPath = link;
  }
  s.epoch = std::chrono::steady_clock::now();
  s.running = true;
  s.thread = std::thread([&s] { s.serve(); });
  return true;
}

void PtyServer::stop() {
  State& s = *state_;
  if (s.thread.joinable()) {
    if (s.wake[1] >= 0) {
      const char c = 'x';
      [[maybe_unused]] ssize_t n = write(s.wake[1], &c, 1);
    }
    s.thread.join();
  }
  s.running = false;
  if (!s.linkPath.empty()) {
    char target[PATH_MAX];
    ssize_t n = readlink(s.linkPath.c_str(), target, sizeof target - 1);
    if (n >= 0 && std::string(target, static_cast<std::size_t>(n)) == s.slavePath)
      unlink(s.linkPath.c_str());
    s.linkPath.clear();
  }
  s.closeFds();
}

bool PtyServer::running() const { return state_->running; }
bool PtyServer::hungUp() const { return state_->hungUp; }
const std::string& PtyServer::slavePath() const { return state_->slavePath; }
const std::string& PtyServer::linkPath() const { return state_->linkPath; }

Counters PtyServer::counters() const {
  std::lock_guard lock(state_->mutex);
  return state_->model.counters();
}

}  // namespace rorir::sensor
