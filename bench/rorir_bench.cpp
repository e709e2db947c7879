// rorir-bench: the real program logic, offscreen, against the virtual sensor in a process of its
// own on a pseudo-terminal. Runs the measurement cycle and the video loop for a set time each,
// paced at 19200 baud and unpaced, and a wait on a silent sensor, and prints each figure with
// the bound beside it. The sensor runs as a separate process so that the CPU figures are the
// program's alone.
//
//   rorir-bench [--seconds N] [--sensor-log FILE]
//     N seconds per phase (default 10); FILE receives the sensors' logs of every byte.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/acquisition.h"
#include "app/globals.h"
#include "app/main_panel.h"
#include "display/userint.h"
#include "display/utility.h"
#include "link/com232.h"
#include "link/rs232.h"
#include "resources/panels.h"

namespace {

constexpr double kLineBaud = 19200.0;
constexpr double kBitsPerByte = 10.0;
constexpr double kExchangeBytes = 36.0 + 36.0;
constexpr double kVideoPassBytes = kExchangeBytes + 4 * (36.0 + 128.0);

std::string gSensorLog;  // where the sensors log every byte, when asked

double BoundPerSecond(double bytes) { return kLineBaud / kBitsPerByte / bytes; }

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double PeakResidentMegabytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) / 1024.0;
}

// The virtual sensor as a child process, linked at a private path.
class SensorProcess {
 public:
  SensorProcess(const std::string& bin, const std::string& link, const std::vector<std::string>& args)
      : link_(link) {
    std::vector<std::string> argv = {bin, "--link", link};
    argv.insert(argv.end(), args.begin(), args.end());
    if (!gSensorLog.empty()) argv.push_back("--log");
    pid_ = fork();
    if (pid_ == 0) {
      std::vector<char*> cargv;
      for (std::string& a : argv) cargv.push_back(a.data());
      cargv.push_back(nullptr);
      int out = gSensorLog.empty() ? open("/dev/null", O_WRONLY)
                                   : open(gSensorLog.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (out >= 0) dup2(out, STDOUT_FILENO);
      execv(cargv[0], cargv.data());
      _exit(127);
    }
    for (int i = 0; i < 100 && access(link.c_str(), F_OK) != 0; ++i) usleep(20000);
  }
  ~SensorProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool ok() const { return pid_ > 0 && access(link_.c_str(), F_OK) == 0; }

 private:
  pid_t pid_ = -1;
  std::string link_;
};

struct Phase {
  double wall = 0, cpu = 0;
  unsigned long count = 0;
  double rate() const { return wall > 0 ? count / wall : 0; }
  double cpuShare() const { return wall > 0 ? cpu / wall : 0; }
};

// Runs `loop` (which returns when stop_flag is set) for `seconds` and counts what `counter`
// counts meanwhile.
template <typename Loop>
Phase Measure(double seconds, Loop loop, const unsigned long& counter) {
  QTimer::singleShot(static_cast<int>(seconds * 1000), [] { stop_flag = 1; });
  const unsigned long before = counter;
  const double cpu0 = CpuSeconds(), t0 = Timer();
  loop();
  Phase p;
  p.wall = Timer() - t0;
  p.cpu = CpuSeconds() - cpu0;
  p.count = counter - before;
  // As the Stop button does: a pause lets the answer to the last request arrive, so that it is
  // flushed rather than taken for the answer of the next loop's first request.
  Delay(0.2);
  FlushInQ(com);
  return p;
}

// The video loop as the VIDEO button starts it; it returns when stop_flag is set.
void RunVideoLoop() { CC_BTNVideo(pHandle, MAIN_BTNVideo, EVENT_COMMIT, nullptr, 0, 0); }

// Connects COM1 to a fresh sensor with the given options and identifies it.
bool Reconnect(const std::string& link) {
  CloseCom(com);
  setenv("RORIR_COM1", link.c_str(), 1);
  com = 1;
  InitRS232(com);
  return pcbtype != 0 || ccdtype != 0;
}

void PrintRate(const char* what, double value, double bound, const char* unit) {
  std::printf("%-52s %10.2f %-6s bound %8.2f  (%5.1f%% of bound)\n", what, value, unit, bound,
              bound > 0 ? 100.0 * value / bound : 0.0);
}

void PrintTarget(const char* what, double value, const char* unit, const char* target) {
  std::printf("%-52s %10.2f %-6s target %s\n", what, value, unit, target);
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 10.0;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (!std::strcmp(argv[i], "--sensor-log") && i + 1 < argc) {
      gSensorLog = argv[++i];
    } else {
      std::fprintf(stderr, "usage: rorir-bench [--seconds N] [--sensor-log FILE]\n");
      return 2;
    }
  }
  if (seconds <= 0) seconds = 10.0;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  char dataDir[] = "/tmp/rorir-bench-XXXXXX";
  if (!mkdtemp(dataDir)) return 1;
  setenv("RORIR_DATA_DIR", dataDir, 1);
  char exeDir[260];
  GetExecutableDir(exeDir);
  const std::string sensorBin = std::string(exeDir) + "/rorir-sensor";
  const std::string link = std::string(dataDir) + "/sensor";

  // Start-up against a silent line (nothing to identify yet); each phase then reconnects.
  setenv("RORIR_COM1", (std::string(dataDir) + "/none").c_str(), 1);
  if (StartUp(1, argv) != 0) return 1;
  ProcessSystemEvents();

  std::printf("rorir-bench: %g s per phase, %ld cores\n", seconds, sysconf(_SC_NPROCESSORS_ONLN));
  int rc = 0;
  {
    SensorProcess sensor(sensorBin, link, {"--baud", "19200"});
    if (!sensor.ok() || !Reconnect(link)) {
      std::fprintf(stderr, "rorir-bench: the paced sensor did not answer\n");
      return 1;
    }
    Phase run = Measure(seconds, [] { PushRUN(); }, resultFramesDrawn);
    Phase video = Measure(seconds, RunVideoLoop, videoPassesDrawn);
    PrintRate("measurement cycles/s (19200 baud, paced)", run.rate(), BoundPerSecond(kExchangeBytes), "1/s");
    PrintTarget("  CPU of the program per wall second", 100 * run.cpuShare(), "%", "<= 5 %");
    PrintRate("video passes/s (19200 baud, paced)", video.rate(), BoundPerSecond(kVideoPassBytes), "1/s");
    PrintTarget("  CPU of the program per wall second", 100 * video.cpuShare(), "%", "-");
  }
  {
    SensorProcess sensor(sensorBin, link, {"--silent"});
    setenv("RORIR_COM1", link.c_str(), 1);
    CloseCom(com);
    OpenComConfig(com, "", 19200, 0, 8, 1, 4096, 4096);
    InstallReceiveCallback();
    // One line check after another, each ending in its 1.5 s time-out.
    Phase silent;
    const double cpu0 = CpuSeconds(), t0 = Timer();
    while (Timer() - t0 < seconds) CheckComLine(com);
    silent.wall = Timer() - t0;
    silent.cpu = CpuSeconds() - cpu0;
    PrintTarget("CPU while waiting on a silent sensor", 100 * silent.cpuShare(), "%", "<= 1 %");
  }
  {
    SensorProcess sensor(sensorBin, link, {"--baud", "0"});
    if (!sensor.ok() || !Reconnect(link)) {
      std::fprintf(stderr, "rorir-bench: the unpaced sensor did not answer\n");
      return 1;
    }
    Phase run = Measure(seconds, [] { PushRUN(); }, resultFramesDrawn);
    Phase video = Measure(seconds, RunVideoLoop, videoPassesDrawn);
    PrintTarget("measurement cycles/s (unpaced, every frame drawn)", run.rate(), "1/s", ">= 5000");
    PrintTarget("video passes/s (unpaced, every pass drawn)", video.rate(), "1/s", ">= 1000");
  }
  PrintTarget("peak resident memory", PeakResidentMegabytes(), "MB", "<= 80 MB");
  CloseCom(com);
  CloseCVIRTE();
  std::string cleanup = std::string("rm -rf '") + dataDir + "'";
  if (std::system(cleanup.c_str()) != 0) rc = 1;
  return rc;
}
