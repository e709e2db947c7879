// What the sensor holds, as far as the panel knows, and the settings the panel shows that the
// sensor has not received. A setting the operator changed (or that a file or another set put
// on the panel) and that differs from the sensor's is marked unsent, pale yellow with the
// sensor's value in its tooltip, until a send or a read-back replaces it. A read the operator
// did not ask for never replaces an unsent value.
#pragma once

#include "state/globals.h"

/// The set last sent to the sensor (its RAM or EEPROM) or read from it; before either, the
/// panel's start values stand in for it.
extern u16 sensorSet[PNUM];
/// 1 once a send or a read-back told what the sensor holds.
extern int sensorSetKnown;
/// Bit i set: word i is changed on the panel and not sent.
extern unsigned unsentWords;
/// The words that the next parameter report may replace although they are unsent: every word
/// for a GET the operator asked for or a file read, the setpoint for a teach, none for the
/// link's own readings (the identification after a reconnection). Set around the read.
extern unsigned replaceUnsent;
constexpr unsigned ALL_WORDS = (1u << PNUM) - 1;

/// The control that shows parameter word `word`, 0 for the offset (no control).
int SettingControl(int word);
/// The parameter word a control shows, or -1 when it shows none.
int SettingWord(int control);
/// The value the panel shows for `word` (the global for the word without a control).
u16 ShownWord(int word);
/// 1 when `word` is marked unsent.
int SettingUnsent(int word);

/// The panel's start values stand for the sensor's set until the sensor tells its own.
void AssumeSensorSet(void);
/// The sensor holds `words` now (a send went out, or a read-back came): nothing is unsent.
void NoteSensorSet(const u16 words[PNUM]);
/// The sensor's RAM was read without touching the panel: the set is noted, and each unsent
/// mark whose value the sensor now holds is dropped.
void NoteSensorRam(const u16 words[PNUM]);
/// The operator changed `control`: marked unsent when it now differs from the sensor's value.
void SettingChangedOnPanel(int control);
/// The panel took a set that did not come from the sensor (a file, a column of the compare
/// window): every word that differs from the sensor's is unsent.
void MarkDifferencesUnsent(void);
/// The link's parameter report: takes an answer as the sensor's set, keeps on the panel every
/// unsent value the report may not replace (their marks and tooltips stay), and shows the
/// settings (SetPanelValues).
void ShowParameterSet(int outcome);

/// Colours and tooltips of the setting controls from the unsent marks and the repairs a
/// parameter file needed (bit i of `repaired` with `fileValues[i]` what the file held).
void RenderSettingMarks(unsigned repaired, const u32 fileValues[PNUM]);
