// Graphs and strip charts. The calls change the graph's content (GraphState, StripState) at once
// and ask for a repaint; the QCustomPlot widget is brought in line with the content at most
// once per screen tick, so a live loop that plots after every frame costs no full replot each.
#include <QTimer>

#include <qcustomplot.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/ui/userint.h"
#include "userint_internal.h"

namespace userint {
namespace {

constexpr int kRepaintIntervalMs = 40;  // about 25 repaints a second at most
constexpr int kNoteTop = 20;            // note lines start below the read-out's line

std::vector<std::pair<int, int>>& PendingRepaints() {
  static std::vector<std::pair<int, int>> pending;
  return pending;
}

QTimer* RepaintTimer() {
  static QTimer* timer = [] {
    auto* t = new QTimer(qApp);
    t->setSingleShot(true);
    t->setTimerType(Qt::PreciseTimer);
    QObject::connect(t, &QTimer::timeout, [] { FlushPendingRepaints(); });
    return t;
  }();
  return timer;
}

QColor Rgb(int c) { return QColor::fromRgb(static_cast<QRgb>(c & 0xFFFFFF)); }

// Reads element i of an array of the given data type as a double.
bool ReadValue(const void* data, int type, int i, double* out) {
  switch (type) {
    case VAL_INTEGER: *out = static_cast<const int32_t*>(data)[i]; return true;
    case VAL_SHORT_INTEGER: *out = static_cast<const int16_t*>(data)[i]; return true;
    case VAL_FLOAT: *out = static_cast<const float*>(data)[i]; return true;
    case VAL_DOUBLE: *out = static_cast<const double*>(data)[i]; return true;
    case VAL_UNSIGNED_SHORT_INTEGER: *out = static_cast<const uint16_t*>(data)[i]; return true;
    case VAL_UNSIGNED_INTEGER: *out = static_cast<const uint32_t*>(data)[i]; return true;
    case VAL_UNSIGNED_CHAR: *out = static_cast<const uint8_t*>(data)[i]; return true;
    default: return false;
  }
}

bool KnownType(int type) {
  double dummy;
  static const double probe = 0;
  return ReadValue(&probe, type, 0, &dummy);
}

// The control behind a graph call, or the error to return: a strip chart when `strip`, else
// a graph.
int LookupPlotControl(int panel, int control, bool strip, Control** out) {
  Panel* p = FindPanel(panel);
  if (!p) return UIE_BAD_PANEL;
  auto it = p->controls.find(control);
  if (it == p->controls.end()) return UIE_BAD_CONTROL;
  if (strip ? !it->second->strip : !it->second->graph) return UIE_BAD_TYPE;
  *out = it->second.get();
  return 0;
}

int LookupGraph(int panel, int control, Control** out) {
  return LookupPlotControl(panel, control, false, out);
}

int LookupStrip(int panel, int control, Control** out) {
  return LookupPlotControl(panel, control, true, out);
}

PlotItem& NewPlot(GraphState& g) {
  if (!g.spare.empty()) {
    g.plots.push_back(std::move(g.spare.back()));
    g.spare.pop_back();
  } else {
    g.plots.emplace_back();
  }
  PlotItem& item = g.plots.back();
  item.handle = g.nextHandle++;
  return item;
}

void ApplyAxis(QCPAxis* axis, const AxisState& a, bool haveData) {
  if (a.mode == VAL_AUTOSCALE && haveData) return;  // rescaled by the caller
  axis->setRange(a.min, a.max);
}

void PaintOverlay(QCustomPlot* plot, const GraphOverlay& o);

void PaintGraph(Control& c) {
  QCustomPlot* plot = c.plot;
  GraphState& g = *c.graph;
  plot->clearItems();
  // Keep one QCPGraph per curve, reused from paint to paint.
  int curves = 0;
  for (const PlotItem& item : g.plots)
    if (!item.rectangle) ++curves;
  while (plot->graphCount() > curves) plot->removeGraph(plot->graphCount() - 1);
  while (plot->graphCount() < curves) plot->addGraph();
  int gi = 0;
  for (const PlotItem& item : g.plots) {
    if (item.rectangle) {
      auto* r = new QCPItemRect(plot);
      r->topLeft->setCoords(std::min(item.x1, item.x2), std::max(item.y1, item.y2));
      r->bottomRight->setCoords(std::max(item.x1, item.x2), std::min(item.y1, item.y2));
      r->setPen(QPen(Rgb(item.colour)));
      r->setBrush(QBrush(Rgb(item.fillColour)));
      r->setLayer("background");
      continue;
    }
    QCPGraph* graph = plot->graph(gi++);
    QVector<double> xs(item.xs.begin(), item.xs.end()), ys(item.ys.begin(), item.ys.end());
    graph->setData(xs, ys, true);
    graph->setPen(QPen(Rgb(item.colour), 1.5));
    graph->setLineStyle(item.plotStyle == VAL_CONNECTED_POINTS || item.plotStyle == VAL_THIN_LINE
                            ? QCPGraph::lsLine
                            : QCPGraph::lsNone);
    graph->setScatterStyle(QCPScatterStyle::ssNone);
  }
  for (const CursorState& cursor : g.cursors) {
    if (!cursor.placed) continue;
    auto* line = new QCPItemStraightLine(plot);
    line->point1->setCoords(cursor.x, 0);
    line->point2->setCoords(cursor.x, 1);
    line->setPen(QPen(Rgb(cursor.colour), 2));
    auto* mark = new QCPItemTracer(plot);
    mark->position->setCoords(cursor.x, cursor.y);
    mark->setStyle(QCPItemTracer::tsCircle);
    mark->setSize(7);
    mark->setPen(QPen(Rgb(cursor.colour)));
    mark->setBrush(QBrush(Rgb(cursor.colour)));
  }
  PaintOverlay(plot, g.overlay);
  bool haveData = curves > 0;
  if (g.xAxis.mode == VAL_AUTOSCALE && haveData) plot->xAxis->rescale();
  if (g.yAxis.mode == VAL_AUTOSCALE && haveData) plot->yAxis->rescale();
  ApplyAxis(plot->xAxis, g.xAxis, haveData);
  ApplyAxis(plot->yAxis, g.yAxis, haveData);
  ApplyGraphZoom(c);
  KeepShownContent(c);
}

// The overlay over the plots: the shade behind them (full height, whatever the y axis shows),
// hollow circles for the marks, the note lines stacked at the top left of the plot area.
void PaintOverlay(QCustomPlot* plot, const GraphOverlay& o) {
  if (o.shaded) {
    auto* r = new QCPItemRect(plot);
    r->topLeft->setTypeY(QCPItemPosition::ptAxisRectRatio);
    r->bottomRight->setTypeY(QCPItemPosition::ptAxisRectRatio);
    r->topLeft->setCoords(std::min(o.shadeX1, o.shadeX2), 0.0);
    r->bottomRight->setCoords(std::max(o.shadeX1, o.shadeX2), 1.0);
    r->setPen(Qt::NoPen);
    r->setBrush(QBrush(Rgb(o.shadeColour)));
    r->setLayer("background");
  }
  for (int i = 0; i < o.markCount; ++i) {
    auto* mark = new QCPItemTracer(plot);
    mark->position->setCoords(o.markXs[i], o.markYs[i]);
    mark->setStyle(QCPItemTracer::tsCircle);
    mark->setSize(9);
    mark->setPen(QPen(Rgb(o.markColour), 2));
    mark->setBrush(Qt::NoBrush);
  }
  QCPItemText* above = nullptr;
  for (int line = 0; line < GRAPH_NOTE_LINES; ++line) {
    if (o.notes[line].empty()) continue;
    auto* text = new QCPItemText(plot);
    text->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (above) {
      text->position->setParentAnchor(above->bottomLeft);
      text->position->setCoords(0, 0);
    } else {
      // Below the read-out's line at the top left of the plot area.
      const QRect area = plot->axisRect()->rect();
      text->position->setType(QCPItemPosition::ptAbsolute);
      text->position->setCoords(area.left() + 4, area.top() + kNoteTop);
    }
    text->setText(QString::fromUtf8(o.notes[line].c_str()));
    text->setFont(QFont(plot->font().family(), 8));
    text->setColor(Rgb(o.noteColours[line]));
    text->setBrush(QBrush(QColor(255, 255, 255, 150)));
    text->setClipToAxisRect(false);
    above = text;
  }
}

void PaintStrip(Control& c) {
  QCustomPlot* plot = c.plot;
  StripState& s = *c.strip;
  while (plot->graphCount() > s.numTraces) plot->removeGraph(plot->graphCount() - 1);
  while (plot->graphCount() < s.numTraces) plot->addGraph();
  for (int t = 0; t < s.numTraces; ++t) {
    const TraceRing& values = s.traces[t];
    // The newest point sits at the right edge; older ones run off to the left.
    const int n = static_cast<int>(values.size());
    const int offset = s.pointsPerScreen - n;
    QVector<double> xs(n), ys(n);
    for (int i = 0; i < n; ++i) {
      xs[i] = offset + i;
      ys[i] = values.at(static_cast<size_t>(i));
    }
    QCPGraph* graph = plot->graph(t);
    graph->setData(xs, ys, true);
    // Traces that share a colour tell themselves apart by their line style.
    const std::vector<int>& styles = c.meaning.penStyles;
    const auto style = static_cast<Qt::PenStyle>(t < static_cast<int>(styles.size()) ? styles[t] : Qt::SolidLine);
    graph->setPen(QPen(Rgb(s.traceColours[t]), 1.5, style));
    const std::vector<QString>& names = c.meaning.columns;
    const QString name = t + 1 < static_cast<int>(names.size()) ? names[t + 1].section(" (", 0, 0)
                                                                 : QString("trace %1").arg(t + 1);
    if (graph->name() != name) graph->setName(name);
  }
  plot->xAxis->setRange(0, s.pointsPerScreen - 1);
  if (s.yAxis.mode == VAL_AUTOSCALE) {
    plot->yAxis->rescale();
  } else {
    plot->yAxis->setRange(s.yAxis.min, s.yAxis.max);
  }
  ApplyGraphZoom(c);
  KeepShownContent(c);
}

}  // namespace

void CreatePlotWidget(Panel& panel, Control& c) {
  auto* plot = new QCustomPlot(panel.window);
  plot->setNoAntialiasingOnDrag(true);
  plot->setNotAntialiasedElements(QCP::aeAll);
  plot->xAxis->setTickLabelFont(QFont(plot->font().family(), 8));
  plot->yAxis->setTickLabelFont(QFont(plot->font().family(), 8));
  plot->axisRect()->setAutoMargins(QCP::msAll);
  if (c.graph && !c.graph->yTickLabels) {
    plot->yAxis->setTickLabels(false);
    plot->yAxis->setTicks(false);
  }
  if (c.strip) {
    // The legend stands right of the chart, so it never hides the newest samples.
    plot->legend->setVisible(true);
    plot->legend->setFont(QFont(plot->font().family(), 8));
    plot->legend->setRowSpacing(0);
    // At the top of its column, as small as its entries; a filler takes the rest.
    auto* side = new QCPLayoutGrid;
    plot->plotLayout()->addElement(0, 1, side);
    plot->plotLayout()->setColumnStretchFactor(1, 0.001);
    side->addElement(0, 0, plot->legend);
    side->addElement(1, 0, new QCPLayoutElement(plot));
    side->setRowStretchFactor(0, 0.001);
    side->setMargins(QMargins(0, 10, 6, 6));
  }
  c.plot = plot;
  c.widget = plot;
  AttachGraphView(c);
  ScheduleRepaint(c);
}

void ScheduleRepaint(Control& c) {
  if (c.repaintPending) return;
  c.repaintPending = true;
  PendingRepaints().emplace_back(c.panel, c.id);
  if (!RepaintTimer()->isActive()) RepaintTimer()->start(kRepaintIntervalMs);
}

void FlushPendingRepaints() {
  std::vector<std::pair<int, int>> pending;
  pending.swap(PendingRepaints());
  for (auto [panel, id] : pending) {
    Control* c = FindControl(panel, id);
    if (!c) continue;
    // Paused: graphs and the indicators beside them keep their picture; their content goes on
    // changing and is shown when the pause ends. A panel without graphs (the recorder's, with
    // its progress) goes on showing.
    if (DisplayPaused() && (c->plot || (c->kind == Kind::Indicator && FindPanel(panel)->hasGraphs))) {
      DeferRepaint(*c);
      continue;
    }
    c->repaintPending = false;
    if (c->textStale) SyncDisplayText(*c);
    if (!c->plot) continue;
    if (c->graph) {
      PaintGraph(*c);
      ++c->graph->repaints;
    } else if (c->strip) {
      PaintStrip(*c);
      ++c->strip->repaints;
    }
    c->plot->replot(QCustomPlot::rpQueuedRefresh);
  }
}

}  // namespace userint

using namespace userint;

int PlotXY(int panel, int control, const void* x, const void* y, int count, int xType, int yType,
           int plotStyle, int pointStyle, int lineStyle, int /*pointFrequency*/, int colour) {
  Control* c = nullptr;
  if (int e = LookupGraph(panel, control, &c)) return e;
  if (!x || !y || count < 0 || !KnownType(xType) || !KnownType(yType)) return UIE_BAD_TYPE;
  PlotItem& item = NewPlot(*c->graph);
  item.rectangle = false;
  item.xs.resize(count);
  item.ys.resize(count);
  for (int i = 0; i < count; ++i) {
    ReadValue(x, xType, i, &item.xs[i]);
    ReadValue(y, yType, i, &item.ys[i]);
  }
  item.colour = colour;
  item.fillColour = colour;
  item.plotStyle = plotStyle;
  item.pointStyle = pointStyle;
  item.lineStyle = lineStyle;
  ScheduleRepaint(*c);
  return item.handle;
}

int PlotRectangle(int panel, int control, double x1, double y1, double x2, double y2, int colour,
                  int fillColour) {
  Control* c = nullptr;
  if (int e = LookupGraph(panel, control, &c)) return e;
  PlotItem& item = NewPlot(*c->graph);
  item.rectangle = true;
  item.xs.clear();
  item.ys.clear();
  item.x1 = x1;
  item.y1 = y1;
  item.x2 = x2;
  item.y2 = y2;
  item.colour = colour;
  item.fillColour = fillColour;
  ScheduleRepaint(*c);
  return item.handle;
}

int DeleteGraphPlot(int panel, int control, int plotHandle, int /*refresh*/) {
  Control* c = nullptr;
  if (int e = LookupGraph(panel, control, &c)) return e;
  GraphState& g = *c->graph;
  if (plotHandle == VAL_ALL_PLOTS) {
    for (PlotItem& item : g.plots) g.spare.push_back(std::move(item));
    g.plots.clear();
  } else {
    auto it = std::find_if(g.plots.begin(), g.plots.end(),
                           [&](const PlotItem& p) { return p.handle == plotHandle; });
    if (it == g.plots.end()) return UIE_BAD_ATTRIBUTE;
    g.spare.push_back(std::move(*it));
    g.plots.erase(it);
  }
  ScheduleRepaint(*c);
  return 0;
}

int SetGraphCursor(int panel, int control, int cursor, double x, double y) {
  Control* c = nullptr;
  if (int e = LookupGraph(panel, control, &c)) return e;
  if (cursor < 1 || cursor > 3) return UIE_BAD_ATTRIBUTE;
  CursorState& cs = c->graph->cursors[cursor - 1];
  cs.x = x;
  cs.y = y;
  cs.placed = true;
  ScheduleRepaint(*c);
  return 0;
}

int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max) {
  Panel* p = FindPanel(panel);
  if (!p) return UIE_BAD_PANEL;
  Control* c = FindControl(panel, control);
  if (!c) return UIE_BAD_CONTROL;
  AxisState* a = nullptr;
  if (c->graph) {
    a = axis == VAL_BOTTOM_XAXIS ? &c->graph->xAxis : axis == VAL_LEFT_YAXIS ? &c->graph->yAxis : nullptr;
  } else if (c->strip) {
    a = axis == VAL_LEFT_YAXIS ? &c->strip->yAxis : nullptr;
  } else {
    return UIE_BAD_TYPE;
  }
  if (!a || (mode != VAL_MANUAL && mode != VAL_AUTOSCALE)) return UIE_BAD_ATTRIBUTE;
  if (mode == VAL_MANUAL && !(min < max)) return UIE_BAD_ATTRIBUTE;
  a->mode = mode;
  if (mode == VAL_MANUAL) {
    a->min = min;
    a->max = max;
  }
  ScheduleRepaint(*c);
  return 0;
}

int GetAxisScalingMode(int panel, int control, int axis, int* mode, double* min, double* max) {
  Control* c = FindControl(panel, control);
  if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
  const AxisState* a = nullptr;
  if (c->graph) a = axis == VAL_BOTTOM_XAXIS ? &c->graph->xAxis : axis == VAL_LEFT_YAXIS ? &c->graph->yAxis : nullptr;
  if (c->strip) a = axis == VAL_LEFT_YAXIS ? &c->strip->yAxis : nullptr;
  if (!a) return UIE_BAD_ATTRIBUTE;
  if (mode) *mode = a->mode;
  if (min) *min = a->min;
  if (max) *max = a->max;
  return 0;
}

int SetGraphShade(int panel, int control, double x1, double x2, int colour) {
  Control* c = nullptr;
  if (int e = LookupGraph(panel, control, &c)) return e;
  GraphOverlay& o = c->graph->overlay;
  o.shaded = colour >= 0;
  o.shadeX1 = x1;
  o.shadeX2 = x2;
  o.shadeColour = colour & 0xFFFFFF;
  ScheduleRepaint(*c);
  return 0;
}

int SetGraphMarks(int panel, int control, const double* xs, const double* ys, int count,
                  int colour) {
  Control* c = nullptr;
  if (int e = LookupGraph(panel, control, &c)) return e;
  if (count < 0 || (count > 0 && (!xs || !ys))) return UIE_BAD_TYPE;
  GraphOverlay& o = c->graph->overlay;
  o.markCount = std::min(count, GRAPH_MAX_MARKS);
  std::copy(xs, xs + o.markCount, o.markXs);
  std::copy(ys, ys + o.markCount, o.markYs);
  o.markColour = colour & 0xFFFFFF;
  ScheduleRepaint(*c);
  return 0;
}

int SetGraphNote(int panel, int control, int line, const char* text, int colour) {
  Control* c = nullptr;
  if (int e = LookupGraph(panel, control, &c)) return e;
  if (line < 0 || line >= GRAPH_NOTE_LINES) return UIE_BAD_ATTRIBUTE;
  GraphOverlay& o = c->graph->overlay;
  o.notes[line] = text ? text : "";
  o.noteColours[line] = colour & 0xFFFFFF;
  ScheduleRepaint(*c);
  return 0;
}

int PlotStripChart(int panel, int control, const void* values, int count, int start, int skip,
                   int type) {
  Control* c = nullptr;
  if (int e = LookupStrip(panel, control, &c)) return e;
  if (!values || count < 0 || start < 0 || skip < 0 || !KnownType(type)) return UIE_BAD_TYPE;
  StripState& s = *c->strip;
  // Values are interleaved: one value per trace makes a point, then `skip` values are passed.
  const int stride = s.numTraces + skip;
  for (int base = start; base + s.numTraces <= count; base += stride) {
    for (int t = 0; t < s.numTraces; ++t) {
      double v = 0;
      ReadValue(values, type, base + t, &v);
      s.traces[t].push(v);
    }
  }
  ScheduleRepaint(*c);
  return 0;
}

int ClearStripChart(int panel, int control) {
  Control* c = nullptr;
  if (int e = LookupStrip(panel, control, &c)) return e;
  for (TraceRing& t : c->strip->traces) t.clear();
  ScheduleRepaint(*c);
  return 0;
}

int SetTraceAttribute(int panel, int control, int trace, int attribute, int value) {
  Control* c = nullptr;
  if (int e = LookupStrip(panel, control, &c)) return e;
  if (attribute != ATTR_TRACE_COLOR) return UIE_BAD_ATTRIBUTE;
  if (trace < 1 || trace > c->strip->numTraces) return UIE_BAD_ATTRIBUTE;
  c->strip->traceColours[trace - 1] = value & 0xFFFFFF;
  ScheduleRepaint(*c);
  return 0;
}
