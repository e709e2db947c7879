// Serial-port services on a termios device, with Qt Core's socket notifier for the callbacks.
//
// Every call works on the file descriptor directly, so bytes leave at once and arrivals are
// counted without the event loop. The event loop is used for one thing only: delivering the
// port callback. A read notifier moves arriving bytes into the input queue and checks the
// events; a zero-time single-shot timer re-checks when bytes reached the queue outside event
// processing (through GetInQLen or ComRd); a write notifier drains what the device could not
// take at once, and a drain timer waits out what the UART still holds before the
// output-emptied event. Nothing here ever processes events itself.
#include "platform/serial/rs232.h"

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "platform/serial/rs232_names.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kKnownEvents =
    RS232_EVENT_RXCHAR | RS232_EVENT_RXFLAG | RS232_EVENT_TXEMPTY | RS232_EVENT_RECEIVE;
constexpr int kMaxQueueSize = 1 << 20;

struct Port {
  bool open = false;  // between a successful OpenComConfig and CloseCom
  bool lost = false;  // the device went away while open: the descriptor is already closed
  int fd = -1;
  unsigned generation = 0;  // changes whenever the device is released, so stale handlers stop
  long baud = 19200;
  double timeout = RS232_DEFAULT_TIMEOUT;
  size_t inCapacity = RS232_DEFAULT_QUEUE_SIZE;
  size_t outCapacity = RS232_DEFAULT_QUEUE_SIZE;
  std::vector<unsigned char> in;
  std::vector<unsigned char> out;

  int mask = 0;
  int notifyCount = 0;
  int eventChar = 0;
  ComCallbackPtr callback = nullptr;
  void* callbackData = nullptr;
  bool receiveArmed = false;  // RECEIVE may fire; cleared when it fires, set when bytes are taken
  int pending = 0;            // RXCHAR, RXFLAG, TXEMPTY that occurred and wait for delivery
  bool txWatch = false;       // bytes were written and TXEMPTY is wanted once they have left
  bool inCallback = false;
  bool framePaused = false;   // the frame now arriving has had its pause; every arrival wakes
  int bitsPerByte = 10;       // start bit, data bits, parity bit, stop bits
  // When the last byte handed to the device has left the wire at the line's baud rate. A
  // pseudo-terminal takes bytes at once, so only this tells what a UART would still be sending.
  Clock::time_point wireFreeAt{};

  QObject* context = nullptr;  // owns the notifiers and timers below
  QSocketNotifier* readNotifier = nullptr;
  QSocketNotifier* writeNotifier = nullptr;
  QTimer* checkTimer = nullptr;
  QTimer* drainTimer = nullptr;
  QTimer* gatherTimer = nullptr;  // ends the pause while the rest of a frame is on the line
};

Port ports[RS232_MAX_PORT + 1];

// How many of our own Qt handlers are on the stack. A port closed from inside one of them (a
// callback that closes its own port) must not delete the notifier that is running.
int handlerDepth = 0;

struct HandlerScope {
  HandlerScope() { ++handlerDepth; }
  ~HandlerScope() { --handlerDepth; }
  HandlerScope(const HandlerScope&) = delete;
  HandlerScope& operator=(const HandlerScope&) = delete;
};

speed_t SpeedCode(long baud) {
  switch (baud) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return B0;
  }
}

int OpenErrorCode(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
      return RS232_ERR_NO_PORT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EAGAIN:
    case EIO:
    case EISDIR:
    case ENOTTY:
    case ELOOP:
    case EROFS:
      return RS232_ERR_CANNOT_OPEN;
    default:
      return RS232_ERR_SYSTEM;
  }
}

bool ValidNumber(int port) { return port >= 1 && port <= RS232_MAX_PORT; }

void Disable(QSocketNotifier* n) {
  if (n != nullptr && n->isEnabled()) n->setEnabled(false);
}

// Lets go of the device: notifiers off before the descriptor closes (a notifier on a closed
// or reused descriptor would spin or watch the wrong file), lock and exclusivity released.
void ReleaseDevice(Port& p) {
  ++p.generation;
  if (p.context != nullptr) {
    Disable(p.readNotifier);
    Disable(p.writeNotifier);
    p.checkTimer->stop();
    p.drainTimer->stop();
    p.gatherTimer->stop();
    if (handlerDepth == 0) {
      delete p.context;
    } else {
      p.context->deleteLater();
    }
    p.context = nullptr;
    p.readNotifier = p.writeNotifier = nullptr;
    p.checkTimer = p.drainTimer = p.gatherTimer = nullptr;
  }
  if (p.fd >= 0) {
    ioctl(p.fd, TIOCNXCL);
    flock(p.fd, LOCK_UN);
    close(p.fd);
    p.fd = -1;
  }
  p.in.clear();
  p.out.clear();
  p.pending = 0;
  p.txWatch = false;
  p.receiveArmed = false;
  p.inCallback = false;
}

// The device vanished (adapter pulled, peer hung up). The port stays "open" so that every
// later call reports the failure, until CloseCom or OpenComConfig clears it.
void MarkLost(Port& p) {
  // Bytes that came before the hang-up stay for the read that is running; every later call
  // reports the loss.
  std::vector<unsigned char> arrived;
  arrived.swap(p.in);
  ReleaseDevice(p);
  p.in.swap(arrived);
  p.lost = true;
  rs232::NotePortLost();
}

void ScheduleCheck(Port& p) {
  if (p.checkTimer != nullptr && !p.checkTimer->isActive()) p.checkTimer->start();
}

// Bytes entered the input queue: note the events they raise for the next event processing.
void NoteArrival(Port& p, const unsigned char* bytes, size_t count) {
  if (count == 0) return;
  if (p.mask & RS232_EVENT_RXCHAR) p.pending |= RS232_EVENT_RXCHAR;
  if ((p.mask & RS232_EVENT_RXFLAG) && std::memchr(bytes, p.eventChar, count) != nullptr)
    p.pending |= RS232_EVENT_RXFLAG;
  if (p.pending != 0 || ((p.mask & RS232_EVENT_RECEIVE) && p.receiveArmed &&
                         p.in.size() >= static_cast<size_t>(p.notifyCount)))
    ScheduleCheck(p);
}

// Moves what the kernel holds into the input queue, as far as the queue has room. Never
// blocks. Returns false when the device turned out to be gone (the port is then lost).
bool Ingest(Port& p) {
  unsigned char chunk[1024];
  while (p.in.size() < p.inCapacity) {
    size_t want = std::min(sizeof chunk, p.inCapacity - p.in.size());
    ssize_t n = read(p.fd, chunk, want);
    if (n > 0) {
      p.in.insert(p.in.end(), chunk, chunk + n);
      NoteArrival(p, chunk, static_cast<size_t>(n));
      continue;
    }
    // With VMIN 1 and a non-blocking descriptor, 0 means the line was hung up.
    if (n == 0) break;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
    MarkLost(p);
    return false;
  }
  if (p.in.size() >= p.inCapacity) {
    // A full queue leaves the rest in the kernel; a read notifier on it would fire forever.
    Disable(p.readNotifier);
    return true;
  }
  MarkLost(p);
  return false;
}

// Bytes left the input queue: RECEIVE may fire again, and reading may resume. What comes next
// belongs to a new frame.
void NoteConsumed(Port& p) {
  p.receiveArmed = true;
  p.framePaused = false;
  if (p.readNotifier != nullptr && !p.readNotifier->isEnabled() && p.in.size() < p.inCapacity)
    p.readNotifier->setEnabled(true);
  if ((p.mask & RS232_EVENT_RECEIVE) && p.in.size() >= static_cast<size_t>(p.notifyCount))
    ScheduleCheck(p);
}

// Bytes went to the device: they occupy the wire after whatever it still sends.
void NoteOnWire(Port& p, size_t count) {
  const auto now = Clock::now();
  const double seconds = static_cast<double>(count) * p.bitsPerByte / static_cast<double>(p.baud);
  p.wireFreeAt = std::max(p.wireFreeAt, now) +
                 std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// Bytes that may still be on their way out: our queue, what the device reports it holds (a
// UART's transmit buffer), and what the baud rate says cannot have left since the last write.
int BytesOnWire(const Port& p) {
  int held = 0;
  if (p.fd < 0 || ioctl(p.fd, TIOCOUTQ, &held) != 0) held = 0;
  const auto left = p.wireFreeAt - Clock::now();
  int timed = 0;
  if (left.count() > 0) {
    const double seconds = std::chrono::duration<double>(left).count();
    timed = static_cast<int>(seconds * static_cast<double>(p.baud) / p.bitsPerByte) + 1;
  }
  return static_cast<int>(p.out.size()) + std::max(held, timed);
}

// Discarding output while bytes may still be on the wire cuts a frame in two on a real line.
unsigned long cutFrames = 0;

void NoteDiscardedOutput(const Port& p) {
  if (BytesOnWire(p) > 0) ++cutFrames;
}

// Writes what the device takes now from the output queue. Returns false when the device is
// gone (the port is then lost).
bool DrainOut(Port& p) {
  while (!p.out.empty()) {
    ssize_t n = write(p.fd, p.out.data(), p.out.size());
    if (n > 0) {
      p.out.erase(p.out.begin(), p.out.begin() + n);
      NoteOnWire(p, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    MarkLost(p);
    return false;
  }
  if (p.out.empty()) {
    Disable(p.writeNotifier);
  } else if (p.writeNotifier != nullptr) {
    p.writeNotifier->setEnabled(true);
  }
  return true;
}

// Once our queue is empty, TXEMPTY waits for the UART to have shifted out what the kernel
// still holds; the drain timer is set to the time those bytes take on the line.
void WatchTxEmpty(Port& p) {
  if (!p.txWatch || !p.out.empty() || p.drainTimer == nullptr) return;
  int held = 0;
  if (ioctl(p.fd, TIOCOUTQ, &held) != 0) held = 0;
  if (held <= 0) {
    p.txWatch = false;
    p.pending |= RS232_EVENT_TXEMPTY;
    ScheduleCheck(p);
    return;
  }
  double seconds = held * 10.0 / static_cast<double>(p.baud);
  p.drainTimer->start(1 + static_cast<int>(seconds * 1000.0));
}

// Runs from event processing only: takes in what arrived and calls the callback with the
// events that are due.
void Deliver(int number) {
  Port& p = ports[number];
  if (!p.open || p.lost || p.inCallback) return;
  if (!Ingest(p)) return;
  int events = p.pending & p.mask;
  p.pending &= ~events;
  if ((p.mask & RS232_EVENT_RECEIVE) && p.receiveArmed &&
      p.in.size() >= static_cast<size_t>(p.notifyCount)) {
    events |= RS232_EVENT_RECEIVE;
    p.receiveArmed = false;
  }
  if (events == 0 || p.callback == nullptr) return;

  const unsigned generation = p.generation;
  p.inCallback = true;
  p.callback(number, events, p.callbackData);
  if (p.generation != generation) return;  // the callback closed or reopened its port
  p.inCallback = false;
  // The callback took some bytes and a full notify count still waits (two frames at once), or
  // an event came up while it ran: come back on the next pass of the event loop.
  if ((p.pending & p.mask) != 0 ||
      ((p.mask & RS232_EVENT_RECEIVE) && p.receiveArmed &&
       p.in.size() >= static_cast<size_t>(p.notifyCount)))
    ScheduleCheck(p);
}

// Part of a frame has come and the rest is still on the line. Rather than wake for every byte
// (a byte takes half a millisecond at 19200 baud, and each wake-up costs tens of microseconds),
// stop watching the line once per frame, for no longer than the missing bytes take at the
// line's baud rate: bytes cannot cross the line faster, so the frame's last byte cannot come
// within the pause. After it every arrival wakes, so a frame whose rest comes later than the
// line's rate (a USB adapter passes it on when its latency timer runs out, or after a gap) is
// taken the moment its last byte is in; the pause is never taken again for the same frame.
// GetInQLen and ComRd still see every byte at once, since they read the device themselves.
void GatherRestOfFrame(Port& p) {
  if (!p.open || p.lost || p.gatherTimer == nullptr || p.readNotifier == nullptr) return;
  if (!(p.mask & RS232_EVENT_RECEIVE) || (p.mask & RS232_EVENT_RXCHAR) || !p.receiveArmed) return;
  if (p.framePaused) return;
  // Count what the kernel holds now, not what it held before the callback ran.
  if (!Ingest(p)) return;
  const size_t want = static_cast<size_t>(p.notifyCount);
  if (p.in.empty() || p.in.size() >= want) return;
  p.framePaused = true;
  // The next byte may be all but complete already: count one fewer, and wake a little early.
  const double restMs =
      static_cast<double>(want - p.in.size() - 1) * 10.0 * 1000.0 / static_cast<double>(p.baud);
  if (restMs < 3.5) return;  // the last two milliseconds are not worth a pause
  const int ms = std::min(static_cast<int>(restMs - 1.5), 100);
  Disable(p.readNotifier);
  p.gatherTimer->start(ms);
}

void CreateWatchers(int number) {
  Port& p = ports[number];
  if (QCoreApplication::instance() == nullptr) return;
  const unsigned generation = p.generation;
  p.context = new QObject;
  p.readNotifier = new QSocketNotifier(p.fd, QSocketNotifier::Read, p.context);
  p.writeNotifier = new QSocketNotifier(p.fd, QSocketNotifier::Write, p.context);
  p.writeNotifier->setEnabled(false);
  p.checkTimer = new QTimer(p.context);
  p.checkTimer->setSingleShot(true);
  p.checkTimer->setInterval(0);
  p.drainTimer = new QTimer(p.context);
  p.drainTimer->setSingleShot(true);
  p.drainTimer->setTimerType(Qt::PreciseTimer);
  p.gatherTimer = new QTimer(p.context);
  p.gatherTimer->setSingleShot(true);
  p.gatherTimer->setTimerType(Qt::PreciseTimer);

  auto current = [number, generation]() -> Port* {
    Port& q = ports[number];
    return (q.open && !q.lost && q.generation == generation) ? &q : nullptr;
  };
  QObject::connect(p.readNotifier, &QSocketNotifier::activated, p.context, [number, current] {
    HandlerScope scope;
    if (current() != nullptr) Deliver(number);
    if (Port* q = current()) GatherRestOfFrame(*q);
  });
  QObject::connect(p.gatherTimer, &QTimer::timeout, p.context, [number, current] {
    HandlerScope scope;
    Port* q = current();
    if (q == nullptr) return;
    if (q->readNotifier != nullptr && q->in.size() < q->inCapacity) q->readNotifier->setEnabled(true);
    Deliver(number);
    if (Port* r = current()) GatherRestOfFrame(*r);
  });
  QObject::connect(p.checkTimer, &QTimer::timeout, p.context, [number, current] {
    HandlerScope scope;
    if (current() != nullptr) Deliver(number);
  });
  QObject::connect(p.writeNotifier, &QSocketNotifier::activated, p.context, [number, current] {
    HandlerScope scope;
    Port* q = current();
    if (q == nullptr || !DrainOut(*q)) return;
    WatchTxEmpty(*q);
    if (current() != nullptr) Deliver(number);
  });
  QObject::connect(p.drainTimer, &QTimer::timeout, p.context, [number, current] {
    HandlerScope scope;
    Port* q = current();
    if (q == nullptr) return;
    WatchTxEmpty(*q);
    if (current() != nullptr) Deliver(number);
  });
}

// The port behind a call other than OpenComConfig and CloseCom, or the error to return.
Port* Usable(int port, int* error) {
  if (!ValidNumber(port)) {
    *error = RS232_ERR_INVALID_PORT;
    return nullptr;
  }
  Port& p = ports[port];
  if (!p.open) {
    *error = RS232_ERR_PORT_NOT_OPEN;
    return nullptr;
  }
  if (p.lost) {
    *error = RS232_ERR_IO;
    return nullptr;
  }
  return &p;
}

// The device path for OpenComConfig: "" for the port's own device, "COMn" for port n's.
std::string DevicePath(int port, const char* deviceName) {
  if (deviceName == nullptr || *deviceName == '\0') {
    rs232::UpdatePortTable();
    return rs232::PortDevice(port);
  }
  if ((deviceName[0] == 'C' || deviceName[0] == 'c') &&
      (deviceName[1] == 'O' || deviceName[1] == 'o') &&
      (deviceName[2] == 'M' || deviceName[2] == 'm') && deviceName[3] != '\0') {
    int n = 0;
    const char* c = deviceName + 3;
    for (; *c >= '0' && *c <= '9' && n <= RS232_MAX_PORT; ++c) n = n * 10 + (*c - '0');
    if (*c == '\0') {
      rs232::UpdatePortTable();
      return rs232::PortDevice(n);
    }
  }
  return deviceName;
}

int ConfigureLine(int fd, long baud, int parity, int dataBits, int stopBits) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return RS232_ERR_CANNOT_OPEN;
  cfmakeraw(&t);
  t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  t.c_cflag |= CLOCAL | CREAD;
  switch (dataBits) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    default: t.c_cflag |= CS8; break;
  }
  if (parity == RS232_PARITY_ODD) t.c_cflag |= PARENB | PARODD;
  if (parity == RS232_PARITY_EVEN) t.c_cflag |= PARENB;
  if (parity != RS232_PARITY_NONE) t.c_iflag |= INPCK;
  if (stopBits == 2) t.c_cflag |= CSTOPB;
  // One byte satisfies a read, so a non-blocking read reports "nothing yet" as EAGAIN and
  // keeps 0 for a hung-up line.
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, SpeedCode(baud));
  cfsetospeed(&t, SpeedCode(baud));
  if (tcsetattr(fd, TCSANOW, &t) != 0)
    return errno == EINVAL ? RS232_ERR_INVALID_PARAMETER : RS232_ERR_CANNOT_OPEN;
  return RS232_NO_ERROR;
}

// Milliseconds left until `deadline`, rounded up so a short wait is not cut to zero.
int MillisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
  if (left.count() <= 0) return 0;
  long long ms = (left.count() + 999) / 1000;
  return ms > 1000000 ? 1000000 : static_cast<int>(ms);
}

Clock::time_point DeadlineAfter(double seconds) {
  return Clock::now() + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(seconds));
}

}  // namespace

int OpenComConfig(int port, const char* deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize) {
  if (!ValidNumber(port)) return RS232_ERR_INVALID_PORT;
  if (SpeedCode(baudRate) == B0 || parity < RS232_PARITY_NONE || parity > RS232_PARITY_EVEN ||
      dataBits < 5 || dataBits > 8 || stopBits < 1 || stopBits > 2 || inputQueueSize < 0 ||
      inputQueueSize > kMaxQueueSize || outputQueueSize < 0 || outputQueueSize > kMaxQueueSize)
    return RS232_ERR_INVALID_PARAMETER;

  const std::string path = DevicePath(port, deviceName);
  if (path.empty()) return RS232_ERR_INVALID_PORT;

  Port& p = ports[port];
  if (p.open) CloseCom(port);

  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return OpenErrorCode(errno);
  if (!isatty(fd)) {
    close(fd);
    return RS232_ERR_CANNOT_OPEN;
  }
  // The lock keeps a second opener out, ourselves included (another port number on the same
  // device); exclusive mode also turns away other programs that do not look at locks.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return RS232_ERR_CANNOT_OPEN;
  }
  ioctl(fd, TIOCEXCL);
  int result = ConfigureLine(fd, baudRate, parity, dataBits, stopBits);
  if (result != RS232_NO_ERROR) {
    ioctl(fd, TIOCNXCL);
    close(fd);
    return result;
  }
  // Whatever waited on the line before the port was opened belongs to no request of ours.
  tcflush(fd, TCIOFLUSH);

  const unsigned generation = p.generation + 1;
  p = Port{};
  p.generation = generation;
  p.open = true;
  p.fd = fd;
  p.baud = baudRate;
  p.bitsPerByte = 1 + dataBits + (parity != RS232_PARITY_NONE ? 1 : 0) + stopBits;
  p.inCapacity = inputQueueSize > 0 ? inputQueueSize : RS232_DEFAULT_QUEUE_SIZE;
  p.outCapacity = outputQueueSize > 0 ? outputQueueSize : RS232_DEFAULT_QUEUE_SIZE;
  p.in.reserve(p.inCapacity);
  p.out.reserve(p.outCapacity);
  CreateWatchers(port);
  return RS232_NO_ERROR;
}

int SetComTime(int port, double timeoutSeconds) {
  int error = 0;
  Port* p = Usable(port, &error);
  if (p == nullptr) return error;
  if (!(timeoutSeconds >= 0.0) || timeoutSeconds > 1.0e6) return RS232_ERR_INVALID_PARAMETER;
  p->timeout = timeoutSeconds;
  return RS232_NO_ERROR;
}

int SetCTSMode(int port, int mode) {
  int error = 0;
  Port* p = Usable(port, &error);
  if (p == nullptr) return error;
  if (mode != 0 && mode != 1) return RS232_ERR_INVALID_PARAMETER;
  termios t{};
  if (tcgetattr(p->fd, &t) != 0) {
    MarkLost(*p);
    return RS232_ERR_IO;
  }
  if (mode == 1) {
    t.c_cflag |= CRTSCTS;
  } else {
    t.c_cflag &= ~CRTSCTS;
  }
  if (tcsetattr(p->fd, TCSANOW, &t) != 0) {
    MarkLost(*p);
    return RS232_ERR_IO;
  }
  return RS232_NO_ERROR;
}

int InstallComCallback(int port, int eventMask, int notifyCount, int eventCharacter,
                       ComCallbackPtr callback, void* callbackData) {
  int error = 0;
  Port* p = Usable(port, &error);
  if (p == nullptr) return error;
  if ((eventMask & ~kKnownEvents) != 0) return RS232_ERR_INVALID_PARAMETER;
  if (eventMask != 0) {
    if (callback == nullptr) return RS232_ERR_INVALID_PARAMETER;
    if ((eventMask & RS232_EVENT_RECEIVE) &&
        (notifyCount < 1 || static_cast<size_t>(notifyCount) > p->inCapacity))
      return RS232_ERR_INVALID_PARAMETER;
    if ((eventMask & RS232_EVENT_RXFLAG) && (eventCharacter < 0 || eventCharacter > 255))
      return RS232_ERR_INVALID_PARAMETER;
    // Without an event loop there is nothing that could ever call the callback.
    if (p->context == nullptr) return RS232_ERR_SYSTEM;
  }
  p->mask = eventMask;
  p->notifyCount = notifyCount;
  p->eventChar = eventCharacter;
  p->callback = eventMask != 0 ? callback : nullptr;
  p->callbackData = eventMask != 0 ? callbackData : nullptr;
  p->pending = 0;
  p->txWatch = false;
  // A freshly installed callback hears about bytes that already wait.
  p->receiveArmed = true;
  p->framePaused = false;
  if ((eventMask & RS232_EVENT_RECEIVE) && p->in.size() >= static_cast<size_t>(notifyCount))
    ScheduleCheck(*p);
  return RS232_NO_ERROR;
}

int ComWrt(int port, const void* buffer, int count) {
  int error = 0;
  Port* p = Usable(port, &error);
  if (p == nullptr) return error;
  if (count < 0 || (buffer == nullptr && count > 0)) return RS232_ERR_INVALID_PARAMETER;
  if (count == 0) return 0;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  const Clock::time_point deadline = DeadlineAfter(p->timeout);
  // An emptied-output event still waiting for delivery is out of date once more bytes are on
  // their way; one event follows when these have left.
  p->pending &= ~RS232_EVENT_TXEMPTY;
  size_t queued = 0;
  const size_t total = static_cast<size_t>(count);
  for (;;) {
    size_t room = p->outCapacity - std::min(p->outCapacity, p->out.size());
    size_t take = std::min(room, total - queued);
    p->out.insert(p->out.end(), bytes + queued, bytes + queued + take);
    queued += take;
    if (!DrainOut(*p)) return RS232_ERR_IO;
    if (queued == total) break;
    // The queue is full: wait for the device to take bytes, up to the port's time-out.
    int wait = MillisecondsLeft(deadline);
    if (wait == 0) break;
    pollfd pfd{p->fd, POLLOUT, 0};
    int ready = poll(&pfd, 1, wait);
    if (ready < 0 && errno != EINTR) {
      MarkLost(*p);
      return RS232_ERR_IO;
    }
    if (ready > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) {
      MarkLost(*p);
      return RS232_ERR_IO;
    }
  }
  if (queued == 0) return RS232_ERR_TIMEOUT;
  if (p->mask & RS232_EVENT_TXEMPTY) {
    p->txWatch = true;
    WatchTxEmpty(*p);
  }
  return static_cast<int>(queued);
}

int ComRd(int port, void* buffer, int count) {
  int error = 0;
  Port* p = Usable(port, &error);
  if (p == nullptr) return error;
  if (count < 0 || (buffer == nullptr && count > 0)) return RS232_ERR_INVALID_PARAMETER;
  if (count == 0) return 0;
  auto* dest = static_cast<unsigned char*>(buffer);
  const Clock::time_point deadline = DeadlineAfter(p->timeout);
  size_t got = 0;
  const size_t want = static_cast<size_t>(count);
  for (;;) {
    const bool alive = Ingest(*p);
    size_t take = std::min(want - got, p->in.size());
    if (take > 0) {
      std::memcpy(dest + got, p->in.data(), take);
      p->in.erase(p->in.begin(), p->in.begin() + static_cast<long>(take));
      got += take;
      NoteConsumed(*p);
    }
    if (!alive) return got > 0 ? static_cast<int>(got) : RS232_ERR_IO;
    if (got == want) break;
    int wait = MillisecondsLeft(deadline);
    if (wait == 0) break;
    pollfd pfd{p->fd, POLLIN, 0};
    if (poll(&pfd, 1, wait) < 0 && errno != EINTR) {
      MarkLost(*p);
      return got > 0 ? static_cast<int>(got) : RS232_ERR_IO;
    }
    // A hang-up shows as readable; the next Ingest reads the 0 and marks the port lost.
  }
  return static_cast<int>(got);
}

int ComPortLost(int port) {
  return ValidNumber(port) && ports[port].open && ports[port].lost ? 1 : 0;
}

namespace rs232 {
bool PortHeld(int port) { return ValidNumber(port) && ports[port].open; }
}  // namespace rs232

int ComPortUsable(int port) {
  int error = 0;
  return Usable(port, &error) != nullptr ? 1 : 0;
}

int GetInQLen(int port) {
  int error = 0;
  Port* p = Usable(port, &error);
  if (p == nullptr) return error;
  if (!Ingest(*p)) return RS232_ERR_IO;
  return static_cast<int>(p->in.size());
}

int FlushInQ(int port) {
  int error = 0;
  Port* p = Usable(port, &error);
  if (p == nullptr) return error;
  if (tcflush(p->fd, TCIFLUSH) != 0) {
    MarkLost(*p);
    return RS232_ERR_IO;
  }
  p->in.clear();
  NoteConsumed(*p);
  return RS232_NO_ERROR;
}

int FlushOutQ(int port) {
  int error = 0;
  Port* p = Usable(port, &error);
  if (p == nullptr) return error;
  NoteDiscardedOutput(*p);
  if (tcflush(p->fd, TCOFLUSH) != 0) {
    MarkLost(*p);
    return RS232_ERR_IO;
  }
  p->out.clear();
  p->txWatch = false;
  Disable(p->writeNotifier);
  if (p->drainTimer != nullptr) p->drainTimer->stop();
  return RS232_NO_ERROR;
}

int CloseCom(int port) {
  if (!ValidNumber(port)) return RS232_ERR_INVALID_PORT;
  Port& p = ports[port];
  if (!p.open) return RS232_ERR_PORT_NOT_OPEN;
  // What was written leaves the wire first, bounded so a stuck line cannot hold us.
  if (!p.lost) {
    ComDrain(port, std::min(p.timeout, 0.5));
    if (p.open && !p.lost) NoteDiscardedOutput(p);
  }
  ReleaseDevice(p);
  p.open = false;
  p.lost = false;
  p.mask = 0;
  p.callback = nullptr;
  p.callbackData = nullptr;
  return RS232_NO_ERROR;
}

int ComDrain(int port, double seconds) {
  int error = 0;
  Port* p = Usable(port, &error);
  if (p == nullptr) return error;
  const Clock::time_point deadline = DeadlineAfter(seconds > 0 ? seconds : 0);
  for (;;) {
    if (!DrainOut(*p)) return RS232_ERR_IO;
    const int onWire = BytesOnWire(*p);
    if (onWire == 0) return RS232_NO_ERROR;
    const int wait = MillisecondsLeft(deadline);
    if (wait == 0) return RS232_ERR_TIMEOUT;
    if (!p->out.empty()) {
      pollfd pfd{p->fd, POLLOUT, 0};
      if (poll(&pfd, 1, wait) < 0 && errno != EINTR) {
        MarkLost(*p);
        return RS232_ERR_IO;
      }
      continue;
    }
    // Sleep for what the baud rate says is left (at least a millisecond, for a UART that
    // reports bytes the clock already counts as gone).
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(p->wireFreeAt - Clock::now());
    const int ms = std::clamp(static_cast<int>(left.count()) + 1, 1, wait);
    poll(nullptr, 0, ms);
  }
}

int ComRequestAnswered(int port) {
  int error = 0;
  Port* p = Usable(port, &error);
  if (p == nullptr) return error;
  if (p->out.empty()) p->wireFreeAt = std::min(p->wireFreeAt, Clock::now());
  return RS232_NO_ERROR;
}

unsigned long ComCutFrames(void) { return cutFrames; }
