// The settings change log: one line a send, appended to a file in the data folder.
#include "app/change_log.h"

#include <cstdio>
#include <cstring>

#include "link/com232.h"
#include "link/com232_paraset.h"
#include "platform/serial/rs232.h"
#include "platform/sys/utility.h"

namespace {

constexpr const char* FIELD_SEPARATOR = " | ";
constexpr const char* NOT_IDENTIFIED = "sensor not identified";
constexpr const char* NOTHING_CHANGED = "no setting changed";

// Builds a line piece by piece into a fixed buffer. Once a piece does not fit, nothing more is
// added, so a cut line is the beginning of the whole line and never has a hole in it.
struct LineWriter {
  char* out;
  size_t size;
  size_t length = 0;
  bool full = false;

  // Adds `count` bytes as one unit (a whole character or a whole number): all or nothing.
  void Put(const char* bytes, size_t count) {
    if (full || length + count >= size) {
      full = true;
      return;
    }
    memcpy(out + length, bytes, count);
    length += count;
    out[length] = '\0';
  }
  void Plain(const char* text) {
    for (; text && *text; ++text) Put(text, 1);
  }
  // Adds a text from outside (a user name, a path, a firmware text): valid UTF-8 characters
  // stay as they are; control characters (C0, DEL, C1) and bytes that are not UTF-8 become
  // '?', so the line stays one line of valid UTF-8 whatever the text held.
  void Clean(const char* text) {
    if (!text) return;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
      const size_t n = Utf8Length(p);
      const bool control = n == 1 ? (*p < 0x20 || *p == 0x7F) : (n == 2 && p[0] == 0xC2 && p[1] < 0xA0);
      if (n == 0 || control) {
        Put("?", 1);
        p += n == 0 ? 1 : n;
      } else {
        Put(reinterpret_cast<const char*>(p), n);
        p += n;
      }
    }
  }
  void Number(unsigned value) {
    char text[16];
    const int n = snprintf(text, sizeof text, "%u", value);
    if (n > 0) Put(text, static_cast<size_t>(n));
  }

  // Bytes of the well-formed UTF-8 character at `p`, 0 when it is not one (a stray
  // continuation byte, an overlong form, a surrogate, beyond U+10FFFF, or cut short).
  static size_t Utf8Length(const unsigned char* p) {
    const unsigned char c = p[0];
    if (c < 0x80) return 1;
    size_t n = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (c >= 0xC2 && c <= 0xDF) {
      n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 3;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 4;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    } else {
      return 0;
    }
    if (p[1] < low || p[1] > high) return 0;
    for (size_t i = 2; i < n; ++i) {
      if (p[i] < 0x80 || p[i] > 0xBF) return 0;
    }
    return n;
  }
};

void AppendSettings(LineWriter& w, const u16* before, const u16* after) {
  bool any = false;
  for (int i = 0; after && i < PNUM; ++i) {
    if (before && before[i] == after[i]) continue;
    if (any) w.Plain(", ");
    any = true;
    // One setting is one unit, so a cut line never ends in the middle of "key from -> to".
    char text[64];
    const int n = before ? snprintf(text, sizeof text, "%s %u -> %u", kSettings[i].key,
                                    static_cast<unsigned>(before[i]), static_cast<unsigned>(after[i]))
                         : snprintf(text, sizeof text, "%s ? -> %u", kSettings[i].key,
                                    static_cast<unsigned>(after[i]));
    if (n > 0 && static_cast<size_t>(n) < sizeof text) w.Put(text, static_cast<size_t>(n));
  }
  if (!any) w.Plain(NOTHING_CHANGED);
}

// The data folder the log lives in: the program's, or found now for a caller that has not
// set it (a tool, a test).
bool LogPath(const char* name, char* path) {
  char dir[PATH_BUFFER_SIZE];
  if (proj_dir[0]) {
    CopyText(dir, PATH_BUFFER_SIZE, proj_dir);
  } else if (GetProjectDir(dir) != 0) {
    return false;
  }
  return MakePathname(dir, name, path) == 0;
}

// Room for a whole log (its limit and the line that may stand beyond it when a rotation
// failed); larger files are read by their tail.
char tailBuffer[CHANGE_LOG_LIMIT + CHANGE_LOG_LINE_SIZE];

// The last `want` lines of the file at `path` into lines[0..], oldest first; returns how many.
// Empty lines are skipped; a CR before the LF is dropped; a line longer than a slot is cut at
// a character boundary.
int FileTailLines(const char* path, char (*lines)[CHANGE_LOG_LINE_SIZE], int want) {
  if (want <= 0) return 0;
  size_t count = 0;
  const int read = ReadFileTail(path, tailBuffer, sizeof tailBuffer, &count);
  if (read < 0) return 0;
  size_t first = 0;
  if (read == 1) {
    // The buffer begins inside a line: that piece is not a line of its own.
    const void* lf = memchr(tailBuffer, '\n', count);
    if (!lf) return 0;
    first = static_cast<size_t>(static_cast<const char*>(lf) - tailBuffer) + 1;
  }
  // Backwards to the start of the earliest line taken.
  size_t end = count;
  size_t start = count;
  int taken = 0;
  while (end > first && taken < want) {
    size_t begin = end;
    while (begin > first && tailBuffer[begin - 1] != '\n') --begin;
    if (begin < end) {
      ++taken;
      start = begin;
    }
    end = begin > first ? begin - 1 : first;  // past the LF before this line
  }
  // Forwards, copying.
  int n = 0;
  size_t pos = start;
  while (pos < count && n < taken) {
    size_t stop = pos;
    while (stop < count && tailBuffer[stop] != '\n') ++stop;
    size_t len = stop - pos;
    if (len > 0 && tailBuffer[pos + len - 1] == '\r') --len;
    if (stop > pos) {
      if (len > static_cast<size_t>(CHANGE_LOG_LINE_SIZE - 1)) {
        len = CHANGE_LOG_LINE_SIZE - 1;
        while (len > 0 && (static_cast<unsigned char>(tailBuffer[pos + len]) & 0xC0) == 0x80) --len;
      }
      memcpy(lines[n], tailBuffer + pos, len);
      lines[n][len] = '\0';
      ++n;
    }
    pos = stop + 1;
  }
  return n;
}

// Reverses the order of the slots lines[from .. to).
void ReverseSlots(char (*lines)[CHANGE_LOG_LINE_SIZE], int from, int to) {
  char swap[CHANGE_LOG_LINE_SIZE];
  for (int a = from, b = to - 1; a < b; ++a, --b) {
    memcpy(swap, lines[a], sizeof swap);
    memcpy(lines[a], lines[b], sizeof swap);
    memcpy(lines[b], swap, sizeof swap);
  }
}

}  // namespace

size_t FormatChangeLine(const ChangeFacts& facts, char* out, size_t size) {
  if (!out || size == 0) return 0;
  out[0] = '\0';
  LineWriter w{out, size};
  w.Clean(facts.when);
  w.Plain(FIELD_SEPARATOR);
  w.Clean(facts.user);
  w.Plain(FIELD_SEPARATOR);
  w.Clean(facts.port);
  w.Plain(FIELD_SEPARATOR);
  w.Clean(facts.identity);
  w.Plain(FIELD_SEPARATOR);
  w.Clean(facts.target);
  w.Plain(FIELD_SEPARATOR);
  AppendSettings(w, facts.before, facts.after);
  return w.length;
}

size_t SensorIdentityText(char* out, size_t size) {
  if (!out || size == 0) return 0;
  out[0] = '\0';
  LineWriter w{out, size};
  if (!sensorIdentified) {
    w.Plain(NOT_IDENTIFIED);
    return w.length;
  }
  w.Plain("type ");
  w.Number(ccdtype);
  w.Plain(", ");
  w.Number(ccdmaxpixel);
  w.Plain(" pixels, firmware ");
  // The firmware text as the board sent it, padded with blanks or NULs at its end: only
  // printable ASCII is shown as it is.
  size_t len = strnlen(szFirmware, sizeof szFirmware);
  while (len > 0 && static_cast<unsigned char>(szFirmware[len - 1]) <= 0x20) --len;
  if (len == 0) {
    w.Plain("word ");
    w.Number(softversion);
    return w.length;
  }
  for (size_t i = 0; i < len; ++i) {
    const unsigned char c = static_cast<unsigned char>(szFirmware[i]);
    const char shown = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    w.Put(&shown, 1);
  }
  return w.length;
}

int LogSettingsChange(int target, const char* path, const u16 before[PNUM], const u16 after[PNUM]) {
  if (!after) return -1;
  char logPath[PATH_BUFFER_SIZE];
  char oldPath[PATH_BUFFER_SIZE];
  if (!LogPath(CHANGE_LOG_NAME, logPath) || !LogPath(CHANGE_LOG_OLD_NAME, oldPath)) return -1;

  char when[40];
  LocalTimeWithZone(when, sizeof when);
  char user[TEXT_SIZE];
  GetUserName(user, sizeof user);
  char device[PATH_BUFFER_SIZE];
  char port[PATH_BUFFER_SIZE + 16];
  if (ResolveComPort(com, device, sizeof device) == 0) {
    snprintf(port, sizeof port, "COM%d %s", com, device);
  } else {
    snprintf(port, sizeof port, "COM%d (no device)", com);
  }
  char identity[TEXT_SIZE * 2];
  SensorIdentityText(identity, sizeof identity);
  char targetText[PATH_BUFFER_SIZE + 8];
  if (target == RAM) {
    CopyText(targetText, "RAM");
  } else if (target == EEPROM) {
    CopyText(targetText, "EEPROM");
  } else if (target == DATFILE) {
    CopyText(targetText, "file ");
    AppendText(targetText, path ? path : "");
  } else {
    snprintf(targetText, sizeof targetText, "target %d", target);
  }

  const ChangeFacts facts{when, user, port, identity, targetText, before, after};
  char line[CHANGE_LOG_LINE_SIZE + 1];
  size_t len = FormatChangeLine(facts, line, CHANGE_LOG_LINE_SIZE);
  line[len++] = '\n';

  long size = 0;
  if (GetFileInfo(logPath, &size) == 1 && size > 0 &&
      size + static_cast<long>(len) > CHANGE_LOG_LIMIT) {
    // A failed rename leaves the log where it is: the line then goes to the full file rather
    // than being lost, and the next append tries again.
    RenameFile(logPath, oldPath);
  }
  FileId id;
  if (GetFileId(logPath, &id) != 0 && CreateNewFile(logPath, &id) != 0 &&
      GetFileId(logPath, &id) != 0) {
    return -1;
  }
  return AppendToFile(logPath, id, line, len) == 0 ? 0 : -1;
}

int ReadChangeLogTail(char (*lines)[CHANGE_LOG_LINE_SIZE], int max) {
  if (!lines || max <= 0) return 0;
  char logPath[PATH_BUFFER_SIZE];
  char oldPath[PATH_BUFFER_SIZE];
  if (!LogPath(CHANGE_LOG_NAME, logPath) || !LogPath(CHANGE_LOG_OLD_NAME, oldPath)) return 0;
  const int current = FileTailLines(logPath, lines, max);
  if (current >= max) return current;
  // The old file's newest lines go before the current ones: read them into the slots after
  // the current lines, then turn the two runs round so the old ones come first.
  const int older = FileTailLines(oldPath, lines + current, max - current);
  if (older == 0) return current;
  // Turning [current | older] into [older | current]: reverse each run, then the whole.
  ReverseSlots(lines, 0, current);
  ReverseSlots(lines, current, current + older);
  ReverseSlots(lines, 0, current + older);
  return current + older;
}
