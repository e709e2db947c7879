#pragma once

#include "platform/sys/utility.h"

template <typename F>
bool PumpUntil(F done, double seconds) {
  // At least one pass, however long the process was paused before the first.
  const double end = Timer() + seconds;
  do {
    if (done()) return true;
    ProcessSystemEvents();
  } while (Timer() < end);
  return done();
}
