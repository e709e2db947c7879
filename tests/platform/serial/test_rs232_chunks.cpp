// Frames that arrive in pieces, as a USB adapter passes them on: the receive callback gets a
// frame in the event processing that follows its last piece, and GetInQLen and ComRd see each
// piece as soon as the kernel has it.
//
// A spare descriptor on the line, opened before the port, tells through FIONREAD when the
// kernel holds a piece, without taking it. The tests then ask for what the services promise at
// that moment: a frame whose last byte is in is an event pending, so one pass over the pending
// events, without any wait, must deliver it. That holds however slow or paused the machine is,
// and it catches a serial layer that sleeps past a frame's last byte on a timer (unless that
// timer happens to fall due right at the pass). The pieces come no faster than the line's
// baud rate allows, as on a real line: the services may stop watching the line for the time
// the rest of a frame takes on it. How quickly the callback runs is measured by rorir-bench,
// not here.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCoreApplication>

#include <algorithm>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/userint.h"
#include "platform/serial/rs232.h"
#include "pty_peer.h"

using rs232test::Bytes;
using rs232test::Counting;
using rs232test::Now;
using rs232test::PtyPeer;
using rs232test::PumpFor;
using rs232test::PumpUntil;
using rs232test::ScopedEnv;

namespace {

constexpr int kFrame = 36;

struct Frames {
  int calls = 0;
  int masks = 0;
  Bytes received;  // what the callback read, frame after frame
};

// One pass over the events pending now, waiting for none (ProcessSystemEvents would wait up to
// 10 ms when nothing is pending, time in which a timer of the serial layer might fall due).
void RunPendingEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

// The callback of the link code: a frame is read as soon as it is reported.
void ReadFrame(int port, int mask, void* data) {
  auto* f = static_cast<Frames*>(data);
  ++f->calls;
  f->masks |= mask;
  if (!(mask & RS232_EVENT_RECEIVE)) return;
  unsigned char frame[kFrame];
  const int n = ComRd(port, frame, kFrame);
  if (n > 0) f->received.insert(f->received.end(), frame, frame + n);
}

class Rs232Pieces : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer.ok());
    env.emplace("RORIR_COM1", peer.slave());
    spare = open(peer.slave().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(spare, 0);
  }
  void TearDown() override {
    CloseCom(1);
    if (spare >= 0) close(spare);
  }

  void Open(long baud) {
    ASSERT_EQ(OpenComConfig(1, "", baud, RS232_PARITY_NONE, 8, 1, 4096, 4096), RS232_NO_ERROR);
    ASSERT_EQ(SetComTime(1, 5.0), RS232_NO_ERROR);
  }

  int KernelHolds() const {
    int n = -1;
    return ioctl(spare, FIONREAD, &n) == 0 ? n : -1;
  }

  // The time `bytes` bytes take on the line at `baud`, 10 bits a byte.
  static double LineSeconds(size_t bytes, long baud) { return bytes * 10.0 / baud; }

  // Processes events until the services have taken what the kernel holds (the first bytes of
  // a frame, which they look at as they come).
  bool TakenByTheServices() {
    return PumpUntil([&] { return KernelHolds() == 0; }, 2.0);
  }

  // Sends a piece and waits, without processing events, until the kernel holds it.
  bool SendAndSettle(const Bytes& piece) {
    const int before = KernelHolds();
    if (before < 0 || !peer.Send(piece)) return false;
    const double end = Now() + 2.0;
    while (KernelHolds() < before + static_cast<int>(piece.size())) {
      if (Now() > end) return false;
      usleep(200);
    }
    return true;
  }

  PtyPeer peer;
  std::optional<ScopedEnv> env;
  int spare = -1;
};

TEST_F(Rs232Pieces, FrameReachesTheCallbackInTheEventPassAfterItsLastPiece) {
  struct Chunking {
    std::vector<int> pieces;  // sizes; a frame ends wherever the running total reaches 36
    std::vector<int> gapsMs;  // events processed between one piece and the next
  };
  const Chunking chunkings[] = {
      {{4, 32}, {16}},                  // the burst of a 16 ms adapter timer
      {{1, 34, 1}, {5, 20}},
      {{10, 10, 10, 6}, {1, 2, 20}},
      {{2, 8, 8, 8, 10}, {20, 3, 0, 12}},
      {{30, 12, 30}, {8, 20}},          // the second piece ends one frame and begins the next
  };
  for (long baud : {1200L, 19200L, 115200L}) {
    for (const Chunking& c : chunkings) {
      SCOPED_TRACE(::testing::Message() << baud << " baud, pieces "
                                        << ::testing::PrintToString(c.pieces));
      Open(baud);
      Frames frames;
      ASSERT_EQ(InstallComCallback(1, RS232_EVENT_RECEIVE, kFrame, 0, ReadFrame, &frames),
                RS232_NO_ERROR);
      PumpFor(0.02);  // the services settle into their wait for a frame
      const int total = std::accumulate(c.pieces.begin(), c.pieces.end(), 0);
      const Bytes stream = Counting(static_cast<size_t>(total));
      int sent = 0;
      for (size_t i = 0; i < c.pieces.size(); ++i) {
        const Bytes piece(stream.begin() + sent, stream.begin() + sent + c.pieces[i]);
        ASSERT_TRUE(SendAndSettle(piece)) << "piece " << i;
        const int framesBefore = sent / kFrame;
        sent += c.pieces[i];
        if (i == 0) {
          ASSERT_TRUE(TakenByTheServices());
        }
        if (sent / kFrame > framesBefore) {
          RunPendingEvents();
          EXPECT_EQ(frames.calls, sent / kFrame)
              << "piece " << i << " completed a frame, but the pass over pending events did "
                                  "not deliver it";
        }
        // The next piece comes after its gap, and no sooner than its bytes cross the line.
        if (i + 1 < c.pieces.size())
          PumpFor(std::max(c.gapsMs[i] / 1000.0, LineSeconds(c.pieces[i + 1], baud)));
        EXPECT_EQ(frames.calls, sent / kFrame) << "after piece " << i;
      }
      EXPECT_EQ(frames.received, Bytes(stream.begin(), stream.begin() + (total / kFrame) * kFrame));
      ASSERT_EQ(CloseCom(1), RS232_NO_ERROR);
    }
  }
}

TEST_F(Rs232Pieces, GetInQLenAndComRdSeeEachPieceOnceTheKernelHasIt) {
  // No event processing at all: the queue is counted straight from the device.
  Open(19200);
  const Bytes frame = Counting(kFrame);
  int sent = 0;
  for (int size : {4, 20, 1, 11}) {
    ASSERT_TRUE(SendAndSettle(Bytes(frame.begin() + sent, frame.begin() + sent + size)));
    sent += size;
    EXPECT_EQ(GetInQLen(1), sent);
  }
  unsigned char buf[kFrame];
  EXPECT_EQ(ComRd(1, buf, kFrame), kFrame);
  EXPECT_EQ(Bytes(buf, buf + kFrame), frame);

  // The same while a receive callback waits for a frame.
  Frames frames;
  ASSERT_EQ(InstallComCallback(1, RS232_EVENT_RECEIVE, kFrame, 0, ReadFrame, &frames),
            RS232_NO_ERROR);
  PumpFor(0.02);
  ASSERT_TRUE(SendAndSettle(Counting(5)));
  EXPECT_EQ(GetInQLen(1), 5);
  ASSERT_TRUE(SendAndSettle(Counting(7, 6)));
  EXPECT_EQ(GetInQLen(1), 12);
  EXPECT_EQ(frames.calls, 0);
  // What the reads took in counts towards the frame: its remaining 24 bytes complete it.
  ASSERT_TRUE(SendAndSettle(Counting(24, 13)));
  RunPendingEvents();
  EXPECT_EQ(frames.calls, 1);
  EXPECT_EQ(frames.received, Counting(kFrame));
}

TEST_F(Rs232Pieces, ReadThatWaitsReturnsWithItsLastPieceNotAtTheTimeOut) {
  // With a callback waiting for a frame, a read of fewer bytes, or one whose bytes come in
  // pieces, returns as soon as they are all in.
  Open(19200);
  Frames frames;
  ASSERT_EQ(InstallComCallback(1, RS232_EVENT_RECEIVE, kFrame, 0, ReadFrame, &frames),
            RS232_NO_ERROR);
  PumpFor(0.02);
  struct Case {
    int want;
    std::vector<int> pieces;
  };
  for (const Case& c : {Case{4, {4}}, Case{36, {4, 32}}, Case{30, {10, 10, 10}}}) {
    SCOPED_TRACE(::testing::Message() << "read of " << c.want);
    const Bytes bytes = Counting(static_cast<size_t>(c.want));
    std::thread writer([&] {
      int sent = 0;
      for (int size : c.pieces) {
        usleep(20 * 1000);
        peer.Send(Bytes(bytes.begin() + sent, bytes.begin() + sent + size));
        sent += size;
      }
    });
    unsigned char buf[kFrame];
    const double start = Now();
    const int got = ComRd(1, buf, c.want);
    const double took = Now() - start;
    writer.join();
    EXPECT_EQ(got, c.want);
    EXPECT_EQ(Bytes(buf, buf + (got > 0 ? got : 0)), bytes);
    EXPECT_LT(took, 4.0) << "the read waited for its 5 s time-out";
  }
  // Afterwards the callback still gets a frame in pieces.
  ASSERT_TRUE(SendAndSettle(Counting(4)));
  ASSERT_TRUE(TakenByTheServices());
  PumpFor(LineSeconds(32, 19200));
  ASSERT_TRUE(SendAndSettle(Counting(32, 5)));
  RunPendingEvents();
  EXPECT_EQ(frames.calls, 1);
}

TEST_F(Rs232Pieces, EventCharacterAloneIsReportedWhileAFrameIsAwaited) {
  Open(19200);
  Frames frames;
  ASSERT_EQ(InstallComCallback(1, RS232_EVENT_RECEIVE | RS232_EVENT_RXFLAG, kFrame, 0x55,
                               ReadFrame, &frames),
            RS232_NO_ERROR);
  PumpFor(0.02);
  ASSERT_TRUE(SendAndSettle({0x01, 0x55}));
  ASSERT_TRUE(PumpUntil([&] { return frames.calls > 0; }));
  EXPECT_EQ(frames.masks, RS232_EVENT_RXFLAG);

  // The rest of the frame then comes as usual.
  PumpFor(LineSeconds(34, 19200));
  ASSERT_TRUE(SendAndSettle(Counting(34)));
  RunPendingEvents();
  EXPECT_EQ(frames.calls, 2);
  EXPECT_EQ(frames.received.size(), static_cast<size_t>(kFrame));
}

TEST_F(Rs232Pieces, HangUpInTheMiddleOfAFrameEndsTheWaitWithoutSpinning) {
  Open(19200);
  Frames frames;
  ASSERT_EQ(InstallComCallback(1, RS232_EVENT_RECEIVE, kFrame, 0, ReadFrame, &frames),
            RS232_NO_ERROR);
  PumpFor(0.02);
  ASSERT_TRUE(SendAndSettle(Counting(10)));
  PumpFor(0.02);
  peer.Close();
  const long passes = PumpFor(0.3);
  EXPECT_LT(passes, 10000) << "event processing kept waking up after the hang-up";
  EXPECT_EQ(frames.calls, 0);
  EXPECT_EQ(GetInQLen(1), RS232_ERR_IO);
}

}  // namespace
