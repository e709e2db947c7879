#include "sensor/pacing.h"

#include <algorithm>

namespace rorir::sensor {

Nanos transferTime(std::size_t bytes, unsigned baud) {
  if (baud == 0) return Nanos{0};
  // Exact in nanoseconds for whole frames at the usual rates: 36 bytes at 19200 baud is
  // 360 bits = 18.75 ms.
  return Nanos{static_cast<std::int64_t>(bytes) * kBitsPerByte * 1'000'000'000LL / baud};
}

Nanos exchangeTime(std::size_t requestBytes, std::size_t answerBytes, unsigned baud) {
  return transferTime(requestBytes, baud) + transferTime(answerBytes, baud);
}

Nanos videoPassTime(unsigned baud) {
  return exchangeTime(kFrameSize, kFrameSize, baud) + 4 * exchangeTime(kFrameSize, kBlockSize, baud);
}

Nanos PacedLine::receive(std::size_t count, Nanos now) {
  inputFree_ = std::max(inputFree_, now) + transferTime(count, baud_);
  return inputFree_;
}

void PacedLine::send(std::span<const std::uint8_t> bytes, Nanos start) {
  const Nanos begin = std::max(outputFree_, start);
  for (std::size_t k = 0; k < bytes.size(); ++k)
    queue_.push_back({bytes[k], begin + transferTime(k + 1, baud_)});
  outputFree_ = begin + transferTime(bytes.size(), baud_);
}

Bytes PacedLine::takeDue(Nanos now) {
  Bytes out;
  while (!queue_.empty() && queue_.front().due <= now) {
    out.push_back(queue_.front().byte);
    queue_.pop_front();
  }
  return out;
}

std::vector<PacedLine::TimedByte> PacedLine::takeDueTimed(Nanos now) {
  std::vector<TimedByte> out;
  while (!queue_.empty() && queue_.front().due <= now) {
    out.push_back(queue_.front());
    queue_.pop_front();
  }
  return out;
}

std::optional<Nanos> PacedLine::nextDue() const {
  if (queue_.empty()) return std::nullopt;
  return queue_.front().due;
}

}  // namespace rorir::sensor
