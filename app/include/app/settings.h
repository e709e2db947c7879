// The setting controls of the main panel that act at once: the COM-port ring, the two limits
// of the edge window, the tolerance, the edge hardware mode and the analog-output mode.
#pragma once

#include "state/globals.h"

/// A left edge limit kept within the evaluation window pixB .. pixE: below it becomes pixB,
/// above it pixE - 1. Sets *corrected when the value had to change.
u16 CorrectLeftLimit(u16 v, u16 first, u16 last, bool* corrected);
/// A right edge limit kept within pixB .. pixE: above it becomes pixE, below it pixB + 1.
u16 CorrectRightLimit(u16 v, u16 first, u16 last, bool* corrected);

/// Fills the COM-port ring with the ports whose device is there, each shown with its device
/// and, for a USB adapter, its product and serial number ("COM1  /dev/ttyUSB0  FT232R USB
/// UART (A5XK3RJT)"), and selects `com`. The port in use is listed even when it
/// resolves to nothing, so the ring always shows it.
void FillComPortRing(void);
/// 1 when the last FillComPortRing found `port`'s device on the machine.
int ComPortListed(int port);

/// COM-port ring: on commit stops any loop, closes the port and opens the chosen one.
int CC_DropDCom(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
/// Left edge limit: on commit corrects it to the window, shows it and moves cursor 2.
int CC_NEDITEdgeLeft(int panel, int control, int event, void* callbackData, int eventData1,
                     int eventData2);
/// Right edge limit: on commit corrects it to the window, shows it and moves cursor 3.
int CC_NEDITEdgeRight(int panel, int control, int event, void* callbackData, int eventData1,
                      int eventData2);
/// Tolerance: on every change echoes the value to its indicator.
int CC_NEDITTolerance(int panel, int control, int event, void* callbackData, int eventData1,
                      int eventData2);
/// Edge hardware mode: on every change dims the tolerance group for modes 1 and 3.
int CC_DropHardwareMode(int panel, int control, int event, void* callbackData, int eventData1,
                        int eventData2);
/// Analog-output ring (commit): shows the analog maximum/minimum group for the modes that have
/// one (gui_math::AnalogGroupShown), hides it for the others.
int CC_RNGanaMode(int panel, int control, int event, void* callbackData, int eventData1,
                  int eventData2);
