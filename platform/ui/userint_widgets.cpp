// The Qt widget behind each kind of control, and the mapping of the operator's actions on it to
// the event codes: a left mouse press gives EVENT_LEFT_CLICK, a key press EVENT_KEYPRESS, a
// released button or an entered value EVENT_COMMIT, every change of a value EVENT_VAL_CHANGED.
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>

#include <cmath>

#include "platform/sys/utility.h"
#include "platform/ui/userint.h"
#include "userint_internal.h"

namespace userint {
namespace {

// A modifier pressed on its own (the start of Alt+Tab, a Shift held for the next key) is not a
// key press of the control: it would stop a loop on the focused Stop button.
bool IsModifierOnly(int key) {
  switch (key) {
    case Qt::Key_Shift: case Qt::Key_Control: case Qt::Key_Alt: case Qt::Key_AltGr:
    case Qt::Key_Meta: case Qt::Key_Super_L: case Qt::Key_Super_R: case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R: case Qt::Key_CapsLock: case Qt::Key_NumLock: case Qt::Key_ScrollLock:
      return true;
    default:
      return false;
  }
}

// Turns mouse presses and key presses on a control (or any of its child widgets) into events.
class EventTap : public QObject {
 public:
  EventTap(QObject* parent, int panel, int control) : QObject(parent), panel_(panel), control_(control) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // A dimmed control takes no input at all.
    Control* owner = FindControl(panel_, control_);
    if (!owner || owner->dimmed) return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonPress) {
      auto* me = static_cast<QMouseEvent*>(event);
      if (me->button() == Qt::LeftButton) {
        QPoint p = me->position().toPoint();
        PostCtrlEvent(panel_, control_, EVENT_LEFT_CLICK, p.x(), p.y());
      }
    } else if (event->type() == QEvent::KeyPress && !IsModifierOnly(static_cast<QKeyEvent*>(event)->key())) {
      auto* ke = static_cast<QKeyEvent*>(event);
      PostCtrlEvent(panel_, control_, EVENT_KEYPRESS, ke->key(), static_cast<int>(ke->modifiers()));
      // A focused command button is operated by Enter as well as by the space bar (which Qt
      // handles itself on release).
      if (owner->kind == Kind::Command &&
          (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter)) {
        PostCtrlEvent(panel_, control_, EVENT_COMMIT, 0, 0);
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  int panel_, control_;
};

QString NumberText(const Control& c) {
  if (c.valueType == ValueType::Double) return QString::number(c.number, 'f', c.precision);
  return QString::number(static_cast<long long>(std::llround(c.number)));
}

void NumberEntered(int panel, int control, double value) {
  Control* c = FindControl(panel, control);
  if (!c) return;
  const double before = c->number;
  c->number = value;
  PostValueChange(panel, control, before, c->text);
}

void Tap(QWidget* w, EventTap* tap) {
  w->installEventFilter(tap);
  for (QWidget* child : w->findChildren<QWidget*>()) child->installEventFilter(tap);
}

}  // namespace

void PlaceControl(Panel& panel, Control& c);

void SyncDisplayText(Control& c) {
  c.textStale = false;
  auto* e = qobject_cast<QLineEdit*>(c.widget.data());
  if (!e) return;
  const QString text = c.kind == Kind::Indicator ? NumberText(c) : c.text;
  if (e->text() != text) e->setText(text);
}

void ApplyTextStyle(Control& c) {
  if (!c.widget) return;
  QString css;
  if (c.kind == Kind::Decoration) {
    if (c.frameColour >= 0) {
      css += QString("background-color: #%1; border: 1px solid #%1;").arg(c.frameColour, 6, 16, QChar('0'));
    } else {
      css += "border: 1px solid #9a9a9a; border-radius: 4px;";
    }
  } else {
    if (c.textColour >= 0) css += QString("color: #%1;").arg(c.textColour, 6, 16, QChar('0'));
    if (c.textBgColour >= 0) css += QString("background-color: #%1;").arg(c.textBgColour, 6, 16, QChar('0'));
    if (c.bold) css += "font-weight: bold;";
  }
  c.widget->setStyleSheet(css);
  Panel* panel = FindPanel(c.panel);
  QFont f = panel && panel->window ? panel->window->font() : c.widget->font();
  // Sizes are pixels of the panel, like every other measure of the panel file, so texts keep
  // their place beside the controls whatever the screen's resolution.
  if (c.pointSize > 0) f.setPixelSize(panel ? std::max(1, Scaled(*panel, c.pointSize)) : c.pointSize);
  f.setBold(c.bold);
  c.widget->setFont(f);
  if (c.kind == Kind::TextMsg) static_cast<QLabel*>(c.widget.data())->adjustSize();
}

void RefreshControlWidget(Control& c) {
  QWidget* w = c.widget;
  if (!w) return;
  const QSignalBlocker block(w);
  switch (c.kind) {
    case Kind::Toggle:
    case Kind::Radio:
      if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setChecked(c.number != 0);
      break;
    case Kind::Binary:
      if (auto* b = qobject_cast<QPushButton*>(w)) {
        bool on = static_cast<int>(c.number) == c.onValue;
        b->setChecked(on);
        b->setText(on ? c.onText : c.offText);
      }
      break;
    case Kind::Numeric:
      if (auto* d = qobject_cast<QDoubleSpinBox*>(w)) d->setValue(c.number);
      if (auto* s = qobject_cast<QSpinBox*>(w)) s->setValue(static_cast<int>(std::llround(c.number)));
      break;
    case Kind::Indicator:
      // Display-only texts follow the value at the screen's pace, not at every change: a live
      // loop writes a dozen of them per frame, and laying out a text costs more than the
      // frame's own work.
      c.textStale = true;
      ScheduleRepaint(c);
      break;
    case Kind::Ring: {
      auto* box = static_cast<QComboBox*>(w);
      for (int i = 0; i < static_cast<int>(c.items.size()); ++i) {
        if (box->itemText(i) != c.items[i].label) box->setItemText(i, c.items[i].label);
        if (c.items[i].value == static_cast<int>(c.number)) box->setCurrentIndex(i);
      }
      break;
    }
    case Kind::TextBox:
    case Kind::String:
      if (c.readOnly || c.kind == Kind::String) {
        c.textStale = true;
        ScheduleRepaint(c);
      } else {
        static_cast<QLineEdit*>(w)->setText(c.text);
      }
      break;
    case Kind::TextMsg:
      static_cast<QLabel*>(w)->setText(c.text);
      static_cast<QLabel*>(w)->adjustSize();
      break;
    default:
      break;
  }
  w->setEnabled(!c.dimmed);
  w->setVisible(c.visible);
  if (c.caption) {
    c.caption->setEnabled(!c.dimmed);
    c.caption->setVisible(c.visible);
  }
}

void BuildControlWidget(Panel& panel, Control& c) {
  QWidget* parent = panel.window;
  c.panel = panel.handle;
  const int handle = panel.handle, id = c.id;
  QWidget* w = nullptr;
  switch (c.kind) {
    case Kind::Command: {
      auto* b = new QPushButton(parent);
      QObject::connect(b, &QPushButton::clicked, [handle, id] { PostCtrlEvent(handle, id, EVENT_COMMIT, 0, 0); });
      w = b;
      break;
    }
    case Kind::Toggle:
    case Kind::Binary: {
      auto* b = new QPushButton(parent);
      b->setCheckable(true);
      QObject::connect(b, &QPushButton::clicked, [handle, id](bool checked) {
        Control* cc = FindControl(handle, id);
        if (!cc) return;
        const double before = cc->number;
        if (cc->kind == Kind::Binary) {
          cc->number = checked ? cc->onValue : cc->offValue;
          RefreshControlWidget(*cc);
        } else {
          cc->number = checked ? 1 : 0;
        }
        PostValueChange(handle, id, before, cc->text);
      });
      w = b;
      break;
    }
    case Kind::Radio: {
      auto* b = new QRadioButton(parent);
      b->setAutoExclusive(false);  // exclusivity among the target buttons is the program's job
      QObject::connect(b, &QRadioButton::clicked, [handle, id](bool checked) {
        Control* cc = FindControl(handle, id);
        if (!cc) return;
        const double before = cc->number;
        cc->number = checked ? 1 : 0;
        PostValueChange(handle, id, before, cc->text);
      });
      w = b;
      break;
    }
    case Kind::Numeric: {
      QAbstractSpinBox* box = nullptr;
      if (c.valueType == ValueType::Double) {
        auto* d = new QDoubleSpinBox(parent);
        d->setDecimals(c.precision);
        d->setRange(c.minimum, c.maximum);
        QObject::connect(d, &QDoubleSpinBox::valueChanged, [handle, id](double v) { NumberEntered(handle, id, v); });
        box = d;
      } else {
        auto* s = new QSpinBox(parent);
        s->setRange(static_cast<int>(c.minimum), static_cast<int>(c.maximum));
        QObject::connect(s, &QSpinBox::valueChanged, [handle, id](int v) { NumberEntered(handle, id, v); });
        box = s;
      }
      // A typed value counts once it is entered, not at every keystroke.
      box->setKeyboardTracking(false);
      box->setAlignment(Qt::AlignRight);
      w = box;
      break;
    }
    case Kind::Indicator:
    case Kind::String: {
      auto* e = new QLineEdit(parent);
      e->setReadOnly(true);
      e->setFocusPolicy(Qt::NoFocus);
      if (c.kind == Kind::Indicator) e->setAlignment(Qt::AlignRight);
      if (c.centred) e->setAlignment(Qt::AlignCenter);
      w = e;
      break;
    }
    case Kind::TextBox: {
      auto* e = new QLineEdit(parent);
      // Texts of the program are bounded to its path buffers.
      e->setMaxLength(PATH_BUFFER_SIZE - 1);
      e->setReadOnly(c.readOnly);
      if (c.readOnly) e->setFocusPolicy(Qt::NoFocus);
      QObject::connect(e, &QLineEdit::editingFinished, [handle, id, e] {
        Control* cc = FindControl(handle, id);
        if (!cc || e->isReadOnly() || cc->text == e->text()) return;
        const QString before = cc->text;
        cc->text = e->text();
        PostValueChange(handle, id, cc->number, before);
      });
      w = e;
      break;
    }
    case Kind::Ring: {
      auto* box = new QComboBox(parent);
      for (const RingItem& item : c.items) box->addItem(item.label, item.value);
      QObject::connect(box, &QComboBox::activated, [handle, id](int index) {
        Control* cc = FindControl(handle, id);
        if (!cc || index < 0 || index >= static_cast<int>(cc->items.size())) return;
        const int v = cc->items[index].value;
        const double before = cc->number;
        cc->number = v;
        if (static_cast<int>(before) != v) {
          PostValueChange(handle, id, before, cc->text);
        } else {
          PostCtrlEvent(handle, id, EVENT_COMMIT, 0, 0);
        }
      });
      w = box;
      break;
    }
    case Kind::Decoration: {
      auto* f = new QFrame(parent);
      f->setAttribute(Qt::WA_StyledBackground, true);
      w = f;
      break;
    }
    case Kind::Picture: {
      auto* l = new QLabel(parent);
      l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      w = l;
      break;
    }
    case Kind::TextMsg: {
      auto* l = new QLabel(parent);
      w = l;
      break;
    }
    case Kind::Graph:
    case Kind::StripChart:
      CreatePlotWidget(panel, c);
      w = c.widget;
      break;
    case Kind::Table: {
      auto* t = new QTableWidget(parent);
      t->setEditTriggers(QAbstractItemView::NoEditTriggers);
      t->setSelectionBehavior(QAbstractItemView::SelectRows);
      t->setSelectionMode(QAbstractItemView::SingleSelection);
      // Read-only like an indicator: Tab passes it by.
      t->setFocusPolicy(Qt::NoFocus);
      t->verticalHeader()->hide();
      t->horizontalHeader()->setStretchLastSection(true);
      t->setWordWrap(false);
      c.widget = t;
      BuildTableWidget(c);
      w = t;
      break;
    }
  }
  if (!w) return;
  c.widget = w;
  w->setObjectName(QString::fromStdString(c.name));
  w->setAccessibleName(QString::fromStdString(c.name));
  w->setProperty("controlId", c.id);
  PlaceControl(panel, c);
  EventTap* tap = new EventTap(w, handle, id);
  Tap(w, tap);
  ApplyTextStyle(c);
  RefreshControlWidget(c);
  if (c.kind == Kind::Decoration) w->lower();
}

void PlaceControl(Panel& panel, Control& c) {
  if (!c.widget) return;
  // Buttons carry their label inside; other controls get a caption above them.
  if (c.kind == Kind::Command || c.kind == Kind::Toggle || c.kind == Kind::Radio) {
    static_cast<QAbstractButton*>(c.widget.data())->setText(c.label);
  } else if (!c.label.isEmpty() && c.kind != Kind::TextMsg && c.kind != Kind::Decoration &&
             c.kind != Kind::Picture && !c.caption) {
    auto* cap = new QLabel(c.label, c.widget->parentWidget());
    cap->setObjectName(QString::fromStdString(c.name) + "_label");
    c.caption = cap;
    cap->setEnabled(!c.dimmed);
    cap->setVisible(c.visible);
  }
  PlaceControlGeometry(panel, c);
}

}  // namespace userint
