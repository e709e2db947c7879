// The parameter set apart from the line: the text of a parameter file and the repair of
// settings out of range. No I/O: the panel, the probe and the fuzzers share it.
//
// The parameter file is plain ASCII: the sixteen words of the parameter packet in packet order,
// one unsigned decimal number per line, right-aligned in a field of five characters, CR LF
// line ends. A reader takes blanks around a number and either line end.
#pragma once

#include <cstddef>

#include "state/globals.h"

/// One setting of the parameter set: its name in the code and in the probe's JSON, the label
/// the operator knows it by (the panel's, for the offset that the panel does not show), and its
/// unit ("" when it has none).
struct SettingInfo {
  const char* key;
  const char* label;
  const char* unit;
};
/// The sixteen settings in parameter-word order, as CopyVarsToPP lays them into pp.
extern const SettingInfo kSettings[PNUM];
/// The word without a control of its own on the panel (the analog output's offset).
constexpr int INTERSECT_WORD = 13;
/// The setpoint's word, the one a teach changes.
constexpr int TVAL_WORD = 8;
/// The power's word, which the panel follows while the sensor regulates its power.
constexpr int POWER_WORD = 0;

constexpr int PARA_FIELD_WIDTH = 5;          ///< characters of each number's field
constexpr size_t PARA_FILE_MAX_BYTES = 4096; ///< a larger file is not a parameter file

/// Writes the text of a parameter file holding `words` into `out` (`size` bytes, terminated).
/// Returns its length, or 0 when it does not fit.
size_t FormatParameterText(const u16 words[PNUM], char* out, size_t size);
/// Reads exactly sixteen unsigned decimal numbers of at most 32 bits from `count` bytes of
/// `text`, separated by blanks, tabs and line ends. Returns false (and leaves `values` alone)
/// for fewer or more numbers, a sign, any other character, or a number beyond 32 bits.
bool ParseParameterText(const char* text, size_t count, u32 values[PNUM]);

/// What ReadParameterFile found.
constexpr int PARA_FILE_READ = 0;
constexpr int PARA_FILE_UNREADABLE = -1;      ///< the file cannot be read
constexpr int PARA_FILE_NOT_PARAMETERS = -2;  ///< not sixteen numbers (or larger than the limit)
/// Reads the parameter file at `path` into `values` (left alone unless PARA_FILE_READ).
int ReadParameterFile(const char* path, u32 values[PNUM]);

/// Repairs out-of-range settings in the globals themselves (by the sensor's geometry for the
/// tolerance and the edge window), so that a later send or save carries the repaired values.
void RepairSettings(void);
