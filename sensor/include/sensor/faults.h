// Faults the virtual sensor can be told to commit, for tests and demonstrations of the
// program's time-outs and error texts.
#pragma once

#include <chrono>
#include <cstdint>

namespace rorir::sensor {

struct Faults {
  bool silent = false;         ///< never answer
  bool wrongSync = false;      ///< frame answers carry kWrongSync instead of 0x00AA
  unsigned wrongSyncEvery = 0; ///< every n-th answer (a frame) carries kWrongSync (0: none)
  bool echoUnchanged = false;  ///< the echo order is answered with the request, byte for byte
  std::chrono::milliseconds delay{0};  ///< every answer leaves this much later
  unsigned dropEvery = 0;      ///< drop every n-th answer (0: none)
  unsigned extraBytes = 0;     ///< append this many bytes to every answer
  unsigned missingBytes = 0;   ///< cut this many bytes off the end of every answer
  bool wrongOrder = false;     ///< frame answers carry the order word with bit 8 set (8 -> 0x0108)
  bool garbage = false;        ///< every answer is replaced by as many random bytes
  unsigned hangUpAfter = 0;    ///< hang up after this many requests (0: never)

  bool operator==(const Faults&) const = default;
};

inline constexpr std::uint16_t kWrongSync = 0x00A5;
inline constexpr std::uint8_t kExtraByte = 0xEE;

}  // namespace rorir::sensor
