#pragma once

#include "display/utility.h"

template <typename F>
bool PumpUntil(F done, double seconds) {
  const double end = Timer() + seconds;
  while (!done() && Timer() < end) ProcessSystemEvents();
  return done();
}
