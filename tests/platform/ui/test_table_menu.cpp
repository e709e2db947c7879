// The table control, the panel's own context menu and the hook on the operator's value changes,
// on a small panel file written by the test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "platform/ui/userint_qt.h"
#include "support/ui_helpers.h"

namespace {

constexpr int kResource = 7;
enum { kTable = 1, kApply = 2, kGain = 3, kMode = 4, kGraph = 5, kPlain = 6, kNote = 7, kFrame = 8 };
const char* const kTableKeys = R"("columns": ["Setting", "Unit", "Panel"], "rows": 3, "columnWidths": [120, 60])";

std::string PanelText(const std::string& tableKeys) {
  return std::string(R"({"format": "rorir-panels", "version": 1, "panels": [
 {"resource": 7, "name": "TM", "title": "table and menu", "width": 400, "height": 320, "controls": [
  {"id": 1, "name": "TABLESettings", "kind": "table", "label": "Settings", "left": 10, "top": 30,
   "width": 300, "height": 120, )") + tableKeys + R"(},
  {"id": 2, "name": "BTNApply", "kind": "command", "label": "Apply", "left": 320, "top": 30, "width": 70, "height": 30, "callback": "TM_Record"},
  {"id": 3, "name": "NUMGain", "kind": "numeric", "left": 320, "top": 80, "width": 70, "height": 24, "min": 0, "max": 1000, "value": 5, "callback": "TM_Record"},
  {"id": 4, "name": "RINGMode", "kind": "ring", "left": 320, "top": 120, "width": 70, "height": 24, "callback": "TM_Record",
   "items": [{"label": "one", "value": 1}, {"label": "two", "value": 2}]},
  {"id": 5, "name": "GRAPHView", "kind": "graph", "left": 10, "top": 160, "width": 300, "height": 110},
  {"id": 6, "name": "NUMPlain", "kind": "numeric", "left": 320, "top": 160, "width": 70, "height": 24, "max": 100},
  {"id": 7, "name": "TEXTNote", "kind": "textmsg", "value": "Note", "left": 320, "top": 200, "width": 70, "height": 20},
  {"id": 8, "name": "DECOFrame", "kind": "decoration", "left": 10, "top": 280, "width": 100, "height": 30}
 ]}]})";
}

// What the callbacks and the hook saw, in order (key presses and clicks left out).
std::vector<std::string> gLog;
std::vector<int> gHookPanels;
int Record(int, int control, int event, void*, int, int) {
  if (event == EVENT_VAL_CHANGED) gLog.push_back("changed " + std::to_string(control));
  if (event == EVENT_COMMIT) gLog.push_back("commit " + std::to_string(control));
  return 0;
}
void Hook(int panel, int control) {
  gLog.push_back("hook " + std::to_string(control));
  gHookPanels.push_back(panel);
}

std::vector<std::pair<int, int>> gChosen;
void MenuChosen(int panel, int item) { gChosen.emplace_back(panel, item); }

class TableMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RequireControls(nullptr, 0);
    RegisterCtrlCallback("TM_Record", Record);
    dir_ = MakeTempDir();
    h_ = Load(kTableKeys, false);
    ASSERT_GT(h_, 0) << GetLoadPanelError();
    DisplayPanel(h_);
    PumpFor(0.05);
    gLog.clear();
    gHookPanels.clear();
    gChosen.clear();
  }
  void TearDown() override {
    SetValueChangedHook(nullptr);
    RequireControls(nullptr, 0);
    if (h_ > 0) DiscardPanel(h_);
    RemoveTree(dir_);
  }
  // Loads the panel with these keys for its table; a loaded panel is discarded unless kept.
  int Load(const std::string& tableKeys, bool discard = true) {
    const std::string path = dir_ + "/panel.uir";
    std::ofstream(path, std::ios::binary) << PanelText(tableKeys);
    const int h = LoadPanel(0, path.c_str(), kResource);
    if (h > 0 && discard) DiscardPanel(h);
    return h;
  }
  QWidget* W(int id) { return CtrlWidget(h_, id); }
  QTableWidget* Grid() { return qobject_cast<QTableWidget*>(W(kTable)); }
  std::string Cell(int row, int column) {
    char buf[64] = "untouched";
    EXPECT_EQ(GetTableCellVal(h_, kTable, row, column, buf, sizeof buf), 0);
    return buf;
  }
  static void RightClick(QWidget* w) {
    const QPoint at(5, 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, w->mapToGlobal(at));
    QApplication::sendEvent(w, &event);
  }
  std::string dir_;
  int h_ = 0;
};

TEST_F(TableMenuTest, TableShowsTheFileColumnsAndTheCellsTheProgramWrites) {
  QTableWidget* grid = Grid();
  ASSERT_NE(grid, nullptr);
  ASSERT_EQ(grid->columnCount(), 3);
  EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), "Setting");
  EXPECT_EQ(grid->horizontalHeaderItem(2)->text(), "Panel");
  EXPECT_FALSE(grid->verticalHeader()->isVisible());
  EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
  int rows = -1;
  EXPECT_EQ(GetNumTableRows(h_, kTable, &rows), 0);
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(grid->rowCount(), 3);
  EXPECT_EQ(Cell(2, 1), "");

  struct Case {
    int row, column;
    const char* text;
    int colour;
    const char* tip;
  } cases[] = {
      {0, 0, "Edge threshold", 0xFFE0E0, "differs from the sensor"},
      {0, 1, "\xC2\xB5m", -1, ""},  // a UTF-8 text
      {2, 2, "Gr\xC3\xB6\xC3\x9F" "e 3", 0x00FF00, "\xE2\x80\x94"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(SetTableCellVal(h_, kTable, c.row, c.column, c.text), 0);
    ASSERT_EQ(SetTableCellAttribute(h_, kTable, c.row, c.column, ATTR_TEXT_BGCOLOR, c.colour), 0);
    ASSERT_EQ(SetTableCellAttribute(h_, kTable, c.row, c.column, ATTR_TOOLTIP, c.tip), 0);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Cell(c.row, c.column), c.text);
    int colour = 12345;
    EXPECT_EQ(GetTableCellAttribute(h_, kTable, c.row, c.column, ATTR_TEXT_BGCOLOR, &colour), 0);
    EXPECT_EQ(colour, c.colour);
    QTableWidgetItem* item = grid->item(c.row, c.column);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), QString::fromUtf8(c.text));
    EXPECT_EQ(item->toolTip(), QString::fromUtf8(c.tip));
    EXPECT_FALSE(item->flags() & Qt::ItemIsEditable);
    if (c.colour < 0) {
      EXPECT_FALSE(item->data(Qt::BackgroundRole).isValid());
    } else {
      EXPECT_EQ(item->background().color(), QColor(0xFF & (c.colour >> 16), 0xFF & (c.colour >> 8), 0xFF & c.colour));
    }
  }
  // Taking the colour away again leaves the table's own background.
  SetTableCellAttribute(h_, kTable, 0, 0, ATTR_TEXT_BGCOLOR, -1);
  EXPECT_FALSE(grid->item(0, 0)->data(Qt::BackgroundRole).isValid());

  // A short buffer ends on a whole character: the two bytes of the micro sign do not fit in 2.
  char small[2] = "x";
  EXPECT_EQ(GetTableCellVal(h_, kTable, 0, 1, small, sizeof small), 0);
  EXPECT_STREQ(small, "");
  char three[3];
  GetTableCellVal(h_, kTable, 0, 1, three, sizeof three);
  EXPECT_STREQ(three, "\xC2\xB5");

  // Column widths are panel pixels and shrink with the panel.
  EXPECT_EQ(grid->columnWidth(0), 120);
  EXPECT_EQ(grid->columnWidth(1), 60);
  ASSERT_EQ(SetPanelFitFactor(h_, 0.5), 0);
  EXPECT_EQ(grid->columnWidth(0), 60);
  EXPECT_EQ(grid->columnWidth(1), 30);

  // Dimmed and hidden like every control.
  SetCtrlAttribute(h_, kTable, ATTR_DIMMED, 1);
  EXPECT_FALSE(grid->isEnabled());
  SetCtrlAttribute(h_, kTable, ATTR_VISIBLE, 0);
  EXPECT_FALSE(grid->isVisible());
}

TEST_F(TableMenuTest, CellsOutsideTheTableOrWrongCallsChangeNothing) {
  SetTableCellVal(h_, kTable, 1, 1, "kept");
  SetTableCellAttribute(h_, kTable, 1, 1, ATTR_TEXT_BGCOLOR, 0x123456);
  const int outside[][2] = {{-1, 0}, {3, 0}, {0, -1}, {0, 3}, {1000, 1}};
  for (const auto& rc : outside) {
    SCOPED_TRACE(std::to_string(rc[0]) + "," + std::to_string(rc[1]));
    EXPECT_LT(SetTableCellVal(h_, kTable, rc[0], rc[1], "lost"), 0);
    EXPECT_LT(SetTableCellAttribute(h_, kTable, rc[0], rc[1], ATTR_TEXT_BGCOLOR, 0xFF0000), 0);
    EXPECT_LT(SetTableCellAttribute(h_, kTable, rc[0], rc[1], ATTR_TOOLTIP, "lost"), 0);
    char buf[16] = "untouched";
    EXPECT_LT(GetTableCellVal(h_, kTable, rc[0], rc[1], buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "untouched");
    int colour = 7;
    EXPECT_LT(GetTableCellAttribute(h_, kTable, rc[0], rc[1], ATTR_TEXT_BGCOLOR, &colour), 0);
    EXPECT_EQ(colour, 7);
  }
  // Attributes a cell does not have, and calls on a control that is no table.
  EXPECT_EQ(SetTableCellAttribute(h_, kTable, 1, 1, ATTR_TEXT_BOLD, 1), UIE_BAD_ATTRIBUTE);
  EXPECT_EQ(SetTableCellAttribute(h_, kTable, 1, 1, ATTR_TEXT_FONT, "Sans"), UIE_BAD_ATTRIBUTE);
  EXPECT_EQ(SetTableCellVal(h_, kApply, 0, 0, "x"), UIE_BAD_TYPE);
  EXPECT_EQ(SetNumTableRows(h_, kGain, 2), UIE_BAD_TYPE);
  EXPECT_EQ(SetTableCellVal(h_, 99, 0, 0, "x"), UIE_BAD_CONTROL);
  EXPECT_EQ(SetTableCellVal(h_ + 100, kTable, 0, 0, "x"), UIE_BAD_PANEL);
  EXPECT_EQ(SetCtrlVal(h_, kTable, "x"), UIE_BAD_TYPE);

  EXPECT_EQ(Cell(1, 1), "kept");
  int colour = 0;
  GetTableCellAttribute(h_, kTable, 1, 1, ATTR_TEXT_BGCOLOR, &colour);
  EXPECT_EQ(colour, 0x123456);
  EXPECT_EQ(Grid()->item(1, 1)->text(), "kept");
  EXPECT_EQ(Grid()->rowCount(), 3);
}

TEST_F(TableMenuTest, RowCountChangesKeepTheRowsThatStayAndAddEmptyOnes) {
  SetTableCellVal(h_, kTable, 0, 0, "first");
  SetTableCellVal(h_, kTable, 2, 0, "third");
  ASSERT_EQ(SetNumTableRows(h_, kTable, 5), 0);
  int rows = 0;
  GetNumTableRows(h_, kTable, &rows);
  EXPECT_EQ(rows, 5);
  EXPECT_EQ(Grid()->rowCount(), 5);
  EXPECT_EQ(Cell(2, 0), "third");
  EXPECT_EQ(Cell(4, 2), "");
  EXPECT_EQ(SetTableCellVal(h_, kTable, 4, 2, "fifth"), 0);
  EXPECT_EQ(Grid()->item(4, 2)->text(), "fifth");

  // Shrunk and grown again: the rows that went come back empty.
  ASSERT_EQ(SetNumTableRows(h_, kTable, 1), 0);
  EXPECT_LT(SetTableCellVal(h_, kTable, 2, 0, "x"), 0);
  ASSERT_EQ(SetNumTableRows(h_, kTable, 3), 0);
  EXPECT_EQ(Cell(0, 0), "first");
  EXPECT_EQ(Cell(2, 0), "");
  EXPECT_EQ(Grid()->item(2, 0)->text(), "");

  for (int bad : {-1, 1001}) {
    EXPECT_EQ(SetNumTableRows(h_, kTable, bad), UIE_BAD_ATTRIBUTE);
    GetNumTableRows(h_, kTable, &rows);
    EXPECT_EQ(rows, 3);
  }
  EXPECT_EQ(SetNumTableRows(h_, kTable, 0), 0);
  EXPECT_EQ(Grid()->rowCount(), 0);
}

TEST_F(TableMenuTest, LoaderRefusesBadTableKeysAndChecksTheKind) {
  struct Case {
    const char* what;
    const char* keys;
    const char* says;  // part of the message
  } cases[] = {
      {"rows missing", R"("columns": ["A"])", "\"rows\""},
      {"rows negative", R"("columns": ["A"], "rows": -1)", "\"rows\""},
      {"rows too many", R"("columns": ["A"], "rows": 1001)", "\"rows\""},
      {"rows fractional", R"("columns": ["A"], "rows": 2.5)", "\"rows\""},
      {"rows as text", R"("columns": ["A"], "rows": "3")", "\"rows\""},
      {"columns missing", R"("rows": 3)", "\"columns\""},
      {"no columns", R"("columns": [], "rows": 3)", "\"columns\""},
      {"title not a text", R"("columns": ["A", 2], "rows": 3)", "column titles"},
      {"widths past the columns", R"("columns": ["A"], "rows": 3, "columnWidths": [10, 20])", "columnWidths"},
      {"zero width", R"("columns": ["A"], "rows": 3, "columnWidths": [0])", "column width"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Load(c.keys), UIE_BAD_FILE);
    const std::string why = GetLoadPanelError();
    EXPECT_NE(why.find("TABLESettings"), std::string::npos) << why;
    EXPECT_NE(why.find(c.says), std::string::npos) << why;
  }
  EXPECT_GT(Load(R"("columns": ["A"], "rows": 0)"), 0) << GetLoadPanelError();
  EXPECT_GT(Load(R"("columns": ["A"], "rows": 1000)"), 0) << GetLoadPanelError();

  const RequiredControl asTable[] = {{kResource, kTable, "TABLESettings", "table"}};
  RequireControls(asTable, 1);
  EXPECT_GT(Load(kTableKeys), 0) << GetLoadPanelError();
  const RequiredControl asString[] = {{kResource, kTable, "TABLESettings", "string"}};
  RequireControls(asString, 1);
  EXPECT_EQ(Load(kTableKeys), UIE_MISSING_CONTROL);
  EXPECT_NE(std::string(GetLoadPanelError()).find("(table)"), std::string::npos) << GetLoadPanelError();
}

TEST_F(TableMenuTest, PanelMenuShowsWhereNoControlHasItsOwnAndCallsBackOnce) {
  EXPECT_EQ(PanelContextMenu(h_), nullptr);
  RightClick(PanelWidget(h_));  // nothing to show yet, and nothing breaks
  EXPECT_LT(AddPanelMenuItem(h_ + 100, "x", MenuChosen), 0);
  EXPECT_LT(AddPanelMenuItem(h_, "x", nullptr), 0);
  EXPECT_EQ(AddPanelMenuItem(h_, "Settings table...", MenuChosen), 1);
  EXPECT_EQ(AddPanelMenuItem(h_, "Copy settings", MenuChosen), 2);
  QMenu* menu = PanelContextMenu(h_);
  ASSERT_NE(menu, nullptr);
  QMenu* graphMenu = GraphContextMenu(h_, kGraph);
  ASSERT_NE(graphMenu, nullptr);

  struct Case {
    const char* what;
    QWidget* target;
    bool panelMenu;
  } cases[] = {
      {"button", W(kApply), true},
      {"label", W(kNote), true},
      {"decoration", W(kFrame), true},
      {"background", PanelWidget(h_), true},
      {"table", Grid()->viewport(), true},
      {"graph", W(kGraph), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RightClick(c.target);
    EXPECT_EQ(menu->isVisible(), c.panelMenu);
    EXPECT_EQ(graphMenu->isVisible(), !c.panelMenu);
    menu->hide();
    graphMenu->hide();
  }

  QAction* second = menu->findChild<QAction*>("panelMenuItem2");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->text(), "Copy settings");
  second->trigger();
  EXPECT_TRUE(PumpUntil([] { return !gChosen.empty(); }, 2.0));
  PumpFor(0.05);
  ASSERT_EQ(gChosen.size(), 1u);
  EXPECT_EQ(gChosen[0], std::make_pair(h_, 2));
}

TEST_F(TableMenuTest, ValueHookFollowsTheCallbackOfEveryOperatorChangeOnly) {
  SetValueChangedHook(Hook);
  auto* gain = qobject_cast<QSpinBox*>(W(kGain));
  ASSERT_NE(gain, nullptr);
  gain->setFocus();
  gain->selectAll();
  QTest::keyClicks(gain, "42");
  QTest::keyClick(gain, Qt::Key_Return);
  PumpUntil([] { return gLog.size() >= 3; }, 2.0);
  PumpFor(0.05);
  EXPECT_EQ(gLog, (std::vector<std::string>{"changed 3", "hook 3", "commit 3"}));
  int v = 0;
  GetCtrlVal(h_, kGain, &v);
  EXPECT_EQ(v, 42);

  gLog.clear();
  auto* mode = qobject_cast<QComboBox*>(W(kMode));
  ASSERT_NE(mode, nullptr);
  mode->setFocus();
  QTest::keyClick(mode, Qt::Key_Down);
  PumpUntil([] { return gLog.size() >= 3; }, 2.0);
  PumpFor(0.05);
  EXPECT_EQ(gLog, (std::vector<std::string>{"changed 4", "hook 4", "commit 4"}));

  // A control without a callback is reported too.
  gLog.clear();
  qobject_cast<QSpinBox*>(W(kPlain))->stepBy(1);
  PumpUntil([] { return !gLog.empty(); }, 2.0);
  PumpFor(0.05);
  EXPECT_EQ(gLog, (std::vector<std::string>{"hook 6"}));
  for (int panel : gHookPanels) EXPECT_EQ(panel, h_);

  // The program's own values raise nothing.
  gLog.clear();
  SetCtrlVal(h_, kGain, 7);
  SetCtrlVal(h_, kMode, 1);
  SetCtrlVal(h_, kPlain, 50);
  PumpFor(0.05);
  EXPECT_TRUE(gLog.empty());

  // A change whose control is dimmed before it comes out of the queue is dropped, hook and all.
  gain->stepBy(1);
  SetCtrlAttribute(h_, kGain, ATTR_DIMMED, 1);
  PumpFor(0.05);
  EXPECT_TRUE(gLog.empty());
}

}  // namespace
