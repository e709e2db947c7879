// Line pacing: how long bytes take on a serial line at a given baud rate, with ten bits per
// byte (start bit, eight data bits, stop bit), in both directions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "sensor/ccd.h"
#include "sensor/protocol.h"

namespace rorir::sensor {

inline constexpr unsigned kBitsPerByte = 10;
inline constexpr unsigned kDefaultBaud = 19200;

/// Time that `bytes` bytes take on the line; 0 when baud is 0 (unpaced).
Nanos transferTime(std::size_t bytes, unsigned baud);

/// Time of one request and its answer, back to back.
Nanos exchangeTime(std::size_t requestBytes, std::size_t answerBytes, unsigned baud);

/// One video pass of the program: a measure exchange and four block exchanges.
Nanos videoPassTime(unsigned baud);

/// Both directions of a paced line. Bytes that arrive all at once on a pseudo-terminal are
/// taken as if they had come one after another at the line's rate, and answer bytes are handed
/// out only when they would have arrived at the far end.
class PacedLine {
 public:
  explicit PacedLine(unsigned baud) : baud_(baud) {}

  /// Records `count` bytes read at `now`; returns the time the last of them is complete.
  Nanos receive(std::size_t count, Nanos now);
  /// Queues an answer whose first byte may start at `start`.
  void send(std::span<const std::uint8_t> bytes, Nanos start);
  /// Takes the queued bytes that have fully crossed the line by `now`.
  Bytes takeDue(Nanos now);
  struct TimedByte {
    std::uint8_t byte;
    Nanos due;  ///< when it has fully crossed the line
  };
  /// As takeDue, with the time each byte completed.
  std::vector<TimedByte> takeDueTimed(Nanos now);
  /// Time the next queued byte is complete, if any is queued.
  std::optional<Nanos> nextDue() const;
  bool idle() const { return queue_.empty(); }
  unsigned baud() const { return baud_; }

 private:
  unsigned baud_;
  Nanos inputFree_{0};   // when the incoming direction is free again
  Nanos outputFree_{0};  // when the outgoing direction is free again
  std::deque<TimedByte> queue_;
};

}  // namespace rorir::sensor
