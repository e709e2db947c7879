// The link monitor window: the counters with a reset button, the last frames newest at the
// bottom, and "Save log...". Opened from the context menu of a control (the status line), whose
// tooltip shows the counters too.
//
// The window only reads: a timer looks at the program's monitor once a second while the
// window is shown, and appends the frames that came since. Nothing runs while it is closed, and
// the tooltip asks for the counters only when it is about to show, so the loops pay nothing for
// the watching. A list scrolled up stays where it is (no frame is appended) until it is back at
// the bottom, where it catches up.
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include <vector>

#include "platform/sys/utility.h"
#include "platform/ui/userint.h"
#include "userint_internal.h"
#include "platform/ui/userint_qt.h"

namespace userint {
namespace {

constexpr int REFRESH_MS = 1000;  // one look a second: each look repaints the window
constexpr int COUNTERS_SIZE = 1024;
constexpr int LINE_SIZE = 1024;

LinkMonitorSource gSource{};
QPointer<QWidget> gWindow;
QPointer<QWidget> gAnchor;  // the control whose menu opens the window
unsigned long gShown = 0;   // frames seen by the monitor when the list last caught up
bool gCaughtUp = false;     // the list holds everything up to gShown
bool gFollow = true;        // the list is at its bottom and follows the line

QString CountersText() {
  if (!gSource.counters) return {};
  char text[COUNTERS_SIZE] = "";
  gSource.counters(text, sizeof text);
  return QString::fromUtf8(text);
}

QString FrameLine(int index) {
  char line[LINE_SIZE] = "";
  gSource.frameLine(index, line, sizeof line);
  return QString::fromUtf8(line);
}

// Appends the frames that came since the last look, or starts the list afresh when more came
// than the monitor still holds.
void CatchUp(QPlainTextEdit* list) {
  if (!gSource.framesSeen || !gSource.frameCount || !gSource.frameLine) return;
  const unsigned long seen = gSource.framesSeen();
  const int held = gSource.frameCount();
  const unsigned long fresh = seen - gShown;
  if (gCaughtUp && fresh == 0) return;
  QStringList lines;
  int first = 0;
  if (gCaughtUp && fresh <= static_cast<unsigned long>(held)) {
    first = held - static_cast<int>(fresh);
  } else {
    list->clear();
  }
  for (int i = first; i < held; ++i) lines << FrameLine(i);
  if (!lines.isEmpty()) list->appendPlainText(lines.join('\n'));
  list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
  gShown = seen;
  gCaughtUp = true;
}

void Refresh() {
  // Appending moves the scroll bar, whose signals come back here.
  static bool busy = false;
  if (busy || !gWindow || !gWindow->isVisible()) return;
  busy = true;
  if (auto* counters = gWindow->findChild<QLabel*>("MonitorCounters")) {
    const QString text = CountersText();
    if (text != counters->text()) counters->setText(text);
  }
  auto* list = gWindow->findChild<QPlainTextEdit*>("MonitorFrames");
  auto* note = gWindow->findChild<QLabel*>("MonitorPaused");
  if (list) {
    if (note) note->setVisible(!gFollow);
    if (gFollow) CatchUp(list);
  }
  busy = false;
}

void SaveLog() {
  auto* note = gWindow ? gWindow->findChild<QLabel*>("MonitorSaved") : nullptr;
  char path[PATH_BUFFER_SIZE] = "";
  // OK button, any folder, any extension, cancel and new folders allowed.
  const int chosen = FileSelectPopup(gSource.directory ? gSource.directory : "", "link.log", "*.log",
                                     "Save log", 0, 0, 0, 1, 1, path);
  if (chosen == VAL_NO_FILE_SELECTED || !gSource.saveLog) return;
  const int may = ConfirmReplaceFile(path, "Link log");
  if (may <= 0) {
    if (note)
      note->setText(may < 0 ? QStringLiteral("Log NOT saved: %1 is the file of the running recording")
                                  .arg(QString::fromLocal8Bit(path))
                            : QStringLiteral("Log NOT saved: %1 kept as it was").arg(QString::fromLocal8Bit(path)));
    return;
  }
  const bool ok = gSource.saveLog(path) == 0;
  if (note)
    note->setText(ok ? QStringLiteral("Log saved to %1").arg(QString::fromLocal8Bit(path))
                     : QStringLiteral("Log NOT saved: cannot write %1").arg(QString::fromLocal8Bit(path)));
}

QWidget* BuildWindow(QWidget* owner) {
  auto* w = new QWidget(owner, Qt::Window);
  w->setObjectName("LinkMonitor");
  w->setWindowTitle("Link monitor");
  w->resize(900, 520);
  auto* layout = new QVBoxLayout(w);

  auto* top = new QHBoxLayout;
  auto* counters = new QLabel(w);
  counters->setObjectName("MonitorCounters");
  counters->setTextInteractionFlags(Qt::TextSelectableByMouse);
  top->addWidget(counters, 1);
  auto* buttons = new QVBoxLayout;
  auto* reset = new QPushButton("Reset counters", w);
  reset->setObjectName("MonitorReset");
  auto* save = new QPushButton("Save log...", w);
  save->setObjectName("MonitorSave");
  // Neither button takes the keyboard focus from the main panel's controls.
  reset->setFocusPolicy(Qt::NoFocus);
  save->setFocusPolicy(Qt::NoFocus);
  buttons->addWidget(reset);
  buttons->addWidget(save);
  buttons->addStretch(1);
  top->addLayout(buttons);
  layout->addLayout(top);

  auto* list = new QPlainTextEdit(w);
  list->setObjectName("MonitorFrames");
  list->setReadOnly(true);
  list->setLineWrapMode(QPlainTextEdit::NoWrap);
  list->setMaximumBlockCount(gSource.capacity > 0 ? gSource.capacity : 0);
  QFont mono("Monospace");
  mono.setStyleHint(QFont::TypeWriter);
  list->setFont(mono);
  layout->addWidget(list, 1);

  auto* paused = new QLabel("Paused: scroll to the bottom to follow the line again", w);
  paused->setObjectName("MonitorPaused");
  paused->setVisible(false);
  layout->addWidget(paused);
  auto* saved = new QLabel(w);
  saved->setObjectName("MonitorSaved");
  layout->addWidget(saved);

  QObject::connect(reset, &QPushButton::clicked, [] {
    if (gSource.resetCounters) gSource.resetCounters();
    Refresh();
  });
  QObject::connect(save, &QPushButton::clicked, [] { SaveLog(); });
  // Scrolled up, the list pauses; back at the bottom, the frames that came meanwhile follow at
  // once. While it follows, a list that grows or a window that changes size stays at the bottom.
  QScrollBar* bar = list->verticalScrollBar();
  QObject::connect(bar, &QScrollBar::valueChanged, [bar](int value) {
    gFollow = value >= bar->maximum();
    Refresh();
  });
  QObject::connect(bar, &QScrollBar::rangeChanged, [bar](int, int maximum) {
    if (gFollow) bar->setValue(maximum);
  });
  auto* timer = new QTimer(w);
  timer->setInterval(REFRESH_MS);
  QObject::connect(timer, &QTimer::timeout, [] { Refresh(); });
  timer->start();
  return w;
}

// The tooltip of the anchor control: the counters, asked for only when it is about to show.
class CountersTip : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ToolTip) static_cast<QWidget*>(watched)->setToolTip(CountersText());
    return false;
  }
};

}  // namespace
}  // namespace userint

using namespace userint;

int InstallLinkMonitor(int panel, int control, const LinkMonitorSource& source) {
  Control* c = FindControl(panel, control);
  if (!c || !c->widget) return UIE_BAD_CONTROL;
  gSource = source;
  QWidget* anchor = c->widget;
  gAnchor = anchor;
  anchor->setToolTip(CountersText());
  anchor->installEventFilter(new CountersTip(anchor));
  anchor->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(anchor, &QWidget::customContextMenuRequested, anchor, [anchor](const QPoint& at) {
    // The text box's own entries (copy, select all) stay; the monitor comes after them.
    auto* edit = qobject_cast<QLineEdit*>(anchor);
    QMenu* menu = edit ? edit->createStandardContextMenu() : new QMenu(anchor);
    menu->setObjectName("StatusLineMenu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    menu->addAction("Link monitor...", [] { OpenLinkMonitor(); });
    menu->popup(anchor->mapToGlobal(at));
  });
  return 0;
}

int OpenLinkMonitor(void) {
  if (!gAnchor) return UIE_BAD_CONTROL;
  if (!gWindow) {
    gWindow = BuildWindow(gAnchor->window());
    gCaughtUp = false;
    gFollow = true;
  }
  gWindow->show();
  gWindow->raise();
  Refresh();
  return 0;
}

int CloseLinkMonitor(void) {
  if (gWindow) gWindow->hide();
  return 0;
}

int SaveLinkMonitorImage(const char* pngPath, double scale) {
  if (!gWindow) return UIE_BAD_PANEL;
  if (!(scale > 0.0) || scale > 8.0) return UIE_BAD_ATTRIBUTE;
  QPixmap pixmap(gWindow->size() * scale);
  pixmap.setDevicePixelRatio(scale);
  pixmap.fill(gWindow->palette().color(QPalette::Window));
  gWindow->render(&pixmap);
  return pixmap.save(QString::fromLocal8Bit(pngPath ? pngPath : ""), "PNG") ? 0 : UIE_BAD_FILE;
}

QWidget* LinkMonitorWidget(void) { return gWindow.data(); }
