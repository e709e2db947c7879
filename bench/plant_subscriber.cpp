// rorir-plant-subscriber: the plant's consumer for scripts/plant. It subscribes to every
// gateway's results on a broker, notes when each one arrives, and when stopped tells per sensor
// id what came (results, duplicates, gaps in seq) and, given the sensors' frame logs, the delay
// from each result frame's last byte on the sensor's line to its arrival here.
//
//   rorir-plant-subscriber --port 1883 [--prefix rorir] [--dir DIR] [--seconds S]
//
// It prints "subscribed" once the broker has granted the subscription, then nothing until
// SIGTERM, SIGINT or the end of --seconds; then one line per sensor id and one of the delays:
//   sensor line1 received 812 duplicates 0 gaps 0 last 812
//   delay results 812 median 2.41 p99 6.80 max 9.12 ms unpaired 0
// With --dir, it writes DIR/<id>.arrivals, one line "seq microseconds" per seq received (its
// first arrival, CLOCK_REALTIME), and reads DIR/<id>.frames, that sensor's --frame-log: its
// n-th line is paired with the result of seq n, which is the n-th result frame the gateway
// took as long as none was lost on the line. A result without its line, or that would have
// arrived before its frame was sent, is counted as unpaired and left out of the delays.
#include <mosquitto.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Sensor {
  std::vector<long long> arrival;  // by seq (index seq - 1); 0: not (yet) received
  long long received = 0;          // results, duplicates included
  long long duplicates = 0;
  long long last = 0;              // highest seq received
};

struct State {
  std::string prefix = "rorir";
  std::mutex mutex;
  std::map<std::string, Sensor> sensors;
  bool subscribed = false;
  bool refused = false;
};

long long NowMicros() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<long long>(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

// The value after "seq": in a result's JSON; 0 when there is none.
long long SeqOf(std::string_view payload) {
  const std::string_view key = "\"seq\":";
  const std::size_t at = payload.find(key);
  if (at == std::string_view::npos) return 0;
  const std::string value(payload.substr(at + key.size(), 20));
  return std::strtoll(value.c_str(), nullptr, 10);
}

void OnConnect(mosquitto* m, void* data, int rc) {
  auto* s = static_cast<State*>(data);
  if (rc != 0) {
    std::fprintf(stderr, "rorir-plant-subscriber: the broker refused the connection: %s\n", mosquitto_connack_string(rc));
    std::lock_guard lock(s->mutex);
    s->refused = true;
    return;
  }
  const std::string topic = s->prefix + "/+/result";
  mosquitto_subscribe(m, nullptr, topic.c_str(), 1);
}

void OnSubscribe(mosquitto*, void* data, int, int count, const int* granted) {
  auto* s = static_cast<State*>(data);
  if (count < 1 || granted[0] > 1) {
    std::fprintf(stderr, "rorir-plant-subscriber: the subscription was not granted\n");
    std::lock_guard lock(s->mutex);
    s->refused = true;
    return;
  }
  std::lock_guard lock(s->mutex);
  if (!s->subscribed) std::printf("subscribed\n");
  std::fflush(stdout);
  s->subscribed = true;
}

void OnMessage(mosquitto*, void* data, const mosquitto_message* msg) {
  const long long now = NowMicros();
  auto* s = static_cast<State*>(data);
  const std::string_view topic(msg->topic);
  const std::string_view tail = "/result";
  if (topic.size() <= s->prefix.size() + 1 + tail.size()) return;
  const std::string id(topic.substr(s->prefix.size() + 1, topic.size() - s->prefix.size() - 1 - tail.size()));
  const long long seq = SeqOf({static_cast<const char*>(msg->payload), static_cast<std::size_t>(msg->payloadlen)});
  std::lock_guard lock(s->mutex);
  Sensor& sensor = s->sensors[id];
  ++sensor.received;
  if (seq < 1) return;  // counted, but it has no place among the seq
  if (static_cast<std::size_t>(seq) > sensor.arrival.size()) sensor.arrival.resize(static_cast<std::size_t>(seq), 0);
  long long& at = sensor.arrival[static_cast<std::size_t>(seq - 1)];
  if (at != 0) {
    ++sensor.duplicates;
  } else {
    at = now;
  }
  sensor.last = std::max(sensor.last, seq);
}

std::vector<long long> ReadFrames(const std::string& path) {
  std::vector<long long> frames;
  std::ifstream in(path);
  for (long long t; in >> t;) frames.push_back(t);
  return frames;
}

// The nearest-rank percentile of sorted values.
double Percentile(const std::vector<long long>& sorted, double p) {
  const std::size_t rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size())));
  return static_cast<double>(sorted[std::max<std::size_t>(rank, 1) - 1]);
}

int Usage(const char* why) {
  std::fprintf(stderr, "rorir-plant-subscriber: %s\nusage: rorir-plant-subscriber --port N [--prefix P] [--dir DIR] [--seconds S]\n", why);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  State state;
  int port = 0;
  std::string dir;
  double seconds = 0.0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (i + 1 >= argc) return Usage("every option takes a value");
    const char* value = argv[++i];
    if (arg == "--port") {
      port = std::atoi(value);
    } else if (arg == "--prefix") {
      state.prefix = value;
    } else if (arg == "--dir") {
      dir = value;
    } else if (arg == "--seconds") {
      seconds = std::atof(value);
    } else {
      return Usage("unknown option");
    }
  }
  if (port <= 0 || port > 65535) return Usage("--port needs the broker's port");

  // The stop signals are taken by sigtimedwait; blocked first, so that the client's network
  // thread, which inherits the mask, never gets them.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  mosquitto_lib_init();
  const std::string clientId = "rorir-plant-subscriber-" + std::to_string(getpid());
  mosquitto* m = mosquitto_new(clientId.c_str(), true, &state);
  if (!m) {
    std::fprintf(stderr, "rorir-plant-subscriber: no MQTT client: %s\n", std::strerror(errno));
    return 1;
  }
  mosquitto_connect_callback_set(m, OnConnect);
  mosquitto_subscribe_callback_set(m, OnSubscribe);
  mosquitto_message_callback_set(m, OnMessage);
  int rc = mosquitto_connect(m, "127.0.0.1", port, 30);
  if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_start(m);
  if (rc != MOSQ_ERR_SUCCESS) {
    std::fprintf(stderr, "rorir-plant-subscriber: cannot reach the broker on 127.0.0.1:%d: %s\n", port, mosquitto_strerror(rc));
    return 1;
  }

  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    timespec tick{0, 100'000'000};
    if (sigtimedwait(&stop, nullptr, &tick) > 0) break;
    if (seconds > 0 && std::chrono::steady_clock::now() >= end) break;
    std::lock_guard lock(state.mutex);
    if (state.refused) break;
  }
  mosquitto_disconnect(m);
  mosquitto_loop_stop(m, false);
  mosquitto_destroy(m);
  mosquitto_lib_cleanup();
  if (state.refused || !state.subscribed) {
    if (!state.refused) std::fprintf(stderr, "rorir-plant-subscriber: stopped before the subscription was granted\n");
    return 1;
  }

  std::vector<long long> delays;
  long long unpaired = 0;
  bool failed = false;
  for (const auto& [id, sensor] : state.sensors) {
    long long gaps = 0;
    for (long long at : sensor.arrival) gaps += at == 0;
    std::printf("sensor %s received %lld duplicates %lld gaps %lld last %lld\n", id.c_str(), sensor.received,
                sensor.duplicates, gaps, sensor.last);
    if (dir.empty()) continue;
    if (std::FILE* out = std::fopen((dir + "/" + id + ".arrivals").c_str(), "w")) {
      for (std::size_t k = 0; k < sensor.arrival.size(); ++k)
        if (sensor.arrival[k] != 0) std::fprintf(out, "%zu %lld\n", k + 1, sensor.arrival[k]);
      if (std::fclose(out) != 0) failed = true;
    } else {
      failed = true;
    }
    const std::vector<long long> sent = ReadFrames(dir + "/" + id + ".frames");
    for (std::size_t k = 0; k < sensor.arrival.size(); ++k) {
      if (sensor.arrival[k] == 0) continue;
      if (k >= sent.size() || sensor.arrival[k] < sent[k]) {
        ++unpaired;
        continue;
      }
      delays.push_back(sensor.arrival[k] - sent[k]);
    }
  }
  if (!dir.empty()) {
    std::sort(delays.begin(), delays.end());
    if (delays.empty()) {
      std::printf("delay results 0 median - p99 - max - ms unpaired %lld\n", unpaired);
    } else {
      std::printf("delay results %zu median %.2f p99 %.2f max %.2f ms unpaired %lld\n", delays.size(),
                  Percentile(delays, 0.5) / 1000.0, Percentile(delays, 0.99) / 1000.0,
                  static_cast<double>(delays.back()) / 1000.0, unpaired);
    }
  }
  if (failed) std::fprintf(stderr, "rorir-plant-subscriber: cannot write the arrivals into %s\n", dir.c_str());
  return failed ? 1 : 0;
}
