// End to end over a real pseudo-terminal: the in-process server and the executable.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "sensor/options.h"
#include "sensor/pty_server.h"
#include "sensor_test_util.h"
#include "support/child_process.h"

namespace rorir::sensor::test {
namespace {

namespace fs = std::filesystem;

// A fresh directory per test, since ctest runs tests side by side.
struct TempDir {
  TempDir() {
    char pattern[] = "/tmp/rorir-sensor-test-XXXXXX";
    path = mkdtemp(pattern);
  }
  ~TempDir() { fs::remove_all(path); }
  fs::path path;
};

// The program's side of the line: raw 19200 8N1, as the serial services open it.
class Client {
 public:
  explicit Client(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) return;
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    tcsetattr(fd_, TCSANOW, &t);
    tcflush(fd_, TCIOFLUSH);
  }
  ~Client() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

  void send(const Bytes& b) { ASSERT_EQ(write(fd_, b.data(), b.size()), ssize_t(b.size())); }

  // Reads until `count` bytes came or nothing came for `quiet`; `hungUp` tells a closed line.
  // `reads`, when given, gets the size of each read.
  Bytes receive(std::size_t count, std::chrono::milliseconds quiet = 3000ms,
                std::vector<std::size_t>* reads = nullptr) {
    Bytes out;
    while (out.size() < count) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(quiet.count())) <= 0) break;
      if (!(p.revents & POLLIN)) {
        hungUp = (p.revents & (POLLHUP | POLLERR)) != 0;
        break;
      }
      std::uint8_t buf[512];
      ssize_t n = read(fd_, buf, std::min(sizeof buf, count - out.size()));
      if (n <= 0) {
        hungUp = n == 0 || errno != EAGAIN;  // a raw, non-blocking tty reads 0 only once hung up
        break;
      }
      out.insert(out.end(), buf, buf + n);
      if (reads) reads->push_back(static_cast<std::size_t>(n));
    }
    return out;
  }

  Bytes exchange(const Bytes& req, std::size_t count) {
    send(req);
    return receive(count);
  }

  bool hungUp = false;

 private:
  int fd_ = -1;
};

// The orders the program sends at start-up and in one video pass, checked for form and content.
void talkLikeTheProgram(Client& c, const Profile& p) {
  Bytes echo = c.exchange(request(5), 36);
  ASSERT_EQ(echo.size(), 36u);
  EXPECT_EQ(hex(Bytes(echo.begin(), echo.begin() + 4)), "00 AA 00 05");

  Bytes hw = c.exchange(request(10), 36);
  ASSERT_EQ(hw.size(), 36u);
  EXPECT_EQ(orderOf(hw), 10u);
  EXPECT_EQ(word(hw, 0), p.ccdType);
  EXPECT_EQ(word(hw, 5), p.subpixel);

  Bytes ram = c.exchange(request(2), 36);
  ASSERT_EQ(ram.size(), 36u);
  for (std::size_t i = 0; i < kWords; ++i) EXPECT_EQ(word(ram, i), defaultSettings(p)[i]) << i;

  EXPECT_EQ(c.exchange(request(7), 72), firmwareAnswer(p));

  Bytes result = c.exchange(request(8), 36);
  ASSERT_EQ(result.size(), 36u);
  EXPECT_EQ(orderOf(result), 8u);
  Video v{};
  for (std::uint16_t first : {0, 64, 128, 192}) {
    Bytes block = c.exchange(blockRequest(first, first == 192), 128);
    ASSERT_EQ(block.size(), 128u) << "block " << first;
    for (std::size_t i = 0; i < kBlockWords; ++i) v[first + i] = wordAt(block, i);
  }
  // The video that came over the line gives the results that came over the line.
  const Words got = evaluate(v, defaultSettings(p), p, word(result, 10)).results.toWords();
  for (std::size_t i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 14, 15}) EXPECT_EQ(word(result, i), got[i]) << i;
  EXPECT_TRUE(c.receive(1, 100ms).empty()) << "nothing more than asked for";
}

class SensorPtyAtBaud : public ::testing::TestWithParam<unsigned> {};

TEST_P(SensorPtyAtBaud, AnswersTheStartupAndVideoOrders) {
  TempDir dir;
  ServerConfig config;
  config.model.profile = findProfile("t2-350");
  config.baud = GetParam();
  config.linkPath = dir.path / "sensor";
  PtyServer server(config);
  std::string error;
  ASSERT_TRUE(server.start(&error)) << error;
  EXPECT_EQ(fs::read_symlink(config.linkPath), server.slavePath());
  {
    Client c(config.linkPath);
    ASSERT_TRUE(c.ok());
    talkLikeTheProgram(c, *config.model.profile);
  }
  EXPECT_EQ(server.counters().requests, 9u);
  server.stop();
  EXPECT_FALSE(fs::exists(fs::symlink_status(config.linkPath)));
}

INSTANTIATE_TEST_SUITE_P(Unpaced, SensorPtyAtBaud, ::testing::Values(0u));
INSTANTIATE_TEST_SUITE_P(Paced, SensorPtyAtBaud, ::testing::Values(19200u));

TEST(SensorPty, ThroughAnAdapterAnswersComeInItsBursts) {
  ServerConfig config;
  config.baud = 19200;
  config.adapter = {16ms, 62};
  PtyServer server(config);
  std::string error;
  ASSERT_TRUE(server.start(&error)) << error;
  Client c(server.slavePath());
  ASSERT_TRUE(c.ok());
  talkLikeTheProgram(c, defaultProfile());

  // A result frame leaves the adapter as 31 bytes when the timer of its first byte runs out and
  // 5 bytes a timer later; each burst is written whole, so a read never splits one (a reader
  // that was held up may find both at once).
  c.send(request(8));
  std::vector<std::size_t> reads;
  EXPECT_EQ(c.receive(36, 3000ms, &reads).size(), 36u);
  EXPECT_TRUE(reads == std::vector<std::size_t>({31, 5}) || reads == std::vector<std::size_t>({36}))
      << ::testing::PrintToString(reads);
}

TEST(SensorPty, ClientMayCloseAndReopenAndGarbageIsForgotten) {
  ServerConfig config;
  config.baud = 0;
  PtyServer server(config);
  ASSERT_TRUE(server.start());
  EXPECT_TRUE(server.linkPath().empty());
  {
    Client c(server.slavePath());
    EXPECT_EQ(c.exchange(request(5), 36).size(), 36u);
  }
  Client c(server.slavePath());
  c.send(Bytes{0x13, 0x37, 0x00, 0x55, 0x00, 0x05, 0xFF});  // a burst of noise on the line
  EXPECT_TRUE(c.receive(36, 200ms).empty());
  Bytes echo = c.exchange(request(5), 36);
  ASSERT_EQ(echo.size(), 36u);
  EXPECT_EQ(hex(Bytes(echo.begin(), echo.begin() + 4)), "00 AA 00 05");
  EXPECT_EQ(server.counters().shortRequests, 1u);
}

TEST(SensorPty, LinkPathHandling) {
  TempDir dir;
  const fs::path file = dir.path / "taken";
  { std::ofstream(file) << "not a link"; }
  ServerConfig config;
  config.linkPath = file;
  PtyServer refused(config);
  std::string error;
  EXPECT_FALSE(refused.start(&error));
  EXPECT_NE(error.find("not a symbolic link"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_regular_file(file));

  // A link left behind by a sensor that was killed is replaced.
  const fs::path stale = dir.path / "stale";
  fs::create_symlink("/dev/pts/no-such", stale);
  config.linkPath = stale;
  PtyServer server(config);
  ASSERT_TRUE(server.start(&error)) << error;
  EXPECT_EQ(fs::read_symlink(stale), server.slavePath());
}

TEST(SensorPty, HangUpFaultClosesTheLine) {
  ServerConfig config;
  config.baud = 0;
  config.model.faults.hangUpAfter = 2;
  PtyServer server(config);
  ASSERT_TRUE(server.start());
  Client c(server.slavePath());
  EXPECT_EQ(c.exchange(request(5), 36).size(), 36u);
  EXPECT_EQ(c.exchange(request(5), 36).size(), 36u);
  c.send(request(5));
  EXPECT_TRUE(c.receive(36).empty());
  EXPECT_TRUE(c.hungUp);
  for (int i = 0; i < 300 && server.running(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(server.running());
  EXPECT_TRUE(server.hungUp());
}

struct Child {
  pid_t pid = -1;
  int out = -1;  // the child's standard output
};

Child launch(std::vector<std::string> args) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    std::vector<char*> argv{const_cast<char*>(RORIR_SENSOR_EXE)};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  return {pid, pipeFds[0]};
}

// Output and end of a child are awaited for at most this long: far beyond what the sensor
// takes to start, answer or stop.
constexpr double kChildSeconds = 20.0;

std::string readAll(int fd, bool firstLineOnly) { return child_process::ReadOutput(fd, kChildSeconds, firstLineOnly); }

int exitCode(pid_t pid) { return child_process::ExitCode(pid, kChildSeconds); }

TEST(SensorExecutable, ServesOnItsLinkUntilTerminated) {
  TempDir dir;
  const fs::path link = dir.path / "com1";
  const fs::path frames = dir.path / "frames";
  Child r = launch({"--link", link, "--profile", "t101", "--seed", "7", "--baud", "0", "--frame-log", frames});
  ASSERT_GT(r.pid, 0);
  EXPECT_EQ(readAll(r.out, true), link.string()) << "prints the link path first";
  {
    Client c(link);
    ASSERT_TRUE(c.ok());
    talkLikeTheProgram(c, *findProfile("t101"));
  }
  kill(r.pid, SIGTERM);
  EXPECT_EQ(exitCode(r.pid), 0);
  close(r.out);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "the link is removed on SIGTERM";
  // The talk has one measure request among its nine: one line, a time in microseconds.
  std::ifstream log(frames);
  long long us = 0;
  std::string rest;
  ASSERT_TRUE(log >> us);
  EXPECT_GT(us, 0);
  EXPECT_FALSE(log >> rest) << "a second line: " << rest;
}

// Unplugged, the link goes and the line hangs up; plugged back, a new device answers under the
// same link; with --cycle, again.
TEST(SensorExecutable, UnplugsAndComesBackUnderItsLink) {
  TempDir dir;
  const fs::path link = dir.path / "com1";
  Child r = launch({"--link", link, "--baud", "0", "--unplug-after", "1.5", "--replug-after", "0.5", "--cycle"});
  ASSERT_GT(r.pid, 0);
  EXPECT_EQ(readAll(r.out, true), link.string());
  auto linked = [&] { return fs::exists(fs::symlink_status(link)); };
  auto waitFor = [](auto condition) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return condition();
  };
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(waitFor(linked)) << "plugged in, round " << round;
    {
      Client c(link);
      ASSERT_TRUE(c.ok());
      talkLikeTheProgram(c, defaultProfile());
    }
    ASSERT_TRUE(waitFor([&] { return !linked(); })) << "unplugged, round " << round;
  }
  kill(r.pid, SIGTERM);
  EXPECT_EQ(exitCode(r.pid), 0);
  close(r.out);
  EXPECT_FALSE(linked());
}

TEST(SensorExecutable, HelpAndBadOptions) {
  Child help = launch({"--help"});
  EXPECT_EQ(readAll(help.out, false), usage());
  EXPECT_EQ(exitCode(help.pid), 0);
  close(help.out);

  Child bad = launch({"--no-such-option"});
  EXPECT_EQ(readAll(bad.out, false), "");
  EXPECT_EQ(exitCode(bad.pid), 2);
  close(bad.out);

  Child unwritable = launch({"--frame-log", "/nonexistent-folder/frames"});
  EXPECT_EQ(readAll(unwritable.out, false), "");
  EXPECT_EQ(exitCode(unwritable.pid), 1);
  close(unwritable.out);
}

}  // namespace
}  // namespace rorir::sensor::test
