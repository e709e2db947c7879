// Decoders of the hardware information, the firmware text and the video data blocks.
#include "link/com232_decode.h"

HardwareInfo DecodeHardwareInfo(const unsigned char frame[FRAME_SIZE]) {
  HardwareInfo h{};
  h.order = WordAt(frame, 2);
  h.type = WordAt(frame, 4);
  h.maxPixel = WordAt(frame, 6);
  h.resolution = WordAt(frame, 8);
  h.board = WordAt(frame, 10);
  h.maxPixelX8 = WordAt(frame, 12);
  h.subPixel = WordAt(frame, 14);
  h.pixB = WordAt(frame, 16);
  h.pixE = WordAt(frame, 18);
  h.firmware = WordAt(frame, 20);
  return h;
}

size_t DecodeFirmwareText(const unsigned char bytes[FIRMWARE_TEXT_SIZE], u16 board, char* out,
                          size_t size) {
  if (size == 0) return 0;
  size_t n = 0;
  if (board == BOARD_WORD_CODED_TEXT) {
    for (int i = 0; i < FIRMWARE_TEXT_SIZE / 2 && n + 1 < size; ++i) {
      const char ch = static_cast<char>(bytes[2 * i + 1]);
      if (ch == '\0') break;
      out[n++] = ch;
    }
  } else {
    for (int i = 0; i < FIRMWARE_TEXT_SIZE && n + 1 < size; ++i) {
      const char ch = static_cast<char>(bytes[i]);
      if (ch == '\0') break;
      out[n++] = ch;
    }
  }
  out[n] = '\0';
  return n;
}

void DecodeDataBlock(const unsigned char bytes[DATA_BLOCK_BYTES], int first, u16 video[VIDEO_POINTS]) {
  const int base = (first >= 0 && first <= VIDEO_POINTS - DATA_BLOCK_WORDS) ? first : 0;
  for (int i = 0; i < DATA_BLOCK_WORDS; ++i) video[base + i] = WordAt(bytes, 2 * i);
}
