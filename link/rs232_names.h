// Port naming behind the serial-port services: which device a COM number stands for.
//
// Internal to link/rs232*; the tests use it to check the machine scan on a made-up tree.
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

/// The device `port` resolves to: RORIR_COM<port> when set and not empty, else entry
/// port - 1 of `machineDevices`. Empty when the number resolves to nothing.
std::string ResolvePort(int port, const std::vector<std::string>& machineDevices);

/// The machine's serial devices as the program sees them (the real /sys and /dev).
std::vector<std::string> MachineSerialDevices();

}  // namespace rs232
