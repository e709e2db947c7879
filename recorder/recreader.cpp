// The recorder file read back for the review: a streaming line parser over fixed buffers.
#include "recorder/recreader.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/sys/utility.h"
#include "recorder/recfile.h"

const char* const kReviewColumnNames[REVIEW_COLUMNS] = {
    "E-LEFT", "E-RIGHT", "M-VALUE", "EDGES", "GAPPIX", "GAPVAL", "GAPLEN",
};

namespace {

constexpr long long HEADER_END = 7;  // the column head is line 7, records start at line 8
constexpr const char* FIRST_LABEL = "Datum:\t";
constexpr size_t FIRST_LABEL_LENGTH = 7;
constexpr const char* COLUMN_HEAD = "E-LEFT\tE-RIGHT\tM-VALUE\tEDGES\tGAPPIX\tGAPVAL\tGAPLEN";
constexpr size_t CHUNK_SIZE = 64 * 1024;
// A count of the table is unsigned: the read stops before any count could wrap.
constexpr long long MAX_RECORDS = UINT_MAX;

// Windows-1252 bytes 0x80..0x9F: the writer's table (recfile.h), read the other way.
constexpr const char32_t* CP1252_HIGH = kWindows1252High;

// Converts Windows-1252 bytes to UTF-8 into `out`, cut at a character boundary when it does not
// fit. Unused bytes and control characters become U+FFFD, so the text shows what it cannot
// hold instead of ending at a NUL or breaking a line.
void Cp1252ToUtf8(const char* in, size_t n, char* out, size_t size) {
  size_t k = 0;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char b = static_cast<unsigned char>(in[i]);
    char32_t c = b;
    if (b < 0x20 || b == 0x7F) c = 0xFFFD;
    else if (b >= 0x80 && b < 0xA0) c = CP1252_HIGH[b - 0x80] ? CP1252_HIGH[b - 0x80] : 0xFFFD;
    char bytes[3];
    size_t len = 0;
    if (c < 0x80) {
      bytes[len++] = static_cast<char>(c);
    } else if (c < 0x800) {
      bytes[len++] = static_cast<char>(0xC0 | (c >> 6));
      bytes[len++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      bytes[len++] = static_cast<char>(0xE0 | (c >> 12));
      bytes[len++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes[len++] = static_cast<char>(0x80 | (c & 0x3F));
    }
    if (k + len + 1 > size) break;
    std::memcpy(out + k, bytes, len);
    k += len;
  }
  out[k] = '\0';
}

template <size_t N>
void HeaderText(char (&field)[N], const char* line, size_t len) {
  const char* tab = static_cast<const char*>(std::memchr(line, '\t', len));
  const size_t skip = tab ? static_cast<size_t>(tab - line) + 1 : len;
  Cp1252ToUtf8(line + skip, len - skip, field, N);
}

enum LineKind { LINE_RECORD, LINE_SHORT, LINE_BAD };

// Seven unsigned decimals 0..65535, tab separated, nothing else. LINE_SHORT: numbers and tabs
// only, but fewer than seven (the start of a record line): a cut-off line when it is the last.
LineKind ParseRecord(const char* p, size_t len, unsigned short values[REVIEW_COLUMNS]) {
  const char* end = p + len;
  int field = 0;
  for (;;) {
    unsigned value = 0;
    const char* start = p;
    while (p < end && *p >= '0' && *p <= '9') {
      value = value * 10 + static_cast<unsigned>(*p - '0');
      if (value > 65535) return LINE_BAD;
      ++p;
    }
    const bool digits = p != start;
    if (p == end) {
      if (!digits) return field == 0 ? LINE_BAD : LINE_SHORT;
      values[field++] = static_cast<unsigned short>(value);
      return field == REVIEW_COLUMNS ? LINE_RECORD : LINE_SHORT;
    }
    if (*p != '\t' || !digits || field == REVIEW_COLUMNS - 1) return LINE_BAD;
    values[field++] = static_cast<unsigned short>(value);
    ++p;
  }
}

void Fail(ReviewParser* p, const char* why) {
  std::snprintf(p->out->message, sizeof p->out->message, "Not a recorder file: %s.", why);
  p->done = true;
}

void CountBad(ReviewParser* p, long long line) {
  ReviewFile* f = p->out;
  if (f->badLines++ == 0) f->firstBadLine = line;
}

// Adds one record to the counts and the trace. The trace keeps at most REVIEW_POINTS buckets:
// when a record would open one more, neighbours merge and the width doubles, so each bucket's
// min and max still cover every record in it and no spike is lost.
void AddRecord(ReviewParser* p, const unsigned short v[REVIEW_COLUMNS]) {
  ReviewFile* f = p->out;
  ReviewColumn* cols = f->columns;
  const long long width = cols[0].bucketWidth;
  if (p->inBucket == width) {
    int b = cols[0].buckets;
    if (b == REVIEW_POINTS) {
      for (int c = 0; c < REVIEW_COLUMNS; ++c) {
        ReviewColumn& col = cols[c];
        for (int i = 0; i < REVIEW_POINTS / 2; ++i) {
          col.low[i] = col.low[2 * i] < col.low[2 * i + 1] ? col.low[2 * i] : col.low[2 * i + 1];
          col.high[i] = col.high[2 * i] > col.high[2 * i + 1] ? col.high[2 * i] : col.high[2 * i + 1];
        }
        col.bucketWidth = width * 2;
      }
      b = REVIEW_POINTS / 2;
    }
    for (int c = 0; c < REVIEW_COLUMNS; ++c) {
      cols[c].low[b] = cols[c].high[b] = v[c];
      cols[c].buckets = b + 1;
      ++cols[c].counts[v[c]];
    }
    p->inBucket = 1;
  } else {
    const int b = cols[0].buckets - 1;
    for (int c = 0; c < REVIEW_COLUMNS; ++c) {
      ReviewColumn& col = cols[c];
      if (v[c] < col.low[b]) col.low[b] = v[c];
      if (v[c] > col.high[b]) col.high[b] = v[c];
      ++col.counts[v[c]];
    }
    ++p->inBucket;
  }
  if (++f->records == MAX_RECORDS) {
    p->full = true;
    p->done = true;
  }
}

// One complete line, its line end taken off. `longLine`: it held more than REVIEW_LINE_SIZE
// bytes, of which `len` (at most that many) are here.
void TakeLine(ReviewParser* p, const char* s, size_t len, bool longLine) {
  ReviewFile* f = p->out;
  const long long line = ++p->line;
  switch (line) {
    case 1:
      if (len < FIRST_LABEL_LENGTH || std::memcmp(s, FIRST_LABEL, FIRST_LABEL_LENGTH) != 0)
        return Fail(p, "its first line is not \"Datum:\"");
      return HeaderText(f->date, s, len);
    case 2:
      return HeaderText(f->time, s, len);
    case 3:
      return HeaderText(f->batch, s, len);
    case 4:
      return HeaderText(f->interval, s, len);
    case 5:
      return HeaderText(f->maxCount, s, len);
    case 6:
      return HeaderText(f->slope, s, len);
    case HEADER_END:
      if (longLine || len != std::strlen(COLUMN_HEAD) || std::memcmp(s, COLUMN_HEAD, len) != 0)
        return Fail(p, "line 7 is not the column head");
      f->isRecorderFile = true;
      return;
    default:
      break;
  }
  // A line of fewer than seven numbers is cut off only when no line follows it.
  if (p->shortLine) {
    CountBad(p, p->shortLine);
    p->shortLine = 0;
  }
  unsigned short values[REVIEW_COLUMNS];
  const LineKind kind = longLine ? LINE_BAD : ParseRecord(s, len, values);
  if (kind == LINE_RECORD) AddRecord(p, values);
  else if (kind == LINE_SHORT) p->shortLine = line;
  else CountBad(p, line);
}

// Takes a line as it came, line end included or not: a CR before the LF goes, and a line longer
// than REVIEW_LINE_SIZE is judged on its first REVIEW_LINE_SIZE bytes, wherever the pieces of
// the input were cut.
void EndLine(ReviewParser* p, const char* s, size_t len, bool overflowed) {
  if (!overflowed && len > 0 && s[len - 1] == '\r') --len;
  const bool longLine = overflowed || len > static_cast<size_t>(REVIEW_LINE_SIZE);
  TakeLine(p, s, longLine ? REVIEW_LINE_SIZE : len, longLine);
}

// Keeps the start of a line that continues in the next piece. One byte more than
// REVIEW_LINE_SIZE is kept, so a line of exactly that length with its CR is still whole.
void Keep(ReviewParser* p, const char* s, size_t len) {
  const size_t room = sizeof p->pending - p->pendingLen;
  const size_t n = len < room ? len : room;
  std::memcpy(p->pending + p->pendingLen, s, n);
  p->pendingLen += n;
  if (n < len) p->pendingLong = true;
}

void AddPart(char* message, size_t size, const char* part) {
  if (message[0]) AppendText(message, size, "; ");
  AppendText(message, size, part);
}

// Mean, sum of squared deviations and extremes from the exact counts: two passes over the
// value table cost the same for any file and lose no precision to the order of the records.
void FillStatistics(ReviewColumn* c, long long n) {
  c->n = n;
  c->mean = c->m2 = c->min = c->max = 0;
  if (n == 0) return;
  unsigned long long sum = 0;
  int lowest = -1, highest = 0;
  for (int v = 0; v < REVIEW_VALUES; ++v) {
    if (!c->counts[v]) continue;
    if (lowest < 0) lowest = v;
    highest = v;
    sum += static_cast<unsigned long long>(v) * c->counts[v];
  }
  c->mean = static_cast<double>(sum) / static_cast<double>(n);
  double m2 = 0;
  for (int v = lowest; v <= highest; ++v) {
    if (!c->counts[v]) continue;
    const double d = v - c->mean;
    m2 += d * d * c->counts[v];
  }
  c->m2 = m2;
  c->min = lowest;
  c->max = highest;
}

}  // namespace

void BeginReview(ReviewParser* p, ReviewFile* out) {
  std::memset(out, 0, sizeof *out);
  for (ReviewColumn& c : out->columns) c.bucketWidth = 1;
  p->out = out;
  p->line = 0;
  p->pendingLen = 0;
  p->pendingLong = false;
  p->done = false;
  p->inBucket = 1;  // as full as the width: the first record opens the first bucket
  p->shortLine = 0;
  p->full = false;
  p->unread = false;
}

bool FeedReview(ReviewParser* p, const char* bytes, size_t count) {
  while (count > 0 && !p->done) {
    const char* lf = static_cast<const char*>(std::memchr(bytes, '\n', count));
    if (!lf) {
      Keep(p, bytes, count);
      break;
    }
    const size_t len = static_cast<size_t>(lf - bytes);
    if (p->pendingLen == 0) {
      EndLine(p, bytes, len, false);
    } else {
      Keep(p, bytes, len);
      EndLine(p, p->pending, p->pendingLen, p->pendingLong);
      p->pendingLen = 0;
      p->pendingLong = false;
    }
    bytes += len + 1;
    count -= len + 1;
  }
  return !p->done;
}

int EndReview(ReviewParser* p) {
  ReviewFile* f = p->out;
  const bool tail = p->pendingLen > 0;
  if (!f->isRecorderFile) {
    if (f->message[0] == '\0') {
      if (p->line == 0 && !tail) Fail(p, "the file is empty");
      else if (p->line == 0 && (p->pendingLen < FIRST_LABEL_LENGTH ||
                                std::memcmp(p->pending, FIRST_LABEL, FIRST_LABEL_LENGTH) != 0))
        Fail(p, "its first line is not \"Datum:\"");
      else Fail(p, "the header ends before the column head");
    }
    // Nothing read: no header text of a file that is not one stays behind.
    f->date[0] = f->time[0] = f->batch[0] = f->interval[0] = f->maxCount[0] = f->slope[0] = '\0';
    return -1;
  }
  // A read that stopped early (full, or the file unreadable) leaves its last line unjudged.
  if (!p->full && !p->unread) {
    if (tail) {
      // The unterminated last line does not count; a short line before it was not the last.
      if (p->shortLine) CountBad(p, p->shortLine);
      f->cutOff = true;
    } else if (p->shortLine) {
      f->cutOff = true;
    }
  }
  p->shortLine = 0;
  for (ReviewColumn& c : f->columns) FillStatistics(&c, f->records);

  char part[96];
  if (f->badLines > 0) {
    std::snprintf(part, sizeof part, "%lld bad line%s skipped (first: line %lld)", f->badLines,
                  f->badLines == 1 ? "" : "s", f->firstBadLine);
    AddPart(f->message, sizeof f->message, part);
  }
  if (f->cutOff) AddPart(f->message, sizeof f->message, "the last line is cut off");
  if (p->full) {
    std::snprintf(part, sizeof part, "only the first %lld records were read", MAX_RECORDS);
    AddPart(f->message, sizeof f->message, part);
  }
  if (p->unread) AddPart(f->message, sizeof f->message, "the file could not be read to its end");
  if (f->message[0] == '\0') return 0;
  if (f->message[0] >= 'a' && f->message[0] <= 'z') f->message[0] = static_cast<char>(f->message[0] - 'a' + 'A');
  AppendText(f->message, ".");
  return 1;
}

int ParseRecorderBytes(const char* bytes, size_t count, ReviewFile* out) {
  ReviewParser p;
  BeginReview(&p, out);
  if (bytes) FeedReview(&p, bytes, count);
  return EndReview(&p);
}

int ReadRecorderFile(const char* path, ReviewFile* out) {
  static char chunk[CHUNK_SIZE];
  ReviewParser p;
  BeginReview(&p, out);
  long long offset = 0;
  for (;;) {
    size_t got = 0;
    if (ReadFileRange(path, offset, chunk, sizeof chunk, &got) != 0) {
      if (offset == 0) {
        CopyText(out->message, "The file could not be opened.");
        return -1;
      }
      // What was read counts; the message says the rest is missing.
      p.unread = true;
      break;
    }
    if (!FeedReview(&p, chunk, got) || got < sizeof chunk) break;
    offset += static_cast<long long>(got);
  }
  return EndReview(&p);
}

double ColumnSd(const ReviewColumn& c) {
  if (c.n < 2) return 0;
  return std::sqrt(c.m2 / static_cast<double>(c.n - 1));
}

long long ColumnOutside(const ReviewColumn& c, double lower, double upper) {
  long long outside = 0;
  for (int v = 0; v < REVIEW_VALUES; ++v)
    if (c.counts[v] && (v < lower || v > upper)) outside += c.counts[v];
  return outside;
}
