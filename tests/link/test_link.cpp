// The sensor link over a real pseudo-terminal: line check, identification, read-back, the
// measurement cycle and the data blocks, against the virtual sensor's model and against a
// scripted peer that answers given bytes.
#include <gtest/gtest.h>

#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "state/globals.h"
#include "display/gui.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "link/com232_codec.h"
#include "platform/serial/rs232.h"
#include "resources/panels.h"
#include "sensor/model.h"
#include "sensor/profiles.h"
#include "support/scripted_peer.h"
#include "support/ui_helpers.h"
#include "link_fixture.h"

namespace {

std::string Status() {
  char buf[TEXT_SIZE];
  GetCtrlVal(pHandle, MAIN_TBOXstatus, buf);
  return buf;
}

class LinkTest : public LinkFixture {
 protected:
  // Answers each order with the given bytes.
  void AnswerOrder(std::uint16_t order, PeerBytes bytes, int delayMs = 0) {
    answers_[order] = {std::move(bytes), std::chrono::milliseconds(delayMs)};
    peer_.setResponder([this](const PeerFrame& f) {
      std::vector<PeerReply> out;
      auto it = answers_.find(f.order());
      if (it != answers_.end()) out.push_back(it->second);
      return out;
    });
  }
  std::map<std::uint16_t, PeerReply> answers_;
};

// ---- start-up against the virtual sensor ----

TEST_F(LinkTest, StartUpChecksIdentifiesReadsBackAndShowsTheFirmwareText) {
  const rorir::sensor::Profile* profile = rorir::sensor::findProfile("t101");
  ASSERT_NE(profile, nullptr);
  rorir::sensor::ModelOptions options;
  options.profile = profile;
  auto model = std::make_shared<rorir::sensor::Model>(options);
  peer_.setResponder([model](const PeerFrame& f) {
    std::vector<PeerReply> out;
    if (auto a = model->request(f.bytes, rorir::sensor::Nanos{0})) out.push_back({a->bytes, {}});
    return out;
  });
  power = 321;
  vThd = 400;
  InitRS232(com);

  ASSERT_EQ(peer_.orders(), (std::vector<std::uint16_t>{5, 10, 2, 7}));
  for (const PeerFrame& f : peer_.frames()) EXPECT_EQ(f.sync(), 0x0055);
  EXPECT_EQ(peer_.frames()[1].word(0), 0x00AA);  // the echo's sync word rides along
  EXPECT_EQ(peer_.frames()[2].word(0), 321);     // the read request carries the settings
  EXPECT_EQ(peer_.frames()[2].word(2), 400);
  // The settings and the panel now hold the sensor's RAM set.
  const auto& ram = model->ram();
  EXPECT_EQ(power, ram[0]);
  EXPECT_EQ(vThd, ram[2]);
  EXPECT_EQ(eEnd, ram[7]);
  u16 shown = 0;
  GetCtrlVal(pHandle, MAIN_NUMpower, &shown);
  EXPECT_EQ(shown, ram[0]);
  // Identified as type 101, and the status line ends with the firmware text.
  EXPECT_EQ(ccdtype, 101);
  EXPECT_EQ(pixE, 256);
  EXPECT_GT(std::string(szStatus).size(), 0u);
  EXPECT_EQ(Status(), std::string(szStatus));
  EXPECT_EQ(Status().find("Error"), std::string::npos) << Status();
  EXPECT_EQ(Status().find("Timeout"), std::string::npos) << Status();
}

// ---- the line check ----

TEST_F(LinkTest, SilentLineTimesOutAndSendsNothingFurther) {
  const double start = Timer();
  InitRS232(com);
  EXPECT_GT(Timer() - start, TIMEOUT);
  EXPECT_EQ(Status(), "Timeout-RS-232...");
  EXPECT_EQ(peer_.orders(), (std::vector<std::uint16_t>{5}));
}

TEST_F(LinkTest, EchoCheckOutcomes) {
  struct Case {
    const char* what;
    PeerBytes answer;
    int result;
    const char* status;
  } cases[] = {
      {"proper answer", SensorFrame(5, {}), 1, "Echo Check - Line Ok!"},
      {"request echoed unchanged", SensorFrame(5, {}, 0x0055), 0, "read error - not sync byte 0xAA!"},
      {"40 bytes", [] { auto f = SensorFrame(5, {}); f.insert(f.end(), 4, 0xEE); return f; }(), 1,
       "Echo Check - Line Ok!"},
      {"35 bytes", [] { auto f = SensorFrame(5, {}); f.pop_back(); return f; }(), 0, "Timeout-RS-232..."},
  };
  OpenPort();
  for (const Case& c : cases) {
    AnswerOrder(5, c.answer);
    EXPECT_EQ(CheckComLine(com), c.result) << c.what;
    EXPECT_EQ(Status(), c.status) << c.what;
    PumpFor(0.05);
    // Whatever came beyond a frame was discarded with it.
    if (c.result == 1) {
      EXPECT_EQ(GetInQLen(com), 0) << c.what;
    }
    FlushInQ(com);
  }
  // After a good answer word 0 holds the sync word the sensor sent.
  AnswerOrder(5, SensorFrame(5, {}));
  ASSERT_EQ(CheckComLine(com), 1);
  EXPECT_EQ(pp[0], 0x00AA);
}

TEST_F(LinkTest, PortsThatCannotBeOpenedShowTheirText) {
  std::string dir = MakeTempDir();
  std::string plain = dir + "/not-a-tty";
  std::ofstream(plain) << "x";
  struct Case {
    std::string device;
    const char* status;
  } cases[] = {{dir + "/absent", "No serial port found"}, {plain, "Cannot open port"}};
  for (const Case& c : cases) {
    setenv("RORIR_COM1", c.device.c_str(), 1);
    InitRS232(com);
    EXPECT_EQ(Status(), c.status) << c.device;
  }
  EXPECT_TRUE(peer_.frames().empty());
  RemoveTree(dir);

  const std::pair<int, const char*> texts[] = {
      {-1, "Unknown system error"}, {-2, "Invalid port number"}, {-3, "Port is not open"},
      {-4, "Unknown I/0 error"},    {-5, "RS-232 error!"},       {-6, "No serial port found"},
      {-7, "Cannot open port"},     {-8, "RS-232 error!"},       {-12, "RS-232 error!"},
      {-13, "Invalid parameter"},   {-14, "RS-232 error!"},      {-99, "Timeout"},
      {-100, "RS-232 error!"}};
  for (auto [code, text] : texts) EXPECT_STREQ(ComOpenErrorText(code), text) << code;
}

// ---- identification ----

struct HardwareCase {
  const char* what;
  std::uint16_t order;
  std::vector<std::uint16_t> words;  // type, pixels, resolution, board, x8, subpixel, first, last, firmware
  int result;
  u16 pixB, pixE, yAxisMax, subpixel;
  double xStep;                      // xArray8[i] = i * xStep
  const char* onText;                // nullptr: unchanged
};

class IdentificationTest : public LinkTest {};

TEST_F(IdentificationTest, HardwareAnswersSetGeometryScalesAndPanel) {
  const HardwareCase cases[] = {
      {"type 101", 10, {101, 1024, 0, 0, 8192, 8192, 1, 1024, 221}, 1, 1, 256, 1024, 8192, 32, "ADC-CNV"},
      {"type 2 / 350 / fw 220", 10, {2, 1024, 350, 0, 8192, 1024, 1, 1024, 220}, 1, 1, 1024, 256, 1024, 4, "HI-GAIN"},
      {"type 2 / 350 / fw 221", 10, {2, 1024, 350, 0, 8192, 1024, 1, 1024, 221}, 1, 1, 1024, 1024, 1024, 4, "HI-GAIN"},
      {"type 102 / fw 221", 10, {102, 768, 0, 0, 6144, 768, 1, 768, 221}, 1, 1, 768, 1024, 768, 3, "ADC-CNV"},
      {"type 2 / 750 keeps the window", 10, {2, 1024, 750, 0, 8192, 1024, 1, 1024, 221}, 1, 7, 777, 1024, 1024, 4, "HI-GAIN"},
      {"sub-pixel 1000", 10, {1, 1024, 0, 0, 8192, 1000, 1, 1024, 221}, 1, 1, 1024, 1024, 256, 1, nullptr},
      {"unknown type", 10, {77, 1024, 0, 0, 8192, 2048, 1, 1024, 221}, 1, 1, 1024, 1024, 2048, 8, "ADC-CNV"},
  };
  OpenPort();
  for (const HardwareCase& c : cases) {
    pixB = 7;
    pixE = 777;
    AnswerOrder(10, SensorFrame(c.order, c.words));
    EXPECT_EQ(GetHARDWAREInfo(), c.result) << c.what;
    EXPECT_EQ(pixB, c.pixB) << c.what;
    EXPECT_EQ(pixE, c.pixE) << c.what;
    EXPECT_EQ(YAXISMAX, c.yAxisMax) << c.what;
    EXPECT_EQ(ccdsubpixel, c.subpixel) << c.what;
    EXPECT_DOUBLE_EQ(xArray8[1], c.xStep) << c.what;
    EXPECT_DOUBLE_EQ(xArray8[255], 255 * c.xStep) << c.what;
    EXPECT_EQ(softversion, c.words[8]) << c.what;
    double mn = 0, mx = 0;
    GetAxisScalingMode(pHandle, MAIN_GRAPHvideo, VAL_BOTTOM_XAXIS, nullptr, &mn, &mx);
    EXPECT_DOUBLE_EQ(mx, c.words[5]) << c.what << ": the axis takes the received sub-pixel range";
    if (c.onText) {
      SetCtrlVal(pHandle, MAIN_BINSWopMode, 1);
      auto controls = InspectPanelControls(pHandle);
      auto sw = std::find_if(controls.begin(), controls.end(), [](auto& x) { return x.id == MAIN_BINSWopMode; });
      EXPECT_EQ(sw->text, c.onText) << c.what;
    }
    // Type 101 shows the gap fields and relabels the analog ring's item 1; every other type
    // finds them as the panel has them, whatever sensor came before.
    const bool gapSensor = c.words[0] == 101;
    char label[32];
    GetLabelFromIndex(pHandle, MAIN_RNGanaMode, 1, label, sizeof label);
    EXPECT_STREQ(label, gapSensor ? "GAP-VALUE" : "M-value, inverted") << c.what;
    for (int id : {MAIN_NUMgapPix, MAIN_NUMedcnt}) {
      int visible = -1;
      GetCtrlAttribute(pHandle, id, ATTR_VISIBLE, &visible);
      EXPECT_EQ(visible, gapSensor ? 1 : 0) << c.what;
    }
  }
}

TEST_F(IdentificationTest, BoardTypeAndWrongOrderWord) {
  OpenPort();
  int dimmed = -1;
  AnswerOrder(10, SensorFrame(10, {1, 1024, 0, 99, 8192, 1024, 1, 1024, 221}));
  ASSERT_EQ(GetHARDWAREInfo(), 1);
  GetCtrlAttribute(pHandle, MAIN_RNGanaMode, ATTR_DIMMED, &dimmed);
  EXPECT_EQ(dimmed, 1);
  AnswerOrder(10, SensorFrame(10, {1, 1024, 0, 100, 8192, 1024, 1, 1024, 221}));
  ASSERT_EQ(GetHARDWAREInfo(), 1);
  for (int id : {MAIN_RNGanaMode, MAIN_ButtonReset, MAIN_NUManaMax, MAIN_NUManaMin}) {
    GetCtrlAttribute(pHandle, id, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 0) << id;
  }
  // An answer with order word 8 fills the fields but changes nothing else.
  pixE = 500;
  SetAxisScalingMode(pHandle, MAIN_GRAPHvideo, VAL_BOTTOM_XAXIS, VAL_MANUAL, 1.0, 1234.0);
  AnswerOrder(10, SensorFrame(8, {3, 512, 0, 0, 4096, 512, 1, 512, 221}));
  EXPECT_EQ(GetHARDWAREInfo(), 0);
  EXPECT_EQ(ccdtype, 3);
  EXPECT_EQ(ccdmaxpixel, 512);
  EXPECT_EQ(pixE, 500);
  double mx = 0;
  GetAxisScalingMode(pHandle, MAIN_GRAPHvideo, VAL_BOTTOM_XAXIS, nullptr, nullptr, &mx);
  EXPECT_DOUBLE_EQ(mx, 1234.0);
  // No answer at all.
  peer_.setResponder(nullptr);
  EXPECT_EQ(GetHARDWAREInfo(), 0);
  EXPECT_STREQ(szStatus, "Timeout-RS-232...");
}

PeerBytes WordCodedText(const std::string& text) {
  PeerBytes b(72, 0);
  for (size_t i = 0; i < text.size() && i < 36; ++i) {
    b[2 * i] = 0x7F;  // the high byte is ignored
    b[2 * i + 1] = static_cast<std::uint8_t>(text[i]);
  }
  return b;
}

TEST_F(IdentificationTest, FirmwareTextInBothEncodingsAndItsFailures) {
  OpenPort();
  pcbtype = 0;
  AnswerOrder(7, WordCodedText("FW 2.21 ROR-TEST"));
  EXPECT_EQ(GetVERSIONInfo(), 72);
  EXPECT_EQ(Status(), "FW 2.21 ROR-TEST");
  EXPECT_STREQ(szVersion, "FW 2.21 ROR-TEST");

  pcbtype = 5;
  PeerBytes plain(72, 0);
  std::string text = "Rorir edge sensor firmware 3.0";
  std::copy(text.begin(), text.end(), plain.begin());
  AnswerOrder(7, plain);
  EXPECT_EQ(GetVERSIONInfo(), 72);
  EXPECT_EQ(Status(), text);

  // Plain text filling all 72 bytes: the status shows what fits, terminated.
  AnswerOrder(7, PeerBytes(72, 'A'));
  EXPECT_EQ(GetVERSIONInfo(), 72);
  EXPECT_EQ(Status(), std::string(71, 'A'));

  // 71 bytes: the wait ends after 2.0 s with its own text; the caller reports below 72.
  AnswerOrder(7, PeerBytes(71, 'B'));
  const double start = Timer();
  EXPECT_EQ(GetVERSIONInfo(), 71);
  EXPECT_GT(Timer() - start, FIRMWARE_TIMEOUT);
  EXPECT_EQ(Status(), "Timeout - reading firmware info!");

  // The callback is back in place afterwards: a frame is taken in again.
  AnswerOrder(5, SensorFrame(5, {}));
  EXPECT_EQ(CheckComLine(com), 1);
}

// ---- read-back ----

TEST_F(LinkTest, ReadBackTakesTheSensorsSetForEachTarget) {
  OpenPort();
  std::vector<std::uint16_t> set = {600, 2, 300, 3, 0, 2, 10, 900, 450, 60, 1, 2, 2048, 31000, 8, 1};
  AnswerOrder(2, SensorFrame(2, set));
  AnswerOrder(4, SensorFrame(4, set));
  PushGET(RAM);
  EXPECT_EQ(peer_.orders().back(), 2);
  EXPECT_STREQ(szStatus, "Parameter-frame received! - Line Ok!");
  EXPECT_EQ(power, 600);
  EXPECT_EQ(tVal, 450);
  EXPECT_EQ(intersect, 31000);
  int shown = 0;
  GetCtrlVal(pHandle, MAIN_NUMtVal, &shown);
  EXPECT_EQ(shown, 450);
  PushGET(EEPROM);
  EXPECT_EQ(peer_.orders().back(), 4);

  // The file target sends nothing and refreshes the panel from the settings.
  const size_t sent = peer_.frames().size();
  tVal = 77;
  PushGET(DATFILE);
  PumpFor(0.05);
  EXPECT_EQ(peer_.frames().size(), sent);
  GetCtrlVal(pHandle, MAIN_NUMtVal, &shown);
  EXPECT_EQ(shown, 77);

  // A time-out leaves the settings as they were and still shows them.
  peer_.setResponder(nullptr);
  tVal = 88;
  PushGET(RAM);
  EXPECT_STREQ(szStatus, "Timeout-RS-232...");
  EXPECT_EQ(tVal, 88);
  GetCtrlVal(pHandle, MAIN_NUMtVal, &shown);
  EXPECT_EQ(shown, 88);
}

// ---- the measurement cycle ----

int CountTrendSamples() {
  // Samples are appended at the end of the history; untouched entries are still zero.
  int n = 0;
  for (int k = 99; k >= 0 && arrayNORM[6 * k + 2] != 0.0; --k) ++n;
  return n;
}

TEST_F(LinkTest, CycleDrawsEveryResultFrameAndEndsWhenTheSensorFallsSilent) {
  OpenPort();
  int answered = 0;
  peer_.setResponder([&answered](const PeerFrame& f) {
    std::vector<PeerReply> out;
    if (f.order() != 8) return out;
    ++answered;
    if (answered == 1) out.push_back({SensorFrame(2, {}), {}});  // not a result frame
    else if (answered <= 11) out.push_back({SensorFrame(8, {100, 200, 150, 0, 0, 400, 30, 2}), {}});
    return out;
  });
  std::fill(std::begin(arrayNORM), std::end(arrayNORM), 0.0);
  PushRUN();
  EXPECT_EQ(Status(), "Timeout RS232-Line!");
  EXPECT_EQ(stop_flag, 1);
  // Twelve requests: the first answer was not a result frame but still answered.
  EXPECT_EQ(peer_.orders().size(), 12u);
  EXPECT_EQ(CountTrendSamples(), 10);
  EXPECT_EQ(Ledge, 100);
  EXPECT_EQ(tVal, 400);  // echoed by the sensor
  for (int id : {MAIN_BTNRun, MAIN_BTNVideo, MAIN_ButtonTeach}) {
    int dimmed = -1;
    GetCtrlAttribute(pHandle, id, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 0) << id;
  }
  int visible = -1;
  GetCtrlAttribute(pHandle, MAIN_CHARTraw, ATTR_VISIBLE, &visible);
  EXPECT_EQ(visible, 1);
  EXPECT_EQ(target, RAM);
}

TEST_F(LinkTest, StopEndsTheCycleAfterTheCurrentPassWithoutText) {
  OpenPort();
  peer_.answerLikeSensor({});
  QTimer::singleShot(300, [] { stop_flag = 1; });
  const double start = Timer();
  PushRUN();
  EXPECT_LT(Timer() - start, TIMEOUT);
  EXPECT_EQ(Status(), "Line Ok!");
  EXPECT_GT(peer_.frames().size(), 1u);
}

// ---- data blocks ----

TEST_F(LinkTest, DataBlocksOfEachLength) {
  OpenPort();
  RemoveReceiveCallback();
  PeerBytes block(128);
  for (int i = 0; i < 64; ++i) {
    block[2 * i] = 0x01;
    block[2 * i + 1] = static_cast<std::uint8_t>(0x2C + i);
  }
  AnswerOrder(9, block);
  EXPECT_EQ(ReadData64(64, 0), 1);
  EXPECT_EQ(Status(), "Data[64] block received!");
  EXPECT_EQ(adcbuf[64], 300);
  EXPECT_EQ(adcbuf[127], 300 + 63);
  const PeerFrame request = peer_.frames().back();
  EXPECT_EQ(request.order(), 9);
  EXPECT_EQ(request.word(0), 64);
  EXPECT_EQ(request.word(1), 0);

  // 130 bytes: all read, the first 128 decoded, the earlier text stays.
  PeerBytes longer = block;
  longer[0] = 0x00;
  longer[1] = 0x07;
  longer.push_back(0xEE);
  longer.push_back(0xEE);
  AnswerOrder(9, longer);
  CopyText(szStatus, "earlier text");
  EXPECT_EQ(ReadData64(192, 1), 1);
  EXPECT_EQ(adcbuf[192], 7);
  EXPECT_EQ(Status(), "earlier text");
  EXPECT_EQ(peer_.frames().back().word(1), 1);
  PumpFor(0.02);
  EXPECT_EQ(GetInQLen(com), 0);

  // 100 bytes: time-out text; 50 words from the new bytes, the rest from the old buffer.
  PeerBytes shorter(100, 0x00);
  for (int i = 0; i < 50; ++i) shorter[2 * i + 1] = 9;
  AnswerOrder(9, shorter);
  EXPECT_EQ(ReadData64(0, 0), 1);
  EXPECT_EQ(Status(), "Timeout-RS-232 while reading 64 data-words!");
  EXPECT_EQ(adcbuf[0], 9);
  EXPECT_EQ(adcbuf[49], 9);
  EXPECT_EQ(adcbuf[50], static_cast<u16>(longer[100] * 256 + longer[101]));
}

TEST_F(LinkTest, AnswerLongerThanTheReceiveBufferIsReadOnlyAsFarAsItFits) {
  OpenPort();
  RemoveReceiveCallback();
  AnswerOrder(9, PeerBytes(1500, 0x11));
  EXPECT_EQ(ReadData64(0, 0), 1);
  EXPECT_GE(nBytesR, 128);
  EXPECT_LE(nBytesR, IO_BUF_SIZE);
  EXPECT_EQ(adcbuf[0], 0x1111);
  PumpFor(0.05);
  FlushInQ(com);
  EXPECT_EQ(GetInQLen(com), 0);
}

}  // namespace
