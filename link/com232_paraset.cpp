// The parameter set apart from the line: the text of a parameter file and the range repair.
#include "link/com232_paraset.h"

#include <cstdint>
#include <cstdio>

#include "platform/sys/utility.h"

const SettingInfo kSettings[PNUM] = {
    {"power", "Power", ""},
    {"tolMode", "Tolerance mode", ""},
    {"vThd", "Video threshold", ""},
    {"anaMode", "Analog output", ""},
    {"polarity", "Polarity", ""},
    {"eMode", "Edge mode", ""},
    {"eBeg", "Edge window left", "pixel"},
    {"eEnd", "Edge window right", "pixel"},
    {"tVal", "Setpoint", "pixel"},
    {"tTol", "Tolerance", "pixel"},
    {"opMode", "Operating mode", ""},
    {"eHardware", "Edge hardware", ""},
    {"slope", "Slope", "x1024"},
    {"intersect", "Offset", ""},
    {"average", "Averaging", ""},
    {"powMode", "Power mode", ""},
};

namespace {

constexpr u16 POWER_MAX = 1000;
constexpr u16 POWER_REPAIRED = 500;
constexpr u16 TOLMODE_MAX = 6;
constexpr u16 VTHD_MIN = 50;
constexpr u16 VTHD_MAX = 950;
constexpr u16 ANAMODE_MAX = 5;
constexpr u16 POLARITY_MAX = 1;
constexpr u16 EMODE_MAX = 4;
constexpr u16 POWMODE_MAX = 2;
constexpr u16 EHARDWARE_MAX = 3;
constexpr u16 AVERAGE_MAX = 1024;
constexpr u16 SLOPE_MAX = 65534;
constexpr u16 INTERSECT_MAX = 60000;
constexpr std::uint64_t U32_LIMIT = 0xFFFFFFFFull;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

// Out-of-range settings are repaired in the globals themselves, so that a later send or save
// carries the repaired values. All comparisons are unsigned.
void RepairSettings(void) {
  if (power > POWER_MAX) power = POWER_REPAIRED;
  if (tolMode > TOLMODE_MAX) tolMode = 0;
  if (vThd > VTHD_MAX) vThd = VTHD_MAX;
  if (vThd < VTHD_MIN) vThd = VTHD_MIN;
  if (anaMode > ANAMODE_MAX) anaMode = 0;
  if (polarity > POLARITY_MAX) polarity = POLARITY_MAX;
  if (eMode > EMODE_MAX) eMode = EMODE_MAX;
  if (tTol > ccdmaxpixelX8) tTol = ccdmaxpixelX8;
  if (tTol == 0) tTol = 1;
  if (powMode > POWMODE_MAX) powMode = 0;
  // A left limit beyond the line restarts the window at its beginning.
  if (eBeg > ccdsubpixel) eBeg = 1;
  if (eEnd > ccdsubpixel) eEnd = ccdsubpixel;
  if (eEnd == 0) eEnd = 1;
  if (eHardware > EHARDWARE_MAX) eHardware = EHARDWARE_MAX;
  if (average > AVERAGE_MAX) average = AVERAGE_MAX;
  if (slope > SLOPE_MAX) slope = SLOPE_x1024;
  if (intersect > INTERSECT_MAX) intersect = YOFFSET;
}

size_t FormatParameterText(const u16 words[PNUM], char* out, size_t size) {
  size_t used = 0;
  for (int i = 0; i < PNUM; ++i) {
    if (used >= size) return 0;
    // Integers only: the text does not depend on the locale.
    const int n = std::snprintf(out + used, size - used, "%*u\r\n", PARA_FIELD_WIDTH,
                                static_cast<unsigned>(words[i]));
    if (n < 0 || static_cast<size_t>(n) >= size - used) {
      if (size > 0) out[0] = '\0';
      return 0;
    }
    used += static_cast<size_t>(n);
  }
  return used;
}

bool ParseParameterText(const char* text, size_t count, u32 values[PNUM]) {
  u32 found[PNUM] = {};
  int numbers = 0;
  size_t i = 0;
  while (i < count) {
    if (IsBlank(text[i])) {
      ++i;
      continue;
    }
    if (!IsDigit(text[i]) || numbers == PNUM) return false;
    std::uint64_t v = 0;
    while (i < count && IsDigit(text[i])) {
      v = v * 10 + static_cast<std::uint64_t>(text[i] - '0');
      if (v > U32_LIMIT) return false;
      ++i;
    }
    // A number ends at a blank, a line end or the end of the file, never at another character.
    if (i < count && !IsBlank(text[i])) return false;
    found[numbers++] = static_cast<u32>(v);
  }
  if (numbers != PNUM) return false;
  for (int k = 0; k < PNUM; ++k) values[k] = found[k];
  return true;
}

int ReadParameterFile(const char* path, u32 values[PNUM]) {
  static char text[PARA_FILE_MAX_BYTES];
  size_t count = 0;
  const int read = ReadFileBytes(path, text, sizeof text, &count);
  if (read < 0) return PARA_FILE_UNREADABLE;
  // A file larger than the buffer (result 1) is no parameter file either.
  if (read != 0 || !ParseParameterText(text, count, values)) return PARA_FILE_NOT_PARAMETERS;
  return PARA_FILE_READ;
}
