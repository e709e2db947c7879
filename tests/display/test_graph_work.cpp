// The operator's work with the live graphs on the real main panel: zoom and pan against the
// program's drawing, the paused picture, and what the export writes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QPixmap>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "display/gui.h"
#include "platform/ui/userint_qt.h"
#include "display_fixture.h"
#include "support/ui_helpers.h"

namespace {

std::string gStatus;
void KeepStatus(const char* text) { gStatus = text; }

class GraphWork : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    DisplayPanel(pHandle);
    SetStatusHook(KeepStatus);
    gStatus.clear();
  }
  void TearDown() override {
    SetDisplayPaused(0);
    for (int id : {MAIN_GRAPHvideo, MAIN_CHARTraw, MAIN_GRAPHbar}) DoubleClick(id);
    SetCtrlAttribute(pHandle, MAIN_CHARTraw, ATTR_VISIBLE, 0);
    SetStatusHook(nullptr);
  }
  // An empty trend, then one frame: setpoint 512, tolerance 100, M-value 530, gap value 7.
  static void StartTrend() {
    for (int i = 0; i < TREND_SIZE; ++i) arrayNORM[i] = 0;
    ClearStripChart(pHandle, MAIN_CHARTraw);
    tVal = 512, tTol = 100, Mvalue = 530, gapVal = 7;
    PlotRAWGraphX8();
  }
  static QWidget* W(int id) { return CtrlWidget(pHandle, id); }
  static QPoint Middle(int id) { return W(id)->rect().center(); }
  static void Wheel(int id, int notches, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    const QPointF at = Middle(id);
    QWheelEvent e(at, W(id)->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                  mods, Qt::NoScrollPhase, false);
    QApplication::sendEvent(W(id), &e);
  }
  static void Drag(int id, int dx) {
    const QPointF from = Middle(id), to = from + QPointF(dx, 0);
    QMouseEvent press(QEvent::MouseButtonPress, from, W(id)->mapToGlobal(from), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, to, W(id)->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, to, W(id)->mapToGlobal(to), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    for (QMouseEvent* e : {&press, &move, &release}) QApplication::sendEvent(W(id), e);
  }
  static void DoubleClick(int id) { QTest::mouseDClick(W(id), Qt::LeftButton, {}, Middle(id)); }
  static InspectedView View(int id) {
    InspectFlushRepaints();
    InspectedView v;
    EXPECT_TRUE(InspectGraphView(pHandle, id, &v)) << id;
    return v;
  }
  static void Trigger(int id, const char* action) {
    QMenu* menu = GraphContextMenu(pHandle, id);
    ASSERT_NE(menu, nullptr);
    QAction* a = menu->findChild<QAction*>(action);
    ASSERT_NE(a, nullptr) << action;
    a->trigger();
  }
};

void DrawVideo(u16 step, u16 threshold) {
  u16 video[VIDEO_POINTS];
  double xs[VIDEO_POINTS];
  for (int i = 0; i < VIDEO_POINTS; ++i) {
    video[i] = static_cast<u16>(i * step);
    xs[i] = i * 32.0;
    thdArray[i] = threshold;
  }
  PlotVIDEOCurve(video, xs);
}

std::string FirstLines(const std::string& text, int n) {
  size_t end = 0;
  for (int i = 0; i < n && end != std::string::npos; ++i) end = text.find('\n', end == 0 && i == 0 ? 0 : end + 1);
  return text.substr(0, end == std::string::npos ? end : end + 1);
}

std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST_F(GraphWork, AZoomSurvivesNewFramesAndADoubleClickRestoresTheProgramsLatestScaling) {
  SetCtrlAttribute(pHandle, MAIN_CHARTraw, ATTR_VISIBLE, 1);
  struct Case {
    int id;
    std::function<void()> draw;    // one frame of the program
    std::function<void()> rescale;  // the program's own change of scale while zoomed
    double xMin, xMax, yMin, yMax;  // the program's scaling after that change
  };
  const Case cases[] = {
      {MAIN_GRAPHvideo, [] { DrawVideo(4, 333); },
       [] {
         SetAxisScalingMode(pHandle, MAIN_GRAPHvideo, VAL_BOTTOM_XAXIS, VAL_MANUAL, 1.0, 8192.0);
         YAXISMAX = 256;
       },
       1, 8192, 0, 256},
      {MAIN_CHARTraw, [] { PlotRAWGraphX8(); }, [] { tVal = 4000, tTol = 400, Mvalue = 4100; },
       0, 100, 2400, 5600},
      {MAIN_GRAPHbar, [] { PlotVIDEOBarGraph(); }, [] { ccdsubpixel = 2048; }, 1, 2048, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    c.draw();
    const InspectedView before = View(c.id);
    EXPECT_EQ(before.marks, "");
    Wheel(c.id, 2);
    InspectedView zoomed = View(c.id);
    EXPECT_TRUE(zoomed.zoomed);
    EXPECT_EQ(zoomed.marks, "zoomed");
    EXPECT_GT(zoomed.xMin, before.xMin);
    EXPECT_LT(zoomed.xMax, before.xMax);
    EXPECT_EQ(zoomed.yMin, before.yMin);  // the wheel alone leaves the y axis to the program

    // A drag to the left moves the view to the right by the same width.
    Drag(c.id, -50);
    const InspectedView panned = View(c.id);
    EXPECT_GT(panned.xMin, zoomed.xMin);
    EXPECT_NEAR(panned.xMax - panned.xMin, zoomed.xMax - zoomed.xMin, 1e-6);

    c.rescale();
    for (int i = 0; i < 3; ++i) c.draw();
    const InspectedView kept = View(c.id);
    EXPECT_EQ(kept.xMin, panned.xMin);
    EXPECT_EQ(kept.xMax, panned.xMax);

    DoubleClick(c.id);
    const InspectedView restored = View(c.id);
    EXPECT_FALSE(restored.zoomed);
    EXPECT_EQ(restored.marks, "");
    EXPECT_EQ(restored.xMin, c.xMin);
    EXPECT_EQ(restored.xMax, c.xMax);
    EXPECT_EQ(restored.yMin, c.yMin);
    EXPECT_EQ(restored.yMax, c.yMax);
  }

  // With Ctrl the wheel zooms the y axis, around the pointer.
  DrawVideo(4, 333);
  Wheel(MAIN_GRAPHvideo, 1, Qt::ControlModifier);
  const InspectedView yZoomed = View(MAIN_GRAPHvideo);
  EXPECT_EQ(yZoomed.xMin, 1);
  EXPECT_EQ(yZoomed.xMax, 8192);
  EXPECT_GT(yZoomed.yMin, 0);
  EXPECT_LT(yZoomed.yMax, 256);
  EXPECT_NEAR(yZoomed.yMax - yZoomed.yMin, 256 * 0.8, 1e-6);
}

TEST_F(GraphWork, TheReadOutNamesTheValuesUnderThePointer) {
  SetCtrlAttribute(pHandle, MAIN_CHARTraw, ATTR_VISIBLE, 1);
  DrawVideo(4, 333);
  StartTrend();
  eMode = 1, Redge = 431;
  PlotVIDEOBarGraph();
  InspectFlushRepaints();
  const struct {
    int id;
    double x;
    const char* readout;
  } cases[] = {
      {MAIN_GRAPHvideo, 70, "pixel position 64   video value 8   threshold 333"},  // nearest point
      {MAIN_CHARTraw, 100, "sample 100   upper limit 612   lower limit 412   setpoint 512   "
                          "M-value 530   analog output 530   gap value 7"},
      {MAIN_GRAPHbar, 600, "pointer 600   position 431"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(PointAtGraph(pHandle, c.id, c.x, 0), 0);
    EXPECT_EQ(View(c.id).readout, c.readout) << c.id;
  }
}

TEST_F(GraphWork, ThePausedViewKeepsItsPictureAndShowsTheLatestWhenResumed) {
  DrawVideo(4, 333);
  Ledge = 100;
  PlotVIDEOBarGraph();
  InspectFlushRepaints();
  const int repaints = InspectRepaintCount(pHandle, MAIN_GRAPHvideo);
  auto* ledge = qobject_cast<QLineEdit*>(W(MAIN_NUMledge));
  ASSERT_NE(ledge, nullptr);
  EXPECT_EQ(ledge->text(), "100");

  Trigger(MAIN_GRAPHvideo, "pauseDisplay");
  EXPECT_EQ(GetDisplayPaused(), 1);
  EXPECT_EQ(View(MAIN_GRAPHbar).marks, "paused");
  DrawVideo(2, 500);
  Ledge = 200;
  PlotVIDEOBarGraph();
  PumpFor(0.2);
  // The content follows the program; the picture does not.
  EXPECT_EQ(InspectGraphPlots(pHandle, MAIN_GRAPHvideo)[1].ys[0], 500);
  EXPECT_EQ(NumberShown(MAIN_NUMledge), 200);
  EXPECT_EQ(InspectRepaintCount(pHandle, MAIN_GRAPHvideo), repaints);
  EXPECT_EQ(ledge->text(), "100");
  EXPECT_EQ(FirstLines(InspectGraphCsv(pHandle, MAIN_GRAPHvideo), 3),
            "pixel position (pixel),video value (digits),threshold (digits)\n0,0,333\n32,4,333\n");
  // Zoom works on the paused picture too.
  Wheel(MAIN_GRAPHvideo, 1);
  EXPECT_EQ(View(MAIN_GRAPHvideo).marks, "zoomed  paused");

  Trigger(MAIN_GRAPHbar, "pauseDisplay");  // the switch is shared by all graphs
  EXPECT_EQ(GetDisplayPaused(), 0);
  // Shown at once, without waiting for the next screen tick.
  EXPECT_EQ(ledge->text(), "200");
  EXPECT_EQ(InspectRepaintCount(pHandle, MAIN_GRAPHvideo), repaints + 1);
  EXPECT_EQ(View(MAIN_GRAPHvideo).marks, "zoomed");
  EXPECT_EQ(FirstLines(InspectGraphCsv(pHandle, MAIN_GRAPHvideo), 3),
            "pixel position (pixel),video value (digits),threshold (digits)\n0,0,500\n32,2,500\n");
}

TEST_F(GraphWork, TheCsvHoldsTheDataShownInPlainNumbersWhateverTheLocale) {
  // Numbers printed through a locale would change: German writes 0,5.
  const std::string savedC = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) std::setlocale(LC_ALL, "de_DE");
  const QLocale savedQ;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

  DrawVideo(4, 333);
  const std::string video = InspectGraphCsv(pHandle, MAIN_GRAPHvideo);
  const double xs[] = {0.5, 1.25, 2};
  const double ys[] = {1000.75, -3, 70000};
  DeleteGraphPlot(pHandle, MAIN_GRAPHvideo, VAL_ALL_PLOTS, VAL_NO_DRAW);
  PlotXY(pHandle, MAIN_GRAPHvideo, xs, ys, 3, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE, 0, 0, 1, VAL_RED);
  const std::string fractions = InspectGraphCsv(pHandle, MAIN_GRAPHvideo);

  StartTrend();
  Mvalue = 531, gapVal = 8;
  PlotRAWGraphX8();
  const std::string trend = InspectGraphCsv(pHandle, MAIN_CHARTraw);

  eMode = 1, Redge = 431, tVal = 400, tTol = 50, edcnt = 2, mvstart = 0, mvend = 0;
  PlotVIDEOBarGraph();
  const std::string bar = InspectGraphCsv(pHandle, MAIN_GRAPHbar);

  std::setlocale(LC_ALL, savedC.c_str());
  QLocale::setDefault(savedQ);

  EXPECT_EQ(FirstLines(video, 3),
            "pixel position (pixel),video value (digits),threshold (digits)\n0,0,333\n32,4,333\n");
  EXPECT_EQ(video.size() - video.rfind("\n8160,"), 15u);  // the 256th point ends the file
  EXPECT_EQ(video.substr(video.rfind("\n8160,")), "\n8160,1020,333\n");
  EXPECT_EQ(fractions, "pixel position (pixel),video value (digits),threshold (digits)\n"
                       "0.5,1000.75\n1.25,-3\n2,70000\n");
  // Each call hands the chart the whole history: it shows the newest 101 points.
  EXPECT_EQ(trend.substr(0, trend.find('\n') + 1),
            "sample,upper limit (pixel),lower limit (pixel),setpoint (pixel),M-value (pixel),"
            "analog output (pixel),gap value (pixel)\n");
  EXPECT_EQ(std::count(trend.begin(), trend.end(), '\n'), 102);
  EXPECT_EQ(trend.substr(trend.find("\n98,")),
            "\n98,0,0,0,0,0,0\n"
            "99,612,412,512,530,530,7\n"
            "100,612,412,512,531,531,8\n");
  EXPECT_EQ(bar,
            "item,from (pixel),to (pixel)\n"
            "position,431,\n"
            "edge window,1,1024\n"
            "tolerance band,350,450\n");
}

TEST_F(GraphWork, ExportsWriteWholeFilesOrReportAndLeaveNothing) {
  const std::filesystem::path dir = MakeTempDir();
  ASSERT_FALSE(dir.empty());
  std::ofstream(dir / "plain-file") << "x";
  DrawVideo(4, 333);
  // A right-click opens the menu.
  QContextMenuEvent right(QContextMenuEvent::Mouse, Middle(MAIN_GRAPHvideo), W(MAIN_GRAPHvideo)->mapToGlobal(Middle(MAIN_GRAPHvideo)));
  QApplication::sendEvent(W(MAIN_GRAPHvideo), &right);
  EXPECT_TRUE(GraphContextMenu(pHandle, MAIN_GRAPHvideo)->isVisible());
  GraphContextMenu(pHandle, MAIN_GRAPHvideo)->hide();
  struct Case {
    const char* action;
    std::string chosen;        // the name given in the file dialog
    std::string written;       // the file that must exist afterwards ("" none)
    std::string magic;         // its first bytes
    std::string status;
  };
  const Case cases[] = {
      {"saveCsv", "video.csv", "video.csv", "pixel position (pixel),", "CSV data written: video.csv"},
      {"saveCsv", "video", "video.csv", "pixel position (pixel),", "CSV data written: video.csv"},
      {"savePicture", "video.png", "video.png", "\x89PNG", "Picture written: video.png"},
      {"savePicture", "video.pdf", "video.pdf", "%PDF-", "Picture written: video.pdf"},
      // A folder that cannot exist: the name of a plain file stands where the folder should.
      {"saveCsv", "plain-file/video.csv", "", "", "CSV data could not be written: video.csv"},
      {"savePicture", "plain-file/video.png", "", "", "Picture could not be written: video.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.action) + " " + c.chosen);
    for (const char* name : {"video.csv", "video.png", "video.pdf"}) std::filesystem::remove(dir / name);
    const std::string path = (dir / c.chosen).string();
    QueueFileSelectAnswer(VAL_NEW_FILE_SELECTED, path.c_str());
    Trigger(MAIN_GRAPHvideo, c.action);
    EXPECT_EQ(gStatus, c.status);
    // Nothing but the file asked for: no temporary file is left behind.
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected{"plain-file"};
    if (!c.written.empty()) expected.push_back(c.written);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    if (c.written.empty()) continue;
    const std::string bytes = FileBytes(dir / c.written);
    EXPECT_EQ(bytes.substr(0, c.magic.size()), c.magic);
    if (c.written == "video.csv") {
      EXPECT_EQ(FirstLines(bytes, 3),
                "pixel position (pixel),video value (digits),threshold (digits)\n0,0,333\n32,4,333\n");
      EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 257);
    }
  }

  Trigger(MAIN_GRAPHvideo, "copyPicture");
  EXPECT_EQ(gStatus, "Picture copied to the clipboard");
  const QPixmap copied = QGuiApplication::clipboard()->pixmap();
  EXPECT_GE(copied.width(), 2 * W(MAIN_GRAPHvideo)->width());

  // A cancelled dialog writes nothing and says nothing.
  gStatus.clear();
  QueueFileSelectAnswer(VAL_NO_FILE_SELECTED, "");
  Trigger(MAIN_GRAPHvideo, "saveCsv");
  EXPECT_EQ(gStatus, "");
  RemoveTree(dir.string());
}

namespace {

std::string gProtected;
int IsProtected(const char* path) { return gProtected == path ? 1 : 0; }

// A save asks before it replaces whatever stands at its name, and refuses the protected file
// (the running recording's) without asking.
TEST_F(GraphWork, SavesAskBeforeTheyReplaceAndNeverTouchTheProtectedFile) {
  const std::filesystem::path dir = MakeTempDir();
  ASSERT_FALSE(dir.empty());
  DrawVideo(4, 333);
  SetProtectedFileHook(IsProtected);
  gProtected = (dir / "run.csv").string();
  struct Case {
    const char* what;
    const char* action;
    const char* name;
    int answer;          // the answer to the question, -1 when none may be asked
    bool replaced;
    std::string status;
  };
  const Case cases[] = {
      {"a new name", "saveCsv", "new.csv", -1, true, "CSV data written: new.csv"},
      {"declined", "saveCsv", "old.csv", 0, false, "CSV data not saved: old.csv kept as it was"},
      {"confirmed", "saveCsv", "old.csv", 1, true, "CSV data written: old.csv"},
      {"a picture, declined", "savePicture", "old.png", 0, false, "Picture not saved: old.png kept as it was"},
      {"a picture, confirmed", "savePicture", "old.png", 1, true, "Picture written: old.png"},
      {"the protected file", "saveCsv", "run.csv", -1, false,
       "CSV data not saved: run.csv is the file of the running recording!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(dir / c.name);
    if (std::string(c.name) != "new.csv") std::ofstream(dir / c.name) << "old";
    ResetPopupLog();
    if (c.answer >= 0) QueueConfirmAnswer(c.answer);
    QueueFileSelectAnswer(VAL_NEW_FILE_SELECTED, (dir / c.name).c_str());
    Trigger(MAIN_GRAPHvideo, c.action);
    EXPECT_EQ(gStatus, c.status);
    EXPECT_EQ(FileBytes(dir / c.name) != "old", c.replaced);
    size_t asked = 0;
    for (const PopupRecord& p : PopupLog()) asked += p.kind == "confirm";
    EXPECT_EQ(asked, c.answer >= 0 ? 1u : 0u);
  }
  // A link at the name is asked about too, and stays when declined.
  std::filesystem::create_symlink(dir / "nowhere", dir / "link.csv");
  QueueConfirmAnswer(0);
  QueueFileSelectAnswer(VAL_NEW_FILE_SELECTED, (dir / "link.csv").c_str());
  Trigger(MAIN_GRAPHvideo, "saveCsv");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.csv"));
  EXPECT_EQ(gStatus, "CSV data not saved: link.csv kept as it was");
  SetProtectedFileHook(nullptr);
  RemoveTree(dir.string());
}

}  // namespace
