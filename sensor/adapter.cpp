#include "sensor/adapter.h"

#include <cstdio>

#include "sensor/pacing.h"

namespace rorir::sensor {

void Adapter::close(Nanos at) {
  open_.at = at;
  closed_.push_back(std::move(open_));
  open_ = Burst{};
}

void Adapter::receive(std::uint8_t byte, Nanos at) {
  // The timer that runs out at the very moment a byte completes passes the buffer on first.
  if (!open_.bytes.empty() && at >= open_.at) close(open_.at);
  if (open_.bytes.empty()) open_.at = at + settings_.latency;
  open_.bytes.push_back(byte);
  if (open_.bytes.size() >= settings_.packet) close(at);
}

std::vector<Burst> Adapter::takeDue(Nanos now) {
  if (!open_.bytes.empty() && now >= open_.at) close(open_.at);
  std::vector<Burst> out;
  while (!closed_.empty() && closed_.front().at <= now) {
    out.push_back(std::move(closed_.front()));
    closed_.pop_front();
  }
  return out;
}

std::optional<Nanos> Adapter::nextDue() const {
  if (!closed_.empty()) return closed_.front().at;
  if (!open_.bytes.empty()) return open_.at;
  return std::nullopt;
}

Nanos deliveredAt(std::size_t bytes, Nanos start, unsigned baud, AdapterSettings settings) {
  Adapter adapter(settings);
  for (std::size_t k = 1; k <= bytes; ++k) adapter.receive(0, start + transferTime(k, baud));
  Nanos last = start;
  while (auto due = adapter.nextDue()) {
    last = *due;
    adapter.takeDue(last);
  }
  return last;
}

std::string describe(const AdapterSettings& settings) {
  char text[96];
  std::snprintf(text, sizeof text, "bursts at %zu bytes or %g ms after the first byte",
                settings.packet, std::chrono::duration<double, std::milli>(settings.latency).count());
  return text;
}

}  // namespace rorir::sensor
