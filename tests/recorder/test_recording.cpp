// Recording runs on the real panels over a pseudo-terminal: the file's bytes, the request and
// record cadence, the outcomes and their colours, stopping from every control that can, the
// overwrite question, and files that cannot be written.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QMenu>

#include <filesystem>
#include <memory>
#include <thread>

#include "recorder/recfile.h"
#include "recorder_fixture.h"
#include "stalling_disk.h"
#include "sensor/model.h"
#include "sensor/pty_server.h"
#include "support/child_process.h"

namespace {

const std::string kHead = "E-LEFT\tE-RIGHT\tM-VALUE\tEDGES\tGAPPIX\tGAPVAL\tGAPLEN\r\n";
constexpr int kRunIndicators[] = {RECORDER_STRstartDate, RECORDER_STRstartTime,
                                  RECORDER_NUMsampleCount, RECORDER_NUMtimeDay,
                                  RECORDER_NUMtimeHour, RECORDER_NUMtimeMin, RECORDER_NUMtimeSec};
constexpr int kCommandButtons[] = {MAIN_BTNRun, MAIN_BTNVideo, MAIN_BTNStop, MAIN_ButtonTeach,
                                   MAIN_BTNGet, MAIN_BTNSend, MAIN_ButtonReset};

class RecordingRun : public RecorderFixture {
 protected:
  void SetUp() override {
    RecorderFixture::SetUp();
    if (HasFatalFailure()) return;
    OpenPopup();
  }
  // The header the run must have written, with the start date and time it showed.
  std::string ExpectedHeader(const std::string& batch, int inc, int num, int slopeValue) {
    const std::string date = CtrlText(pPopup, RECORDER_STRstartDate);
    const std::string time = CtrlText(pPopup, RECORDER_STRstartTime);
    EXPECT_TRUE(std::regex_match(date, std::regex(R"((0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01])-20[0-9]{2})")))
        << date;
    EXPECT_TRUE(std::regex_match(time, std::regex(R"(([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9])"))) << time;
    return "Datum:\t" + date + "\r\nZeit:\t" + time + "\r\nChargen-Name:\t" + batch +
           "\r\nZeit-Intervall[s]:\t" + std::to_string(inc) + "\r\nMax. Anzahl Messwerte:\t" +
           std::to_string(num) + "\r\nSlope [\xB5m/Pixel]:\t" + std::to_string(slopeValue) +
           "\r\n" + kHead;
  }
  void ExpectOutcome(const char* text, int background, int colour, int bold) {
    EXPECT_EQ(RecStatus(), text);
    EXPECT_EQ(Attr(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_BGCOLOR), background);
    EXPECT_EQ(Attr(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_COLOR), colour);
    EXPECT_EQ(Attr(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_BOLD), bold);
  }
  void ExpectButtonsFreeAndIndicatorsDimmed() {
    for (int id : kCommandButtons) EXPECT_EQ(Attr(pHandle, id, ATTR_DIMMED), 0) << id;
    EXPECT_EQ(Attr(pPopup, RECORDER_BTNStartRecord, ATTR_DIMMED), 0);
    for (int id : kRunIndicators) EXPECT_EQ(Attr(pPopup, id, ATTR_DIMMED), 1) << id;
  }
  // Every line is the header's or a record: nothing torn, nothing foreign.
  void ExpectWellFormed(const std::string& bytes, size_t* records) {
    std::string rest;
    auto lines = CompleteLines(bytes, &rest);
    EXPECT_EQ(rest, "");
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[6] + "\r\n", kHead);
    for (size_t i = 7; i < lines.size(); ++i) EXPECT_TRUE(IsRecordLine(lines[i])) << lines[i];
    *records = lines.size() - 7;
  }
};

// Results whose every word differs, so the file shows which value went to which column.
std::vector<std::uint16_t> ResultWords(int n) {
  std::vector<std::uint16_t> w(16, 0);
  w[0] = static_cast<std::uint16_t>(100 + n);   // Ledge
  w[1] = static_cast<std::uint16_t>(900 + n);   // Redge
  w[2] = static_cast<std::uint16_t>(500 + n);   // Mvalue
  w[5] = 503;                                   // tVal and tTol echoed: the band 500 .. 506
  w[6] = 3;
  w[7] = n == 2 ? 3 : 2;                        // edcnt: only the first record shows a gap
  w[13] = static_cast<std::uint16_t>(70 + n);   // gapLen
  w[14] = static_cast<std::uint16_t>(50 + n);   // gapVal
  w[15] = static_cast<std::uint16_t>(60 + n);   // gapPix
  return w;
}

TEST_F(RecordingRun, ThreeRecordsAtOneSecondThenCompleted) {
  // Each answer a little later after its request than the one before, so every answer from
  // the second on lands at least a second after the previous record.
  AnswerResults(ResultWords, [](int n) { return 20 + 15 * n; });
  Enter(RECORDER_NUMnumSample, 3);
  Enter(RECORDER_NUMincTime, 2);
  Enter(RECORDER_NUMincTime, 1);
  slope = 2000;
  SetCtrlVal(pHandle, MAIN_NUMslope, slope);
  eHardware = 0;  // the software edge mode, which judges by the tolerance band

  // Watch the record count from inside the run.
  auto firstRecordAt = std::make_shared<double>(-1);
  auto dimmedDuringRun = std::make_shared<bool>(false);
  QTimer probe;
  const double start = Timer();
  QObject::connect(&probe, &QTimer::timeout, [&, firstRecordAt, dimmedDuringRun] {
    if (*firstRecordAt < 0 && CtrlInt(pPopup, RECORDER_NUMsampleCount) == 1) *firstRecordAt = Timer() - start;
    if (Attr(pPopup, RECORDER_BTNStartRecord, ATTR_DIMMED) == 1 && Attr(pHandle, MAIN_BTNRun, ATTR_DIMMED) == 1)
      *dimmedDuringRun = true;
  });
  probe.start(5);
  const double took = RunRecording();
  probe.stop();

  EXPECT_GT(*firstRecordAt, 0.95);
  EXPECT_LT(*firstRecordAt, 1.5);
  EXPECT_GT(took, 2.9);
  EXPECT_TRUE(*dimmedDuringRun);
  EXPECT_EQ(stop_flag, 2);
  ExpectOutcome("DATA-RECORDER COMPLETED SUCCESSFULLY", 0xE0E0E0, 0x000000, 0);
  ExpectButtonsFreeAndIndicatorsDimmed();
  EXPECT_EQ(CtrlInt(pPopup, RECORDER_NUMsampleCount), 3);
  EXPECT_EQ(CtrlInt(pPopup, RECORDER_NUMgapCount), 1);  // edcnt 3 counted, 2 not
  // Scaled values of the last result frame (request 4): 504 and 64 at slope 2000.
  double scaled = 0;
  GetCtrlVal(pPopup, RECORDER_NUMmvalueScaled, &scaled);
  EXPECT_DOUBLE_EQ(scaled, 1008.0);
  GetCtrlVal(pPopup, RECORDER_NUMgapWidth, &scaled);
  EXPECT_DOUBLE_EQ(scaled, 128.0);
  EXPECT_EQ(CtrlText(pHandle, MAIN_TBOXstatus), "Line Ok!");
  // The records' M-values 502, 503, 504 against the band 500 .. 506: mean 503, sd 1,
  // Cpk = min(506 - 503, 503 - 500) / (3 x 1) = 1.
  EXPECT_EQ(CtrlText(pPopup, RECORDER_STRrunStats), "Run: 3 records, M-value mean 503.000, sd 1.000, Cpk 1.000, NOK 0");

  // Requests: order 8, one per answer, the first at once and the others a second apart.
  const auto frames = peer_.frames();
  ASSERT_EQ(frames.size(), 4u);
  for (const auto& f : frames) {
    EXPECT_EQ(f.sync(), 0x0055);
    EXPECT_EQ(f.order(), 8);
  }
  // The request after a result frame carries that frame's words unchanged.
  EXPECT_EQ(frames[1].word(0), 101);
  EXPECT_EQ(frames[1].word(15), 61);

  // Columns: Ledge, Redge, Mvalue, edcnt, gapVal, gapPix, gapLen.
  EXPECT_EQ(RecFile(), ExpectedHeader("CHARGE0123.DAT", 1, 3, 2000) +
                           "102\t902\t502\t3\t52\t62\t72\r\n"
                           "103\t903\t503\t2\t53\t63\t73\r\n"
                           "104\t904\t504\t2\t54\t64\t74\r\n");
  // The duration indicators end on the run's elapsed whole seconds.
  EXPECT_EQ(CtrlInt(pPopup, RECORDER_NUMtimeSec), 3);
}

TEST_F(RecordingRun, ASlowDiskIsNotASilentLine) {
  // Every record's write waits longer on its sync than an answer may take: the sensor answered
  // each request in time, so the run completes.
  // The header is written before the first request; from then on every sync stalls.
  AnswerResults(ResultWords, [](int n) {
    if (n == 1) StallEverySync(static_cast<int>(TIMEOUT * 1000) + 300);
    return 20;
  });
  Enter(RECORDER_NUMnumSample, 2);
  Enter(RECORDER_NUMincTime, 1);
  RunRecording();
  StallEverySync(0);
  ExpectOutcome("DATA-RECORDER COMPLETED SUCCESSFULLY", 0xE0E0E0, 0x000000, 0);
  size_t records = 0;
  ExpectWellFormed(RecFile(), &records);
  EXPECT_EQ(records, 2u);
  EXPECT_NE(CtrlText(pHandle, MAIN_TBOXstatus), "Timeout RS232-Line!");
}

TEST_F(RecordingRun, APausedDisplayKeepsItsPictureWhileTheRunRequestsAndRecordsOnUnderneath) {
  AnswerResults(ResultWords, [](int) { return 20; });
  Enter(RECORDER_NUMnumSample, 2);
  Enter(RECORDER_NUMincTime, 1);
  auto* ledge = qobject_cast<QLineEdit*>(CtrlWidget(pHandle, MAIN_NUMledge));
  ASSERT_NE(ledge, nullptr);
  PumpFor(0.1);
  const QString shownBefore = ledge->text();
  const int barRepaints = InspectRepaintCount(pHandle, MAIN_GRAPHbar);

  SetDisplayPaused(1);
  RunRecording();
  // Underneath: every request answered, every record written, the values current.
  ExpectOutcome("DATA-RECORDER COMPLETED SUCCESSFULLY", 0xE0E0E0, 0x000000, 0);
  // The first answer comes before the first second is over, so two records take at least three
  // requests (a busy machine may fit one more into the run).
  EXPECT_GE(peer_.frames().size(), 3u);
  size_t records = 0;
  ExpectWellFormed(RecFile(), &records);
  EXPECT_EQ(records, 2u);
  EXPECT_EQ(CtrlInt(pHandle, MAIN_NUMledge), 103);
  // On screen: the picture of the moment the pause began.
  EXPECT_EQ(ledge->text(), shownBefore);
  EXPECT_EQ(InspectRepaintCount(pHandle, MAIN_GRAPHbar), barRepaints);

  SetDisplayPaused(0);
  EXPECT_EQ(ledge->text(), "103");
  EXPECT_EQ(InspectRepaintCount(pHandle, MAIN_GRAPHbar), barRepaints + 1);
}

TEST_F(RecordingRun, NoRecordsWantedWritesTheHeaderOnlyAndCompletes) {
  peer_.answerLikeSensor({});
  EnterBatchName("B\xC3\xA4tch 7.DAT");
  Enter(RECORDER_NUMnumSample, 0);
  Enter(RECORDER_NUMincTime, 40000);
  RunRecording();
  ExpectOutcome("DATA-RECORDER COMPLETED SUCCESSFULLY", 0xE0E0E0, 0x000000, 0);
  EXPECT_EQ(std::string(rec_fname), dataDir_ + "/B\xC3\xA4tch 7.DAT");
  EXPECT_EQ(RecFile(), ExpectedHeader("B\xE4tch 7.DAT", 40000, 0, slope));
  ExpectButtonsFreeAndIndicatorsDimmed();
}

TEST_F(RecordingRun, AfterTheRunResetStaysDimmedForABoardWithoutAnalogOutput) {
  pcbtype = 0;
  SetCtrlAttribute(pHandle, MAIN_ButtonReset, ATTR_DIMMED, 1);  // as the identification left it
  peer_.answerLikeSensor({});
  Enter(RECORDER_NUMnumSample, 0);
  RunRecording();
  ExpectOutcome("DATA-RECORDER COMPLETED SUCCESSFULLY", 0xE0E0E0, 0x000000, 0);
  for (int id : kCommandButtons) EXPECT_EQ(Attr(pHandle, id, ATTR_DIMMED), id == MAIN_ButtonReset ? 1 : 0) << id;
  EXPECT_EQ(Attr(pPopup, RECORDER_BTNStartRecord, ATTR_DIMMED), 0);
}

TEST_F(RecordingRun, SilentSensorEndsTheRunByTimeOut) {
  const double took = RunRecording();
  EXPECT_GT(took, TIMEOUT);
  EXPECT_LT(took, TIMEOUT + 1.0);
  EXPECT_EQ(stop_flag, 3);
  ExpectOutcome("DATA-RECORDER INTERRUPTED - TIMEOUT RS-232 LINE!", VAL_RED, VAL_WHITE, 1);
  EXPECT_EQ(CtrlText(pHandle, MAIN_TBOXstatus), "Timeout RS232-Line!");
  EXPECT_EQ(RecFile(), ExpectedHeader("CHARGE0123.DAT", 1, 10, slope));
  EXPECT_EQ(peer_.orders(), (std::vector<std::uint16_t>{8}));
  ExpectButtonsFreeAndIndicatorsDimmed();
}

TEST_F(RecordingRun, StopPressedDuringARunKeepsTheLinesSoFar) {
  peer_.answerLikeSensor({});
  At(1.6, [] { QTest::mousePress(CtrlWidget(pPopup, RECORDER_BTNStopRecord), Qt::LeftButton); });
  const double took = RunRecording();
  QTest::mouseRelease(CtrlWidget(pPopup, RECORDER_BTNStopRecord), Qt::LeftButton);
  EXPECT_LT(took, 2.5);
  EXPECT_EQ(stop_flag, 1);
  ExpectOutcome("DATA-RECORDER INTERRUPTED!", VAL_RED, VAL_WHITE, 1);
  ExpectButtonsFreeAndIndicatorsDimmed();
  size_t records = 0;
  ExpectWellFormed(RecFile(), &records);
  EXPECT_EQ(records, 1u);
  EXPECT_EQ(CtrlInt(pPopup, RECORDER_NUMsampleCount), 1);
}

TEST_F(RecordingRun, CommandButtonsClickedAsTheRunStartsStayInert) {
  peer_.answerLikeSensor({});
  numSample = 1;
  SetCtrlVal(pPopup, RECORDER_NUMnumSample, 1);
  SetCtrlAttribute(pHandle, MAIN_ButtonReset, ATTR_VISIBLE, 1);
  // Clicks that wait in the queue behind Start reach their buttons dimmed by the run.
  QTest::mouseClick(CtrlWidget(pPopup, RECORDER_BTNStartRecord), Qt::LeftButton);
  for (int id : {MAIN_BTNGet, MAIN_ButtonTeach, MAIN_ButtonReset, MAIN_BTNRun, MAIN_BTNVideo})
    QTest::mouseClick(CtrlWidget(pHandle, id), Qt::LeftButton);
  PumpFor(0.05);
  ExpectOutcome("DATA-RECORDER COMPLETED SUCCESSFULLY", 0xE0E0E0, 0x000000, 0);
  // Only the run's own measure requests went out.
  const auto orders = peer_.orders();
  EXPECT_TRUE(!orders.empty() && std::all_of(orders.begin(), orders.end(), [](std::uint16_t o) { return o == 8; }))
      << orders.size();
}

TEST_F(RecordingRun, ToggleReleasedHidesThePopupAndTheRunGoesOnUntilPressedAgain) {
  peer_.answerLikeSensor({});
  auto stillRunning = std::make_shared<int>(-1);
  At(0.5, [] { QTest::mouseClick(CtrlWidget(pHandle, MAIN_TOGGBTN_Recorder), Qt::LeftButton); });
  At(2.3, [stillRunning] {
    *stillRunning = (stop_flag == 0 && IsPanelVisible(pPopup) == 0) ? 1 : 0;
    QTest::mouseClick(CtrlWidget(pHandle, MAIN_TOGGBTN_Recorder), Qt::LeftButton);
  });
  const double took = RunRecording();
  EXPECT_EQ(*stillRunning, 1);
  EXPECT_GT(took, 2.2);
  EXPECT_EQ(IsPanelVisible(pPopup), 1);
  ExpectOutcome("DATA-RECORDER INTERRUPTED!", VAL_RED, VAL_WHITE, 1);
  size_t records = 0;
  ExpectWellFormed(RecFile(), &records);
  EXPECT_GE(records, 1u);  // recorded behind the hidden popup
}

TEST_F(RecordingRun, CloseBoxAsksDuringARunAndStopsOnlyWhenConfirmed) {
  peer_.answerLikeSensor({});
  auto afterDecline = std::make_shared<int>(-1);
  At(0.4, [] {
    QueueConfirmAnswer(0);
    PanelWidget(pPopup)->close();
  });
  At(1.0, [afterDecline] {
    *afterDecline = (stop_flag == 0 && IsPanelVisible(pPopup) == 1) ? 1 : 0;
    QueueConfirmAnswer(1);
    PanelWidget(pPopup)->close();
  });
  const double took = RunRecording();
  EXPECT_EQ(*afterDecline, 1);
  EXPECT_GT(took, 0.9);
  ASSERT_EQ(PopupLog().size(), 2u);
  for (const auto& p : PopupLog()) {
    EXPECT_EQ(p.title, "ATTENTION !");
    EXPECT_EQ(p.message, "DATA-RECORDER is active! \nSTOP RECORDER");
  }
  EXPECT_EQ(IsPanelVisible(pPopup), 0);
  EXPECT_EQ(CtrlInt(pHandle, MAIN_TOGGBTN_Recorder), 0);
  ExpectOutcome("DATA-RECORDER INTERRUPTED!", VAL_RED, VAL_WHITE, 1);
  ExpectButtonsFreeAndIndicatorsDimmed();
}

TEST_F(RecordingRun, ExitDuringARunAsksThenStopsAndHides) {
  peer_.answerLikeSensor({});
  At(0.5, [] {
    QueueConfirmAnswer(1);
    QTest::mouseClick(CtrlWidget(pPopup, RECORDER_BTNexitRecorder), Qt::LeftButton);
  });
  RunRecording();
  ASSERT_EQ(PopupLog().size(), 1u);
  EXPECT_EQ(PopupLog()[0].message, "DATA-RECORDER is active! \nSTOP RECORDER");
  EXPECT_EQ(IsPanelVisible(pPopup), 0);
  ExpectOutcome("DATA-RECORDER INTERRUPTED!", VAL_RED, VAL_WHITE, 1);
  ExpectButtonsFreeAndIndicatorsDimmed();
}

TEST_F(RecordingRun, SecondRunOnTheSameNameAsksBeforeOverwriting) {
  peer_.answerLikeSensor({});
  Enter(RECORDER_NUMnumSample, 0);
  RunRecording();
  const std::string first = RecFile();
  ASSERT_FALSE(first.empty());

  // Declined: nothing starts, nothing changes.
  ResetPopupLog();
  const size_t requests = peer_.frames().size();
  Enter(RECORDER_NUMnumSample, 1);
  QueueConfirmAnswer(0);
  RunRecording();
  ASSERT_EQ(PopupLog().size(), 1u);
  EXPECT_EQ(PopupLog()[0].title, "ATTENTION !");
  EXPECT_EQ(PopupLog()[0].message, "File already exist - overwrite ?");
  EXPECT_EQ(RecFile(), first);
  EXPECT_EQ(RecStatus(), "DATA-RECORDER COMPLETED SUCCESSFULLY");
  EXPECT_EQ(peer_.frames().size(), requests);
  EXPECT_EQ(Attr(pPopup, RECORDER_BTNStartRecord, ATTR_DIMMED), 0);

  // Confirmed: a new file with a new header, and the old content gone.
  QueueConfirmAnswer(1);
  RunRecording();
  size_t records = 0;
  const std::string second = RecFile();
  ExpectWellFormed(second, &records);
  EXPECT_EQ(records, 1u);
  EXPECT_EQ(CompleteLines(second).size(), 8u);
  EXPECT_NE(second.find("Max. Anzahl Messwerte:\t1\r\n"), std::string::npos);
}

TEST_F(RecordingRun, FullDiskEndsTheRunAtTheHeaderWithoutSuccess) {
  peer_.answerLikeSensor({});
  CopyText(rec_fname, "/dev/full");
  RunRecording();
  EXPECT_EQ(stop_flag, 1);
  ExpectOutcome("DATA-RECORDER INTERRUPTED - FILE COULD NOT BE WRITTEN!", VAL_RED, VAL_WHITE, 1);
  ExpectButtonsFreeAndIndicatorsDimmed();
  EXPECT_TRUE(peer_.frames().empty());  // no request after a header that failed
}

TEST_F(RecordingRun, FolderGoneMidRunEndsTheRunAtTheFirstRecord) {
  peer_.answerLikeSensor({});
  const std::string folder = dataDir_ + "/batch";
  std::filesystem::create_directory(folder);
  CopyText(rec_fname, (folder + "/RUN.DAT").c_str());
  At(0.5, [folder] { std::filesystem::remove_all(folder); });
  const double took = RunRecording();
  EXPECT_LT(took, 2.0);
  EXPECT_EQ(stop_flag, 1);
  ExpectOutcome("DATA-RECORDER INTERRUPTED - FILE COULD NOT BE WRITTEN!", VAL_RED, VAL_WHITE, 1);
  EXPECT_NE(RecStatus(), "DATA-RECORDER COMPLETED SUCCESSFULLY");
  EXPECT_EQ(CtrlInt(pPopup, RECORDER_NUMsampleCount), 0);
  ExpectButtonsFreeAndIndicatorsDimmed();
}

// A small file system of its own for the disk faults: a 64 KiB tmpfs when this process may
// mount one (as root), else nothing and the caller skips.
class SmallDisk {
 public:
  explicit SmallDisk(const std::string& dir) : dir_(dir) {
    std::filesystem::create_directory(dir_);
    mounted_ = mount("tmpfs", dir_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0755") == 0;
  }
  ~SmallDisk() {
    if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  /// Fills every free block with a file of its own.
  void fill() {
    std::ofstream filler(dir_ + "/filler", std::ios::binary);
    const std::string block(4096, 'x');
    for (int i = 0; i < 64 && filler.write(block.data(), block.size()); ++i) {
    }
  }
  /// Makes the whole file system read-only, as a disk that fails does.
  bool readOnly() {
    return mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
  }

 private:
  std::string dir_;
  bool mounted_ = false;
};

// A disk that is full or read-only, from the start or from the middle of the run: the run ends
// with the red write-error text, never as completed, and the file keeps only whole lines.
TEST_F(RecordingRun, FullOrReadOnlyDiskEndsTheRunWithTheWriteErrorText) {
  struct Case {
    const char* what;
    bool fullAtStart, readOnlyAtStart, readOnlyMidRun;
  } cases[] = {
      {"full from the start", true, false, false},
      {"read-only from the start", false, true, false},
      {"read-only from the middle of the run", false, false, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string dir = dataDir_ + "/disk" + std::to_string(n++);
    SmallDisk disk(dir);
    if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (not root?); /dev/full covers a full disk";
    peer_.answerLikeSensor({});
    Enter(RECORDER_NUMnumSample, 5);
    CopyText(rec_fname, (dir + "/RUN.DAT").c_str());
    if (c.fullAtStart) disk.fill();
    if (c.readOnlyAtStart) {
      ASSERT_TRUE(disk.readOnly());
    }
    if (c.readOnlyMidRun) At(1.5, [&disk] { EXPECT_TRUE(disk.readOnly()); });
    const double took = RunRecording();
    EXPECT_LT(took, 4.0) << c.what;
    EXPECT_EQ(stop_flag, 1) << c.what;
    ExpectOutcome("DATA-RECORDER INTERRUPTED - FILE COULD NOT BE WRITTEN!", VAL_RED, VAL_WHITE, 1);
    EXPECT_NE(RecStatus(), "DATA-RECORDER COMPLETED SUCCESSFULLY") << c.what;
    ExpectButtonsFreeAndIndicatorsDimmed();
    const std::string bytes = RecFile();
    if (c.readOnlyMidRun) {
      // The records written before the disk failed are all there, whole.
      size_t records = 0;
      ExpectWellFormed(bytes, &records);
      EXPECT_GE(records, 1u) << c.what;
      EXPECT_EQ(records, static_cast<size_t>(CtrlInt(pPopup, RECORDER_NUMsampleCount))) << c.what;
    } else {
      EXPECT_EQ(bytes, "") << c.what;
    }
    peer_.clearFrames();
  }
}

// The disk takes only part of a record line (a file-size limit stands in for the last free
// block): the part is cut off again, the run ends with the write-error text, and the file ends
// with its last whole line.
TEST_F(RecordingRun, PartOfALineWrittenIsTakenBackAndTheRunEnds) {
  peer_.answerLikeSensor({});
  Enter(RECORDER_NUMnumSample, 5);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  size_t limit = 0;
  // After the first record: room for ten more bytes only.
  At(1.5, [&] {
    limit = static_cast<size_t>(std::filesystem::file_size(rec_fname)) + 10;
    rlimit small = old;
    small.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &small);
  });
  RunRecording();
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  ASSERT_GT(limit, 0u);
  EXPECT_EQ(stop_flag, 1);
  ExpectOutcome("DATA-RECORDER INTERRUPTED - FILE COULD NOT BE WRITTEN!", VAL_RED, VAL_WHITE, 1);
  size_t records = 0;
  ExpectWellFormed(RecFile(), &records);
  EXPECT_EQ(records, 1u);
  EXPECT_EQ(RecFile().size(), limit - 10);
}

// An existing file that cannot be deleted (its disk went read-only) keeps the run from starting:
// nothing is dimmed, asked of the sensor or written, and the old file stays as it was.
TEST_F(RecordingRun, AnOldFileThatCannotBeDeletedKeepsTheRunFromStarting) {
  const std::string dir = dataDir_ + "/disk";
  SmallDisk disk(dir);
  if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (not root?)";
  peer_.answerLikeSensor({});
  const std::string old = dir + "/OLD.DAT";
  std::ofstream(old, std::ios::binary) << "old records\r\n";
  ASSERT_TRUE(disk.readOnly());
  CopyText(rec_fname, old.c_str());
  QueueConfirmAnswer(1);
  RunRecording();
  ASSERT_EQ(PopupLog().size(), 1u);
  EXPECT_EQ(PopupLog()[0].message, "File already exist - overwrite ?");
  ExpectOutcome("DATA-RECORDER NOT STARTED - FILE COULD NOT BE WRITTEN!", VAL_RED, VAL_WHITE, 1);
  EXPECT_EQ(FileBytes(old), "old records\r\n");
  EXPECT_TRUE(peer_.frames().empty());
  EXPECT_EQ(Attr(pPopup, RECORDER_BTNStartRecord, ATTR_DIMMED), 0);
  EXPECT_EQ(Attr(pHandle, MAIN_BTNRun, ATTR_DIMMED), 0);
  for (int id : kRunIndicators) EXPECT_EQ(Attr(pPopup, id, ATTR_DIMMED), 1) << id;
}

// Records go only to the file the run's header created. Chosen again in the file dialog, under
// its own name or through a link, it is kept whole, the run completes, and the choice is the next
// run's, whose Start asks before it overwrites. Removed, renamed away or replaced, the next
// record cannot be written and the run ends red; the file that took its name is not touched.
TEST_F(RecordingRun, RecordsGoOnlyToTheFileTheRunCreated) {
  enum Event { ChosenAgain, ChosenByLink, Removed, RenamedAway, Replaced };
  const struct {
    const char* what;
    Event event;
  } cases[] = {
      {"its own file chosen in the file dialog", ChosenAgain},
      {"its own file chosen through a symbolic link", ChosenByLink},
      {"removed", Removed},
      {"renamed away", RenamedAway},
      {"replaced by another file", Replaced},
  };
  Enter(RECORDER_NUMnumSample, 3);
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    peer_.answerLikeSensor({});
    const std::string tag = std::to_string(n++);
    const std::string run = dataDir_ + "/RUN" + tag + ".DAT";
    const std::string link = dataDir_ + "/LINK" + tag + ".DAT";
    const std::string moved = dataDir_ + "/MOVED" + tag + ".DAT";
    CopyText(rec_fname, run.c_str());
    SetCtrlVal(pPopup, RECORDER_NUMsampleCount, 0);  // not the count of the case before
    ResetPopupLog();
    // Acts once, as soon as the first record is on the disk.
    bool acted = false;
    QTimer act;
    QObject::connect(&act, &QTimer::timeout, [&] {
      if (acted || CtrlInt(pPopup, RECORDER_NUMsampleCount) < 1) return;
      acted = true;
      switch (c.event) {
        case ChosenByLink:
          std::filesystem::create_symlink(run, link);
          [[fallthrough]];
        case ChosenAgain:
          QueueFileSelectAnswer(VAL_EXISTING_FILE_SELECTED, (c.event == ChosenAgain ? run : link).c_str());
          QueueConfirmAnswer(1);
          QTest::mouseClick(CtrlWidget(pPopup, RECORDER_BTN_File), Qt::LeftButton);
          break;
        case Removed:
          std::filesystem::remove(run);
          break;
        case RenamedAway:
          std::filesystem::rename(run, moved);
          break;
        case Replaced:
          std::ofstream(moved, std::ios::binary) << "another file\r\n";
          std::filesystem::rename(moved, run);
          break;
      }
    });
    act.start(5);
    RunRecording();
    act.stop();
    ASSERT_TRUE(acted);
    size_t records = 0;
    if (c.event == ChosenAgain || c.event == ChosenByLink) {
      const std::string chosen = c.event == ChosenAgain ? run : link;
      ExpectOutcome("DATA-RECORDER COMPLETED SUCCESSFULLY", 0xE0E0E0, 0x000000, 0);
      const std::string bytes = FileBytes(run);
      ExpectWellFormed(bytes, &records);
      EXPECT_EQ(records, 3u);
      EXPECT_EQ(bytes.rfind("Datum:\t", 0), 0u);
      EXPECT_EQ(std::string(rec_fname), chosen);
      EXPECT_EQ(CtrlText(pPopup, RECORDER_TBOXrecpath), chosen);
      // The next Start asks; declined, the file stays as the run left it.
      QueueConfirmAnswer(0);
      RunRecording();
      ASSERT_EQ(PopupLog().size(), 3u);
      EXPECT_EQ(PopupLog()[1].message, "Output-File already exist! - Overwrite ?");
      EXPECT_EQ(PopupLog()[2].message, "File already exist - overwrite ?");
      EXPECT_EQ(FileBytes(run), bytes);
    } else {
      ExpectOutcome("DATA-RECORDER INTERRUPTED - FILE COULD NOT BE WRITTEN!", VAL_RED, VAL_WHITE, 1);
      EXPECT_EQ(CtrlInt(pPopup, RECORDER_NUMsampleCount), 1);
      if (c.event == Removed) {
        EXPECT_FALSE(std::filesystem::exists(run));
      }
      if (c.event == RenamedAway) {
        EXPECT_FALSE(std::filesystem::exists(run));
        ExpectWellFormed(FileBytes(moved), &records);
        EXPECT_EQ(records, 1u);
      }
      if (c.event == Replaced) {
        EXPECT_EQ(FileBytes(run), "another file\r\n");
      }
    }
    ExpectButtonsFreeAndIndicatorsDimmed();
    peer_.clearFrames();
  }
}

// The batch-name refusal puts the status box aside only while no run has the box: a run that
// follows a refusal keeps its outcome when a good name comes next, and a refusal during a run
// leaves the run's green box and its texts alone (it is told on the main status line).
TEST_F(RecordingRun, ARefusedBatchNameNeverHidesARunOrItsOutcome) {
  // Refusal, then a run (a silent sensor: time-out), then a good name.
  EnterBatchName("sub/RUN.DAT");
  ASSERT_EQ(Attr(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_BGCOLOR), VAL_RED);
  RunRecording();
  EnterBatchName("GOOD.DAT");
  ExpectOutcome("DATA-RECORDER INTERRUPTED - TIMEOUT RS-232 LINE!", VAL_RED, VAL_WHITE, 1);

  // Refusal during a run: watch the box's colour until the run ends.
  peer_.answerLikeSensor({});
  Enter(RECORDER_NUMnumSample, 2);
  bool refused = false;
  std::vector<int> backgrounds;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    if (stop_flag != 0) return;
    if (!refused && CtrlInt(pPopup, RECORDER_NUMsampleCount) >= 1) {
      refused = true;
      EnterBatchName("..");
    }
    if (refused) backgrounds.push_back(Attr(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_BGCOLOR));
  });
  probe.start(5);
  RunRecording();
  probe.stop();
  ASSERT_TRUE(refused);
  ASSERT_FALSE(backgrounds.empty());
  for (int colour : backgrounds) EXPECT_EQ(colour, 0x008000);
  EXPECT_EQ(CtrlText(pHandle, MAIN_TBOXstatus), "BATCH NAME REFUSED - NO \"..\" ALLOWED!");
  EXPECT_EQ(CtrlText(pPopup, RECORDER_TBOXrecfilename), "GOOD.DAT");
  ExpectOutcome("DATA-RECORDER COMPLETED SUCCESSFULLY", 0xE0E0E0, 0x000000, 0);
  EnterBatchName("NEXT.DAT");
  ExpectOutcome("DATA-RECORDER COMPLETED SUCCESSFULLY", 0xE0E0E0, 0x000000, 0);
  EXPECT_EQ(std::string(rec_fname), dataDir_ + "/NEXT.DAT");
}

TEST_F(RecordingRun, ANameChosenDuringARunAppliesToTheNextRun) {
  peer_.answerLikeSensor({});
  Enter(RECORDER_NUMnumSample, 2);
  At(0.5, [this] { EnterBatchName("LATER.DAT"); });
  RunRecording();
  EXPECT_EQ(RecStatus(), "DATA-RECORDER COMPLETED SUCCESSFULLY");
  size_t records = 0;
  ExpectWellFormed(FileBytes(dataDir_ + "/CHARGE0123.DAT"), &records);
  EXPECT_EQ(records, 2u);
  EXPECT_FALSE(std::filesystem::exists(dataDir_ + "/LATER.DAT"));
  EXPECT_EQ(std::string(rec_fname), dataDir_ + "/LATER.DAT");
}

// rorir-record-child against a paced virtual sensor, in a fresh data folder; its standard output
// goes to a file of that folder.
class RecordChild {
 public:
  explicit RecordChild(const char* way) : sensor_(rorir::sensor::ServerConfig{}), dir_(MakeTempDir()) {
    std::string error;
    started_ = !dir_.empty() && sensor_.start(&error);
    if (!started_) return;
    const std::string child = BinPath("rorir-record-child");
    std::vector<std::string> env = {"RORIR_COM1=" + sensor_.slavePath(), "RORIR_DATA_DIR=" + dir_,
                                    "QT_QPA_PLATFORM=offscreen"};
    // The sanitizers' settings (suppressions of the libraries' own leaks) hold for the child too.
    for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
      if (const char* value = getenv(name)) env.push_back(std::string(name) + "=" + value);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string arg = way;
    char* argv[] = {const_cast<char*>(child.c_str()), arg.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    started_ = posix_spawn(&pid_, child.c_str(), &actions, nullptr, argv, envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~RecordChild() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      child_process::WaitForEnd(pid_, 10.0);
    }
    if (!dir_.empty()) RemoveTree(dir_);
  }
  bool started() const { return started_; }
  std::string file() const { return dir_ + "/CHARGE0123.DAT"; }
  std::string output() const { return dir_ + "/child-output.txt"; }
  pid_t pid() const { return pid_; }
  size_t records() const {
    auto lines = CompleteLines(FileBytes(file()));
    return lines.size() > 7 ? lines.size() - 7 : 0;
  }
  /// Waits at most `seconds` for `count` records; false when they did not come.
  bool awaitRecords(size_t count, double seconds) const {
    const double end = Timer() + seconds;
    while (records() < count && Timer() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return records() >= count;
  }
  /// Waits at most `seconds` for the child to end and returns its wait status; -1 when it did
  /// not end (it is then killed).
  int awaitEnd(double seconds) {
    const int status = child_process::WaitForEnd(pid_, seconds);
    ended_ = true;  // ended by itself, or killed and reaped
    return status;
  }

 private:
  rorir::sensor::PtyServer sensor_;
  std::string dir_;
  bool started_ = false;
  bool ended_ = false;
  pid_t pid_ = 0;
};

// Checks the recorder file of a run that was ended from outside: the header, the column head,
// and records only, each line whole; returns the count of records.
size_t ExpectHeaderAndWholeRecords(const std::string& bytes, std::string* rest) {
  const auto lines = CompleteLines(bytes, rest);
  EXPECT_GE(lines.size(), 7u) << bytes;
  if (lines.size() < 7) return 0;
  const char* labels[] = {"Datum:\t", "Zeit:\t", "Chargen-Name:\tCHARGE0123.DAT", "Zeit-Intervall[s]:\t1",
                          "Max. Anzahl Messwerte:\t1000", "Slope [\xB5m/Pixel]:\t"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(lines[i].rfind(labels[i], 0), 0u) << lines[i];
  EXPECT_EQ(lines[6] + "\r\n", kHead);
  for (size_t i = 7; i < lines.size(); ++i) EXPECT_TRUE(IsRecordLine(lines[i])) << lines[i];
  return lines.size() - 7;
}

// A run killed at any moment leaves only whole lines: each is on the disk before the next.
TEST(RecordingKilled, EveryCompleteLineOfAKilledRunIsIntact) {
  RecordChild child("");
  ASSERT_TRUE(child.started());
  // Kill it once two records are on the disk, while it keeps recording.
  EXPECT_TRUE(child.awaitRecords(2, 8.0));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(kill(child.pid(), SIGKILL), 0);
  const int status = child.awaitEnd(10.0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the run ended before the kill";

  std::string rest;
  EXPECT_GE(ExpectHeaderAndWholeRecords(FileBytes(child.file()), &rest), 2u);
  // Whatever follows the last line end can only be the start of a record.
  EXPECT_TRUE(std::regex_match(rest, std::regex(R"([0-9\t]*)"))) << rest;
}

// The ends of a run that come from outside the recorder: the main panel's close box and a
// termination signal end the run as stopped and then the program with code 0; a change of the
// COM port ends the run as stopped and the program goes on with the port open again. Each
// leaves the header and whole records.
TEST(RecordingEnded, EachEndFromOutsideLeavesWholeLinesAndItsOutcome) {
  const struct {
    const char* way;   // the child's argument
    bool signal;       // the test sends SIGTERM
    const char* tail;  // what the child prints after the outcome's colour
    int exitCode;
  } cases[] = {
      {"close", false, "", 0},
      {"", true, "", 0},
      {"port", false, "going on, port open 1\n", 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.signal ? "termination signal" : c.way);
    RecordChild child(c.way);
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.awaitRecords(2, 8.0));
    if (c.signal) {
      ASSERT_EQ(kill(child.pid(), SIGTERM), 0);
    }
    const int status = child.awaitEnd(15.0);
    ASSERT_NE(status, -1) << "the child did not end";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), c.exitCode);
    EXPECT_EQ(FileBytes(child.output()), child.file() + "\nDATA-RECORDER INTERRUPTED!\nFF0000\n" + c.tail);
    std::string rest;
    EXPECT_GE(ExpectHeaderAndWholeRecords(FileBytes(child.file()), &rest), 2u);
    EXPECT_EQ(rest, "");
  }
}

}  // namespace

namespace {

// The saves of a graph's menu aimed at the running recording's file, by its name and through a
// link: refused with a text on the status line and without a question, and the run completes
// with every record in its file. Once the run is over the same file may be replaced, after the
// question.
TEST_F(RecordingRun, SavesDuringARunNeverReplaceItsFile) {
  peer_.answerLikeSensor({});
  Enter(RECORDER_NUMnumSample, 2);
  Enter(RECORDER_NUMincTime, 1);
  // A name the CSV export keeps as it is.
  const std::string run = dataDir_ + "/RUN.csv";
  const std::string link = dataDir_ + "/LINK.csv";
  ASSERT_EQ(symlink(run.c_str(), link.c_str()), 0);
  CopyText(rec_fname, run.c_str());
  struct Try {
    const char* action;
    std::string chosen;
    std::string status;  // the status line right after the save
  };
  const Try tries[] = {
      {"saveCsv", run, "CSV data not saved: RUN.csv is the file of the running recording!"},
      {"savePicture", dataDir_ + "/OTHER.png", "Picture written: OTHER.png"},
      {"saveCsv", link, "CSV data not saved: LINK.csv is the file of the running recording!"},
  };
  std::vector<std::string> seen;
  size_t confirms = 0;
  At(0.5, [&] {
    for (const Try& t : tries) {
      QueueFileSelectAnswer(VAL_NEW_FILE_SELECTED, t.chosen.c_str());
      GraphContextMenu(pHandle, MAIN_GRAPHvideo)->findChild<QAction*>(t.action)->trigger();
      seen.push_back(CtrlText(pHandle, MAIN_TBOXstatus));
    }
    for (const PopupRecord& p : PopupLog()) confirms += p.kind == "confirm";
  });
  RunRecording();
  ASSERT_EQ(seen.size(), 3u) << "the saves were tried during the run";
  for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], tries[i].status) << i;
  EXPECT_EQ(confirms, 0u) << "a refusal asks nothing";
  EXPECT_EQ(RecStatus(), "DATA-RECORDER COMPLETED SUCCESSFULLY");
  size_t records = 0;
  ExpectWellFormed(RecFile(), &records);
  EXPECT_EQ(records, 2u);

  // After the run the file is the operator's again: replaced once confirmed.
  QueueFileSelectAnswer(VAL_EXISTING_FILE_SELECTED, run.c_str());
  QueueConfirmAnswer(1);
  GraphContextMenu(pHandle, MAIN_GRAPHvideo)->findChild<QAction*>("saveCsv")->trigger();
  EXPECT_EQ(CtrlText(pHandle, MAIN_TBOXstatus), "CSV data written: RUN.csv");
  EXPECT_EQ(RecFile().rfind("pixel position", 0), 0u);
}

}  // namespace
