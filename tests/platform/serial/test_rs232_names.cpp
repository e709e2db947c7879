// Port naming: the machine scan on a made-up device tree, the names the kernel's device
// attributes give, the COM numbers through the environment, and numbers that stay while
// devices come and go.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/serial/rs232.h"
#include "platform/serial/rs232_names.h"
#include "pty_peer.h"

using rs232test::PtyPeer;
using rs232test::ScopedEnv;
using rs232test::TempDir;

namespace fs = std::filesystem;

namespace {

extern "C" char** environ;

// Unsets every RORIR_COM<n> of the developer's environment for the life of the object, so the
// numbers the tests expect do not depend on the machine they run on.
class NoComVariables {
 public:
  NoComVariables() {
    std::vector<std::string> names;
    for (char** e = environ; *e != nullptr; ++e) {
      std::string entry = *e;
      if (entry.rfind("RORIR_COM", 0) == 0) names.push_back(entry.substr(0, entry.find('=')));
    }
    for (const std::string& name : names) saved_.emplace_back(name, std::getenv(name.c_str()));
    for (const std::string& name : names) unsetenv(name.c_str());
  }
  ~NoComVariables() {
    for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
  }

 private:
  std::vector<std::pair<std::string, std::string>> saved_;
};

// Points the port table at a made-up tree for the life of the object, then back at the
// machine's own.
class FakeMachine {
 public:
  FakeMachine(const fs::path& sys, const fs::path& dev) { rs232::SetDeviceFolders(sys, dev); }
  ~FakeMachine() { rs232::SetDeviceFolders("/sys/class/tty", "/dev"); }
};

// Builds the recorded sysfs fixture under `sys` (see fixtures/usb_serial_sysfs.txt).
bool MakeSysfsFixture(const fs::path& sys) {
  std::ifstream in(std::string(RORIR_RS232_FIXTURES) + "/usb_serial_sysfs.txt");
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string kind, path;
    words >> kind >> path;
    std::string rest;
    std::getline(words >> std::ws, rest);
    if (kind == "dir") {
      fs::create_directories(sys / path);
    } else if (kind == "attr") {
      fs::create_directories((sys / path).parent_path());
      std::ofstream(sys / path) << rest << "\n";
    } else if (kind == "link") {
      fs::create_directories((sys / path).parent_path());
      fs::create_symlink(sys / rest, sys / path);
    }
  }
  return true;
}

// One entry of the made-up /sys/class/tty and /dev.
struct Tty {
  const char* name;
  bool node;        // /dev/<name> exists
  bool device;      // /sys/class/tty/<name>/device exists
  const char* type; // content of /sys/class/tty/<name>/type, or null for none
};

TEST(Rs232Names, MachineScanOrdersAdaptersFirstAndSkipsUartlessEntries) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const fs::path sys = dir / "sys";
  const fs::path dev = dir / "dev";
  const Tty ttys[] = {
      {"ttyS0", true, true, "4\n"},    // a 16550 on the board
      {"ttyS1", true, true, "0\n"},    // a slot the kernel made with no UART behind it
      {"ttyS2", true, false, nullptr}, // a platform entry without a device
      {"ttyS10", true, true, "4\n"},
      {"ttyUSB10", true, true, nullptr},
      {"ttyUSB2", true, true, nullptr},
      {"ttyUSB3", false, true, nullptr},  // listed by the kernel, no node (being removed)
      {"ttyACM0", true, true, nullptr},
      {"tty0", true, false, nullptr},     // virtual consoles are not serial ports
      {"console", true, false, nullptr},
      {"ttySX", true, true, "4\n"},       // no number, not a port
  };
  for (const Tty& t : ttys) {
    fs::create_directories(sys / t.name);
    if (t.device) fs::create_directories(sys / t.name / "device");
    if (t.type) std::ofstream(sys / t.name / "type") << t.type;
    fs::create_directories(dev);
    if (t.node) std::ofstream(dev / t.name) << "";
  }

  const std::vector<std::string> expected = {
      (dev / "ttyUSB2").string(), (dev / "ttyUSB10").string(), (dev / "ttyACM0").string(),
      (dev / "ttyS0").string(), (dev / "ttyS10").string()};
  const std::vector<std::string> found = rs232::ScanSerialDevices(sys.string(), dev.string());
  EXPECT_EQ(found, expected);
  EXPECT_TRUE(rs232::ScanSerialDevices((dir / "nowhere"), dev.string()).empty());

  // Without RORIR_COM<n>, COMn is the n-th device at start-up.
  NoComVariables noVariables;
  {
    FakeMachine machine(sys, dev);
    EXPECT_TRUE(rs232::UpdatePortTable());
    EXPECT_EQ(rs232::PortDevice(1), expected[0]);
    EXPECT_EQ(rs232::PortDevice(5), expected[4]);
    EXPECT_EQ(rs232::PortDevice(6), "");
    EXPECT_EQ(rs232::PortDevice(0), "");
    EXPECT_FALSE(rs232::UpdatePortTable()) << "nothing changed";
  }
  // A variable holds its number, also for a path that does not exist, and moves no other
  // device; the device whose number it holds takes the lowest free one.
  ScopedEnv com2("RORIR_COM2", "/somewhere/else");
  ScopedEnv emptyCom1("RORIR_COM1", "");
  FakeMachine machine(sys, dev);
  rs232::UpdatePortTable();
  EXPECT_EQ(rs232::PortDevice(2), "/somewhere/else");
  EXPECT_FALSE(rs232::PortPresent(2));
  EXPECT_EQ(rs232::PortDevice(1), expected[0]) << "an empty variable counts as unset";
  EXPECT_EQ(rs232::PortDevice(3), expected[2]);
  EXPECT_EQ(rs232::PortDevice(5), expected[4]);
  EXPECT_EQ(rs232::PortDevice(6), expected[1]);
}

TEST(Rs232Names, UsbDevicesAreNamedByProductAndSerialNumber) {
  TempDir dir;
  const fs::path sys = dir / "sys";
  ASSERT_TRUE(MakeSysfsFixture(sys));
  const fs::path tty = sys / "class/tty";
  struct Case {
    const char* device;
    const char* name;
    const char* identity;
  } cases[] = {
      {"/dev/ttyUSB0", "FT232R USB UART (A5XK3RJT)", "usb 0403:6001 A5XK3RJT"},
      {"/dev/ttyUSB1", "USB Serial", "usb 1a86:7523 at 1-3.1"},
      {"/dev/ttyACM0", "Arduino (www.arduino.cc) (85736323838351F0F1A1)",
       "usb 2341:0043 85736323838351F0F1A1"},
      {"/dev/ttyS0", "", "/dev/ttyS0"},
      {"/dev/ttyUSB7", "", "/dev/ttyUSB7"},  // not in the tree (pulled meanwhile)
  };
  for (const Case& c : cases) {
    const rs232::DeviceInfo info = rs232::DescribeDevice(tty, c.device);
    EXPECT_EQ(info.name, c.name) << c.device;
    EXPECT_EQ(info.identity, c.identity) << c.device;
  }
  // A link to an adapter (an override, a udev alias) names the adapter behind it; the
  // identity stays with the adapter.
  std::ofstream(dir / "ttyUSB0") << "";
  fs::create_symlink(dir / "ttyUSB0", dir / "line-3");
  const rs232::DeviceInfo linked = rs232::DescribeDevice(tty, dir / "line-3");
  EXPECT_EQ(linked.name, "FT232R USB UART (A5XK3RJT)");
}

// A device that comes and goes in the made-up tree: its sysfs entry (from the fixture's
// recorded attributes) and its node, here a link to a pseudo-terminal so the port can be
// opened.
void Plug(const fs::path& sys, const fs::path& dev, const std::string& tty, const std::string& usb,
          const std::string& target) {
  fs::create_directories(sys / "class/tty" / tty);
  fs::create_symlink(sys / usb, sys / "class/tty" / tty / "device");
  fs::create_symlink(target, dev / tty);
}
void Pull(const fs::path& sys, const fs::path& dev, const std::string& tty) {
  fs::remove_all(sys / "class/tty" / tty);
  fs::remove(dev / tty);
}

TEST(Rs232Names, NumbersStayWithTheirDevicesWhileOthersComeAndGo) {
  NoComVariables noVariables;
  TempDir dir;
  const fs::path sys = dir / "sys";
  const fs::path dev = dir / "dev";
  ASSERT_TRUE(MakeSysfsFixture(sys));
  fs::create_directories(dev);
  for (const char* unplugged : {"ttyUSB0", "ttyUSB1", "ttyACM0"}) fs::remove_all(sys / "class/tty" / unplugged);
  const std::string ftdi = "devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0";
  const std::string ch340 = "devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3.1/1-3.1:1.0/ttyUSB1";
  const std::string acm = "devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0";
  PtyPeer adapter;
  ASSERT_TRUE(adapter.ok());
  Plug(sys, dev, "ttyUSB0", ftdi, adapter.slave());
  std::ofstream(dev / "ttyS0") << "";
  FakeMachine machine(sys / "class/tty", dev);

  auto ports = [] {
    std::vector<std::pair<int, std::string>> out;
    ComPortEntry list[8];
    const int n = ListComPorts(list, 8);
    for (int i = 0; i < n; ++i) out.emplace_back(list[i].port, fs::path(list[i].device).filename().string());
    return out;
  };
  using List = std::vector<std::pair<int, std::string>>;
  EXPECT_EQ(ports(), (List{{1, "ttyUSB0"}, {2, "ttyS0"}})) << "start-up order: adapters first";
  ComPortEntry first[1];
  ASSERT_EQ(ListComPorts(first, 1), 1);
  EXPECT_STREQ(first[0].name, "FT232R USB UART (A5XK3RJT)");

  // A second adapter takes the lowest free number; nothing is renumbered.
  Plug(sys, dev, "ttyUSB1", ch340, "/dev/null");
  EXPECT_EQ(ports(), (List{{1, "ttyUSB0"}, {2, "ttyS0"}, {3, "ttyUSB1"}}));

  // The port in use keeps its number while its adapter is away, and the same adapter takes it
  // again under a new path; meanwhile a new device does not take it.
  ASSERT_EQ(OpenComConfig(1, "", 19200, RS232_PARITY_NONE, 8, 1, 0, 0), RS232_NO_ERROR);
  Pull(sys, dev, "ttyUSB0");
  EXPECT_EQ(ports(), (List{{2, "ttyS0"}, {3, "ttyUSB1"}}));
  Plug(sys, dev, "ttyACM0", acm, "/dev/null");
  EXPECT_EQ(ports(), (List{{2, "ttyS0"}, {3, "ttyUSB1"}, {4, "ttyACM0"}}));
  Plug(sys, dev, "ttyUSB2", ftdi, adapter.slave());
  EXPECT_EQ(ports(), (List{{1, "ttyUSB2"}, {2, "ttyS0"}, {3, "ttyUSB1"}, {4, "ttyACM0"}}));
  char device[256];
  ASSERT_EQ(ResolveComPort(1, device, sizeof device), RS232_NO_ERROR);
  EXPECT_EQ(std::string(device), dev / "ttyUSB2");
  // By its serial number the adapter is found in its new socket; no other device has it.
  char name[128];
  ASSERT_EQ(FindComAdapter("A5XK3RJT", device, sizeof device, name, sizeof name), RS232_NO_ERROR);
  EXPECT_EQ(std::string(device), dev / "ttyUSB2");
  EXPECT_STREQ(name, "FT232R USB UART (A5XK3RJT)");
  EXPECT_EQ(FindComAdapter("A5XK3RJ", device, sizeof device, nullptr, 0), RS232_ERR_INVALID_PORT)
      << "a part of a serial number is not it";
  EXPECT_EQ(FindComAdapter("", device, sizeof device, nullptr, 0), RS232_ERR_INVALID_PORT)
      << "the adapter without a serial number is not found by an empty one";

  // A device pulled from a port that is not open frees its number; the next one plugged in
  // takes it.
  CloseCom(1);
  Pull(sys, dev, "ttyUSB2");
  Pull(sys, dev, "ttyUSB1");
  EXPECT_EQ(ports(), (List{{2, "ttyS0"}, {4, "ttyACM0"}}));
  Plug(sys, dev, "ttyUSB0", ch340, "/dev/null");
  EXPECT_EQ(ports(), (List{{1, "ttyUSB0"}, {2, "ttyS0"}, {4, "ttyACM0"}}));
}

TEST(Rs232Names, PortListShowsEachNumberWithItsDevice) {
  NoComVariables noVariables;
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  ScopedEnv com1("RORIR_COM1", peer.slave());
  ScopedEnv com9("RORIR_COM9", "/dev/rorir-nothing-here");

  char device[256];
  ASSERT_EQ(ResolveComPort(1, device, sizeof device), RS232_NO_ERROR);
  EXPECT_EQ(std::string(device), peer.slave());
  char tiny[4];
  EXPECT_EQ(ResolveComPort(1, tiny, sizeof tiny), RS232_ERR_INVALID_PARAMETER);
  EXPECT_EQ(ResolveComPort(0, device, sizeof device), RS232_ERR_INVALID_PORT);

  const int total = ListComPorts(nullptr, 0);
  ASSERT_GE(total, 1);
  std::vector<ComPortEntry> list(static_cast<size_t>(total));
  ASSERT_EQ(ListComPorts(list.data(), total), total);
  for (int i = 1; i < total; ++i) EXPECT_LT(list[i - 1].port, list[i].port);
  // Every listed number resolves to the device shown beside it.
  for (const ComPortEntry& e : list) {
    ASSERT_EQ(ResolveComPort(e.port, device, sizeof device), RS232_NO_ERROR) << e.port;
    EXPECT_STREQ(device, e.device);
  }
  EXPECT_EQ(list[0].port, 1);
  EXPECT_EQ(std::string(list[0].device), peer.slave());
  bool nine = false;
  for (const ComPortEntry& e : list) nine |= e.port == 9;
  EXPECT_FALSE(nine) << "a set variable whose device is missing is not listed";
  ASSERT_EQ(ResolveComPort(9, device, sizeof device), RS232_NO_ERROR) << "but resolves";
  EXPECT_STREQ(device, "/dev/rorir-nothing-here");

  // A short list is cut, never overrun.
  ComPortEntry one[1];
  EXPECT_EQ(ListComPorts(one, 1), 1);
  EXPECT_EQ(one[0].port, 1);
}

}  // namespace
