// Each fault option changes the answers as its name says, and only those.
#include <gtest/gtest.h>

#include <functional>

#include "sensor_test_util.h"

namespace rorir::sensor::test {
namespace {

// A clean sensor and a faulty one with the same seed, asked the same things at the same times.
struct Pair {
  explicit Pair(Faults f) : clean(opts(nullptr, 9)), faulty(opts(nullptr, 9, 2, f)) {}
  std::pair<std::vector<Answer>, std::vector<Answer>> ask(const Bytes& req, Nanos t) {
    return {clean.receive(req, t), faulty.receive(req, t)};
  }
  Model clean, faulty;
};

TEST(SensorFaults, EachFaultChangesTheAnswers) {
  using Check = std::function<void(const Answer& clean, const Answer* faulty)>;
  struct Case {
    const char* what;
    Faults faults;
    Bytes req;
    Check check;
  };
  Faults silent, wrongSync, echoUnchanged, delay, extra, missing, wrongOrder, garbage;
  silent.silent = true;
  wrongSync.wrongSync = true;
  echoUnchanged.echoUnchanged = true;
  delay.delay = std::chrono::milliseconds(250);
  extra.extraBytes = 4;
  missing.missingBytes = 5;
  wrongOrder.wrongOrder = true;
  garbage.garbage = true;
  Words w{};
  w[0] = 0x1234;
  const Case cases[] = {
      {"silent: no echo", silent, request(5), [](auto&, auto* f) { EXPECT_EQ(f, nullptr); }},
      {"silent: no measure", silent, request(8), [](auto&, auto* f) { EXPECT_EQ(f, nullptr); }},
      {"wrong sync on a frame", wrongSync, request(8),
       [](auto& c, auto* f) {
         ASSERT_NE(f, nullptr);
         EXPECT_EQ(hex(Bytes(f->bytes.begin(), f->bytes.begin() + 2)), "00 A5");
         EXPECT_TRUE(std::equal(c.bytes.begin() + 2, c.bytes.end(), f->bytes.begin() + 2));
       }},
      {"wrong sync leaves the raw firmware text", wrongSync, request(7),
       [](auto& c, auto* f) { EXPECT_EQ(f->bytes, c.bytes); }},
      {"echo unchanged", echoUnchanged, request(5, w),
       [&w](auto&, auto* f) { EXPECT_EQ(f->bytes, request(5, w)); }},
      {"echo unchanged leaves other orders alone", echoUnchanged, request(10),
       [](auto& c, auto* f) { EXPECT_EQ(f->bytes, c.bytes); }},
      {"delay", delay, request(2),
       [](auto& c, auto* f) {
         EXPECT_EQ(f->bytes, c.bytes);
         EXPECT_EQ(f->at - c.at, std::chrono::milliseconds(250));
       }},
      {"extra bytes", extra, request(5),
       [](auto& c, auto* f) {
         ASSERT_EQ(f->bytes.size(), c.bytes.size() + 4);
         EXPECT_EQ(hex(Bytes(f->bytes.end() - 4, f->bytes.end())), "EE EE EE EE");
       }},
      {"missing bytes on the firmware text", missing, request(7),
       [](auto& c, auto* f) { EXPECT_EQ(f->bytes, Bytes(c.bytes.begin(), c.bytes.end() - 5)); }},
      {"wrong order on a result frame", wrongOrder, request(8),
       [](auto&, auto* f) { EXPECT_EQ(orderOf(f->bytes), 0x0108); }},
      {"wrong order on the hardware frame", wrongOrder, request(10),
       [](auto&, auto* f) { EXPECT_EQ(orderOf(f->bytes), 0x010A); }},
      {"garbage", garbage, request(10),
       [](auto& c, auto* f) {
         ASSERT_EQ(f->bytes.size(), c.bytes.size());
         EXPECT_NE(f->bytes, c.bytes);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Pair pair(c.faults);
    auto [clean, faulty] = pair.ask(c.req, 1s);
    ASSERT_EQ(clean.size(), 1u);
    ASSERT_LE(faulty.size(), 1u);
    c.check(clean.front(), faulty.empty() ? nullptr : &faulty.front());
  }
}

TEST(SensorFaults, DropEveryThirdAnswer) {
  Faults f;
  f.dropEvery = 3;
  Model m(opts(nullptr, 1, 2, f));
  std::string pattern;
  for (int k = 1; k <= 9; ++k) pattern += ask(m, request(5), std::chrono::seconds(k)) ? 'a' : '-';
  EXPECT_EQ(pattern, "aa-aa-aa-");
  EXPECT_EQ(m.counters().dropped, 3u);
  EXPECT_EQ(m.counters().answers, 6u);
}

TEST(SensorFaults, HangUpAfterThreeRequests) {
  Faults f;
  f.hangUpAfter = 3;
  Model m(opts(nullptr, 1, 2, f));
  EXPECT_TRUE(ask(m, request(5), 1s));
  ask(m, request(1), 2s);  // a write counts as a request though it has no answer
  EXPECT_FALSE(m.hungUp());
  EXPECT_TRUE(ask(m, request(10), 3s)) << "the third request is still answered";
  EXPECT_TRUE(m.hungUp());
  EXPECT_FALSE(ask(m, request(5), 4s));
  EXPECT_EQ(m.counters().requests, 3u);
}

}  // namespace
}  // namespace rorir::sensor::test
