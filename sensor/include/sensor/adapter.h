// A USB-serial adapter between the line and the host, as the virtual sensor models it: bytes
// that have crossed the line collect in the adapter's buffer, and the buffer is passed on to
// the host in one burst when it holds a packet's worth of bytes or when its latency timer,
// started by the first byte in the empty buffer, runs out. A frame therefore reaches the host
// in pieces, the last of them up to the latency after its last byte crossed the line.
//
// No I/O and no clock: the times are given by the caller (the line's byte times).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "sensor/ccd.h"
#include "sensor/protocol.h"

namespace rorir::sensor {

inline constexpr std::size_t kDefaultAdapterPacket = 62;  ///< a full-speed packet less its status bytes

struct AdapterSettings {
  Nanos latency{0};         ///< timer from the first byte in the empty buffer; 0: no adapter
  std::size_t packet = kDefaultAdapterPacket;  ///< bytes that fill the buffer and send it at once
  bool on() const { return latency > Nanos{0}; }
  bool operator==(const AdapterSettings&) const = default;
};

inline constexpr unsigned kMaxAdapterLatencyMs = 255;
inline constexpr std::size_t kMaxAdapterPacket = 4096;

/// One burst the adapter passes on: its bytes and the time they reach the host.
struct Burst {
  Bytes bytes;
  Nanos at{0};
};

class Adapter {
 public:
  explicit Adapter(AdapterSettings settings) : settings_(settings) {}

  /// A byte that completed on the line at `at` enters the buffer. Calls come in time order.
  void receive(std::uint8_t byte, Nanos at);
  /// Takes the bursts passed on by `now`, in order, each whole.
  std::vector<Burst> takeDue(Nanos now);
  /// When the next burst is passed on, if any bytes wait.
  std::optional<Nanos> nextDue() const;
  bool idle() const { return closed_.empty() && open_.bytes.empty(); }

 private:
  void close(Nanos at);

  AdapterSettings settings_;
  std::deque<Burst> closed_;  // bursts whose time is fixed
  Burst open_;                // the buffer still filling; `at` is when its timer runs out
};

/// When the last of `bytes` bytes reaches the host through the adapter, the first of them
/// starting on the line at `start` at `baud` (10 bits a byte; 0: all at `start`).
Nanos deliveredAt(std::size_t bytes, Nanos start, unsigned baud, AdapterSettings settings);

/// One line that states the model, e.g. "bursts at 62 bytes or 16 ms after the first byte".
std::string describe(const AdapterSettings& settings);

}  // namespace rorir::sensor
