// The link monitor window as the operator uses it, in-process against the virtual sensor: the
// status line's context menu opens it, its tooltip shows the counters, the list follows the line
// and pauses when scrolled up, the counters reset, and "Save log..." writes what the list shows
// with the raw bytes beside it.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTest>

#include <fstream>
#include <string>

#include "app/globals.h"
#include "app/main_panel.h"
#include "display/userint.h"
#include "display/userint_inspect.h"
#include "display/userint_qt.h"
#include "link/com232.h"
#include "link/rs232.h"
#include "resources/panels.h"
#include "sensor/model.h"
#include "support/ui_helpers.h"
#include "program_environment.h"

namespace {

// What follows the last counter changes from run to run.
std::string CountersBeforeRate(const QString& text) {
  const std::string s = text.toStdString();
  return s.substr(0, s.find("Frames per second:"));
}

int Lines(QPlainTextEdit* list) { return list->document()->isEmpty() ? 0 : list->blockCount(); }

class MonitorWindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseLinkMonitor();
    CloseCom(com);
    DiscardPanel(pPopup);
    DiscardPanel(pHandle);
    pHandle = pPopup = 0;
  }
  ProgramEnvironment env_;
};

TEST_F(MonitorWindowTest, OpensFromTheStatusLineFollowsPausesResetsAndSaves) {
  env_.peer.answerLikeSensor({});
  char arg0[] = "rorir";
  char* argv[] = {arg0, nullptr};
  ASSERT_EQ(StartUp(1, argv), 0);
  ASSERT_EQ(env_.peer.orders(), (std::vector<std::uint16_t>{5, 10, 2, 7}));
  const std::string afterStartUp =
      "Requests sent: 4\n  read RAM: 1\n  echo: 1\n  firmware info: 1\n  hardware info: 1\n"
      "Answers taken: 4\nTime-outs: 0\nWrong sync word: 0\nUnexpected order word: 0\n"
      "Bytes discarded: 0\n";

  // The status line's tooltip shows the counters of the start-up exchange.
  QWidget* status = CtrlWidget(pHandle, MAIN_TBOXstatus);
  ASSERT_NE(status, nullptr);
  QHelpEvent tip(QEvent::ToolTip, QPoint(5, 5), status->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(status, &tip);
  EXPECT_EQ(CountersBeforeRate(status->toolTip()), afterStartUp);

  // Its context menu keeps the text box's entries and adds the monitor.
  emit status->customContextMenuRequested(QPoint(5, 5));
  QMenu* menu = nullptr;
  PumpUntil([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr; }, 2.0);
  ASSERT_NE(menu, nullptr);
  QAction* open = nullptr;
  for (QAction* a : menu->actions())
    if (a->text() == "Link monitor...") open = a;
  ASSERT_NE(open, nullptr);
  EXPECT_GT(menu->actions().size(), 2);
  open->trigger();
  menu->close();

  QWidget* window = LinkMonitorWidget();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  auto* list = window->findChild<QPlainTextEdit*>("MonitorFrames");
  auto* counters = window->findChild<QLabel*>("MonitorCounters");
  auto* paused = window->findChild<QLabel*>("MonitorPaused");
  ASSERT_TRUE(list && counters && paused);
  EXPECT_EQ(CountersBeforeRate(counters->text()), afterStartUp);
  ASSERT_EQ(Lines(list), 8);  // four requests, four answers, oldest first
  EXPECT_EQ(list->document()->findBlockByNumber(0).text().toStdString().substr(10, 32),
            " -> echo          | 0055 0005 | ");
  EXPECT_EQ(list->document()->findBlockByNumber(7).text().toStdString().substr(10, 17), " <- firmware text");

  // New frames follow at the bottom.
  window->resize(600, 160);
  PushGET(RAM);
  EXPECT_TRUE(PumpUntil([&] { return Lines(list) == 10; }, 3.0)) << Lines(list);
  EXPECT_FALSE(paused->isVisible());

  // Scrolled up, the list stays as it is; back at the bottom it catches up.
  ASSERT_GT(list->verticalScrollBar()->maximum(), 0);
  list->verticalScrollBar()->setValue(0);
  PushGET(RAM);
  PumpFor(0.6);
  EXPECT_EQ(Lines(list), 10);
  EXPECT_TRUE(paused->isVisible());
  list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
  EXPECT_TRUE(PumpUntil([&] { return Lines(list) == 12; }, 3.0)) << Lines(list);
  EXPECT_FALSE(paused->isVisible());

  // "Save log..." writes the column names and every frame the list shows.
  const std::string path = env_.dataDir + "/line.log";
  ResetPopupLog();
  QueueFileSelectAnswer(VAL_NEW_FILE_SELECTED, path.c_str());
  QTest::mouseClick(window->findChild<QPushButton*>("MonitorSave"), Qt::LeftButton);
  std::ifstream in(path);
  std::string line;
  int lines = 0;
  std::string last;
  while (std::getline(in, line)) {
    ++lines;
    last = line;
  }
  EXPECT_EQ(lines, 13);
  // The list shows each line without its raw bytes; the log has them after it.
  const std::string shown = list->document()->lastBlock().text().toStdString();
  EXPECT_EQ(last.substr(0, shown.size() + 4), shown + " | 0");
  EXPECT_EQ(window->findChild<QLabel*>("MonitorSaved")->text().toStdString(), "Log saved to " + path);

  // The reset button sets the counters to zero; the frames stay.
  QTest::mouseClick(window->findChild<QPushButton*>("MonitorReset"), Qt::LeftButton);
  EXPECT_EQ(CountersBeforeRate(counters->text()),
            "Requests sent: 0\nAnswers taken: 0\nTime-outs: 0\nWrong sync word: 0\n"
            "Unexpected order word: 0\nBytes discarded: 0\n");
  EXPECT_EQ(Lines(list), 12);
}

}  // namespace
