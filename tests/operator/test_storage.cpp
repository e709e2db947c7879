// Target buttons, send and get, and the parameter file, operated on the real panel.
#include <QTest>

#include <array>
#include <fstream>
#include <sstream>

#include "app/storage.h"
#include "display/panel.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "platform/ui/userint_qt.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "platform/serial/rs232.h"
#include "recorder/recfile.h"
#include "operator_fixture.h"
#include "resources/panels.h"
#include "support/ui_helpers.h"

namespace {

using Orders = std::vector<std::uint16_t>;

class StorageTest : public OperatorTest {};

std::array<int, 3> Targets() {
  std::array<int, 3> v{-1, -1, -1};
  GetCtrlVal(pHandle, MAIN_RBTRam, &v[0]);
  GetCtrlVal(pHandle, MAIN_RBTEeprom, &v[1]);
  GetCtrlVal(pHandle, MAIN_RBTFile, &v[2]);
  return v;
}

std::array<u16, PNUM> Settings() {
  return {power, tolMode, vThd,      anaMode, polarity,  eMode,   eBeg,    eEnd,
          tVal,  tTol,    opMode,    eHardware, slope,   intersect, average, powMode};
}

// Every setting the panel shows, in the packet's order (the offset has no control: -1).
std::array<int, PNUM> Shown() {
  const int ids[PNUM] = {MAIN_NUMpower,      MAIN_RNGtolMode,  MAIN_NUMVideoThreshold, MAIN_RNGanaMode,
                         MAIN_RNGpolarity,   MAIN_RNGeMode,    MAIN_NEDITEdgeLeft,     MAIN_NEDITEdgeRight,
                         MAIN_NUMtVal,       MAIN_NEDITTolerance, MAIN_BINSWopMode,    MAIN_DropHardwareMode,
                         MAIN_NUMslope,      0,                MAIN_NUMaverage,        MAIN_RNGpowMode};
  std::array<int, PNUM> v{};
  for (int i = 0; i < PNUM; ++i) {
    v[i] = -1;
    if (ids[i]) GetCtrlVal(pHandle, ids[i], &v[i]);
  }
  return v;
}

// Puts the settings into the globals and onto the panel, as a read does.
void ShowSettings(const std::array<u16, PNUM>& s) {
  power = s[0], tolMode = s[1], vThd = s[2], anaMode = s[3], polarity = s[4], eMode = s[5];
  eBeg = s[6], eEnd = s[7], tVal = s[8], tTol = s[9], opMode = s[10], eHardware = s[11];
  slope = s[12], intersect = s[13], average = s[14], powMode = s[15];
  SetPanelValues();
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteWhole(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST_F(StorageTest, TargetButtonsKeepExactlyOneOnAndFallBackToRam) {
  struct Step {
    int click;
    std::array<int, 3> buttons;  // RAM, EEPROM, file
    int target;
  } steps[] = {
      {MAIN_RBTRam, {1, 0, 0}, RAM},         // already on: stays on
      {MAIN_RBTEeprom, {0, 1, 0}, EEPROM},
      {MAIN_RBTFile, {0, 0, 1}, DATFILE},
      {MAIN_RBTFile, {1, 0, 0}, RAM},        // file switched off
      {MAIN_RBTEeprom, {0, 1, 0}, EEPROM},
      {MAIN_RBTEeprom, {1, 0, 0}, RAM},      // EEPROM switched off
      {MAIN_RBTFile, {0, 0, 1}, DATFILE},
      {MAIN_RBTRam, {1, 0, 0}, RAM},
  };
  int n = 0;
  for (const Step& s : steps) {
    Click(s.click);
    PumpFor(0.02);
    EXPECT_EQ(Targets(), s.buttons) << "step " << n;
    EXPECT_EQ(target, s.target) << "step " << n;
    ++n;
  }
}

TEST_F(StorageTest, SendWritesThePanelsSettingsToRamOrEepromWithoutFlushingOrWaiting) {
  OpenLink();
  struct Case {
    int button;
    std::uint16_t order;
  } cases[] = {{MAIN_RBTRam, 1}, {MAIN_RBTEeprom, 3}};
  for (const Case& c : cases) {
    if (target != (c.order == 1 ? RAM : EEPROM)) Click(c.button);
    PumpFor(0.02);
    SetCtrlVal(pHandle, MAIN_NUMpower, 500);
    SetCtrlVal(pHandle, MAIN_NUMtVal, 345);
    power = 1;
    // Bytes that wait in the input queue are not thrown away by a send.
    RemoveReceiveCallback();
    peer_.send(PeerBytes(10, 0x33));
    ASSERT_TRUE(PumpUntil([] { return GetInQLen(com) == 10; }, 1.0));
    peer_.clearFrames();
    Click(MAIN_BTNSend);
    ASSERT_TRUE(PumpUntil([&] { return !peer_.frames().empty(); }, 1.0)) << c.order;
    PumpFor(0.02);
    const PeerFrame f = peer_.frames().at(0);
    EXPECT_EQ(f.order(), c.order);
    EXPECT_EQ(f.word(0), 500);
    EXPECT_EQ(f.word(8), 345);
    EXPECT_EQ(power, 500) << "the panel was read first";
    EXPECT_EQ(GetInQLen(com), 10) << c.order;
    EXPECT_EQ(Status(), "Line Ok!");
    FlushInQ(com);
    InstallReceiveCallback();
  }
}

TEST_F(StorageTest, KeyboardCommitOnSendSendsNothingButGetWorksFromTheKeyboard) {
  model_ = AnswerWithModel(peer_);
  OpenLink();
  ResetTextBox(pHandle, MAIN_TBOXstatus, "before");
  Key(MAIN_BTNSend, Qt::Key_Return);
  PumpFor(0.3);
  EXPECT_TRUE(peer_.frames().empty());
  EXPECT_EQ(Status(), "before");

  Key(MAIN_BTNGet, Qt::Key_Return);
  ASSERT_TRUE(PumpUntil([] { return Status() == "Parameter-frame received! - Line Ok!"; }, 2.0)) << Status();
  EXPECT_EQ(peer_.orders(), (Orders{2}));
  EXPECT_EQ(power, model_->ram()[0]);
}

TEST_F(StorageTest, SendToAPortThatIsNotOpenSaysSo) {
  CloseCom(com);
  Click(MAIN_BTNSend);
  PumpFor(0.05);
  EXPECT_EQ(Status(), "Port is not open");
}

TEST_F(StorageTest, FileRoundTripRestoresEverySettingAndThePanel) {
  const std::array<u16, PNUM> saved = {432, 2, 300, 1, 0, 2, 100, 900, 450, 60, 1, 2, 2048, 31000, 8, 1};
  const std::array<u16, PNUM> other = {700, 5, 800, 0, 1, 4, 50, 1000, 200, 30, 0, 0, 512, 100, 64, 2};
  ShowSettings(saved);
  power = tVal = 0;  // the file takes what the panel shows, not the globals
  intersect = 31000;  // no control shows it: the file takes the global
  Click(MAIN_RBTFile);
  PumpFor(0.02);
  ASSERT_EQ(target, DATFILE);

  const std::string path = dataDir_ + "/round.dat";
  QueueFileSelectAnswer(VAL_NEW_FILE_SELECTED, path.c_str());
  Click(MAIN_BTNSend);
  PumpFor(0.05);
  EXPECT_EQ(Status(), "Transmit...");
  EXPECT_EQ(ReadWhole(path),
            "  432\r\n    2\r\n  300\r\n    1\r\n    0\r\n    2\r\n  100\r\n  900\r\n"
            "  450\r\n   60\r\n    1\r\n    2\r\n 2048\r\n31000\r\n    8\r\n    1\r\n");

  ShowSettings(other);
  ASSERT_EQ(Settings(), other);
  QueueFileSelectAnswer(VAL_EXISTING_FILE_SELECTED, path.c_str());
  Click(MAIN_BTNGet);
  PumpFor(0.05);
  EXPECT_EQ(Settings(), saved);
  auto shown = Shown();
  for (int i = 0; i < PNUM; ++i) {
    if (shown[i] != -1) {
      EXPECT_EQ(shown[i], saved[i]) << "word " << i;
    }
  }
  EXPECT_TRUE(peer_.frames().empty()) << "the file target talks to no sensor";

  const auto& log = PopupLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].kind, "file");
  EXPECT_EQ(log[0].title, PARA_SAVE_TITLE);
  EXPECT_EQ(log[0].message, "KVORpara.dat");
  EXPECT_EQ(log[1].title, PARA_LOAD_TITLE);
  EXPECT_EQ(log[1].message, "KVORpara.dat");
  EXPECT_EQ(std::string(file_name), path);
}

TEST_F(StorageTest, ValuesAbove16BitsKeepTheirLowBitsAndLooseLayoutsAreRead) {
  SetCtrlVal(pHandle, MAIN_RBTFile, 1);
  target = DATFILE;
  const std::string path = dataDir_ + "/loose.dat";
  // LF line ends, blanks on either side, the slope 70000 beyond 16 bits.
  WriteWhole(path, "500\n 1 \n\t512\n0\n1\n1\n1\n1024\n512\n100\n0\n1\n70000  \n30000\n0\n0");
  QueueFileSelectAnswer(VAL_EXISTING_FILE_SELECTED, path.c_str());
  Key(MAIN_BTNGet, Qt::Key_Return);
  PumpFor(0.05);
  EXPECT_EQ(slope, 4464);
  EXPECT_EQ(tolMode, 1);
  int shown = 0;
  GetCtrlVal(pHandle, MAIN_NUMslope, &shown);
  EXPECT_EQ(shown, 4464);
}

TEST_F(StorageTest, BadOrMissingFilesChangeNothingAndSaySo) {
  SetCtrlVal(pHandle, MAIN_RBTFile, 1);
  target = DATFILE;
  const std::array<u16, PNUM> before = {432, 2, 300, 1, 0, 2, 100, 900, 450, 60, 1, 2, 2048, 31000, 8, 1};
  std::string sixteen;
  for (int i = 0; i < 16; ++i) sixteen += "  100\r\n";
  std::string binary;
  for (int i = 0; i < 200; ++i) binary += static_cast<char>((i * 73 + 11) & 0xFF);
  struct Case {
    const char* what;
    std::string bytes;
    bool create;
  } cases[] = {
      {"fifteen numbers", sixteen.substr(0, 15 * 7), true},
      {"a word", "  abc\r\n" + sixteen.substr(7), true},
      {"a negative number", "   -5\r\n" + sixteen.substr(7), true},
      {"beyond 32 bits", "4294967296\r\n" + sixteen.substr(7), true},
      {"empty", "", true},
      {"binary", binary, true},
      {"larger than any parameter file", std::string(PARA_FILE_MAX_BYTES + 1, ' ') + sixteen, true},
      {"missing", "", false},
  };
  for (const Case& c : cases) {
    ShowSettings(before);
    const std::string path = dataDir_ + "/bad.dat";
    DeleteFile(path.c_str());
    if (c.create) WriteWhole(path, c.bytes);
    ResetTextBox(pHandle, MAIN_TBOXstatus, "before");
    QueueFileSelectAnswer(VAL_EXISTING_FILE_SELECTED, path.c_str());
    Click(MAIN_BTNGet);
    PumpFor(0.05);
    EXPECT_EQ(Status(), PARA_READ_FAILED) << c.what;
    EXPECT_EQ(Settings(), before) << c.what;
    EXPECT_EQ(Shown()[0], 432) << c.what;
  }
  // A directory cannot be read as a file either.
  QueueFileSelectAnswer(VAL_EXISTING_FILE_SELECTED, dataDir_.c_str());
  Click(MAIN_BTNGet);
  PumpFor(0.05);
  EXPECT_EQ(Status(), PARA_READ_FAILED);
  EXPECT_EQ(Settings(), before);
}

TEST_F(StorageTest, CancelledDialogsChangeNothing) {
  SetCtrlVal(pHandle, MAIN_RBTFile, 1);
  target = DATFILE;
  const std::array<u16, PNUM> before = {432, 2, 300, 1, 0, 2, 100, 900, 450, 60, 1, 2, 2048, 31000, 8, 1};
  ShowSettings(before);
  CopyText(file_name, "");
  QueueFileSelectAnswer(VAL_NO_FILE_SELECTED, "");
  Click(MAIN_BTNSend);
  PumpFor(0.05);
  EXPECT_EQ(Status(), "Transmit...");
  QueueFileSelectAnswer(VAL_NO_FILE_SELECTED, "");
  Click(MAIN_BTNGet);
  PumpFor(0.05);
  EXPECT_EQ(Settings(), before);
  EXPECT_STREQ(file_name, "");
  EXPECT_EQ(PopupLog().size(), 2u);
}

TEST_F(StorageTest, AGoodFileAfterAFailedOneShowsNoFailure) {
  SetCtrlVal(pHandle, MAIN_RBTFile, 1);
  target = DATFILE;
  const std::string good = dataDir_ + "/good.dat";
  const std::string bad = dataDir_ + "/no-such-folder/para.dat";
  struct Step {
    const char* what;
    int button;
    const char* path;
    int answer;
    const char* status;
  } steps[] = {
      {"write fails", MAIN_BTNSend, bad.c_str(), VAL_NEW_FILE_SELECTED, PARA_WRITE_FAILED},
      {"write succeeds", MAIN_BTNSend, good.c_str(), VAL_NEW_FILE_SELECTED, "Transmit..."},
      {"read after it", MAIN_BTNGet, good.c_str(), VAL_EXISTING_FILE_SELECTED, ""},
      {"read fails", MAIN_BTNGet, bad.c_str(), VAL_EXISTING_FILE_SELECTED, PARA_READ_FAILED},
      {"read succeeds", MAIN_BTNGet, good.c_str(), VAL_EXISTING_FILE_SELECTED, ""},
  };
  for (const Step& s : steps) {
    QueueFileSelectAnswer(s.answer, s.path);
    Click(s.button);
    PumpFor(0.05);
    EXPECT_EQ(Status(), s.status) << s.what;
  }
}

TEST_F(StorageTest, AFileThatCannotBeWrittenSaysSo) {
  SetCtrlVal(pHandle, MAIN_RBTFile, 1);
  target = DATFILE;
  const std::string path = dataDir_ + "/no-such-folder/para.dat";
  QueueFileSelectAnswer(VAL_NEW_FILE_SELECTED, path.c_str());
  Click(MAIN_BTNSend);
  PumpFor(0.05);
  EXPECT_EQ(Status(), PARA_WRITE_FAILED);
  EXPECT_EQ(GetFileInfo(path.c_str(), nullptr), 0);
}

// SEND with File asks before it replaces a file and never replaces the file a recording run
// holds (as its header left it); what was not saved is said on the status line.
TEST_F(StorageTest, SendToAFileAsksBeforeReplacingAndRefusesTheRecordersFile) {
  Click(MAIN_RBTFile);
  PumpFor(0.02);
  ASSERT_EQ(target, DATFILE);
  const std::string para = dataDir_ + "/para.dat";
  const std::string run = dataDir_ + "/RUN.DAT";
  CopyText(szRunFile, run.c_str());
  ASSERT_EQ(writeFileHeader(), 0);
  const std::string header = ReadWhole(run);
  ASSERT_FALSE(header.empty());
  struct Case {
    const char* what;
    std::string path;
    int answer;  // to the question; -1 when none may be asked
    bool written;
    const char* status;
  };
  const Case cases[] = {
      {"declined", para, 0, false, "Parameter file not saved: para.dat kept as it was"},
      {"confirmed", para, 1, true, "Transmit..."},
      {"the recorder's file", run, -1, false, "Parameter file not saved: RUN.DAT is the file of the running recording!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.path == para) WriteWhole(para, "old");
    const std::string before = ReadWhole(c.path);
    ResetPopupLog();
    if (c.answer >= 0) QueueConfirmAnswer(c.answer);
    QueueFileSelectAnswer(VAL_EXISTING_FILE_SELECTED, c.path.c_str());
    Click(MAIN_BTNSend);
    PumpFor(0.05);
    EXPECT_EQ(Status(), c.status);
    EXPECT_EQ(ReadWhole(c.path) != before, c.written);
    size_t asked = 0;
    for (const PopupRecord& p : PopupLog()) asked += p.kind == "confirm";
    EXPECT_EQ(asked, c.answer >= 0 ? 1u : 0u);
  }
  ReleaseRunFile();
}

// A file with values out of range is repaired on the panel, and the panel says which: each
// repaired field is marked and its tooltip tells what the file held. The status line is what a
// good file leaves today (empty), and a clean file read next takes the marks away.
TEST_F(StorageTest, RepairedFileValuesAreMarkedWithWhatTheFileHeld) {
  SetCtrlVal(pHandle, MAIN_RBTFile, 1);
  target = DATFILE;
  const std::string path = dataDir_ + "/repaired.dat";
  // Power 70000 (beyond 16 bits and out of range), window right 2000 (beyond the line), slope
  // 70000 (in range only once cut to 16 bits).
  WriteWhole(path, "70000\n0\n512\n0\n1\n1\n1\n2000\n512\n100\n0\n1\n70000\n30000\n0\n0\n");
  auto tip = [](int id) { return CtrlWidget(pHandle, id)->toolTip().toStdString(); };
  auto background = [](int id) {
    int colour = 0;
    GetCtrlAttribute(pHandle, id, ATTR_TEXT_BGCOLOR, &colour);
    return colour;
  };
  QueueFileSelectAnswer(VAL_EXISTING_FILE_SELECTED, path.c_str());
  Click(MAIN_BTNGet);
  PumpFor(0.05);
  EXPECT_EQ(Status(), "");
  const struct {
    int id;
    const char* held;
  } repaired[] = {{MAIN_NUMpower, "70000"}, {MAIN_NEDITEdgeRight, "2000"}, {MAIN_NUMslope, "70000"}};
  for (const auto& r : repaired) {
    EXPECT_EQ(background(r.id), REPAIRED_COLOUR) << r.id;
    EXPECT_NE(tip(r.id).find(std::string("held ") + r.held), std::string::npos) << tip(r.id);
  }
  EXPECT_NE(tip(MAIN_NUMpower).find("repaired to 500"), std::string::npos) << tip(MAIN_NUMpower);
  for (int id : {MAIN_NUMVideoThreshold, MAIN_NEDITEdgeLeft, MAIN_NUMtVal, MAIN_NEDITTolerance, MAIN_NUMaverage}) {
    EXPECT_EQ(background(id), -1) << id;
    EXPECT_EQ(tip(id), "") << id;
  }

  WriteWhole(path, "500\n0\n512\n0\n1\n1\n1\n1000\n512\n100\n0\n1\n1024\n30000\n0\n0\n");
  QueueFileSelectAnswer(VAL_EXISTING_FILE_SELECTED, path.c_str());
  Click(MAIN_BTNGet);
  PumpFor(0.05);
  // The repair marks are gone; the right edge the sensor does not hold (1000) is unsent.
  for (const auto& r : repaired) {
    EXPECT_EQ(background(r.id), r.id == MAIN_NEDITEdgeRight ? UNSENT_COLOUR : -1) << r.id;
    EXPECT_EQ(tip(r.id).rfind("Not sent yet", 0) == 0, r.id == MAIN_NEDITEdgeRight) << tip(r.id);
  }
}

}  // namespace
