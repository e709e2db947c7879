// The recorder file's bytes: header lines, column head and record lines.
#include "recorder/recfile.h"

#include <charconv>
#include <cstring>

#include "platform/sys/utility.h"

char szRunDate[36];
char szRunTime[36];
char szRunFile[PATH_SIZE];

const char32_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

namespace {

constexpr const char* LINE_END = "\r\n";
// The micro sign of the slope label is the single Windows-1252 byte 0xB5.
constexpr const char* HEADER_LABELS[HEADER_LINES - 1] = {
    "Datum:\t",
    "Zeit:\t",
    "Chargen-Name:\t",
    "Zeit-Intervall[s]:\t",
    "Max. Anzahl Messwerte:\t",
    "Slope [\xB5m/Pixel]:\t",
};
constexpr const char* TABLE_HEAD = "E-LEFT\tE-RIGHT\tM-VALUE\tEDGES\tGAPPIX\tGAPVAL\tGAPLEN\r\n";

// Appends `n` bytes to buf at *len, keeping room for the terminator. False when they do not fit.
bool Put(char* buf, size_t size, size_t* len, const char* text, size_t n) {
  if (*len + n + 1 > size) return false;
  std::memcpy(buf + *len, text, n);
  *len += n;
  buf[*len] = '\0';
  return true;
}

bool PutText(char* buf, size_t size, size_t* len, const char* text) {
  return Put(buf, size, len, text, std::strlen(text));
}

// An unsigned decimal without blanks, sign or leading zeros; to_chars ignores the locale.
bool PutNumber(char* buf, size_t size, size_t* len, unsigned value) {
  char digits[12];
  auto res = std::to_chars(digits, digits + sizeof digits, value);
  return Put(buf, size, len, digits, static_cast<size_t>(res.ptr - digits));
}

constexpr const char32_t* CP1252_HIGH = kWindows1252High;

// The Windows-1252 byte of a character, or -1 when it has none. C1 controls have none.
int Cp1252Byte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (int i = 0; i < 32; ++i)
    if (CP1252_HIGH[i] != 0 && CP1252_HIGH[i] == c) return 0x80 + i;
  return -1;
}

// Decodes one UTF-8 character at *p and advances past it; false for a malformed sequence.
bool NextUtf8(const unsigned char** p, char32_t* out) {
  const unsigned char* s = *p;
  int extra = 0;
  char32_t c = 0;
  if (s[0] < 0x80) {
    c = s[0];
  } else if ((s[0] & 0xE0) == 0xC0) {
    c = s[0] & 0x1F;
    extra = 1;
  } else if ((s[0] & 0xF0) == 0xE0) {
    c = s[0] & 0x0F;
    extra = 2;
  } else if ((s[0] & 0xF8) == 0xF0) {
    c = s[0] & 0x07;
    extra = 3;
  } else {
    return false;
  }
  for (int i = 1; i <= extra; ++i) {
    if ((s[i] & 0xC0) != 0x80) return false;
    c = (c << 6) | (s[i] & 0x3F);
  }
  // Overlong forms and surrogates are not characters.
  static constexpr char32_t MIN_FOR[4] = {0, 0x80, 0x800, 0x10000};
  if (c < MIN_FOR[extra] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return false;
  *p = s + 1 + extra;
  *out = c;
  return true;
}

// The file the header of the current run created, and whether a run is writing to it.
FileId gRunFileId;
bool gRunFileHeld = false;

// Appends one line to the run's own file: never to a file that took its name since.
int WriteLine(const char* line, int length) {
  if (length < 0 || !gRunFileHeld) return -1;
  return AppendToFile(szRunFile, gRunFileId, line, static_cast<size_t>(length)) == 0 ? 0 : -1;
}

}  // namespace

double ScaleBySlope(u16 value, u16 slope) {
  return static_cast<double>(value) * static_cast<double>(slope) / 1000.0;
}

int Utf8ToWindows1252(const char* in, char* out, size_t size) {
  if (!in || !out || size == 0) return -1;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(in);
  size_t n = 0;
  while (*p) {
    char32_t c = 0;
    if (!NextUtf8(&p, &c)) return -1;
    const int b = Cp1252Byte(c);
    if (b < 0 || n + 2 > size) return -1;
    out[n++] = static_cast<char>(b);
  }
  out[n] = '\0';
  return static_cast<int>(n);
}

int BuildHeaderLine(int line, const RecHeader& h, char* buf, size_t size) {
  if (!buf || size == 0 || line < 0 || line >= HEADER_LINES) return -1;
  buf[0] = '\0';
  size_t len = 0;
  if (line == HEADER_LINES - 1) return PutText(buf, size, &len, TABLE_HEAD) ? static_cast<int>(len) : -1;
  if (!PutText(buf, size, &len, HEADER_LABELS[line])) return -1;
  bool ok = true;
  switch (line) {
    case 0:
      ok = PutText(buf, size, &len, h.date ? h.date : "");
      break;
    case 1:
      ok = PutText(buf, size, &len, h.time ? h.time : "");
      break;
    case 2: {
      char batch[HEADER_LINE_SIZE];
      ok = Utf8ToWindows1252(h.batch ? h.batch : "", batch, sizeof batch) >= 0 &&
           PutText(buf, size, &len, batch);
      break;
    }
    case 3:
      ok = PutNumber(buf, size, &len, h.incTime);
      break;
    case 4:
      ok = PutNumber(buf, size, &len, h.numSample);
      break;
    default:
      ok = PutNumber(buf, size, &len, h.slope);
      break;
  }
  if (!ok || !PutText(buf, size, &len, LINE_END)) return -1;
  return static_cast<int>(len);
}

int BuildRecordLine(const u16 values[RECORD_COLUMNS], char* buf, size_t size) {
  if (!buf || size == 0) return -1;
  buf[0] = '\0';
  size_t len = 0;
  for (int i = 0; i < RECORD_COLUMNS; ++i) {
    if (i > 0 && !PutText(buf, size, &len, "\t")) return -1;
    if (!PutNumber(buf, size, &len, values[i])) return -1;
  }
  if (!PutText(buf, size, &len, LINE_END)) return -1;
  return static_cast<int>(len);
}

void CurrentRecordValues(u16 values[RECORD_COLUMNS]) {
  // gapVal stands before gapPix, under the heads "GAPPIX" and "GAPVAL": that is the recorder
  // file's format as it stands, kept so every file written keeps the same columns.
  const u16 record[RECORD_COLUMNS] = {Ledge, Redge, Mvalue, edcnt, gapVal, gapPix, gapLen};
  for (int i = 0; i < RECORD_COLUMNS; ++i) values[i] = record[i];
}

BatchNameCheck CheckBatchName(const char* name) {
  if (!name || !*name) return BATCH_EMPTY;
  for (const char* p = name; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c == 0x7F) return BATCH_CONTROL;
  }
  if (std::strchr(name, '/') || std::strchr(name, '\\')) return BATCH_SEPARATOR;
  if (std::strstr(name, "..") || std::strcmp(name, ".") == 0) return BATCH_PARENT;
  char bytes[4 * PATH_SIZE];
  const int n = Utf8ToWindows1252(name, bytes, sizeof bytes);
  if (n < 0) return std::strlen(name) >= sizeof bytes ? BATCH_TOO_LONG : BATCH_CHARSET;
  if (n > MAX_BATCH_NAME) return BATCH_TOO_LONG;
  // A C1 control decodes from two UTF-8 bytes and has no Windows-1252 byte: caught above.
  return BATCH_OK;
}

const char* BatchNameRefusal(BatchNameCheck why) {
  switch (why) {
    case BATCH_OK:
      return "";
    case BATCH_EMPTY:
      return "BATCH NAME REFUSED - EMPTY NAME!";
    case BATCH_TOO_LONG:
      return "BATCH NAME REFUSED - MORE THAN 243 CHARACTERS!";
    case BATCH_SEPARATOR:
      return "BATCH NAME REFUSED - NO '/' OR '\\' ALLOWED!";
    case BATCH_PARENT:
      return "BATCH NAME REFUSED - NO \"..\" ALLOWED!";
    case BATCH_CONTROL:
      return "BATCH NAME REFUSED - NO CONTROL CHARACTERS!";
    case BATCH_CHARSET:
      return "BATCH NAME REFUSED - CHARACTER NOT IN WINDOWS-1252!";
    case BATCH_PATH_TOO_LONG:
      return "BATCH NAME REFUSED - PATH TOO LONG!";
  }
  return "BATCH NAME REFUSED!";
}

int writeFileHeader(void) {
  const RecHeader header{szRunDate, szRunTime, charge_fname, incTime, numSample, slope};
  gRunFileHeld = CreateNewFile(szRunFile, &gRunFileId) == 0;
  if (!gRunFileHeld) return -1;
  char line[HEADER_LINE_SIZE];
  for (int i = 0; i < HEADER_LINES; ++i) {
    if (WriteLine(line, BuildHeaderLine(i, header, line, sizeof line)) != 0) return -1;
  }
  return 0;
}

int AppendRecordLine(void) {
  u16 values[RECORD_COLUMNS];
  CurrentRecordValues(values);
  char line[RECORD_LINE_SIZE];
  return WriteLine(line, BuildRecordLine(values, line, sizeof line));
}

void ReleaseRunFile(void) { gRunFileHeld = false; }

bool IsRunFile(const char* path) {
  FileId id;
  return gRunFileHeld && GetFileId(path, &id) == 0 && id == gRunFileId;
}
