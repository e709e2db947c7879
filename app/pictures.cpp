// rorir-pictures: starts the program offscreen and writes a PNG picture of each panel, for the
// documentation. Usage: rorir-pictures OUTDIR [SCALE]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/globals.h"
#include "app/main_panel.h"
#include "display/userint.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: rorir-pictures OUTDIR [SCALE]\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string dir = argv[1];
  const double scale = argc > 2 ? std::atof(argv[2]) : 1.0;
  if (StartUp(1, argv) != 0) return 1;
  for (int i = 0; i < 20; ++i) ProcessSystemEvents();
  const std::string suffix = scale == 1.0 ? "" : "@" + std::string(argv[2]) + "x";
  int rc = 0;
  const struct {
    int panel;
    const char* name;
  } shots[] = {{pHandle, "main-panel"}, {pPopup, "recorder-panel"}};
  for (const auto& s : shots) {
    const std::string path = dir + "/" + s.name + suffix + ".png";
    if (SavePanelImage(s.panel, path.c_str(), scale) != 0) {
      std::fprintf(stderr, "rorir-pictures: cannot write %s\n", path.c_str());
      rc = 1;
    } else {
      std::printf("%s\n", path.c_str());
    }
  }
  CloseCVIRTE();
  return rc;
}
