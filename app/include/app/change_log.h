// The settings change log: every send of the parameter set to the sensor's RAM, its EEPROM or
// a parameter file leaves one line in "rorir-changes.log" in the data folder, saying when,
// who, on which port, to which sensor and target, and which settings changed from what to
// what. UTF-8 text, LF line ends, fields separated by " | ":
//
//   2026-12-08 07:12:03 +0100 | ops | COM1 /dev/ttyUSB0 | type 2, 2048 pixels, firmware K-VOR V1.52 | RAM | power 500 -> 777
//
// Each append opens, appends (synced) and closes the file, so a crash loses at most the line
// in flight. Before a line would take the file past CHANGE_LOG_LIMIT bytes it is renamed to
// "rorir-changes.log.1" (one old file is kept) and a new one begun. A log that cannot be
// written never stops the send: LogSettingsChange returns a negative code for the caller to
// report.
#pragma once

#include <cstddef>

#include "state/globals.h"

constexpr const char* CHANGE_LOG_NAME = "rorir-changes.log";
constexpr const char* CHANGE_LOG_OLD_NAME = "rorir-changes.log.1";
constexpr long CHANGE_LOG_LIMIT = 1048576;   // bytes before the log is rotated
constexpr int CHANGE_LOG_LINE_SIZE = 1024;   // room for one line

/// The facts of one change, apart from the clock and the machine (pure, for tests).
struct ChangeFacts {
  const char* when;      // "2026-12-08 07:12:03 +0100"
  const char* user;
  const char* port;      // "COM1 /dev/ttyUSB0"
  const char* identity;  // "type 2, 2048 pixels, firmware ..." or "sensor not identified"
  const char* target;    // "RAM", "EEPROM", "file /path/x.dat"
  const u16* before;     // the target's set before, nullptr when not known
  const u16* after;      // the set written
};
/// The line (without line end) into `out`; returns its length (truncated to fit, terminated).
/// Each setting that differs is "key from -> to" by its kSettings key ("key ? -> to" for every
/// setting when `before` is null), or "no setting changed". Control characters and bytes that
/// are not UTF-8 in the texts become '?', and a cut never splits a character, so the line is
/// always valid UTF-8.
size_t FormatChangeLine(const ChangeFacts& facts, char* out, size_t size);
/// The identity text from the globals (ccdtype, ccdmaxpixel, szFirmware, sensorIdentified):
/// "type 2, 2048 pixels, firmware K-VOR V1.52", the firmware text trimmed of trailing blanks
/// and control characters and every byte outside printable ASCII shown as '?' ("firmware word
/// <n>" by softversion when the board gave no text); "sensor not identified" before any
/// identification.
size_t SensorIdentityText(char* out, size_t size);
/// Appends a line for a write of `after` to `target` (RAM, EEPROM or DATFILE with `path`),
/// with the current time, user, port (com) and identity; rotates first when needed.
/// Returns 0, or negative when the log could not be written.
int LogSettingsChange(int target, const char* path, const u16 before[PNUM] /* or nullptr */,
                      const u16 after[PNUM]);
/// The newest `max` lines (newest last) of the log, taking the old file's tail when the current
/// one holds fewer; each line at most CHANGE_LOG_LINE_SIZE bytes with the line end removed.
/// Returns how many were written into `lines`.
int ReadChangeLogTail(char (*lines)[CHANGE_LOG_LINE_SIZE], int max);
