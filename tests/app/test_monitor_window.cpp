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
#include <iterator>
#include <string>

#include "state/globals.h"
#include "app/main_panel.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "platform/ui/userint_qt.h"
#include "link/com232.h"
#include "platform/serial/rs232.h"
#include "recorder/recfile.h"
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

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
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

// "Save log..." asks before it replaces a file, and never replaces the file the recorder holds
// for its run (as its header left it): the status line and the window say why nothing was
// saved. Once the run lets the file go, it may be replaced after the question.
TEST_F(MonitorWindowTest, SaveLogAsksBeforeReplacingAndRefusesTheRecordersFile) {
  env_.peer.answerLikeSensor({});
  char arg0[] = "rorir";
  char* argv[] = {arg0, nullptr};
  ASSERT_EQ(StartUp(1, argv), 0);
  ASSERT_EQ(OpenLinkMonitor(), 0);
  QWidget* window = LinkMonitorWidget();
  ASSERT_NE(window, nullptr);
  auto* note = window->findChild<QLabel*>("MonitorSaved");
  const std::string run = env_.dataDir + "/RUN.DAT";
  const std::string other = env_.dataDir + "/other.log";
  CopyText(szRunFile, run.c_str());
  ASSERT_EQ(writeFileHeader(), 0);
  const std::string header = FileText(run);
  std::ofstream(other) << "keep";
  struct Case {
    const char* what;
    std::string path;
    bool release;  // the run lets its file go first
    int answer;    // to the question; -1 when none may be asked
    std::string note, status, startsWith;
  };
  const Case cases[] = {
      {"the run's file", run, false, -1, "Log NOT saved: " + run + " is the file of the running recording",
       "Link log not saved: RUN.DAT is the file of the running recording!", "Datum:"},
      {"another file, declined", other, false, 0, "Log NOT saved: " + other + " kept as it was",
       "Link log not saved: other.log kept as it was", "keep"},
      {"another file, confirmed", other, false, 1, "Log saved to " + other, "", "#"},
      {"the run's file after the run", run, true, 1, "Log saved to " + run, "", "#"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.release) ReleaseRunFile();
    ResetPopupLog();
    ResetTextBox(pHandle, MAIN_TBOXstatus, "");
    if (c.answer >= 0) QueueConfirmAnswer(c.answer);
    QueueFileSelectAnswer(VAL_EXISTING_FILE_SELECTED, c.path.c_str());
    QTest::mouseClick(window->findChild<QPushButton*>("MonitorSave"), Qt::LeftButton);
    EXPECT_EQ(note->text().toStdString(), c.note);
    char status[256] = "";
    GetCtrlVal(pHandle, MAIN_TBOXstatus, status);
    EXPECT_EQ(std::string(status), c.status);
    EXPECT_EQ(FileText(c.path).rfind(c.startsWith, 0), 0u) << FileText(c.path).substr(0, 40);
    size_t asked = 0;
    for (const PopupRecord& p : PopupLog()) asked += p.kind == "confirm";
    EXPECT_EQ(asked, c.answer >= 0 ? 1u : 0u);
  }
  EXPECT_FALSE(header.empty());
}

}  // namespace
