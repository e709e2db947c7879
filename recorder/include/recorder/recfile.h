// The recorder file: its header, its column head and its record lines, as Windows-1252 bytes with
// CR LF line ends; and the rule that keeps a batch name a plain file name of the data folder.
//
// The byte formatting is done by small pure functions over fixed buffers; writeFileHeader and
// AppendRecordLine put one whole line on the disk per call, so a crash loses at most the line
// that was being written.
#pragma once

#include <cstddef>

#include "state/globals.h"

constexpr int HEADER_LINES = 7;            ///< six header lines and the column head
constexpr int RECORD_COLUMNS = 7;          ///< numbers of one record line
constexpr int MAX_BATCH_NAME = 243;        ///< longest batch name that fits its header line
constexpr int HEADER_LINE_SIZE = PATH_SIZE;///< buffer of the longest header line ("Chargen-Name:")
constexpr int RECORD_LINE_SIZE = 72;       ///< buffer of one record line

/// The values a header is built from.
struct RecHeader {
  const char* date;    ///< "MM-DD-YYYY" of the start of the run
  const char* time;    ///< "HH:MM:SS" of the start of the run
  const char* batch;   ///< batch name as entered (UTF-8); written in Windows-1252
  u16 incTime;         ///< record interval in seconds
  u16 numSample;       ///< maximum number of records
  u16 slope;           ///< slope setting
};

/// Builds header line `line` (0 = "Datum:" ... 5 = "Slope [µm/Pixel]:", 6 = the column head),
/// CR LF included, into `buf`. Returns its length in bytes, or -1 when `line` is out of range,
/// the batch name has a character Windows-1252 cannot hold, or the line does not fit `size`.
int BuildHeaderLine(int line, const RecHeader& header, char* buf, size_t size);

/// Builds one record line: the seven values in decimal, tab separated, CR LF at the end.
/// Returns its length, or -1 when it does not fit `size`.
int BuildRecordLine(const u16 values[RECORD_COLUMNS], char* buf, size_t size);

/// The seven values of a record from the results of the last result frame, in file order:
/// Ledge, Redge, Mvalue, edcnt, gapVal, gapPix, gapLen.
void CurrentRecordValues(u16 values[RECORD_COLUMNS]);

/// A pixel value scaled by the slope setting for the popup's indicators: value x slope / 1000,
/// computed in floating point (65535 x 65534 does not fit an int).
double ScaleBySlope(u16 value, u16 slope);

/// Windows-1252 bytes 0x80..0x9F and the characters they stand for (0 where the byte is unused);
/// the other bytes stand for the character of the same number.
extern const char32_t kWindows1252High[32];

/// Converts UTF-8 text to Windows-1252 bytes. Returns the byte count written (terminated), or -1
/// for malformed UTF-8, a character Windows-1252 has no byte for, or an output that does not fit.
int Utf8ToWindows1252(const char* in, char* out, size_t size);

/// Why a batch name cannot be used.
enum BatchNameCheck {
  BATCH_OK = 0,
  BATCH_EMPTY,         ///< no name at all
  BATCH_TOO_LONG,      ///< more than MAX_BATCH_NAME characters
  BATCH_SEPARATOR,     ///< holds '/' or '\'
  BATCH_PARENT,        ///< holds ".." (or is ".")
  BATCH_CONTROL,       ///< holds a tab, line end or other control character
  BATCH_CHARSET,       ///< holds a character the file's Windows-1252 header cannot hold
  BATCH_PATH_TOO_LONG  ///< fits, but the data folder joined with it exceeds a path buffer
};

/// Checks that `name` can be both the batch name of the header and a file name in the data
/// folder. BATCH_PATH_TOO_LONG is not found here (it needs the folder); see the popup.
BatchNameCheck CheckBatchName(const char* name);
/// The text the recorder status box shows when a name is refused for `why`.
const char* BatchNameRefusal(BatchNameCheck why);

/// Date and time of the start of the current run, shown on the popup and written in the header.
extern char szRunDate[36];
extern char szRunTime[36];
/// The file of the current run: rec_fname when the run started. A name chosen during a run
/// applies to the next run, so the records of one run never land in two files.
extern char szRunFile[PATH_SIZE];

/// Creates szRunFile as a new file (it must not exist) and writes the six header lines and the
/// column head, each line on the disk before the next. The batch name is charge_fname. From
/// here until ReleaseRunFile the run holds this file. Returns 0, or -1 when the file could not
/// be created or a line could not be written completely.
int writeFileHeader(void);

/// Appends one record line of the current results to the run's file and returns once it is on
/// the disk: 0, or -1 when it could not be written, also when szRunFile no longer names the
/// file the header created (removed, renamed away or replaced: the other file is not touched).
int AppendRecordLine(void);

/// Ends the run's hold on its file, at the end of the run.
void ReleaseRunFile(void);
/// True while a run holds its file and `path` names that same file, under any name or link.
bool IsRunFile(const char* path);
