// The model's answer to every order, byte for byte, and what the orders change in the sensor.
#include <gtest/gtest.h>

#include "sensor_test_util.h"

namespace rorir::sensor::test {
namespace {

const Profile& t1() { return *findProfile("t1"); }

// The default set of the t1 profile as it goes over the line.
const char* kT1Defaults =
    "01 F4 00 00 02 00 00 00 00 01 00 01 00 01 04 00 02 00 00 64 00 00 00 01 04 00 75 30 00 00 00 00";

TEST(SensorOrders, FrameAnswersAreByteExact) {
  Words counting{};
  for (std::uint16_t i = 0; i < 16; ++i) counting[i] = i;
  struct Case {
    const char* what;
    Bytes req;
    std::string expected;
  } cases[] = {
      {"echo returns the request's words under 00 AA", request(5, counting),
       "00 AA 00 05 00 00 00 01 00 02 00 03 00 04 00 05 00 06 00 07 00 08 00 09 00 0A 00 0B 00 0C "
       "00 0D 00 0E 00 0F"},
      {"read RAM gives the power-up set", request(2, counting), std::string("00 AA 00 02 ") + kT1Defaults},
      {"read EEPROM gives the same set", request(4), std::string("00 AA 00 04 ") + kT1Defaults},
      {"hardware information", request(10),
       "00 AA 00 0A 00 01 04 00 00 00 00 64 20 00 04 00 00 01 04 00 01 36 00 00 00 00 00 00 00 00 "
       "00 00 00 00 00 00"},
  };
  for (const Case& c : cases) {
    Model m(opts(&t1()));
    std::optional<Bytes> a = ask(m, c.req, 0s);
    ASSERT_TRUE(a) << c.what;
    EXPECT_EQ(hex(*a), hex(bytesOf(c.expected))) << c.what;
  }
}

TEST(SensorOrders, WritesAreStoredAndNotAnswered) {
  Model m(opts(&t1()));
  Words set{};
  for (std::uint16_t i = 0; i < 16; ++i) set[i] = static_cast<std::uint16_t>(0x1111 * (i % 8) + i);
  EXPECT_FALSE(ask(m, request(1, set), 0s)) << "write RAM";
  EXPECT_EQ(m.ram(), set);
  EXPECT_EQ(m.eeprom(), defaultSettings(t1())) << "a RAM write leaves the EEPROM alone";

  Words other = set;
  other[kVThd] = 300;
  EXPECT_FALSE(ask(m, request(3, other), 1s)) << "write EEPROM";
  EXPECT_EQ(m.eeprom(), other);
  EXPECT_EQ(m.ram(), set);

  std::optional<Bytes> ram = ask(m, request(2), 2s);
  std::optional<Bytes> eeprom = ask(m, request(4), 2s);
  ASSERT_TRUE(ram && eeprom);
  for (std::size_t i = 0; i < 16; ++i) {
    EXPECT_EQ(word(*ram, i), set[i]) << "RAM word " << i;
    EXPECT_EQ(word(*eeprom, i), other[i]) << "EEPROM word " << i;
  }
  EXPECT_EQ(m.counters().requests, 4u);
}

TEST(SensorOrders, MeasureFrameCarriesTheResultMapping) {
  Model m(opts(&t1()));
  Words set = defaultSettings(t1());
  set[kSlope] = 3000;  // makes the 32-bit value spill into its high word
  set[kTVal] = 321;
  set[kTTol] = 45;
  ask(m, request(1, set), 0s);
  std::optional<Bytes> a = ask(m, request(8), 1s);
  ASSERT_TRUE(a);
  ASSERT_EQ(a->size(), kFrameSize);
  EXPECT_EQ(hex(Bytes(a->begin(), a->begin() + 4)), "00 AA 00 08");
  const Results& r = m.results();
  EXPECT_GT(r.edcnt, 0u);
  EXPECT_EQ(word(*a, 0), r.Ledge);
  EXPECT_EQ(word(*a, 1), r.Redge);
  EXPECT_EQ(word(*a, 2), r.Mvalue);
  EXPECT_EQ(word(*a, 3) + 65536u * word(*a, 4), r.Mvalue * 3000u) << "umValue, low word first";
  EXPECT_GT(word(*a, 4), 0u);
  EXPECT_EQ(word(*a, 5), 321u) << "tVal echoed";
  EXPECT_EQ(word(*a, 6), 45u) << "tTol echoed";
  EXPECT_EQ(word(*a, 10), 500u) << "power in use with power mode 0";
}

TEST(SensorOrders, TeachSetsTheSetpointToTheCurrentMValue) {
  Model m(opts(&t1(), 5));
  std::optional<Bytes> taught = ask(m, request(6), 3s);
  ASSERT_TRUE(taught);
  EXPECT_EQ(orderOf(*taught), 6u);
  const std::uint16_t mvalue = m.results().Mvalue;
  EXPECT_NE(mvalue, defaultSettings(t1())[kTVal]);
  EXPECT_EQ(word(*taught, kTVal), mvalue);

  std::optional<Bytes> readBack = ask(m, request(2), 4s);
  ASSERT_TRUE(readBack);
  EXPECT_EQ(word(*readBack, kTVal), mvalue) << "the next read-back carries the taught setpoint";
  EXPECT_EQ(m.eeprom()[kTVal], defaultSettings(t1())[kTVal]) << "teach works on RAM only";

  // The setpoint is the M-value of the line the teach looked at: the video served after it.
  Video v = readVideo(m, 4s);
  EXPECT_EQ(evaluate(v, m.ram(), t1(), m.results().dynpower).results.Mvalue, mvalue);
}

TEST(SensorOrders, ResetStartsTheAnalogMaximumAndMinimumOverFromTheCurrentValue) {
  Model m(opts(&t1(), 3));
  std::uint16_t lo = 0xFFFF, hi = 0;
  for (int k = 0; k < 20; ++k) {
    std::optional<Bytes> a = ask(m, request(8), std::chrono::seconds(k));
    ASSERT_TRUE(a);
    lo = std::min(lo, word(*a, 2));
    hi = std::max(hi, word(*a, 2));
    EXPECT_EQ(word(*a, 11), hi) << "analog maximum follows the M-value (analog mode 0)";
    EXPECT_EQ(word(*a, 12), lo) << "analog minimum";
  }
  ASSERT_LT(lo, hi) << "the edges drift";

  // The reset takes the line of the moment: both start over from its M-value, which the answer
  // carries with the line's other results.
  std::optional<Bytes> reset = ask(m, request(11), 21s);
  ASSERT_TRUE(reset);
  EXPECT_EQ(orderOf(*reset), 11u);
  const std::uint16_t now = word(*reset, 2);
  EXPECT_GT(word(*reset, 7), 0u) << "edges of the line taken";
  EXPECT_EQ(word(*reset, 11), now);
  EXPECT_EQ(word(*reset, 12), now);

  // From there they take in each new line.
  std::optional<Bytes> next = ask(m, request(8), 30s);
  ASSERT_TRUE(next);
  const std::uint16_t later = word(*next, 2);
  ASSERT_NE(later, now) << "the edges moved";
  EXPECT_EQ(word(*next, 11), std::max(now, later));
  EXPECT_EQ(word(*next, 12), std::min(now, later));
}

TEST(SensorOrders, BadRequestsAreIgnoredAndCounted) {
  struct Case {
    const char* what;
    Bytes bytes;
    Counters expected;
  };
  Counters unknown, sync, shortReq, block;
  unknown.unknownOrder = 1;
  sync.badSync = 1;
  shortReq.shortRequests = 1;
  block.requests = 1;
  block.badBlock = 1;
  const Bytes echo = request(5);
  const Case cases[] = {
      {"order 0", request(0), unknown},
      {"order 12", request(12), unknown},
      {"order 0x0108", request(0x0108), unknown},
      {"answer sync instead of request sync", request(5, {}, 0x00AA), sync},
      {"byte-swapped sync", request(5, {}, 0x5500), sync},
      {"20 bytes, then nothing", Bytes(echo.begin(), echo.begin() + 20), shortReq},
      {"block beyond the line", blockRequest(193, true), block},
  };
  for (const Case& c : cases) {
    Model m(opts(&t1()));
    EXPECT_TRUE(m.receive(c.bytes, 0s).empty()) << c.what;
    m.idle(1s);  // the quiet gap ends any partial request
    EXPECT_EQ(m.counters(), c.expected) << c.what;
  }
}

TEST(SensorOrders, GarbageBurstIsForgottenAfterAQuietGap) {
  Model m(opts(&t1()));
  Rng rng(99);
  Bytes burst(250);  // six whole bogus frames and a partial one
  for (std::uint8_t& b : burst) b = static_cast<std::uint8_t>(rng.next());
  burst[0] = 0x00;
  burst[1] = 0x56;
  EXPECT_TRUE(m.receive(burst, 0ms).empty());
  EXPECT_EQ(m.pending(), 250u % kFrameSize);

  std::optional<Bytes> a = ask(m, request(5), 100ms);
  ASSERT_TRUE(a) << "the request after the pause is read from its first byte";
  EXPECT_EQ(hex(Bytes(a->begin(), a->begin() + 4)), "00 AA 00 05");
  const Counters& c = m.counters();
  EXPECT_EQ(c.badSync + c.unknownOrder + c.requests, 7u) << "six bogus frames and the echo";
  EXPECT_EQ(c.shortRequests, 1u);
}

TEST(SensorOrders, TheSameSeedGivesTheSameFrames) {
  auto session = [](std::uint64_t seed) {
    Model m(opts(&t1(), seed));
    std::string all;
    for (int k = 0; k < 5; ++k) {
      const Nanos t = std::chrono::milliseconds(400 * k);
      for (const Bytes& req : {request(8), blockRequest(0, false), blockRequest(192, true), request(6)})
        if (auto a = ask(m, req, t)) all += hex(*a) + "\n";
    }
    return all;
  };
  EXPECT_EQ(session(42), session(42));
  EXPECT_NE(session(42), session(43));
}

}  // namespace
}  // namespace rorir::sensor::test
