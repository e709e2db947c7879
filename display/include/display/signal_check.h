// The signal check: what one video line says about the set-up of the sensor. Levels, contrast,
// noise and saturation of the line, the edges the threshold finds inside the edge window, plain
// warnings, a one-line verdict, a suggested threshold and the direction for the power.
//
// A pure function of the line, its x scale, the video top of the sensor type and the settings:
// no global state, no heap, standard library only.
//
// Choices:
// - Dark and bright level are the 5th and 95th percentile of the whole line: a few stray words
//   (a hot pixel, a noise spike) do not move them, and an object that covers more than about a
//   twentieth of the line shows its own level.
// - Noise is the standard deviation of the flat parts, estimated from the median of the absolute
//   second differences (a straight slope such as the lens fall-off adds nothing, and the few
//   words of an edge do not move a median); words at the top or at 0 are left out.
// - A word saturates when it reaches the top of the axis range (video top - 1). The signal is
//   called saturated when at least SATURATED_MIN words do.
// - The signal is weak when the bright level lies below half the video top: raise the power.
//   Saturated: lower the power. Otherwise keep it.
// - Edges are found as the sensor finds them: between consecutive words inside the window
//   eBeg .. eEnd that lie on either side of the threshold (a word counts as below when it is
//   smaller than vThd), placed by linear interpolation between the two words, in sub-pixel units
//   with a fraction.
// - The suggested threshold is the middle between dark and bright level.
#pragma once

#include <cstdint>

namespace signal_check {

using u16 = std::uint16_t;

constexpr int MAX_EDGES = 32;          ///< edges kept for drawing (more are counted)
constexpr int SATURATED_MIN = 3;       ///< words at the top that make the signal saturated
constexpr int DARK_PERCENTILE = 5;
constexpr int BRIGHT_PERCENTILE = 95;
constexpr int VERDICT_SIZE = 96;

/// The settings the check looks at (the sensor's parameter words of the same names). The power
/// itself is not needed: the line shows what it does.
struct Settings {
  u16 vThd = 0;
  u16 eBeg = 0;
  u16 eEnd = 0;
  u16 polarity = 1;  ///< 1: the object is darker than the threshold, 0: brighter
  u16 eMode = 0;     ///< edge mode: 2 and 3 need two edges, 4 a gap between two objects
};

/// Warning flags, any combination.
enum Warning : unsigned {
  WARN_THRESHOLD_ABOVE = 1u << 0,  ///< threshold above the bright level
  WARN_THRESHOLD_BELOW = 1u << 1,  ///< threshold at or below the dark level (a word is
                                   ///< below only when smaller than vThd)
  WARN_SATURATED = 1u << 2,        ///< lower the power
  WARN_WEAK = 1u << 3,             ///< raise the power
  WARN_NO_EDGE = 1u << 4,          ///< no edge inside the edge window
  WARN_WINDOW_REVERSED = 1u << 5,  ///< eBeg lies right of eEnd
  WARN_FEW_EDGES = 1u << 6,        ///< fewer edges than the edge mode needs
};
constexpr int WARNING_COUNT = 7;

enum PowerDirection { POWER_LOWER = -1, POWER_KEEP = 0, POWER_RAISE = 1 };

struct Edge {
  double position = 0.0;      ///< sub-pixel units, on the x scale of the line
  bool entersObject = false;  ///< the object (by the polarity) starts here, going right
};

struct Result {
  u16 dark = 0;
  u16 bright = 0;
  int contrast = 0;           ///< bright - dark
  int noise = 0;              ///< standard deviation on the flat parts, rounded
  int saturatedWords = 0;     ///< words at video top - 1
  int edgeCount = 0;          ///< every edge found in the window
  Edge edges[MAX_EDGES] = {};  ///< the first MAX_EDGES of them
  unsigned warnings = 0;      ///< Warning flags
  u16 suggestedThreshold = 0;
  PowerDirection power = POWER_KEEP;
  char verdict[VERDICT_SIZE] = {};
};

/// Checks the line y[0..n) whose word i lies at x[i] (sub-pixels), for a sensor whose video
/// words run from 0 to videoTop - 1. n is at most 256.
Result Check(const u16* y, const double* x, int n, u16 videoTop, const Settings& s);

/// The plain text of one warning flag, e.g. "Signal saturated - lower the power".
const char* WarningText(Warning w);

}  // namespace signal_check
