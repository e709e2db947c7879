// Serial devices that come and go while the program runs: the COM ring follows them, and the
// port in use is opened again by itself when its device returns.
//
// The serial-port services watch the machine and call PortsChanged from the event loop. The
// program then waits for one thing only: the device of `com`. It reopens that port with the
// same opening, line check and identification as the operator's choice, never any other port,
// and never starts a loop or a recording; the operator's own COM choice cancels the wait.
#pragma once

constexpr int COM_WAIT_NONE = 0;    ///< the port in use is open, or nothing is awaited
constexpr int COM_WAIT_DEVICE = 1;  ///< the device of the port in use went away
constexpr int COM_WAIT_NUMBER = 2;  ///< the port's number resolved to no device when opened

/// What the program waits for on `com` (COM_WAIT_ values).
extern int comWait;

/// Starts following the machine's serial devices, after the start-up's opening of `com`.
void StartPortWatch(void);
/// Stops following them (the program ends).
void StopPortWatch(void);
/// After an opening of `com` that the operator asked for (or the start-up): when it found no
/// device under that number, the program waits for one to appear there.
void NoteComOutcome(void);
/// The operator chose a port: whatever the program waited for is forgotten.
void CancelComWait(void);
/// The watch's call: refreshes the COM ring; notices that the port in use was lost and says
/// so; reopens it once its device is back, when no callback of the operator's runs.
void PortsChanged(void);

/// After an opening: with a sensor identified, the panel's results are live again, and cleared
/// first when they were another sensor's (`otherLine`: another port was opened, so they were
/// another line's whatever the type); without one they are marked as not live.
void NoteIdentification(int otherLine);
