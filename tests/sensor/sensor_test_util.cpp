#include "sensor_test_util.h"

#include <gtest/gtest.h>

#include <sstream>

namespace rorir::sensor::test {

ModelOptions opts(const Profile* profile, std::uint64_t seed, int objects, Faults faults) {
  ModelOptions o;
  o.profile = profile;
  o.seed = seed;
  o.objects = objects;
  o.faults = faults;
  return o;
}

Bytes request(std::uint16_t order, const Words& words, std::uint16_t sync) {
  Bytes b{static_cast<std::uint8_t>(sync >> 8), static_cast<std::uint8_t>(sync),
          static_cast<std::uint8_t>(order >> 8), static_cast<std::uint8_t>(order)};
  for (std::uint16_t w : words) {
    b.push_back(static_cast<std::uint8_t>(w >> 8));
    b.push_back(static_cast<std::uint8_t>(w));
  }
  return b;
}

Bytes blockRequest(std::uint16_t first, bool last) {
  Words w{};
  w[0] = first;
  w[1] = last ? 1 : 0;
  return request(9, w);
}

Bytes bytesOf(const std::string& hexText) {
  Bytes out;
  std::istringstream in(hexText);
  unsigned v = 0;
  while (in >> std::hex >> v) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

std::uint16_t word(const Bytes& frame, std::size_t i) {
  return static_cast<std::uint16_t>(frame.at(4 + 2 * i) << 8 | frame.at(5 + 2 * i));
}

std::uint16_t orderOf(const Bytes& frame) {
  return static_cast<std::uint16_t>(frame.at(2) << 8 | frame.at(3));
}

std::optional<Bytes> ask(Model& m, const Bytes& req, Nanos t) {
  std::vector<Answer> answers = m.receive(req, t);
  EXPECT_LE(answers.size(), 1u);
  if (answers.empty()) return std::nullopt;
  return answers.front().bytes;
}

Video readVideo(Model& m, Nanos t) {
  Video v{};
  for (std::uint16_t first : {0, 64, 128, 192}) {
    std::optional<Bytes> block = ask(m, blockRequest(first, first == 192), t);
    EXPECT_TRUE(block.has_value());
    if (!block) return v;
    EXPECT_EQ(block->size(), kBlockSize);
    for (std::size_t i = 0; i < kBlockWords && 2 * i + 1 < block->size(); ++i)
      v[first + i] = static_cast<std::uint16_t>((*block)[2 * i] << 8 | (*block)[2 * i + 1]);
  }
  return v;
}

}  // namespace rorir::sensor::test
