// Binding of the main panel's setting controls to the setting globals.
#pragma once

#include "state/globals.h"

/// Reads the fifteen setting controls of the main panel into their globals, unchecked.
void GetPanelValues(void);

/// Repairs out-of-range settings in the globals, adapts the tolerance and analog-output groups,
/// writes the settings into the panel (which then holds what the sensor or the file holds: no
/// control stays marked unsent; the values a noted file held out of range are marked
/// repaired), refills thdArray with vThd, and redraws the video curve, the edge-window
/// cursors, the sensor range and the tolerance band.
void SetPanelValues(void);

/// Dims (dim > 0) or undims (dim == 0) the seven command buttons of the main panel and the
/// recorder's start button, so no second loop can start while a recording runs.
void DimmButtons(u16 dim);

/// Background of a setting control whose value the program put in for the operator and the
/// sensor has not received yet: pale yellow until SEND or a refill from the sensor or a file.
constexpr int UNSENT_COLOUR = 0xFFF0A0;

/// Marks (unsent != 0) or unmarks the setting control as holding a value not sent yet.
void MarkUnsent(int control, int unsent);

/// Background of a setting control whose value a parameter file held out of range (or beyond
/// 16 bits): the panel shows the repaired value, the control's tooltip what the file held.
constexpr int REPAIRED_COLOUR = 0xFFC8B4;

/// The sixteen numbers a parameter file held, in the order of the parameter words, for the
/// SetPanelValues that shows them: every setting control that then shows another value than
/// its number is marked as repaired. Taken by that one SetPanelValues; every other refill of
/// the panel (from the sensor) clears the marks.
void NoteFileValues(const u32 values[PNUM]);
