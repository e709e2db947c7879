// Shared by the fault tests: the program brought up on COM1 as start-up does it and closed
// again, and what they read off it while it works: the CPU its thread used (a wait that spins
// shows here) and a control's text.
#pragma once

#include <sys/resource.h>

#include <string>

#include "app/link_hooks.h"
#include "state/globals.h"
#include "app/main_panel.h"
#include "app/settings.h"
#include "link/com232.h"
#include "platform/serial/rs232.h"
#include "support/ui_helpers.h"
#include "platform/ui/userint.h"

inline double ThreadCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline std::string Text(int panel, int control) {
  char buf[TEXT_SIZE] = "";
  GetCtrlVal(panel, control, buf);
  return buf;
}

/// Loads the panels, takes their values, fills the COM ring and opens COM1 with its line check
/// and identification, as start-up does; false (with the reason) when the panels do not load.
inline bool OpenProgramOnCom1(std::string* why) {
  RegisterCallbacks();
  if (!LoadProgramPanels(why)) return false;
  JoinLinkToPanel();
  GetProjectDir(proj_dir);
  InitVars();
  FillComPortRing();
  DisplayPanel(pHandle);
  com = 1;
  InitRS232(com);
  return true;
}

/// The other end of OpenProgramOnCom1: closes the port and discards the panels.
inline void CloseProgram() {
  CloseCom(com);
  PumpFor(0.02);
  DiscardPanel(pPopup);
  DiscardPanel(pHandle);
  pHandle = pPopup = 0;
}
