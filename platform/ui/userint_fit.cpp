// Panels that fit their screen. The panel file gives every measure in panel pixels; on a screen
// whose free area (less the desktop's bars and the window's frame) is smaller than the panel,
// the whole panel is drawn smaller by one factor: geometry and texts alike, so the layout of
// the file stays as it is and every control, the status line included, stays on screen.
// A panel is never drawn larger than its file says.
#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

#include "userint_internal.h"

namespace userint {
namespace {

// The window manager's frame is known only once it has framed the window; until then, room
// for a usual title bar and border is kept.
QMargins FrameMargins(const QWidget& window) {
  const QRect inner = window.geometry(), outer = window.frameGeometry();
  QMargins m(inner.left() - outer.left(), inner.top() - outer.top(),
             outer.right() - inner.right(), outer.bottom() - inner.bottom());
  if (m.isNull() && !IsOffscreen()) m = QMargins(4, 36, 4, 4);
  return m;
}

}  // namespace

int Scaled(const Panel& panel, int length) {
  return panel.scale == 1.0 ? length : static_cast<int>(std::lround(length * panel.scale));
}

void PlaceControlGeometry(Panel& panel, Control& c) {
  if (!c.widget) return;
  c.widget->setGeometry(Scaled(panel, c.left), Scaled(panel, c.top), Scaled(panel, c.width),
                        Scaled(panel, c.height));
  if (c.table) PlaceTableColumns(panel, c);
  if (!c.caption) return;
  QFont f = panel.window ? panel.window->font() : c.caption->font();
  f.setPointSizeF(f.pointSizeF() * 0.9);
  c.caption->setFont(f);
  c.caption->adjustSize();
  c.caption->move(Scaled(panel, c.left), Scaled(panel, c.top) - c.caption->height() - 1);
}

void ApplyPanelScale(Panel& p, double scale) {
  QWidget* window = p.window;
  if (!window) return;
  p.scale = scale;
  QFont f = QApplication::font();
  if (scale < 1.0) f.setPointSizeF(f.pointSizeF() * scale);
  window->setFont(f);
  window->setFixedSize(Scaled(p, p.width), Scaled(p, p.height));
  for (auto& [id, c] : p.controls) {
    PlaceControlGeometry(p, *c);
    ApplyTextStyle(*c);
  }
}

void FitPanelToScreen(Panel& p) {
  QWidget* window = p.window;
  if (!window) return;
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect free = screen->availableGeometry();
  const QMargins frame = FrameMargins(*window);
  const double room = std::min(double(free.width() - frame.left() - frame.right()) / p.width,
                               double(free.height() - frame.top() - frame.bottom()) / p.height);
  // Whole hundredths, so that the same screen always gives the same layout.
  const double scale = std::clamp(std::floor(room * 100.0) / 100.0, 0.3, 1.0);
  if (scale != p.scale) ApplyPanelScale(p, scale);
  // A window that reaches past the free area is moved into it.
  QRect outer = window->frameGeometry();
  if (!free.contains(outer)) {
    const int x = std::clamp(outer.left(), free.left(), std::max(free.left(), free.right() + 1 - outer.width()));
    const int y = std::clamp(outer.top(), free.top(), std::max(free.top(), free.bottom() + 1 - outer.height()));
    window->move(x, y);
  }
}

}  // namespace userint
