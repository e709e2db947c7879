// rorir-fit-child: shows the main panel on whatever screen the platform gives and prints where
// it landed, for test_fit: the screen's free area, then each shown control's rectangle in
// screen coordinates ("name left top width height"). With a file name as its argument it also
// writes a picture of the panel there, to look at.
#include <QScreen>
#include <QWidget>

#include <cstdio>

#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "platform/ui/userint_qt.h"
#include "resources/panels.h"

int main(int argc, char** argv) {
  if (!InitCVIRTE(argc, argv)) return 2;
  const int panel = LoadPanel(0, PANEL_RESOURCE_FILE, PANEL_MAIN);
  if (panel < 0) {
    std::fprintf(stderr, "%s\n", GetLoadPanelError());
    return 3;
  }
  DisplayPanel(panel);
  for (int i = 0; i < 10; ++i) ProcessSystemEvents();
  const QRect free = PanelWidget(panel)->screen()->availableGeometry();
  std::printf("screen %d %d %d %d\n", free.x(), free.y(), free.width(), free.height());
  for (const InspectedControl& c : InspectPanelControls(panel)) {
    QWidget* w = CtrlWidget(panel, c.id);
    if (!w || !w->isVisible()) continue;
    const QPoint at = w->mapToGlobal(QPoint(0, 0));
    std::printf("%s %d %d %d %d\n", c.name.empty() ? "-" : c.name.c_str(), at.x(), at.y(),
                w->width(), w->height());
  }
  if (argc > 1 && SavePanelImage(panel, argv[1], 1.0) != 0) return 4;
  DiscardPanel(panel);
  CloseCVIRTE();
  return 0;
}
