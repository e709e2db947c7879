// Port naming: the machine scan on a made-up device tree, and COM numbers through the
// environment.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "link/rs232.h"
#include "link/rs232_names.h"
#include "pty_peer.h"

using rs232test::PtyPeer;
using rs232test::ScopedEnv;
using rs232test::TempDir;

namespace fs = std::filesystem;

namespace {

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

  // Without RORIR_COM<n>, COMn is the n-th device; the variable wins where it is set.
  unsetenv("RORIR_COM1");
  unsetenv("RORIR_COM2");
  unsetenv("RORIR_COM6");
  EXPECT_EQ(rs232::ResolvePort(1, found), expected[0]);
  EXPECT_EQ(rs232::ResolvePort(5, found), expected[4]);
  EXPECT_EQ(rs232::ResolvePort(6, found), "");
  EXPECT_EQ(rs232::ResolvePort(0, found), "");
  ScopedEnv com2("RORIR_COM2", "/somewhere/else");
  ScopedEnv emptyCom1("RORIR_COM1", "");
  EXPECT_EQ(rs232::ResolvePort(2, found), "/somewhere/else");
  EXPECT_EQ(rs232::ResolvePort(1, found), expected[0]) << "an empty variable counts as unset";
}

TEST(Rs232Names, PortListShowsEachNumberWithItsDevice) {
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
  ASSERT_GE(total, 2);
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
  EXPECT_TRUE(nine) << "a set variable lists its port even when the device is missing";

  // A short list is cut, never overrun.
  ComPortEntry one[1];
  EXPECT_EQ(ListComPorts(one, 1), 1);
  EXPECT_EQ(one[0].port, 1);
}

}  // namespace
