#include "sensor/options.h"

#include <charconv>
#include <limits>

#include "sensor/profiles.h"

namespace rorir::sensor {

namespace {

template <typename T>
bool number(std::string_view text, T& out, T max = std::numeric_limits<T>::max()) {
  T value{};
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || value > max) return false;
  out = value;
  return true;
}

// "LATENCY_MS" or "LATENCY_MS:PACKET".
bool adapterSettings(std::string_view text, AdapterSettings& out) {
  const std::size_t colon = text.find(':');
  unsigned ms = 0;
  std::size_t packet = kDefaultAdapterPacket;
  if (!number(text.substr(0, colon), ms, kMaxAdapterLatencyMs) || ms == 0) return false;
  if (colon != std::string_view::npos &&
      (!number(text.substr(colon + 1), packet, kMaxAdapterPacket) || packet == 0))
    return false;
  out.latency = std::chrono::milliseconds(ms);
  out.packet = packet;
  return true;
}

// Seconds: a decimal number above 0 and at most a day.
bool seconds(std::string_view text, double& out) {
  double value = 0.0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || !(value > 0.0) || value > 86400.0)
    return false;
  out = value;
  return true;
}

}  // namespace

ParsedOptions parseOptions(std::span<const std::string_view> args) {
  ParsedOptions result;
  Options& o = result.options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    auto fail = [&](std::string why) {
      result.error = std::string(arg) + ": " + why;
      return result;
    };
    // Options that take a value read it from the next argument.
    auto value = [&]() -> std::string_view {
      return i + 1 < args.size() ? args[++i] : std::string_view{};
    };
    auto count = [&](unsigned& out) {
      std::string_view v = value();
      return number(v, out);
    };

    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--list-profiles") {
      o.listProfiles = true;
    } else if (arg == "--profile") {
      std::string_view v = value();
      if (!findProfile(v)) return fail("unknown profile \"" + std::string(v) + "\" (see --list-profiles)");
      o.profile = v;
    } else if (arg == "--seed") {
      if (!number(value(), o.seed)) return fail("needs a whole number");
    } else if (arg == "--baud") {
      if (!count(o.baud)) return fail("needs a whole number (0: unpaced)");
    } else if (arg == "--adapter") {
      if (!adapterSettings(value(), o.adapter))
        return fail("needs LATENCY_MS[:PACKET]: a latency of 1 to 255 ms and a packet of 1 to "
                    "4096 bytes, e.g. 16 or 16:62");
    } else if (arg == "--objects") {
      unsigned n = 0;
      if (!count(n) || n < 1 || n > 2) return fail("needs 1 or 2");
      o.objects = static_cast<int>(n);
    } else if (arg == "--link") {
      std::string_view v = value();
      if (v.empty()) return fail("needs a path");
      o.link = v;
    } else if (arg == "--print-slave") {
      o.printSlave = true;
    } else if (arg == "--log") {
      o.log = true;
    } else if (arg == "--frame-log") {
      std::string_view v = value();
      if (v.empty()) return fail("needs a file");
      o.frameLog = v;
    } else if (arg == "--silent") {
      o.faults.silent = true;
    } else if (arg == "--wrong-sync") {
      o.faults.wrongSync = true;
    } else if (arg == "--wrong-sync-every") {
      if (!count(o.faults.wrongSyncEvery) || o.faults.wrongSyncEvery == 0) return fail("needs a count of 1 or more");
    } else if (arg == "--echo-unchanged") {
      o.faults.echoUnchanged = true;
    } else if (arg == "--delay") {
      unsigned ms = 0;
      if (!count(ms)) return fail("needs milliseconds");
      o.faults.delay = std::chrono::milliseconds(ms);
    } else if (arg == "--drop-every") {
      if (!count(o.faults.dropEvery) || o.faults.dropEvery == 0) return fail("needs a count of 1 or more");
    } else if (arg == "--extra-bytes") {
      if (!count(o.faults.extraBytes)) return fail("needs a byte count");
    } else if (arg == "--missing-bytes") {
      if (!count(o.faults.missingBytes)) return fail("needs a byte count");
    } else if (arg == "--wrong-order") {
      o.faults.wrongOrder = true;
    } else if (arg == "--garbage") {
      o.faults.garbage = true;
    } else if (arg == "--hang-up-after") {
      if (!count(o.faults.hangUpAfter) || o.faults.hangUpAfter == 0)
        return fail("needs a count of 1 or more");
    } else if (arg == "--unplug-after") {
      if (!seconds(value(), o.plug.unplugAfter)) return fail("needs seconds above 0, e.g. 5 or 0.5");
    } else if (arg == "--replug-after") {
      if (!seconds(value(), o.plug.replugAfter)) return fail("needs seconds above 0, e.g. 3 or 0.5");
    } else if (arg == "--cycle") {
      o.plug.cycle = true;
    } else {
      return fail("unknown option (see --help)");
    }
  }
  if (o.plug.replugAfter > 0.0 && !o.plug.on()) {
    result.error = "--replug-after: needs --unplug-after";
  } else if (o.plug.cycle && (!o.plug.on() || o.plug.replugAfter <= 0.0)) {
    result.error = "--cycle: needs --unplug-after and --replug-after";
  }
  return result;
}

std::string usage() {
  std::string text =
      "Usage: rorir-sensor [options]\n"
      "\n"
      "A virtual line-scan edge sensor on a pseudo-terminal. It answers the sensor's orders\n"
      "(1..11) on 36-byte frames, serves a simulated CCD line, and runs until Ctrl-C or SIGTERM,\n"
      "which remove its link. It prints the link path on standard output.\n"
      "\n"
      "Options:\n"
      "  --link PATH          symbolic link to the slave device (default\n"
      "                       $XDG_RUNTIME_DIR/rorir-sensor, or /tmp/rorir-sensor-<uid>)\n"
      "  --print-slave        print the slave device path (/dev/pts/N) instead of the link path\n"
      "  --profile NAME       hardware profile (default " +
      std::string(defaultProfile().name) +
      "; see --list-profiles)\n"
      "  --list-profiles      list the hardware profiles and exit\n"
      "  --seed N             seed of the simulated scene; the same seed repeats a run (default 1)\n"
      "  --objects N          objects in front of the line, 1 or 2 (default 2)\n"
      "  --baud N             line pacing in baud, 10 bits a byte, both directions\n"
      "                       (default 19200; 0 answers at once)\n"
      "  --adapter MS[:N]     deliver as a USB-serial adapter does: bytes that crossed the\n"
      "                       line collect in a buffer that is passed on when it holds N bytes\n"
      "                       (default 62) or MS milliseconds (1..255) after its first byte\n"
      "                       (default: no adapter, each byte as it crosses the line)\n"
      "  --log                print each request and answer in hex with a time stamp\n"
      "  --frame-log FILE     write to FILE one line per answer to a measure request (a\n"
      "                       result frame): the wall-clock time (CLOCK_REALTIME) in\n"
      "                       microseconds when its last byte has crossed the line\n"
      "\n"
      "Unplugging:\n"
      "  --unplug-after S     after S seconds (decimals allowed) the device goes away: the\n"
      "                       line hangs up and the link is removed, as when a USB adapter is\n"
      "                       pulled\n"
      "  --replug-after S     S seconds later a new device comes back under the same link,\n"
      "                       with a freshly started sensor (default: it stays away)\n"
      "  --cycle              unplug and plug back again and again (needs both times)\n"
      "  --help, -h           this text\n"
      "\n"
      "Faults:\n"
      "  --silent             never answer\n"
      "  --wrong-sync         frame answers carry the sync word 0x00A5 instead of 0x00AA\n"
      "  --wrong-sync-every N every N-th answer carries the wrong sync word (frame answers)\n"
      "  --echo-unchanged     answer the echo order with the request unchanged\n"
      "  --delay MS           every answer leaves MS milliseconds late\n"
      "  --drop-every N       leave out every N-th answer\n"
      "  --extra-bytes N      append N bytes (0xEE) to every answer\n"
      "  --missing-bytes N    cut N bytes off the end of every answer (short answers)\n"
      "  --wrong-order        frame answers carry the order word with bit 8 set (8 -> 0x0108)\n"
      "  --garbage            replace every answer by as many random bytes\n"
      "  --hang-up-after N    answer N requests, then hang up the line and exit\n";
  return text;
}

std::string profileList() {
  std::string text;
  for (const Profile& p : profiles()) {
    text += std::string(p.name);
    text.append(p.name.size() < 14 ? 14 - p.name.size() : 1, ' ');
    text += std::string(p.summary) + "\n";
  }
  return text;
}

std::string defaultLinkPath(const char* xdgRuntimeDir, unsigned uid) {
  if (xdgRuntimeDir && *xdgRuntimeDir) return std::string(xdgRuntimeDir) + "/rorir-sensor";
  return "/tmp/rorir-sensor-" + std::to_string(uid);
}

}  // namespace rorir::sensor
