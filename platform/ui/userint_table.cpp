// Tables: a read-only grid of texts the program fills. The cells live in the control's state,
// so reads need no widget; the QTableWidget only shows them.
#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QTableWidget>
#include <QTableWidgetItem>

#include <cstring>

#include "platform/sys/utility.h"
#include "platform/ui/userint.h"
#include "userint_internal.h"

namespace userint {
namespace {

int LookupTable(int panel, int control, Control** out) {
  Control* c = FindControl(panel, control);
  if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
  if (!c->table) return UIE_BAD_TYPE;
  *out = c;
  return 0;
}

// The cell at (row, column), or nullptr (with the code in `error`) when either is outside.
TableCell* LookupCell(int panel, int control, int row, int column, Control** out, int* error) {
  Control* c = nullptr;
  *error = LookupTable(panel, control, &c);
  if (*error) return nullptr;
  TableState& t = *c->table;
  if (row < 0 || row >= static_cast<int>(t.rows.size()) || column < 0 ||
      column >= static_cast<int>(t.titles.size())) {
    *error = UIE_BAD_ATTRIBUTE;
    return nullptr;
  }
  *out = c;
  return &t.rows[row][column];
}

QTableWidget* TableWidget(const Control& c) { return qobject_cast<QTableWidget*>(c.widget.data()); }

void ShowCell(Control& c, int row, int column) {
  QTableWidget* w = TableWidget(c);
  if (!w) return;
  const TableCell& cell = c.table->rows[row][column];
  QTableWidgetItem* item = w->item(row, column);
  if (!item) {
    item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    w->setItem(row, column, item);
  }
  if (item->text() != cell.text) item->setText(cell.text);
  if (cell.bgColour >= 0) {
    item->setBackground(QColor::fromRgb(static_cast<QRgb>(cell.bgColour)));
  } else {
    item->setData(Qt::BackgroundRole, QVariant());
  }
  item->setToolTip(cell.tooltip);
}

void ShowRows(Control& c, int from) {
  for (int r = from; r < static_cast<int>(c.table->rows.size()); ++r)
    for (int col = 0; col < static_cast<int>(c.table->titles.size()); ++col) ShowCell(c, r, col);
}

// Copies UTF-8 text into `buf`, cutting it short at a character's start so that a truncated
// text is still valid UTF-8.
void CopyUtf8(char* buf, size_t size, const QString& text) {
  if (!buf || size == 0) return;
  const QByteArray bytes = text.toUtf8();
  size_t n = static_cast<size_t>(bytes.size());
  if (n >= size) {
    n = size - 1;
    while (n > 0 && (static_cast<unsigned char>(bytes[static_cast<qsizetype>(n)]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(buf, bytes.constData(), n);
  buf[n] = '\0';
}

}  // namespace

void BuildTableWidget(Control& c) {
  auto* w = qobject_cast<QTableWidget*>(c.widget.data());
  if (!w || !c.table) return;
  const TableState& t = *c.table;
  w->setColumnCount(static_cast<int>(t.titles.size()));
  QStringList titles;
  for (const QString& title : t.titles) titles << title;
  w->setHorizontalHeaderLabels(titles);
  w->setRowCount(static_cast<int>(t.rows.size()));
  ShowRows(c, 0);
}

void PlaceTableColumns(const Panel& panel, Control& c) {
  QTableWidget* w = TableWidget(c);
  if (!w || !c.table) return;
  const std::vector<int>& widths = c.table->widths;
  for (int col = 0; col < static_cast<int>(widths.size()) && col < w->columnCount(); ++col)
    w->setColumnWidth(col, Scaled(panel, widths[col]));
  // Rows one line of text high: a table of settings shows them all at once.
  const int rowHeight = w->fontMetrics().height() + 6;
  w->verticalHeader()->setMinimumSectionSize(rowHeight);
  w->verticalHeader()->setDefaultSectionSize(rowHeight);
}

}  // namespace userint

using namespace userint;

int SetTableCellVal(int panel, int control, int row, int column, const char* text) {
  Control* c = nullptr;
  int e = 0;
  TableCell* cell = LookupCell(panel, control, row, column, &c, &e);
  if (!cell) return e;
  cell->text = QString::fromUtf8(text ? text : "");
  ShowCell(*c, row, column);
  return 0;
}

int GetTableCellVal(int panel, int control, int row, int column, char* buf, size_t size) {
  Control* c = nullptr;
  int e = 0;
  TableCell* cell = LookupCell(panel, control, row, column, &c, &e);
  if (!cell) return e;
  CopyUtf8(buf, size, cell->text);
  return 0;
}

int SetTableCellAttribute(int panel, int control, int row, int column, int attribute, int value) {
  Control* c = nullptr;
  int e = 0;
  TableCell* cell = LookupCell(panel, control, row, column, &c, &e);
  if (!cell) return e;
  if (attribute != ATTR_TEXT_BGCOLOR) return UIE_BAD_ATTRIBUTE;
  cell->bgColour = value < 0 ? -1 : value & 0xFFFFFF;
  ShowCell(*c, row, column);
  return 0;
}

int SetTableCellAttribute(int panel, int control, int row, int column, int attribute,
                          const char* value) {
  Control* c = nullptr;
  int e = 0;
  TableCell* cell = LookupCell(panel, control, row, column, &c, &e);
  if (!cell) return e;
  if (attribute != ATTR_TOOLTIP) return UIE_BAD_ATTRIBUTE;
  cell->tooltip = QString::fromUtf8(value ? value : "");
  ShowCell(*c, row, column);
  return 0;
}

int GetTableCellAttribute(int panel, int control, int row, int column, int attribute, int* value) {
  Control* c = nullptr;
  int e = 0;
  TableCell* cell = LookupCell(panel, control, row, column, &c, &e);
  if (!cell) return e;
  if (attribute != ATTR_TEXT_BGCOLOR || !value) return UIE_BAD_ATTRIBUTE;
  *value = cell->bgColour;
  return 0;
}

int SetNumTableRows(int panel, int control, int rows) {
  Control* c = nullptr;
  if (int e = LookupTable(panel, control, &c)) return e;
  if (rows < 0 || rows > kMaxTableRows) return UIE_BAD_ATTRIBUTE;
  TableState& t = *c->table;
  const int before = static_cast<int>(t.rows.size());
  t.rows.resize(static_cast<size_t>(rows), std::vector<TableCell>(t.titles.size()));
  if (QTableWidget* w = TableWidget(*c)) {
    w->setRowCount(rows);
    ShowRows(*c, before);
  }
  return 0;
}

int GetNumTableRows(int panel, int control, int* rows) {
  Control* c = nullptr;
  if (int e = LookupTable(panel, control, &c)) return e;
  if (!rows) return UIE_BAD_ATTRIBUTE;
  *rows = static_cast<int>(c->table->rows.size());
  return 0;
}
