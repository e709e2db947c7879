// Helpers shared by the tests that drive real panels offscreen.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/userint.h"

/// Runs ProcessSystemEvents for `seconds`, at least once.
void PumpFor(double seconds);
/// Runs ProcessSystemEvents until `done()` is true or `seconds` have passed (at least once
/// unless `done()` already holds); returns done().
template <typename F>
bool PumpUntil(F done, double seconds);

/// One event as a control callback received it.
struct SeenEvent {
  int panel, control, event, data1;
};
/// Every event seen by RecordEvent since the last ClearSeenEvents.
std::vector<SeenEvent>& SeenEvents();
void ClearSeenEvents();
/// A control callback that records what it receives.
int RecordEvent(int panel, int control, int event, void* data, int eventData1, int eventData2);
/// The event codes seen for one control, in order.
std::vector<int> EventsOf(int control);

/// Loads both panels of the program's panel file with every control checked; sets pHandle and
/// pPopup. Returns false (with the reason in `why`) when a panel cannot be loaded.
bool LoadProgramPanels(std::string* why);

/// A fresh, empty folder under the system's temporary folder; removed by the caller.
std::string MakeTempDir();
void RemoveTree(const std::string& dir);
/// Path of a file in the folder of the program's executables.
std::string BinPath(const char* name);

#include "support/ui_helpers_impl.h"
