// rorir-probe: the sensor link from the command line. It identifies the sensor, reads its
// parameter set, writes one from a parameter file and checks it by reading it back, or prints
// result frames, through the same link calls the desktop program uses, with no window.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/com232_hooks.h"
#include "link/com232_paraset.h"
#include "platform/serial/rs232.h"
#include "platform/sys/events.h"
#include "platform/sys/utility.h"
#include "state/globals.h"

namespace {

constexpr int EXIT_DONE = 0;
constexpr int EXIT_NO_ANSWER = 1;
constexpr int EXIT_BAD_INPUT = 2;
constexpr int EXIT_NO_PORT = 3;

// The probe always speaks on COM1, which the serial layer resolves to the device named here.
constexpr int PROBE_PORT = 1;
constexpr const char* PROBE_PORT_VARIABLE = "RORIR_COM1";
// The link's text for a read-back that was answered.
constexpr const char* PARAMETER_FRAME_RECEIVED = "Parameter-frame received! - Line Ok!";
// A sensor may still be busy taking a written set when the read-back request arrives; the
// identification pauses as long between its steps.
constexpr double WRITE_PAUSE = 0.1;
constexpr long MAX_FRAMES = 1000000;

constexpr const char* kUsage =
    "usage: rorir-probe --port PATH [--verbose] COMMAND\n"
    "\n"
    "Commands:\n"
    "  identify                 print the sensor's type, pixel count, sub-pixel range and\n"
    "                           factor, and firmware text\n"
    "  get ram|eeprom [--json]  print the sixteen settings, name<TAB>value a line\n"
    "                           (--json: one JSON object)\n"
    "  send ram|eeprom FILE     write the parameter file's set (repaired to the sensor's\n"
    "                           ranges) and check it by reading it back\n"
    "  measure --count N        print N result frames as tab-separated lines\n"
    "\n"
    "Options:\n"
    "  --port PATH   the sensor's serial device (a USB adapter, a pseudo-terminal, the\n"
    "                virtual sensor's link)\n"
    "  --verbose     the link's status texts on standard error\n"
    "  --help, -h    this text\n"
    "\n"
    "Exit status: 0 done; 1 no answer, a time-out or a read-back that differs;\n"
    "2 bad arguments or a bad or unreadable file; 3 the port cannot be opened.\n";

struct Options {
  const char* port = nullptr;
  const char* command = nullptr;
  int target = 0;               // RAM or EEPROM for get and send
  const char* file = nullptr;   // send
  long count = 0;               // measure
  bool json = false;
  bool verbose = false;
};

bool verbose = false;
char lastStatus[TEXT_SIZE] = "";
long framesWanted = 0;
long framesPrinted = 0;

int Fail(int status, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::fputs("rorir-probe: ", stderr);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  va_end(args);
  return status;
}

void OnStatus(const char* text) {
  CopyText(lastStatus, text);
  if (verbose) std::fprintf(stderr, "rorir-probe: %s\n", text);
}

void PrintResultHead() {
  std::puts("Ledge\tRedge\tMvalue\tumValue\ttVal\ttTol\tedcnt\tmvstart\tmvend\tdynpower\t"
            "anaMax\tanaMin\tgapLen\tgapVal\tgapPix");
}

// A result frame is in the result globals. The loop ends once the frames asked for are out:
// stop_flag ends PushRUN after the exchange in progress.
void OnResultFrame() {
  if (framesPrinted >= framesWanted) return;
  std::printf("%u\t%u\t%u\t%lu\t%u\t%u\t%u\t%u\t%u\t%u\t%u\t%u\t%u\t%u\t%u\n", Ledge, Redge,
              Mvalue, static_cast<unsigned long>(umValue), tVal, tTol, edcnt, mvstart, mvend,
              dynpower, anaMax, anaMin, gapLen, gapVal, gapPix);
  std::fflush(stdout);
  if (++framesPrinted >= framesWanted) stop_flag = 1;
}

int ParseTarget(const char* word) {
  if (std::strcmp(word, "ram") == 0) return RAM;
  if (std::strcmp(word, "eeprom") == 0) return EEPROM;
  return 0;
}

// Returns the exit status for bad arguments, or -1 when they make a command (or --help, 0).
int ParseArguments(int argc, char** argv, Options* o) {
  const char* words[3] = {};
  int wordCount = 0;
  bool countGiven = false;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      std::fputs(kUsage, stdout);
      return EXIT_DONE;
    }
    if (std::strcmp(a, "--port") == 0 || std::strcmp(a, "--count") == 0) {
      if (i + 1 >= argc) return Fail(EXIT_BAD_INPUT, "%s needs a value (see --help)", a);
      const char* value = argv[++i];
      if (a[2] == 'p') {
        o->port = value;
        continue;
      }
      char* end = nullptr;
      o->count = std::strtol(value, &end, 10);
      if (*value == '\0' || *end != '\0' || o->count < 1 || o->count > MAX_FRAMES)
        return Fail(EXIT_BAD_INPUT, "--count wants a whole number from 1 to %ld, not '%s'",
                    MAX_FRAMES, value);
      countGiven = true;
    } else if (std::strcmp(a, "--json") == 0) {
      o->json = true;
    } else if (std::strcmp(a, "--verbose") == 0) {
      o->verbose = true;
    } else if (a[0] == '-') {
      return Fail(EXIT_BAD_INPUT, "unknown option %s (see --help)", a);
    } else if (wordCount == 3) {
      return Fail(EXIT_BAD_INPUT, "too many arguments at '%s' (see --help)", a);
    } else {
      words[wordCount++] = a;
    }
  }
  if (o->port == nullptr || o->port[0] == '\0')
    return Fail(EXIT_BAD_INPUT, "--port PATH is missing (see --help)");
  if (wordCount == 0) return Fail(EXIT_BAD_INPUT, "no command given (see --help)");
  o->command = words[0];
  const bool get = std::strcmp(o->command, "get") == 0;
  const bool send = std::strcmp(o->command, "send") == 0;
  const bool measure = std::strcmp(o->command, "measure") == 0;
  const bool identify = std::strcmp(o->command, "identify") == 0;
  if (!get && !send && !measure && !identify)
    return Fail(EXIT_BAD_INPUT, "unknown command '%s' (see --help)", o->command);
  const int wanted = get ? 2 : send ? 3 : 1;
  if (wordCount != wanted)
    return Fail(EXIT_BAD_INPUT, "'%s' takes %d argument%s (see --help)", o->command, wanted - 1,
                wanted == 2 ? "" : "s");
  if (get || send) {
    o->target = ParseTarget(words[1]);
    if (o->target == 0) return Fail(EXIT_BAD_INPUT, "the target is ram or eeprom, not '%s'", words[1]);
  }
  if (send) o->file = words[2];
  if (o->json && !get) return Fail(EXIT_BAD_INPUT, "--json belongs to 'get' only");
  if (countGiven != measure)
    return Fail(EXIT_BAD_INPUT, measure ? "'measure' needs --count N" : "--count belongs to 'measure' only");
  return -1;
}

// Reads the parameter file into `words` (low 16 bits of each number, as the panel takes them).
int ReadWords(const char* path, u16 words[PNUM]) {
  u32 values[PNUM];
  const int read = ReadParameterFile(path, values);
  if (read == PARA_FILE_UNREADABLE) return Fail(EXIT_BAD_INPUT, "cannot read the parameter file %s", path);
  if (read != PARA_FILE_READ)
    return Fail(EXIT_BAD_INPUT, "%s is not a parameter file (sixteen unsigned numbers)", path);
  for (int i = 0; i < PNUM; ++i) words[i] = static_cast<u16>(values[i] & 0xFFFFu);
  return EXIT_DONE;
}

// Reads the target's set into the settings; false when the sensor did not answer.
bool ReadSet(int target) {
  lastStatus[0] = '\0';
  PushGET(target);
  return std::strcmp(lastStatus, PARAMETER_FRAME_RECEIVED) == 0;
}

int Identify() {
  // The firmware text was read whole exactly when the identification's last block read took
  // its 72 bytes; the status then holds the decoded text.
  if (nBytesR != FIRMWARE_TEXT_SIZE)
    return Fail(EXIT_NO_ANSWER, "the sensor did not send its firmware text (%s)", szStatus);
  std::printf("type\t%u\npixels\t%u\nsubpixels\t%u\nsubpixel-factor\t%d\nfirmware\t%s\n",
              ccdtype, ccdmaxpixel, ccdsubpixel, static_cast<int>(xArray8[1]), szStatus);
  return EXIT_DONE;
}

int Get(const Options& o) {
  if (!ReadSet(o.target)) return Fail(EXIT_NO_ANSWER, "no parameter set from the sensor (%s)", lastStatus);
  CopyVarsToPP();
  if (o.json) {
    std::fputc('{', stdout);
    for (int i = 0; i < PNUM; ++i) std::printf("%s\"%s\": %u", i ? ", " : "", kSettings[i].key, pp[i]);
    std::puts("}");
  } else {
    for (int i = 0; i < PNUM; ++i) std::printf("%s\t%u\n", kSettings[i].key, pp[i]);
  }
  return EXIT_DONE;
}

int Send(const Options& o, const u16 fileWords[PNUM]) {
  // The repair depends on the geometry the identification found.
  for (int i = 0; i < PNUM; ++i) pp[i] = fileWords[i];
  CopyPPtoVars();
  RepairSettings();
  u16 sent[PNUM];
  CopyVarsToPP();
  for (int i = 0; i < PNUM; ++i) {
    sent[i] = pp[i];
    if (sent[i] != fileWords[i])
      std::fprintf(stderr, "%s: %u -> %u\n", kSettings[i].key, fileWords[i], sent[i]);
  }
  const int written = SendParameterSet(o.target, sent);
  if (written != FRAME_SIZE)
    return Fail(EXIT_NO_ANSWER, "the parameter set did not go out (%s)",
                written < 0 ? ComOpenErrorText(written) : "short write");
  Delay(WRITE_PAUSE);
  if (!ReadSet(o.target))
    return Fail(EXIT_NO_ANSWER, "no read-back of the written set (%s)", lastStatus);
  CopyVarsToPP();
  char differ[PNUM * 40] = "";
  for (int i = 0; i < PNUM; ++i) {
    if (pp[i] == sent[i]) continue;
    char one[40];
    std::snprintf(one, sizeof one, "%s%s sent %u read %u", differ[0] ? ", " : "", kSettings[i].key,
                  sent[i], pp[i]);
    AppendText(differ, one);
  }
  if (differ[0] != '\0') return Fail(EXIT_NO_ANSWER, "the read-back differs: %s", differ);
  return EXIT_DONE;
}

int Measure(const Options& o) {
  framesWanted = o.count;
  PrintResultHead();
  std::fflush(stdout);
  PushRUN();
  if (framesPrinted < framesWanted)
    return Fail(EXIT_NO_ANSWER, "the sensor stopped answering after %ld of %ld result frames (%s)",
                framesPrinted, framesWanted, lastStatus);
  return EXIT_DONE;
}

int RunCommand(const Options& o, const u16 fileWords[PNUM]) {
  InitRS232(com);
  if (!ComPortUsable(com)) return Fail(EXIT_NO_PORT, "cannot open %s: %s", o.port, szStatus);
  if (!sensorIdentified) return Fail(EXIT_NO_ANSWER, "no answer from the sensor on %s (%s)", o.port, szStatus);
  if (std::strcmp(o.command, "identify") == 0) return Identify();
  if (std::strcmp(o.command, "get") == 0) return Get(o);
  if (std::strcmp(o.command, "send") == 0) return Send(o, fileWords);
  return Measure(o);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  const int parsed = ParseArguments(argc, argv, &o);
  if (parsed >= 0) return parsed;
  verbose = o.verbose;
  // A bad file is refused before the line is touched.
  u16 fileWords[PNUM] = {};
  if (o.file != nullptr) {
    const int read = ReadWords(o.file, fileWords);
    if (read != EXIT_DONE) return read;
  }
  if (setenv(PROBE_PORT_VARIABLE, o.port, 1) != 0) return Fail(EXIT_BAD_INPUT, "cannot use the port path %s", o.port);
  com = PROBE_PORT;
  if (!InitEventLoop(argc, argv)) return Fail(EXIT_NO_ANSWER, "no event loop could be set up");
  LinkHooks hooks;
  hooks.status = OnStatus;
  hooks.resultFrame = OnResultFrame;
  InstallLinkHooks(hooks);
  const int status = RunCommand(o, fileWords);
  CloseCom(com);
  CloseEventLoop();
  return status;
}
