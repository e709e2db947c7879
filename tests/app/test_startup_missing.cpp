// Start-up against a sensor that leaves out the hardware information or the firmware text:
// the status line the operator finds when the main panel appears.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>
#include <string>

#include "state/globals.h"
#include "app/main_panel.h"
#include "platform/ui/userint.h"
#include "platform/serial/rs232.h"
#include "resources/panels.h"
#include "sensor/profiles.h"
#include "support/scripted_peer.h"
#include "support/ui_helpers.h"
#include "program_environment.h"

namespace {

using rorir::sensor::Profile;

// Board 0 sends its firmware text one character per word, board 100 as plain text.
const Profile kWordCoded{"", "", 2, 1024, 750, 0, 8192, 1024, 1, 1024, 220, "VLS T2 R750 FW2.20"};
const Profile kPlainText{"", "", 101, 256, 0, 100, 2048, 256, 1, 256, 221, "ABCDEFGHIJ"};

struct MissingCase {
  const char* what;
  const Profile* hardware;  // nullptr: no hardware answer
  PeerBytes firmware;       // empty: no firmware answer
  const char* status;       // on the status line when the panel appears
  u16 pixE;                 // the edge window's upper limit after start-up
};

class StartUpMissingTest : public ::testing::Test {
 protected:
  ProgramEnvironment env_;
  ScriptedPeer& peer_ = env_.peer;
};

TEST_F(StartUpMissingTest, StatusLineAfterAMissingHardwareOrFirmwareAnswer) {
  const PeerBytes longer = [] {
    PeerBytes b = rorir::sensor::firmwareAnswer(kPlainText);
    b.insert(b.end(), 2, 'Z');
    return b;
  }();
  const MissingCase cases[] = {
      // The hardware failure is overwritten by the read-back and then by the firmware text.
      {"no hardware answer", nullptr, rorir::sensor::firmwareAnswer(kWordCoded), "VLS T2 R750 FW2.20", 1024},
      // Without the board type the plain text is read as one character per word.
      {"no hardware answer, plain-text firmware", nullptr, rorir::sensor::firmwareAnswer(kPlainText),
       "BDFHJ", 1024},
      {"no firmware answer", &kPlainText, {}, "Error reading firmware-info!", 256},
      {"neither answer", nullptr, {}, "Error reading firmware-info!", 1024},
      // More than 72 bytes: no error, and no firmware text either.
      {"firmware answer too long", &kPlainText, longer, "Parameter-frame received! - Line Ok!", 256},
  };
  const std::vector<std::uint16_t> sensorSet = {600, 0, 480, 0, 1, 1, 1, 1000,
                                                300, 50, 0, 1, 1024, 30000, 0, 0};
  for (const MissingCase& c : cases) {
    peer_.clearFrames();
    peer_.setResponder([&c, &sensorSet](const PeerFrame& f) {
      std::vector<PeerReply> out;
      if (f.order() == 5) out.push_back({SensorFrame(5, {}), {}});
      if (f.order() == 2) out.push_back({SensorFrame(2, sensorSet), {}});
      if (f.order() == 10 && c.hardware) {
        const rorir::sensor::Words w = rorir::sensor::hardwareWords(*c.hardware);
        out.push_back({SensorFrame(10, {w.begin(), w.end()}), {}});
      }
      if (f.order() == 7 && !c.firmware.empty()) out.push_back({c.firmware, {}});
      return out;
    });
    char arg0[] = "rorir";
    char* argv[] = {arg0, nullptr};
    ASSERT_EQ(StartUp(1, argv), 0) << c.what;
    char shown[TEXT_SIZE] = "";
    GetCtrlVal(pHandle, MAIN_TBOXstatus, shown);
    EXPECT_STREQ(shown, c.status) << c.what;
    EXPECT_EQ(peer_.orders(), (std::vector<std::uint16_t>{5, 10, 2, 7})) << c.what;
    EXPECT_EQ(power, 600) << c.what << ": the sensor's set was read all the same";
    EXPECT_EQ(pixE, c.pixE) << c.what;
    peer_.setResponder(nullptr);
    CloseCom(com);
    DiscardPanel(pPopup);
    DiscardPanel(pHandle);
  }
}

}  // namespace
