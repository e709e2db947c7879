// Command-line options of rorir-sensor, parsed without touching the system so that tests can
// check them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sensor/adapter.h"
#include "sensor/faults.h"
#include "sensor/pacing.h"

namespace rorir::sensor {

/// A device that is pulled and plugged back: after `unplugAfter` seconds of service the device
/// and its link go away; after `replugAfter` more seconds a new device comes back under the
/// same link (0: it stays away); with `cycle`, again and again. Off while unplugAfter is 0.
struct PlugCycle {
  double unplugAfter = 0.0;
  double replugAfter = 0.0;
  bool cycle = false;
  bool on() const { return unplugAfter > 0.0; }
  bool operator==(const PlugCycle&) const = default;
};

struct Options {
  std::string profile;     ///< empty: the default profile
  std::uint64_t seed = 1;
  unsigned baud = kDefaultBaud;
  AdapterSettings adapter;  ///< latency 0: the bytes reach the client as they cross the line
  int objects = 2;
  Faults faults;
  PlugCycle plug;
  std::string link;        ///< empty: defaultLinkPath()
  bool printSlave = false; ///< print the slave device path instead of the link path
  bool log = false;
  std::string frameLog;    ///< file with one wall-clock time per result frame sent; empty: none
  bool help = false;
  bool listProfiles = false;
};

struct ParsedOptions {
  Options options;
  std::string error;  ///< empty when the arguments were understood
};

/// Parses the arguments after the program name.
ParsedOptions parseOptions(std::span<const std::string_view> args);

/// The text of --help.
std::string usage();

/// The text of --list-profiles: one line per profile.
std::string profileList();

/// `$XDG_RUNTIME_DIR/rorir-sensor` when that directory is given (non-empty), else
/// `/tmp/rorir-sensor-<uid>`.
std::string defaultLinkPath(const char* xdgRuntimeDir, unsigned uid);

}  // namespace rorir::sensor
