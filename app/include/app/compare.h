// The parameter sets side by side: the panel's, the sensor's RAM and EEPROM, and a parameter
// file, one row a setting, with the differences to the panel marked. The window reads the
// sensor on the operator's word (taking its turn on the line, during a loop too), takes any
// column into the panel (marked unsent), verifies the EEPROM against the panel, and shows the
// newest lines of the change log.
#pragma once

#include <cstddef>

#include "state/globals.h"

/// The compare window's panel handle (0 until it is loaded).
extern int pCompare;

/// The set last known to be in `target` (RAM, EEPROM, or DATFILE: the file of the window's
/// column) into `out`; false when none is known.
bool KnownTargetSet(int target, u16 out[PNUM]);
/// `words` are now in `target` (RAM or EEPROM): a read-back came or a send went out.
void NoteTargetSet(int target, const u16 words[PNUM]);
/// A sensor was identified (another one, or the same after it was away): what its RAM and
/// EEPROM held before is no longer known. The file column stays.
void ForgetSensorSets(void);

/// Names each setting of `set` that differs from `panel`, as "Power 500 (panel 777)", joined
/// by ", ", into `out` (terminated, cut to fit). Returns how many differ.
int DescribeDifferences(const u16 set[PNUM], const u16 panel[PNUM], char* out, size_t size);

/// The hook on every value the operator changes: a setting is marked unsent when it differs
/// from the sensor's, and the shown window follows the panel.
void SettingValueChanged(int panel, int control);

/// Loads the window and adds its entry to the main panel's context menu. 0 or negative.
int LoadCompareWindow(void);
/// Shows the window with its columns brought up to date.
void OpenCompareWindow(void);
/// Brings the shown window up to date (the panel column, the marks, the log); nothing when
/// the window is hidden.
void RefreshCompareWindow(void);

int CC_BTNCompare(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_COMPARE(int panel, int event, void* data, int eventData1, int eventData2);
int CC_BTNReadRam(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_BTNReadEeprom(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_BTNOpenFile(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_BTNTake(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_BTNVerify(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_BTNCloseCompare(int panel, int control, int event, void* data, int eventData1, int eventData2);
