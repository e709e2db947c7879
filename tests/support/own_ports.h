// Tests that fill the COM ring see only their own ports: no RORIR_COM<n> of the developer's
// environment and none of the machine's serial devices (an empty device tree under `root`)
// change the numbers they expect.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/serial/rs232_names.h"

inline void UseOnlyOwnPorts(const std::string& root) {
  std::vector<std::string> names;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.rfind("RORIR_COM", 0) == 0) names.push_back(entry.substr(0, entry.find('=')));
  }
  for (const std::string& name : names) unsetenv(name.c_str());
  std::filesystem::create_directories(root + "/sys");
  std::filesystem::create_directories(root + "/dev");
  rs232::SetDeviceFolders(root + "/sys", root + "/dev");
}
