// The recording run: started by the popup's Start button, it asks the sensor for a result frame
// about once a second and appends a record line whenever the record interval has passed, until
// the record count is reached, the operator stops it, the line times out or the file cannot be
// written.
#pragma once

#include <cstddef>

#include "display/gauge_stats.h"

/// Seconds between two requests of the run.
constexpr double RECORD_REQUEST_PERIOD = 1.0;

/// Start button (commit): the whole run, inside this callback once the line is free (after the
/// exchange or loop that holds it). Leaves stop_flag at 1 (stopped, or the file could not be
/// written), 2 (completed) or 3 (time-out).
int CC_BTNStartRecord(int panel, int control, int event, void* callbackData, int eventData1,
                      int eventData2);

/// True while a recording run is going (from its start to its outcome).
bool RecordingRunGoing(void);

constexpr int RUN_STATS_SIZE = 160;  ///< room for the run's figures
/// The run's figures for the popup once it has ended: "Run: 120 records, M-value mean 512.300,
/// sd 1.270, Cpk 2.100, NOK 0" ("-" for a figure not defined, "Run: no records" for none).
/// Returns the length written.
size_t FormatRunStatistics(const gauge::Running& run, long long nok, const gauge::Limits& limits, char* out,
                           size_t size);
