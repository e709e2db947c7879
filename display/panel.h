// Binding of the main panel's setting controls to the setting globals.
#pragma once

#include "app/globals.h"

/// Reads the fifteen setting controls of the main panel into their globals, unchecked.
void GetPanelValues(void);

/// Repairs out-of-range settings in the globals, adapts the tolerance and analog-output groups,
/// writes the settings into the panel (which then holds what the sensor or the file holds: no
/// control stays marked unsent), refills thdArray with vThd, and redraws the video curve,
/// the edge-window cursors, the sensor range and the tolerance band.
void SetPanelValues(void);

/// Dims (dim > 0) or undims (dim == 0) the seven command buttons of the main panel and the
/// recorder's start button, so no second loop can start while a recording runs.
void DimmButtons(u16 dim);

/// Background of a setting control whose value the program put in for the operator and the
/// sensor has not received yet: pale yellow until SEND or a refill from the sensor or a file.
constexpr int UNSENT_COLOUR = 0xFFF0A0;

/// Marks (unsent != 0) or unmarks the setting control as holding a value not sent yet.
void MarkUnsent(int control, int unsent);
