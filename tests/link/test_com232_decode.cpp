// The decoders of the hardware information, the firmware text and the video blocks: byte
// fixtures in, values out, including the edges a hostile line can reach.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "link/com232_decode.h"

namespace {

TEST(HardwareInfoDecode, TakesTheTenWordsAfterTheSyncBigEndian) {
  std::array<unsigned char, FRAME_SIZE> frame{};
  for (int i = 0; i < FRAME_SIZE; ++i) frame[i] = static_cast<unsigned char>(0x10 + i);
  const HardwareInfo h = DecodeHardwareInfo(frame.data());
  const u16 got[] = {h.order, h.type, h.maxPixel, h.resolution, h.board, h.maxPixelX8, h.subPixel, h.pixB, h.pixE, h.firmware};
  for (int i = 0; i < 10; ++i) {
    const int at = 2 + 2 * i;
    EXPECT_EQ(got[i], (0x10 + at) << 8 | (0x10 + at + 1)) << "word " << i;
  }
}

TEST(FirmwareTextDecode, WordCodedAndPlainTextEndAtNulOrAtTheBuffer) {
  struct Case {
    const char* what;
    u16 board;
    std::string bytes;  // padded with NUL to 72
    size_t size;
    std::string text;
  } cases[] = {
      {"plain", 100, "FW 3.10", 73, "FW 3.10"},
      {"plain, no NUL, all 72", 100, std::string(72, 'a'), 73, std::string(72, 'a')},
      {"plain, cut at the buffer", 100, std::string(72, 'a'), 10, std::string(9, 'a')},
      {"word coded", BOARD_WORD_CODED_TEXT, std::string("\0F\0W\0 \0002", 8), 73, "FW 2"},
      {"word coded takes the low byte", BOARD_WORD_CODED_TEXT, std::string("xAyB", 4), 73, "AB"},
      {"word coded, 36 characters at most", BOARD_WORD_CODED_TEXT, std::string(72, 'c'), 73, std::string(36, 'c')},
      {"nothing fits", 100, "abc", 1, ""},
  };
  for (const Case& c : cases) {
    std::array<unsigned char, FIRMWARE_TEXT_SIZE> bytes{};
    std::memcpy(bytes.data(), c.bytes.data(), c.bytes.size());
    char out[80];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(DecodeFirmwareText(bytes.data(), c.board, out, c.size), c.text.size()) << c.what;
    EXPECT_EQ(std::string(out), c.text) << c.what;
    EXPECT_EQ(out[c.size], '#') << c.what << ": wrote past the buffer";
  }
}

TEST(DataBlockDecode, PutsTheBlockAtItsIndexOrAtZeroWhenItWouldNotFit) {
  std::array<unsigned char, DATA_BLOCK_BYTES> block{};
  for (int i = 0; i < DATA_BLOCK_WORDS; ++i) {
    block[2 * i] = static_cast<unsigned char>(i >> 2);
    block[2 * i + 1] = static_cast<unsigned char>(i * 7);
  }
  const struct {
    int first, at;
  } cases[] = {{0, 0}, {64, 64}, {192, 192}, {193, 0}, {-1, 0}, {100000, 0}};
  for (const auto& c : cases) {
    u16 video[VIDEO_POINTS + 1];
    for (u16& v : video) v = 0xBEEF;
    DecodeDataBlock(block.data(), c.first, video);
    for (int i = 0; i < VIDEO_POINTS + 1; ++i) {
      const bool inBlock = i >= c.at && i < c.at + DATA_BLOCK_WORDS;
      const int k = i - c.at;
      EXPECT_EQ(video[i], inBlock ? static_cast<u16>((k >> 2) << 8 | ((k * 7) & 0xFF)) : 0xBEEF)
          << "first " << c.first << ", word " << i;
    }
  }
}

}  // namespace
