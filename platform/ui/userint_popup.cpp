// Pop-ups, panel pictures and the inspection interface used by tests and tools.
//
// A pop-up first looks for a queued answer (tests queue them, never sleep for a dialog). With
// no queued answer it shows a real modal dialog; on the offscreen platform, where nobody could
// answer it, it declines or cancels at once instead of waiting forever.
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>

#include <qcustomplot.h>

#include <algorithm>
#include <deque>
#include <utility>

#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "userint_internal.h"
#include "platform/ui/userint_qt.h"
#include "platform/sys/utility.h"

namespace userint {
namespace {

ProtectedFileHookPtr gProtectedFile = nullptr;
std::deque<int> gConfirmAnswers;
std::deque<std::pair<int, std::string>> gFileAnswers;
std::vector<PopupRecord> gPopupLog;

}  // namespace

void ChooseFileToSave(const QString& folder, const QString& name, const QString& filter,
                      const QString& title, std::function<void(const QString&)> done) {
  PopupRecord rec{"file", title.toStdString(), name.toStdString(), false};
  if (!gFileAnswers.empty()) {
    auto [result, path] = gFileAnswers.front();
    gFileAnswers.pop_front();
    rec.answeredFromQueue = true;
    gPopupLog.push_back(rec);
    done(result == VAL_NO_FILE_SELECTED ? QString() : QString::fromLocal8Bit(path.c_str()));
    return;
  }
  gPopupLog.push_back(rec);
  if (IsOffscreen()) {
    done(QString());
    return;
  }
  // Not modal: the program's loops go on while the operator picks a name.
  auto* dialog = new QFileDialog(nullptr, title, folder, filter);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  // The save asks its own question once it knows the final name (ConfirmReplaceFile).
  dialog->setOption(QFileDialog::DontConfirmOverwrite);
  dialog->selectFile(name);
  // A name typed without its ending gets the one of the chosen file type ("*.pdf" -> ".pdf").
  auto suffixOf = [](const QString& f) { return f.section("(*.", 1).section(')', 0, 0).section(' ', 0, 0); };
  dialog->setDefaultSuffix(suffixOf(filter.section(";;", 0, 0)));
  QObject::connect(dialog, &QFileDialog::filterSelected,
                   [dialog, suffixOf](const QString& f) { dialog->setDefaultSuffix(suffixOf(f)); });
  QObject::connect(dialog, &QFileDialog::fileSelected, [done](const QString& path) { done(path); });
  dialog->open();
}

}  // namespace userint

using namespace userint;

int ConfirmPopup(const char* title, const char* message) {
  PopupRecord rec{"confirm", title ? title : "", message ? message : "", false};
  int answer = 0;
  if (!gConfirmAnswers.empty()) {
    answer = gConfirmAnswers.front();
    gConfirmAnswers.pop_front();
    rec.answeredFromQueue = true;
  } else if (!IsOffscreen()) {
    answer = QMessageBox::question(nullptr, QString::fromLocal8Bit(rec.title.c_str()),
                                   QString::fromLocal8Bit(rec.message.c_str()),
                                   QMessageBox::Yes | QMessageBox::No,
                                   QMessageBox::No) == QMessageBox::Yes;
  }
  gPopupLog.push_back(rec);
  return answer;
}

void SetProtectedFileHook(ProtectedFileHookPtr hook) { gProtectedFile = hook; }

int ConfirmReplaceFile(const char* path, const char* what) {
  if (!path || !*path) return -1;
  const QString name = QFileInfo(QString::fromLocal8Bit(path)).fileName();
  const QString thing = QString::fromLocal8Bit(what && *what ? what : "File");
  // Refused before anything is asked: replacing it would end the run with a write error.
  if (gProtectedFile && gProtectedFile(path)) {
    ReportStatus(QString("%1 not saved: %2 is the file of the running recording!").arg(thing, name));
    return -1;
  }
  // A link is replaced, not what it names; whatever stands at the name is replaced, so any
  // entry there (a file, a link, even a dangling one) is asked about.
  if (!QFileInfo(QString::fromLocal8Bit(path)).exists() && !QFileInfo(QString::fromLocal8Bit(path)).isSymLink())
    return 1;
  const QByteArray question = QString("%1 already exists.\nReplace it?").arg(name).toLocal8Bit();
  if (ConfirmPopup("Replace file?", question.constData())) return 1;
  ReportStatus(QString("%1 not saved: %2 kept as it was").arg(thing, name));
  return 0;
}

int FileSelectPopup(const char* defaultDirectory, const char* defaultFileName,
                    const char* fileTypeList, const char* title, int buttonLabel,
                    int /*restrictDirectory*/, int restrictExtension, int /*allowCancel*/,
                    int /*allowMakeDirectory*/, char* path) {
  PopupRecord rec{"file", title ? title : "", defaultFileName ? defaultFileName : "", false};
  QString chosen;
  bool haveAnswer = false;
  int queuedResult = 0;
  if (!gFileAnswers.empty()) {
    queuedResult = gFileAnswers.front().first;
    chosen = QString::fromLocal8Bit(gFileAnswers.front().second.c_str());
    gFileAnswers.pop_front();
    rec.answeredFromQueue = true;
    haveAnswer = true;
  } else if (!IsOffscreen()) {
    QFileDialog dialog(nullptr, QString::fromLocal8Bit(rec.title.c_str()),
                       QString::fromLocal8Bit(defaultDirectory ? defaultDirectory : ""));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The program asks its own overwrite question where it matters.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QString filter = QString::fromLocal8Bit(fileTypeList ? fileTypeList : "*");
    dialog.setNameFilter(filter);
    const bool load = buttonLabel == 3;
    dialog.setAcceptMode(load ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(load ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (restrictExtension && filter.startsWith("*.")) dialog.setDefaultSuffix(filter.mid(2));
    dialog.selectFile(rec.message.c_str());
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
      chosen = dialog.selectedFiles().first();
      haveAnswer = true;
    }
  }
  gPopupLog.push_back(rec);
  if (!haveAnswer || (rec.answeredFromQueue && queuedResult == VAL_NO_FILE_SELECTED)) {
    return VAL_NO_FILE_SELECTED;
  }
  QByteArray bytes = chosen.toLocal8Bit();
  // A path that does not fit the program's path buffers would name another file once cut:
  // treat it as no choice.
  if (bytes.isEmpty() || bytes.size() >= PATH_BUFFER_SIZE) return VAL_NO_FILE_SELECTED;
  CopyText(path, PATH_BUFFER_SIZE, bytes.constData());
  return QFileInfo::exists(chosen) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
}

int SavePanelImage(int panel, const char* pngPath, double scale) {
  Panel* p = FindPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL;
  if (!(scale > 0.0) || scale > 8.0) return UIE_BAD_ATTRIBUTE;
  FlushPendingRepaints();
  QWidget* w = p->window;
  w->ensurePolished();
  for (auto& [id, c] : p->controls) {
    if (c->plot) c->plot->replot(QCustomPlot::rpImmediateRefresh);
  }
  QPixmap pixmap(w->size() * scale);
  pixmap.setDevicePixelRatio(scale);
  pixmap.fill(w->palette().color(QPalette::Window));
  w->render(&pixmap);
  return pixmap.save(QString::fromLocal8Bit(pngPath ? pngPath : ""), "PNG") ? 0 : UIE_BAD_FILE;
}

int SavePanelPdf(int panel, const char* pdfPath, const char* title) {
  Panel* p = FindPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL;
  if (!pdfPath || !pdfPath[0]) return UIE_BAD_FILE;
  FlushPendingRepaints();
  QWidget* w = p->window;
  w->ensurePolished();
  for (auto& [id, c] : p->controls) {
    if (c->plot) c->plot->replot(QCustomPlot::rpImmediateRefresh);
  }
  // Drawn into memory first and put on the disk in one piece, so a failed write leaves no
  // half a report behind.
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter pdf(&buffer);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageOrientation(QPageLayout::Landscape);
    pdf.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
    pdf.setResolution(150);
    pdf.setTitle(QString::fromUtf8(title ? title : ""));
    QPainter painter(&pdf);
    if (!painter.isActive()) return UIE_BAD_FILE;
    const QRect page = painter.viewport();
    QFont font = w->font();
    font.setPointSizeF(11.0);
    font.setBold(true);
    painter.setFont(font);
    const int titleHeight = painter.fontMetrics().height() * 2;
    painter.drawText(QRect(0, 0, page.width(), titleHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromUtf8(title ? title : ""));
    const double scale = std::min(page.width() / static_cast<double>(w->width()),
                                  (page.height() - titleHeight) / static_cast<double>(w->height()));
    painter.translate(0, titleHeight);
    painter.scale(scale, scale);
    w->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
  }
  buffer.close();
  return WriteFileBytes(pdfPath, bytes.constData(), static_cast<size_t>(bytes.size())) == 0 ? 0 : UIE_BAD_FILE;
}

int CopyTextToClipboard(const char* text) {
  if (!text) return UIE_BAD_ATTRIBUTE;
  QGuiApplication::clipboard()->setText(QString::fromUtf8(text));
  return 0;
}

QWidget* PanelWidget(int panel) {
  Panel* p = FindPanel(panel);
  return p ? p->window.data() : nullptr;
}

QWidget* CtrlWidget(int panel, int control) {
  Control* c = FindControl(panel, control);
  return c ? c->widget.data() : nullptr;
}

std::vector<InspectedPlot> InspectGraphPlots(int panel, int control) {
  std::vector<InspectedPlot> out;
  Control* c = FindControl(panel, control);
  if (!c || !c->graph) return out;
  for (const PlotItem& item : c->graph->plots) {
    InspectedPlot ip;
    ip.handle = item.handle;
    ip.rectangle = item.rectangle;
    ip.xs = item.xs;
    ip.ys = item.ys;
    ip.x1 = item.x1;
    ip.y1 = item.y1;
    ip.x2 = item.x2;
    ip.y2 = item.y2;
    ip.colour = item.colour;
    ip.fillColour = item.fillColour;
    out.push_back(std::move(ip));
  }
  return out;
}

bool InspectGraphCursor(int panel, int control, int cursor, double* x, double* y) {
  Control* c = FindControl(panel, control);
  if (!c || !c->graph || cursor < 1 || cursor > 3) return false;
  const CursorState& cs = c->graph->cursors[cursor - 1];
  if (x) *x = cs.x;
  if (y) *y = cs.y;
  return cs.placed;
}

InspectedOverlay InspectGraphOverlay(int panel, int control) {
  InspectedOverlay out;
  Control* c = FindControl(panel, control);
  if (!c || !c->graph) return out;
  const GraphOverlay& o = c->graph->overlay;
  out.shaded = o.shaded;
  out.shadeX1 = o.shadeX1;
  out.shadeX2 = o.shadeX2;
  out.shadeColour = o.shadeColour;
  out.markXs.assign(o.markXs, o.markXs + o.markCount);
  out.markYs.assign(o.markYs, o.markYs + o.markCount);
  out.markColour = o.markColour;
  out.notes.assign(std::begin(o.notes), std::end(o.notes));
  out.noteColours.assign(std::begin(o.noteColours), std::end(o.noteColours));
  return out;
}

std::vector<std::vector<double>> InspectStripChart(int panel, int control) {
  Control* c = FindControl(panel, control);
  if (!c || !c->strip) return {};
  std::vector<std::vector<double>> out;
  for (const TraceRing& t : c->strip->traces) out.push_back(t.ordered());
  return out;
}

int InspectRepaintCount(int panel, int control) {
  Control* c = FindControl(panel, control);
  if (!c) return -1;
  if (c->graph) return c->graph->repaints;
  if (c->strip) return c->strip->repaints;
  return -1;
}

void InspectFlushRepaints() { FlushPendingRepaints(); }

std::vector<InspectedControl> InspectPanelControls(int panel) {
  std::vector<InspectedControl> out;
  Panel* p = FindPanel(panel);
  if (!p) return out;
  for (auto& [id, c] : p->controls) {
    InspectedControl ic;
    ic.id = id;
    ic.name = c->name;
    ic.kind = KindName(c->kind);
    if (c->valueType == ValueType::Text) {
      ic.text = c->text.toStdString();
    } else if (c->kind == Kind::Binary) {
      ic.text = (static_cast<int>(c->number) == c->onValue ? c->onText : c->offText).toStdString();
    } else if (c->kind == Kind::Command || c->kind == Kind::Toggle || c->kind == Kind::Radio) {
      ic.text = c->label.toStdString();
    }
    ic.left = c->left;
    ic.top = c->top;
    ic.width = c->widget ? c->widget->width() : c->width;
    ic.height = c->widget ? c->widget->height() : c->height;
    ic.visible = c->visible;
    ic.dimmed = c->dimmed;
    ic.pointSize = c->pointSize;
    ic.textColour = c->textColour;
    ic.textBgColour = c->textBgColour;
    ic.frameColour = c->frameColour;
    ic.hasImage = c->hasImage;
    out.push_back(std::move(ic));
  }
  return out;
}

int SetPanelFitFactor(int panel, double factor) {
  Panel* p = FindPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL;
  if (!(factor >= 0.3 && factor <= 1.0)) return UIE_BAD_ATTRIBUTE;
  ApplyPanelScale(*p, factor);
  return 0;
}

void QueueConfirmAnswer(int answer) { gConfirmAnswers.push_back(answer); }

void QueueFileSelectAnswer(int result, const char* path) {
  gFileAnswers.emplace_back(result, path ? path : "");
}

void ResetPopupLog(void) {
  gConfirmAnswers.clear();
  gFileAnswers.clear();
  gPopupLog.clear();
}

const std::vector<PopupRecord>& PopupLog(void) { return gPopupLog; }
