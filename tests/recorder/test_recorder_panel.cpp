// The recorder popup on the real panels: the toggle, the close box, Stop and Exit, the batch
// name and its refusals, the file dialog, the planned duration, and the analog-output ring.
#include <QComboBox>
#include <QFontMetrics>
#include <QStyle>
#include <QStyleOption>

#include <filesystem>
#include <map>

#include "app/storage.h"
#include "recorder/popup.h"
#include "recorder/recfile.h"
#include "recorder_fixture.h"
#include "sensor/model.h"

namespace {

using RecorderPanel = RecorderFixture;

constexpr int kLoopButtons[] = {MAIN_BTNRun, MAIN_BTNVideo, MAIN_BTNStop};

TEST_F(RecorderPanel, OpeningThePopupEndsARunningMeasurementLoopAndLeavesItsButtonsUsable) {
  peer_.answerLikeSensor({});
  // The toggle is pressed while the loop runs; the loop returns once it sees stop_flag.
  At(0.4, [] { QTest::mouseClick(CtrlWidget(pHandle, MAIN_TOGGBTN_Recorder), Qt::LeftButton); });
  const double started = Timer();
  PushRUN();
  EXPECT_LT(Timer() - started, TIMEOUT) << "the loop ended by time-out, not by the toggle";
  EXPECT_GT(peer_.frames().size(), 3u);
  EXPECT_EQ(stop_flag, 1);
  EXPECT_EQ(IsPanelVisible(pPopup), 1);
  EXPECT_EQ(GetActiveCtrl(pPopup), RECORDER_FOCUS_CONTROL);
  for (int id : kLoopButtons) EXPECT_EQ(Attr(pHandle, id, ATTR_DIMMED), 0) << id;
}

TEST_F(RecorderPanel, ReleasingTheToggleHidesThePopupAndGivesTheFocusToStop) {
  OpenPopup();
  Click(pHandle, MAIN_TOGGBTN_Recorder);
  EXPECT_EQ(IsPanelVisible(pPopup), 0);
  EXPECT_EQ(GetActiveCtrl(pHandle), MAIN_BTNStop);
  EXPECT_EQ(CtrlInt(pHandle, MAIN_TOGGBTN_Recorder), 0);
}

TEST_F(RecorderPanel, CloseBoxWithNoRunAsksNothingAndHidesThePopup) {
  OpenPopup();
  DimmButtons(1);
  PanelWidget(pPopup)->close();
  PumpFor(0.05);
  EXPECT_TRUE(PopupLog().empty());
  EXPECT_EQ(IsPanelVisible(pPopup), 0);
  EXPECT_EQ(CtrlInt(pHandle, MAIN_TOGGBTN_Recorder), 0);
  EXPECT_EQ(Attr(pHandle, MAIN_BTNRun, ATTR_DIMMED), 0);
  EXPECT_EQ(Attr(pPopup, RECORDER_BTNStartRecord, ATTR_DIMMED), 0);
}

TEST_F(RecorderPanel, ExitHidesThePopupAndFreesTheButtons) {
  OpenPopup();
  DimmButtons(1);
  SetCtrlAttribute(pHandle, MAIN_TOGGBTN_Recorder, ATTR_DIMMED, 1);
  Click(pPopup, RECORDER_BTNexitRecorder);
  EXPECT_TRUE(PopupLog().empty());
  EXPECT_EQ(IsPanelVisible(pPopup), 0);
  EXPECT_EQ(stop_flag, 1);
  EXPECT_EQ(CtrlInt(pHandle, MAIN_TOGGBTN_Recorder), 0);
  for (int id : {MAIN_TOGGBTN_Recorder, MAIN_BTNRun, MAIN_BTNVideo, MAIN_ButtonTeach, MAIN_BTNGet,
                 MAIN_BTNSend})
    EXPECT_EQ(Attr(pHandle, id, ATTR_DIMMED), 0) << id;
  EXPECT_EQ(Attr(pPopup, RECORDER_BTNStartRecord, ATTR_DIMMED), 0);
  // Exit does not undim what it does not name: Stop and Reset stay as they were.
  EXPECT_EQ(Attr(pHandle, MAIN_BTNStop, ATTR_DIMMED), 1);
}

TEST_F(RecorderPanel, StopActsOnThePressOfTheMouseButton) {
  OpenPopup();
  DimmButtons(1);
  stop_flag = 0;
  QTest::mousePress(CtrlWidget(pPopup, RECORDER_BTNStopRecord), Qt::LeftButton);
  PumpFor(0.02);
  EXPECT_EQ(stop_flag, 1);
  EXPECT_EQ(Attr(pHandle, MAIN_BTNRun, ATTR_DIMMED), 0);
  EXPECT_EQ(Attr(pPopup, RECORDER_BTNStartRecord, ATTR_DIMMED), 0);
  QTest::mouseRelease(CtrlWidget(pPopup, RECORDER_BTNStopRecord), Qt::LeftButton);
  PumpFor(0.02);
}

TEST_F(RecorderPanel, PlannedDurationFollowsIntervalAndRecordCount) {
  OpenPopup();
  const struct {
    int control, value;
    int days, hours, minutes, seconds;
  } steps[] = {
      {RECORDER_NUMnumSample, 10, 0, 0, 0, 10},
      {RECORDER_NUMincTime, 3599, 0, 9, 59, 50},
      {RECORDER_NUMincTime, 3600, 0, 9, 59, 50},  // 3600 s and more leave the display
      {RECORDER_NUMincTime, 40000, 0, 9, 59, 50},
      {RECORDER_NUMincTime, 100, 0, 0, 16, 40},
      {RECORDER_NUMnumSample, 1000, 1, 3, 46, 40},  // the count alone also updates it
  };
  // The first step commits a value equal to the one shown; start from another.
  Enter(RECORDER_NUMnumSample, 11);
  for (const auto& s : steps) {
    Enter(s.control, s.value);
    const std::string where = std::to_string(s.control) + "=" + std::to_string(s.value);
    EXPECT_EQ(CtrlInt(pPopup, RECORDER_NUMtimeDay), s.days) << where;
    EXPECT_EQ(CtrlInt(pPopup, RECORDER_NUMtimeHour), s.hours) << where;
    EXPECT_EQ(CtrlInt(pPopup, RECORDER_NUMtimeMin), s.minutes) << where;
    EXPECT_EQ(CtrlInt(pPopup, RECORDER_NUMtimeSec), s.seconds) << where;
  }
  EXPECT_EQ(numSample, 1000);
  EXPECT_EQ(incTime, 100);
}

TEST_F(RecorderPanel, BatchNameBecomesTheFileOfTheDataFolder) {
  OpenPopup();
  EnterBatchName("TEST1.DAT");
  const std::string expected = dataDir_ + "/TEST1.DAT";
  EXPECT_EQ(std::string(charge_fname), "TEST1.DAT");
  EXPECT_EQ(std::string(rec_fname), expected);
  EXPECT_EQ(CtrlText(pPopup, RECORDER_TBOXrecpath), expected);
}

TEST_F(RecorderPanel, RefusedBatchNamesChangeNothingAndSaySoInTheStatusBox) {
  OpenPopup();
  EnterBatchName("GOOD.DAT");
  const std::string goodPath = dataDir_ + "/GOOD.DAT";
  ResetTextBox(pPopup, RECORDER_TBOXrecstatus, "earlier outcome");
  const struct {
    std::string name;
    const char* shown;
  } cases[] = {
      {"sub/RUN.DAT", "BATCH NAME REFUSED - NO '/' OR '\\' ALLOWED!"},
      {"../RUN.DAT", "BATCH NAME REFUSED - NO '/' OR '\\' ALLOWED!"},
      {"..", "BATCH NAME REFUSED - NO \"..\" ALLOWED!"},
      {"RUN..DAT", "BATCH NAME REFUSED - NO \"..\" ALLOWED!"},
      {"", "BATCH NAME REFUSED - EMPTY NAME!"},
      {std::string(244, 'A'), "BATCH NAME REFUSED - MORE THAN 243 CHARACTERS!"},
      {"\xCE\xA9.DAT", "BATCH NAME REFUSED - CHARACTER NOT IN WINDOWS-1252!"},
      // Fits the header, but not a path buffer once joined with this data folder.
      {std::string(240, 'A'), "BATCH NAME REFUSED - PATH TOO LONG!"},
  };
  for (const auto& c : cases) {
    EnterBatchName(c.name);
    EXPECT_EQ(RecStatus(), c.shown) << c.name;
    EXPECT_EQ(Attr(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_BGCOLOR), VAL_RED);
    EXPECT_EQ(std::string(charge_fname), "GOOD.DAT") << c.name;
    EXPECT_EQ(std::string(rec_fname), goodPath) << c.name;
    EXPECT_EQ(CtrlText(pPopup, RECORDER_TBOXrecpath), goodPath) << c.name;
    EXPECT_EQ(CtrlText(pPopup, RECORDER_TBOXrecfilename), "GOOD.DAT") << c.name;
  }
  // Nothing was created anywhere by a refused name.
  EXPECT_TRUE(std::filesystem::is_empty(dataDir_));
  // The next good name puts back what the box showed before the refusals.
  EnterBatchName("NEXT.DAT");
  EXPECT_EQ(RecStatus(), "earlier outcome");
  EXPECT_EQ(std::string(rec_fname), dataDir_ + "/NEXT.DAT");
}

TEST_F(RecorderPanel, TheLongestBatchNameIsTakenInAShortDataFolder) {
  OpenPopup();
  CopyText(proj_dir, "/tmp");
  const std::string longest(243, 'L');
  EnterBatchName(longest);
  EXPECT_EQ(std::string(charge_fname), longest);
  EXPECT_EQ(std::string(rec_fname), "/tmp/" + longest);
}

TEST_F(RecorderPanel, FileDialogChoices) {
  OpenPopup();
  const std::string before = rec_fname;
  const std::string existing = dataDir_ + "/OLD.DAT";
  const std::string fresh = dataDir_ + "/NEW.DAT";
  const struct {
    const char* what;
    int result;
    std::string path;
    int confirm;  // -1: no question expected
    std::string recFile, pathBox;
    bool existingRemains;
  } cases[] = {
      {"cancelled", VAL_NO_FILE_SELECTED, existing, -1, before, before, true},
      {"existing, overwrite declined", VAL_EXISTING_FILE_SELECTED, existing, 0, before, before, true},
      {"existing, overwrite confirmed", VAL_EXISTING_FILE_SELECTED, existing, 1, existing, existing, false},
      {"new file", VAL_NEW_FILE_SELECTED, fresh, -1, fresh, fresh, true},
  };
  for (const auto& c : cases) {
    CopyText(rec_fname, before.c_str());
    ResetTextBox(pPopup, RECORDER_TBOXrecpath, before.c_str());
    std::ofstream(existing, std::ios::binary) << "old records\r\n";
    ResetPopupLog();
    QueueFileSelectAnswer(c.result, c.path.c_str());
    if (c.confirm >= 0) QueueConfirmAnswer(c.confirm);
    Click(pPopup, RECORDER_BTN_File);

    ASSERT_GE(PopupLog().size(), 1u) << c.what;
    EXPECT_EQ(PopupLog()[0].kind, "file");
    EXPECT_EQ(PopupLog()[0].title, "K-VOR-Series Recorder-File:");
    EXPECT_EQ(PopupLog()[0].message, "CHARGE0123.DAT");
    if (c.confirm >= 0) {
      ASSERT_EQ(PopupLog().size(), 2u) << c.what;
      EXPECT_EQ(PopupLog()[1].title, "ATTENTION!");
      EXPECT_EQ(PopupLog()[1].message, "Output-File already exist! - Overwrite ?");
    } else {
      EXPECT_EQ(PopupLog().size(), 1u) << c.what;
    }
    EXPECT_EQ(std::string(rec_fname), c.recFile) << c.what;
    EXPECT_EQ(CtrlText(pPopup, RECORDER_TBOXrecpath), c.pathBox) << c.what;
    EXPECT_EQ(std::filesystem::exists(existing), c.existingRemains) << c.what;
    // The dialog leaves the batch name alone.
    EXPECT_EQ(std::string(charge_fname), "CHARGE0123.DAT");
  }
}

TEST_F(RecorderPanel, AnalogRingShowsTheMaxMinGroupAboveOne) {
  auto* ring = qobject_cast<QComboBox*>(CtrlWidget(pHandle, MAIN_RNGanaMode));
  ASSERT_NE(ring, nullptr);
  // The ring takes choices only on a board with an analog output (identification undims it).
  SetCtrlAttribute(pHandle, MAIN_RNGanaMode, ATTR_DIMMED, 0);
  const int group[] = {MAIN_NUManaMax, MAIN_NUManaMin, MAIN_ButtonReset, MAIN_DECOanaMaxMin};
  for (int value : {2, 1, 3, 0}) {
    const int index = ring->findData(value);
    ASSERT_GE(index, 0) << value;
    ring->setCurrentIndex(index);
    emit ring->activated(index);
    PumpFor(0.02);
    for (int id : group)
      EXPECT_EQ(Attr(pHandle, id, ATTR_VISIBLE), value > 1 ? 1 : 0) << "value " << value << " id " << id;
  }
}

}  // namespace

namespace {

// The room a read-only text box gives its text, as the line edit lays it out: the contents
// rectangle less its text margins and the two-pixel margin on each side, and the cursor's
// width and one pixel after the text. Wider, the box scrolls to the text's end and cuts its
// beginning off.
class TextRoom : public QLineEdit {
 public:
  static bool Fits(QLineEdit* e, const QString& text, int* need, int* room) {
    QStyleOptionFrame option;
    // The protected member reached through its pointer, called on the box itself: no cast of a
    // box that is no TextRoom.
    void (QLineEdit::*init)(QStyleOptionFrame*) const = &TextRoom::initStyleOption;
    (e->*init)(&option);
    const QRect r = e->style()->subElementRect(QStyle::SE_LineEditContents, &option, e).marginsRemoved(e->textMargins());
    *room = r.width() - 2 * 2;
    *need = QFontMetrics(e->font()).horizontalAdvance(text) + 1 + e->style()->pixelMetric(QStyle::PM_TextCursorWidth, &option, e);
    return *need <= *room;
  }
};

// Every text the recorder status box and the main status line show fits its box at every fit
// factor the panels can be drawn at (0.3 to 1 in whole hundredths), in the box's own font.
// Texts with a number or a name in them carry a long one of the usual kind.
TEST_F(RecorderPanel, EveryStatusTextFitsItsBoxAtEveryFitFactor) {
  std::vector<std::string> recorder = {
      "APPEND TO DATA-FILE...", "DATA-RECORDER: RS-232-BUSY ...", "DATA-RECORDER COMPLETED SUCCESSFULLY",
      "DATA-RECORDER INTERRUPTED - TIMEOUT RS-232 LINE!", "DATA-RECORDER INTERRUPTED!",
      "DATA-RECORDER INTERRUPTED - FILE COULD NOT BE WRITTEN!",
      "DATA-RECORDER NOT STARTED - FILE COULD NOT BE WRITTEN!"};
  for (int why = BATCH_EMPTY; why <= BATCH_PATH_TOO_LONG; ++why)
    recorder.push_back(BatchNameRefusal(static_cast<BatchNameCheck>(why)));
  std::vector<std::string> main = {
      "Init COM-Port ...", "Echo Check - Line Ok!", "Timeout-RS-232...", "read error - not sync byte 0xAA!",
      "Waiting for parameter-frame ...", "Parameter-frame received! - Line Ok!", "Error reading firmware-info!",
      "Error reading HARDWARE-info!", "Waiting for firmware info ...", "Timeout - reading firmware info!",
      "Transmit...", "Line Ok!", "Timeout RS232-Line!", "Waiting for Data[64] ...", "Data[64] block received!",
      "Timeout-RS-232 while reading 64 data-words!", "New setpoint value teached!", "Reset Max/Min values...",
      "Reset of analog-output Max/Min OK!", PARA_READ_FAILED, PARA_WRITE_FAILED,
      "COM16 lost - waiting for it to come back ...",
      "Virtual line sensor type 101, 2048 pixels, firmware 12.34, board 100, ok",  // 72 characters
      "Picture written: video-graph-20260712-171827.png",
      "CSV data could not be written: video-graph-20260712-171827.csv",
      "Parameter file not saved: KVORpara.dat kept as it was",
      "Parameter file not saved: CHARGE0123.DAT is the file of the running recording!",
      "Link log not saved: CHARGE0123.DAT is the file of the running recording!",
      "Picture not saved: video-graph-20260712-171827.png kept as it was"};
  for (int code : {RS232_ERR_SYSTEM, RS232_ERR_INVALID_PORT, RS232_ERR_PORT_NOT_OPEN, RS232_ERR_IO,
                   RS232_ERR_NO_PORT_FOUND, RS232_ERR_CANNOT_OPEN, RS232_ERR_INVALID_PARAMETER, RS232_ERR_TIMEOUT, -5})
    main.push_back(ComOpenErrorText(code));
  for (const std::string& t : recorder) main.push_back(t);  // a refusal during a run goes there
  const struct {
    int panel, control;
    const std::vector<std::string>& texts;
  } boxes[] = {{pPopup, RECORDER_TBOXrecstatus, recorder}, {pHandle, MAIN_TBOXstatus, main}};
  DisplayPanel(pPopup);
  // For each text the factor at which it lacks the most room (need - room, > 0 when cut).
  std::map<std::string, std::string> worst;
  std::map<std::string, int> lack;
  for (int hundredths = 30; hundredths <= 100; ++hundredths) {
    ASSERT_EQ(SetPanelFitFactor(pHandle, hundredths / 100.0), 0);
    ASSERT_EQ(SetPanelFitFactor(pPopup, hundredths / 100.0), 0);
    for (const auto& box : boxes) {
      auto* edit = qobject_cast<QLineEdit*>(CtrlWidget(box.panel, box.control));
      ASSERT_NE(edit, nullptr);
      // Bold, as the run's red outcomes are.
      SetCtrlAttribute(box.panel, box.control, ATTR_TEXT_BOLD, 1);
      for (const std::string& text : box.texts) {
        int need = 0, room = 0;
        TextRoom::Fits(edit, QString::fromStdString(text), &need, &room);
        const std::string key = (box.panel == pPopup ? "recorder: " : "main: ") + text;
        if (!lack.count(key) || need - room > lack[key]) {
          lack[key] = need - room;
          worst[key] = std::to_string(need) + " pixels for " + std::to_string(room) + " at " +
                       std::to_string(hundredths) + "%";
        }
      }
    }
  }
  for (const auto& [key, by] : lack) EXPECT_LE(by, 0) << key << ": " << worst[key];
}

}  // namespace
