// rorir-gateway: the sensor on a line without a screen. It opens and identifies the sensor,
// optionally writes a parameter file to its RAM, runs the measurement cycle without end through
// the same link calls the desktop program uses, and publishes each result to the plant's MQTT
// broker. A lost sensor is reopened, a lost broker reconnected; SIGTERM stops it cleanly.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>

#include "display/gauge_stats.h"
#include "gateway_options.h"
#include "gateway_payload.h"
#include "gateway_record.h"
#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/com232_hooks.h"
#include "link/com232_owner.h"
#include "link/com232_paraset.h"
#include "platform/mqtt/mqtt_client.h"
#include "platform/serial/rs232.h"
#include "platform/sys/events.h"
#include "platform/sys/utility.h"
#include "state/globals.h"

namespace {

constexpr int EXIT_STOPPED = 0;
constexpr int EXIT_READBACK = 1;
constexpr int EXIT_BAD_INPUT = 2;

// The gateway speaks on COM1, which the serial layer resolves to the device named here.
constexpr int GATEWAY_PORT = 1;
constexpr const char* GATEWAY_PORT_VARIABLE = "RORIR_COM1";
// Between two attempts to reopen a lost sensor.
constexpr double REOPEN_PAUSE = 1.0;
// A written set may still be being taken when the read-back request arrives.
constexpr double WRITE_PAUSE = 0.1;
// What a clean stop may spend delivering the queue and the status `offline`, so that the whole
// stop stays within a second.
constexpr double STOP_DELIVERY = 0.4;

gateway::Options gOpt;
mqtt::Client* gClient = nullptr;
std::string gTopicResult, gTopicStatus, gTopicIdentity;
std::string gDevice;        // the device path in use
std::string gAdapterName;   // what the kernel calls it ("" for a plain serial port)
std::string gStatus;        // the status last published
bool gStopping = false;
long long gSeq = 0;
u16 gFileWords[PNUM] = {};
bool gReadbackFailed = false;
gauge::Verdict gVerdict = gauge::Verdict::NotJudged;

gateway::Aggregate gAggregate;
double gAggregateStart = 0;

std::mutex gLogLock;

void Log(const std::string& line) {
  std::lock_guard<std::mutex> guard(gLogLock);
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int Refuse(const std::string& why) {
  std::fprintf(stderr, "rorir-gateway: %s\n", why.c_str());
  return EXIT_BAD_INPUT;
}

bool ReadWholeFile(const std::string& path, std::string* text) {
  static char buf[64 * 1024];
  size_t count = 0;
  if (ReadFileBytes(path.c_str(), buf, sizeof buf, &count) != 0) return false;
  text->assign(buf, count);
  return true;
}

void SetStatus(const char* status) {
  if (gStatus == status) return;
  gStatus = status;
  gClient->setRetained(gTopicStatus, status);
}

// ---- the link's reports ----

void OnLinkStatus(const char* text) {
  if (gOpt.verbose) Log(std::string("link: ") + text);
}

void PublishAggregate() {
  if (gAggregate.n == 0) return;
  gClient->publish(gTopicResult, gateway::AggregateJson(++gSeq, WallClockMs(), gOpt.aggregateMs, gAggregate));
  gAggregate = {};
}

void OnResultFrame() {
  const long long now = WallClockMs();
  const gauge::Limits limits = gauge::BandLimits(eMode, eHardware, tVal, tTol, ccdsubpixel);
  gVerdict = gauge::Judge(Mvalue, limits, eMode, edcnt);
  if (gOpt.aggregateMs > 0) {
    const double t = Timer();
    if (gAggregate.n == 0) gAggregateStart = t;
    if (!limits.valid || gVerdict != gauge::Verdict::NotJudged)
      gateway::AddToAggregate(gAggregate, Mvalue, gVerdict == gauge::Verdict::Nok);
    if ((t - gAggregateStart) * 1000.0 >= gOpt.aggregateMs) PublishAggregate();
  } else {
    const std::uint64_t before = gClient->counters().dropped;
    gClient->publish(gTopicResult, gateway::ResultJson(++gSeq, now, gVerdict));
    const std::uint64_t dropped = gClient->counters().dropped;
    // The first result lost to the full queue is told at once, then every thousandth.
    if (dropped > before && (dropped == 1 || dropped % 1000 == 0))
      Log("queue full: " + std::to_string(dropped) + " oldest results dropped so far");
  }
  if (!gOpt.recordDir.empty()) gateway::RecordResult(gOpt, Timer(), now / 1000, Log);
}

// ---- the stop ----

void OnStopSignal(int signal) {
  if (gStopping) return;
  gStopping = true;
  Log(std::string("stopping on ") + (signal == 15 ? "SIGTERM" : signal == 2 ? "SIGINT" : "a signal"));
  // Closing the port ends the exchange that waits at once (the link abandons a closed port).
  stop_flag = 1;
  CloseCom(com);
}

// ---- the sensor ----

// The device to open now: the path given, or wherever the adapter with the serial number is.
bool FindDevice() {
  if (!gOpt.port.empty()) {
    gDevice = gOpt.port;
    gAdapterName.clear();
    ComPortEntry entries[32];
    const int n = ListComPorts(entries, 32);
    for (int i = 0; i < n; ++i)
      if (gDevice == entries[i].device) gAdapterName = entries[i].name;
    return true;
  }
  char device[256], name[128];
  if (FindComAdapter(gOpt.adapter.c_str(), device, sizeof device, name, sizeof name) != 0) return false;
  gDevice = device;
  gAdapterName = name;
  return true;
}

bool ReadParameters(const std::string& path, std::string* why) {
  u32 values[PNUM];
  const int read = ReadParameterFile(path.c_str(), values);
  if (read != PARA_FILE_READ) {
    *why = read == PARA_FILE_UNREADABLE ? "cannot read the parameter file " + path + " (--parameters)"
                                        : path + " is not a parameter file (sixteen unsigned numbers)";
    return false;
  }
  for (int i = 0; i < PNUM; ++i) gFileWords[i] = static_cast<u16>(values[i] & 0xFFFFu);
  return true;
}

// Writes the parameter file's set (repaired to this sensor's ranges) to RAM and reads it back.
// False when the read-back differs or did not come; `*lost` when the sensor stopped answering.
bool WriteParameters(bool* lost) {
  *lost = false;
  for (int i = 0; i < PNUM; ++i) pp[i] = gFileWords[i];
  CopyPPtoVars();
  RepairSettings();
  CopyVarsToPP();
  u16 sent[PNUM];
  std::memcpy(sent, pp, sizeof sent);
  for (int i = 0; i < PNUM; ++i)
    if (sent[i] != gFileWords[i])
      Log(std::string("parameters: ") + kSettings[i].key + " " + std::to_string(gFileWords[i]) + " -> " +
          std::to_string(sent[i]) + " (repaired to the sensor's range)");
  if (SendParameterSet(RAM, sent) != FRAME_SIZE) {
    *lost = true;
    return false;
  }
  Delay(WRITE_PAUSE);
  u16 back[PNUM];
  if (ReadParameterSet(RAM, back) != EXCHANGE_ANSWERED) {
    *lost = true;
    return false;
  }
  std::string differ;
  for (int i = 0; i < PNUM; ++i)
    if (back[i] != sent[i])
      differ += std::string(differ.empty() ? "" : ", ") + kSettings[i].key + " sent " + std::to_string(sent[i]) +
                " read " + std::to_string(back[i]);
  if (!differ.empty()) {
    Log("parameters: the read-back differs: " + differ);
    return false;
  }
  for (int i = 0; i < PNUM; ++i) pp[i] = back[i];
  CopyPPtoVars();
  Log("parameters: written to RAM and read back");
  return true;
}

// Opens and identifies the sensor. True when it answered and is ready for the cycle.
bool OpenSensor() {
  if (!FindDevice()) return false;
  if (setenv(GATEWAY_PORT_VARIABLE, gDevice.c_str(), 1) != 0) return false;
  com = GATEWAY_PORT;
  InitRS232(com);
  if (gStopping) return false;
  if (!ComPortUsable(com) || sensorIdentified == 0) {
    CloseCom(com);
    return false;
  }
  if (!gOpt.parameters.empty()) {
    bool lost = false;
    if (!WriteParameters(&lost)) {
      CloseCom(com);
      if (!lost) gReadbackFailed = true;
      return false;
    }
  }
  return true;
}

void PauseBeforeReopen() {
  const double until = Timer() + REOPEN_PAUSE;
  while (!gStopping && Timer() < until) ProcessSystemEventsUntil(until);
}

void RunLine() {
  bool announcedLost = false;
  while (!gStopping) {
    if (!OpenSensor()) {
      if (gStopping || gReadbackFailed) return;
      if (!announcedLost) {
        Log("sensor lost: no answer on " + (gDevice.empty() ? "adapter " + gOpt.adapter : gDevice) + " (" +
            szStatus + "); trying again every second");
        announcedLost = true;
      }
      SetStatus("lost");
      PauseBeforeReopen();
      continue;
    }
    announcedLost = false;
    Log("sensor online: " + gDevice + (gAdapterName.empty() ? "" : " (" + gAdapterName + ")") + ", type " +
        std::to_string(ccdtype) + ", " + std::to_string(ccdmaxpixel) + " pixels, firmware '" + szFirmware + "'");
    gClient->setRetained(gTopicIdentity, gateway::IdentityJson(gAdapterName, gDevice));
    SetStatus("online");
    PushRUN();
    if (gOpt.aggregateMs > 0) PublishAggregate();
    if (gStopping) return;
    Log(std::string("sensor stopped answering (") + (ComPortLost(com) ? "its device went away" : "time-out") +
        "): reopening it");
    CloseCom(com);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string why = gateway::ParseOptions(argc, argv, ReadWholeFile, &gOpt);
  if (!why.empty()) return Refuse(why);
  if (gOpt.help) {
    std::fputs(gateway::kUsage, stdout);
    return EXIT_STOPPED;
  }
  // Every file is checked before the line or the broker is touched.
  std::string text;
  for (const auto& [file, option] : {std::pair{gOpt.cafile, "--cafile"}, {gOpt.certfile, "--certfile"},
                                     {gOpt.keyfile, "--keyfile"}})
    if (!file.empty() && !ReadWholeFile(file, &text))
      return Refuse("cannot read the TLS file " + file + " (" + option + ")");
  std::string password;
  if (!gOpt.passwordFile.empty()) {
    if (!ReadWholeFile(gOpt.passwordFile, &password))
      return Refuse("cannot read the password file " + gOpt.passwordFile + " (--password-file)");
    password = password.substr(0, password.find_first_of("\r\n"));
  }
  if (!gOpt.parameters.empty()) {
    std::string problem;
    if (!ReadParameters(gOpt.parameters, &problem)) return Refuse(problem);
  }
  if (!gOpt.recordDir.empty()) {
    std::error_code error;
    if (!std::filesystem::is_directory(gOpt.recordDir, error))
      return Refuse("the recording folder " + gOpt.recordDir + " does not exist (--record)");
    if (gOpt.recordDir.size() + gOpt.id.size() + 32 >= PATH_SIZE)
      return Refuse("the recording folder's path is too long (--record)");
  }

  const std::string base = gOpt.prefix + "/" + gOpt.id + "/";
  gTopicResult = base + "result";
  gTopicStatus = base + "status";
  gTopicIdentity = base + "identity";

  mqtt::Settings settings;
  settings.host = gOpt.host;
  settings.port = gOpt.brokerPort;
  settings.tls = gOpt.tls;
  settings.clientId = gOpt.clientId;
  settings.cafile = gOpt.cafile;
  settings.certfile = gOpt.certfile;
  settings.keyfile = gOpt.keyfile;
  settings.user = gOpt.user;
  settings.password = password;
  settings.qos = gOpt.qos;
  settings.queueCapacity = static_cast<std::size_t>(gateway::QueueCapacity(gOpt));
  settings.willTopic = gTopicStatus;
  settings.willPayload = "offline";
  mqtt::Client client(settings, Log);
  gClient = &client;

  if (!InitEventLoop(argc, argv)) return Refuse("no event loop could be set up");
  WatchStopSignals(OnStopSignal);
  std::string problem;
  if (!client.start(&problem)) return Refuse(problem);
  Log("rorir-gateway " + std::string(gOpt.port.empty() ? "adapter " + gOpt.adapter : gOpt.port) + " -> " +
      gOpt.brokerUrl + " as " + base + "*, QoS " + std::to_string(gOpt.qos) + ", queue of " +
      std::to_string(settings.queueCapacity) + (gOpt.aggregateMs > 0 ? " aggregates" : " results"));

  LinkHooks hooks;
  hooks.status = OnLinkStatus;
  hooks.resultFrame = OnResultFrame;
  InstallLinkHooks(hooks);

  RunLine();

  CloseCom(com);
  if (!gOpt.recordDir.empty()) gateway::EndRecording();
  SetStatus("offline");
  const std::uint64_t undelivered = client.stop(STOP_DELIVERY);
  const mqtt::Counters done = client.counters();
  Log("stopped: " + std::to_string(gSeq) + (gOpt.aggregateMs > 0 ? " aggregates" : " results") + " taken, " +
      std::to_string(done.delivered) + " delivered, " + std::to_string(done.dropped) + " dropped from the full queue, " +
      std::to_string(undelivered) + " not delivered");
  WatchStopSignals(nullptr);
  CloseEventLoop();
  return gReadbackFailed ? EXIT_READBACK : EXIT_STOPPED;
}
