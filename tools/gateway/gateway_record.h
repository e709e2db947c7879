// The gateway's recording: the desktop program's recorder files (the same header, column head
// and record lines), a new file for each day or each shift, a record every interval.
#pragma once

#include <string>

#include "gateway_options.h"

namespace gateway {

/// Seconds since the epoch at which the day or shift that holds `when` began (local time).
long long PeriodStart(const Options& o, long long when);

/// The file name of the period that began at `start`: "<id>_YYYY-MM-DD" for a day,
/// "<id>_YYYY-MM-DD_HHMM" for a shift (its start).
std::string PeriodFileName(const Options& o, long long start);

/// Records the last result frame when its record is due (`resultTime`: Timer() seconds of its
/// request; `now`: seconds since the epoch). A new period starts a new file. Returns false when
/// the record could not be written (the next record then starts a file of its own); `log` has
/// then been told what went wrong.
bool RecordResult(const Options& o, double resultTime, long long now, void (*log)(const std::string&));

/// Ends the hold on the current file.
void EndRecording();

}  // namespace gateway
