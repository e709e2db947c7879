// Identification against the virtual sensor's model, with a hardware profile per sensor row:
// geometry, video scale, edge-window limits, video range and the panel's adaptations.
#include <algorithm>
#include <utility>

#include "platform/ui/userint_inspect.h"
#include "link_fixture.h"
#include "resources/panels.h"
#include "sensor/model.h"
#include "sensor/profiles.h"

namespace {

using rorir::sensor::Profile;

constexpr double CHART_UNTOUCHED = 999.0;

struct IdentCase {
  Profile profile;  // what the sensor reports
  u16 maxPixel, subpixel;
  double factor;  // sub-pixels between two video points
  u16 pixB, pixE, yAxisMax;
  const char* onText;  // nullptr: the switch keeps its texts
  const char* offText;
  bool umShown;      // the measured-value indicator is shown
  double chartTop;   // top of the trend chart's y axis; CHART_UNTOUCHED: left as it was
};

// Profile fields: name, summary, type, pixels, resolution, board, pixels x8, sub-pixel range,
// first pixel, last pixel, firmware, firmware text.
const IdentCase kCases[] = {
    {{"type 1", "", 1, 1024, 0, 0, 8192, 1024, 1, 1024, 310, ""},
     1024, 1024, 4, 1, 1024, 1024, nullptr, nullptr, true, CHART_UNTOUCHED},
    {{"type 2, resolution 250, fw 220", "", 2, 1024, 250, 100, 8192, 1024, 1, 1024, 220, ""},
     1024, 1024, 4, 1, 1024, 256, "HI-GAIN", "LO-GAIN", false, CHART_UNTOUCHED},
    {{"type 2, unknown resolution, fw 220", "", 2, 1024, 500, 0, 8192, 2048, 1, 1024, 220, ""},
     1024, 2048, 8, 7, 777, 1024, nullptr, nullptr, false, CHART_UNTOUCHED},
    {{"type 3, 512 pixels", "", 3, 512, 0, 0, 4096, 512, 1, 512, 220, ""},
     512, 512, 2, 1, 512, 1024, "HI-GAIN", "LO-GAIN", false, 512},
    {{"type 3, pixel count 1000 falls back", "", 3, 1000, 0, 0, 8000, 768, 1, 768, 221, ""},
     256, 768, 3, 1, 512, 1024, "HI-GAIN", "LO-GAIN", false, 256},
    {{"type 4, 1280 pixels", "", 4, 1280, 0, 100, 10240, 1280, 1, 1280, 220, ""},
     1280, 1280, 5, 1, 512, 1024, nullptr, nullptr, false, 1280},
    {{"type 103, sub-pixels 1180, fw 220", "", 103, 1280, 0, 0, 10240, 1180, 1, 1180, 220, ""},
     1280, 1180, 5, 1, 1180, 256, "ADC-CNV", "DIG-CMP", false, CHART_UNTOUCHED},
    {{"type 104, 1536 pixels, fw 221", "", 104, 1536, 0, 100, 12288, 1536, 1, 1536, 221, ""},
     1536, 1536, 6, 1, 1536, 1024, "ADC-CNV", "DIG-CMP", false, CHART_UNTOUCHED},
    {{"type 104, sub-pixels 2360, fw 220", "", 104, 2048, 0, 0, 16384, 2360, 1, 2360, 220, ""},
     2048, 2360, 10, 1, 1536, 256, "ADC-CNV", "DIG-CMP", false, CHART_UNTOUCHED},
    {{"unknown type, sub-pixels 2560", "", 77, 2048, 0, 0, 16384, 2560, 1, 2560, 220, ""},
     2048, 2560, 10, 1, 1024, 1024, "ADC-CNV", "DIG-CMP", false, CHART_UNTOUCHED},
};

// The texts of the operating-mode switch, as shown in its on and its off state.
std::pair<std::string, std::string> SwitchTexts() {
  std::pair<std::string, std::string> texts;
  for (int state : {1, 0}) {
    SetCtrlVal(pHandle, MAIN_BINSWopMode, state);
    for (const InspectedControl& c : InspectPanelControls(pHandle))
      if (c.id == MAIN_BINSWopMode) (state ? texts.first : texts.second) = c.text;
  }
  return texts;
}

class IdentProfileTest : public PortFixture {};

TEST_F(IdentProfileTest, EachSensorRowSetsGeometryScalesAndPanel) {
  for (const IdentCase& c : kCases) {
    const std::string what(c.profile.name);
    // Earlier state that a row must either replace or leave alone.
    pixB = 7;
    pixE = 777;
    SetCtrlAttribute(pHandle, MAIN_BINSWopMode, ATTR_ON_TEXT, "before-on");
    SetCtrlAttribute(pHandle, MAIN_BINSWopMode, ATTR_OFF_TEXT, "before-off");
    SetCtrlAttribute(pHandle, MAIN_NUMumValue, ATTR_VISIBLE, 0);
    SetAxisScalingMode(pHandle, MAIN_CHARTraw, VAL_LEFT_YAXIS, VAL_MANUAL, 0.0, CHART_UNTOUCHED);
    rorir::sensor::ModelOptions options;
    options.profile = &c.profile;
    peer_.answerLikeSensor(options);

    ASSERT_EQ(GetHARDWAREInfo(), 1) << what;
    EXPECT_EQ(ccdtype, c.profile.ccdType) << what;
    EXPECT_EQ(ccdmaxpixel, c.maxPixel) << what;
    EXPECT_EQ(ccdsubpixel, c.subpixel) << what;
    EXPECT_DOUBLE_EQ(xArray8[1], c.factor) << what;
    EXPECT_DOUBLE_EQ(xArray8[255], 255 * c.factor) << what;
    EXPECT_EQ(pixB, c.pixB) << what;
    EXPECT_EQ(pixE, c.pixE) << what;
    EXPECT_EQ(YAXISMAX, c.yAxisMax) << what;
    double lo = -1, hi = -1;
    GetAxisScalingMode(pHandle, MAIN_GRAPHvideo, VAL_BOTTOM_XAXIS, nullptr, &lo, &hi);
    EXPECT_DOUBLE_EQ(lo, 1.0) << what;
    EXPECT_DOUBLE_EQ(hi, c.profile.subpixel) << what;
    GetAxisScalingMode(pHandle, MAIN_CHARTraw, VAL_LEFT_YAXIS, nullptr, &lo, &hi);
    EXPECT_DOUBLE_EQ(lo, 0.0) << what;
    EXPECT_DOUBLE_EQ(hi, c.chartTop) << what;
    const auto texts = SwitchTexts();
    EXPECT_EQ(texts.first, c.onText ? c.onText : "before-on") << what;
    EXPECT_EQ(texts.second, c.offText ? c.offText : "before-off") << what;
    int shown = -1;
    GetCtrlAttribute(pHandle, MAIN_NUMumValue, ATTR_VISIBLE, &shown);
    EXPECT_EQ(shown, c.umShown ? 1 : 0) << what;
  }
}

}  // namespace
