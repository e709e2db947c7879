// The link monitor's counters against the virtual sensor committing known faults: parameter
// read-backs over a real pseudo-terminal, and each counter says exactly what was injected.
#include <gtest/gtest.h>

#include <unistd.h>

#include "platform/sys/utility.h"
#include "link/com232_codec.h"
#include "link/com232_monitor.h"
#include "sensor/model.h"
#include "link_fixture.h"

namespace {

struct Case {
  const char* what;
  rorir::sensor::Faults faults;
  int burst;     // random bytes the sensor sends unasked before the first request
  int requests;  // read-backs of the RAM set
  unsigned long answers, timeouts, wrongSync, wrongOrder, discarded;
};

rorir::sensor::Faults DropsAndWrongSync() {
  rorir::sensor::Faults f;
  f.dropEvery = 5;       // answers 5, 10, 15 never come
  f.wrongSyncEvery = 3;  // answers 3, 6, 9, 12 carry 0x00A5 (15 is dropped)
  return f;
}
rorir::sensor::Faults WrongOrder() {
  rorir::sensor::Faults f;
  f.wrongOrder = true;
  return f;
}
rorir::sensor::Faults Garbage() {
  rorir::sensor::Faults f;
  f.garbage = true;
  return f;
}
rorir::sensor::Faults ExtraBytes() {
  rorir::sensor::Faults f;
  f.extraBytes = 3;
  return f;
}

using MonitorCounts = PortFixture;

TEST_F(MonitorCounts, CountExactlyTheFaultsTheSensorCommits) {
  const Case cases[] = {
      {"healthy", {}, 0, 3, 3, 0, 0, 0, 0},
      {"drops and a wrong sync every third", DropsAndWrongSync(), 0, 15, 12, 3, 4, 0, 0},
      {"wrong order word, after an unasked burst", WrongOrder(), 20, 4, 4, 0, 0, 4, 20},
      {"garbage answers", Garbage(), 0, 4, 4, 0, 4, 0, 0},
      {"three bytes too many", ExtraBytes(), 0, 4, 4, 0, 0, 0, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    rorir::sensor::ModelOptions options;
    options.faults = c.faults;
    peer_.answerLikeSensor(options);
    MonitorOpened(Timer());
    if (c.burst > 0) {
      PeerBytes noise(static_cast<size_t>(c.burst));
      for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(0x31 * i + 7);
      peer_.send(noise);
      const double until = Timer() + 5.0;
      while (GetInQLen(com) < c.burst && Timer() < until) usleep(1000);
      ASSERT_EQ(GetInQLen(com), c.burst);
    }
    for (int i = 0; i < c.requests; ++i) PushGET(RAM);
    // Bytes still on their way after the last answer are counted when they are thrown away.
    ASSERT_TRUE(peer_.waitUntilAnswered(5.0));
    PumpFor(0.05);
    DiscardInQ(com);

    unsigned long others = 0;
    for (int o = 0; o < MONITOR_ORDERS; ++o)
      if (o != ORDER_READ_RAM) others += monCounters.requests[o];
    EXPECT_EQ(monCounters.requests[ORDER_READ_RAM], static_cast<unsigned long>(c.requests));
    EXPECT_EQ(others, 0u);
    EXPECT_EQ(monCounters.answers, c.answers);
    EXPECT_EQ(monCounters.timeouts, c.timeouts);
    EXPECT_EQ(monCounters.wrongSync, c.wrongSync);
    EXPECT_EQ(monCounters.wrongOrder, c.wrongOrder);
    EXPECT_EQ(monCounters.bytesDiscarded, c.discarded);
    // Every request and every answer is in the ring, in both directions.
    EXPECT_EQ(MonitorFrameCount(), c.requests + static_cast<int>(c.answers));
  }
}

}  // namespace
