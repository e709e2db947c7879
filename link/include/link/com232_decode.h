// Decoders of the sensor's answers that do not fit the parameter packet: the hardware
// information, the firmware text and a video data block. Bytes in, values out; no port, no
// panel, no global state, so tests and fuzzers feed them any bytes.
#pragma once

#include <cstddef>

#include "state/globals.h"
#include "link/com232.h"
#include "link/com232_codec.h"

constexpr u16 BOARD_WORD_CODED_TEXT = 0; ///< board whose firmware text is one character a word

/// The fields of a hardware-information answer, in frame order after the order word.
struct HardwareInfo {
  u16 order;        ///< the answer's order word (10 for a hardware-information answer)
  u16 type;         ///< CCD type
  u16 maxPixel;     ///< pixel count
  u16 resolution;   ///< resolution class of type 2
  u16 board;        ///< board type
  u16 maxPixelX8;   ///< eight-fold pixel range
  u16 subPixel;     ///< sub-pixel range
  u16 pixB;         ///< first pixel
  u16 pixE;         ///< last pixel
  u16 firmware;     ///< firmware version
};

/// Decodes the hardware fields of a 36-byte answer frame (words big-endian after the sync).
HardwareInfo DecodeHardwareInfo(const unsigned char frame[FRAME_SIZE]);

/// Decodes the 72-byte firmware answer into a terminated text of at most `size` - 1
/// characters and returns its length. Board 0 sends one character per big-endian word (the
/// low byte), other boards plain text; both end at the first NUL.
size_t DecodeFirmwareText(const unsigned char bytes[FIRMWARE_TEXT_SIZE], u16 board, char* out,
                          size_t size);

/// Decodes a 128-byte block of 64 big-endian video words into video[first .. first + 63]. A
/// `first` that would not leave the whole block inside the line puts it at 0.
void DecodeDataBlock(const unsigned char bytes[DATA_BLOCK_BYTES], int first, u16 video[VIDEO_POINTS]);
