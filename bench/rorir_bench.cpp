// rorir-bench: the real program logic, offscreen, against the virtual sensor in a process of its
// own on a pseudo-terminal. Runs the measurement cycle and the video loop for a set time each,
// paced at 19200 baud and unpaced, and a wait on a silent sensor, and prints each figure with
// the bound beside it. The sensor runs as a separate process so that the CPU figures are the
// program's alone. A phase with a USB adapter between line and program measures the cycle
// against the bound of line plus adapter, and how long the last byte of a frame takes to reach
// the receive callback when frames arrive whole and in pieces.
//
//   rorir-bench [--seconds N] [--only paced|silent|unpaced|adapter] [--sensor-log FILE] [--monitor]
//     N seconds per phase (default 10); --only runs one part (for profiling); FILE receives
//     the sensors' logs of every byte; --monitor runs every phase with the link monitor window
//     open.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/acquisition.h"
#include "app/globals.h"
#include "app/main_panel.h"
#include "bench/sensor_process.h"
#include "bench/split_peer.h"
#include "display/userint.h"
#include "display/utility.h"
#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/rs232.h"
#include "resources/panels.h"
#include "sensor/adapter.h"
#include "sensor/pacing.h"

namespace {

constexpr double kLineBaud = 19200.0;
constexpr double kBitsPerByte = 10.0;
constexpr double kExchangeBytes = 36.0 + 36.0;
constexpr double kVideoPassBytes = kExchangeBytes + 4 * (36.0 + 128.0);

std::string gSensorLog;  // where the sensors log every byte, when asked

// The sensor's options, with --log when its bytes are to be kept.
std::vector<std::string> WithLog(std::vector<std::string> args) {
  if (!gSensorLog.empty()) args.push_back("--log");
  return args;
}

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

struct Phase {
  double wall = 0, cpu = 0;
  unsigned long count = 0;
  double span = 0;  // seconds between the first and the last completion counted
  double rate() const { return span > 0 ? count / span : 0; }
  double cpuShare() const { return wall > 0 ? cpu / wall : 0; }
};

// Runs `loop` (which returns when stop_flag is set) for a warm-up second and then `seconds`
// more, and measures the second part: the first paint of a graph that has just been shown
// loads fonts and builds caches once, which says nothing about the loop's steady pace. The
// rate is taken between the first and the last completion in the window, so that a window
// that happens to hold one pass more or less does not skew it.
Phase Measure(double seconds, void (*loop)(), const unsigned long& counter, const double& doneAt) {
  constexpr int kWarmUpMs = 1000;
  struct Start {
    unsigned long count = 0;
    double t = 0, done = 0, cpu = 0;
  } start;
  QTimer::singleShot(kWarmUpMs, [&] {
    start.count = counter;
    start.done = doneAt;
    start.t = Timer();
    start.cpu = CpuSeconds();
  });
  QTimer::singleShot(kWarmUpMs + static_cast<int>(seconds * 1000), [] { stop_flag = 1; });
  loop();
  Phase p;
  p.wall = Timer() - start.t;
  p.cpu = CpuSeconds() - start.cpu;
  p.count = counter - start.count;
  p.span = doneAt - start.done;
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

// The measurement cycle and then the video loop against a sensor paced at `baud`.
struct Loops {
  bool ok = false;
  Phase run, video;
};

Loops MeasureLoops(const ToolSetting& tool, const char* baud, double seconds) {
  Loops l;
  SensorProcess sensor(tool.sensorBin, tool.link, WithLog({"--baud", baud}), gSensorLog);
  if (!sensor.ok() || !Reconnect(tool.link)) {
    std::fprintf(stderr, "rorir-bench: the sensor at --baud %s did not answer\n", baud);
    return l;
  }
  l.run = Measure(seconds, PushRUN, resultFramesDrawn, resultFrameTime);
  l.video = Measure(seconds, RunVideoLoop, videoPassesDrawn, videoPassTime);
  l.ok = true;
  return l;
}

void PrintRate(const char* what, double value, double bound, const char* unit) {
  std::printf("%-52s %10.2f %-6s bound %8.2f  (%5.1f%% of bound)\n", what, value, unit, bound,
              bound > 0 ? 100.0 * value / bound : 0.0);
}

void PrintTarget(const char* what, double value, const char* unit, const char* target) {
  std::printf("%-52s %10.2f %-6s target %s\n", what, value, unit, target);
}

// ---- the adapter phase ----

using namespace std::chrono_literals;
const rorir::sensor::AdapterSettings kAdapter{16ms, rorir::sensor::kDefaultAdapterPacket};

// The program's event character for the receive callback: its sync byte towards the sensor
// (app/sync_word.h cannot be included beside the POSIX headers).
constexpr int kSyncByte = 0x55;

// Seconds from the last piece of an answer to the receive callback, one per frame.
std::vector<double> gDelays;
const SplitPeer* gPeer = nullptr;

// The program's receive callback, with the time of its call noted first.
void TimedReceive(int port, int mask, void* data) {
  if ((mask & RS232_EVENT_RECEIVE) && gPeer != nullptr)
    gDelays.push_back(std::chrono::duration<double>(SplitPeer::Clock::now() - gPeer->lastPieceAt()).count());
  RX_Receive_Function(port, mask, data);
}

struct Spread {
  std::size_t count = 0;
  double median = 0, p99 = 0;  // seconds
};

Spread SpreadOf(std::vector<double> v) {
  Spread s;
  s.count = v.size();
  if (v.empty()) return s;
  std::sort(v.begin(), v.end());
  s.median = v[v.size() / 2];
  s.p99 = v[std::min(v.size() - 1, v.size() * 99 / 100)];
  return s;
}

// The measurement cycle against a peer that answers once the request has crossed a 19200-baud
// line, every answer in pieces (`head` bytes, `gap`, the rest; `head` 0: whole): the delays
// from each answer's last piece to the callback.
Spread MeasureDelays(std::size_t head, std::chrono::milliseconds gap, double seconds) {
  SplitPeer peer(rorir::sensor::transferTime(rorir::sensor::kFrameSize, rorir::sensor::kDefaultBaud),
                 head, gap);
  if (!peer.ok() || !Reconnect(peer.slavePath())) {
    std::fprintf(stderr, "rorir-bench: the split peer did not answer\n");
    return {};
  }
  InstallComCallback(com, eventMask, FRAME_SIZE, kSyncByte, TimedReceive, nullptr);
  gPeer = &peer;
  QTimer::singleShot(1000, [] { gDelays.clear(); });  // the warm-up second of Measure
  Measure(seconds, PushRUN, resultFramesDrawn, resultFrameTime);
  gPeer = nullptr;
  CloseCom(com);
  return SpreadOf(std::move(gDelays));
}

void PrintDelay(const char* what, const Spread& s) {
  std::printf("%-52s %10.2f %-6s p99 %6.2f ms, %zu frames; target median <= 1 ms\n", what,
              s.median * 1e3, "ms", s.p99 * 1e3, s.count);
}

bool RunAdapterPhase(const ToolSetting& tool, double seconds) {
  using namespace rorir::sensor;
  const Nanos request = transferTime(kFrameSize, kDefaultBaud);
  const Nanos answer = deliveredAt(kFrameSize, 0ns, kDefaultBaud, kAdapter);
  const double cycleMs = std::chrono::duration<double, std::milli>(request + answer).count();
  std::printf("adapter model (rorir-sensor --adapter 16): %s; a cycle is the request on the line\n"
              "  (%.2f ms) and the answer until its last burst (%.2f ms after it starts): %.2f ms\n",
              describe(kAdapter).c_str(), std::chrono::duration<double, std::milli>(request).count(),
              std::chrono::duration<double, std::milli>(answer).count(), cycleMs);
  {
    SensorProcess sensor(tool.sensorBin, tool.link, WithLog({"--baud", "19200", "--adapter", "16"}),
                         gSensorLog);
    if (!sensor.ok() || !Reconnect(tool.link)) {
      std::fprintf(stderr, "rorir-bench: the sensor with --adapter 16 did not answer\n");
      return false;
    }
    const Phase run = Measure(seconds, PushRUN, resultFramesDrawn, resultFrameTime);
    PrintRate("measurement cycles/s (19200 baud, adapter 16 ms)", run.rate(), 1000.0 / cycleMs, "1/s");
    PrintTarget("  CPU of the program per wall second", 100 * run.cpuShare(), "%", "-");
    CloseCom(com);
  }
  std::printf("last byte to receive callback: a peer in this process answers each request once it\n"
              "  has crossed the line (18.75 ms), timing the write of the answer's last piece;\n"
              "  the program's receive callback times its call\n");
  const Spread whole = MeasureDelays(0, 0ms, seconds);
  const Spread split = MeasureDelays(4, 16ms, seconds);
  if (whole.count == 0 || split.count == 0) return false;
  PrintDelay("  frames whole, median", whole);
  PrintDelay("  frames as 4 bytes, 16 ms, 32 bytes, median", split);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 10.0;
  std::string only;  // "paced", "silent", "unpaced" or "adapter": run that part alone
  bool monitor = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (!std::strcmp(argv[i], "--only") && i + 1 < argc) {
      only = argv[++i];
    } else if (!std::strcmp(argv[i], "--sensor-log") && i + 1 < argc) {
      gSensorLog = argv[++i];
    } else if (!std::strcmp(argv[i], "--monitor")) {
      monitor = true;
    } else {
      std::fprintf(stderr,
                   "usage: rorir-bench [--seconds N] [--only paced|silent|unpaced|adapter] "
                   "[--sensor-log FILE] [--monitor]\n");
      return 2;
    }
  }
  if (seconds <= 0) seconds = 10.0;
  const ToolSetting tool = PrepareTool("rorir-bench");
  if (!tool.ok) return 1;
  const std::string& dataDir = tool.dataDir;
  const std::string& link = tool.link;

  // Start-up against a silent line (nothing to identify yet); each phase then reconnects.
  setenv("RORIR_COM1", (dataDir + "/none").c_str(), 1);
  if (StartUp(1, argv) != 0) return 1;
  if (monitor) OpenLinkMonitor();
  ProcessSystemEvents();

  std::printf("rorir-bench: %g s per phase, %ld cores%s\n", seconds, sysconf(_SC_NPROCESSORS_ONLN),
              monitor ? ", link monitor open" : "");
  int rc = 0;
  auto wanted = [&only](const char* part) { return only.empty() || only == part; };
  if (wanted("paced")) {
    const Loops paced = MeasureLoops(tool, "19200", seconds);
    if (!paced.ok) return 1;
    PrintRate("measurement cycles/s (19200 baud, paced)", paced.run.rate(), BoundPerSecond(kExchangeBytes), "1/s");
    PrintTarget("  CPU of the program per wall second", 100 * paced.run.cpuShare(), "%", "<= 5 %");
    PrintRate("video passes/s (19200 baud, paced)", paced.video.rate(), BoundPerSecond(kVideoPassBytes), "1/s");
    PrintTarget("  CPU of the program per wall second", 100 * paced.video.cpuShare(), "%", "-");
  }
  if (wanted("silent")) {
    SensorProcess sensor(tool.sensorBin, link, WithLog({"--silent"}), gSensorLog);
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
  if (wanted("adapter") && !RunAdapterPhase(tool, seconds)) return 1;
  if (wanted("unpaced")) {
    const Loops unpaced = MeasureLoops(tool, "0", seconds);
    if (!unpaced.ok) return 1;
    PrintTarget("measurement cycles/s (unpaced, every frame drawn)", unpaced.run.rate(), "1/s", ">= 5000");
    PrintTarget("video passes/s (unpaced, every pass drawn)", unpaced.video.rate(), "1/s", ">= 1000");
  }
  PrintTarget("peak resident memory", PeakResidentMegabytes(), "MB", "<= 80 MB");
  CloseCom(com);
  CloseCVIRTE();
  std::string cleanup = "rm -rf '" + dataDir + "'";
  if (std::system(cleanup.c_str()) != 0) rc = 1;
  return rc;
}
