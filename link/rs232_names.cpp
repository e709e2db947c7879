// Port naming: COM numbers to device paths, and the port list for the COM ring.
#include "link/rs232_names.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "link/rs232.h"

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

std::string ResolvePort(int port, const std::vector<std::string>& machineDevices) {
  if (port < 1 || port > RS232_MAX_PORT) return {};
  char var[32];
  std::snprintf(var, sizeof var, "RORIR_COM%d", port);
  const char* value = std::getenv(var);
  if (value && *value) return value;
  if (static_cast<size_t>(port) <= machineDevices.size()) return machineDevices[port - 1];
  return {};
}

std::vector<std::string> MachineSerialDevices() {
  return ScanSerialDevices("/sys/class/tty", "/dev");
}

}  // namespace rs232

int ListComPorts(ComPortEntry* out, int max) {
  if (out != nullptr && max < 0) return RS232_ERR_INVALID_PARAMETER;
  const std::vector<std::string> machine = rs232::MachineSerialDevices();
  int count = 0;
  for (int port = 1; port <= RS232_MAX_PORT; ++port) {
    const std::string device = rs232::ResolvePort(port, machine);
    if (device.empty()) continue;
    if (out != nullptr) {
      if (count >= max) break;
      out[count].port = port;
      std::snprintf(out[count].device, sizeof out[count].device, "%s", device.c_str());
    }
    ++count;
  }
  return count;
}

int ResolveComPort(int port, char* device, size_t size) {
  if (device == nullptr || size == 0) return RS232_ERR_INVALID_PARAMETER;
  device[0] = '\0';
  if (port < 1 || port > RS232_MAX_PORT) return RS232_ERR_INVALID_PORT;
  const std::string path = rs232::ResolvePort(port, rs232::MachineSerialDevices());
  if (path.empty()) return RS232_ERR_INVALID_PORT;
  if (path.size() >= size) return RS232_ERR_INVALID_PARAMETER;
  std::memcpy(device, path.c_str(), path.size() + 1);
  return RS232_NO_ERROR;
}
