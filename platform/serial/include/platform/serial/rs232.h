// Serial-port services: the calls through which the sensor link talks to a COM port.
//
// Plain functions over small port numbers (COM1 = 1). Results are counts or 0 on success and
// one of the negative RS232_ codes below on failure; the status line maps those codes to texts.
// This header includes nothing of Qt or the OS, so every module may include it.
//
// Port naming: COMn is the device named by the environment variable RORIR_COM<n> when that is
// set and not empty (any path: a USB adapter, a pseudo-terminal, a symlink to one). The
// machine's own serial devices take the other numbers: at the first look in the order
// /dev/ttyUSB*, /dev/ttyACM*, then the on-board /dev/ttyS* that have a real UART behind them,
// each group in numeric order, from COM1 up; after that a device keeps its number while it is
// there, and one that appears takes the lowest free number. The number of an open port stays
// with its device while the device is away, so the same device (for a USB adapter: the same
// adapter, also under a new path) comes back under it.
//
// Threads and events: every call belongs to the program's one thread. Bytes written leave at
// once and bytes that arrive are seen by GetInQLen and ComRd without any event processing. The
// callback installed with InstallComCallback runs only while that thread processes events
// (inside RunUserInterface or ProcessSystemEvents), never from inside a call of this header.
// A frame that arrives in pieces (a USB adapter passes bytes on in bursts) reaches the callback
// as soon as its last byte is in: after a frame's first bytes the line may go unwatched once,
// but never longer than the rest of the frame takes at the port's baud rate.
#pragma once

#include <cstddef>

// ---- results ----
constexpr int RS232_NO_ERROR = 0;
/// Unexpected failure of the operating system.
constexpr int RS232_ERR_SYSTEM = -1;
/// The number names no port: out of range, or it resolves to no device.
constexpr int RS232_ERR_INVALID_PORT = -2;
/// A call on a port that is not open.
constexpr int RS232_ERR_PORT_NOT_OPEN = -3;
/// The line failed while open: the device went away or the peer hung up.
constexpr int RS232_ERR_IO = -4;
/// The device the port resolves to does not exist.
constexpr int RS232_ERR_NO_PORT_FOUND = -6;
/// The device exists but cannot be used: permission, busy (another opener), not a tty.
constexpr int RS232_ERR_CANNOT_OPEN = -7;
/// An argument out of its range.
constexpr int RS232_ERR_INVALID_PARAMETER = -13;
/// Nothing could be written within the port's time-out.
constexpr int RS232_ERR_TIMEOUT = -99;

// ---- limits and defaults ----
constexpr int RS232_MAX_PORT = 255;             ///< highest port number (COM1 .. COM255)
constexpr int RS232_DEFAULT_QUEUE_SIZE = 4096;  ///< queue size used when 0 is passed
constexpr double RS232_DEFAULT_TIMEOUT = 10.0;  ///< seconds, until SetComTime says otherwise

// ---- parity codes of OpenComConfig ----
constexpr int RS232_PARITY_NONE = 0;
constexpr int RS232_PARITY_ODD = 1;
constexpr int RS232_PARITY_EVEN = 2;

// ---- event bits of InstallComCallback ----
constexpr int RS232_EVENT_RXCHAR = 0x0001;  ///< any byte arrived
constexpr int RS232_EVENT_RXFLAG = 0x0002;  ///< the event character arrived
constexpr int RS232_EVENT_TXEMPTY = 0x0004;  ///< the output queue has emptied
constexpr int RS232_EVENT_RECEIVE = 0x8000;  ///< at least the notify count of bytes waits

using ComCallbackPtr = void (*)(int port, int eventMask, void* callbackData);

/// Opens `port` with the given line settings and queue sizes (0 = 4096). `deviceName` "" uses
/// the device the port number resolves to; "COMn" resolves like port n; anything else is taken
/// as a device path. An already open port is closed and opened again. The device is locked
/// against a second opener. Returns 0 or a negative RS232_ code.
int OpenComConfig(int port, const char* deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize);

/// Sets how long ComRd waits for missing bytes and ComWrt for room (seconds, 0 = no wait).
int SetComTime(int port, double timeoutSeconds);

/// 0: no hardware handshake; 1: the line obeys CTS/RTS.
int SetCTSMode(int port, int mode);

/// Installs `callback` for the events in `eventMask` (RS232_EVENT_ bits):
/// - RECEIVE fires once at least `notifyCount` bytes wait, and again only after bytes have
///   been taken from the input queue (so a callback that reads nothing is not called forever);
/// - RXFLAG fires when `eventCharacter` (0..255) arrives, RXCHAR when any byte arrives;
/// - TXEMPTY fires when every byte written has left the output queue.
/// Events that occur together come in one call, with their bits in the mask argument. An event
/// mask of 0 removes the callback (callback may then be null) until it is installed again.
int InstallComCallback(int port, int eventMask, int notifyCount, int eventCharacter,
                       ComCallbackPtr callback, void* callbackData);

/// Sends `count` bytes. They go to the device at once; what the device cannot take yet waits in
/// the output queue and leaves as the line drains. Returns the count queued.
int ComWrt(int port, const void* buffer, int count);

/// Reads up to `count` bytes into `buffer`, waiting at most the port's time-out for bytes that
/// have not arrived yet. Never writes more than `count` bytes. Returns the count read.
int ComRd(int port, void* buffer, int count);

/// Number of bytes waiting in the input queue, including those that arrived while no events
/// were processed.
int GetInQLen(int port);
/// 1 while `port` is open and its device is there; 0 once it was closed or its device went away
/// (noticed by the event processing and by every call that touches the device). No I/O of its
/// own, so a wait may ask on every pass.
int ComPortUsable(int port);

/// Discards what waits in the input queue, ours and the kernel's.
int FlushInQ(int port);
/// Discards what waits in the output queue, ours and the kernel's.
int FlushOutQ(int port);
/// Waits, at most `seconds`, until every byte written to `port` has left the wire: our queue
/// handed to the device, the device's own buffer empty, and the time the bytes take at the
/// port's baud rate passed. No events are processed meanwhile. 0 when the wire is idle,
/// RS232_ERR_TIMEOUT when the time ran out first, or another negative code.
int ComDrain(int port, double seconds);
/// Tells the layer that the far end answered what was written to `port`: an answer leaves only
/// once its request has arrived whole, so nothing written before is on the wire any more, however
/// soon after the write the answer came (a peer that answers faster than the baud rate, as the
/// virtual sensor unpaced does). 0 or a negative code.
int ComRequestAnswered(int port);
/// How often output was discarded (FlushOutQ, CloseCom) while bytes may still have been on the
/// wire: each such discard cuts a frame on a real line. For the tests; never reset.
unsigned long ComCutFrames(void);
/// Closes the port and releases the device, once what was written has left the wire (at most
/// half a second). Harmless on a port that is not open.
int CloseCom(int port);

/// 1 while `port` is open but its device went away (pulled, hung up); 0 otherwise.
int ComPortLost(int port);

/// One entry of the port list: the number, the device it resolves to, and what the kernel
/// tells of that device ("FT232R USB UART (A5XK3RJT)" for a USB adapter; empty otherwise).
struct ComPortEntry {
  int port;
  char device[256];
  char name[128];
};

/// Lists the ports whose device is on the machine now, in port order: every RORIR_COM<n>
/// whose path exists and the machine's serial devices. Writes at most `max` entries; returns
/// the count written (with `out` null, the count there is).
int ListComPorts(ComPortEntry* out, int max);

/// Writes the device path that `port` resolves to into `device` (`size` bytes): also when the
/// device is missing (a set variable whose path does not exist, an open port whose device is
/// away). Returns 0, RS232_ERR_INVALID_PORT when the number resolves to nothing, or
/// RS232_ERR_INVALID_PARAMETER when the path does not fit.
int ResolveComPort(int port, char* device, size_t size);

/// Writes the device path of the USB adapter whose serial number is `serial` into `device`
/// (`size` bytes), wherever it is plugged in now, and its name as ListComPorts gives it into
/// `name` (may be null). 0, RS232_ERR_INVALID_PORT when no device on the machine has that
/// serial number, or RS232_ERR_INVALID_PARAMETER when the path does not fit.
int FindComAdapter(const char* serial, char* device, size_t size, char* name, size_t nameSize);

using ComPortsCallbackPtr = void (*)(void);

/// Follows the serial devices of the machine while the program runs: `callback` is called from
/// event processing after the port list changed (a device or an override's path appeared or
/// went away) and after an open port lost its device. Needs no device manager. A null
/// callback stops watching. Returns 0, or RS232_ERR_SYSTEM without an event loop.
int WatchComPorts(ComPortsCallbackPtr callback);

/// Calls the watch callback once more after `seconds` (changed or not), for a program that
/// could not act on the last call at once. RS232_ERR_PORT_NOT_OPEN when nothing is watched.
int RecheckComPorts(double seconds);
