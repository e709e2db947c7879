// Hardware profiles of the virtual sensor: what the hardware-information answer reports, the
// firmware text, and the range of the video words.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sensor/protocol.h"

namespace rorir::sensor {

struct Profile {
  std::string_view name;         ///< selected with --profile
  std::string_view summary;      ///< one line for --help and the README
  std::uint16_t ccdType;         ///< CCD type code
  std::uint16_t pixels;          ///< number of CCD pixels
  std::uint16_t resolution;      ///< CCD resolution code (tells the variants of type 2 apart)
  std::uint16_t board;           ///< circuit-board type: 0 word-coded firmware text, 100 analog output
  std::uint16_t pixelsX8;        ///< eight-fold pixel range
  std::uint16_t subpixel;        ///< sub-pixel range: the x scale of edges and results
  std::uint16_t firstPixel;      ///< first CCD pixel
  std::uint16_t lastPixel;       ///< last CCD pixel
  std::uint16_t firmware;        ///< firmware version number
  std::string_view firmwareText; ///< at most 36 characters on board 0, 72 otherwise
};

/// Every profile, the default first.
std::span<const Profile> profiles();
/// The profile of that name, or nullptr.
const Profile* findProfile(std::string_view name);
/// The profile used when none is named.
const Profile& defaultProfile();

/// Sub-pixel units per video word: the 256 video words span the sub-pixel range.
unsigned videoStep(const Profile& p);
/// One above the largest video word: 256 for the 8-bit video of firmware 220 on types
/// 2 (resolution 350 or 250), 102, 103 and 104, else 1024.
std::uint16_t videoTop(const Profile& p);

/// The sixteen words of the hardware-information answer.
Words hardwareWords(const Profile& p);
/// The 72-byte firmware answer: one character per big-endian word on board 0, plain text
/// padded with NUL bytes otherwise.
Bytes firmwareAnswer(const Profile& p);

/// The parameter set a fresh sensor holds in EEPROM (and loads into RAM at power-up).
Words defaultSettings(const Profile& p);

}  // namespace rorir::sensor
