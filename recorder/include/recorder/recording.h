// The recording run: started by the popup's Start button, it asks the sensor for a result frame
// about once a second and appends a record line whenever the record interval has passed, until
// the record count is reached, the operator stops it, the line times out or the file cannot be
// written.
#pragma once

/// Seconds between two requests of the run.
constexpr double RECORD_REQUEST_PERIOD = 1.0;

/// Start button (commit): the whole run, inside this callback once the line is free (after the
/// exchange or loop that holds it). Leaves stop_flag at 1 (stopped, or the file could not be
/// written), 2 (completed) or 3 (time-out).
int CC_BTNStartRecord(int panel, int control, int event, void* callbackData, int eventData1,
                      int eventData2);

/// True while a recording run is going (from its start to its outcome).
bool RecordingRunGoing(void);
