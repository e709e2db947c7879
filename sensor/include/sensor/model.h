// The protocol model of the virtual sensor: request bytes in, answer bytes out, time injected
// by the caller. It does no I/O of its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sensor/ccd.h"
#include "sensor/faults.h"
#include "sensor/profiles.h"
#include "sensor/protocol.h"

namespace rorir::sensor {

struct ModelOptions {
  const Profile* profile = nullptr;  ///< nullptr: the default profile
  std::uint64_t seed = 1;            ///< the same seed and requests give the same answers
  int objects = 2;                   ///< objects in front of the line: 1 or 2
  Faults faults;
  /// A partial request older than this is dropped when the next bytes arrive: a burst of
  /// garbage is forgotten after a pause, and the next request is read from its first byte.
  Nanos quietGap = std::chrono::milliseconds(20);
};

/// One answer: its bytes and the earliest time its first byte may leave.
struct Answer {
  Bytes bytes;
  Nanos at{0};
  std::uint16_t order = 0;  ///< the order it answers
};

/// What the model has seen.
struct Counters {
  std::uint64_t requests = 0;       ///< well-formed requests with a known order
  std::uint64_t answers = 0;        ///< answers sent (after faults)
  std::uint64_t dropped = 0;        ///< answers withheld by the silent or drop faults
  std::uint64_t badSync = 0;        ///< 36-byte requests whose sync word was not 0x0055
  std::uint64_t unknownOrder = 0;   ///< 36-byte requests with an order outside 1..11
  std::uint64_t shortRequests = 0;  ///< partial requests dropped after a quiet gap
  std::uint64_t badBlock = 0;       ///< video block requests with a first index above 192
  bool operator==(const Counters&) const = default;
};

class Model {
 public:
  explicit Model(const ModelOptions& options = {});

  /// Takes bytes that arrived at time `now` and returns the answers they complete.
  std::vector<Answer> receive(std::span<const std::uint8_t> bytes, Nanos now);
  /// Applies the quiet-gap rule without new bytes, so an abandoned partial request is counted.
  void idle(Nanos now);
  /// Answers one complete 36-byte request (empty for orders without answer and ignored input).
  std::optional<Answer> request(std::span<const std::uint8_t> frame, Nanos now);

  const Profile& profile() const { return profile_; }
  const Words& ram() const { return ram_; }
  const Words& eeprom() const { return eeprom_; }
  /// The video line of the last measurement (what order 9 serves).
  const Video& video() const { return capture_.video; }
  /// The results of the last measurement, with the current analog maximum and minimum.
  const Results& results() const { return results_; }
  const Counters& counters() const { return counters_; }
  /// True once the hang-up fault has fired; the model then ignores all input.
  bool hungUp() const { return hungUp_; }
  /// Bytes of a request begun but not yet complete.
  std::size_t pending() const { return buffer_.size(); }

 private:
  std::optional<Bytes> answerFor(const Frame& f, std::span<const std::uint8_t> raw, Nanos now);
  /// Takes a line; with `restartAnalog` the analog maximum and minimum start over from its
  /// analog value instead of taking it in.
  void measure(Nanos now, bool restartAnalog = false);
  /// The analog maximum and minimum of a sensor that has taken no line yet.
  void resetAnalog();
  Bytes frameAnswer(std::uint16_t order, const Words& words) const;
  std::optional<Answer> applyFaults(std::uint16_t order, Bytes bytes, Nanos now);

  const Profile& profile_;
  ModelOptions options_;
  CcdLine line_;
  Rng garbage_;
  Words ram_{};
  Words eeprom_{};
  Capture capture_{};
  bool captured_ = false;
  Results results_{};
  std::uint16_t anaMax_ = 0;
  std::uint16_t anaMin_ = 0;
  Counters counters_{};
  std::uint64_t produced_ = 0;  // answers produced before the drop fault
  bool hungUp_ = false;
  Bytes buffer_;
  Nanos lastByte_{0};
};

}  // namespace rorir::sensor
