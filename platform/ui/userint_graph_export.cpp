// Export of what a graph shows: a picture (PNG or PDF) or the data as CSV to a file, or the
// picture to the clipboard. Files are written whole or not at all (WriteFileBytes: temporary
// file, then rename), into the data folder unless the operator chooses another; an existing
// file is replaced only when the operator confirms it, the file of a running recording never;
// the outcome is one line on the program's status line.
#include <QBuffer>
#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>
#include <QPageSize>
#include <QPdfWriter>
#include <QPixmap>

#include <qcustomplot.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "platform/ui/userint.h"
#include "userint_internal.h"
#include "platform/sys/utility.h"

namespace userint {
namespace {

// Shortest text that reads back as the same double, always with a decimal point and never a
// decimal comma, whatever the locale.
void AppendNumber(QByteArray& out, double v) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  if (ec == std::errc()) out.append(buf, static_cast<int>(end - buf));
}

QByteArray Head(const Control& c, const std::vector<QString>& fallback) {
  const std::vector<QString>& names = c.meaning.columns.empty() ? fallback : c.meaning.columns;
  QStringList cells;
  for (const QString& n : names) cells << n;
  return cells.join(',').toUtf8() + '\n';
}

// The x column, then one column per curve; a curve shorter than the first leaves its cells
// empty.
QByteArray CurvesCsv(const Control& c, const std::vector<const PlotItem*>& curves) {
  std::vector<QString> fallback{"x"};
  for (size_t k = 0; k < curves.size(); ++k) fallback.push_back(QString("y%1").arg(k + 1));
  QByteArray out = Head(c, fallback);
  size_t rows = 0;
  for (const PlotItem* p : curves) rows = std::max(rows, p->xs.size());
  for (size_t i = 0; i < rows; ++i) {
    const PlotItem* withX = nullptr;
    for (const PlotItem* p : curves)
      if (i < p->xs.size()) {
        withX = p;
        break;
      }
    AppendNumber(out, withX->xs[i]);
    for (const PlotItem* p : curves) {
      out += ',';
      if (i < p->ys.size()) AppendNumber(out, p->ys[i]);
    }
    out += '\n';
  }
  return out;
}

// A graph of cursors and areas: one row per named cursor (two cursors of one name make its
// from and to) and per rectangle whose fill colour the panel file names.
QByteArray ItemsCsv(const Control& c) {
  QByteArray out = Head(c, {"item", "from", "to"});
  struct Row {
    QString name;
    double from = 0;
    std::optional<double> to;
  };
  std::vector<Row> rows;
  const CursorState* cursors = ShownCursors(c);
  for (int k = 0; k < 3; ++k) {
    const QString& name = c.meaning.cursors[k];
    if (!cursors[k].placed || name.isEmpty()) continue;
    auto it = std::find_if(rows.begin(), rows.end(),
                           [&](const Row& r) { return r.name == name && !r.to; });
    if (it != rows.end()) {
      it->to = cursors[k].x;
    } else {
      rows.push_back({name, cursors[k].x, std::nullopt});
    }
  }
  for (const PlotItem& p : ShownPlots(c)) {
    if (!p.rectangle) continue;
    for (const auto& [colour, name] : c.meaning.rectangles)
      if (colour == (p.fillColour & 0xFFFFFF))
        rows.push_back({name, std::min(p.x1, p.x2), std::max(p.x1, p.x2)});
  }
  for (const Row& r : rows) {
    out += r.name.toUtf8() + ',';
    AppendNumber(out, r.from);
    out += ',';
    if (r.to) AppendNumber(out, *r.to);
    out += '\n';
  }
  return out;
}

QByteArray StripCsv(const Control& c) {
  const std::vector<std::vector<double>>& traces = ShownTraces(c);
  std::vector<QString> fallback{"sample"};
  for (size_t t = 0; t < traces.size(); ++t) fallback.push_back(QString("trace %1").arg(t + 1));
  QByteArray out = Head(c, fallback);
  const size_t n = traces.empty() ? 0 : traces[0].size();
  // Samples are numbered by their place on the chart's x axis, the newest at the right end.
  const long offset = ShownPointsPerScreen(c) - static_cast<long>(n);
  for (size_t i = 0; i < n; ++i) {
    AppendNumber(out, static_cast<double>(offset + static_cast<long>(i)));
    for (const std::vector<double>& t : traces) {
      out += ',';
      AppendNumber(out, t[i]);
    }
    out += '\n';
  }
  return out;
}

// What the graph shows now: pending content is painted first, unless the display is paused
// (then the picture on screen is what counts).
void BringShownUpToDate() {
  if (!DisplayPaused()) FlushPendingRepaints();
}

QString DefaultName(const Control& c, const char* extension) {
  QString base = c.label.isEmpty() ? QString::fromStdString(c.name) : c.label.toLower();
  base.replace(' ', '-');
  return base + QDateTime::currentDateTime().toString("-yyyyMMdd-HHmmss.") + extension;
}

QString DataFolder() {
  char dir[PATH_BUFFER_SIZE];
  GetProjectDir(dir);
  return QString::fromLocal8Bit(dir);
}

QString FileName(const QString& path) { return path.section('/', -1); }

QPixmap Picture(Control& c) {
  // At the screen's pixel ratio, and at least twice the panel's pixels: sharp enough for a
  // report even from a low-resolution screen.
  const double ratio = std::max(2.0, c.plot->devicePixelRatioF());
  return c.plot->toPixmap(c.plot->width(), c.plot->height(), ratio);
}

QByteArray PngBytes(Control& c) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!Picture(c).save(&buffer, "PNG")) bytes.clear();
  return bytes;
}

QByteArray PdfBytes(Control& c) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  const int w = c.plot->width(), h = c.plot->height();
  {
    QPdfWriter pdf(&buffer);
    pdf.setResolution(72);  // one panel pixel to one point
    pdf.setPageSize(QPageSize(QSizeF(w, h), QPageSize::Point));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setCreator("Rorir");
    QCPPainter painter(&pdf);
    if (!painter.isActive()) return {};
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    c.plot->toPainter(&painter, w, h);
  }
  return bytes;
}

// Asks before an existing file is replaced, and refuses the file a recording writes.
bool MayWrite(const QString& path, const char* what) {
  return ConfirmReplaceFile(path.toLocal8Bit().constData(), what) > 0;
}

void WriteExport(const QString& path, const QByteArray& bytes, const char* what) {
  const QByteArray local = path.toLocal8Bit();
  if (bytes.isEmpty() || WriteFileBytes(local.constData(), bytes.constData(),
                                        static_cast<size_t>(bytes.size())) != 0) {
    ReportStatus(QString("%1 could not be written: %2").arg(what, FileName(path)));
    return;
  }
  ReportStatus(QString("%1 written: %2").arg(what, FileName(path)));
}

}  // namespace

QByteArray GraphCsv(const Control& c) {
  if (!c.view) return {};
  if (c.strip) return StripCsv(c);
  std::vector<const PlotItem*> curves;
  for (const PlotItem& p : ShownPlots(c))
    if (!p.rectangle) curves.push_back(&p);
  return curves.empty() ? ItemsCsv(c) : CurvesCsv(c, curves);
}

void SavePictureAction(Control& c) {
  const int panel = c.panel, id = c.id;
  ChooseFileToSave(DataFolder(), DefaultName(c, "png"), "PNG picture (*.png);;PDF document (*.pdf)",
                   "Save picture", [panel, id](const QString& chosen) {
                     Control* cc = FindControl(panel, id);
                     if (!cc || chosen.isEmpty()) return;
                     QString path = chosen;
                     const bool pdf = path.endsWith(".pdf", Qt::CaseInsensitive);
                     if (!pdf && !path.endsWith(".png", Qt::CaseInsensitive)) path += ".png";
                     if (!MayWrite(path, "Picture")) return;
                     BringShownUpToDate();
                     WriteExport(path, pdf ? PdfBytes(*cc) : PngBytes(*cc), "Picture");
                   });
}

void SaveCsvAction(Control& c) {
  const int panel = c.panel, id = c.id;
  ChooseFileToSave(DataFolder(), DefaultName(c, "csv"), "CSV data (*.csv)", "Save data as CSV",
                   [panel, id](const QString& chosen) {
                     Control* cc = FindControl(panel, id);
                     if (!cc || chosen.isEmpty()) return;
                     QString path = chosen;
                     if (!path.endsWith(".csv", Qt::CaseInsensitive)) path += ".csv";
                     if (!MayWrite(path, "CSV data")) return;
                     BringShownUpToDate();
                     WriteExport(path, GraphCsv(*cc), "CSV data");
                   });
}

void CopyPictureAction(Control& c) {
  BringShownUpToDate();
  QGuiApplication::clipboard()->setPixmap(Picture(c));
  ReportStatus("Picture copied to the clipboard");
}

}  // namespace userint
