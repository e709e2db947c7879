// Line pacing as computed durations with injected time, and the command-line options.
#include <gtest/gtest.h>

#include <functional>

#include "sensor/options.h"
#include "sensor_test_util.h"

namespace rorir::sensor::test {
namespace {

TEST(SensorPacing, TransferTimesAtTenBitsAByte) {
  const struct {
    std::size_t bytes;
    unsigned baud;
    Nanos expected;
  } cases[] = {
      {36, 19200, 18'750'000ns}, {1, 19200, 520'833ns},   {128, 19200, 66'666'666ns},
      {72, 19200, 37'500'000ns}, {36, 9600, 37'500'000ns}, {36, 115200, 3'125'000ns},
      {36, 0, 0ns},
  };
  for (const auto& c : cases)
    EXPECT_EQ(transferTime(c.bytes, c.baud), c.expected) << c.bytes << " bytes at " << c.baud;
  EXPECT_EQ(exchangeTime(36, 36, 19200), 37'500'000ns);
  // One measure exchange and four block exchanges: 728 bytes, 379.17 ms (each exchange is
  // rounded down to the nanosecond on its own).
  EXPECT_NEAR(double(videoPassTime(19200).count()), double(transferTime(728, 19200).count()), 10.0);
  EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(videoPassTime(19200)).count(), 379);
  EXPECT_EQ(videoPassTime(0), 0ns);
}

TEST(SensorPacing, PacedLineHandsOutBytesWhenTheyWouldHaveArrived) {
  PacedLine line(19200);
  const Nanos t0 = 5s;
  const Nanos requestDone = line.receive(36, t0);  // the request came in one read
  EXPECT_EQ(requestDone, t0 + 18'750'000ns);
  Bytes answer(36, 0xAA);
  line.send(answer, requestDone);
  EXPECT_EQ(line.takeDue(requestDone).size(), 0u);
  EXPECT_EQ(line.takeDue(t0 + 37'500'000ns - 1ns).size(), 35u);
  EXPECT_EQ(line.nextDue(), t0 + 37'500'000ns);
  EXPECT_EQ(line.takeDue(t0 + 37'500'000ns).size(), 1u) << "the exchange ends after 37.5 ms";
  EXPECT_TRUE(line.idle());

  // A second answer queued while the first is on the line waits for it.
  line.send(Bytes(10, 1), 10s);
  line.send(Bytes(10, 2), 10s);
  EXPECT_EQ(line.nextDue(), 10s + transferTime(1, 19200));
  EXPECT_EQ(line.takeDue(10s + transferTime(20, 19200)).size(), 20u);

  PacedLine unpaced(0);
  EXPECT_EQ(unpaced.receive(36, 3s), 3s);
  unpaced.send(answer, 3s);
  EXPECT_EQ(unpaced.takeDue(3s).size(), 36u);
}

TEST(SensorPacing, VideoPassThroughModelAndLineTakes379Milliseconds) {
  // The client sends each request as soon as the previous answer is complete, as the program
  // does; the clock is the line's own.
  Model m;
  PacedLine line(19200);
  Nanos t = 0ns;
  auto exchange = [&](const Bytes& req) {
    const Nanos arrived = line.receive(req.size(), t);
    for (const Answer& a : m.receive(req, arrived)) line.send(a.bytes, a.at);
    std::size_t got = 0;
    while (auto due = line.nextDue()) {
      t = *due;
      got += line.takeDue(t).size();
    }
    return got;
  };
  EXPECT_EQ(exchange(request(8)), 36u);
  for (std::uint16_t first : {0, 64, 128, 192}) EXPECT_EQ(exchange(blockRequest(first, first == 192)), 128u);
  EXPECT_EQ(t, videoPassTime(19200));
}

TEST(SensorOptions, EveryOptionIsParsedAndDocumented) {
  struct Case {
    std::vector<std::string_view> args;
    std::function<bool(const Options&)> holds;
  };
  const Case cases[] = {
      {{"--profile", "t104"}, [](auto& o) { return o.profile == "t104"; }},
      {{"--seed", "123456789012"}, [](auto& o) { return o.seed == 123456789012u; }},
      {{"--baud", "0"}, [](auto& o) { return o.baud == 0; }},
      {{"--objects", "1"}, [](auto& o) { return o.objects == 1; }},
      {{"--link", "/tmp/x"}, [](auto& o) { return o.link == "/tmp/x"; }},
      {{"--print-slave"}, [](auto& o) { return o.printSlave; }},
      {{"--log"}, [](auto& o) { return o.log; }},
      {{"--help"}, [](auto& o) { return o.help; }},
      {{"--list-profiles"}, [](auto& o) { return o.listProfiles; }},
      {{"--silent"}, [](auto& o) { return o.faults.silent; }},
      {{"--wrong-sync"}, [](auto& o) { return o.faults.wrongSync; }},
      {{"--wrong-sync-every", "3"}, [](auto& o) { return o.faults.wrongSyncEvery == 3; }},
      {{"--echo-unchanged"}, [](auto& o) { return o.faults.echoUnchanged; }},
      {{"--delay", "300"}, [](auto& o) { return o.faults.delay == std::chrono::milliseconds(300); }},
      {{"--drop-every", "4"}, [](auto& o) { return o.faults.dropEvery == 4; }},
      {{"--extra-bytes", "3"}, [](auto& o) { return o.faults.extraBytes == 3; }},
      {{"--missing-bytes", "2"}, [](auto& o) { return o.faults.missingBytes == 2; }},
      {{"--wrong-order"}, [](auto& o) { return o.faults.wrongOrder; }},
      {{"--garbage"}, [](auto& o) { return o.faults.garbage; }},
      {{"--hang-up-after", "5"}, [](auto& o) { return o.faults.hangUpAfter == 5; }},
      {{"--frame-log", "/tmp/f"}, [](auto& o) { return o.frameLog == "/tmp/f"; }},
      {{"--adapter", "16"}, [](auto& o) { return o.adapter == AdapterSettings{16ms, 62}; }},
      {{"--adapter", "1:8"}, [](auto& o) { return o.adapter == AdapterSettings{1ms, 8}; }},
      {{"--unplug-after", "5"}, [](auto& o) { return o.plug == PlugCycle{5.0, 0.0, false}; }},
      {{"--replug-after", "3", "--unplug-after", "0.5"},
       [](auto& o) { return o.plug == PlugCycle{0.5, 3.0, false}; }},
      {{"--cycle", "--unplug-after", "5", "--replug-after", "3"},
       [](auto& o) { return o.plug == PlugCycle{5.0, 3.0, true}; }},
  };
  const std::string help = usage();
  for (const Case& c : cases) {
    ParsedOptions p = parseOptions(c.args);
    EXPECT_EQ(p.error, "") << c.args[0];
    EXPECT_TRUE(c.holds(p.options)) << c.args[0];
    EXPECT_NE(help.find(std::string(c.args[0])), std::string::npos) << c.args[0] << " in --help";
  }
  // Nothing given: the documented defaults.
  const Options none = parseOptions({}).options;
  EXPECT_EQ(none.baud, 19200u);
  EXPECT_EQ(none.faults, Faults{});
  EXPECT_EQ(none.objects, 2);
  EXPECT_FALSE(none.adapter.on());
  EXPECT_FALSE(none.plug.on());
}

TEST(SensorOptions, BadArgumentsAreRefusedWithAReason) {
  const std::vector<std::vector<std::string_view>> cases = {
      {"--profile", "t9"}, {"--baud", "fast"}, {"--baud"},          {"--objects", "3"},
      {"--delay", "-1"},   {"--drop-every", "0"}, {"--hang-up-after", "0"}, {"--link"}, {"--frame-log"},
      {"--frobnicate"},    {"--seed", "12x"},
      {"--adapter"},       {"--adapter", "0"},    {"--adapter", "256"},     {"--adapter", "16:"},
      {"--adapter", "16:0"}, {"--adapter", "16:4097"}, {"--adapter", "16ms"}, {"--adapter", ":62"},
      {"--unplug-after"}, {"--unplug-after", "0"}, {"--unplug-after", "-2"}, {"--unplug-after", "5s"},
      {"--replug-after", "3"},  // without --unplug-after
      {"--cycle", "--unplug-after", "5"}, {"--cycle"},
  };
  for (const auto& args : cases) EXPECT_NE(parseOptions(args).error, "") << args[0];
}

TEST(SensorOptions, DefaultLinkPath) {
  EXPECT_EQ(defaultLinkPath("/run/user/1000", 1000), "/run/user/1000/rorir-sensor");
  EXPECT_EQ(defaultLinkPath("", 1000), "/tmp/rorir-sensor-1000");
  EXPECT_EQ(defaultLinkPath(nullptr, 0), "/tmp/rorir-sensor-0");
}

}  // namespace
}  // namespace rorir::sensor::test
