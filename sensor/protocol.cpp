#include "sensor/protocol.h"

namespace rorir::sensor {

bool isKnownOrder(std::uint16_t code) { return code >= 1 && code <= 11; }

void putWord(Bytes& out, std::uint16_t word) {
  out.push_back(static_cast<std::uint8_t>(word >> 8));
  out.push_back(static_cast<std::uint8_t>(word & 0xFF));
}

std::uint16_t wordAt(std::span<const std::uint8_t> bytes, std::size_t index) {
  return static_cast<std::uint16_t>(bytes[2 * index] << 8 | bytes[2 * index + 1]);
}

Bytes encodeFrame(const Frame& frame) {
  Bytes out;
  out.reserve(kFrameSize);
  putWord(out, frame.sync);
  putWord(out, frame.order);
  for (std::uint16_t w : frame.words) putWord(out, w);
  return out;
}

std::optional<Frame> decodeFrame(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kFrameSize) return std::nullopt;
  Frame f;
  f.sync = wordAt(bytes, 0);
  f.order = wordAt(bytes, 1);
  for (std::size_t i = 0; i < kWords; ++i) f.words[i] = wordAt(bytes, i + 2);
  return f;
}

std::string hex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

Words Results::toWords() const {
  return Words{Ledge,
               Redge,
               Mvalue,
               static_cast<std::uint16_t>(umValue & 0xFFFF),
               static_cast<std::uint16_t>(umValue >> 16),
               tVal,
               tTol,
               edcnt,
               mvstart,
               mvend,
               dynpower,
               anaMax,
               anaMin,
               gapLen,
               gapVal,
               gapPix};
}

}  // namespace rorir::sensor
