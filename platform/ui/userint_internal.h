// Internal state of the user-interface services: the panels, their controls and the content
// of graphs and strip charts. Shared by the userint_*.cpp files only.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/userint.h"

class QCustomPlot;
class QLabel;
class QMenu;

namespace userint {

enum class Kind {
  Command,     // push button: commit on release
  Toggle,      // latching push button, value 0 / 1
  Binary,      // two-state switch with an on text and an off text
  Radio,       // independent radio button, value 0 / 1
  Numeric,     // spin box the operator edits
  Indicator,   // numeric display only
  Ring,        // list of labelled values (combo box)
  TextBox,     // text, editable unless read-only
  String,      // string display only
  Decoration,  // coloured area
  Picture,     // bitmap
  TextMsg,     // label text
  Graph,       // x/y graph with plots, rectangles and cursors
  StripChart,  // scrolling chart of interleaved traces
  Table,       // read-only grid of texts the program fills
};

/// Kind name as written in the resource file; nullptr for an unknown kind.
const char* KindName(Kind kind);
bool KindFromName(const QString& name, Kind* kind);

enum class ValueType { Int32, UInt16, Double, Text };

struct PlotItem {
  int handle = 0;
  bool rectangle = false;
  std::vector<double> xs, ys;  // curve points
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // rectangle corners
  int colour = 0;
  int fillColour = 0;
  int plotStyle = 0;
  int pointStyle = 0;
  int lineStyle = 0;
};

struct AxisState {
  int mode = VAL_MANUAL;
  double min = 0.0;
  double max = 1.0;
};

struct CursorState {
  double x = 0.0;
  double y = 0.0;
  bool placed = false;
  int colour = 0x000000;
};

/// What a graph shows over its plots, kept apart from them (DeleteGraphPlot leaves it): one
/// shaded x range, point marks and note lines. Fixed sizes, so a live loop does not allocate.
struct GraphOverlay {
  bool shaded = false;
  double shadeX1 = 0.0, shadeX2 = 0.0;
  int shadeColour = 0;
  int markCount = 0;
  double markXs[GRAPH_MAX_MARKS] = {}, markYs[GRAPH_MAX_MARKS] = {};
  int markColour = 0;
  std::string notes[GRAPH_NOTE_LINES];
  int noteColours[GRAPH_NOTE_LINES] = {};
};

struct GraphState {
  std::vector<PlotItem> plots;
  std::vector<PlotItem> spare;  // deleted items kept for reuse, so a live loop does not allocate
  int nextHandle = 1;
  CursorState cursors[3];
  bool yTickLabels = true;
  AxisState xAxis, yAxis;
  GraphOverlay overlay;
  int repaints = 0;
};

/// The last points of one strip-chart trace, kept in a ring so that appending a point never
/// moves the others.
struct TraceRing {
  std::vector<double> points;  // capacity = points per screen
  size_t head = 0;            // slot of the oldest point
  size_t count = 0;

  void reset(size_t capacity) {
    points.assign(capacity, 0.0);
    head = count = 0;
  }
  void push(double v) {
    const size_t cap = points.size();
    if (cap == 0) return;
    if (count < cap) {
      points[(head + count) % cap] = v;
      ++count;
    } else {
      points[head] = v;
      head = (head + 1) % cap;
    }
  }
  double at(size_t i) const { return points[(head + i) % points.size()]; }
  size_t size() const { return count; }
  void clear() { head = count = 0; }
  /// Oldest first.
  std::vector<double> ordered() const {
    std::vector<double> out(count);
    for (size_t i = 0; i < count; ++i) out[i] = at(i);
    return out;
  }
  /// Changes the capacity, keeping the newest points that fit.
  void resize(size_t capacity) {
    std::vector<double> keep = ordered();
    if (keep.size() > capacity) keep.erase(keep.begin(), keep.end() - static_cast<long>(capacity));
    reset(capacity);
    for (double v : keep) push(v);
  }
};

struct StripState {
  int numTraces = 1;
  int pointsPerScreen = 100;
  int scrollMode = 0;
  std::vector<int> traceColours;
  std::vector<TraceRing> traces;
  AxisState yAxis;
  int repaints = 0;
};

/// What the panel file says a graph holds: axis titles with units, and the names (with units)
/// of its curves or traces, cursors and rectangles. The legend, the read-out and the CSV
/// export take their words from here; the program's drawing calls know nothing of it.
struct GraphMeaning {
  QString xTitle, yTitle;        // axis titles
  // CSV head: the x column (the sample of a strip chart), then the curves in plotting order
  // or the traces; the position bar's head is "item", "from", "to".
  std::vector<QString> columns;
  std::vector<int> penStyles;    // strip chart traces: Qt::PenStyle of each
  QString cursors[3];            // names of cursors 1 to 3; two alike make a from-to row
  std::vector<std::pair<int, QString>> rectangles;  // fill colour and the name it stands for
};

/// One cell of a table: what the program wrote, kept here so that reads need no widget.
struct TableCell {
  QString text;
  int bgColour = -1;  // 0xRRGGBB, -1 for the table's own background
  QString tooltip;
};

/// The titles and widths of a table's columns (from the panel file) and its cells, row by row.
struct TableState {
  std::vector<QString> titles;
  std::vector<int> widths;  // panel pixels; columns past the list keep the widget's default
  std::vector<std::vector<TableCell>> rows;
};
constexpr int kMaxTableRows = 1000;
constexpr int kMaxTableColumns = 64;

struct GraphView;  // the operator's zoom, pan, read-out and paused picture (userint_graph_view)

struct RingItem {
  QString label;
  int value = 0;
};

struct Control {
  int id = 0;
  int panel = 0;  // handle of the panel that holds it
  std::string name;
  Kind kind = Kind::TextMsg;
  ValueType valueType = ValueType::Int32;
  QPointer<QWidget> widget;
  QPointer<QLabel> caption;  // label shown above the control, if any
  QString label;
  int left = 0, top = 0, width = 0, height = 0;
  CtrlCallbackPtr callback = nullptr;
  void* callbackData = nullptr;

  double minimum = 0.0, maximum = 65535.0;
  int precision = 0;
  double number = 0.0;  // value of numerics, indicators, radio, toggle, binary
  QString text;         // value of text boxes, string indicators and text messages
  std::vector<RingItem> items;
  int onValue = 1, offValue = 0;
  QString onText, offText;

  bool dimmed = false;
  bool visible = true;
  bool readOnly = false;
  bool centred = false;  // "align": "center": the text of a display sits in its middle
  int textColour = -1, textBgColour = -1, frameColour = -1;
  int pointSize = 0;
  bool bold = false;
  QString font;
  bool hasImage = false;

  std::unique_ptr<GraphState> graph;
  std::unique_ptr<StripState> strip;
  std::unique_ptr<TableState> table;
  QCustomPlot* plot = nullptr;
  GraphMeaning meaning;
  std::shared_ptr<GraphView> view;
  bool repaintPending = false;
  bool textStale = false;  // a display-only text waits for the next screen tick

  // Changes of value the operator made whose events are still queued, and the value to take
  // back should the control be dimmed or hidden before they come out.
  int queuedChanges = 0;
  bool undoPending = false;
  double undoNumber = 0.0;
  QString undoText;
};

struct Panel {
  int handle = 0;
  int resource = 0;
  QString title;
  QPointer<QWidget> window;
  PanelCallbackPtr callback = nullptr;
  std::map<int, std::unique_ptr<Control>> controls;
  int nextNewId = 100;
  int width = 0, height = 0;  // size in panel pixels, as in the file
  double scale = 1.0;         // < 1 while the panel is shrunk to fit its screen
  bool hasGraphs = false;     // its indicators pause with its graphs
  QPointer<QMenu> menu;       // the program's context menu of the panel (AddPanelMenuItem)
  int menuItems = 0;
};

/// The loaded panels, by handle.
std::map<int, std::unique_ptr<Panel>>& Panels();
Panel* FindPanel(int handle);
Control* FindControl(int panel, int control);

CtrlCallbackPtr LookupCtrlCallback(const std::string& name);
PanelCallbackPtr LookupPanelCallback(const std::string& name);

/// Queues an event for a control's callback; it runs from the event loop in posting order.
void PostCtrlEvent(int panel, int control, int event, int data1, int data2);
/// Queues the value-changed and commit events of a change of value the operator made;
/// `number` and `text` are what the control held before it. Should the control be dimmed or
/// hidden by the time they come out of the queue, they are dropped and the control shows its
/// earlier value again (unless the program has set one since).
void PostValueChange(int panel, int control, double number, const QString& text);
/// Queues the close event for a panel's callback.
void PostPanelEvent(int panel, int event);

/// Builds the widget of a control inside its panel window and wires its events.
void BuildControlWidget(Panel& panel, Control& control);
/// Shows a control's state (value, text, colours, dimmed, visible) on its widget.
void RefreshControlWidget(Control& control);
void ApplyTextStyle(Control& control);
/// Builds a table's grid from its state (titles, rows, cells) and shows every cell.
void BuildTableWidget(Control& control);
/// Sets a table's column widths from the file's panel pixels at the panel's scale.
void PlaceTableColumns(const Panel& panel, Control& control);

/// Shows a display-only control's current text on its widget.
void SyncDisplayText(Control& control);
/// Asks for a repaint of a graph or strip chart, or a display text, at the next screen tick.
void ScheduleRepaint(Control& control);
/// Paints every pending graph now (used before pictures are taken).
void FlushPendingRepaints();
void CreatePlotWidget(Panel& panel, Control& control);

// ---- the operator's work with graphs (userint_graph_view.cpp, userint_graph_export.cpp) ----
/// Gives a graph or strip chart its axis titles, legend, zoom, pan, read-out and context menu.
void AttachGraphView(Control& control);
/// Sets the axes, after the program's own scaling was applied, to the operator's zoom.
void ApplyGraphZoom(Control& control);
/// Keeps a copy of what a paint puts on screen: the read-out and the export use it.
void KeepShownContent(Control& control);
/// True while the display is paused: graphs and indicators keep their picture.
bool DisplayPaused();
/// Sets a control aside until the pause ends (its content stays current underneath).
void DeferRepaint(Control& control);
/// Writes what a graph shows as CSV text (C locale, comma-separated, head line with units).
QByteArray GraphCsv(const Control& control);
// What the last paint of a graph put on screen (kept by KeepShownContent).
const std::vector<PlotItem>& ShownPlots(const Control& control);
const CursorState* ShownCursors(const Control& control);
const std::vector<std::vector<double>>& ShownTraces(const Control& control);
int ShownPointsPerScreen(const Control& control);
/// Asks for the name of a file to save without blocking the program's loops: `done` gets the
/// chosen path, or an empty text on cancel. A queued test answer (QueueFileSelectAnswer) is
/// taken at once; offscreen without one it cancels.
void ChooseFileToSave(const QString& folder, const QString& name, const QString& filter,
                      const QString& title, std::function<void(const QString&)> done);
/// Hands a one-line message to the program's status line (see SetStatusHook).
void ReportStatus(const QString& text);

// ---- panels that fit their screen (userint_fit.cpp) ----
/// A length of the panel file in widget pixels of its panel.
int Scaled(const Panel& panel, int length);
/// Shrinks the panel so that it fits the available area of its screen, or restores it to its
/// own size when it fits; places every control again.
void FitPanelToScreen(Panel& panel);
/// Draws the panel at `scale` (geometry and texts), as FitPanelToScreen does for the factor
/// it finds (0.3 to 1 in whole hundredths).
void ApplyPanelScale(Panel& panel, double scale);
/// Places a control's widget and caption by its file geometry and the panel's scale.
void PlaceControlGeometry(Panel& panel, Control& control);

bool IsOffscreen();

}  // namespace userint
