// Port naming behind the serial-port services: which devices the machine has, what the kernel
// tells of each, and which COM number stands for which device.
//
// Internal to platform/serial; the tests use it to check the machine scan and the numbering on a
// made-up device tree.
#pragma once

#include <string>
#include <vector>

namespace rs232 {

/// The machine's serial devices in their stable order: ttyUSB*, then ttyACM*, then ttyS*, each
/// group in numeric order. `sysClassTty` is the folder that lists the tty devices (normally
/// /sys/class/tty), `devDir` the folder of device nodes (normally /dev). USB and ACM devices
/// count when their node exists; a ttyS counts only when a UART is behind it: the tty has a
/// `device` link and its `type` is not 0 (unknown), which leaves out the dozens of unused
/// on-board entries the kernel always creates.
std::vector<std::string> ScanSerialDevices(const std::string& sysClassTty,
                                           const std::string& devDir);

/// What the kernel tells of a serial device.
struct DeviceInfo {
  /// How the ring names it: "FT232R USB UART (A5XK3RJT)" for a USB device (product, or maker
  /// and ids when it has no product text, and its serial number when it has one); empty for
  /// any other device, which the ring names by its path alone.
  std::string name;
  /// What stays the same when the device is plugged in again: a USB device's vendor, product
  /// and serial number (without a serial number, the USB socket it is plugged into); the path
  /// for any other device.
  std::string identity;
  /// A USB device's serial number; empty for a device without one and for any other device.
  std::string serial;
};

/// Describes the device at `devPath` from the attributes under `sysClassTty` (the entry named
/// like the device, after following links: an override link to /dev/ttyUSB0 is that adapter).
DeviceInfo DescribeDevice(const std::string& sysClassTty, const std::string& devPath);

/// The machine's serial device (in ScanSerialDevices order) whose USB serial number is
/// `serial`; empty when none has it now.
std::string FindDeviceBySerial(const std::string& serial);

/// Where the port table looks for devices. The program uses /sys/class/tty and /dev; tests
/// point it at a made-up tree. Setting them also forgets the numbers given so far, so the next
/// look at the table numbers the devices as at start-up.
void SetDeviceFolders(const std::string& sysClassTty, const std::string& devDir);
/// The folder of tty descriptions the table reads (/sys/class/tty normally).
const std::string& SystemFolder();
/// The device folder the table reads (/dev normally).
const std::string& DeviceFolder();

/// Brings the port table up to date with the machine and the RORIR_COM<n> variables. The
/// first time, numbers go in start-up order: every RORIR_COM<n> holds n, and the n-th device
/// of ScanSerialDevices is COMn unless a variable holds n (that device then takes the lowest
/// free number, where before it could not be reached at all). Later, a listed
/// device keeps its number (a USB adapter under a new path too), a new one takes the lowest
/// free number, and a device that vanished frees its number unless its port is open (so the
/// port in use keeps its number until the same device is back). Returns true when anything
/// the ring shows changed.
bool UpdatePortTable();
/// Counts the changes UpdatePortTable found, whoever called it: the watch compares it with the
/// count it last reported, so a change seen first by another caller is still reported.
unsigned PortTableVersion();

/// The device path of `port` in the table: also when the device is missing (a set variable,
/// a port in use whose device vanished). Empty when the number stands for nothing.
std::string PortDevice(int port);
/// True when `port`'s device is on the machine now.
bool PortPresent(int port);
/// The name the ring shows beside the path (DeviceInfo::name), or empty.
std::string PortName(int port);

/// True while `port` is open in the serial-port services (lost or not): its number stays with
/// its device. Defined in rs232.cpp.
bool PortHeld(int port);
/// Called by rs232.cpp when an open port lost its device: the watch tells the program.
void NotePortLost();

}  // namespace rs232
