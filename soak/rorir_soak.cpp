// rorir-soak: the measurement cycle of the real program logic, offscreen and unpaced, against
// the virtual sensor in a process of its own, for a given number of minutes. Prints the frames
// handled and the resident memory at the start, after the first minute, every few minutes, and
// at the end; exits 1 when the memory grew by 2 MB or more after the first minute, or the
// cycle ended by itself (a time-out) before the time was up.
//
//   rorir-soak [MINUTES]       (default 30)
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "state/globals.h"
#include "bench/sensor_process.h"
#include "app/main_panel.h"
#include "platform/ui/userint.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "platform/serial/rs232.h"
#include "resources/panels.h"

namespace {

constexpr double kGrowthLimitMb = 2.0;
constexpr int kReportEveryMinutes = 5;

// The resident set now, from /proc (the peak that getrusage gives would hide a fall).
double ResidentMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      double kb = 0;
      status >> kb;
      return kb / 1024.0;
    }
    status.ignore(4096, '\n');
  }
  return 0;
}

void Report(const char* when, double minutes) {
  std::printf("%-14s %7.2f min  frames %12lu  resident %8.2f MB\n", when, minutes, resultFramesDrawn,
              ResidentMegabytes());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const double minutes = argc > 1 ? std::atof(argv[1]) : 30.0;
  if (minutes <= 0) {
    std::fprintf(stderr, "usage: rorir-soak [MINUTES]\n");
    return 2;
  }
  const ToolSetting tool = PrepareTool("rorir-soak");
  if (!tool.ok) return 1;
  SensorProcess sensor(tool.sensorBin, tool.link, {"--baud", "0"});
  setenv("RORIR_COM1", tool.link.c_str(), 1);

  if (StartUp(1, argv) != 0) return 1;
  ProcessSystemEvents();
  if (pcbtype == 0 && ccdtype == 0) {
    std::fprintf(stderr, "rorir-soak: the sensor did not answer: %s\n", szStatus);
    return 1;
  }

  const double t0 = Timer();
  Report("start", 0);
  double afterFirstMinute = 0;
  bool timeUp = false;
  QTimer::singleShot(60 * 1000, [&] {
    Report("after 1 min", (Timer() - t0) / 60.0);
    afterFirstMinute = ResidentMegabytes();
  });
  QTimer progress;
  progress.setInterval(kReportEveryMinutes * 60 * 1000);
  QObject::connect(&progress, &QTimer::timeout, [&] { Report("running", (Timer() - t0) / 60.0); });
  progress.start();
  QTimer::singleShot(static_cast<int>(minutes * 60 * 1000), [&] {
    timeUp = true;
    stop_flag = 1;
  });

  PushRUN();
  progress.stop();
  Report("end", (Timer() - t0) / 60.0);
  const double growth = afterFirstMinute > 0 ? ResidentMegabytes() - afterFirstMinute : 0;
  char shown[TEXT_SIZE] = "";
  GetCtrlVal(pHandle, MAIN_TBOXstatus, shown);
  std::printf("status line: %s\n", shown);
  int rc = 0;
  if (!timeUp) {
    std::printf("the cycle ended before the time was up\n");
    rc = 1;
  }
  if (afterFirstMinute > 0) {
    std::printf("growth after the first minute: %.2f MB (limit %.1f MB)\n", growth, kGrowthLimitMb);
    if (growth >= kGrowthLimitMb) rc = 1;
  }
  CloseCom(com);
  DiscardPanel(pPopup);
  DiscardPanel(pHandle);
  CloseCVIRTE();
  std::error_code ignored;
  std::filesystem::remove_all(tool.dataDir, ignored);
  return rc;
}
