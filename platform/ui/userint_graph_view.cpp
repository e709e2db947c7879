// The operator's work with a graph or strip chart: the wheel zooms around the pointer (Ctrl:
// the y axis), a left drag pans, a double-click goes back to the program's scaling; a label
// reads out the values under the pointer; marks say "zoomed" and "paused"; the context menu
// pauses the display and exports (userint_graph_export.cpp).
//
// The program's drawing calls never see any of this. They keep changing the graph's content
// and axis settings; a paint applies the program's axes and then the operator's zoom on top,
// so a double-click brings back the program's latest scaling, also one set while zoomed.
#include <QAction>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QWheelEvent>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstdio>

#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "userint_internal.h"
#include "platform/ui/userint_qt.h"

namespace userint {

struct GraphView {
  bool xZoomed = false, yZoomed = false;
  QCPRange x, y;  // the operator's ranges while zoomed
  bool dragging = false;
  QPointF dragFrom;
  QCPRange dragX, dragY;
  QLabel* marks = nullptr;
  QLabel* readout = nullptr;
  QMenu* menu = nullptr;
  QAction* pause = nullptr;
  std::vector<QAction*> programItems;  // the program's own entries, at the top of the menu
  QAction* programSeparator = nullptr;
  // What the last paint put on screen: the read-out and the export take their values from
  // here, so while the display is paused they match the picture, not the content underneath.
  std::vector<PlotItem> shownPlots;
  CursorState shownCursors[3];
  AxisState shownX, shownY;
  std::vector<std::vector<double>> shownTraces;
  int shownPointsPerScreen = 0;
};

// Defined in userint_graph_export.cpp.
void SavePictureAction(Control& c);
void SaveCsvAction(Control& c);
void CopyPictureAction(Control& c);

namespace {

constexpr double kZoomPerWheelStep = 0.8;  // one notch shows 80 % of the range

bool gPaused = false;
StatusHookPtr gStatusHook = nullptr;

std::vector<std::pair<int, int>>& Deferred() {
  static std::vector<std::pair<int, int>> deferred;
  return deferred;
}

// A name of the panel file without its unit: "video value (digits)" reads "video value".
QString ShortName(const QString& name) { return name.section(" (", 0, 0); }

QString Num(double v) { return QString::number(v, 'g', 6); }

void UpdateMarks(Control& c) {
  GraphView& v = *c.view;
  QStringList words;
  if (v.xZoomed || v.yZoomed) words << "zoomed";
  if (gPaused) words << "paused";
  v.marks->setText(words.join("  "));
  v.marks->adjustSize();
  v.marks->move(c.plot->width() - v.marks->width() - 4, 2);
  v.marks->setVisible(!words.isEmpty());
}

void ForEachView(const std::function<void(Control&)>& fn) {
  for (auto& [handle, panel] : Panels())
    for (auto& [id, c] : panel->controls)
      if (c->view && c->plot) fn(*c);
}

// Index of the point of `xs` nearest to `x` (xs ascending); -1 when empty.
int Nearest(const std::vector<double>& xs, double x) {
  if (xs.empty()) return -1;
  auto it = std::lower_bound(xs.begin(), xs.end(), x);
  if (it == xs.end()) return static_cast<int>(xs.size()) - 1;
  int i = static_cast<int>(it - xs.begin());
  if (i > 0 && x - xs[i - 1] < *it - x) --i;
  return i;
}

QString ReadoutText(const Control& c, double x) {
  const GraphView& v = *c.view;
  const std::vector<QString>& names = c.meaning.columns;
  auto name = [&](size_t i, const char* fallback) {
    return i < names.size() ? ShortName(names[i]) : QString(fallback);
  };
  QStringList parts;
  if (c.strip) {
    const int n = v.shownTraces.empty() ? 0 : static_cast<int>(v.shownTraces[0].size());
    const int offset = v.shownPointsPerScreen - n;
    const int i = static_cast<int>(std::lround(x)) - offset;
    if (i < 0 || i >= n) return {};
    parts << name(0, "sample") + " " + QString::number(i + offset);
    for (size_t t = 0; t < v.shownTraces.size(); ++t)
      parts << name(t + 1, "trace") + " " + Num(v.shownTraces[t][i]);
    return parts.join("   ");
  }
  std::vector<const PlotItem*> curves;
  for (const PlotItem& p : v.shownPlots)
    if (!p.rectangle) curves.push_back(&p);
  if (!curves.empty()) {
    const int i = Nearest(curves[0]->xs, x);
    if (i < 0) return {};
    parts << name(0, "x") + " " + Num(curves[0]->xs[i]);
    for (size_t k = 0; k < curves.size(); ++k)
      if (i < static_cast<int>(curves[k]->ys.size()))
        parts << name(k + 1, "y") + " " + Num(curves[k]->ys[i]);
    return parts.join("   ");
  }
  // A graph of cursors and areas (the position bar): where the pointer is, and the first
  // cursor's position.
  parts << "pointer " + Num(std::round(x));
  if (v.shownCursors[0].placed)
    parts << (c.meaning.cursors[0].isEmpty() ? QString("cursor") : c.meaning.cursors[0]) + " " +
                 Num(v.shownCursors[0].x);
  return parts.join("   ");
}

void ShowReadout(Control& c, QPointF pos) {
  GraphView& v = *c.view;
  QCPAxisRect* rect = c.plot->axisRect();
  // A little beyond the frame still counts: the newest sample sits on its right edge.
  if (!rect->rect().adjusted(-2, -2, 2, 2).contains(pos.toPoint())) {
    v.readout->hide();
    return;
  }
  const QString text = ReadoutText(c, c.plot->xAxis->pixelToCoord(pos.x()));
  if (text.isEmpty()) {
    v.readout->hide();
    return;
  }
  v.readout->setText(text);
  v.readout->adjustSize();
  v.readout->move(rect->left() + 4, rect->top() + 2);
  v.readout->show();
}

// The program's own axes of what is shown, as the last paint applied them.
void ApplyShownAxes(Control& c) {
  GraphView& v = *c.view;
  if (c.strip) {
    c.plot->xAxis->setRange(0, std::max(1, v.shownPointsPerScreen - 1));
  } else if (v.shownX.mode == VAL_AUTOSCALE) {
    c.plot->xAxis->rescale();
  } else {
    c.plot->xAxis->setRange(v.shownX.min, v.shownX.max);
  }
  if (v.shownY.mode == VAL_AUTOSCALE) {
    c.plot->yAxis->rescale();
  } else {
    c.plot->yAxis->setRange(v.shownY.min, v.shownY.max);
  }
}

void ResetZoom(Control& c) {
  GraphView& v = *c.view;
  v.xZoomed = v.yZoomed = false;
  ApplyShownAxes(c);
  UpdateMarks(c);
  c.plot->replot(QCustomPlot::rpQueuedReplot);
  // Not paused: the content may be newer than the picture; bring both in line now.
  if (!gPaused) {
    ScheduleRepaint(c);
    FlushPendingRepaints();
  }
}

void Zoom(Control& c, QCPAxis* axis, double factor, double centre) {
  GraphView& v = *c.view;
  axis->scaleRange(factor, centre);
  if (axis == c.plot->xAxis) {
    v.x = axis->range();
    v.xZoomed = true;
  } else {
    v.y = axis->range();
    v.yZoomed = true;
  }
  UpdateMarks(c);
  c.plot->replot(QCustomPlot::rpQueuedReplot);
}

class GraphMouse : public QObject {
 public:
  GraphMouse(QObject* parent, int panel, int control) : QObject(parent), panel_(panel), control_(control) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    Control* c = FindControl(panel_, control_);
    if (!c || !c->view || !c->plot || c->dimmed) return QObject::eventFilter(watched, event);
    GraphView& v = *c->view;
    QCustomPlot* plot = c->plot;
    switch (event->type()) {
      case QEvent::Wheel: {
        auto* we = static_cast<QWheelEvent*>(event);
        const double steps = we->angleDelta().y() / 120.0;
        if (steps == 0) return true;
        const bool vertical = we->modifiers() & Qt::ControlModifier;
        QCPAxis* axis = vertical ? plot->yAxis : plot->xAxis;
        const QPointF pos = we->position();
        Zoom(*c, axis, std::pow(kZoomPerWheelStep, steps),
             axis->pixelToCoord(vertical ? pos.y() : pos.x()));
        return true;
      }
      case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton) {
          v.dragging = true;
          v.dragFrom = me->position();
          v.dragX = plot->xAxis->range();
          v.dragY = plot->yAxis->range();
        }
        break;
      }
      case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (v.dragging && (me->buttons() & Qt::LeftButton)) {
          const QPointF to = me->position();
          const double dx = plot->xAxis->pixelToCoord(v.dragFrom.x()) - plot->xAxis->pixelToCoord(to.x());
          if (dx != 0) {
            v.x = QCPRange(v.dragX.lower + dx, v.dragX.upper + dx);
            v.xZoomed = true;
            plot->xAxis->setRange(v.x);
          }
          // The y axis moves only once the operator zoomed it: a drag along the curve should
          // not lose the program's vertical scale.
          if (v.yZoomed) {
            // pixelToCoord depends on the current range: measure against the range at the press.
            const double dy = (to.y() - v.dragFrom.y()) / plot->axisRect()->height() * v.dragY.size();
            v.y = QCPRange(v.dragY.lower + dy, v.dragY.upper + dy);
            plot->yAxis->setRange(v.y);
          }
          UpdateMarks(*c);
          plot->replot(QCustomPlot::rpQueuedReplot);
        }
        ShowReadout(*c, me->position());
        break;
      }
      case QEvent::MouseButtonRelease:
        v.dragging = false;
        break;
      case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
          v.dragging = false;
          ResetZoom(*c);
          return true;
        }
        break;
      case QEvent::Leave:
        v.readout->hide();
        break;
      case QEvent::Resize:
        UpdateMarks(*c);
        break;
      case QEvent::ContextMenu:
        v.menu->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
      default:
        break;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  int panel_, control_;
};

QLabel* SmallLabel(QWidget* parent, const char* name) {
  auto* l = new QLabel(parent);
  l->setObjectName(name);
  l->setAttribute(Qt::WA_TransparentForMouseEvents);
  l->setStyleSheet("background-color: rgba(255, 255, 224, 220); border: 1px solid #a0a0a0;"
                   "padding: 0px 3px; color: #202020;");
  QFont f = l->font();
  f.setPointSizeF(8);
  l->setFont(f);
  l->hide();
  return l;
}

}  // namespace

void AttachGraphView(Control& c) {
  QCustomPlot* plot = c.plot;
  c.view = std::make_shared<GraphView>();
  GraphView& v = *c.view;
  const QFont titleFont(plot->font().family(), 8);
  plot->xAxis->setLabel(c.meaning.xTitle);
  plot->yAxis->setLabel(c.meaning.yTitle);
  plot->xAxis->setLabelFont(titleFont);
  plot->yAxis->setLabelFont(titleFont);
  plot->setMouseTracking(true);
  v.marks = SmallLabel(plot, "marks");
  v.readout = SmallLabel(plot, "readout");

  v.menu = new QMenu(plot);
  const int panel = c.panel, id = c.id;
  auto withControl = [panel, id](void (*fn)(Control&)) {
    return [panel, id, fn] {
      if (Control* cc = FindControl(panel, id)) fn(*cc);
    };
  };
  v.pause = v.menu->addAction("Pause display");
  v.pause->setObjectName("pauseDisplay");
  v.pause->setCheckable(true);
  QObject::connect(v.pause, &QAction::triggered, [](bool on) { SetDisplayPaused(on ? 1 : 0); });
  v.menu->addSeparator();
  QAction* a = v.menu->addAction("Save picture...");
  a->setObjectName("savePicture");
  QObject::connect(a, &QAction::triggered, withControl(SavePictureAction));
  a = v.menu->addAction("Save data as CSV...");
  a->setObjectName("saveCsv");
  QObject::connect(a, &QAction::triggered, withControl(SaveCsvAction));
  a = v.menu->addAction("Copy picture");
  a->setObjectName("copyPicture");
  QObject::connect(a, &QAction::triggered, withControl(CopyPictureAction));

  plot->installEventFilter(new GraphMouse(plot, c.panel, c.id));
}

void ApplyGraphZoom(Control& c) {
  if (!c.view) return;
  if (c.view->xZoomed) c.plot->xAxis->setRange(c.view->x);
  if (c.view->yZoomed) c.plot->yAxis->setRange(c.view->y);
}

void KeepShownContent(Control& c) {
  if (!c.view) return;
  GraphView& v = *c.view;
  if (c.graph) {
    v.shownPlots = c.graph->plots;
    for (int i = 0; i < 3; ++i) v.shownCursors[i] = c.graph->cursors[i];
    v.shownX = c.graph->xAxis;
    v.shownY = c.graph->yAxis;
  } else if (c.strip) {
    v.shownTraces.resize(c.strip->traces.size());
    for (size_t t = 0; t < c.strip->traces.size(); ++t) {
      const TraceRing& ring = c.strip->traces[t];
      v.shownTraces[t].resize(ring.size());
      for (size_t i = 0; i < ring.size(); ++i) v.shownTraces[t][i] = ring.at(i);
    }
    v.shownPointsPerScreen = c.strip->pointsPerScreen;
    v.shownY = c.strip->yAxis;
  }
}

bool DisplayPaused() { return gPaused; }

void DeferRepaint(Control& c) { Deferred().emplace_back(c.panel, c.id); }

void ReportStatus(const QString& text) {
  const QByteArray line = text.toLocal8Bit();
  if (gStatusHook) {
    gStatusHook(line.constData());
  } else {
    std::fprintf(stderr, "%s\n", line.constData());
  }
}

// ---- access for the export and for tests ----

const std::vector<PlotItem>& ShownPlots(const Control& c) { return c.view->shownPlots; }
const CursorState* ShownCursors(const Control& c) { return c.view->shownCursors; }
const std::vector<std::vector<double>>& ShownTraces(const Control& c) { return c.view->shownTraces; }
int ShownPointsPerScreen(const Control& c) { return c.view->shownPointsPerScreen; }

}  // namespace userint

using namespace userint;

int SetDisplayPaused(int paused) {
  const bool on = paused != 0;
  if (on == gPaused) return 0;
  gPaused = on;
  ForEachView([on](Control& c) {
    c.view->pause->setChecked(on);
    UpdateMarks(c);
    c.plot->replot(QCustomPlot::rpQueuedReplot);
  });
  if (!on) {
    // What changed during the pause is shown at once, not at the next tick.
    std::vector<std::pair<int, int>> deferred;
    deferred.swap(Deferred());
    for (auto [panel, id] : deferred) {
      if (Control* c = FindControl(panel, id)) {
        c->repaintPending = false;
        ScheduleRepaint(*c);
      }
    }
    FlushPendingRepaints();
  }
  return 0;
}

int GetDisplayPaused(void) { return gPaused ? 1 : 0; }

void SetStatusHook(StatusHookPtr hook) { gStatusHook = hook; }

int AddGraphMenuItem(int panel, int control, const char* label, GraphMenuCallbackPtr callback) {
  Control* c = FindControl(panel, control);
  if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
  if (!c->view || !callback) return UIE_BAD_TYPE;
  GraphView& v = *c->view;
  if (!v.programSeparator) v.programSeparator = v.menu->insertSeparator(v.pause);
  const int item = static_cast<int>(v.programItems.size()) + 1;
  auto* a = new QAction(QString::fromUtf8(label ? label : ""), v.menu);
  a->setObjectName(QString("menuItem%1").arg(item));
  v.menu->insertAction(v.programSeparator, a);
  QObject::connect(a, &QAction::triggered, [panel, control, item, callback] {
    // Like every event: nothing for a control the operator can no longer use.
    Control* cc = FindControl(panel, control);
    if (cc && cc->visible && !cc->dimmed) callback(panel, control, item);
  });
  v.programItems.push_back(a);
  return item;
}

int SetGraphMenuItem(int panel, int control, int item, const char* label, int dimmed) {
  Control* c = FindControl(panel, control);
  if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
  if (!c->view) return UIE_BAD_TYPE;
  std::vector<QAction*>& items = c->view->programItems;
  if (item < 1 || item > static_cast<int>(items.size())) return UIE_BAD_ATTRIBUTE;
  QAction* a = items[item - 1];
  const QString text = QString::fromUtf8(label ? label : "");
  if (a->text() != text) a->setText(text);
  a->setEnabled(dimmed == 0);
  return 0;
}

QMenu* GraphContextMenu(int panel, int control) {
  Control* c = FindControl(panel, control);
  return c && c->view ? c->view->menu : nullptr;
}

bool InspectGraphView(int panel, int control, InspectedView* out) {
  Control* c = FindControl(panel, control);
  if (!c || !c->view || !c->plot || !out) return false;
  out->xMin = c->plot->xAxis->range().lower;
  out->xMax = c->plot->xAxis->range().upper;
  out->yMin = c->plot->yAxis->range().lower;
  out->yMax = c->plot->yAxis->range().upper;
  out->zoomed = c->view->xZoomed || c->view->yZoomed;
  out->marks = c->view->marks->isVisibleTo(c->plot) ? c->view->marks->text().toStdString() : "";
  out->readout = c->view->readout->isVisibleTo(c->plot) ? c->view->readout->text().toStdString() : "";
  return true;
}

std::string InspectGraphCsv(int panel, int control) {
  Control* c = FindControl(panel, control);
  if (!c || !c->view) return {};
  if (!gPaused) FlushPendingRepaints();
  return GraphCsv(*c).toStdString();
}

int PointAtGraph(int panel, int control, double x, int notches) {
  Control* c = FindControl(panel, control);
  if (!c || !c->view || !c->plot) return UIE_BAD_CONTROL;
  FlushPendingRepaints();
  c->plot->replot(QCustomPlot::rpImmediateRefresh);
  QCPAxisRect* rect = c->plot->axisRect();
  const QPointF at(c->plot->xAxis->coordToPixel(x), rect->top() + rect->height() / 2.0);
  QMouseEvent move(QEvent::MouseMove, at, c->plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(c->plot, &move);
  if (notches != 0) {
    QWheelEvent wheel(at, c->plot->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(c->plot, &wheel);
    // The read-out follows the new scale.
    QCoreApplication::sendEvent(c->plot, &move);
  }
  return 0;
}

int SaveGraphImage(int panel, int control, const char* pngPath, double scale, int withMenu) {
  Control* c = FindControl(panel, control);
  if (!c || !c->view || !c->plot || !pngPath) return UIE_BAD_CONTROL;
  if (!(scale > 0.0) || scale > 8.0) return UIE_BAD_ATTRIBUTE;
  c->plot->replot(QCustomPlot::rpImmediateRefresh);
  const QSize size = c->plot->size();
  QPixmap picture(size * scale);
  picture.setDevicePixelRatio(scale);
  picture.fill(Qt::white);
  c->plot->render(&picture);
  if (withMenu) {
    QMenu* menu = c->view->menu;
    menu->ensurePolished();
    menu->adjustSize();
    const QPoint at(size.width() / 2, size.height() / 3);
    QPainter painter(&picture);
    menu->render(&painter, at);
  }
  return picture.save(QString::fromLocal8Bit(pngPath), "PNG") ? 0 : UIE_BAD_FILE;
}
