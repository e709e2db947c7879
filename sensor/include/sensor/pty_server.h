// The virtual sensor served on a pseudo-terminal, on a thread of its own. The executable uses
// it, and so can tests that want a sensor on a real serial device:
//
//   rorir::sensor::ServerConfig config;
//   config.baud = 0;                          // unpaced
//   rorir::sensor::PtyServer sensor(config);
//   std::string error;
//   if (!sensor.start(&error)) FAIL() << error;
//   openAndTalkTo(sensor.slavePath());        // e.g. with RORIR_COM1 set to it
//   sensor.stop();                            // also done by the destructor
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "sensor/adapter.h"
#include "sensor/model.h"
#include "sensor/pacing.h"

namespace rorir::sensor {

struct ServerConfig {
  ModelOptions model;             ///< profile, seed, objects, faults
  unsigned baud = kDefaultBaud;   ///< line pacing; 0 answers at once
  AdapterSettings adapter;        ///< answers reach the client in an adapter's bursts; off by default
  std::string linkPath;           ///< symbolic link to the slave device; empty: none
  /// Called on the server's thread with one line per request chunk and per answer, e.g.
  /// "  12.345678 rx 00 55 00 05 ...". Empty: no log.
  std::function<void(const std::string&)> log;
  /// Called on the server's thread for each answer to a measure request (a result frame),
  /// with the wall-clock time taken just before the write that hands its last byte to the
  /// client, so after that byte has crossed the paced line (and the adapter) and never after
  /// the client can have read it. Empty: not called.
  std::function<void(std::chrono::system_clock::time_point)> resultSent;
};

class PtyServer {
 public:
  explicit PtyServer(ServerConfig config);
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  /// Opens the pseudo-terminal (slave set raw, 19200 8N1), makes the link and starts serving.
  /// False, with the reason in `error`, when any step fails; nothing is left behind then.
  bool start(std::string* error = nullptr);
  /// Stops serving, closes the pseudo-terminal and removes the link (if it still points to
  /// this server's device). Safe to call twice.
  void stop();
  /// True from start() until stop() or a hang-up.
  bool running() const;
  /// True once the hang-up fault has closed the line.
  bool hungUp() const;
  /// The slave device, e.g. /dev/pts/3, for the client to open.
  const std::string& slavePath() const;
  /// The link made at start(), or empty.
  const std::string& linkPath() const;
  /// A snapshot of the model's counters.
  Counters counters() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace rorir::sensor
