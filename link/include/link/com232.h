// The sensor link: port opening and line check, identification of the sensor, parameter
// read-back, the measurement cycle and the video data blocks.
//
// Plain functions over the global state (state/globals.h); the serial calls go through
// platform/serial/rs232.h. The link draws nothing: what the operator should see goes to the
// hooks of link/com232_hooks.h.
#pragma once

#include "state/globals.h"

/// Result frames taken and video passes drawn since the program started (for diagnostics and
/// the benchmark; they wrap harmlessly).
extern unsigned long resultFramesDrawn;
extern unsigned long videoPassesDrawn;
/// Timer() when the last of each was drawn.
extern double resultFrameTime;
extern double videoPassTime;

constexpr double FIRMWARE_TIMEOUT = 2.0;   ///< seconds to wait for the 72-byte firmware text
constexpr int FIRMWARE_TEXT_SIZE = 72;     ///< bytes of the firmware answer
constexpr int DATA_BLOCK_WORDS = 64;       ///< words of one video data block
constexpr int DATA_BLOCK_BYTES = 128;      ///< bytes of one video data block
constexpr int COM_BAUD = 19200;
constexpr int COM_QUEUE_SIZE = 4096;

/// 1 once the last opening found a sensor: the line check passed and its hardware information
/// was read; 0 otherwise (also while an opening runs).
extern int sensorIdentified;

/// Opens `port` at 19200 8N1, installs the receive callback, checks the line and, when the
/// sensor answers, identifies it and reads its RAM parameter set. Reports on the status line.
void InitRS232(int port);
/// Echo check: 1 when the sensor answered with sync 0x00AA, else 0. Shows its status text.
int CheckComLine(int port);
/// Receive callback: takes each 36-byte frame into pp and raises rx_flag.
void RX_Receive_Function(int port, int eventMask, void* callbackData);
/// The status text of a negative result of OpenComConfig.
const char* ComOpenErrorText(int code);
/// Installs RX_Receive_Function on `com` with the program's event mask, notify count 36 and
/// the sync character.
void InstallReceiveCallback(void);
/// Removes the receive callback from `com`, so block answers stay in the input queue.
void RemoveReceiveCallback(void);
/// 1 when `port` can no longer carry an exchange: closed by the program (the panel's close, a
/// port change) or its device gone. Every wait for the sensor ends at once then, with the
/// outcome of its time-out, instead of waiting on a line that cannot answer.
int PortGone(int port);

/// Sends the first `count` bytes of szWriteBuf on `port` and shows the request to the link
/// monitor. Returns the count queued, as ComWrt does.
int SendTxBuf(int port, int count);
/// Empties the input queue of `port` (FlushInQ); the link monitor counts the bytes that waited.
int DiscardInQ(int port);
/// Tells the link monitor that a wait for the sensor's answer ran out.
void NoteTimeout(void);
/// Writes the link monitor's frames as text to `path` (UTF-8, a line per frame, through a
/// temporary file). 0, or negative when the file could not be written.
int SaveMonitorLog(const char* path);

/// Asks for the hardware information and applies it: geometry and scales, then the
/// sensor-identified report. 1 on success.
int GetHARDWAREInfo(void);
struct HardwareInfo;
/// Takes a decoded hardware-information answer: geometry and scales by sensor type, then the
/// sensor-identified report. 1 when its order word is the hardware-information order, else 0
/// (fields kept anyway, nothing reported).
int ApplyHardwareInfo(const HardwareInfo& info);
/// Asks for the firmware text and reports it as the status. Returns the bytes waiting when the
/// wait ended.
int GetVERSIONInfo(void);

/// Reads the parameter set from the sensor's RAM or EEPROM into the settings, then reports the
/// parameter set and the status; for DATFILE only reports the settings as they are.
void PushGET(int target);
/// Asks the sensor's RAM or EEPROM (`from`) for its parameter set and puts the answer into
/// `words`, leaving the settings and pp as they were. Shows the waiting text; the caller says
/// what the outcome means. Returns EXCHANGE_ANSWERED, EXCHANGE_TIMED_OUT or EXCHANGE_ABANDONED.
int ReadParameterSet(int from, u16 words[PNUM]);
/// Writes `words` to the sensor's RAM, or its EEPROM for `to` EEPROM. The sensor does not answer
/// a write: nothing is flushed and nothing awaited. Returns the count SendTxBuf queued (a whole
/// frame, or fewer or a negative RS232_ code when the write did not go out).
int SendParameterSet(int to, const u16 words[PNUM]);

/// The measurement cycle: request, report each result frame, request again, until stop_flag or
/// a silent sensor ends it. Commands that wait for the line run between two exchanges. The
/// parameter target becomes the sensor's RAM.
void PushRUN(void);
/// Reads one block of 64 video words into adcbuf[first .. first + 63]. Returns 1, or 0 when
/// the port was closed meanwhile (nothing more to read on it).
int ReadData64(int first, int last);
