// Bounded waits on a child process for the tests that start the programs themselves: reading
// its output and waiting for its end never outlast their bound, and a child that outlives it is
// killed, so a hanging program fails its test instead of stalling the suite.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace child_process {

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// Reads `fd` until its end of file (or, with `firstLineOnly`, its first line end) for at most
/// `seconds`; returns what came.
inline std::string ReadOutput(int fd, double seconds, bool firstLineOnly = false) {
  const auto start = std::chrono::steady_clock::now();
  std::string text;
  pollfd pfd{fd, POLLIN, 0};
  for (;;) {
    const double left = seconds - SecondsSince(start);
    if (left <= 0) break;
    const int ready = poll(&pfd, 1, static_cast<int>(left * 1000) + 1);
    if (ready < 0) break;
    if (ready == 0) continue;
    char ch;
    if (read(fd, &ch, 1) != 1) break;
    if (firstLineOnly && ch == '\n') break;
    text += ch;
  }
  return text;
}

/// Waits at most `seconds` for `pid` to end and returns its wait status; a child still running
/// then is killed and reaped, and the result is -1.
inline int WaitForEnd(pid_t pid, double seconds) {
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return status;
    if (done < 0) return -1;
    if (SecondsSince(start) > seconds) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

/// The exit code of a child that ended normally within `seconds`, otherwise -1.
inline int ExitCode(pid_t pid, double seconds) {
  const int status = WaitForEnd(pid, seconds);
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace child_process
