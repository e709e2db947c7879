// The recorder file read back for the review: header texts, per column the statistics, the
// count of every value and a decimated trace over the record number.
//
// The reader is pure and streaming: bytes go in piece by piece (ReviewParser), lines are parsed
// as they complete, and nothing grows with the file: a file of any length fills the same fixed
// ReviewFile. ReadRecorderFile feeds it the file in fixed chunks; ParseRecorderBytes feeds it
// bytes from memory.
//
// What a file gives (either line end, CR LF or LF, is taken):
// - not a recorder file (empty, first line not "Datum:\t...", no column head in line 7, or the
//   header ends before it): -1, nothing read, "Not a recorder file: <why>.";
// - the header alone (a run of 0 records): 0, no message;
// - a last line without its line end, or of fewer than seven numbers: it does not count,
//   cutOff, "The last line is cut off.";
// - a line in the middle that is not seven numbers 0..65535: skipped and counted,
//   "3 bad lines skipped (first: line 12)." (both joined by "; " when both happened);
// - a file that cannot be opened: -1, "The file could not be opened.".
#pragma once

#include <cstddef>

constexpr int REVIEW_COLUMNS = 7;      ///< as RECORD_COLUMNS
constexpr int REVIEW_POINTS = 4096;    ///< buckets of the decimated trace
constexpr int REVIEW_VALUES = 65536;   ///< every value a record can hold, 0..65535

/// One column of the file.
struct ReviewColumn {
  long long n;                          ///< values counted (the good records)
  /// Mean, sum of squared deviations from it, extremes (0 when n = 0); computed from the exact
  /// counts when the read ends, so they do not depend on the order of the records.
  double mean, m2, min, max;
  unsigned counts[REVIEW_VALUES];       ///< how often each value occurs
  int buckets;                          ///< buckets in use
  long long bucketWidth;                ///< records per bucket (the last one may hold fewer)
  unsigned short low[REVIEW_POINTS], high[REVIEW_POINTS];  ///< min and max of each bucket
};

/// A recorder file as read for the review.
struct ReviewFile {
  /// Header texts, converted from Windows-1252 to UTF-8, truncated to their buffers.
  char date[36], time[36], batch[256 * 3], interval[16], maxCount[16], slope[16];
  long long records;          ///< good record lines read
  long long badLines;         ///< skipped
  long long firstBadLine;     ///< 1-based line number, 0 when none
  bool cutOff;                ///< the last line was incomplete
  bool isRecorderFile;        ///< false: nothing read
  char message[256];          ///< "" when all is well; else the one clear message
  ReviewColumn columns[REVIEW_COLUMNS];
};

/// The column names in file order, as the column head has them.
extern const char* const kReviewColumnNames[REVIEW_COLUMNS];

/// Reads `path` into `out` (a static object: it is large). Returns 0 when the whole file was
/// read cleanly, 1 when it was read with a message (bad or cut lines), -1 when nothing could
/// be read (message says why).
int ReadRecorderFile(const char* path, ReviewFile* out);
/// The same from bytes in memory (what the fuzz target and the tests call).
int ParseRecorderBytes(const char* bytes, size_t count, ReviewFile* out);

/// Sample standard deviation of a column (0 when n < 2).
double ColumnSd(const ReviewColumn& c);
/// The count of a column's values outside [lower, upper].
long long ColumnOutside(const ReviewColumn& c, double lower, double upper);

/// Longest line the reader keeps when it straddles two pieces; a longer one is never a valid
/// line of the file and is judged by what it is (a header line is cut to its buffer, a record
/// line is bad).
constexpr int REVIEW_LINE_SIZE = 1024;

/// The state of a read in progress: both entry points above are built on it. Fields are the
/// reader's own; use the three calls below.
struct ReviewParser {
  ReviewFile* out;
  long long line;                 ///< lines completed so far
  char pending[REVIEW_LINE_SIZE + 1];  ///< start of a line whose end has not come yet (and its CR)
  size_t pendingLen;
  bool pendingLong;               ///< the pending line outgrew `pending`
  bool done;                      ///< nothing more is wanted (not a recorder file, or full)
  long long inBucket;             ///< records in the last bucket of the trace
  long long shortLine;            ///< a line of fewer than seven numbers not yet judged, or 0
  bool full;                      ///< the counts could take no more records
  bool unread;                    ///< set by the caller: the input could not be read to its end
};

/// Starts a read into `out` (cleared).
void BeginReview(ReviewParser* p, ReviewFile* out);
/// Feeds the next `count` bytes. False once the reader wants no more (the rest would change
/// nothing), so a reader of a file may stop.
bool FeedReview(ReviewParser* p, const char* bytes, size_t count);
/// Ends the read: judges the last line, fills the statistics and the message. Returns as
/// ReadRecorderFile.
int EndReview(ReviewParser* p);
