// What the fault tests read off the program while it works: the CPU its thread used (a wait
// that spins shows here) and a control's text.
#pragma once

#include <sys/resource.h>

#include <string>

#include "app/globals.h"
#include "display/userint.h"

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
