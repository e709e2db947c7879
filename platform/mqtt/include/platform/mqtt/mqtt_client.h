// The gateway's connection to the plant's MQTT broker, on libmosquitto.
//
// Results go through a bounded queue, in order: while the broker is away they wait there, and
// once the queue is full the oldest leaves (and is counted). A network thread of its own
// connects, reconnects after a loss with a backoff of 1 s doubling to 60 s (back to 1 s after a
// good connection), and hands the queue to the broker in order, at most `kInFlight`
// unacknowledged at a time. At QoS 1 a result counts as delivered when the broker acknowledged
// it; one handed over before a loss is sent again after the reconnection (at least once, so it
// may arrive twice).
//
// Retained state (the line's status, the sensor's identity) is not queued: the latest value of
// each topic is published at once when connected and again after every (re)connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace mqtt {

struct Settings {
  std::string host = "127.0.0.1";
  int port = 1883;
  bool tls = false;
  std::string clientId;
  std::string cafile, certfile, keyfile;  ///< TLS files; no cafile: the system's authorities
  std::string user, password;             ///< no user: anonymous
  int qos = 1;                            ///< of results and of retained state: 0 or 1
  std::size_t queueCapacity = 16200;      ///< results that may wait
  std::string willTopic, willPayload;     ///< the broker publishes it, retained, when we vanish
  int keepAliveSeconds = 10;
};

struct Counters {
  std::uint64_t queued = 0;        ///< results taken
  std::uint64_t handedOver = 0;    ///< results given to the broker's connection
  std::uint64_t delivered = 0;     ///< acknowledged (QoS 1) or written (QoS 0)
  std::uint64_t dropped = 0;       ///< left the full queue unsent, oldest first
  std::size_t waiting = 0;         ///< in the queue now
  std::size_t inFlight = 0;        ///< handed over, not yet acknowledged
  bool connected = false;
  int backoffSeconds = 1;          ///< the next wait after a failed attempt
};

/// Results handed to the connection at a time before their acknowledgement.
constexpr std::size_t kInFlight = 64;
constexpr int kBackoffFirst = 1;
constexpr int kBackoffLongest = 60;

/// The next wait after a failed attempt that waited `seconds`: doubled, at most 60 s.
int NextBackoff(int seconds);

class Client {
 public:
  /// `log` gets one line per event of the connection (connected, lost, refused, the next
  /// attempt); it is called from the network thread too, never with the password.
  Client(Settings settings, std::function<void(const std::string&)> log);
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  /// Sets up the connection (TLS files, user, last will) and starts the network thread, which
  /// keeps trying to reach the broker. False, with the reason, when libmosquitto refuses the
  /// settings (a TLS file it cannot use).
  bool start(std::string* error);
  /// Queues one result for `topic` (not retained).
  void publish(const std::string& topic, std::string payload);
  /// Sets the retained value of `topic` (published now when connected, and after each
  /// reconnection).
  void setRetained(const std::string& topic, std::string payload);
  /// Waits at most `seconds` for the queue and the retained state to reach the broker, then
  /// disconnects cleanly (no last will) and ends the network thread. Returns the results that
  /// were not delivered.
  std::uint64_t stop(double seconds);
  Counters counters() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace mqtt
