// rorir-sensor: the virtual sensor on a pseudo-terminal, until Ctrl-C or SIGTERM.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

  // The signals are taken by sigtimedwait below; blocking them first keeps the server's thread,
  // which inherits this mask, from being interrupted by them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  PtyServer server(config);
  std::string error;
  if (!server.start(&error)) {
    std::fprintf(stderr, "rorir-sensor: %s\n", error.c_str());
    return 1;
  }
  {
    std::lock_guard lock(out);
    std::printf("%s\n", (o.printSlave ? server.slavePath() : server.linkPath()).c_str());
    std::fflush(stdout);
    const std::string pace = o.baud ? std::to_string(o.baud) + " baud" : std::string("unpaced");
    const std::string through = o.adapter.on() ? ", through an adapter: " + describe(o.adapter) : "";
    std::fprintf(stderr, "rorir-sensor: profile %s on %s, linked at %s, %s%s; Ctrl-C stops\n",
                 std::string(config.model.profile->name).c_str(), server.slavePath().c_str(),
                 server.linkPath().c_str(), pace.c_str(), through.c_str());
  }

  const timespec tick{0, 100'000'000};
  int signal = -1;
  while (server.running()) {
    signal = sigtimedwait(&stopSignals, nullptr, &tick);
    if (signal > 0) break;
  }
  const bool hungUp = server.hungUp();
  server.stop();
  if (hungUp) std::fprintf(stderr, "rorir-sensor: hung up as asked\n");
  return 0;
}
