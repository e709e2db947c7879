// A real MQTT broker and a real subscriber for the tests of the programs that publish: the
// broker is mosquitto on a free port of 127.0.0.1 with its own configuration and persistence in
// a temporary folder (so a persistent session and its queued QoS 1 messages outlive a restart),
// and the subscriber is mosquitto_sub with a persistent session, its lines collected for the
// test to wait on. Every wait is bounded; a child that outlives its bound is killed.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"

namespace mqtt_test {

inline constexpr const char* kBrokerBin = "/usr/sbin/mosquitto";
inline constexpr const char* kSubscriberBin = "/usr/bin/mosquitto_sub";
inline constexpr const char* kPublisherBin = "/usr/bin/mosquitto_pub";

/// A TCP port of 127.0.0.1 that nothing listens on now (the kernel's pick for port 0).
inline int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t len = sizeof a;
  int port = -1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

/// True when a TCP connection to 127.0.0.1:port is accepted.
inline bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return ok;
}

/// A child process whose standard output is collected line by line, and its standard error as
/// text, on a thread of its own. Its pipes are close-on-exec on our side, so another child
/// started meanwhile does not hold them open past this one's end.
class LineChild {
 public:
  LineChild() = default;
  ~LineChild() { kill(); }
  LineChild(const LineChild&) = delete;
  LineChild& operator=(const LineChild&) = delete;

  bool start(std::vector<std::string> argv, std::string* error) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return fail(error, "pipe");
    if (pipe2(err, O_CLOEXEC) != 0) {
      close(out[0]);
      close(out[1]);
      return fail(error, "pipe");
    }
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
      for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
      return fail(error, "fork");
    }
    if (pid == 0) {
      // Only async-signal-safe calls between fork and exec: the parent has threads.
      const int devNull = open("/dev/null", O_RDONLY);
      if (devNull >= 0) dup2(devNull, STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      dup2(err[1], STDERR_FILENO);
      execv(args[0], args.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    {
      std::lock_guard lock(mutex_);
      lines_.clear();
      partial_.clear();
      err_.clear();
      ended_ = false;
    }
    pid_ = pid;
    reader_ = std::thread([this, o = out[0], e = err[0]] { read(o, e); });
    return true;
  }

  pid_t pid() const { return pid_; }
  bool running() const { return pid_ > 0; }

  /// Sends `signal` to the child (nothing when it has ended).
  void signal(int signal) const {
    if (pid_ > 0) ::kill(pid_, signal);
  }

  /// Waits at most `seconds` for the end and returns the wait status; -1 when the child had to
  /// be killed at the bound. The reader has taken all its output on return.
  int wait(double seconds) {
    if (pid_ <= 0) return -1;
    const int status = child_process::WaitForEnd(pid_, seconds);
    pid_ = -1;
    if (reader_.joinable()) reader_.join();
    return status;
  }

  /// SIGTERM, then the exit code when it ended by itself within `seconds`, else -1.
  int terminate(double seconds) {
    signal(SIGTERM);
    const int status = wait(seconds);
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  /// SIGKILL and reap; nothing when it has ended.
  void kill() {
    signal(SIGKILL);
    wait(10);
  }

  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  std::string errText() const {
    std::lock_guard lock(mutex_);
    return err_;
  }
  /// All of it, for a failure's message.
  std::string transcript() const {
    std::lock_guard lock(mutex_);
    std::string text;
    for (const std::string& l : lines_) text += l + "\n";
    return text + (err_.empty() ? "" : "[stderr]\n" + err_);
  }

  /// Waits at most `seconds` until `done(lines)` holds; false when the bound or the end of the
  /// output came first (the last look at the lines decides).
  bool waitForLines(const std::function<bool(const std::vector<std::string>&)>& done, double seconds) const {
    std::unique_lock lock(mutex_);
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
      if (done(lines_)) return true;
      if (ended_) return false;
      if (changed_.wait_until(lock, until) == std::cv_status::timeout) return done(lines_);
    }
  }

 private:
  static bool fail(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
  }

  void read(int outFd, int errFd) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    int open = 2;
    while (open > 0) {
      if (poll(fds, 2, 1000) <= 0) continue;
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        char buf[8192];
        const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
        if (n <= 0) {
          close(fds[i].fd);
          fds[i].fd = -1;
          --open;
          continue;
        }
        std::lock_guard lock(mutex_);
        if (i == 1) {
          err_.append(buf, static_cast<size_t>(n));
          continue;
        }
        partial_.append(buf, static_cast<size_t>(n));
        for (size_t end; (end = partial_.find('\n')) != std::string::npos;) {
          lines_.push_back(partial_.substr(0, end));
          partial_.erase(0, end + 1);
        }
        changed_.notify_all();
      }
    }
    std::lock_guard lock(mutex_);
    if (!partial_.empty()) lines_.push_back(partial_);
    partial_.clear();
    ended_ = true;
    changed_.notify_all();
  }

  pid_t pid_ = -1;
  std::thread reader_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> lines_;
  std::string partial_, err_;
  bool ended_ = false;
};

/// Runs a short-lived child to its end (at most `seconds`); its exit code, -1 when killed.
inline int RunToEnd(std::vector<std::string> argv, double seconds, std::string* out = nullptr) {
  LineChild child;
  if (!child.start(std::move(argv), nullptr)) return -1;
  const int status = child.wait(seconds);
  if (out) *out = child.transcript();
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// mosquitto on 127.0.0.1 and a port of its own, with its configuration, its persistence and
/// its log in a temporary folder that goes at the end. It can be stopped and started again on
/// the same port; what it persisted comes back.
class Broker {
 public:
  Broker() {
    char dir[] = "/tmp/rorir-broker-XXXXXX";
    if (mkdtemp(dir) != nullptr) dir_ = dir;
    port_ = FreePort();
  }
  ~Broker() {
    stop();
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }
  Broker(const Broker&) = delete;
  Broker& operator=(const Broker&) = delete;

  /// Starts the broker and waits at most `seconds` until it accepts connections.
  bool start(std::string* error, double seconds = 30) {
    if (dir_.empty() || port_ <= 0) return fail(error, "no folder or no free port");
    const std::string config = dir_ + "/mosquitto.conf";
    {
      // As root the broker would become the user "mosquitto", who may not write the folder:
      // it stays the user the test runs as.
      const passwd* me = getpwuid(getuid());
      std::ofstream file(config);
      file << "listener " << port_ << " 127.0.0.1\n"
           << "allow_anonymous true\n"
           << "persistence true\n"
           << "persistence_location " << dir_ << "/\n"
           << "log_dest stderr\n"
           << "log_type all\n";
      if (me != nullptr) file << "user " << me->pw_name << "\n";
      if (!file) return fail(error, "cannot write " + config);
    }
    if (!child_.start({kBrokerBin, "-c", config}, error)) return false;
    const auto begin = std::chrono::steady_clock::now();
    while (child_process::SecondsSince(begin) < seconds) {
      if (Accepts(port_)) return true;
      if (waitpid(child_.pid(), nullptr, WNOHANG) != 0) break;  // it ended: its log says why
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    child_.kill();
    log_ += child_.transcript();
    return fail(error, "the broker did not accept connections on port " + std::to_string(port_) + ":\n" + log_);
  }

  /// SIGTERM (the broker saves its persistence then) and reap, at most `seconds`.
  void stop(double seconds = 30) {
    if (!child_.running()) return;
    child_.terminate(seconds);
    log_ += child_.transcript();
  }

  int port() const { return port_; }
  std::string url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }
  const std::string& dir() const { return dir_; }
  /// The broker's log of every run so far, the current one included.
  std::string log() const { return log_ + child_.transcript(); }

 private:
  static bool fail(std::string* error, const std::string& what) {
    if (error) *error = what;
    return false;
  }

  std::string dir_;
  int port_ = -1;
  LineChild child_;
  std::string log_;
};

struct Message {
  std::string topic, payload;
};

/// mosquitto_sub on `filter` at QoS 1 with a persistent session under an id of its own: what
/// the broker queued for it while it reconnected reaches it too. Each line it prints (topic, a
/// space, the payload) becomes a Message.
class Subscriber {
 public:
  explicit Subscriber(int port, std::string filter = "rorir/#") : port_(port), filter_(std::move(filter)) {
    static int count = 0;
    id_ = "rorir-test-sub-" + std::to_string(getpid()) + "-" + std::to_string(++count);
  }

  /// Starts it and waits at most `seconds` until its subscription holds: a probe message on
  /// rorir/probe/<id>, published again and again, has reached it.
  bool start(std::string* error, double seconds = 30) {
    const std::string port = std::to_string(port_);
    if (!child_.start({kSubscriberBin, "-h", "127.0.0.1", "-p", port, "-v", "-q", "1", "-c", "-i", id_, "-t",
                       filter_},
                      error))
      return false;
    const std::string probe = "rorir/probe/" + id_;
    const auto begin = std::chrono::steady_clock::now();
    while (child_process::SecondsSince(begin) < seconds) {
      RunToEnd({kPublisherBin, "-h", "127.0.0.1", "-p", port, "-q", "1", "-t", probe, "-m", "probe"}, 10);
      if (child_.waitForLines([&](const std::vector<std::string>& lines) { return !lines.empty(); }, 0.5))
        return true;
    }
    if (error) *error = "the subscriber saw nothing of its probe:\n" + child_.transcript();
    return false;
  }

  /// Ends it (SIGTERM, at most `seconds`); its session stays at the broker.
  void stop(double seconds = 20) { child_.terminate(seconds); }

  /// The messages of `topic` so far, in the order they came.
  std::vector<Message> messages(const std::string& topic) const { return Of(child_.lines(), topic); }

  /// Waits at most `seconds` until `done` holds for the messages of `topic`.
  bool waitFor(const std::string& topic, const std::function<bool(const std::vector<Message>&)>& done,
               double seconds) const {
    return child_.waitForLines([&](const std::vector<std::string>& lines) { return done(Of(lines, topic)); },
                               seconds);
  }

  const std::string& id() const { return id_; }
  std::string transcript() const { return child_.transcript(); }

 private:
  static std::vector<Message> Of(const std::vector<std::string>& lines, const std::string& topic) {
    std::vector<Message> out;
    for (const std::string& line : lines)
      if (line.size() > topic.size() && line.compare(0, topic.size(), topic) == 0 && line[topic.size()] == ' ')
        out.push_back({topic, line.substr(topic.size() + 1)});
    return out;
  }

  int port_;
  std::string filter_, id_;
  LineChild child_;
};

/// The retained payload of `topic` as a fresh client sees it (mosquitto_sub -C 1); empty when
/// none came within `seconds`.
inline std::string RetainedPayload(int port, const std::string& topic, double seconds = 20) {
  LineChild child;
  const std::string wait = std::to_string(static_cast<int>(seconds));
  if (!child.start({kSubscriberBin, "-h", "127.0.0.1", "-p", std::to_string(port), "-q", "1", "-C", "1", "-W", wait,
                    "-t", topic},
                   nullptr))
    return "";
  child.wait(seconds + 10);
  const std::vector<std::string> lines = child.lines();
  return lines.empty() ? "" : lines.front();
}

}  // namespace mqtt_test
