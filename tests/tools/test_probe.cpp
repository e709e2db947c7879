// rorir-probe run as a child process against the virtual sensor on a pseudo-terminal, the way a
// script on the command line runs it: its exit status, its standard output and its one line on
// standard error.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sensor/profiles.h"
#include "sensor/pty_server.h"

namespace {

using namespace rorir::sensor;

// Far beyond what any command takes (a silent sensor costs one 1.5 s time-out), so only a hang
// reaches it.
constexpr auto kChildLimit = std::chrono::seconds(30);
constexpr int kKilled = -1;

struct ChildRun {
  int status = kKilled;  // exit status, kKilled when the limit ended it
  std::string out, err;
};

ChildRun RunChild(std::vector<std::string> argv) {
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(outPipe[1], STDOUT_FILENO);
    dup2(errPipe[1], STDERR_FILENO);
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  ChildRun run;
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  const auto deadline = std::chrono::steady_clock::now() + kChildLimit;
  int open = 2;
  while (open > 0 && std::chrono::steady_clock::now() < deadline) {
    if (poll(fds, 2, 100) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buf[4096];
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (pollfd& f : fds)
    if (f.fd >= 0) close(f.fd);
  if (open > 0) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  if (open == 0 && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}

const char* const kNames[16] = {"power", "tolMode", "vThd",  "anaMode",   "polarity", "eMode",
                                "eBeg",  "eEnd",    "tVal",  "tTol",      "opMode",   "eHardware",
                                "slope", "intersect", "average", "powMode"};

std::string SettingLines(const Words& w) {
  std::string text;
  for (size_t i = 0; i < 16; ++i) text += std::string(kNames[i]) + "\t" + std::to_string(w[i]) + "\n";
  return text;
}

std::string FileText(const Words& w) {
  std::string text;
  for (std::uint16_t v : w) text += std::to_string(v) + "\r\n";
  return text;
}

// Differs from the sensor's start set in every word a panel would change.
constexpr Words kGoodSet = {700, 1, 400, 2, 0, 3, 10, 900, 300, 40, 1, 2, 2048, 20000, 8, 1};
Words WithEEnd(Words w, std::uint16_t eEnd) {
  w[7] = eEnd;
  return w;
}

struct Row {
  const char* name;
  std::vector<std::string> args;  // "@PORT" and "@FILE" are replaced
  std::string file;               // written to @FILE
  bool silent;
  int status;
  std::string out;                // expected standard output; "*" for the measure check
  std::string err;                // must appear on standard error
  std::string ramAfter;           // when set, `get ram` then prints exactly this
};

TEST(ProbeTest, CommandsAgainstTheVirtualSensorEndWithTheirExitStatusAndOutput) {
  char dirTemplate[] = "/tmp/rorir-probe-test-XXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  const std::string dir = dirTemplate, file = dir + "/set.par";
  const Profile& p = defaultProfile();
  const std::string identity = "type\t" + std::to_string(p.ccdType) + "\npixels\t" +
                               std::to_string(p.pixels) + "\nsubpixels\t" + std::to_string(p.subpixel) +
                               "\nsubpixel-factor\t4\nfirmware\t" + std::string(p.firmwareText) + "\n";
  const Words start = defaultSettings(p);
  std::string json = "{";
  for (size_t i = 0; i < 16; ++i)
    json += std::string(i ? ", " : "") + "\"" + kNames[i] + "\": " + std::to_string(start[i]);
  json += "}\n";

  const Row rows[] = {
      {"identify", {"identify"}, "", false, 0, identity, "", ""},
      {"get ram", {"get", "ram"}, "", false, 0, SettingLines(start), "", ""},
      {"get eeprom json", {"get", "eeprom", "--json"}, "", false, 0, json, "", ""},
      {"send ram good", {"send", "ram", "@FILE"}, FileText(kGoodSet), false, 0, "", "",
       SettingLines(kGoodSet)},
      {"send eeprom repaired", {"send", "eeprom", "@FILE"}, FileText(WithEEnd(kGoodSet, 9999)), false,
       0, "", "eEnd: 9999 -> 1024\n", ""},
      {"bad file", {"send", "ram", "@FILE"}, "1\n2\nthree\n", false, 2, "", "rorir-probe: ", ""},
      {"missing file", {"send", "ram", "@DIR/none.par"}, "", false, 2, "", "rorir-probe: ", ""},
      {"bad arguments", {"get", "flash"}, "", false, 2, "", "rorir-probe: ", ""},
      {"no count", {"measure"}, "", false, 2, "", "rorir-probe: ", ""},
      {"no such port", {"identify"}, "", false, 3, "", "rorir-probe: cannot open ", ""},
      {"silent sensor", {"get", "ram"}, "", true, 1, "", "rorir-probe: no answer", ""},
      {"measure", {"measure", "--count", "3"}, "", false, 0, "*", "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ServerConfig config;
    config.baud = 0;
    config.model.faults.silent = row.silent;
    PtyServer sensor(config);
    std::string error;
    ASSERT_TRUE(sensor.start(&error)) << error;
    const std::string port = row.status == 3 ? dir + "/no-such-device" : sensor.slavePath();
    if (!row.file.empty()) std::ofstream(file, std::ios::binary) << row.file;
    std::vector<std::string> argv = {RORIR_PROBE_BIN, "--port", port};
    for (std::string a : row.args) {
      if (a == "@FILE") a = file;
      if (a.rfind("@DIR", 0) == 0) a = dir + a.substr(4);
      argv.push_back(a);
    }
    const ChildRun run = RunChild(argv);
    EXPECT_EQ(run.status, row.status) << run.err;
    if (row.out == "*") {
      std::istringstream lines(run.out);
      std::string line;
      ASSERT_TRUE(std::getline(lines, line));
      EXPECT_EQ(line.rfind("Ledge\tRedge\tMvalue\t", 0), 0u) << line;
      int frames = 0;
      // Every frame of the two shadow edges: a left edge before the right one, both on the line.
      while (std::getline(lines, line)) {
        ++frames;
        unsigned left = 0, right = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%u\t%u\t", &left, &right), 2) << line;
        EXPECT_LT(left, right) << line;
        EXPECT_LE(right, p.subpixel) << line;
      }
      EXPECT_EQ(frames, 3);
    } else {
      EXPECT_EQ(run.out, row.out);
    }
    if (row.status != 0) {
      EXPECT_EQ(run.err.rfind(row.err, 0), 0u) << run.err;
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    } else if (!row.err.empty()) {
      EXPECT_NE(run.err.find(row.err), std::string::npos) << run.err;
    }
    if (!row.ramAfter.empty()) {
      const ChildRun get = RunChild({RORIR_PROBE_BIN, "--port", sensor.slavePath(), "get", "ram"});
      EXPECT_EQ(get.status, 0) << get.err;
      EXPECT_EQ(get.out, row.ramAfter);
    }
  }
  unlink(file.c_str());
  rmdir(dir.c_str());
}

TEST(ProbeTest, LinksNoWindowLibraries) {
  const ChildRun run = RunChild({"/usr/bin/ldd", RORIR_PROBE_BIN});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("libQt6Core"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("libQt6Gui"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("libQt6Widgets"), std::string::npos) << run.out;
}

}  // namespace
