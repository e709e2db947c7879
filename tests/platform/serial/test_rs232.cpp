// The serial-port services over real pseudo-terminals, the test acting as the far end.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "platform/ui/userint.h"
#include "platform/serial/rs232.h"
#include "pty_peer.h"

using rs232test::Bytes;
using rs232test::Counting;
using rs232test::InQueueReaches;
using rs232test::Now;
using rs232test::PtyPeer;
using rs232test::PumpFor;
using rs232test::PumpUntil;
using rs232test::ScopedEnv;
using rs232test::TempDir;

namespace {

constexpr int kFrame = 36;
constexpr int kLinkMask = RS232_EVENT_RECEIVE | RS232_EVENT_RXFLAG | RS232_EVENT_TXEMPTY;

struct Calls {
  int count = 0;
  int port = 0;
  int lastMask = 0;
  int allMasks = 0;
  int readCount = 0;      // bytes ComRd gave the callback, when it reads
  int leftAfterRead = -1; // GetInQLen after that read
  bool readsFrame = false;
  bool inUserCode = false;  // set around the program's own calls; the callback must not see it
  bool calledFromUserCode = false;
};

void Record(int port, int mask, void* data) {
  auto* c = static_cast<Calls*>(data);
  if (c->inUserCode) c->calledFromUserCode = true;
  ++c->count;
  c->port = port;
  c->lastMask = mask;
  c->allMasks |= mask;
  if (c->readsFrame && (mask & RS232_EVENT_RECEIVE)) {
    unsigned char frame[kFrame];
    c->readCount = ComRd(port, frame, kFrame);
    c->leftAfterRead = GetInQLen(port);
  }
}

int OpenLink(int port) { return OpenComConfig(port, "", 19200, 0, 8, 1, 4096, 4096); }

// A line of the link: COM1 set to a fresh pseudo-terminal and opened as the program opens it.
class Rs232Line : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer.ok());
    env.emplace("RORIR_COM1", peer.slave());
    ASSERT_EQ(OpenLink(1), RS232_NO_ERROR);
    ASSERT_EQ(SetComTime(1, 1.5), RS232_NO_ERROR);
  }
  void TearDown() override { CloseCom(1); }

  PtyPeer peer;
  std::optional<ScopedEnv> env;
};

TEST_F(Rs232Line, OpenSetsRaw19200EightNoneOneWithoutFlowControl) {
  auto t = peer.Settings();
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(cfgetospeed(&*t), B19200);
  EXPECT_EQ(cfgetispeed(&*t), B19200);
  EXPECT_EQ(t->c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t->c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t->c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(t->c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t->c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
  EXPECT_EQ(t->c_oflag & OPOST, 0u);

  // The handshake switch reaches the line, and 0 takes it off again.
  ASSERT_EQ(SetCTSMode(1, 1), RS232_NO_ERROR);
  EXPECT_NE(peer.Settings()->c_cflag & CRTSCTS, 0u);
  ASSERT_EQ(SetCTSMode(1, 0), RS232_NO_ERROR);
  EXPECT_EQ(peer.Settings()->c_cflag & CRTSCTS, 0u);

  // Other line settings are applied as given; reopening an open port reconfigures it. (A
  // pseudo-terminal always keeps 8 data bits without parity, so only speed and stop bits show.)
  ASSERT_EQ(OpenComConfig(1, "", 9600, RS232_PARITY_EVEN, 7, 2, 0, 0), RS232_NO_ERROR);
  t = peer.Settings();
  EXPECT_EQ(cfgetospeed(&*t), B9600);
  EXPECT_NE(t->c_cflag & CSTOPB, 0u);
  ASSERT_EQ(OpenComConfig(1, "COM1", 19200, 0, 8, 1, 4096, 4096), RS232_NO_ERROR);
  t = peer.Settings();
  EXPECT_EQ(cfgetospeed(&*t), B19200);
  EXPECT_EQ(t->c_cflag & CSTOPB, 0u);
}

TEST_F(Rs232Line, WrittenFrameReachesThePeerWithoutEventProcessing) {
  const Bytes frame = Counting(kFrame);
  EXPECT_EQ(ComWrt(1, frame.data(), kFrame), kFrame);
  // No ProcessSystemEvents between the write and the peer's read.
  EXPECT_EQ(peer.Receive(kFrame, 1.5), frame);
  EXPECT_EQ(ComWrt(1, frame.data(), 0), 0);
}

// A pseudo-terminal takes a frame at once, so no flush can cut one there; the layer still knows
// what a UART would be sending at the line's baud rate. At 110 baud a frame takes over three
// seconds, far beyond any pause of a busy machine between two calls.
TEST_F(Rs232Line, AFrameOnTheWireIsCutByAFlushAndLeavesWholeAfterADrain) {
  const Bytes frame = Counting(kFrame);
  ASSERT_EQ(OpenComConfig(1, "", 110, 0, 8, 1, 4096, 4096), RS232_NO_ERROR);
  const unsigned long before = ComCutFrames();
  ASSERT_EQ(ComWrt(1, frame.data(), kFrame), kFrame);
  EXPECT_EQ(FlushOutQ(1), RS232_NO_ERROR);
  EXPECT_EQ(ComCutFrames(), before + 1) << "a flush right after the write cuts the frame";

  ASSERT_EQ(ComWrt(1, frame.data(), kFrame), kFrame);
  EXPECT_EQ(ComDrain(1, 0.05), RS232_ERR_TIMEOUT) << "the frame cannot have left yet";
  EXPECT_EQ(ComDrain(1, 10.0), RS232_NO_ERROR);
  EXPECT_EQ(FlushOutQ(1), RS232_NO_ERROR);
  EXPECT_EQ(ComCutFrames(), before + 1) << "a drained line has nothing to cut";

  // Closing waits for the frame too (at the program's baud rate, well within its bound).
  ASSERT_EQ(OpenLink(1), RS232_NO_ERROR);
  ASSERT_EQ(ComWrt(1, frame.data(), kFrame), kFrame);
  EXPECT_EQ(CloseCom(1), RS232_NO_ERROR);
  EXPECT_EQ(ComCutFrames(), before + 1) << "the close cut the frame";
}

TEST_F(Rs232Line, InputIsCountedAndReadWithoutEventProcessing) {
  ASSERT_TRUE(peer.Send(Counting(10)));
  ASSERT_TRUE(InQueueReaches(1, 10));
  EXPECT_EQ(GetInQLen(1), 10);

  // A read takes only what was asked for, and writes nothing past it.
  unsigned char buf[64];
  std::memset(buf, 0xEE, sizeof buf);
  EXPECT_EQ(ComRd(1, buf, 4), 4);
  EXPECT_EQ(Bytes(buf, buf + 4), Counting(4));
  for (size_t i = 4; i < sizeof buf; ++i) ASSERT_EQ(buf[i], 0xEE) << "byte " << i;
  EXPECT_EQ(GetInQLen(1), 6);
  EXPECT_EQ(ComRd(1, buf, 6), 6);
  EXPECT_EQ(Bytes(buf, buf + 6), Counting(6, 5));

  // Bytes that arrive while ComRd waits are taken by it.
  std::thread late([&] {
    usleep(100 * 1000);
    peer.Send(Counting(10, 20));
  });
  EXPECT_EQ(ComRd(1, buf, 10), 10);
  late.join();
  EXPECT_EQ(Bytes(buf, buf + 10), Counting(10, 20));
}

TEST_F(Rs232Line, ReadOfMoreThanArrivesGivesUpAfterTheTimeOutWithWhatCame) {
  ASSERT_EQ(SetComTime(1, 0.3), RS232_NO_ERROR);
  ASSERT_TRUE(peer.Send(Counting(5)));
  unsigned char buf[kFrame];
  const double start = Now();
  EXPECT_EQ(ComRd(1, buf, kFrame), 5);
  EXPECT_GE(Now() - start, 0.29);
  EXPECT_EQ(Bytes(buf, buf + 5), Counting(5));

  // With no time-out a read returns at once with what waits, here nothing.
  ASSERT_EQ(SetComTime(1, 0.0), RS232_NO_ERROR);
  EXPECT_EQ(ComRd(1, buf, kFrame), 0);
  EXPECT_EQ(SetComTime(1, -1.0), RS232_ERR_INVALID_PARAMETER);
}

TEST_F(Rs232Line, FlushInQEmptiesOurQueueAndTheKernels) {
  ASSERT_TRUE(peer.Send(Counting(3)));
  ASSERT_TRUE(InQueueReaches(1, 3));  // these now sit in our queue
  ASSERT_TRUE(peer.Send(Counting(4)));
  usleep(200 * 1000);                 // these are left in the kernel's
  EXPECT_EQ(FlushInQ(1), RS232_NO_ERROR);
  EXPECT_EQ(GetInQLen(1), 0);
  usleep(100 * 1000);
  EXPECT_EQ(GetInQLen(1), 0);

  // The port still works after a flush of either queue.
  EXPECT_EQ(FlushOutQ(1), RS232_NO_ERROR);
  ASSERT_TRUE(peer.Send(Counting(2)));
  EXPECT_TRUE(InQueueReaches(1, 2));
}

TEST_F(Rs232Line, ReceiveEventFiresOnceTheNotifyCountWaitsAndOnlyInEventProcessing) {
  Calls calls;
  ASSERT_EQ(InstallComCallback(1, RS232_EVENT_RECEIVE, kFrame, 0x55, Record, &calls),
            RS232_NO_ERROR);

  // 35 bytes: not enough, however long events are processed.
  ASSERT_TRUE(peer.Send(Counting(35)));
  ASSERT_TRUE(InQueueReaches(1, 35));
  PumpFor(0.3);
  EXPECT_EQ(calls.count, 0);

  // The 36th byte: seen by GetInQLen at once, but the callback waits for event processing.
  ASSERT_TRUE(peer.Send(Counting(1, 100)));
  calls.inUserCode = true;
  ASSERT_TRUE(InQueueReaches(1, kFrame));
  EXPECT_EQ(GetInQLen(1), kFrame);
  calls.inUserCode = false;
  EXPECT_EQ(calls.count, 0);
  ASSERT_TRUE(PumpUntil([&] { return calls.count > 0; }));
  EXPECT_EQ(calls.port, 1);
  EXPECT_EQ(calls.lastMask, RS232_EVENT_RECEIVE);
  EXPECT_FALSE(calls.calledFromUserCode);

  // A callback that leaves the bytes waiting is not called over and over.
  PumpFor(0.2);
  EXPECT_EQ(calls.count, 1);
}

TEST_F(Rs232Line, FortyBytesFireOnceAndAFrameReadLeavesFour) {
  Calls calls;
  calls.readsFrame = true;
  ASSERT_EQ(InstallComCallback(1, kLinkMask, kFrame, 0x55, Record, &calls), RS232_NO_ERROR);
  ASSERT_TRUE(peer.Send(Counting(40)));
  ASSERT_TRUE(PumpUntil([&] { return calls.count > 0; }));
  PumpFor(0.2);
  EXPECT_EQ(calls.count, 1);
  EXPECT_EQ(calls.readCount, kFrame);
  EXPECT_EQ(calls.leftAfterRead, 4);
  EXPECT_EQ(GetInQLen(1), 4);

  // Two frames at once: the callback reads one, and is called again for the other.
  ASSERT_EQ(FlushInQ(1), RS232_NO_ERROR);
  calls = Calls{.readsFrame = true};
  ASSERT_TRUE(peer.Send(Counting(2 * kFrame)));
  ASSERT_TRUE(PumpUntil([&] { return calls.count >= 2; }));
  EXPECT_EQ(calls.leftAfterRead, 0);
}

TEST_F(Rs232Line, EventCharacterAndEmptiedOutputRaiseTheirBits) {
  Calls calls;
  ASSERT_EQ(InstallComCallback(1, kLinkMask, kFrame, 0x55, Record, &calls), RS232_NO_ERROR);
  ASSERT_TRUE(peer.Send({0x00, 0x55, 0x01}));
  ASSERT_TRUE(PumpUntil([&] { return calls.count > 0; }));
  EXPECT_EQ(calls.lastMask, RS232_EVENT_RXFLAG);

  calls = Calls{};
  const Bytes frame = Counting(kFrame);
  ASSERT_EQ(ComWrt(1, frame.data(), kFrame), kFrame);
  ASSERT_TRUE(PumpUntil([&] { return (calls.allMasks & RS232_EVENT_TXEMPTY) != 0; }));
  EXPECT_EQ(calls.allMasks & RS232_EVENT_RECEIVE, 0);
  EXPECT_EQ(peer.Receive(kFrame, 1.5), frame);

  // Events outside the mask stay silent: no RXFLAG when only RECEIVE is asked for.
  calls = Calls{};
  ASSERT_EQ(InstallComCallback(1, RS232_EVENT_RECEIVE, kFrame, 0x55, Record, &calls),
            RS232_NO_ERROR);
  ASSERT_TRUE(peer.Send({0x55}));
  ASSERT_TRUE(InQueueReaches(1, 3 + 1));
  PumpFor(0.2);
  EXPECT_EQ(calls.count, 0);
}

TEST_F(Rs232Line, WhatTheDeviceCannotTakeWaitsInTheQueueAndLeavesInOrder) {
  // A peer that does not read: the kernel's buffer fills, then our 4096-byte queue, then a
  // write that finds no room gives up after the time-out.
  Calls calls;
  ASSERT_EQ(InstallComCallback(1, RS232_EVENT_TXEMPTY, 0, 0, Record, &calls), RS232_NO_ERROR);
  ASSERT_EQ(SetComTime(1, 0.2), RS232_NO_ERROR);
  Bytes sent;
  int last = 0;
  for (int i = 0; i < 200 && last != RS232_ERR_TIMEOUT; ++i) {
    Bytes chunk(4096);
    for (size_t k = 0; k < chunk.size(); ++k)
      chunk[k] = static_cast<unsigned char>((sent.size() + k) % 251);
    last = ComWrt(1, chunk.data(), 4096);
    if (last > 0) sent.insert(sent.end(), chunk.begin(), chunk.begin() + last);
  }
  ASSERT_EQ(last, RS232_ERR_TIMEOUT);

  // Once the peer reads, event processing moves the queue out, in order, and tells when done.
  Bytes received;
  std::thread reader([&] { received = peer.Receive(sent.size(), 5.0); });
  const bool emptied =
      PumpUntil([&] { return (calls.allMasks & RS232_EVENT_TXEMPTY) != 0; }, 5.0);
  reader.join();
  EXPECT_TRUE(emptied);
  EXPECT_EQ(received.size(), sent.size());
  EXPECT_TRUE(received == sent);
}

TEST_F(Rs232Line, CallbackRemovedWithMaskZeroUntilInstalledAgain) {
  Calls calls;
  ASSERT_EQ(InstallComCallback(1, kLinkMask, kFrame, 0x55, Record, &calls), RS232_NO_ERROR);
  ASSERT_EQ(InstallComCallback(1, 0, 0, 0, nullptr, nullptr), RS232_NO_ERROR);

  // A block read with the callback removed: polled with GetInQLen, read with ComRd.
  Bytes block = Counting(128);
  block[7] = 0x55;
  ASSERT_TRUE(peer.Send(block));
  ASSERT_TRUE(PumpUntil([] { return GetInQLen(1) >= 128; }));
  PumpFor(0.2);
  EXPECT_EQ(calls.count, 0);
  unsigned char buf[128];
  EXPECT_EQ(ComRd(1, buf, 128), 128);
  EXPECT_EQ(Bytes(buf, buf + 128), block);

  // Installed again, it hears about a frame, including one that already waits.
  ASSERT_TRUE(peer.Send(Counting(kFrame)));
  ASSERT_TRUE(InQueueReaches(1, kFrame));
  ASSERT_EQ(InstallComCallback(1, kLinkMask, kFrame, 0x55, Record, &calls), RS232_NO_ERROR);
  ASSERT_TRUE(PumpUntil([&] { return calls.count > 0; }));
  EXPECT_EQ(calls.lastMask, RS232_EVENT_RECEIVE);
}

TEST_F(Rs232Line, CallbackMayCloseItsOwnPort) {
  static int closedWith = 1;
  auto closer = [](int port, int, void*) { closedWith = CloseCom(port); };
  ASSERT_EQ(InstallComCallback(1, RS232_EVENT_RECEIVE, 1, 0, closer, nullptr), RS232_NO_ERROR);
  ASSERT_TRUE(peer.Send({1, 2, 3}));
  ASSERT_TRUE(PumpUntil([] { return closedWith != 1; }));
  EXPECT_EQ(closedWith, RS232_NO_ERROR);
  PumpFor(0.1);
  EXPECT_EQ(GetInQLen(1), RS232_ERR_PORT_NOT_OPEN);
  EXPECT_EQ(OpenLink(1), RS232_NO_ERROR);
}

TEST(Rs232Errors, EachFailureHasItsCode) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  { std::ofstream(dir / "plain") << "not a terminal"; }
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  ASSERT_EQ(symlink(peer.slave().c_str(), (dir / "link").c_str()), 0);
  ScopedEnv com1("RORIR_COM1", peer.slave());
  ScopedEnv com2("RORIR_COM2", dir / "missing");
  ScopedEnv com3("RORIR_COM3", dir / "plain");
  ScopedEnv com4("RORIR_COM4", dir / "link");
  // No machine has 200 serial ports; COM200 resolves to nothing.
  unsetenv("RORIR_COM200");

  struct Case {
    const char* what;
    int port;
    int expected;
  };
  const Case cases[] = {
      {"port 0", 0, RS232_ERR_INVALID_PORT},
      {"port above the range", RS232_MAX_PORT + 1, RS232_ERR_INVALID_PORT},
      {"number that resolves to no device", 200, RS232_ERR_INVALID_PORT},
      {"device that does not exist", 2, RS232_ERR_NO_PORT_FOUND},
      {"file that is not a terminal", 3, RS232_ERR_CANNOT_OPEN},
  };
  for (const Case& c : cases) EXPECT_EQ(OpenLink(c.port), c.expected) << c.what;

  // Busy: a second opener of the same device (here through a symlink) is turned away, and
  // gets it once the first has let go.
  ASSERT_EQ(OpenLink(1), RS232_NO_ERROR);
  EXPECT_EQ(OpenLink(4), RS232_ERR_CANNOT_OPEN);
  EXPECT_EQ(OpenComConfig(5, peer.slave().c_str(), 19200, 0, 8, 1, 4096, 4096),
            RS232_ERR_CANNOT_OPEN);
  EXPECT_EQ(CloseCom(1), RS232_NO_ERROR);
  EXPECT_EQ(OpenLink(4), RS232_NO_ERROR);
  EXPECT_EQ(CloseCom(4), RS232_NO_ERROR);

  // Line settings out of range.
  EXPECT_EQ(OpenComConfig(1, "", 12345, 0, 8, 1, 4096, 4096), RS232_ERR_INVALID_PARAMETER);
  EXPECT_EQ(OpenComConfig(1, "", 19200, 5, 8, 1, 4096, 4096), RS232_ERR_INVALID_PARAMETER);
  EXPECT_EQ(OpenComConfig(1, "", 19200, 0, 9, 1, 4096, 4096), RS232_ERR_INVALID_PARAMETER);
  EXPECT_EQ(OpenComConfig(1, "", 19200, 0, 8, 3, 4096, 4096), RS232_ERR_INVALID_PARAMETER);
  EXPECT_EQ(OpenComConfig(1, "", 19200, 0, 8, 1, -1, 4096), RS232_ERR_INVALID_PARAMETER);

  // Every call on a port that is not open says so; closing it again is harmless.
  unsigned char buf[8] = {};
  Calls calls;
  EXPECT_EQ(SetComTime(1, 1.5), RS232_ERR_PORT_NOT_OPEN);
  EXPECT_EQ(SetCTSMode(1, 0), RS232_ERR_PORT_NOT_OPEN);
  EXPECT_EQ(InstallComCallback(1, kLinkMask, kFrame, 0x55, Record, &calls),
            RS232_ERR_PORT_NOT_OPEN);
  EXPECT_EQ(ComWrt(1, buf, 8), RS232_ERR_PORT_NOT_OPEN);
  EXPECT_EQ(ComRd(1, buf, 8), RS232_ERR_PORT_NOT_OPEN);
  EXPECT_EQ(GetInQLen(1), RS232_ERR_PORT_NOT_OPEN);
  EXPECT_EQ(FlushInQ(1), RS232_ERR_PORT_NOT_OPEN);
  EXPECT_EQ(FlushOutQ(1), RS232_ERR_PORT_NOT_OPEN);
  EXPECT_EQ(CloseCom(1), RS232_ERR_PORT_NOT_OPEN);
  EXPECT_EQ(CloseCom(1), RS232_ERR_PORT_NOT_OPEN);
  EXPECT_EQ(GetInQLen(0), RS232_ERR_INVALID_PORT);

  // Arguments out of range on an open port.
  ASSERT_EQ(OpenLink(1), RS232_NO_ERROR);
  EXPECT_EQ(InstallComCallback(1, 0x0100, kFrame, 0x55, Record, &calls),
            RS232_ERR_INVALID_PARAMETER);
  EXPECT_EQ(InstallComCallback(1, RS232_EVENT_RECEIVE, 0, 0x55, Record, &calls),
            RS232_ERR_INVALID_PARAMETER);
  EXPECT_EQ(InstallComCallback(1, RS232_EVENT_RECEIVE, 5000, 0x55, Record, &calls),
            RS232_ERR_INVALID_PARAMETER);
  EXPECT_EQ(InstallComCallback(1, RS232_EVENT_RXFLAG, kFrame, 256, Record, &calls),
            RS232_ERR_INVALID_PARAMETER);
  EXPECT_EQ(InstallComCallback(1, RS232_EVENT_RECEIVE, kFrame, 0x55, nullptr, nullptr),
            RS232_ERR_INVALID_PARAMETER);
  EXPECT_EQ(SetCTSMode(1, 2), RS232_ERR_INVALID_PARAMETER);
  EXPECT_EQ(ComWrt(1, nullptr, 8), RS232_ERR_INVALID_PARAMETER);
  EXPECT_EQ(ComRd(1, buf, -1), RS232_ERR_INVALID_PARAMETER);
  EXPECT_EQ(CloseCom(1), RS232_NO_ERROR);
}

TEST(Rs232HangUp, PeerGoneFailsCleanlyAndTheSamePortOpensOnANewPeer) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::string line = dir / "line";
  ScopedEnv com1("RORIR_COM1", line);
  auto peer = std::make_unique<PtyPeer>();
  ASSERT_TRUE(peer->ok());
  ASSERT_EQ(symlink(peer->slave().c_str(), line.c_str()), 0);
  ASSERT_EQ(OpenLink(1), RS232_NO_ERROR);
  Calls calls;
  ASSERT_EQ(InstallComCallback(1, kLinkMask, kFrame, 0x55, Record, &calls), RS232_NO_ERROR);

  // The peer hangs up while the program waits in its event loop: the callback stays silent
  // and the loop does not turn into a busy one. A notifier left watching the dead line would
  // make every pass return at once; an idle pass waits for the next event instead.
  peer->Close();
  const long passes = PumpFor(0.3);
  EXPECT_EQ(calls.count, 0);
  EXPECT_LT(passes, 10000) << "event processing kept waking up after the hang-up";

  unsigned char buf[kFrame] = {};
  EXPECT_EQ(GetInQLen(1), RS232_ERR_IO);
  EXPECT_EQ(ComWrt(1, buf, kFrame), RS232_ERR_IO);
  EXPECT_EQ(ComRd(1, buf, kFrame), RS232_ERR_IO);
  EXPECT_EQ(FlushInQ(1), RS232_ERR_IO);
  EXPECT_EQ(CloseCom(1), RS232_NO_ERROR);

  // A new peer behind the same name: the port opens and works again.
  peer = std::make_unique<PtyPeer>();
  ASSERT_TRUE(peer->ok());
  ASSERT_EQ(unlink(line.c_str()), 0);
  ASSERT_EQ(symlink(peer->slave().c_str(), line.c_str()), 0);
  ASSERT_EQ(OpenLink(1), RS232_NO_ERROR);
  ASSERT_EQ(SetComTime(1, 1.5), RS232_NO_ERROR);
  ASSERT_EQ(InstallComCallback(1, kLinkMask, kFrame, 0x55, Record, &calls), RS232_NO_ERROR);
  ASSERT_TRUE(peer->Send(Counting(kFrame)));
  ASSERT_TRUE(PumpUntil([&] { return calls.count > 0; }));
  EXPECT_EQ(calls.lastMask, RS232_EVENT_RECEIVE);

  // Hang-up in the middle of a read that waits: the read fails, and reopening without a
  // CloseCom first also recovers the port.
  ASSERT_EQ(FlushInQ(1), RS232_NO_ERROR);
  std::thread hangUp([&] {
    usleep(100 * 1000);
    peer->Close();
  });
  EXPECT_EQ(ComRd(1, buf, kFrame), RS232_ERR_IO);
  hangUp.join();
  EXPECT_EQ(GetInQLen(1), RS232_ERR_IO);
  peer = std::make_unique<PtyPeer>();
  ASSERT_TRUE(peer->ok());
  ASSERT_EQ(unlink(line.c_str()), 0);
  ASSERT_EQ(symlink(peer->slave().c_str(), line.c_str()), 0);
  ASSERT_EQ(OpenLink(1), RS232_NO_ERROR);
  const Bytes frame = Counting(kFrame);
  EXPECT_EQ(ComWrt(1, frame.data(), kFrame), kFrame);
  EXPECT_EQ(peer->Receive(kFrame, 1.5), frame);
  EXPECT_EQ(CloseCom(1), RS232_NO_ERROR);
}

}  // namespace
