#include "platform/mqtt/mqtt_client.h"

#include <mosquitto.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

namespace mqtt {

int NextBackoff(int seconds) {
  if (seconds < kBackoffFirst) return kBackoffFirst;
  return seconds >= kBackoffLongest / 2 ? kBackoffLongest : seconds * 2;
}

namespace {

using Clock = std::chrono::steady_clock;

// libmosquitto is set up once per process, whatever the number of clients.
std::once_flag gLibraryOnce;

struct Message {
  std::string topic;
  std::string payload;
};

std::string ConnackText(int rc) {
  const char* text = mosquitto_connack_string(rc);
  return text ? text : "refused";
}

}  // namespace

struct Client::State {
  Settings settings;
  std::function<void(const std::string&)> log;
  mosquitto* mosq = nullptr;

  mutable std::recursive_mutex lock;
  std::condition_variable_any wake;
  std::deque<Message> queue;
  std::set<int> inFlight;                     // results handed over, by message id
  std::set<int> retainedPending;              // retained values handed over, by message id
  std::map<std::string, std::string> retained;  // topic -> latest value
  Counters counters;
  bool connected = false;
  std::uint64_t droppedTold = 0;  // dropped results the log has been told of at a connection
  bool quit = false;      // the network thread ends at its next look
  bool stopping = false;  // a clean disconnect is on its way out
  Clock::time_point stopDeadline;
  std::thread network;

  void Log(const std::string& line) {
    if (log) log(line);
  }

  // Hands the retained values over; called with the lock held, when connected.
  void PublishRetained() {
    for (const auto& [topic, payload] : retained) PublishOneRetained(topic, payload);
  }
  void PublishOneRetained(const std::string& topic, const std::string& payload) {
    int mid = 0;
    if (mosquitto_publish(mosq, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                          settings.qos, true) == MOSQ_ERR_SUCCESS)
      retainedPending.insert(mid);
  }

  // Hands the oldest waiting results over while the window has room; with the lock held.
  void Pump() {
    while (connected && !queue.empty() && inFlight.size() < kInFlight) {
      const Message& m = queue.front();
      int mid = 0;
      const int rc = mosquitto_publish(mosq, &mid, m.topic.c_str(), static_cast<int>(m.payload.size()),
                                       m.payload.data(), settings.qos, false);
      if (rc != MOSQ_ERR_SUCCESS) break;  // the connection just went: the result waits on
      inFlight.insert(mid);
      ++counters.handedOver;
      queue.pop_front();
    }
    counters.waiting = queue.size();
    counters.inFlight = inFlight.size();
    counters.connected = connected;
  }

  void OnConnect(int rc) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (rc != 0) {
      Log("broker refused the connection: " + ConnackText(rc));
      return;
    }
    connected = true;
    counters.backoffSeconds = kBackoffFirst;
    Log("broker connected: " + std::string(settings.tls ? "mqtts://" : "mqtt://") + settings.host + ":" +
        std::to_string(settings.port) + " as " + settings.clientId);
    if (counters.dropped > droppedTold)
      Log(std::to_string(counters.dropped - droppedTold) + " results left the full queue unsent while the broker was away");
    droppedTold = counters.dropped;
    PublishRetained();
    Pump();
    wake.notify_all();
  }

  void OnPublish(int mid) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (inFlight.erase(mid) > 0) ++counters.delivered;
    retainedPending.erase(mid);
    Pump();
    wake.notify_all();
  }

  // The connection is gone: at QoS 0 what was handed over and not written is gone with it;
  // at QoS 1 libmosquitto keeps it and sends it again after the reconnection.
  void NoteLost(const std::string& why) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    const bool was = connected;
    connected = false;
    counters.connected = false;
    if (settings.qos == 0) {
      inFlight.clear();
      retainedPending.clear();
    }
    if (was && !stopping) Log("broker lost: " + why);
    wake.notify_all();
  }

  void Run() {
    bool attempted = false;
    bool socketUp = false;
    Clock::time_point nextAttempt = Clock::now();
    for (;;) {
      {
        std::unique_lock<std::recursive_mutex> guard(lock);
        if (quit) break;
        if (!socketUp) {
          if (Clock::now() < nextAttempt) {
            wake.wait_until(guard, nextAttempt, [&] { return quit; });
            continue;
          }
        }
      }
      if (!socketUp) {
        const int rc = attempted ? mosquitto_reconnect(mosq)
                                 : mosquitto_connect(mosq, settings.host.c_str(), settings.port,
                                                     settings.keepAliveSeconds);
        attempted = true;
        if (rc == MOSQ_ERR_SUCCESS) {
          socketUp = true;
        } else {
          std::lock_guard<std::recursive_mutex> guard(lock);
          const int wait = counters.backoffSeconds;
          counters.backoffSeconds = NextBackoff(wait);
          nextAttempt = Clock::now() + std::chrono::seconds(wait);
          Log("broker not reached (" + std::string(rc == MOSQ_ERR_ERRNO ? "connection failed" : mosquitto_strerror(rc)) +
              "): next attempt in " + std::to_string(wait) + " s");
          continue;
        }
      }
      const int rc = mosquitto_loop(mosq, stopping ? 20 : 200, 1);
      {
        // The clean disconnect ends the connection once its packet is written; the thread
        // waits for that (briefly), else the broker would take a closed socket for a loss and
        // publish the last will after the status the stop published.
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (stopping && (rc != MOSQ_ERR_SUCCESS || Clock::now() > stopDeadline)) break;
      }
      if (rc != MOSQ_ERR_SUCCESS) {
        socketUp = false;
        NoteLost(rc == MOSQ_ERR_CONN_LOST ? "connection lost" : mosquitto_strerror(rc));
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (quit) break;
        const int wait = counters.backoffSeconds;
        counters.backoffSeconds = NextBackoff(wait);
        nextAttempt = Clock::now() + std::chrono::seconds(wait);
        Log("next attempt in " + std::to_string(wait) + " s");
      }
    }
  }
};

Client::Client(Settings settings, std::function<void(const std::string&)> log) : state_(new State) {
  state_->settings = std::move(settings);
  state_->log = std::move(log);
}

Client::~Client() {
  stop(0);
  if (state_->mosq) mosquitto_destroy(state_->mosq);
}

bool Client::start(std::string* error) {
  State& s = *state_;
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  std::call_once(gLibraryOnce, [] { mosquitto_lib_init(); });
  s.mosq = mosquitto_new(s.settings.clientId.c_str(), true, &s);
  if (!s.mosq) return fail("the MQTT client could not be made");
  mosquitto_threaded_set(s.mosq, true);
  mosquitto_int_option(s.mosq, MOSQ_OPT_TCP_NODELAY, 1);
  mosquitto_int_option(s.mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  // The network thread waits for one acknowledgement at a time no longer than the window.
  mosquitto_max_inflight_messages_set(s.mosq, static_cast<unsigned>(kInFlight + 8));
  if (s.settings.tls) {
    const char* ca = s.settings.cafile.empty() ? nullptr : s.settings.cafile.c_str();
    if (!ca) mosquitto_int_option(s.mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    const int rc = mosquitto_tls_set(s.mosq, ca, ca ? nullptr : "/etc/ssl/certs",
                                     s.settings.certfile.empty() ? nullptr : s.settings.certfile.c_str(),
                                     s.settings.keyfile.empty() ? nullptr : s.settings.keyfile.c_str(), nullptr);
    if (rc != MOSQ_ERR_SUCCESS) return fail(std::string("the TLS settings are refused: ") + mosquitto_strerror(rc));
  }
  if (!s.settings.user.empty() &&
      mosquitto_username_pw_set(s.mosq, s.settings.user.c_str(),
                                s.settings.password.empty() ? nullptr : s.settings.password.c_str()) != MOSQ_ERR_SUCCESS)
    return fail("the user name is refused");
  if (!s.settings.willTopic.empty() &&
      mosquitto_will_set(s.mosq, s.settings.willTopic.c_str(), static_cast<int>(s.settings.willPayload.size()),
                         s.settings.willPayload.data(), s.settings.qos, true) != MOSQ_ERR_SUCCESS)
    return fail("the last will is refused");
  mosquitto_connect_callback_set(s.mosq, [](mosquitto*, void* data, int rc) {
    static_cast<State*>(data)->OnConnect(rc);
  });
  mosquitto_publish_callback_set(s.mosq, [](mosquitto*, void* data, int mid) {
    static_cast<State*>(data)->OnPublish(mid);
  });
  mosquitto_disconnect_callback_set(s.mosq, [](mosquitto*, void* data, int rc) {
    if (rc != 0) static_cast<State*>(data)->NoteLost("connection lost");
  });
  s.network = std::thread([&s] { s.Run(); });
  return true;
}

void Client::publish(const std::string& topic, std::string payload) {
  State& s = *state_;
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  ++s.counters.queued;
  if (s.queue.size() >= s.settings.queueCapacity) {
    s.queue.pop_front();
    ++s.counters.dropped;
  }
  if (s.settings.queueCapacity > 0) s.queue.push_back({topic, std::move(payload)});
  else ++s.counters.dropped;
  s.Pump();
}

void Client::setRetained(const std::string& topic, std::string payload) {
  State& s = *state_;
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  auto& slot = s.retained[topic];
  slot = std::move(payload);
  if (s.connected) s.PublishOneRetained(topic, slot);
}

std::uint64_t Client::stop(double seconds) {
  State& s = *state_;
  if (!s.network.joinable()) {
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    return s.queue.size() + s.inFlight.size();
  }
  {
    std::unique_lock<std::recursive_mutex> guard(s.lock);
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    s.wake.wait_until(guard, deadline, [&] {
      return !s.connected || (s.queue.empty() && s.inFlight.empty() && s.retainedPending.empty());
    });
    // Connected: the network thread writes the disconnect and then ends; otherwise it ends
    // at once.
    s.stopping = true;
    s.stopDeadline = Clock::now() + std::chrono::milliseconds(300);
    if (!s.connected || mosquitto_disconnect(s.mosq) != MOSQ_ERR_SUCCESS) s.quit = true;
    s.wake.notify_all();
  }
  s.network.join();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  return s.queue.size() + s.inFlight.size();
}

Counters Client::counters() const {
  std::lock_guard<std::recursive_mutex> guard(state_->lock);
  Counters c = state_->counters;
  c.waiting = state_->queue.size();
  c.inFlight = state_->inFlight.size();
  c.connected = state_->connected;
  return c;
}

}  // namespace mqtt
