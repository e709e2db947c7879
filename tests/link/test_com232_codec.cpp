// Frame codec and parameter packet: exact bytes of request frames, decoding of answers, and the
// settings and result mappings between pp and the globals.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "state/globals.h"
#include "link/com232_codec.h"

namespace {

using Frame = std::array<unsigned char, FRAME_SIZE>;

Frame SentFrame() {
  Frame f{};
  std::memcpy(f.data(), szWriteBuf, FRAME_SIZE);
  return f;
}

// An answer of the sensor: sync 0x00AA, the order word, then the words, all big-endian.
void PutAnswer(u16 order, const std::array<u16, PNUM>& words) {
  std::memset(szReadBuf, 0xEE, sizeof szReadBuf);
  szReadBuf[0] = 0x00;
  szReadBuf[1] = 0xAA;
  szReadBuf[2] = static_cast<unsigned char>(order >> 8);
  szReadBuf[3] = static_cast<unsigned char>(order);
  for (int i = 0; i < PNUM; ++i) {
    szReadBuf[4 + 2 * i] = static_cast<unsigned char>(words[i] >> 8);
    szReadBuf[5 + 2 * i] = static_cast<unsigned char>(words[i]);
  }
}

std::array<u16, PNUM> Ramp(u16 first, u16 step) {
  std::array<u16, PNUM> w{};
  for (int i = 0; i < PNUM; ++i) w[i] = static_cast<u16>(first + step * i);
  return w;
}

// Each setting global in the place of its parameter word.
u16* const kSettings[PNUM] = {&power, &tolMode, &vThd,   &anaMode,   &polarity, &eMode,
                              &eBeg,  &eEnd,    &tVal,   &tTol,      &opMode,   &eHardware,
                              &slope, &intersect, &average, &powMode};

}  // namespace

TEST(FillTxBuf, EchoOrderWithRampGivesTheDocumentedBytes) {
  for (int i = 0; i < PNUM; ++i) pp[i] = static_cast<u16>(i);
  FillTxBuf(ORDER_ECHO, pp);
  const Frame expected = {0x00, 0x55, 0x00, 0x05, 0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03,
                          0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00, 0x07, 0x00, 0x08, 0x00, 0x09,
                          0x00, 0x0A, 0x00, 0x0B, 0x00, 0x0C, 0x00, 0x0D, 0x00, 0x0E, 0x00, 0x0F};
  EXPECT_EQ(SentFrame(), expected);
}

TEST(FillTxBuf, EveryOrderGoesOutBigEndianBehindSync0055) {
  const u16 orders[] = {ORDER_WRITE_RAM,     ORDER_READ_RAM,     ORDER_WRITE_EEPROM,
                        ORDER_READ_EEPROM,   ORDER_ECHO,         ORDER_TEACH,
                        ORDER_FIRMWARE_INFO, ORDER_MEASURE,      ORDER_DATA_BLOCK,
                        ORDER_HARDWARE_INFO, ORDER_RESET_ANALOG, 0x0108};
  const std::array<u16, PNUM> words = Ramp(0x1111, 0x0101);
  for (u16 order : orders) {
    std::memset(szWriteBuf, 0xEE, sizeof szWriteBuf);
    FillTxBuf(order, words.data());
    const Frame f = SentFrame();
    EXPECT_EQ(f[0], 0x00) << order;
    EXPECT_EQ(f[1], 0x55) << order;
    EXPECT_EQ(f[2], order >> 8) << order;
    EXPECT_EQ(f[3], order & 0xFF) << order;
    for (int i = 0; i < PNUM; ++i) {
      EXPECT_EQ(f[4 + 2 * i], words[i] >> 8) << "order " << order << " word " << i;
      EXPECT_EQ(f[5 + 2 * i], words[i] & 0xFF) << "order " << order << " word " << i;
    }
    EXPECT_EQ(szWriteBuf[FRAME_SIZE], 0xEE) << "nothing is written past the frame";
  }
}

TEST(FillTxBuf, WordsKeepHighByteFirstWhateverTheirValue) {
  struct Case {
    int word;
    u16 value;
    unsigned char high, low;
  };
  const Case cases[] = {{0, 0x1234, 0x12, 0x34}, {7, 0xFFFF, 0xFF, 0xFF}, {8, 0x00FF, 0x00, 0xFF},
                        {15, 0xFF00, 0xFF, 0x00}, {3, 0x8001, 0x80, 0x01}};
  for (const Case& c : cases) {
    std::array<u16, PNUM> words{};
    words[c.word] = c.value;
    FillTxBuf(ORDER_WRITE_RAM, words.data());
    EXPECT_EQ(szWriteBuf[4 + 2 * c.word], c.high) << "word " << c.word;
    EXPECT_EQ(szWriteBuf[5 + 2 * c.word], c.low) << "word " << c.word;
  }
}

TEST(GetRxBuf, OnlyOrderWord0008MarksAResultFrame) {
  struct Case {
    u16 order;
    int result;
  };
  const Case cases[] = {{0x0008, 1}, {0x0108, 0}, {0x0800, 0}, {0x0002, 0},
                        {0x000A, 0}, {0x0000, 0}, {0xFF08, 0}};
  for (const Case& c : cases) {
    PutAnswer(c.order, Ramp(1, 1));
    EXPECT_EQ(GetRxBuf(PNUM), c.result) << std::hex << c.order;
  }
}

TEST(GetRxBuf, DecodesBigEndianWordsAndIgnoresTheSyncWord) {
  const std::array<u16, PNUM> words = {0x1234, 0xFFFF, 0x0000, 0x8000, 0x00FF, 0xFF00, 1, 2,
                                       3,      4,      5,      6,      7,      8,      9, 0xABCD};
  PutAnswer(ORDER_READ_RAM, words);
  szReadBuf[0] = 0x12;  // a wrong sync word is the line check's business, not the decoder's
  szReadBuf[1] = 0x34;
  std::memset(pp, 0, sizeof pp);
  EXPECT_EQ(GetRxBuf(PNUM), 0);
  for (int i = 0; i < PNUM; ++i) EXPECT_EQ(pp[i], words[i]) << "word " << i;
}

TEST(GetRxBuf, DecodesOnlyTheCountedWords) {
  PutAnswer(ORDER_MEASURE, Ramp(100, 1));
  for (u16& w : pp) w = 7;
  EXPECT_EQ(GetRxBuf(3), 1);
  const std::vector<u16> got(pp, pp + PNUM);
  std::vector<u16> expected(PNUM, 7);
  expected[0] = 100;
  expected[1] = 101;
  expected[2] = 102;
  EXPECT_EQ(got, expected);
}

TEST(GetRxBuf, CountOutsideThePacketIsKeptWithinIt) {
  // A count beyond PNUM would write past pp; a negative one would mean nothing to decode.
  PutAnswer(ORDER_MEASURE, Ramp(200, 1));
  for (u16& w : pp) w = 7;
  EXPECT_EQ(GetRxBuf(-5), 1);
  for (int i = 0; i < PNUM; ++i) EXPECT_EQ(pp[i], 7) << i;
  EXPECT_EQ(GetRxBuf(PNUM + 100), 1);
  for (int i = 0; i < PNUM; ++i) EXPECT_EQ(pp[i], 200 + i) << i;
}

TEST(Codec, EncodedFrameDecodesToTheSameWords) {
  const std::array<u16, PNUM> words = Ramp(0xF00D, 0x1357);
  Frame frame{};
  EncodeFrame(ORDER_TEACH, words.data(), frame.data());
  std::array<u16, PNUM> back{};
  EXPECT_EQ(DecodeFrame(frame.data(), PNUM, back.data()), ORDER_TEACH);
  EXPECT_EQ(back, words);
}

TEST(CopyVarsToPP, EachSettingLandsInItsWord) {
  for (int i = 0; i < PNUM; ++i) *kSettings[i] = static_cast<u16>(1000 + 17 * i);
  std::memset(pp, 0, sizeof pp);
  CopyVarsToPP();
  for (int i = 0; i < PNUM; ++i) EXPECT_EQ(pp[i], 1000 + 17 * i) << "word " << i;
}

TEST(CopyPPtoVars, EachWordLandsInItsSetting) {
  for (int i = 0; i < PNUM; ++i) pp[i] = static_cast<u16>(0xFFF0 - 3 * i);
  for (u16* s : kSettings) *s = 0;
  CopyPPtoVars();
  for (int i = 0; i < PNUM; ++i) EXPECT_EQ(*kSettings[i], 0xFFF0 - 3 * i) << "word " << i;
}

TEST(CopyVarsToPP, RoundTripLeavesAllSixteenSettingsUnchanged) {
  const u16 values[PNUM] = {500, 6, 950, 5, 1, 4, 0, 65535, 512, 100, 1, 3, 65534, 60000, 1024, 2};
  for (int i = 0; i < PNUM; ++i) *kSettings[i] = values[i];
  CopyVarsToPP();
  for (u16* s : kSettings) *s = 0xDEAD;
  CopyPPtoVars();
  for (int i = 0; i < PNUM; ++i) EXPECT_EQ(*kSettings[i], values[i]) << "word " << i;
}

TEST(CopyPPtoRAWVars, ResultWordsLandInTheirGlobals) {
  const u16 words[PNUM] = {301, 702, 503, 0x5678, 0x0001, 405, 26, 2,
                           5,   9,   777, 888,    11,     12,  13, 14};
  std::memcpy(pp, words, sizeof pp);
  tVal = 512;  // the values last sent must give way to the sensor's echo
  tTol = 100;
  CopyPPtoRAWVars();
  struct Row {
    const char* name;
    unsigned long got, expected;
  };
  const Row rows[] = {{"Ledge", Ledge, 301},   {"Redge", Redge, 702},     {"Mvalue", Mvalue, 503},
                      {"umValue", umValue, 87672}, {"tVal", tVal, 405},  {"tTol", tTol, 26},
                      {"edcnt", edcnt, 2},     {"mvstart", mvstart, 5},   {"mvend", mvend, 9},
                      {"dynpower", dynpower, 777}, {"anaMax", anaMax, 888}, {"anaMin", anaMin, 11},
                      {"gapLen", gapLen, 12},  {"gapVal", gapVal, 13},    {"gapPix", gapPix, 14}};
  for (const Row& r : rows) EXPECT_EQ(r.got, r.expected) << r.name;
}

TEST(CopyPPtoRAWVars, UmValueIsLowWordThreeAndHighWordFourUnsigned) {
  struct Case {
    u16 low, high;
    u32 expected;
  };
  const Case cases[] = {{0x5678, 0x0001, 87672u},   {34464, 1, 100000u},
                        {0xFFFF, 0xFFFF, 0xFFFFFFFFu}, {0x0000, 0x8000, 0x80000000u},
                        {0x8000, 0x0000, 0x8000u},   {0, 0, 0u}};
  for (const Case& c : cases) {
    pp[3] = c.low;
    pp[4] = c.high;
    CopyPPtoRAWVars();
    EXPECT_EQ(umValue, c.expected) << c.low << " " << c.high;
  }
}

TEST(CopyPPtoRAWVars, AFullResultFrameFromTheLineReachesTheGlobals) {
  std::array<u16, PNUM> words = Ramp(10, 10);
  words[3] = 34464;
  words[4] = 1;
  PutAnswer(ORDER_MEASURE, words);
  ASSERT_EQ(GetRxBuf(PNUM), 1);
  CopyPPtoRAWVars();
  EXPECT_EQ(Ledge, 10);
  EXPECT_EQ(umValue, 100000u);
  EXPECT_EQ(tVal, 60);
  EXPECT_EQ(tTol, 70);
  EXPECT_EQ(gapPix, 160);
}
