// rorir-bench: the real program logic, offscreen, against the virtual sensor in a process of its
// own on a pseudo-terminal. Runs the measurement cycle and the video loop for a set time each,
// paced at 19200 baud and unpaced, and a wait on a silent sensor, and prints each figure with
// the bound beside it, as the rows of the README's benchmark table. The sensor runs as a
// separate process so that the CPU figures are the program's alone. A phase with a USB adapter
// between line and program measures the cycle against the bound of line plus adapter, and how
// long the last byte of a frame takes to reach the receive callback when frames arrive whole
// and in pieces.
//
// A phase that did not run as planned prints no figure: a sensor that did not start or answer,
// a loop that returned before its warm-up second or before its time was up, a sensor that died,
// nothing counted. rorir-bench then says which phase and what happened, and exits with 1.
//
//   rorir-bench [--seconds N] [--only paced|silent|unpaced|adapter] [--sensor-log FILE]
//               [--sensor PATH] [--check] [--monitor]
//     N seconds per phase (default 10); --only runs one part (for profiling); FILE receives
//     the sensors' logs of every byte; PATH is the sensor program (default: rorir-sensor beside
//     rorir-bench). --check runs every phase for one second and only verifies that each ran
//     (frames counted, sensor alive), with no figure and no speed threshold. --monitor runs
//     every phase with the link monitor window open.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTimer>

#include <algorithm>
#include <cstdarg>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/acquisition.h"
#include "state/globals.h"
#include "app/main_panel.h"
#include "bench/sensor_process.h"
#include "bench/split_peer.h"
#include "platform/ui/userint.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "link/com232_codec.h"
#include "platform/serial/rs232.h"
#include "resources/panels.h"
#include "sensor/adapter.h"
#include "sensor/pacing.h"

namespace {

constexpr double kLineBaud = 19200.0;
constexpr double kBitsPerByte = 10.0;
constexpr double kExchangeBytes = 36.0 + 36.0;
constexpr double kVideoPassBytes = kExchangeBytes + 4 * (36.0 + 128.0);
constexpr int kWarmUpMs = 1000;
constexpr double kCheckSeconds = 1.0;  // each phase's measured time under --check

std::string gSensorLog;  // where the sensors log every byte, when asked
std::string gSensorBin;  // the sensor program
bool gCheck = false;     // only verify that every phase runs

// The sensor's options, with --log when its bytes are to be kept.
std::vector<std::string> WithLog(std::vector<std::string> args) {
  if (!gSensorLog.empty()) args.push_back("--log");
  return args;
}

// The panel's status line as the operator sees it.
std::string StatusLine() {
  char line[256] = "";
  GetTextBoxLine(pHandle, MAIN_TBOXstatus, 0, line);
  return line;
}

// Says which phase failed and how; returns false for the caller to pass on.
bool Fail(const char* phase, const char* format, ...) {
  std::fprintf(stderr, "rorir-bench: %s: ", phase);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fprintf(stderr, "\n");
  return false;
}

// ---- the table ----

std::vector<std::string> gRows;  // printed only when every phase has run

std::string Format(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// A whole number with thousands separated by commas, as the README writes rates.
std::string Thousands(double value) {
  std::string digits = std::to_string(static_cast<long>(value + 0.5));
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<size_t>(at), ",");
  return digits;
}

void Row(const std::string& what, const std::string& bound, const std::string& result) {
  gRows.push_back("| " + what + " | " + bound + " | " + result + " |");
}

std::string OfBound(double value, double bound) { return Format("%.2f (%.1f %%)", value, 100.0 * value / bound); }

// Under --check: what a phase did, without a figure.
void Ran(const char* phase, unsigned long count, const char* unit, const char* farEnd) {
  std::printf("%-34s ran: %lu %s, %s\n", phase, count, unit, farEnd);
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
  unsigned long count = 0;  // completions in the measured window
  unsigned long total = 0;  // completions since the loop started
  double span = 0;          // seconds between the last completion of the warm-up and the last one
  double rate() const { return count / span; }
  double cpuShare() const { return cpu / wall; }
};

// Runs `loop` (which returns when stop_flag is set) for a warm-up second and then `seconds`
// more, and measures the second part: the first paint of a graph that has just been shown
// loads fonts and builds caches once, which says nothing about the loop's steady pace. The
// rate is taken between the last completion of the warm-up and the last one of the window, so
// that a window that happens to hold one pass more or less does not skew it; `atWindow` runs
// when the window opens. Both timers belong to this call, so neither can stop a later loop.
// Returns false, having said why, when the loop returned before its time was up or left
// nothing to measure.
bool Measure(const char* phase, double seconds, void (*loop)(), const unsigned long& counter,
             const double& doneAt, const char* unit, Phase& p, const std::function<void()>& atWindow = {}) {
  struct Start {
    unsigned long count = 0;
    double t = 0, done = 0, cpu = 0;
  } start;
  bool windowOpen = false, timeUp = false;
  const unsigned long before = counter;
  QTimer warmUp, stop;
  warmUp.setSingleShot(true);
  stop.setSingleShot(true);
  QObject::connect(&warmUp, &QTimer::timeout, [&] {
    start = {counter, Timer(), doneAt, CpuSeconds()};
    windowOpen = true;
    if (atWindow) atWindow();
  });
  QObject::connect(&stop, &QTimer::timeout, [&] {
    timeUp = true;
    stop_flag = 1;
  });
  const double t0 = Timer();
  warmUp.start(kWarmUpMs);
  stop.start(kWarmUpMs + static_cast<int>(seconds * 1000));
  loop();
  const double ran = Timer() - t0;
  p.wall = Timer() - start.t;
  p.cpu = CpuSeconds() - start.cpu;
  p.count = counter - start.count;
  p.total = counter - before;
  p.span = doneAt - start.done;
  // As the Stop button does: a pause lets the answer to the last request arrive, so that it is
  // flushed rather than taken for the answer of the next loop's first request.
  Delay(0.2);
  FlushInQ(com);
  if (!windowOpen)
    return Fail(phase, "the loop returned after %.2f s, before its warm-up second was over (status line: %s)", ran,
                StatusLine().c_str());
  if (!timeUp)
    return Fail(phase, "the loop ended after %.2f s of %.2f s (status line: %s)", ran, kWarmUpMs / 1000.0 + seconds,
                StatusLine().c_str());
  if (p.total == 0) return Fail(phase, "no %s counted", unit);
  if (!gCheck && (start.count == before || p.count == 0))
    return Fail(phase, "too few %s for a rate: %lu in the warm-up second, %lu after it", unit,
                start.count - before, p.count);
  return true;
}

// The video loop as the VIDEO button starts it; it returns when stop_flag is set.
void RunVideoLoop() { CC_BTNVideo(pHandle, MAIN_BTNVideo, EVENT_COMMIT, nullptr, 0, 0); }

// Connects COM1 to a fresh sensor at `link` and identifies it; true when it told its type.
bool Reconnect(const std::string& link) {
  CloseCom(com);
  setenv("RORIR_COM1", link.c_str(), 1);
  com = 1;
  ccdtype = 0;
  pcbtype = 0;
  InitRS232(com);
  return (pcbtype != 0 || ccdtype != 0) && !PortGone(com);
}

// Starts a sensor with `args` and connects to it; false, having said why, when it did not
// start or did not answer.
bool Connect(const char* phase, SensorProcess& sensor, const std::string& link) {
  if (!sensor.ok()) return Fail(phase, "%s", sensor.problem().c_str());
  if (!Reconnect(link)) return Fail(phase, "the sensor did not answer the identification (status line: %s)", StatusLine().c_str());
  return true;
}

// A loop against a sensor process: measured, and the sensor must still run after it, or the
// figures are not the sensor's. A loop that failed is told along with a sensor that ended.
bool MeasureWith(SensorProcess& sensor, const char* phase, double seconds, void (*loop)(), const unsigned long& counter,
                 const double& doneAt, const char* unit, Phase& p) {
  const bool measured = Measure(phase, seconds, loop, counter, doneAt, unit, p);
  if (!sensor.alive()) return Fail(phase, "%s during the phase", sensor.problem().c_str());
  if (measured && gCheck) Ran(phase, p.total, unit, "sensor running");
  return measured;
}

// The measurement cycle and then the video loop against a sensor paced at `baud`.
bool MeasureLoops(const char* cyclePhase, const char* videoPhase, const char* baud, double seconds, const std::string& link,
                  Phase& run, Phase& video) {
  SensorProcess sensor(gSensorBin, link, WithLog({"--baud", baud}), gSensorLog);
  if (!Connect(cyclePhase, sensor, link)) return false;
  const bool measured =
      MeasureWith(sensor, cyclePhase, seconds, PushRUN, resultFramesDrawn, resultFrameTime, "result frames drawn", run) &&
      MeasureWith(sensor, videoPhase, seconds, RunVideoLoop, videoPassesDrawn, videoPassTime, "video passes drawn", video);
  CloseCom(com);
  return measured;
}

bool RunPacedPhase(double seconds, const std::string& link) {
  Phase run, video;
  if (!MeasureLoops("paced cycle", "paced video loop", "19200", seconds, link, run, video)) return false;
  Row("measurement cycles/s (19200 baud, paced)",
      Format("bound %.2f (36 + 36 bytes at 1920 bytes/s)", BoundPerSecond(kExchangeBytes)),
      OfBound(run.rate(), BoundPerSecond(kExchangeBytes)));
  Row("video passes/s (19200 baud, paced)", Format("bound %.2f (728 bytes a pass)", BoundPerSecond(kVideoPassBytes)),
      OfBound(video.rate(), BoundPerSecond(kVideoPassBytes)));
  Row("CPU during the paced cycle", "target <= 3 % of a core", Format("%.1f %%", 100 * run.cpuShare()));
  return true;
}

bool RunUnpacedPhase(double seconds, const std::string& link) {
  Phase run, video;
  if (!MeasureLoops("unpaced cycle", "unpaced video loop", "0", seconds, link, run, video)) return false;
  Row("unpaced measurement cycles/s, every frame drawn", "target >= 5,000", Thousands(run.rate()));
  Row("unpaced video passes/s, every pass drawn", "target >= 1,000", Thousands(video.rate()));
  return true;
}

// One line check after another against a sensor that never answers, each ending in its
// 1.5 s time-out.
bool RunSilentPhase(double seconds, const std::string& link) {
  const char* phase = "silent sensor";
  SensorProcess sensor(gSensorBin, link, WithLog({"--silent"}), gSensorLog);
  if (!sensor.ok()) return Fail(phase, "%s", sensor.problem().c_str());
  setenv("RORIR_COM1", link.c_str(), 1);
  CloseCom(com);
  const int opened = OpenComConfig(com, "", 19200, 0, 8, 1, 4096, 4096);
  if (opened < 0) return Fail(phase, "the sensor's line did not open: %s", ComOpenErrorText(opened));
  InstallReceiveCallback();
  int checks = 0, answered = 0;
  const double cpu0 = CpuSeconds(), t0 = Timer();
  while (checks == 0 || Timer() - t0 < seconds) {
    answered += CheckComLine(com);
    ++checks;
  }
  const double wall = Timer() - t0, cpu = CpuSeconds() - cpu0;
  CloseCom(com);
  if (!sensor.alive()) return Fail(phase, "%s during the phase", sensor.problem().c_str());
  if (answered > 0) return Fail(phase, "the silent sensor answered %d of %d line checks", answered, checks);
  if (gCheck) Ran(phase, static_cast<unsigned long>(checks), "line checks timed out", "sensor running");
  Row("CPU while waiting on a silent sensor", "target <= 0.3 %", Format("%.2f %%", 100 * cpu / wall));
  return true;
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
// from each answer's last piece to the callback in the measured window.
bool MeasureDelays(const char* phase, std::size_t head, std::chrono::milliseconds gap, double seconds, Spread& spread) {
  SplitPeer peer(rorir::sensor::transferTime(rorir::sensor::kFrameSize, rorir::sensor::kDefaultBaud),
                 head, gap);
  if (!peer.ok()) return Fail(phase, "the split peer's pseudo-terminal could not be set up");
  if (!Reconnect(peer.slavePath()))
    return Fail(phase, "the split peer did not answer the identification (status line: %s)", StatusLine().c_str());
  InstallComCallback(com, eventMask, FRAME_SIZE, kSyncByte, TimedReceive, nullptr);
  gPeer = &peer;
  gDelays.clear();
  Phase run;
  const bool ran = Measure(phase, seconds, PushRUN, resultFramesDrawn, resultFrameTime, "result frames drawn", run,
                           [] { gDelays.clear(); });
  gPeer = nullptr;
  CloseCom(com);
  spread = SpreadOf(std::move(gDelays));
  gDelays.clear();
  if (!ran) return false;
  if (spread.count == 0) return Fail(phase, "no receive callback was timed");
  if (gCheck) Ran(phase, spread.count, "receive callbacks timed", "split peer answering");
  return true;
}

std::string DelayResult(const Spread& s) { return Format("median %.2f ms, p99 %.2f ms", s.median * 1e3, s.p99 * 1e3); }

bool RunAdapterPhase(double seconds, const std::string& link) {
  using namespace rorir::sensor;
  const char* phase = "cycle through a USB adapter";
  const Nanos request = transferTime(kFrameSize, kDefaultBaud);
  const Nanos answer = deliveredAt(kFrameSize, 0ns, kDefaultBaud, kAdapter);
  const double requestMs = std::chrono::duration<double, std::milli>(request).count();
  const double answerMs = std::chrono::duration<double, std::milli>(answer).count();
  const double bound = 1000.0 / (requestMs + answerMs);
  {
    SensorProcess sensor(gSensorBin, link, WithLog({"--baud", "19200", "--adapter", "16"}), gSensorLog);
    if (!Connect(phase, sensor, link)) return false;
    Phase run;
    const bool measured =
        MeasureWith(sensor, phase, seconds, PushRUN, resultFramesDrawn, resultFrameTime, "result frames drawn", run);
    CloseCom(com);
    if (!measured) return false;
    Row("measurement cycles/s (19200 baud, USB adapter 16 ms)",
        Format("bound %.2f (request %.2f ms + answer until the adapter's last burst %.2f ms)", bound, requestMs, answerMs),
        OfBound(run.rate(), bound));
  }
  Spread whole, split;
  if (!MeasureDelays("frames whole to the callback", 0, 0ms, seconds, whole)) return false;
  if (!MeasureDelays("frames in pieces to the callback", 4, 16ms, seconds, split)) return false;
  Row("last byte to receive callback, frames whole", "target median <= 1 ms", DelayResult(whole));
  Row("last byte to receive callback, frames as 4 B, 16 ms, 32 B", "target median <= 1 ms", DelayResult(split));
  return true;
}

bool RunPhases(const std::string& only, double seconds, const std::string& link) {
  auto wanted = [&only](const char* part) { return only.empty() || only == part; };
  if (wanted("paced") && !RunPacedPhase(seconds, link)) return false;
  if (wanted("adapter") && !RunAdapterPhase(seconds, link)) return false;
  if (wanted("silent") && !RunSilentPhase(seconds, link)) return false;
  if (wanted("unpaced") && !RunUnpacedPhase(seconds, link)) return false;
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
    } else if (!std::strcmp(argv[i], "--sensor") && i + 1 < argc) {
      gSensorBin = argv[++i];
    } else if (!std::strcmp(argv[i], "--check")) {
      gCheck = true;
    } else if (!std::strcmp(argv[i], "--monitor")) {
      monitor = true;
    } else {
      std::fprintf(stderr,
                   "usage: rorir-bench [--seconds N] [--only paced|silent|unpaced|adapter] "
                   "[--sensor-log FILE] [--sensor PATH] [--check] [--monitor]\n");
      return 2;
    }
  }
  if (!only.empty() && only != "paced" && only != "silent" && only != "unpaced" && only != "adapter") {
    std::fprintf(stderr, "rorir-bench: unknown part: %s\n", only.c_str());
    return 2;
  }
  if (seconds <= 0) seconds = 10.0;
  if (gCheck) seconds = kCheckSeconds;
  const ToolSetting tool = PrepareTool("rorir-bench");
  if (!tool.ok) {
    std::fprintf(stderr, "rorir-bench: no data folder could be made in /tmp\n");
    return 1;
  }
  if (gSensorBin.empty()) gSensorBin = tool.sensorBin;

  // Start-up against a silent line (nothing to identify yet); each phase then reconnects.
  setenv("RORIR_COM1", (tool.dataDir + "/none").c_str(), 1);
  bool ok = StartUp(1, argv) == 0;
  if (ok) {
    if (monitor) OpenLinkMonitor();
    ProcessSystemEvents();
    std::fprintf(stderr, "rorir-bench: %g s per phase after a warm-up second, %ld cores%s%s\n", seconds,
                 sysconf(_SC_NPROCESSORS_ONLN), gCheck ? "; checking that every phase runs" : "",
                 monitor ? "; link monitor open" : "");
    ok = RunPhases(only, seconds, tool.link);
    CloseCom(com);
    CloseCVIRTE();
  }
  const std::string cleanup = "rm -rf '" + tool.dataDir + "'";
  if (std::system(cleanup.c_str()) != 0) ok = false;
  if (!ok) return 1;
  if (gCheck) {
    std::printf("rorir-bench --check: every phase ran\n");
    return 0;
  }
  Row("peak resident memory", "target <= 80 MB", Format("%.0f MB", PeakResidentMegabytes()));
  std::printf("| measurement | bound or target | result |\n|---|---|---|\n");
  for (const std::string& row : gRows) std::printf("%s\n", row.c_str());
  return 0;
}
