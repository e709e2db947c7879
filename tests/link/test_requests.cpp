// What the measurement cycle puts on the line: every measure request carries the settings,
// never the words of the answer that came in before it.
#include <atomic>
#include <memory>
#include <vector>

#include "link_fixture.h"

namespace {

using Words = std::vector<std::uint16_t>;

class RequestTest : public PortFixture {};

TEST_F(RequestTest, EveryMeasureRequestCarriesTheSettingsNotTheLastAnswer) {
  power = 611;
  tolMode = 2;
  vThd = 433;
  anaMode = 3;
  polarity = 0;
  eMode = 4;
  eBeg = 17;
  eEnd = 901;
  tVal = 456;
  tTol = 77;
  opMode = 1;
  eHardware = 2;
  slope = 2000;
  intersect = 31001;
  average = 9;
  powMode = 2;
  const Words settings = {611, 2, 433, 3, 0, 4, 17, 901, 456, 77, 1, 2, 2000, 31001, 9, 2};
  // The sensor's answers differ from the settings in every word. A result frame echoes the
  // sensor's setpoint and tolerance (words 5 and 6), which become the program's own.
  const Words result = {300, 700, 500, 12, 1, 470, 88, 2, 290, 710, 555, 4000, 100, 5, 6, 7};
  const Words other = {1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007,
                       1008, 1009, 1010, 1011, 1012, 1013, 1014, 1015};
  // The first answer is not a result frame (it still triggers the next request), then eight
  // result frames; the request after them stays unanswered and the cycle times out.
  auto answered = std::make_shared<std::atomic<int>>(0);
  peer_.setResponder([=](const PeerFrame& f) {
    std::vector<PeerReply> out;
    if (f.order() != 8) return out;
    const int n = ++*answered;
    if (n == 1) out.push_back({SensorFrame(2, other), {}});
    else if (n <= 9) out.push_back({SensorFrame(8, result), {}});
    return out;
  });

  PushRUN();

  const std::vector<PeerFrame> frames = peer_.frames();
  ASSERT_EQ(frames.size(), 10u);
  Words afterEcho = settings;
  afterEcho[8] = 470;
  afterEcho[9] = 88;
  for (size_t k = 0; k < frames.size(); ++k) {
    EXPECT_EQ(frames[k].order(), 8) << "request " << k;
    Words sent;
    for (int i = 0; i < PNUM; ++i) sent.push_back(frames[k].word(i));
    // Until a result frame came in, the setpoint and tolerance are the operator's.
    EXPECT_EQ(sent, k < 2 ? settings : afterEcho) << "request " << k;
  }
  EXPECT_EQ(power, 611) << "the power shown from the answers is not a setting";
}

}  // namespace
