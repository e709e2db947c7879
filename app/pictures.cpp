// rorir-pictures: starts the program offscreen against the virtual sensor (served in-process on
// a pseudo-terminal as COM1) and writes PNG pictures of the panels, for the documentation:
// both panels after start-up, then the main panel in the measurement view and in the live
// video view, the video view while a sensor is set up with the signal check, and the recorder
// popup during and after a short recording run.
// Usage: rorir-pictures OUTDIR [SCALE]
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/acquisition.h"
#include "app/storage.h"
#include "app/globals.h"
#include "app/main_panel.h"
#include "display/userint.h"
#include "display/utility.h"
#include "recorder/popup.h"
#include "recorder/recording.h"
#include "resources/panels.h"
#include "sensor/pty_server.h"

namespace {

constexpr double RUN_SECONDS = 2.0;    // long enough for a trend of some fifty samples
constexpr double VIDEO_SECONDS = 1.5;  // a few video passes at the line's pace
constexpr double SEND_PAUSE = 0.2;     // a written frame crosses the line in 19 ms

std::string gDir;
std::string gSuffix;
double gScale = 1.0;

bool Shoot(int panel, const char* name) {
  for (int i = 0; i < 20; ++i) ProcessSystemEvents();
  const std::string path = gDir + "/" + name + gSuffix + ".png";
  if (SavePanelImage(panel, path.c_str(), gScale) != 0) {
    std::fprintf(stderr, "rorir-pictures: cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("%s\n", path.c_str());
  return true;
}

// The virtual sensor on a pseudo-terminal, named as COM1 for the start-up that follows.
bool StartVirtualSensor(rorir::sensor::PtyServer& sensor) {
  std::string error;
  if (!sensor.start(&error)) {
    std::fprintf(stderr, "rorir-pictures: virtual sensor: %s\n", error.c_str());
    return false;
  }
  setenv("RORIR_COM1", sensor.slavePath().c_str(), 1);
  return true;
}

// Runs the loop behind a start button, as a click on it would, for `seconds`.
void RunLoopFor(CtrlCallbackPtr start, int button, double seconds) {
  QTimer::singleShot(static_cast<int>(seconds * 1000), [] { stop_flag = 1; });
  start(pHandle, button, EVENT_COMMIT, nullptr, 0, 0);
}

// The measurement view (position bar, indicators, trend) and the live video view.
bool ShootLiveViews() {
  RunLoopFor(CC_BTNRun, MAIN_BTNRun, RUN_SECONDS);
  bool ok = Shoot(pHandle, "main-panel-run");
  RunLoopFor(CC_BTNVideo, MAIN_BTNVideo, VIDEO_SECONDS);
  ok = Shoot(pHandle, "main-panel-video") && ok;
  return ok;
}

// SEND with the panel's values, as a click on it does (the video view has RAM chosen), then a
// pause as an operator's hand would make: the next loop starts by flushing the line.
void SendPanel() {
  CC_BTNSend(pHandle, MAIN_BTNSend, EVENT_LEFT_CLICK, nullptr, 0, 0);
  const double start = Timer();
  while (Timer() - start < SEND_PAUSE) ProcessSystemEvents();
}

// A threshold typed into its field: the threshold line follows.
void TypeThreshold(int value) {
  SetCtrlVal(pHandle, MAIN_NUMVideoThreshold, value);
  CC_NUMVideoThreshold(pHandle, MAIN_NUMVideoThreshold, EVENT_VAL_CHANGED, nullptr, 0, 0);
}

// Setting up with the signal check: a threshold above the signal, the suggestion taken into
// the field (not sent yet), and a saturating power; the sensor is left as it was found.
bool ShootSetUp() {
  TypeThreshold(900);
  SendPanel();
  RunLoopFor(CC_BTNVideo, MAIN_BTNVideo, VIDEO_SECONDS);
  bool ok = Shoot(pHandle, "setup-threshold-high");
  ApplySuggestedThreshold();
  ok = Shoot(pHandle, "setup-threshold-suggested") && ok;
  SendPanel();
  SetCtrlVal(pHandle, MAIN_NUMpower, 1000);
  SendPanel();
  RunLoopFor(CC_BTNVideo, MAIN_BTNVideo, VIDEO_SECONDS);
  ok = Shoot(pHandle, "setup-power-high") && ok;
  SetCtrlVal(pHandle, MAIN_NUMpower, 500);
  TypeThreshold(512);
  SendPanel();
  return ok;
}

// The recorder popup during a short run (three records at one second) and after it. The run
// writes into a folder of its own under the temporary folder, removed afterwards, so the
// user's data folder is left alone.
bool ShootRecorderRun() {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "rorir-pictures";
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  std::filesystem::create_directories(folder, ec);
  MakePathname(folder.string().c_str(), charge_fname, rec_fname);
  ResetTextBox(pPopup, RECORDER_TBOXrecpath, rec_fname);

  SetCtrlVal(pHandle, MAIN_TOGGBTN_Recorder, 1);
  CC_TOGGBTN_Recorder(pHandle, MAIN_TOGGBTN_Recorder, EVENT_COMMIT, nullptr, 0, 0);
  SetCtrlVal(pPopup, RECORDER_NUMnumSample, 3);
  SetCtrlVal(pPopup, RECORDER_NUMincTime, 1);
  CC_NUMincTime(pPopup, RECORDER_NUMincTime, EVENT_COMMIT, nullptr, 0, 0);

  bool ok = true;
  // Two records in, while the third is awaited.
  QTimer::singleShot(2300, [&ok] { ok = Shoot(pPopup, "recorder-panel-run") && ok; });
  CC_BTNStartRecord(pPopup, RECORDER_BTNStartRecord, EVENT_COMMIT, nullptr, 0, 0);
  ok = Shoot(pPopup, "recorder-panel-done") && ok;
  std::filesystem::remove_all(folder, ec);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: rorir-pictures OUTDIR [SCALE]\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  gDir = argv[1];
  gScale = argc > 2 ? std::atof(argv[2]) : 1.0;
  gSuffix = gScale == 1.0 ? "" : "@" + std::string(argv[2]) + "x";

  rorir::sensor::PtyServer sensor{rorir::sensor::ServerConfig{}};
  if (!StartVirtualSensor(sensor)) return 1;
  if (StartUp(1, argv) != 0) return 1;

  bool ok = Shoot(pHandle, "main-panel");
  ok = Shoot(pPopup, "recorder-panel") && ok;
  ok = ShootLiveViews() && ok;
  ok = ShootSetUp() && ok;
  ok = ShootRecorderRun() && ok;

  CloseCVIRTE();
  sensor.stop();
  return ok ? 0 : 1;
}
