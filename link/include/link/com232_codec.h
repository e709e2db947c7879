// The 36-byte frame and the parameter packet: encoding of requests into szWriteBuf, decoding of
// answers from szReadBuf into pp, and the copies between pp and the settings and results.
//
// Plain logic over the global state; no port, no widget.
#pragma once

#include "state/globals.h"

// ---- frame layout ----
constexpr int FRAME_SIZE = 4 + 2 * PNUM;     ///< sync word, order word, sixteen words
constexpr u16 SYNC_TO_SENSOR = 0x0055;       ///< sync word of every frame the program sends
constexpr u16 SYNC_FROM_SENSOR = 0x00AA;     ///< sync word of every frame the sensor sends

/// The big-endian word at byte `at` of `bytes`. Every word on the line travels high byte first,
/// and every decoder of the link reads it through this one helper.
inline u16 WordAt(const unsigned char* bytes, int at) {
  return static_cast<u16>(bytes[at] << 8 | bytes[at + 1]);
}
/// Writes `word` big-endian at byte `at` of `bytes`, the reverse of WordAt.
inline void PutWordAt(unsigned char* bytes, int at, u16 word) {
  bytes[at] = static_cast<unsigned char>(word >> 8);
  bytes[at + 1] = static_cast<unsigned char>(word & 0xFF);
}

// ---- order codes ----
constexpr u16 ORDER_WRITE_RAM = 1;       ///< parameter set to the sensor's RAM, no answer
constexpr u16 ORDER_READ_RAM = 2;        ///< parameter set from the sensor's RAM
constexpr u16 ORDER_WRITE_EEPROM = 3;    ///< parameter set to the sensor's EEPROM, no answer
constexpr u16 ORDER_READ_EEPROM = 4;     ///< parameter set from the sensor's EEPROM
constexpr u16 ORDER_ECHO = 5;            ///< line check; the answer carries sync 0x00AA
constexpr u16 ORDER_TEACH = 6;           ///< teach the current value as setpoint
constexpr u16 ORDER_FIRMWARE_INFO = 7;   ///< 72 bytes of firmware text
constexpr u16 ORDER_MEASURE = 8;         ///< one result frame; 8 also marks a result frame
constexpr u16 ORDER_DATA_BLOCK = 9;      ///< 64 words of the video line
constexpr u16 ORDER_HARDWARE_INFO = 10;  ///< frame describing the sensor
constexpr u16 ORDER_RESET_ANALOG = 11;   ///< reset of the analog-output maximum and minimum

/// Encodes one frame: sync 0x0055, `order`, then the PNUM words, each word high byte first.
void EncodeFrame(u16 order, const u16 words[PNUM], unsigned char frame[FRAME_SIZE]);
/// Decodes words 0..count-1 of `frame` into `words` (count is kept within 0..PNUM) and returns
/// the frame's order word. The sync word is not looked at.
u16 DecodeFrame(const unsigned char frame[FRAME_SIZE], int count, u16 words[PNUM]);

/// Writes the request frame with `order` and `words` (every caller passes pp) into szWriteBuf.
void FillTxBuf(u16 order, const u16 words[PNUM]);
/// Decodes words 0..count-1 of the frame in szReadBuf into pp. Returns 1 for a result frame
/// (order word 8), else 0. A count outside 0..PNUM is kept within it.
int GetRxBuf(int count);

/// Settings into pp, one word each, in the sensor's parameter order.
void CopyVarsToPP(void);
/// pp into the settings, the reverse of CopyVarsToPP.
void CopyPPtoVars(void);
/// pp of a result frame into the results (and the echoed setpoint and tolerance).
void CopyPPtoRAWVars(void);
