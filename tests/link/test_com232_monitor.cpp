// The link monitor's state: a known exchange fed in with its times gives literal log lines and
// counters; the ring keeps the newest frames; a reset clears the counters and keeps the frames.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/com232_monitor.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Frame(u16 sync, u16 order, std::vector<u16> words) {
  Bytes b = {static_cast<unsigned char>(sync >> 8), static_cast<unsigned char>(sync),
             static_cast<unsigned char>(order >> 8), static_cast<unsigned char>(order)};
  words.resize(PNUM);
  for (u16 w : words) {
    b.push_back(static_cast<unsigned char>(w >> 8));
    b.push_back(static_cast<unsigned char>(w));
  }
  return b;
}

const std::vector<u16> kRam = {100, 0, 512, 1, 0, 2, 10, 250, 0, 0, 0, 0, 1024, 30000, 1, 0};

// Read-back, firmware text, a measure request answered with a wrong order word, then an
// unasked frame with a wrong sync word.
void FeedKnownExchange() {
  MonitorOpened(100.0);
  MonitorRequest(Frame(0x0055, 2, kRam).data(), FRAME_SIZE, 100.0);
  MonitorAnswer(MONITOR_ANSWER, Frame(0x00AA, 2, kRam).data(), FRAME_SIZE, 0, 100.0153);
  MonitorRequest(Frame(0x0055, 7, {}).data(), FRAME_SIZE, 100.25);
  Bytes text(FIRMWARE_TEXT_SIZE, 0);
  std::string("FW 1.52").copy(reinterpret_cast<char*>(text.data()), 7);
  MonitorAnswer(MONITOR_FIRMWARE_TEXT, text.data(), FIRMWARE_TEXT_SIZE, 100, 100.4126);
  MonitorRequest(Frame(0x0055, 8, {}).data(), FRAME_SIZE, 101.5);
  MonitorAnswer(MONITOR_ANSWER, Frame(0x00AA, 0x0108, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}).data(),
                FRAME_SIZE, 0, 101.5371);
  MonitorAnswer(MONITOR_ANSWER, Frame(0x00A5, 8, {}).data(), FRAME_SIZE, 0, 101.6);
}

TEST(LinkMonitor, SavedLogOfAKnownExchangeIsByteExact) {
  FeedKnownExchange();
  char dir[] = "/tmp/rorir-monitor-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/line.log";
  ASSERT_EQ(SaveMonitorLog(path.c_str()), 0);
  std::ifstream in(path, std::ios::binary);
  std::stringstream got;
  got << in.rdbuf();
  std::remove(path.c_str());
  rmdir(dir);

  const std::string expected =
      "#   time/s dir order         | head | words (decimal) | bytes (hex)\n"
      "     0.000 -> read RAM      | 0055 0002 | 100 0 512 1 0 2 10 250 0 0 0 0 1024 30000 1 0 | 00 55 00 02 00 64 00 00 02 00 00 01 00 00 00 02 00 0A 00 FA 00 00 00 00 00 00 00 00 04 00 75 30 00 01 00 00\n"
      "     0.015 <- read RAM      | 00AA 0002 | 100 0 512 1 0 2 10 250 0 0 0 0 1024 30000 1 0 | 00 AA 00 02 00 64 00 00 02 00 00 01 00 00 00 02 00 0A 00 FA 00 00 00 00 00 00 00 00 04 00 75 30 00 01 00 00\n"
      "     0.250 -> firmware info | 0055 0007 | 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 | 00 55 00 07 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n"
      "     0.413 <- firmware text | \"FW 1.52\" | 18007 8241 11829 12800 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 | 46 57 20 31 2E 35 32 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n"
      "     1.500 -> measure       | 0055 0008 | 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 | 00 55 00 08 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n"
      "     1.537 <- unknown       | 00AA 0108 | 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 | 00 AA 01 08 00 01 00 02 00 03 00 04 00 05 00 06 00 07 00 08 00 09 00 0A 00 0B 00 0C 00 0D 00 0E 00 0F 00 10\n"
      "     1.600 <- measure       | 00A5 0008 | 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 | 00 A5 00 08 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n";
  EXPECT_EQ(got.str(), expected);

  // The same exchange as counters: a wrong sync is not also counted as a wrong order.
  EXPECT_EQ(monCounters.requests[ORDER_READ_RAM], 1u);
  EXPECT_EQ(monCounters.requests[ORDER_FIRMWARE_INFO], 1u);
  EXPECT_EQ(monCounters.requests[ORDER_MEASURE], 1u);
  EXPECT_EQ(monCounters.answers, 4u);
  EXPECT_EQ(monCounters.wrongOrder, 1u);
  EXPECT_EQ(monCounters.wrongSync, 1u);
}

TEST(LinkMonitor, RingKeepsTheNewestFramesAndResetClearsOnlyTheCounters) {
  MonitorOpened(0.0);
  // A measure request and 410 answers, 20 a second: the ring holds the last 400, the rate
  // is 20.
  MonitorRequest(Frame(0x0055, 8, {}).data(), FRAME_SIZE, 0.0);
  for (int i = 0; i < 410; ++i) {
    const Bytes b = Frame(0x00AA, 8, {static_cast<u16>(i)});
    MonitorAnswer(MONITOR_ANSWER, b.data(), FRAME_SIZE, 0, i * 0.05);
  }
  ASSERT_EQ(MonitorFrameCount(), 400);
  EXPECT_EQ(MonitorFrameAt(0)->bytes[5], 10);  // the request and answers 0..9 fell out
  EXPECT_EQ(MonitorFrameAt(399)->bytes[5], 409 & 0xFF);
  EXPECT_EQ(MonitorFrameAt(400), nullptr);
  EXPECT_NEAR(MonitorFramesPerSecond(20.46), 20.0, 0.5);
  EXPECT_LT(MonitorFramesPerSecond(100.0), 0.2);  // a quiet line decays to nothing

  MonitorDiscarded(7);
  MonitorDiscarded(-4);  // a closed port's error code is no count
  MonitorTimeout();
  char text[512];
  MonitorCountersText(20.46, text, sizeof text);
  EXPECT_STREQ(text,
               "Requests sent: 1\n  measure: 1\nAnswers taken: 410\nTime-outs: 1\nWrong sync word: 0\n"
               "Unexpected order word: 0\nBytes discarded: 7\nFrames per second: 20.0");

  MonitorResetCounters(30.0);
  EXPECT_EQ(monCounters.answers, 0u);
  EXPECT_EQ(monCounters.bytesDiscarded, 0u);
  EXPECT_EQ(MonitorFramesPerSecond(30.5), 0.0);
  EXPECT_EQ(MonitorFrameCount(), 400);
}

}  // namespace
