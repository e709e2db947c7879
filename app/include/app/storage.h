// Where the parameter set is kept: the sensor's RAM, its EEPROM or a parameter file. The three
// target buttons choose the place, Send writes the panel's settings there, Get reads them back.
//
// The parameter file's text is link/com232_paraset.h's.
#pragma once

#include <cstddef>

#include "link/com232_paraset.h"
#include "state/globals.h"

/// Path of the parameter file last chosen in a file dialog.
extern char file_name[PATH_SIZE];

constexpr const char* PARA_FILE_DEFAULT = "KVORpara.dat";
constexpr const char* PARA_FILE_FILTER = "*.dat";
constexpr const char* PARA_SAVE_TITLE = "K-VOR-PX-Series Parameter File";
constexpr const char* PARA_LOAD_TITLE = "K-VOR-PX-Parameter-File";
constexpr const char* PARA_READ_FAILED = "Parameter file could not be read!";
constexpr const char* PARA_WRITE_FAILED = "Parameter file could not be written!";
/// Said when a write went out but the change log could not take its line.
constexpr const char* CHANGE_LOG_FAILED = "Change log could not be written!";

/// The parameter file dialog, for saving (1) or loading (0): the program's folder, "*.dat",
/// the default name. Returns FileSelectPopup's result; the path in `path` when one was chosen.
int ChooseParameterFile(int forSaving, char* path);
/// The settings take a parameter file's numbers (each cut to 16 bits); the panel refresh that
/// follows marks what it had to repair.
void TakeParameterValues(const u32 values[PNUM]);
/// Reads the sixteen numbers of a parameter file; false (values untouched) for a file that
/// cannot be read or is no parameter file.
bool ReadParameterValues(const char* path, u32 values[PNUM]);

/// The panel's settings into the parameter file `file_name`. A failed write is reported on
/// the status line.
void SendParaToFile(void);
/// Writes `words` (a parameter set in frame order) to the sensor's RAM or EEPROM (`to`); the
/// settings and the panel take them too.
void SendWords(int to, const u16 words[PNUM]);
/// Asks for a parameter file and takes its values (low 16 bits of each) as the settings. A
/// cancelled dialog changes nothing; a bad or unreadable file changes nothing and is reported.
void ReadParaFromFile(void);

/// Target buttons: on every change keep exactly one of the three on (RAM when the others go
/// off) and set `target`.
int CC_RBTRam(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_RBTEeprom(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_RBTFile(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
/// Send button: on the left mouse press writes the panel's settings to the target.
int CC_BTNSend(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
/// Get button: on commit reads the settings from the target into the settings and the panel.
int CC_BTNGet(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
