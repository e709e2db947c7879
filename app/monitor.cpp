// The link monitor's window reads the link's monitor through these plain functions.
#include "app/monitor.h"

#include "state/globals.h"
#include "platform/ui/userint.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "link/com232_monitor.h"
#include "resources/panels.h"

namespace {

size_t Counters(char* text, size_t size) { return MonitorCountersText(Timer(), text, size); }
void ResetCounters() { MonitorResetCounters(Timer()); }
// The window's list leaves out the raw bytes (the saved log has them): half the text to lay
// out and paint on every look.
size_t FrameLine(int index, char* line, size_t size) {
  const MonitorFrame* f = MonitorFrameAt(index);
  if (!f) return size > 0 ? (line[0] = '\0', 0) : 0;
  return MonitorFormatFrame(*f, 0, line, size);
}

}  // namespace

void InstallStatusLineMonitor(void) {
  const LinkMonitorSource source{MONITOR_FRAMES, proj_dir, Counters,   ResetCounters,
                                 MonitorFramesSeen, MonitorFrameCount, FrameLine, SaveMonitorLog};
  InstallLinkMonitor(pHandle, MAIN_TBOXstatus, source);
}
