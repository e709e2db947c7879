// Fuzz target: the panel resource loader. The first byte chooses the panel (main or recorder)
// and whether the program's list of required controls is checked; the rest is the file.
// A loaded panel is discarded again, so every input starts from no panel.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/main_panel.h"
#include "platform/ui/userint.h"
#include "resources/panels.h"

namespace {
std::string gPath;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  InitCVIRTE(0, nullptr);
  RegisterCallbacks();
  const char* dir = getenv("TMPDIR");
  gPath = std::string(dir && *dir ? dir : "/tmp") + "/rorir-fuzz-panel-" + std::to_string(getpid()) + ".uir";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int resource = (data[0] & 1) ? PANEL_RECORDER : PANEL_MAIN;
  if (data[0] & 2) {
    RequireControls(kRequiredControls, kRequiredControlCount);
  } else {
    RequireControls(nullptr, 0);
  }
  FILE* f = std::fopen(gPath.c_str(), "wb");
  if (!f) std::abort();
  if (size > 1) std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  const int handle = LoadPanel(0, gPath.c_str(), resource);
  if (handle > 0) {
    DiscardPanel(handle);
  } else if (GetLoadPanelError()[0] == '\0') {
    std::abort();  // a refused file always says why
  }
  std::remove(gPath.c_str());
  return 0;
}
