// The USB-adapter model: bytes that crossed the line come out in bursts, at a packet's worth or
// when the latency timer started by the first byte in the empty buffer runs out.
#include <gtest/gtest.h>

#include <utility>

#include "sensor/adapter.h"
#include "sensor_test_util.h"

namespace rorir::sensor::test {
namespace {

TEST(SensorAdapter, PassesBytesOnInBurstsByPacketOrLatency) {
  struct Case {
    const char* what;
    AdapterSettings adapter;
    std::size_t bytes;
    Nanos first, spacing;  // byte k (from 0) completes on the line at first + k * spacing
    std::vector<std::pair<std::size_t, Nanos>> bursts;  // size and time of each
  };
  const Case cases[] = {
      {"a frame at 19200 baud, 16 ms", {16ms, 62}, 36, 520'833ns, 520'833ns,
       {{31, 16'520'833ns}, {5, 32'666'656ns}}},
      {"small packets fill before the timer", {16ms, 8}, 36, 520'833ns, 520'833ns,
       {{8, 4'166'664ns}, {8, 8'333'328ns}, {8, 12'499'992ns}, {8, 16'666'656ns}, {4, 33'187'489ns}}},
      {"1 ms timer", {1ms, 62}, 6, 520'833ns, 520'833ns,
       {{2, 1'520'833ns}, {2, 2'562'499ns}, {2, 3'604'165ns}}},
      {"all at once: a full packet, then the rest on the timer", {16ms, 62}, 100, 1ms, 0ns,
       {{62, 1ms}, {38, 17ms}}},
      {"a byte completing as the timer runs out goes with the next burst", {1ms, 62}, 3, 500us,
       500us, {{2, 1'500us}, {1, 2'500us}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Adapter a(c.adapter);
    EXPECT_TRUE(a.idle());
    for (std::size_t k = 0; k < c.bytes; ++k) a.receive(static_cast<std::uint8_t>(k), c.first + k * c.spacing);
    std::vector<std::pair<std::size_t, Nanos>> got;
    std::size_t next = 0;  // the bytes come out in order
    while (auto due = a.nextDue()) {
      EXPECT_TRUE(a.takeDue(*due - 1ns).empty()) << "nothing before its time";
      for (const Burst& b : a.takeDue(*due)) {
        got.emplace_back(b.bytes.size(), b.at);
        for (std::uint8_t byte : b.bytes) EXPECT_EQ(byte, next++ & 0xFF);
      }
      if (got.size() > 10) break;
    }
    EXPECT_EQ(got, c.bursts);
    EXPECT_TRUE(a.idle());
  }
}

TEST(SensorAdapter, LastByteOfAnAnswerReachesTheHost) {
  const struct {
    std::size_t bytes;
    unsigned baud;
    AdapterSettings adapter;
    Nanos expected;
  } cases[] = {
      {36, 19200, {16ms, 62}, 32'666'666ns},   // 31 bytes on the timer, 5 on the next one
      {36, 19200, {1ms, 62}, 19'229'166ns},
      {36, 115200, {16ms, 62}, 16'086'805ns},  // the whole frame is in before the timer ends
      {36, 0, {16ms, 62}, 16ms},
      {128, 115200, {16ms, 62}, 26'850'694ns},  // two full packets, the rest on the timer
  };
  for (const auto& c : cases)
    EXPECT_EQ(deliveredAt(c.bytes, 0ns, c.baud, c.adapter), c.expected)
        << c.bytes << " bytes at " << c.baud << " baud, " << describe(c.adapter);
  EXPECT_EQ(deliveredAt(36, 2s, 19200, {16ms, 62}), 2s + 32'666'666ns);
}

}  // namespace
}  // namespace rorir::sensor::test
