// rorir-sensor: the virtual sensor on a pseudo-terminal, until Ctrl-C or SIGTERM.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "sensor/options.h"
#include "sensor/profiles.h"
#include "sensor/pty_server.h"

using namespace rorir::sensor;

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  ParsedOptions parsed = parseOptions(args);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "rorir-sensor: %s\n", parsed.error.c_str());
    return 2;
  }
  const Options& o = parsed.options;
  if (o.help) {
    std::fputs(usage().c_str(), stdout);
    return 0;
  }
  if (o.listProfiles) {
    std::fputs(profileList().c_str(), stdout);
    return 0;
  }

  ServerConfig config;
  config.model.profile = o.profile.empty() ? &defaultProfile() : findProfile(o.profile);
  config.model.seed = o.seed;
  config.model.objects = o.objects;
  config.model.faults = o.faults;
  config.baud = o.baud;
  config.adapter = o.adapter;
  config.linkPath = o.link.empty() ? defaultLinkPath(std::getenv("XDG_RUNTIME_DIR"), getuid()) : o.link;
  static std::mutex out;
  if (o.log) {
    config.log = [](const std::string& line) {
      std::lock_guard lock(out);
      std::printf("%s\n", line.c_str());
      std::fflush(stdout);
    };
  }

  // One line per result frame, flushed at once, so that the file is whole even when the
  // sensor is killed rather than stopped.
  std::FILE* frameLog = nullptr;
  if (!o.frameLog.empty()) {
    frameLog = std::fopen(o.frameLog.c_str(), "w");
    if (!frameLog) {
      std::fprintf(stderr, "rorir-sensor: cannot write the frame log %s: %s\n", o.frameLog.c_str(),
                   std::strerror(errno));
      return 1;
    }
    config.resultSent = [frameLog](std::chrono::system_clock::time_point t) {
      const auto us = std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch());
      std::fprintf(frameLog, "%lld\n", static_cast<long long>(us.count()));
      std::fflush(frameLog);
    };
  }

  // The signals are taken by sigtimedwait below; blocking them first keeps the server's thread,
  // which inherits this mask, from being interrupted by them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  auto server = std::make_unique<PtyServer>(config);
  std::string error;
  if (!server->start(&error)) {
    std::fprintf(stderr, "rorir-sensor: %s\n", error.c_str());
    return 1;
  }
  const std::string link = server->linkPath();
  {
    std::lock_guard lock(out);
    std::printf("%s\n", (o.printSlave ? server->slavePath() : link).c_str());
    std::fflush(stdout);
    const std::string pace = o.baud ? std::to_string(o.baud) + " baud" : std::string("unpaced");
    const std::string through = o.adapter.on() ? ", through an adapter: " + describe(o.adapter) : "";
    std::fprintf(stderr, "rorir-sensor: profile %s on %s, linked at %s, %s%s; Ctrl-C stops\n",
                 std::string(config.model.profile->name).c_str(), server->slavePath().c_str(),
                 link.c_str(), pace.c_str(), through.c_str());
  }

  // Waits `seconds` (forever when negative) while the device serves, or stays away when there
  // is none. False when a signal came or the line hung up as asked: the program then ends.
  const timespec tick{0, 100'000'000};
  auto wait = [&](double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (seconds < 0 || std::chrono::steady_clock::now() < end) {
      if (server && !server->running()) return false;
      timespec step = tick;
      if (seconds >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        if (left.count() < step.tv_nsec) step.tv_nsec = static_cast<long>(left.count());
      }
      if (sigtimedwait(&stopSignals, nullptr, &step) > 0) return false;
    }
    return true;
  };

  bool hungUp = false;
  bool ended = false;  // a signal, or the hang-up fault
  for (bool first = true; o.plug.on() && (first || o.plug.cycle); first = false) {
    if (!wait(o.plug.unplugAfter)) {
      ended = true;
      break;
    }
    server.reset();  // the line hangs up and the link goes
    std::fprintf(stderr, "rorir-sensor: unplugged, %s is gone\n", link.c_str());
    if (o.plug.replugAfter <= 0.0) break;
    if (!wait(o.plug.replugAfter)) {
      ended = true;
      break;
    }
    server = std::make_unique<PtyServer>(config);
    if (!server->start(&error)) {
      std::fprintf(stderr, "rorir-sensor: %s\n", error.c_str());
      return 1;
    }
    std::fprintf(stderr, "rorir-sensor: plugged in again on %s, linked at %s\n",
                 server->slavePath().c_str(), link.c_str());
  }
  // Served until stopped (also after the last plug-in, or while unplugged for good).
  if (!ended) wait(-1.0);
  if (server) {
    hungUp = server->hungUp();
    server->stop();
  }
  if (frameLog) std::fclose(frameLog);
  if (hungUp) std::fprintf(stderr, "rorir-sensor: hung up as asked\n");
  return 0;
}
