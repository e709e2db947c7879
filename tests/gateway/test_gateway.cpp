// rorir-gateway run as a child process between a virtual sensor and a real broker, with a real
// subscriber reading what reaches the plant: every result once and in order, nothing lost
// through a broker outage, the sensor's status through an unplug, the last will of a killed
// gateway, and the refusal of bad settings.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sensor/pty_server.h"
#include "support/mqtt_broker.h"

namespace {

using mqtt_test::Broker;
using mqtt_test::LineChild;
using mqtt_test::Message;
using mqtt_test::Subscriber;
using rorir::sensor::PtyServer;
using rorir::sensor::ServerConfig;

// Far beyond what any step takes on a loaded machine, so only a hang reaches them.
constexpr double kLong = 60;
constexpr double kStop = 30;

const std::string kResult = "rorir/line1/result";
const std::string kStatus = "rorir/line1/status";

// The words of every measurement answer the in-process sensor sent, taken from its log: the
// truth the published results are held against.
class MeasureTap {
 public:
  std::function<void(const std::string&)> callback() {
    return [this](const std::string& line) {
      const size_t at = line.find(" tx ");
      if (at == std::string::npos) return;
      std::vector<unsigned> bytes;
      std::istringstream hex(line.substr(at + 4));
      std::string b;
      while (hex >> b) bytes.push_back(static_cast<unsigned>(std::stoul(b, nullptr, 16)));
      // A frame answer to the measure order: sync 0x00AA, order 8, sixteen words.
      if (bytes.size() != 36 || bytes[0] != 0x00 || bytes[1] != 0xAA || bytes[2] != 0x00 || bytes[3] != 0x08) return;
      std::vector<unsigned> words;
      for (size_t i = 4; i + 1 < bytes.size(); i += 2) words.push_back(bytes[i] << 8 | bytes[i + 1]);
      std::lock_guard lock(mutex_);
      frames_.push_back(words);
    };
  }
  std::vector<std::vector<unsigned>> frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::vector<unsigned>> frames_;
};

struct Result {
  long long seq = -1;  // -1: the payload is not a result object
  QJsonObject json;
  std::string payload;
};

std::vector<Result> Results(const std::vector<Message>& messages) {
  std::vector<Result> out;
  for (const Message& m : messages) {
    Result r;
    r.payload = m.payload;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(m.payload));
    if (doc.isObject()) {
      r.json = doc.object();
      if (r.json.value("seq").isDouble()) r.seq = r.json.value("seq").toInteger(-1);
    }
    out.push_back(r);
  }
  return out;
}

std::vector<std::string> Payloads(const std::vector<Message>& messages) {
  std::vector<std::string> out;
  for (const Message& m : messages) out.push_back(m.payload);
  return out;
}

long long HighestSeq(const std::vector<Message>& messages) {
  long long top = 0;
  for (const Result& r : Results(messages)) top = std::max(top, r.seq);
  return top;
}

// What every result must carry; empty when it does.
std::string ShapeProblem(const Result& r) {
  static const std::regex utcMs(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
  if (r.seq < 1) return "no seq";
  if (!std::regex_match(r.json.value("time").toString().toStdString(), utcMs)) return "time is not UTC with ms";
  if (!r.json.contains("judgement")) return "no judgement";
  const QJsonValue j = r.json.value("judgement");
  if (!j.isNull() && j.toString() != "OK" && j.toString() != "NOK") return "judgement is not OK, NOK or null";
  const QJsonObject values = r.json.value("values").toObject();
  for (const char* name : {"Ledge", "Redge", "Mvalue", "umValue", "edcnt"})
    if (!values.contains(name)) return std::string("no value ") + name;
  for (auto it = values.begin(); it != values.end(); ++it) {
    const QJsonObject v = it.value().toObject();
    if (!v.value("value").isDouble() || v.value("unit").toString().isEmpty())
      return "value " + it.key().toStdString() + " without a number and a unit";
  }
  return "";
}

// The published values are a frame's: Ledge, Redge, Mvalue, umValue (low word first), and
// edcnt at word 7.
bool IsFrame(const Result& r, const std::vector<unsigned>& frame) {
  const QJsonObject v = r.json.value("values").toObject();
  auto value = [&](const char* name) { return v.value(name).toObject().value("value").toInteger(-1); };
  const long long um = static_cast<long long>(frame[3]) | static_cast<long long>(frame[4]) << 16;
  return value("Ledge") == frame[0] && value("Redge") == frame[1] && value("Mvalue") == frame[2] &&
         value("umValue") == um && value("edcnt") == frame[7];
}

// The link gives up on an answer that comes after its time-out (a pause of the whole machine
// longer than it), and such a frame is never taken; the gateway logs each time-out.
long long TimeoutsOf(const LineChild& gateway) {
  const std::vector<std::string> log = gateway.lines();
  return std::count_if(log.begin(), log.end(),
                       [](const std::string& l) { return l.rfind("sensor stopped answering (time-out)", 0) == 0; });
}

// The results by seq (a repeat counted once) are the sensor's frames in order, leaving out at
// most `skips` of them (one for each time-out) and the last one (cut by the stop): empty when
// they are.
std::string FramesProblem(const std::vector<Result>& results, const std::vector<std::vector<unsigned>>& frames,
                          long long skips) {
  std::map<long long, const Result*> bySeq;
  for (const Result& r : results) bySeq.emplace(r.seq, &r);
  size_t f = 0;
  for (const auto& [seq, r] : bySeq) {
    while (f < frames.size() && !IsFrame(*r, frames[f]) && skips > 0) {
      ++f;
      --skips;
    }
    if (f >= frames.size() || !IsFrame(*r, frames[f]))
      return "seq " + std::to_string(seq) + " is no frame the sensor sent next: " + r->payload;
    ++f;
  }
  if (frames.size() - f > static_cast<size_t>(skips) + 1)
    return std::to_string(frames.size() - f) + " frames the sensor sent after seq " +
           std::to_string(bySeq.empty() ? 0 : bySeq.rbegin()->first) + " were not published";
  return "";
}

// The results the gateway's last log line says it took ("stopped: N results taken"); -1 when
// the line is missing.
long long TakenByGateway(const LineChild& gateway) {
  static const std::regex stopped(R"(stopped: (\d+) results taken)");
  std::smatch m;
  for (const std::string& line : gateway.lines())
    if (std::regex_search(line, m, stopped)) return std::stoll(m[1].str());
  return -1;
}

bool LastIs(const std::vector<Message>& messages, const std::string& payload) {
  return !messages.empty() && messages.back().payload == payload;
}

// A broker, a subscriber on rorir/# and the gateway's command line.
class GatewayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(broker_.start(&error)) << error;
    subscriber_ = std::make_unique<Subscriber>(broker_.port());
    ASSERT_TRUE(subscriber_->start(&error)) << error;
  }

  std::vector<std::string> Args(const std::string& port, std::vector<std::string> extra = {}) const {
    std::vector<std::string> argv = {RORIR_GATEWAY_BIN, "--port", port, "--broker", broker_.url(), "--id", "line1"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return argv;
  }

  // Waits for at least `n` results; the message says what the subscriber and gateway saw.
  ::testing::AssertionResult WaitForResults(size_t n, const LineChild& gateway, double seconds = kLong) {
    if (subscriber_->waitFor(kResult, [&](const auto& m) { return m.size() >= n; }, seconds))
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "fewer than " << n << " results; gateway:\n"
                                         << gateway.transcript() << "subscriber:\n"
                                         << subscriber_->transcript();
  }

  // Every seq from 1 to the highest appears; with `once`, exactly once and in order.
  static std::string SequenceProblem(const std::vector<Result>& results, bool once) {
    std::map<long long, int> seen;
    long long top = 0;
    for (size_t i = 0; i < results.size(); ++i) {
      const std::string shape = ShapeProblem(results[i]);
      if (!shape.empty()) return shape + ": " + results[i].payload;
      if (once && results[i].seq != static_cast<long long>(i) + 1)
        return "result " + std::to_string(i + 1) + " has seq " + std::to_string(results[i].seq);
      ++seen[results[i].seq];
      top = std::max(top, results[i].seq);
    }
    for (long long s = 1; s <= top; ++s)
      if (seen.count(s) == 0) return "seq " + std::to_string(s) + " is missing (highest " + std::to_string(top) + ")";
    return "";
  }

  // Stops the gateway and the sensor, waits for `offline` and for every result the gateway says
  // it took, and holds them against the frames the sensor sent: every seq from 1 to the last
  // (with `once`, exactly once and in order), and the values of those frames in order, leaving
  // out the last frame (cut by the stop) and one for each time-out the gateway logged.
  void ExpectEveryFrameArrived(LineChild& gateway, PtyServer& sensor, const MeasureTap& tap, bool once) {
    EXPECT_EQ(gateway.terminate(kStop), 0) << gateway.transcript();
    const std::vector<std::vector<unsigned>> frames = tap.frames();
    sensor.stop();
    ASSERT_TRUE(subscriber_->waitFor(kStatus, [](const auto& m) { return LastIs(m, "offline"); }, kLong))
        << subscriber_->transcript();
    const long long taken = TakenByGateway(gateway);
    ASSERT_GT(taken, 0) << gateway.transcript();
    EXPECT_TRUE(subscriber_->waitFor(kResult, [&](const auto& m) { return HighestSeq(m) >= taken; }, kLong))
        << taken << " taken\n" << gateway.transcript();
    const std::vector<Result> results = Results(subscriber_->messages(kResult));
    EXPECT_EQ(SequenceProblem(results, once), "");
    EXPECT_EQ(HighestSeq(subscriber_->messages(kResult)), taken);
    const long long answered = static_cast<long long>(frames.size()), timeouts = TimeoutsOf(gateway);
    EXPECT_TRUE(taken <= answered && taken + 1 + timeouts >= answered)
        << taken << " taken, " << answered << " answered, " << timeouts << " time-outs\n"
        << gateway.transcript();
    EXPECT_EQ(FramesProblem(results, frames, timeouts), "");
    EXPECT_EQ(mqtt_test::RetainedPayload(broker_.port(), kStatus), "offline");
  }

  Broker broker_;
  std::unique_ptr<Subscriber> subscriber_;
};

TEST_F(GatewayTest, EveryResultArrivesOnceInOrderAndACleanStopLeavesOffline) {
  MeasureTap tap;
  ServerConfig config;
  config.log = tap.callback();
  PtyServer sensor(config);
  std::string error;
  ASSERT_TRUE(sensor.start(&error)) << error;
  LineChild gateway;
  ASSERT_TRUE(gateway.start(Args(sensor.slavePath()), &error)) << error;
  ASSERT_TRUE(WaitForResults(40, gateway));
  ExpectEveryFrameArrived(gateway, sensor, tap, true);
  EXPECT_EQ(Payloads(subscriber_->messages(kStatus)), (std::vector<std::string>{"online", "offline"}));
}

// At QoS 1 the broker's 5 s away lose nothing (a result may come twice, none may be missing).
TEST_F(GatewayTest, ABrokerOutageLosesNoResultAtQos1) {
  MeasureTap tap;
  ServerConfig config;
  config.log = tap.callback();
  PtyServer sensor(config);
  std::string error;
  ASSERT_TRUE(sensor.start(&error)) << error;
  LineChild gateway;
  ASSERT_TRUE(gateway.start(Args(sensor.slavePath(), {"--qos", "1"}), &error)) << error;
  ASSERT_TRUE(WaitForResults(20, gateway));
  broker_.stop();
  std::this_thread::sleep_for(std::chrono::seconds(5));
  ASSERT_TRUE(broker_.start(&error)) << error;
  // Beyond what was measured by the restart: the queue went out and new results follow.
  const long long beyond = static_cast<long long>(tap.frames().size()) + 20;
  ASSERT_TRUE(subscriber_->waitFor(kResult, [&](const auto& m) { return HighestSeq(m) >= beyond; }, 2 * kLong))
      << "gateway:\n" << gateway.transcript() << "broker:\n" << broker_.log();
  ExpectEveryFrameArrived(gateway, sensor, tap, false);
}

TEST_F(GatewayTest, ABrokerDownAtTheStartFillsTheQueueAndTheOldestGoCounted) {
  broker_.stop();
  MeasureTap tap;
  ServerConfig config;
  config.log = tap.callback();
  PtyServer sensor(config);
  std::string error;
  ASSERT_TRUE(sensor.start(&error)) << error;
  LineChild gateway;
  // One second's worth: 27 results wait, the older ones leave.
  ASSERT_TRUE(gateway.start(Args(sensor.slavePath(), {"--queue", "1"}), &error)) << error;
  ASSERT_TRUE(gateway.waitForLines([](const auto& l) { return l.size() >= 3; }, kLong)) << gateway.transcript();
  for (int i = 0; i < 600 && tap.frames().size() < 80; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_GE(tap.frames().size(), 80u) << gateway.transcript();
  ASSERT_TRUE(broker_.start(&error)) << error;
  const long long beyond = static_cast<long long>(tap.frames().size()) + 20;
  ASSERT_TRUE(subscriber_->waitFor(kResult, [&](const auto& m) { return HighestSeq(m) >= beyond; }, 2 * kLong))
      << gateway.transcript();
  EXPECT_EQ(gateway.terminate(kStop), 0) << gateway.transcript();

  // The newest results arrive in order from the first one kept; the log counts the others.
  std::map<long long, int> seen;
  for (const Result& r : Results(subscriber_->messages(kResult))) ++seen[r.seq];
  const long long first = seen.begin()->first, last = seen.rbegin()->first;
  EXPECT_GT(first, 27) << "results older than the queue's second arrived";
  EXPECT_EQ(static_cast<long long>(seen.size()), last - first + 1) << "a gap after the first result kept";
  static const std::regex dropped(R"((\d+) results left the full queue unsent while the broker was away)");
  std::smatch m;
  long long told = -1;
  for (const std::string& line : gateway.lines())
    if (std::regex_search(line, m, dropped)) told = std::stoll(m[1].str());
  EXPECT_EQ(told, first - 1) << gateway.transcript();
}

TEST_F(GatewayTest, AnUnpluggedSensorIsLostThenOnlineAndTheResultsGoOn) {
  const std::string link = broker_.dir() + "/sensor";
  LineChild sensor;
  std::string error;
  ASSERT_TRUE(sensor.start({RORIR_SENSOR_BIN, "--link", link, "--unplug-after", "10", "--replug-after", "3"}, &error))
      << error;
  ASSERT_TRUE(sensor.waitForLines([](const auto& l) { return !l.empty(); }, kLong)) << sensor.transcript();
  LineChild gateway;
  ASSERT_TRUE(gateway.start(Args(link), &error)) << error;

  const std::vector<std::string> away = {"online", "lost", "online"};
  ASSERT_TRUE(subscriber_->waitFor(kStatus, [&](const auto& m) { return Payloads(m) == away; }, 2 * kLong))
      << "status: " << ::testing::PrintToString(Payloads(subscriber_->messages(kStatus))) << "\ngateway:\n"
      << gateway.transcript() << "sensor:\n" << sensor.transcript();
  const long long back = HighestSeq(subscriber_->messages(kResult));
  EXPECT_GT(back, 0) << "no result before the unplug";
  ASSERT_TRUE(subscriber_->waitFor(kResult, [&](const auto& m) { return HighestSeq(m) >= back + 20; }, kLong))
      << gateway.transcript();

  EXPECT_EQ(gateway.terminate(kStop), 0) << gateway.transcript();
  sensor.terminate(kStop);
  ASSERT_TRUE(subscriber_->waitFor(kStatus, [](const auto& m) { return LastIs(m, "offline"); }, kLong))
      << subscriber_->transcript();
  // The seq counts the frames taken: the unplug leaves no gap and starts nothing again.
  EXPECT_EQ(SequenceProblem(Results(subscriber_->messages(kResult)), true), "");
  const std::vector<std::string> log = gateway.lines();
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& l) { return l.rfind("sensor lost", 0) == 0; }))
      << gateway.transcript();
}

TEST_F(GatewayTest, AKilledGatewayLeavesOfflineByItsLastWill) {
  ServerConfig config;
  PtyServer sensor(config);
  std::string error;
  ASSERT_TRUE(sensor.start(&error)) << error;
  LineChild gateway;
  ASSERT_TRUE(gateway.start(Args(sensor.slavePath()), &error)) << error;
  ASSERT_TRUE(WaitForResults(5, gateway));
  ASSERT_EQ(mqtt_test::RetainedPayload(broker_.port(), kStatus), "online");

  gateway.signal(SIGKILL);
  const int status = gateway.wait(kStop);
  ASSERT_TRUE(status != -1 && WIFSIGNALED(status)) << status;
  // The broker publishes the will once it sees the connection gone (at once on a closed
  // socket, at the latest when the keep-alive runs out).
  ASSERT_TRUE(subscriber_->waitFor(kStatus, [](const auto& m) { return LastIs(m, "offline"); }, kLong))
      << subscriber_->transcript() << broker_.log();
  EXPECT_EQ(mqtt_test::RetainedPayload(broker_.port(), kStatus), "offline");
}

struct BadInput {
  const char* name;
  std::string config;                 // written to @CONFIG when not empty
  std::vector<std::string> args;      // "@CONFIG" and "@DIR" replaced
  std::vector<std::string> named;     // each must appear in the one line on standard error
};

TEST(GatewayRefusalTest, BadSettingsEndWithStatus2AndOneLineNamingWhatIsWrong) {
  char dirTemplate[] = "/tmp/rorir-gateway-test-XXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  const std::string dir = dirTemplate;
  // Nothing listens there: a gateway that wrongly went on would run until the bound.
  const std::string broker = "mqtt://127.0.0.1:" + std::to_string(mqtt_test::FreePort());
  const std::string tlsBroker = "mqtts://127.0.0.1:" + std::to_string(mqtt_test::FreePort());
  const BadInput rows[] = {
      {"unknown key", "port = @DIR/tty\nbroker = " + broker + "\nid = line1\ncolour = red\n", {"--config", "@CONFIG"},
       {"@CONFIG", "colour"}},
      {"qos 2", "port = @DIR/tty\nbroker = " + broker + "\nid = line1\nqos = 2\n", {"--config", "@CONFIG"},
       {"qos", "2"}},
      {"not an MQTT URL", "port = @DIR/tty\nbroker = http://x\nid = line1\n", {"--config", "@CONFIG"},
       {"http://x"}},
      {"missing TLS file", "", {"--port", "@DIR/tty", "--broker", tlsBroker, "--id", "line1", "--cafile", "/nonexistent"},
       {"/nonexistent", "--cafile"}},
      {"missing password file", "",
       {"--port", "@DIR/tty", "--broker", broker, "--id", "line1", "--user", "u", "--password-file", "@DIR/none"},
       {"@DIR/none", "--password-file"}},
  };
  auto fill = [&](std::string s) {
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"@CONFIG", dir + "/gateway.conf"}, {"@DIR", dir}})
      for (size_t at; (at = s.find(from)) != std::string::npos;) s.replace(at, from.size(), to);
    return s;
  };
  for (const BadInput& row : rows) {
    SCOPED_TRACE(row.name);
    if (!row.config.empty()) std::ofstream(dir + "/gateway.conf") << fill(row.config);
    std::vector<std::string> argv = {RORIR_GATEWAY_BIN};
    for (const std::string& a : row.args) argv.push_back(fill(a));
    LineChild gateway;
    std::string error;
    ASSERT_TRUE(gateway.start(argv, &error)) << error;
    const int status = gateway.wait(kStop);
    EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 2) << status << "\n" << gateway.transcript();
    const std::string err = gateway.errText();
    EXPECT_EQ(err.rfind("rorir-gateway: ", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    for (const std::string& word : row.named) EXPECT_NE(err.find(fill(word)), std::string::npos) << word << " in " << err;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
