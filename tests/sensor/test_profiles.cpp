// The hardware profiles: the identification frame and the firmware text in both encodings.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "sensor_test_util.h"

namespace rorir::sensor::test {
namespace {

TEST(SensorProfiles, HardwareFrameCarriesTheProfileFields) {
  for (const Profile& p : profiles()) {
    Model m(opts(&p));
    std::optional<Bytes> a = ask(m, request(10), 0s);
    ASSERT_TRUE(a) << p.name;
    ASSERT_EQ(a->size(), kFrameSize) << p.name;
    const std::uint16_t expected[] = {p.ccdType,  p.pixels,     p.resolution, p.board,   p.pixelsX8,
                                      p.subpixel, p.firstPixel, p.lastPixel,  p.firmware};
    for (std::size_t i = 0; i < std::size(expected); ++i)
      EXPECT_EQ(word(*a, i), expected[i]) << p.name << " field " << i;
    for (std::size_t i = std::size(expected); i < kWords; ++i)
      EXPECT_EQ(word(*a, i), 0u) << p.name << " spare word " << i;
    // The geometry must hang together for the results to fit the program's scales.
    EXPECT_EQ(p.pixelsX8, 8 * p.pixels) << p.name;
    EXPECT_EQ(p.subpixel % kVideoWords, 0u) << p.name;
    EXPECT_LE(p.lastPixel, p.subpixel) << p.name;
  }
}

TEST(SensorProfiles, CoverEverySensorTypeBoardAndFirmwareKind) {
  std::set<std::pair<int, int>> types;  // (type, resolution for type 2)
  std::set<int> boards;
  bool fw220 = false, fwOther = false;
  for (const Profile& p : profiles()) {
    types.insert({p.ccdType, p.ccdType == 2 ? p.resolution : 0});
    boards.insert(p.board);
    (p.firmware == 220 ? fw220 : fwOther) = true;
  }
  for (std::pair<int, int> row : {std::pair{1, 0}, {2, 750}, {2, 350}, {2, 250}, {3, 0}, {4, 0},
                                  {101, 0}, {102, 0}, {103, 0}, {104, 0}})
    EXPECT_TRUE(types.count(row)) << "type " << row.first << " resolution " << row.second;
  EXPECT_TRUE(std::any_of(types.begin(), types.end(), [](auto t) {
    return !std::set<int>{1, 2, 3, 4, 101, 102, 103, 104}.count(t.first);
  })) << "a type the program does not know";
  EXPECT_TRUE(boards.count(0) && boards.count(100));
  EXPECT_TRUE(fw220 && fwOther);
  EXPECT_EQ(findProfile("no-such-profile"), nullptr);
}

TEST(SensorProfiles, FirmwareTextInBothEncodings) {
  for (const Profile& p : profiles()) {
    Model m(opts(&p));
    std::optional<Bytes> a = ask(m, request(7), 0s);
    ASSERT_TRUE(a) << p.name;
    ASSERT_EQ(a->size(), kFirmwareSize) << p.name;
    std::string text;
    if (p.board == 0) {
      // One character per big-endian word, in the low byte.
      ASSERT_LE(p.firmwareText.size(), 36u) << p.name;
      for (std::size_t i = 0; i < 36; ++i) {
        EXPECT_EQ((*a)[2 * i], 0) << p.name << " high byte of word " << i;
        if ((*a)[2 * i + 1] == 0) break;
        text += static_cast<char>((*a)[2 * i + 1]);
      }
    } else {
      text.assign(a->begin(), a->end());
      text = text.c_str();  // plain text up to the first NUL
    }
    EXPECT_EQ(text, p.firmwareText) << p.name;
    EXPECT_FALSE(text.empty()) << p.name;
  }
}

TEST(SensorProfiles, VideoRangeIsEightBitOnlyForFirmware220OfTheNarrowTypes) {
  const std::pair<const char*, unsigned> cases[] = {
      {"t1", 1024},     {"t2-750", 1024}, {"t2-350", 256}, {"t2-350-fw221", 1024}, {"t2-250", 256},
      {"t3", 1024},     {"t4", 1024},     {"t101", 1024},  {"t102", 256},          {"t102-fw221", 1024},
      {"t103", 256},    {"t104", 256},    {"unknown", 1024}};
  for (auto [name, top] : cases) {
    const Profile* p = findProfile(name);
    ASSERT_NE(p, nullptr) << name;
    EXPECT_EQ(videoTop(*p), top) << name;
    Model m(opts(p));
    ask(m, request(8), 0s);
    for (std::uint16_t v : readVideo(m, 0s)) ASSERT_LT(v, top) << name;
  }
  EXPECT_EQ(std::size(cases), profiles().size());
}

}  // namespace
}  // namespace rorir::sensor::test
