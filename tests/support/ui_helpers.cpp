#include "support/ui_helpers.h"

#include <cstdlib>
#include <filesystem>

#include "state/globals.h"
#include "platform/sys/utility.h"
#include "resources/panels.h"

void PumpFor(double seconds) {
  // At least one pass, however long the process was paused before the first.
  const double end = Timer() + seconds;
  do ProcessSystemEvents();
  while (Timer() < end);
}

std::vector<SeenEvent>& SeenEvents() {
  static std::vector<SeenEvent> events;
  return events;
}

void ClearSeenEvents() { SeenEvents().clear(); }

int RecordEvent(int panel, int control, int event, void*, int eventData1, int) {
  SeenEvents().push_back({panel, control, event, eventData1});
  return 0;
}

std::vector<int> EventsOf(int control) {
  std::vector<int> out;
  for (const SeenEvent& e : SeenEvents())
    if (e.control == control) out.push_back(e.event);
  return out;
}

bool LoadProgramPanels(std::string* why) {
  RequireControls(kRequiredControls, kRequiredControlCount);
  pHandle = LoadPanel(0, PANEL_RESOURCE_FILE, PANEL_MAIN);
  if (pHandle < 0) {
    if (why) *why = GetLoadPanelError();
    return false;
  }
  pPopup = LoadPanel(0, PANEL_RESOURCE_FILE, PANEL_RECORDER);
  if (pPopup < 0) {
    if (why) *why = GetLoadPanelError();
    return false;
  }
  return true;
}

std::string MakeTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "rorir-test-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  return made ? std::string(made) : std::string();
}

void RemoveTree(const std::string& dir) {
  std::error_code ec;
  if (!dir.empty()) std::filesystem::remove_all(dir, ec);
}

std::string BinPath(const char* name) {
  char dir[260];
  GetExecutableDir(dir);
  return std::string(dir) + "/" + name;
}
