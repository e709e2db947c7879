#include "sensor/profiles.h"

#include <algorithm>
#include <array>

namespace rorir::sensor {

namespace {

// The geometry of each profile keeps the sub-pixel range equal to the pixel count (the type 101
// line has 256 pixels, so its sub-pixel range is outside the scale table and the program treats
// it as 256 with one sub-pixel per video word). That keeps every result inside the edge window
// that the program derives from the type.
constexpr std::array<Profile, 13> kProfiles{{
    {"t1", "type 1, 1024 pixels, board 100, firmware 310", 1, 1024, 0, 100, 8192, 1024, 1, 1024, 310,
     "Virtual line sensor type 1, 1024 pixels, firmware 3.10, board 100"},
    {"t2-750", "type 2, resolution 750, board 0, firmware 220", 2, 1024, 750, 0, 8192, 1024, 1, 1024,
     220, "VLS T2 R750 FW2.20"},
    {"t2-350", "type 2, resolution 350, board 0, firmware 220 (8-bit video)", 2, 1024, 350, 0, 8192,
     1024, 1, 1024, 220, "VLS T2 R350 FW2.20"},
    {"t2-350-fw221", "type 2, resolution 350, board 100, firmware 221", 2, 1024, 350, 100, 8192, 1024,
     1, 1024, 221, "Virtual line sensor type 2, resolution 350, firmware 2.21"},
    {"t2-250", "type 2, resolution 250, board 100, firmware 220 (8-bit video)", 2, 1024, 250, 100,
     8192, 1024, 1, 1024, 220, "Virtual line sensor type 2, resolution 250, firmware 2.20"},
    {"t3", "type 3, 512 pixels, board 0, firmware 200", 3, 512, 0, 0, 4096, 512, 1, 512, 200,
     "VLS T3 512PX FW2.00"},
    {"t4", "type 4, 512 pixels, board 100, firmware 220", 4, 512, 0, 100, 4096, 512, 1, 512, 220,
     "Virtual line sensor type 4, 512 pixels, firmware 2.20"},
    {"t101", "type 101, 256 pixels, board 100, firmware 221", 101, 256, 0, 100, 2048, 256, 1, 256,
     221, "Virtual line sensor type 101, 256 pixels, firmware 2.21, gap value"},
    {"t102", "type 102, 768 pixels, board 100, firmware 220 (8-bit video)", 102, 768, 0, 100, 6144,
     768, 1, 768, 220, "Virtual line sensor type 102, 768 pixels, firmware 2.20"},
    {"t102-fw221", "type 102, 768 pixels, board 0, firmware 221", 102, 768, 0, 0, 6144, 768, 1, 768,
     221, "VLS T102 768PX FW2.21"},
    {"t103", "type 103, 1280 pixels, board 0, firmware 220 (8-bit video)", 103, 1280, 0, 0, 10240,
     1280, 1, 1280, 220, "VLS T103 1280PX FW2.20"},
    {"t104", "type 104, 1536 pixels, board 100, firmware 220 (8-bit video)", 104, 1536, 0, 100,
     12288, 1536, 1, 1536, 220, "Virtual line sensor type 104, 1536 pixels, firmware 2.20"},
    {"unknown", "type 77 (not a known type), 1024 pixels, board 0, firmware 105", 77, 1024, 0, 0,
     8192, 1024, 1, 1024, 105, "VLS T77 FW1.05"},
}};

}  // namespace

std::span<const Profile> profiles() { return kProfiles; }

const Profile* findProfile(std::string_view name) {
  for (const Profile& p : kProfiles)
    if (p.name == name) return &p;
  return nullptr;
}

const Profile& defaultProfile() { return kProfiles.front(); }

unsigned videoStep(const Profile& p) { return std::max(1u, static_cast<unsigned>(p.subpixel / kVideoWords)); }

std::uint16_t videoTop(const Profile& p) {
  bool eightBitType = (p.ccdType == 2 && (p.resolution == 350 || p.resolution == 250)) ||
                      p.ccdType == 102 || p.ccdType == 103 || p.ccdType == 104;
  return eightBitType && p.firmware == 220 ? 256 : 1024;
}

Words hardwareWords(const Profile& p) {
  return Words{p.ccdType,    p.pixels,    p.resolution, p.board,    p.pixelsX8, p.subpixel,
               p.firstPixel, p.lastPixel, p.firmware,   0,          0,          0,
               0,            0,           0,            0};
}

Bytes firmwareAnswer(const Profile& p) {
  Bytes out;
  out.reserve(kFirmwareSize);
  if (p.board == 0) {
    // One character per word, in the low byte; unused words are 0 and end the text.
    for (std::size_t i = 0; i < kFirmwareSize / 2; ++i) {
      char c = i < p.firmwareText.size() ? p.firmwareText[i] : '\0';
      putWord(out, static_cast<std::uint8_t>(c));
    }
  } else {
    for (std::size_t i = 0; i < kFirmwareSize; ++i)
      out.push_back(i < p.firmwareText.size() ? static_cast<std::uint8_t>(p.firmwareText[i]) : 0);
  }
  return out;
}

Words defaultSettings(const Profile& p) {
  Words w{};
  w[kPower] = 500;
  w[kTolMode] = 0;
  w[kVThd] = videoTop(p) / 2;
  w[kAnaMode] = 0;
  w[kPolarity] = 1;
  w[kEMode] = 1;
  w[kEBeg] = 1;
  w[kEEnd] = p.subpixel;
  w[kTVal] = p.subpixel / 2;
  w[kTTol] = 100;
  w[kOpMode] = 0;
  w[kEHardware] = 1;
  w[kSlope] = 1024;
  w[kIntersect] = 30000;
  w[kAverage] = 0;
  w[kPowMode] = 0;
  return w;
}

}  // namespace rorir::sensor
