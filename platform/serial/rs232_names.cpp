// Port naming: the machine's serial devices, their names, and the table of COM numbers.
#include "platform/serial/rs232_names.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "platform/serial/rs232.h"

namespace fs = std::filesystem;

namespace rs232 {
namespace {

// The numeric suffix of a tty name ("ttyUSB12" -> 12), or -1 when it has none. Sorting by
// it keeps ttyUSB2 before ttyUSB10, so the numbering of the COM ports does not jump when a
// tenth adapter appears.
long NumericSuffix(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return -1;
  long value = 0;
  for (char c : name.substr(prefix.size())) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
    if (value > 1000000) return -1;
  }
  return value;
}

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(p, ec);
}

// A ttyS entry has a UART behind it when the kernel gave it a device and a known port type.
bool HasUart(const fs::path& ttyDir) {
  if (!Exists(ttyDir / "device")) return false;
  std::ifstream in(ttyDir / "type");
  int type = 0;
  if (!(in >> type)) return false;
  return type != 0;
}

// The first line of a sysfs attribute, without its line end; empty when there is none.
std::string Attribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

// One slot of the port table.
struct Slot {
  std::string device;    // path; empty when the number is free
  std::string identity;  // DeviceInfo::identity
  std::string name;      // DeviceInfo::name
  bool present = false;  // the device is on the machine now
  bool pinned = false;   // given by RORIR_COM<n>

  bool operator==(const Slot&) const = default;
};

Slot table[RS232_MAX_PORT + 1];
bool tableMade = false;
unsigned tableVersion = 0;  // counts the changes
std::string sysFolder = "/sys/class/tty";
std::string devFolder = "/dev";

// The path a device is reached by in the end (links followed), or the path itself.
std::string Canonical(const std::string& path) {
  std::error_code ec;
  fs::path c = fs::canonical(path, ec);
  return ec ? path : c.string();
}

}  // namespace

std::vector<std::string> ScanSerialDevices(const std::string& sysClassTty,
                                           const std::string& devDir) {
  static constexpr std::string_view kGroups[] = {"ttyUSB", "ttyACM", "ttyS"};
  std::vector<std::string> result;
  std::error_code ec;
  fs::directory_iterator it(sysClassTty, ec);
  if (ec) return result;
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : it) names.push_back(entry.path().filename().string());

  for (std::string_view prefix : kGroups) {
    std::vector<std::pair<long, std::string>> group;
    for (const std::string& name : names) {
      long number = NumericSuffix(name, prefix);
      if (number < 0) continue;
      if (!Exists(fs::path(devDir) / name)) continue;
      if (prefix == "ttyS" && !HasUart(fs::path(sysClassTty) / name)) continue;
      group.emplace_back(number, name);
    }
    std::sort(group.begin(), group.end());
    for (const auto& [number, name] : group) result.push_back((fs::path(devDir) / name).string());
  }
  return result;
}

DeviceInfo DescribeDevice(const std::string& sysClassTty, const std::string& devPath) {
  DeviceInfo info{{}, devPath, {}};
  // The entry named like the node, else like what a link leads to (/dev/serial/by-id/...).
  std::error_code ec;
  fs::path dir;
  for (const std::string& path : {devPath, Canonical(devPath)}) {
    const std::string tty = fs::path(path).filename().string();
    if (tty.empty()) continue;
    dir = fs::canonical(fs::path(sysClassTty) / tty / "device", ec);
    if (!ec) break;
  }
  if (ec || dir.empty()) return info;
  // The tty's device is the USB interface (ttyACM) or a port below it (ttyUSB); the USB
  // device with the ids, product and serial number is a few folders up.
  for (int up = 0; up < 4 && !dir.empty() && dir != dir.root_path(); ++up, dir = dir.parent_path()) {
    if (!Exists(dir / "idVendor")) continue;
    const std::string vendor = Attribute(dir / "idVendor");
    const std::string product = Attribute(dir / "idProduct");
    const std::string serial = Attribute(dir / "serial");
    std::string text = Attribute(dir / "product");
    if (text.empty()) text = Attribute(dir / "manufacturer");
    if (text.empty()) text = "USB " + vendor + ":" + product;
    info.name = serial.empty() ? text : text + " (" + serial + ")";
    info.serial = serial;
    // Without a serial number, the socket (the USB device's folder name, e.g. 1-2.3) tells
    // the adapter apart from others of its kind.
    info.identity = "usb " + vendor + ":" + product + " " +
                    (serial.empty() ? "at " + dir.filename().string() : serial);
    return info;
  }
  return info;
}

void SetDeviceFolders(const std::string& sysClassTty, const std::string& devDir) {
  sysFolder = sysClassTty;
  devFolder = devDir;
  for (Slot& slot : table) slot = Slot{};
  tableMade = false;
}

const std::string& DeviceFolder() { return devFolder; }
const std::string& SystemFolder() { return sysFolder; }

std::string FindDeviceBySerial(const std::string& serial) {
  if (serial.empty()) return {};
  for (const std::string& path : ScanSerialDevices(sysFolder, devFolder))
    if (DescribeDevice(sysFolder, path).serial == serial) return path;
  return {};
}

bool UpdatePortTable() {
  static Slot next[RS232_MAX_PORT + 1];
  for (int n = 1; n <= RS232_MAX_PORT; ++n) next[n] = table[n];

  // Every set variable holds its number, whether its device is there or not.
  std::vector<std::string> overridden;
  for (int n = 1; n <= RS232_MAX_PORT; ++n) {
    char var[32];
    std::snprintf(var, sizeof var, "RORIR_COM%d", n);
    const char* value = std::getenv(var);
    if (value && *value) {
      DeviceInfo info = DescribeDevice(sysFolder, value);
      info.identity = value;  // the same path is the same device
      next[n] = Slot{value, info.identity, info.name, Exists(value), true};
      overridden.push_back(Canonical(value));
    } else if (next[n].pinned) {
      next[n] = Slot{};
    }
  }

  // The machine's devices, less those a variable already names.
  std::vector<std::pair<std::string, DeviceInfo>> found;
  for (const std::string& path : ScanSerialDevices(sysFolder, devFolder)) {
    if (std::find(overridden.begin(), overridden.end(), Canonical(path)) != overridden.end())
      continue;
    found.emplace_back(path, DescribeDevice(sysFolder, path));
  }
  // Two adapters that claim the same serial number are told apart by their paths.
  for (auto& [path, info] : found) {
    const auto same = std::count_if(found.begin(), found.end(),
                                    [&](const auto& f) { return f.second.identity == info.identity; });
    if (same > 1) info.identity = path;
  }

  std::vector<bool> placed(found.size(), false);
  for (int n = 1; n <= RS232_MAX_PORT; ++n) {
    Slot& slot = next[n];
    if (slot.pinned || slot.device.empty()) continue;
    bool kept = false;
    for (size_t i = 0; i < found.size() && !kept; ++i) {
      if (placed[i] || found[i].second.identity != slot.identity) continue;
      slot.device = found[i].first;
      slot.name = found[i].second.name;
      slot.present = true;
      placed[i] = kept = true;
    }
    if (kept) continue;
    if (PortHeld(n)) {
      slot.present = false;  // the port in use waits for its device
    } else {
      slot = Slot{};
    }
  }
  // At start-up the n-th device is COMn, as long as no variable holds that number (the
  // variables move no device); a device whose number a variable holds, and every device that
  // appears later, takes the lowest free number.
  if (!tableMade) {
    for (size_t i = 0; i < found.size() && i < RS232_MAX_PORT; ++i) {
      Slot& slot = next[i + 1];
      if (placed[i] || !slot.device.empty()) continue;
      slot = Slot{found[i].first, found[i].second.identity, found[i].second.name, true, false};
      placed[i] = true;
    }
  }
  int free = 1;
  for (size_t i = 0; i < found.size(); ++i) {
    if (placed[i]) continue;
    while (free <= RS232_MAX_PORT && !next[free].device.empty()) ++free;
    if (free > RS232_MAX_PORT) break;
    next[free] = Slot{found[i].first, found[i].second.identity, found[i].second.name, true, false};
  }

  bool changed = !tableMade;
  for (int n = 1; n <= RS232_MAX_PORT; ++n) {
    if (table[n] == next[n]) continue;
    changed = true;
    table[n] = next[n];
  }
  tableMade = true;
  if (changed) ++tableVersion;
  return changed;
}

unsigned PortTableVersion() { return tableVersion; }

std::string PortDevice(int port) {
  if (port < 1 || port > RS232_MAX_PORT) return {};
  return table[port].device;
}

bool PortPresent(int port) {
  if (port < 1 || port > RS232_MAX_PORT) return false;
  return table[port].present;
}

std::string PortName(int port) {
  if (port < 1 || port > RS232_MAX_PORT) return {};
  return table[port].name;
}

}  // namespace rs232
