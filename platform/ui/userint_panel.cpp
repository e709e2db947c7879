// Loading panels from the resource file, and showing, hiding and discarding them.
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QRect>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>

#include "platform/ui/userint.h"
#include "platform/ui/userint_qt.h"
#include "userint_internal.h"
#include "platform/sys/utility.h"

namespace userint {
namespace {

const RequiredControl* gRequired = nullptr;
int gRequiredCount = 0;
std::string gLoadError;
int gNextHandle = 1;

// The top-level window of a panel. Its close box does not close it: the panel callback gets
// EVENT_CLOSE and decides.
class PanelWindow : public QWidget {
 public:
  explicit PanelWindow(int handle) : handle_(handle) {}

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    PostPanelEvent(handle_, EVENT_CLOSE);
  }
  // A right click that no control took (the background, a button, a label, a frame, a
  // dimmed control) comes up to the window; controls with a menu of their own keep it.
  void contextMenuEvent(QContextMenuEvent* event) override {
    Panel* p = FindPanel(handle_);
    if (!p || !p->menu || p->menu->isEmpty()) {
      event->ignore();
      return;
    }
    p->menu->popup(event->globalPos());
    event->accept();
  }

 private:
  int handle_;
};

struct KindEntry {
  Kind kind;
  const char* name;
};
constexpr KindEntry kKinds[] = {
    {Kind::Command, "command"},       {Kind::Toggle, "toggle"},
    {Kind::Binary, "binary"},         {Kind::Radio, "radio"},
    {Kind::Numeric, "numeric"},       {Kind::Indicator, "indicator"},
    {Kind::Ring, "ring"},             {Kind::TextBox, "textbox"},
    {Kind::String, "string"},         {Kind::Decoration, "decoration"},
    {Kind::Picture, "picture"},       {Kind::TextMsg, "textmsg"},
    {Kind::Graph, "graph"},           {Kind::StripChart, "stripchart"},
    {Kind::Table, "table"},
};

int Fail(int code, const std::string& why) {
  gLoadError = why;
  return code;
}

// Colours are written "#RRGGBB" in the file; -1 means "not given".
int ColourOf(const QJsonValue& v, int fallback) {
  if (v.isDouble()) return v.toInt();
  if (!v.isString()) return fallback;
  QString s = v.toString().trimmed();
  if (s.startsWith('#')) s.remove(0, 1);
  bool ok = false;
  int c = s.toInt(&ok, 16);
  return ok ? c : fallback;
}

void ReadAxis(const QJsonObject& o, AxisState* axis) {
  if (o.isEmpty()) return;
  axis->mode = o.value("autoscale").toBool(false) ? VAL_AUTOSCALE : VAL_MANUAL;
  axis->min = o.value("min").toDouble(axis->min);
  axis->max = o.value("max").toDouble(axis->max);
}

// A whole number from lo to hi: read as a double first, so a huge or fractional value fails
// instead of passing as some int.
bool WholeIn(const QJsonValue& v, int lo, int hi, int* out) {
  if (!v.isDouble()) return false;
  const double d = v.toDouble();
  if (!(d >= lo && d <= hi) || d != std::floor(d)) return false;
  *out = static_cast<int>(d);
  return true;
}

// A table's column titles, row count and column widths.
std::string ReadTable(const QJsonObject& o, Control* c) {
  auto table = std::make_unique<TableState>();
  const QJsonValue columns = o.value("columns");
  if (!columns.isArray() || columns.toArray().isEmpty() || columns.toArray().size() > kMaxTableColumns) {
    return "a table needs \"columns\": 1 to " + std::to_string(kMaxTableColumns) + " titles";
  }
  for (const QJsonValue& t : columns.toArray()) {
    if (!t.isString()) return "a table's column titles must be texts";
    table->titles.push_back(t.toString());
  }
  int rows = 0;
  if (!WholeIn(o.value("rows"), 0, kMaxTableRows, &rows)) {
    return "a table needs \"rows\": a whole number from 0 to " + std::to_string(kMaxTableRows);
  }
  if (o.contains("columnWidths")) {
    const QJsonValue widths = o.value("columnWidths");
    if (!widths.isArray() || widths.toArray().size() > columns.toArray().size()) {
      return "\"columnWidths\" must be a list no longer than \"columns\"";
    }
    for (const QJsonValue& w : widths.toArray()) {
      int px = 0;
      if (!WholeIn(w, 1, 10000, &px)) return "a column width must be a whole number from 1 to 10000";
      table->widths.push_back(px);
    }
  }
  table->rows.assign(rows, std::vector<TableCell>(table->titles.size()));
  c->table = std::move(table);
  return {};
}

// Reads one control description. Returns an empty string or the reason it is unusable.
std::string ReadControl(const QJsonObject& o, Control* c) {
  QString kindName = o.value("kind").toString();
  if (!KindFromName(kindName, &c->kind)) return "unknown kind \"" + kindName.toStdString() + "\"";
  c->name = o.value("name").toString().toStdString();
  c->label = o.value("label").toString();
  c->left = o.value("left").toInt();
  c->top = o.value("top").toInt();
  c->width = o.value("width").toInt();
  c->height = o.value("height").toInt();
  QString type = o.value("type").toString();
  if (c->kind == Kind::TextBox || c->kind == Kind::String || c->kind == Kind::TextMsg) {
    c->valueType = ValueType::Text;
  } else if (type == "double") {
    c->valueType = ValueType::Double;
  } else if (type == "u16") {
    c->valueType = ValueType::UInt16;
  } else if (type.isEmpty() || type == "i32") {
    c->valueType = ValueType::Int32;
  } else {
    return "unknown value type \"" + type.toStdString() + "\"";
  }
  if (c->valueType == ValueType::UInt16) {
    c->minimum = 0;
    c->maximum = 65535;
  } else if (c->valueType == ValueType::Int32) {
    c->minimum = -2147483647.0;
    c->maximum = 2147483647.0;
  } else {
    c->minimum = -1e12;
    c->maximum = 1e12;
  }
  c->minimum = o.value("min").toDouble(c->minimum);
  c->maximum = o.value("max").toDouble(c->maximum);
  if (c->minimum > c->maximum) return "min above max";
  c->precision = o.value("precision").toInt(c->valueType == ValueType::Double ? 3 : 0);
  c->dimmed = o.value("dimmed").toBool(false);
  c->visible = o.value("visible").toBool(true);
  c->readOnly = o.value("readonly").toBool(false);
  c->centred = o.value("align").toString() == "center";
  c->pointSize = o.value("fontSize").toInt(0);
  c->bold = o.value("bold").toBool(false);
  c->textColour = ColourOf(o.value("textColour"), -1);
  c->textBgColour = ColourOf(o.value("textBgColour"), -1);
  c->frameColour = ColourOf(o.value("colour"), -1);
  c->onText = o.value("onText").toString("ON");
  c->offText = o.value("offText").toString("OFF");
  c->onValue = o.value("onValue").toInt(1);
  c->offValue = o.value("offValue").toInt(0);
  for (const QJsonValue& iv : o.value("items").toArray()) {
    QJsonObject io = iv.toObject();
    if (!io.contains("value")) return "ring item without a value";
    c->items.push_back({io.value("label").toString(), io.value("value").toInt()});
  }
  if (c->kind == Kind::Ring && c->items.empty()) return "ring without items";
  QJsonValue v = o.value("value");
  if (c->valueType == ValueType::Text) {
    c->text = v.toString();
  } else if (c->kind == Kind::Ring) {
    c->number = v.isUndefined() ? c->items.front().value : v.toDouble();
  } else if (c->kind == Kind::Binary) {
    c->number = v.isUndefined() ? c->offValue : v.toDouble();
  } else {
    c->number = std::clamp(v.toDouble(0.0), c->minimum, c->maximum);
  }
  if (c->kind == Kind::Graph) {
    c->graph = std::make_unique<GraphState>();
    ReadAxis(o.value("xAxis").toObject(), &c->graph->xAxis);
    ReadAxis(o.value("yAxis").toObject(), &c->graph->yAxis);
    c->graph->yTickLabels = o.value("yTickLabels").toBool(true);
    QJsonArray cursors = o.value("cursors").toArray();
    for (int i = 0; i < 3 && i < cursors.size(); ++i) {
      c->graph->cursors[i].colour = ColourOf(cursors[i].toObject().value("colour"), 0);
      c->meaning.cursors[i] = cursors[i].toObject().value("name").toString();
    }
    for (const QJsonValue& av : o.value("areas").toArray()) {
      const int colour = ColourOf(av.toObject().value("colour"), -1);
      if (colour < 0) return "an area without a colour";
      c->meaning.rectangles.emplace_back(colour, av.toObject().value("name").toString());
    }
  }
  if (c->kind == Kind::Graph || c->kind == Kind::StripChart) {
    c->meaning.xTitle = o.value("xTitle").toString();
    c->meaning.yTitle = o.value("yTitle").toString();
    for (const QJsonValue& cv : o.value("columns").toArray()) c->meaning.columns.push_back(cv.toString());
    for (const QJsonValue& sv : o.value("lineStyles").toArray()) {
      static const std::map<QString, int> kStyles = {{"solid", Qt::SolidLine}, {"dash", Qt::DashLine},
                                                     {"dot", Qt::DotLine}, {"dashdot", Qt::DashDotLine}};
      auto it = kStyles.find(sv.toString());
      if (it == kStyles.end()) return "unknown line style \"" + sv.toString().toStdString() + "\"";
      c->meaning.penStyles.push_back(it->second);
    }
  }
  if (c->kind == Kind::StripChart) {
    c->strip = std::make_unique<StripState>();
    c->strip->numTraces = std::clamp(o.value("traces").toInt(1), 1, 16);
    c->strip->pointsPerScreen = std::clamp(o.value("pointsPerScreen").toInt(100), 2, 100000);
    c->strip->traceColours.assign(c->strip->numTraces, 0);
    c->strip->traces.assign(c->strip->numTraces, {});
    for (TraceRing& t : c->strip->traces) t.reset(c->strip->pointsPerScreen);
    ReadAxis(o.value("yAxis").toObject(), &c->strip->yAxis);
  }
  if (c->kind == Kind::Table) return ReadTable(o, c);
  return {};
}

// ---- Tab order ----

struct Placed {
  QRect rect;
  std::vector<Control*> members;  // a frame's controls, or the one control outside any frame
};

// Reading order: rows from top to bottom, each row from left to right. A row holds what starts
// above the middle of the row's first (topmost) item, so controls whose tops differ by a few
// pixels (a button beside a ring) share a row.
void SortByReading(std::vector<Placed>* items) {
  std::stable_sort(items->begin(), items->end(), [](const Placed& a, const Placed& b) {
    return a.rect.top() != b.rect.top() ? a.rect.top() < b.rect.top() : a.rect.left() < b.rect.left();
  });
  for (size_t row = 0; row < items->size();) {
    const QRect& first = (*items)[row].rect;
    size_t end = row + 1;
    while (end < items->size() && (*items)[end].rect.top() < first.top() + first.height() / 2) ++end;
    std::stable_sort(items->begin() + static_cast<long>(row), items->begin() + static_cast<long>(end),
                     [](const Placed& a, const Placed& b) { return a.rect.left() < b.rect.left(); });
    row = end;
  }
}

QRect RectOf(const Control& c) { return QRect(c.left, c.top, c.width, c.height); }

// Chains the controls that take the keyboard focus in the order they are laid out: a decoration
// that encloses controls makes them a group; groups and the controls outside any group come in
// reading order, and the controls of a group in reading order inside it.
void SetLayoutTabOrder(Panel& panel) {
  std::vector<Placed> groups;
  std::map<const Control*, size_t> groupOfFrame;
  for (auto& [id, c] : panel.controls) {
    if (c->kind != Kind::Decoration) continue;
    groupOfFrame[c.get()] = groups.size();
    groups.push_back({RectOf(*c), {}});
  }
  std::vector<Placed> units;
  for (auto& [id, c] : panel.controls) {
    if (c->kind == Kind::Decoration || !c->widget || !(c->widget->focusPolicy() & Qt::TabFocus)) continue;
    const QRect r = RectOf(*c);
    const Control* frame = nullptr;
    for (auto& [fid, f] : panel.controls) {
      if (f->kind != Kind::Decoration || !RectOf(*f).contains(r)) continue;
      if (!frame || RectOf(*f).width() * RectOf(*f).height() < frame->width * frame->height) frame = f.get();
    }
    if (frame) {
      groups[groupOfFrame[frame]].members.push_back(c.get());
    } else {
      units.push_back({r, {c.get()}});
    }
  }
  for (Placed& g : groups) {
    if (g.members.empty()) continue;
    std::vector<Placed> inside;
    for (Control* m : g.members) inside.push_back({RectOf(*m), {m}});
    SortByReading(&inside);
    g.members.clear();
    for (const Placed& p : inside) g.members.push_back(p.members.front());
    units.push_back(std::move(g));
  }
  SortByReading(&units);
  QWidget* previous = nullptr;
  for (const Placed& u : units) {
    for (Control* m : u.members) {
      if (previous) QWidget::setTabOrder(previous, m->widget);
      previous = m->widget;
    }
  }
}

std::string ControlLabel(const QJsonObject& o) {
  return "control " + std::to_string(o.value("id").toInt()) + " (" +
         o.value("name").toString().toStdString() + ")";
}

}  // namespace

const char* KindName(Kind kind) {
  for (const KindEntry& e : kKinds)
    if (e.kind == kind) return e.name;
  return nullptr;
}

bool KindFromName(const QString& name, Kind* kind) {
  for (const KindEntry& e : kKinds) {
    if (name == QLatin1String(e.name)) {
      *kind = e.kind;
      return true;
    }
  }
  return false;
}

}  // namespace userint

using namespace userint;

void RequireControls(const RequiredControl* list, int count) {
  gRequired = list;
  gRequiredCount = count;
}

const char* GetLoadPanelError(void) { return gLoadError.c_str(); }

int LoadPanel(int /*parent*/, const char* file, int resource) {
  gLoadError.clear();
  if (!QCoreApplication::instance()) return Fail(UIE_NOT_INITIALISED, "the user interface is not started");
  char path[PATH_BUFFER_SIZE];
  const char* name = file ? file : "";
  if (FindResourceFile(name, path) != 0) {
    return Fail(UIE_FILE_NOT_FOUND, std::string(name) + ": file not found");
  }
  QFile f(QString::fromLocal8Bit(path));
  if (!f.open(QIODevice::ReadOnly)) {
    return Fail(UIE_FILE_NOT_FOUND, std::string(path) + ": cannot be read");
  }
  // A panel description is a few tens of kilobytes; anything far larger is not ours.
  if (f.size() > 4 * 1024 * 1024) return Fail(UIE_BAD_FILE, std::string(path) + ": file too large");
  QJsonParseError perr{};
  QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &perr);
  if (doc.isNull() || !doc.isObject()) {
    return Fail(UIE_BAD_FILE, std::string(path) + ": not a panel file (" +
                                  perr.errorString().toStdString() + " at offset " +
                                  std::to_string(perr.offset) + ")");
  }
  QJsonObject root = doc.object();
  if (root.value("format").toString() != "rorir-panels") {
    return Fail(UIE_BAD_FILE, std::string(path) + ": not a panel file (format is not rorir-panels)");
  }
  QJsonObject po;
  for (const QJsonValue& pv : root.value("panels").toArray()) {
    if (pv.toObject().value("resource").toInt() == resource) po = pv.toObject();
  }
  if (po.isEmpty()) {
    return Fail(UIE_BAD_RESOURCE, std::string(path) + ": no panel " + std::to_string(resource));
  }
  const std::string where = std::string(path) + ": panel " + std::to_string(resource) + ": ";

  auto panel = std::make_unique<Panel>();
  panel->resource = resource;
  panel->title = po.value("title").toString();
  int width = po.value("width").toInt(0), height = po.value("height").toInt(0);
  if (width < 50 || height < 50 || width > 10000 || height > 10000) {
    return Fail(UIE_BAD_FILE, where + "width and height must be 50 to 10000");
  }
  panel->width = width;
  panel->height = height;
  std::set<int> ids;
  std::vector<std::unique_ptr<Control>> unnamed;
  for (const QJsonValue& cv : po.value("controls").toArray()) {
    QJsonObject co = cv.toObject();
    auto c = std::make_unique<Control>();
    std::string why = ReadControl(co, c.get());
    if (!why.empty()) return Fail(UIE_BAD_FILE, where + ControlLabel(co) + ": " + why);
    for (const char* key : {"left", "top", "width", "height"}) {
      if (!co.value(key).isDouble()) {
        return Fail(UIE_BAD_FILE, where + ControlLabel(co) + ": no " + key);
      }
    }
    // Read as numbers, not as ints: a huge or fractional value must not pass as 0.
    const double left = co.value("left").toDouble(), top = co.value("top").toDouble();
    const double cw = co.value("width").toDouble(), ch = co.value("height").toDouble();
    // The range is checked before any conversion: converting a double beyond int is undefined.
    const bool inside = left >= 0 && top >= 0 && cw >= 1 && ch >= 1 && left + cw <= width && top + ch <= height;
    const bool whole = left == std::floor(left) && top == std::floor(top) && cw == std::floor(cw) &&
                       ch == std::floor(ch);
    if (!inside || !whole) {
      return Fail(UIE_BAD_FILE, where + ControlLabel(co) + ": left, top, width and height must be whole " +
                                    "numbers that keep it inside the " + std::to_string(width) + " x " +
                                    std::to_string(height) + " panel");
    }
    c->callback = LookupCtrlCallback(co.value("callback").toString().toStdString());
    if (co.contains("id")) {
      int id = co.value("id").toInt(-1);
      if (id <= 0 || id >= 100) return Fail(UIE_BAD_FILE, where + ControlLabel(co) + ": id must be 1 to 99");
      if (!ids.insert(id).second) return Fail(UIE_BAD_FILE, where + ControlLabel(co) + ": id used twice");
      c->id = id;
      panel->controls[id] = std::move(c);
    } else {
      unnamed.push_back(std::move(c));
    }
  }
  for (int i = 0; i < gRequiredCount; ++i) {
    const RequiredControl& r = gRequired[i];
    if (r.resource != resource) continue;
    auto it = panel->controls.find(r.id);
    if (it == panel->controls.end()) {
      return Fail(UIE_MISSING_CONTROL, where + "lacks control " + std::to_string(r.id) + " (" + r.name + ")");
    }
    const char* kind = KindName(it->second->kind);
    if (std::string(kind) != r.kind || it->second->name != r.name) {
      return Fail(UIE_MISSING_CONTROL, where + "control " + std::to_string(r.id) + " is " +
                                           it->second->name + " (" + kind + "), expected " +
                                           r.name + " (" + r.kind + ")");
    }
  }
  for (auto& c : unnamed) {
    c->id = panel->nextNewId++;
    panel->controls[c->id] = std::move(c);
  }
  for (auto& [id, c] : panel->controls)
    if (c->graph || c->strip) panel->hasGraphs = true;

  panel->handle = gNextHandle++;
  PanelWindow* window = new PanelWindow(panel->handle);
  window->setObjectName(po.value("name").toString());
  window->setWindowTitle(panel->title);
  window->setFixedSize(width, height);
  int bg = ColourOf(po.value("colour"), -1);
  if (bg >= 0) {
    window->setAutoFillBackground(true);
    QPalette pal = window->palette();
    pal.setColor(QPalette::Window, QColor::fromRgb(static_cast<QRgb>(bg)));
    window->setPalette(pal);
  }
  panel->window = window;
  panel->callback = LookupPanelCallback(po.value("callback").toString().toStdString());
  // Decorations first and lowest, so the controls drawn on them stay on top.
  for (auto& [id, c] : panel->controls)
    if (c->kind == Kind::Decoration) BuildControlWidget(*panel, *c);
  for (auto& [id, c] : panel->controls)
    if (c->kind != Kind::Decoration) BuildControlWidget(*panel, *c);
  SetLayoutTabOrder(*panel);
  int handle = panel->handle;
  Panels()[handle] = std::move(panel);
  return handle;
}

int DisplayPanel(int panel) {
  Panel* p = FindPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL;
  // Fitted before it shows, and again once the window manager's frame is known.
  FitPanelToScreen(*p);
  p->window->show();
  FitPanelToScreen(*p);
  p->window->raise();
  for (auto& [id, c] : p->controls)
    if (c->graph || c->strip) ScheduleRepaint(*c);
  return 0;
}

int HidePanel(int panel) {
  Panel* p = FindPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL;
  p->window->hide();
  return 0;
}

int DiscardPanel(int panel) {
  auto it = Panels().find(panel);
  if (it == Panels().end()) return UIE_BAD_PANEL;
  if (it->second->window) delete it->second->window.data();
  Panels().erase(it);
  return 0;
}

int SetActivePanel(int panel) {
  Panel* p = FindPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL;
  p->window->activateWindow();
  p->window->raise();
  return 0;
}

int SetActiveCtrl(int panel, int control) {
  Control* c = FindControl(panel, control);
  if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
  if (c->widget) c->widget->setFocus(Qt::OtherFocusReason);
  return 0;
}

int GetActiveCtrl(int panel) {
  Panel* p = FindPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL;
  QWidget* focus = p->window->focusWidget();
  for (auto& [id, c] : p->controls) {
    if (c->widget && focus && (focus == c->widget || c->widget->isAncestorOf(focus))) return id;
  }
  return 0;
}

int IsPanelVisible(int panel) {
  Panel* p = FindPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL;
  return p->window->isVisible() ? 1 : 0;
}

int AddPanelMenuItem(int panel, const char* label, PanelMenuCallbackPtr callback) {
  Panel* p = FindPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL;
  if (!callback) return UIE_BAD_ATTRIBUTE;
  if (!p->menu) {
    p->menu = new QMenu(p->window);
    p->menu->setObjectName("panelMenu");
  }
  const int item = ++p->menuItems;
  QAction* a = p->menu->addAction(QString::fromUtf8(label ? label : ""));
  a->setObjectName(QString("panelMenuItem%1").arg(item));
  // The menu's own handling of the click is still on the stack: the callback runs from the
  // event loop, like every control callback, so it may open a pop-up or run a loop.
  QObject::connect(a, &QAction::triggered, [panel, item, callback] {
    PostToEventLoop([panel, item, callback] {
      if (FindPanel(panel)) callback(panel, item);
    });
  });
  return item;
}

QMenu* PanelContextMenu(int panel) {
  Panel* p = FindPanel(panel);
  return p ? p->menu.data() : nullptr;
}
