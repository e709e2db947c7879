// Frame layout and order codes of the serial protocol, seen from the sensor's side.
//
// Every request is one 36-byte frame: sync word 0x0055, order word, sixteen parameter words,
// each word big-endian. Frame answers carry the sync word 0x00AA. The firmware text (72 bytes)
// and the video blocks (128 bytes) are raw answers without sync or order word.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace rorir::sensor {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t kWords = 16;                   ///< parameter words per frame
inline constexpr std::size_t kFrameSize = 4 + 2 * kWords;   ///< 36 bytes
inline constexpr std::size_t kFirmwareSize = 72;            ///< firmware text answer
inline constexpr std::size_t kVideoWords = 256;             ///< words of one video line
inline constexpr std::size_t kBlockWords = 64;              ///< words of one video block
inline constexpr std::size_t kBlockSize = 2 * kBlockWords;  ///< 128 bytes
inline constexpr std::uint16_t kRequestSync = 0x0055;
inline constexpr std::uint16_t kAnswerSync = 0x00AA;

/// The order codes a request can carry.
enum class Order : std::uint16_t {
  WriteRam = 1,
  ReadRam = 2,
  WriteEeprom = 3,
  ReadEeprom = 4,
  Echo = 5,
  Teach = 6,
  Firmware = 7,
  Measure = 8,
  VideoBlock = 9,
  Hardware = 10,
  ResetAnalog = 11,
};

/// True for the codes 1..11.
bool isKnownOrder(std::uint16_t code);

using Words = std::array<std::uint16_t, kWords>;

/// A decoded frame: sync word, order word and the sixteen parameter words.
struct Frame {
  std::uint16_t sync = 0;
  std::uint16_t order = 0;
  Words words{};
  bool operator==(const Frame&) const = default;
};

/// Encodes a frame into its 36 bytes, every word high byte first.
Bytes encodeFrame(const Frame& frame);
/// Decodes 36 bytes; empty when fewer than 36 bytes are given (extra bytes are ignored).
std::optional<Frame> decodeFrame(std::span<const std::uint8_t> bytes);

/// Appends a word high byte first.
void putWord(Bytes& out, std::uint16_t word);
/// Reads the big-endian word at byte offset 2 * index.
std::uint16_t wordAt(std::span<const std::uint8_t> bytes, std::size_t index);

/// Hex text of bytes, for logs and test messages: "00 55 00 05".
std::string hex(std::span<const std::uint8_t> bytes);

/// Positions of the sixteen settings in a parameter frame.
enum Setting : std::size_t {
  kPower = 0,
  kTolMode = 1,
  kVThd = 2,
  kAnaMode = 3,
  kPolarity = 4,
  kEMode = 5,
  kEBeg = 6,
  kEEnd = 7,
  kTVal = 8,
  kTTol = 9,
  kOpMode = 10,
  kEHardware = 11,
  kSlope = 12,
  kIntersect = 13,
  kAverage = 14,
  kPowMode = 15,
};

/// The results of one measurement, in the order of the result frame's words.
struct Results {
  std::uint16_t Ledge = 0;     ///< left (first) edge, sub-pixel units
  std::uint16_t Redge = 0;     ///< right (last) edge, sub-pixel units
  std::uint16_t Mvalue = 0;    ///< M-value chosen by the edge mode
  std::uint32_t umValue = 0;   ///< Mvalue * slope; low word first in the frame
  std::uint16_t tVal = 0;      ///< setpoint of the RAM set, echoed
  std::uint16_t tTol = 0;      ///< tolerance of the RAM set, echoed
  std::uint16_t edcnt = 0;     ///< number of edges in the edge window
  std::uint16_t mvstart = 0;   ///< start of the M-value range
  std::uint16_t mvend = 0;     ///< end of the M-value range
  std::uint16_t dynpower = 0;  ///< power in use
  std::uint16_t anaMax = 0;    ///< analog-output maximum since the last reset
  std::uint16_t anaMin = 0;    ///< analog-output minimum since the last reset
  std::uint16_t gapLen = 0;    ///< width of the gap between the first two objects, sub-pixels
  std::uint16_t gapVal = 0;    ///< centre of that gap, sub-pixels
  std::uint16_t gapPix = 0;    ///< centre of that gap, CCD pixels

  /// The sixteen words of a result frame.
  Words toWords() const;
  bool operator==(const Results&) const = default;
};

}  // namespace rorir::sensor
