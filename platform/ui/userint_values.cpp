// Values and attributes of controls, text boxes, ring items, run-time text controls and
// pictures. Nothing here raises an event: these are the program's own changes.
#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/ui/userint.h"
#include "userint_internal.h"
#include "platform/sys/utility.h"

namespace userint {

namespace {

int Lookup(int panel, int control, Control** out) {
  Panel* p = FindPanel(panel);
  if (!p) return UIE_BAD_PANEL;
  auto it = p->controls.find(control);
  if (it == p->controls.end()) return UIE_BAD_CONTROL;
  *out = it->second.get();
  return 0;
}

bool HoldsNumber(const Control& c) {
  switch (c.kind) {
    case Kind::Toggle:
    case Kind::Binary:
    case Kind::Radio:
    case Kind::Numeric:
    case Kind::Indicator:
    case Kind::Ring:
      return true;
    default:
      return false;
  }
}

bool HoldsText(const Control& c) {
  return c.kind == Kind::TextBox || c.kind == Kind::String || c.kind == Kind::TextMsg;
}

int SetNumber(int panel, int control, double value) {
  Control* c = nullptr;
  if (int e = Lookup(panel, control, &c)) return e;
  if (HoldsText(*c)) {
    c->text = (std::floor(value) == value) ? QString::number(static_cast<long long>(value))
                                           : QString::number(value);
  } else if (!HoldsNumber(*c)) {
    return UIE_BAD_TYPE;
  } else if (c->kind == Kind::Toggle || c->kind == Kind::Radio) {
    c->number = value != 0 ? 1 : 0;
  } else if (c->kind == Kind::Ring || c->kind == Kind::Binary) {
    c->number = value;
  } else {
    if (c->valueType != ValueType::Double) value = std::round(value);
    c->number = std::clamp(value, c->minimum, c->maximum);
  }
  RefreshControlWidget(*c);
  return 0;
}

int GetNumber(int panel, int control, double* value) {
  Control* c = nullptr;
  if (int e = Lookup(panel, control, &c)) return e;
  if (HoldsText(*c)) {
    bool ok = false;
    double v = c->text.trimmed().toDouble(&ok);
    if (!ok) return UIE_BAD_TYPE;
    *value = v;
    return 0;
  }
  if (!HoldsNumber(*c)) return UIE_BAD_TYPE;
  *value = c->number;
  return 0;
}

// Whole number of a value, wrapped into 32 bits like a C conversion of an integer would be.
long long WholeNumber(double v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<long long>(std::llround(v));
}

size_t CopyOut(char* buf, size_t size, const QString& text) {
  if (!buf || size == 0) return 0;
  return CopyText(buf, size, text.toLocal8Bit().constData());
}

}  // namespace
}  // namespace userint

using namespace userint;

int SetCtrlVal(int panel, int control, int value) { return SetNumber(panel, control, value); }
int SetCtrlVal(int panel, int control, unsigned int value) { return SetNumber(panel, control, value); }
int SetCtrlVal(int panel, int control, unsigned short value) { return SetNumber(panel, control, value); }
int SetCtrlVal(int panel, int control, double value) { return SetNumber(panel, control, value); }

int SetCtrlVal(int panel, int control, const char* value) {
  Control* c = nullptr;
  if (int e = Lookup(panel, control, &c)) return e;
  if (!HoldsText(*c)) return UIE_BAD_TYPE;
  c->text = QString::fromLocal8Bit(value ? value : "");
  RefreshControlWidget(*c);
  return 0;
}

int GetCtrlVal(int panel, int control, int* value) {
  double v = 0;
  if (int e = GetNumber(panel, control, &v)) return e;
  *value = static_cast<int>(static_cast<unsigned int>(WholeNumber(v)));
  return 0;
}

int GetCtrlVal(int panel, int control, unsigned int* value) {
  double v = 0;
  if (int e = GetNumber(panel, control, &v)) return e;
  *value = static_cast<unsigned int>(WholeNumber(v));
  return 0;
}

int GetCtrlVal(int panel, int control, unsigned short* value) {
  double v = 0;
  if (int e = GetNumber(panel, control, &v)) return e;
  *value = static_cast<unsigned short>(WholeNumber(v));
  return 0;
}

int GetCtrlVal(int panel, int control, double* value) { return GetNumber(panel, control, value); }

int GetCtrlString(int panel, int control, char* buf, size_t size) {
  Control* c = nullptr;
  if (int e = Lookup(panel, control, &c)) return e;
  if (!HoldsText(*c)) return UIE_BAD_TYPE;
  CopyOut(buf, size, c->text);
  return 0;
}

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
  Control* c = nullptr;
  if (int e = Lookup(panel, control, &c)) return e;
  switch (attribute) {
    case ATTR_DIMMED:
      c->dimmed = value != 0;
      break;
    case ATTR_VISIBLE:
      c->visible = value != 0;
      if (c->visible && (c->graph || c->strip)) ScheduleRepaint(*c);
      break;
    case ATTR_LEFT:
    case ATTR_TOP:
      (attribute == ATTR_LEFT ? c->left : c->top) = value;
      if (c->widget) {
        const Panel& p = *FindPanel(panel);
        c->widget->move(Scaled(p, c->left), Scaled(p, c->top));
      }
      return 0;
    case ATTR_FRAME_COLOR:
      c->frameColour = value & 0xFFFFFF;
      ApplyTextStyle(*c);
      return 0;
    case ATTR_TEXT_COLOR:
      c->textColour = value & 0xFFFFFF;
      ApplyTextStyle(*c);
      return 0;
    case ATTR_TEXT_BGCOLOR:
      c->textBgColour = value < 0 ? -1 : value & 0xFFFFFF;
      ApplyTextStyle(*c);
      return 0;
    case ATTR_TEXT_POINT_SIZE:
      if (value < 1 || value > 200) return UIE_BAD_ATTRIBUTE;
      c->pointSize = value;
      ApplyTextStyle(*c);
      return 0;
    case ATTR_TEXT_BOLD:
      c->bold = value != 0;
      ApplyTextStyle(*c);
      return 0;
    case ATTR_SCROLL_MODE:
    case ATTR_NUM_TRACES:
    case ATTR_POINTS_PER_SCREEN: {
      if (!c->strip) return UIE_BAD_ATTRIBUTE;
      StripState& s = *c->strip;
      if (attribute == ATTR_SCROLL_MODE) {
        s.scrollMode = value;
      } else if (attribute == ATTR_NUM_TRACES) {
        if (value < 1 || value > 16) return UIE_BAD_ATTRIBUTE;
        if (value != s.numTraces) {
          s.numTraces = value;
          s.traces.assign(value, {});
          for (TraceRing& t : s.traces) t.reset(static_cast<size_t>(s.pointsPerScreen));
          s.traceColours.resize(value, 0);
        }
      } else {
        if (value < 2 || value > 100000) return UIE_BAD_ATTRIBUTE;
        if (value != s.pointsPerScreen) {
          s.pointsPerScreen = value;
          for (TraceRing& t : s.traces) t.resize(static_cast<size_t>(value));
        }
      }
      ScheduleRepaint(*c);
      return 0;
    }
    default:
      return UIE_BAD_ATTRIBUTE;
  }
  RefreshControlWidget(*c);
  return 0;
}

int SetCtrlAttribute(int panel, int control, int attribute, const char* value) {
  Control* c = nullptr;
  if (int e = Lookup(panel, control, &c)) return e;
  QString text = QString::fromLocal8Bit(value ? value : "");
  switch (attribute) {
    case ATTR_TEXT_FONT:
      c->font = text;
      ApplyTextStyle(*c);
      return 0;
    case ATTR_ON_TEXT:
    case ATTR_OFF_TEXT:
      if (c->kind != Kind::Binary) return UIE_BAD_ATTRIBUTE;
      (attribute == ATTR_ON_TEXT ? c->onText : c->offText) = text;
      RefreshControlWidget(*c);
      return 0;
    case ATTR_TOOLTIP:
      if (c->widget) c->widget->setToolTip(text);
      return 0;
    default:
      return UIE_BAD_ATTRIBUTE;
  }
}

int GetCtrlAttribute(int panel, int control, int attribute, int* value) {
  Control* c = nullptr;
  if (int e = Lookup(panel, control, &c)) return e;
  switch (attribute) {
    case ATTR_DIMMED: *value = c->dimmed ? 1 : 0; return 0;
    case ATTR_VISIBLE: *value = c->visible ? 1 : 0; return 0;
    case ATTR_LEFT: *value = c->left; return 0;
    case ATTR_TOP: *value = c->top; return 0;
    case ATTR_FRAME_COLOR: *value = c->frameColour; return 0;
    case ATTR_TEXT_COLOR: *value = c->textColour; return 0;
    case ATTR_TEXT_BGCOLOR: *value = c->textBgColour; return 0;
    case ATTR_TEXT_POINT_SIZE: *value = c->pointSize; return 0;
    case ATTR_TEXT_BOLD: *value = c->bold ? 1 : 0; return 0;
    case ATTR_NUM_TRACES: if (!c->strip) break; *value = c->strip->numTraces; return 0;
    case ATTR_POINTS_PER_SCREEN: if (!c->strip) break; *value = c->strip->pointsPerScreen; return 0;
    case ATTR_SCROLL_MODE: if (!c->strip) break; *value = c->strip->scrollMode; return 0;
    default: break;
  }
  return UIE_BAD_ATTRIBUTE;
}

int ResetTextBox(int panel, int control, const char* text) { return SetCtrlVal(panel, control, text); }

int GetTextBoxLineBounded(int panel, int control, int line, char* buf, size_t size) {
  Control* c = nullptr;
  if (int e = Lookup(panel, control, &c)) return e;
  if (!HoldsText(*c)) return UIE_BAD_TYPE;
  QStringList lines = c->text.split('\n');
  if (line < 0 || line >= lines.size()) return UIE_BAD_ATTRIBUTE;
  QString l = lines[line];
  if (l.endsWith('\r')) l.chop(1);
  CopyOut(buf, size, l);
  return 0;
}

int ReplaceListItem(int panel, int control, int index, const char* label, int value) {
  Control* c = nullptr;
  if (int e = Lookup(panel, control, &c)) return e;
  if (c->kind != Kind::Ring) return UIE_BAD_TYPE;
  if (index < 0 || index >= static_cast<int>(c->items.size())) return UIE_BAD_ATTRIBUTE;
  c->items[index].label = QString::fromLocal8Bit(label ? label : "");
  c->items[index].value = value;
  RefreshControlWidget(*c);
  return 0;
}

int ClearListCtrl(int panel, int control) {
  Control* c = nullptr;
  if (int e = Lookup(panel, control, &c)) return e;
  if (c->kind != Kind::Ring) return UIE_BAD_TYPE;
  c->items.clear();
  if (auto* box = qobject_cast<QComboBox*>(c->widget.data())) {
    const QSignalBlocker block(box);
    box->clear();
  }
  return 0;
}

int InsertListItem(int panel, int control, int index, const char* label, int value) {
  Control* c = nullptr;
  if (int e = Lookup(panel, control, &c)) return e;
  if (c->kind != Kind::Ring) return UIE_BAD_TYPE;
  const int count = static_cast<int>(c->items.size());
  if (index == -1) index = count;
  if (index < 0 || index > count) return UIE_BAD_ATTRIBUTE;
  RingItem item{QString::fromLocal8Bit(label ? label : ""), value};
  c->items.insert(c->items.begin() + index, item);
  if (auto* box = qobject_cast<QComboBox*>(c->widget.data())) {
    const QSignalBlocker block(box);
    box->insertItem(index, item.label, item.value);
    // The list opens as wide as its longest item (a port with its device's name), even where
    // the closed ring is narrower.
    box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + 2 * box->view()->frameWidth());
  }
  // The ring keeps its value; it shows the item that carries it once there is one.
  RefreshControlWidget(*c);
  return 0;
}

int GetNumListItems(int panel, int control, int* count) {
  Control* c = nullptr;
  if (int e = Lookup(panel, control, &c)) return e;
  if (c->kind != Kind::Ring) return UIE_BAD_TYPE;
  *count = static_cast<int>(c->items.size());
  return 0;
}

int GetLabelFromIndex(int panel, int control, int index, char* buf, size_t size) {
  Control* c = nullptr;
  if (int e = Lookup(panel, control, &c)) return e;
  if (c->kind != Kind::Ring) return UIE_BAD_TYPE;
  if (index < 0 || index >= static_cast<int>(c->items.size())) return UIE_BAD_ATTRIBUTE;
  CopyOut(buf, size, c->items[index].label);
  return 0;
}

int NewCtrl(int panel, int style, const char* label, int top, int left) {
  Panel* p = FindPanel(panel);
  if (!p) return UIE_BAD_PANEL;
  if (style != CTRL_TEXT_MSG) return UIE_BAD_TYPE;
  auto c = std::make_unique<Control>();
  c->id = p->nextNewId++;
  c->name = "TEXTMSG_" + std::to_string(c->id);
  c->kind = Kind::TextMsg;
  c->valueType = ValueType::Text;
  c->text = QString::fromLocal8Bit(label ? label : "");
  c->left = left;
  c->top = top;
  Control& ref = *c;
  p->controls[c->id] = std::move(c);
  BuildControlWidget(*p, ref);
  if (ref.widget) {
    static_cast<QLabel*>(ref.widget.data())->adjustSize();
    ref.widget->move(Scaled(*p, left), Scaled(*p, top));
    ref.widget->raise();
  }
  return ref.id;
}

int DisplayImageFile(int panel, int control, const char* path) {
  Control* c = nullptr;
  if (int e = Lookup(panel, control, &c)) return e;
  if (c->kind != Kind::Picture) return UIE_BAD_TYPE;
  char resolved[PATH_BUFFER_SIZE];
  if (FindResourceFile(path ? path : "", resolved) != 0) return UIE_FILE_NOT_FOUND;
  QImage image(QString::fromLocal8Bit(resolved));
  if (image.isNull()) return UIE_BAD_FILE;
  c->hasImage = true;
  if (auto* l = qobject_cast<QLabel*>(c->widget.data())) {
    l->setPixmap(QPixmap::fromImage(image));
    l->resize(image.size().boundedTo(QSize(c->width > 0 ? c->width : image.width(),
                                           c->height > 0 ? c->height : image.height())));
  }
  return 0;
}
