// rorir-pictures: starts the program offscreen against the virtual sensor (served in-process on
// a pseudo-terminal as COM1) and writes PNG pictures of the panels, for the documentation:
// both panels after start-up, then the main panel in the measurement view and in the live
// video view, the video graph zoomed with its menu open, the video view while a sensor is set
// up with the signal check, the link monitor window after a short measurement cycle, the
// compare window with both sets of the sensor read, the gauge during a loop and its statistics
// window, the review of a recording, the
// recorder popup during and after a short recording run, and the COM ring opened on a machine
// with two USB adapters, a CDC device and an on-board port.
// Usage: rorir-pictures OUTDIR [SCALE]
#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/acquisition.h"
#include "app/compare.h"
#include "app/review.h"
#include "app/statistics.h"
#include "display/gauge_view.h"
#include "app/storage.h"
#include "state/globals.h"
#include "app/main_panel.h"
#include "app/settings.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "platform/ui/userint_qt.h"
#include "platform/sys/utility.h"
#include "platform/serial/rs232_names.h"
#include "recorder/popup.h"
#include "recorder/recfile.h"
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

// The link monitor window with the frames of a short measurement cycle at the bottom.
bool ShootLinkMonitor() {
  RunLoopFor(CC_BTNRun, MAIN_BTNRun, 0.5);
  OpenLinkMonitor();
  for (int i = 0; i < 20; ++i) ProcessSystemEvents();
  const std::string path = gDir + "/link-monitor" + gSuffix + ".png";
  const bool ok = SaveLinkMonitorImage(path.c_str(), gScale) == 0;
  CloseLinkMonitor();
  if (!ok) std::fprintf(stderr, "rorir-pictures: cannot write %s\n", path.c_str());
  else std::printf("%s\n", path.c_str());
  return ok;
}

// The video graph zoomed in on its middle, the pointer's read-out, and the graphs' menu.
bool ShootZoomedVideo() {
  double xMin = 0, xMax = 0;
  GetAxisScalingMode(pHandle, MAIN_GRAPHvideo, VAL_BOTTOM_XAXIS, nullptr, &xMin, &xMax);
  PointAtGraph(pHandle, MAIN_GRAPHvideo, (xMin + xMax) / 2, 4);
  const std::string path = gDir + "/video-graph-zoomed" + gSuffix + ".png";
  if (SaveGraphImage(pHandle, MAIN_GRAPHvideo, path.c_str(), gScale, 1) != 0) {
    std::fprintf(stderr, "rorir-pictures: cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("%s\n", path.c_str());
  return true;
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
  // The whole line again, as a double-click on the graph gives it, and the pointer gone.
  if (QWidget* graph = CtrlWidget(pHandle, MAIN_GRAPHvideo)) {
    const QPointF middle(graph->width() / 2.0, graph->height() / 2.0);
    QMouseEvent twice(QEvent::MouseButtonDblClick, middle, graph->mapToGlobal(middle),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(graph, &twice);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(graph, &leave);
  }
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

// Waits for the window's verdict after one of its reads.
void Pause(double seconds) {
  const double start = Timer();
  while (Timer() - start < seconds) ProcessSystemEvents();
}

// The compare window: the EEPROM given a power of 640 that the RAM does not hold, a threshold
// typed and not sent, both sets read. The sensor is left as it was found.
bool ShootCompare() {
  SetCtrlVal(pHandle, MAIN_NUMpower, 640);
  target = EEPROM;
  SendPanel();
  target = RAM;
  SetCtrlVal(pHandle, MAIN_NUMpower, 500);
  SettingValueChanged(pHandle, MAIN_NUMpower);
  TypeThreshold(430);
  SettingValueChanged(pHandle, MAIN_NUMVideoThreshold);
  OpenCompareWindow();
  CC_BTNReadRam(pCompare, COMPARE_BTNReadRam, EVENT_COMMIT, nullptr, 0, 0);
  Pause(SEND_PAUSE);
  CC_BTNReadEeprom(pCompare, COMPARE_BTNReadEeprom, EVENT_COMMIT, nullptr, 0, 0);
  Pause(SEND_PAUSE);
  const bool ok = Shoot(pCompare, "compare-window");
  HidePanel(pCompare);
  TypeThreshold(512);
  target = EEPROM;
  SendPanel();
  target = RAM;
  SendPanel();
  return ok;
}

// The gauge: a narrow band around the M-value the sensor shows now, so that its noise gives
// OK and NOK; the main panel during the loop, then the statistics window. The settings are
// put back afterwards.
bool ShootGauge() {
  const u16 hardware = eHardware, setpoint = tVal, tolerance = tTol;
  // A short loop first: the setpoint goes where the M-value is now.
  RunLoopFor(CC_BTNRun, MAIN_BTNRun, 1.0);
  const gauge::Summary now = gauge::Summarize(gaugeMvalue.all, gauge::Limits{});
  SetCtrlVal(pHandle, MAIN_DropHardwareMode, 0);
  SetCtrlVal(pHandle, MAIN_NUMtVal, static_cast<int>(now.mean + 0.5));
  SetCtrlVal(pHandle, MAIN_NEDITTolerance, 12);
  SendPanel();
  bool ok = true;
  QTimer::singleShot(static_cast<int>(RUN_SECONDS * 1000) - 300, [&ok] { ok = Shoot(pHandle, "main-panel-gauge") && ok; });
  RunLoopFor(CC_BTNRun, MAIN_BTNRun, RUN_SECONDS);
  OpenStatisticsWindow();
  ok = Shoot(pStatistics, "statistics-window") && ok;
  HidePanel(pStatistics);
  SetCtrlVal(pHandle, MAIN_DropHardwareMode, hardware);
  SetCtrlVal(pHandle, MAIN_NUMtVal, setpoint);
  SetCtrlVal(pHandle, MAIN_NEDITTolerance, tolerance);
  SendPanel();
  return ok;
}

// The review window over a recording of 2000 records, made up for the picture: M-values that
// scatter around 512 by a few pixels and drift once, as a line's product does.
bool ShootReview(const std::filesystem::path& folder) {
  const std::string path = (folder / "REVIEW.DAT").string();
  const RecHeader header{"12-08-2026", "06:00:00", "REVIEW.DAT", 1, 2000, 1000};
  std::string bytes;
  char line[HEADER_LINE_SIZE];
  for (int i = 0; i < HEADER_LINES; ++i) {
    const int n = BuildHeaderLine(i, header, line, sizeof line);
    if (n > 0) bytes.append(line, static_cast<size_t>(n));
  }
  unsigned noise = 12345;
  for (int r = 0; r < 2000; ++r) {
    double sum = 0;
    for (int k = 0; k < 6; ++k) {
      noise = noise * 1103515245u + 12345u;
      sum += static_cast<double>((noise >> 16) & 0x7FFF) / 32768.0;
    }
    const double m = 512.0 + (r > 1400 ? 2.0 : 0.0) + (sum - 3.0) * 2.5;
    const u16 mv = static_cast<u16>(m + 0.5);
    const u16 values[RECORD_COLUMNS] = {static_cast<u16>(mv - 120), static_cast<u16>(mv + 120), mv, 2, 0, 0, 0};
    const int n = BuildRecordLine(values, line, sizeof line);
    if (n > 0) bytes.append(line, static_cast<size_t>(n));
  }
  if (WriteFileBytes(path.c_str(), bytes.data(), bytes.size()) != 0) return false;
  SetCtrlVal(pReview, REVIEW_RNGreviewBand, REVIEW_BAND_TYPED);
  SetCtrlVal(pReview, REVIEW_NUMreviewLower, 500.0);
  SetCtrlVal(pReview, REVIEW_NUMreviewUpper, 524.0);
  ReviewRecorderFile(path.c_str());
  const bool ok = Shoot(pReview, "review-window");
  HidePanel(pReview);
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
  ok = ShootReview(folder) && ok;
  std::filesystem::remove_all(folder, ec);
  return ok;
}

// A made-up machine for the ring: the device attributes that these adapters report, under a
// temporary folder that stands for /sys/class/tty and /dev.
struct MadeUpDevice {
  const char* tty;
  const char* usb;  // the USB device's folder, or null for an on-board port
  const char* vendor;
  const char* product;
  const char* text;
  const char* serial;
};
constexpr MadeUpDevice kMadeUpDevices[] = {
    {"ttyUSB0", "1-2", "0403", "6001", "FT232R USB UART", "A5XK3RJT"},
    {"ttyUSB1", "1-3.1", "1a86", "7523", "USB Serial", nullptr},
    {"ttyACM0", "1-4", "2341", "0043", "Arduino Uno", "85736323838351F0F1A1"},
    {"ttyS0", nullptr, nullptr, nullptr, nullptr, nullptr},
};

void MakeMachine(const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  for (const MadeUpDevice& d : kMadeUpDevices) {
    fs::create_directories(root / "dev");
    std::ofstream(root / "dev" / d.tty) << "";
    const fs::path tty = root / "sys" / d.tty;
    fs::create_directories(tty);
    if (d.usb == nullptr) {
      fs::create_directories(root / "devices/pnp0/00:05");
      fs::create_directory_symlink(root / "devices/pnp0/00:05", tty / "device");
      std::ofstream(tty / "type") << "4\n";
      continue;
    }
    const fs::path usb = root / "devices/usb1" / d.usb;
    fs::create_directories(usb / (std::string(d.usb) + ":1.0") / d.tty);
    std::ofstream(usb / "idVendor") << d.vendor << "\n";
    std::ofstream(usb / "idProduct") << d.product << "\n";
    std::ofstream(usb / "product") << d.text << "\n";
    if (d.serial) std::ofstream(usb / "serial") << d.serial << "\n";
    fs::create_directory_symlink(usb / (std::string(d.usb) + ":1.0") / d.tty, tty / "device");
  }
}

// The COM ring opened, as the operator sees it on that machine.
bool ShootComRing() {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / "rorir-pictures-machine";
  std::error_code ec;
  fs::remove_all(root, ec);
  MakeMachine(root);
  unsetenv("RORIR_COM1");
  rs232::SetDeviceFolders((root / "sys").string(), (root / "dev").string());
  FillComPortRing();
  // The made-up machine's device folder is shown as /dev, where a real machine has its nodes.
  const std::string made = (root / "dev").string();
  int count = 0;
  GetNumListItems(pHandle, MAIN_DropDCom, &count);
  for (int i = 0; i < count; ++i) {
    char label[512];
    GetLabelFromIndex(pHandle, MAIN_DropDCom, i, label, sizeof label);
    std::string text = label;
    const size_t at = text.find(made);
    if (at != std::string::npos) text.replace(at, made.size(), "/dev");
    ReplaceListItem(pHandle, MAIN_DropDCom, i, text.c_str(), i + 1);
  }
  auto* box = qobject_cast<QComboBox*>(CtrlWidget(pHandle, MAIN_DropDCom));
  bool ok = box != nullptr;
  if (ok) {
    box->showPopup();
    for (int i = 0; i < 20; ++i) ProcessSystemEvents();
    QWidget* list = box->view()->window();
    QPixmap pixmap(list->size() * gScale);
    pixmap.setDevicePixelRatio(gScale);
    list->render(&pixmap);
    const std::string path = gDir + "/com-ring" + gSuffix + ".png";
    ok = pixmap.save(QString::fromStdString(path), "PNG");
    std::printf("%s\n", path.c_str());
    box->hidePopup();
  }
  rs232::SetDeviceFolders("/sys/class/tty", "/dev");
  fs::remove_all(root, ec);
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
  // The sends of the pictures go into a change log of their own: the panels go on showing the
  // user's data folder, and the user's log is left alone.
  const std::filesystem::path data = std::filesystem::temp_directory_path() / "rorir-pictures-data";
  std::error_code ec;
  std::filesystem::remove_all(data, ec);
  std::filesystem::create_directories(data, ec);
  CopyText(proj_dir, data.c_str());

  bool ok = Shoot(pHandle, "main-panel");
  ok = Shoot(pPopup, "recorder-panel") && ok;
  ok = ShootLiveViews() && ok;
  ok = ShootZoomedVideo() && ok;
  ok = ShootLinkMonitor() && ok;
  ok = ShootSetUp() && ok;
  ok = ShootCompare() && ok;
  ok = ShootGauge() && ok;
  ok = ShootRecorderRun() && ok;
  ok = ShootComRing() && ok;

  CloseCVIRTE();
  sensor.stop();
  std::filesystem::remove_all(data, ec);
  return ok ? 0 : 1;
}
