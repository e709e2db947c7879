// What the program started in-process needs around it: a scripted peer as COM1 and a fresh,
// empty data folder, both undone when the test ends.
#pragma once

#include <cstdlib>
#include <string>

#include "support/scripted_peer.h"
#include "support/ui_helpers.h"

class ProgramEnvironment {
 public:
  ProgramEnvironment() : dataDir(MakeTempDir()) {
    setenv("RORIR_DATA_DIR", dataDir.c_str(), 1);
    setenv("RORIR_COM1", peer.slavePath().c_str(), 1);
  }
  ~ProgramEnvironment() {
    unsetenv("RORIR_DATA_DIR");
    unsetenv("RORIR_RESOURCE_DIR");
    unsetenv("RORIR_COM1");
    RemoveTree(dataDir);
  }
  ProgramEnvironment(const ProgramEnvironment&) = delete;
  ProgramEnvironment& operator=(const ProgramEnvironment&) = delete;

  ScriptedPeer peer;  // silent unless a test gives it a responder
  std::string dataDir;
};
