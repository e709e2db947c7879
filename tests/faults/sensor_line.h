// The far end of COM1 for the fault tests: the virtual sensor's model behind a scripted
// pseudo-terminal, reached through a symbolic link, so the line can hang up (the
// pseudo-terminal closes) and come back on a new device under the same name. The faults the
// model commits and the way its answers travel can be switched while the program runs.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "sensor/faults.h"

namespace rorir::sensor {
class Model;
}
#include "support/scripted_peer.h"

class SensorLine {
 public:
  /// A line behind the symbolic link `link`; plugged in at once, healthy.
  explicit SensorLine(std::string link);
  ~SensorLine();

  /// A new pseudo-terminal with a healthy sensor behind the link (after a hang-up).
  void plugIn();
  /// Closes the pseudo-terminal: the program's device reports a hang-up.
  void hangUp();
  /// Pulls the device: hangs up and removes the link, as a USB adapter's node goes away.
  void unplug();

  /// Answers from now on come from a model that commits these faults (none: healthy).
  void setFaults(const rorir::sensor::Faults& faults);
  /// Every answer goes out one byte at a time with this pause before each byte (0: whole).
  void splitAnswers(std::chrono::milliseconds pause);
  /// Measure answers leave this long after their request (0: at once).
  void delayMeasureAnswers(std::chrono::milliseconds delay);
  /// Every answer leaves this long after its request, beyond the measure delay (0: at once);
  /// kept across plugIn.
  void delayAllAnswers(std::chrono::milliseconds delay);
  /// Sends `count` random bytes unasked.
  void burst(size_t count);

  ScriptedPeer& peer() { return *peer_; }
  /// The model that answers now (a new one after plugIn or setFaults).
  std::shared_ptr<rorir::sensor::Model> model() const;
  /// Measure requests seen since the line was last plugged in.
  size_t measureRequests() const;

 private:
  struct State;
  std::string link_;
  std::shared_ptr<State> state_;
  std::unique_ptr<ScriptedPeer> peer_;
  std::uint32_t noise_ = 0x1234567u;
};
