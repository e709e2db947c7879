// Utility services on the C++ standard library, Qt Core and POSIX.
#include "platform/sys/utility.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

namespace {

const std::chrono::steady_clock::time_point& Origin() {
  static const auto origin = std::chrono::steady_clock::now();
  return origin;
}

bool IsWritableDir(const QString& dir) {
  QFileInfo info(dir);
  return info.isDir() && access(QFile::encodeName(dir).constData(), W_OK) == 0;
}

bool FitsPath(const QByteArray& bytes) { return bytes.size() > 0 && bytes.size() < PATH_BUFFER_SIZE; }

}  // namespace

double Timer(void) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - Origin()).count();
}

int Delay(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  return 0;
}

size_t CopyText(char* dst, size_t size, const char* src) {
  if (!dst || size == 0) return 0;
  if (!src) src = "";
  size_t n = strnlen(src, size - 1);
  memmove(dst, src, n);
  dst[n] = '\0';
  return n;
}

size_t AppendText(char* dst, size_t size, const char* src) {
  if (!dst || size == 0) return 0;
  size_t used = strnlen(dst, size);
  if (used >= size) {  // not terminated: terminate at the end of the buffer
    dst[size - 1] = '\0';
    return 0;
  }
  return CopyText(dst + used, size - used, src);
}

int GetExecutableDir(char* dir) {
  QString path = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
  if (path.isEmpty()) {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) {
      buf[n] = '\0';
      path = QFileInfo(QString::fromLocal8Bit(buf)).absolutePath();
    }
  }
  QByteArray bytes = QFile::encodeName(path);
  if (!FitsPath(bytes)) {
    CopyText(dir, PATH_BUFFER_SIZE, ".");
    return -1;
  }
  CopyText(dir, PATH_BUFFER_SIZE, bytes.constData());
  return 0;
}

int GetProjectDir(char* dir) {
  QString chosen;
  const char* env = getenv("RORIR_DATA_DIR");
  if (env && *env) {
    chosen = QString::fromLocal8Bit(env);
    QDir().mkpath(chosen);
  } else {
    // The program's own folder serves a build tree or a portable copy; an installed program
    // (with share/rorir beside its bin folder) never writes into its install folder.
    char exeDir[PATH_BUFFER_SIZE];
    const bool got = GetExecutableDir(exeDir) == 0;
    const QString exe = QString::fromLocal8Bit(exeDir);
    const bool installed = QFileInfo(exe + "/../share/rorir").isDir();
    if (got && !installed && IsWritableDir(exe)) {
      chosen = exe;
    } else {
      chosen = QDir::homePath() + "/rorir";
      QDir().mkpath(chosen);
    }
  }
  QByteArray bytes = QFile::encodeName(QDir::cleanPath(chosen));
  if (!FitsPath(bytes)) {
    CopyText(dir, PATH_BUFFER_SIZE, ".");
    return -1;
  }
  CopyText(dir, PATH_BUFFER_SIZE, bytes.constData());
  return 0;
}

int FindResourceFile(const char* name, char* path) {
  if (!name || !*name) return -1;
  QString file = QString::fromLocal8Bit(name);
  QStringList candidates;
  if (QDir::isAbsolutePath(file)) {
    candidates << file;
  } else {
    const char* env = getenv("RORIR_RESOURCE_DIR");
    if (env && *env) {
      candidates << QString::fromLocal8Bit(env) + "/" + file;
    } else {
      char exeDir[PATH_BUFFER_SIZE];
      GetExecutableDir(exeDir);
      QString exe = QString::fromLocal8Bit(exeDir);
      candidates << exe + "/" + file << exe + "/../share/rorir/" + file;
    }
  }
  for (const QString& c : candidates) {
    QFileInfo info(c);
    if (!info.isFile()) continue;
    QByteArray bytes = QFile::encodeName(QDir::cleanPath(info.absoluteFilePath()));
    if (!FitsPath(bytes)) continue;
    CopyText(path, PATH_BUFFER_SIZE, bytes.constData());
    return 0;
  }
  return -1;
}

int MakePathname(const char* dir, const char* file, char* path) {
  char joined[PATH_BUFFER_SIZE * 2 + 2];
  joined[0] = '\0';
  AppendText(joined, dir ? dir : "");
  size_t len = strlen(joined);
  if (len > 0 && joined[len - 1] != '/') AppendText(joined, "/");
  AppendText(joined, file ? file : "");
  size_t n = CopyText(path, PATH_BUFFER_SIZE, joined);
  return n == strlen(joined) ? 0 : -1;
}

int GetFileInfo(const char* path, long* size) {
  struct stat st {};
  if (!path || stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (size) *size = 0;
    return 0;
  }
  if (size) *size = static_cast<long>(st.st_size);
  return 1;
}

int DeleteFile(const char* path) {
  if (!path || std::remove(path) != 0) return -1;
  return 0;
}

void FormatDateTime(long long when, char* date, size_t dateSize, char* time, size_t timeSize) {
  const time_t t = static_cast<time_t>(when);
  struct tm local {};
  localtime_r(&t, &local);
  // strftime leaves nothing defined when the text does not fit; the copy truncates instead.
  char text[32];
  if (date && dateSize > 0) {
    if (strftime(text, sizeof text, "%m-%d-%Y", &local) == 0) text[0] = '\0';
    CopyText(date, dateSize, text);
  }
  if (time && timeSize > 0) {
    if (strftime(text, sizeof text, "%H:%M:%S", &local) == 0) text[0] = '\0';
    CopyText(time, timeSize, text);
  }
}

void DateTimeStr(char* date, size_t dateSize, char* time, size_t timeSize) {
  FormatDateTime(static_cast<long long>(::time(nullptr)), date, dateSize, time, timeSize);
}

namespace {

// Writes all of `data` to `fd`, going on after short writes and interruptions.
bool WriteAll(int fd, const void* data, size_t count) {
  const char* p = static_cast<const char*>(data);
  while (count > 0) {
    ssize_t n = write(fd, p, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

// Appends to the open descriptor and syncs; on failure the bytes that got written are cut off
// again, so the file still ends where the last whole append ended and holds no torn line
// (a full disk or a size limit can take part of them).
bool AppendAndSync(int fd, const void* data, size_t count) {
  struct stat before {};
  const bool sized = fstat(fd, &before) == 0;
  const bool ok = WriteAll(fd, data, count) && fsync(fd) == 0;
  if (!ok && sized && ftruncate(fd, before.st_size) == 0) fsync(fd);
  return ok;
}

FileId IdOf(const struct stat& st) {
  return FileId{static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
}

// Syncs the folder that holds `path`, so a name made or renamed there survives a power cut.
// A file system that cannot sync folders (EINVAL) is taken as it is.
bool SyncFolderOf(const char* path) {
  const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(path)).absolutePath());
  int dirFd = open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return false;
  const bool ok = fsync(dirFd) == 0 || errno == EINVAL;
  close(dirFd);
  return ok;
}

// The mode a file made with 0644 would get under the process's umask. umask can only be read
// by setting it; the program makes its files from one thread.
mode_t NewFileMode() {
  const mode_t mask = umask(022);
  umask(mask);
  return 0644 & ~mask;
}

}  // namespace

int GetFileId(const char* path, FileId* id) {
  struct stat st {};
  if (!path || !id || stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  *id = IdOf(st);
  return 0;
}

int CreateNewFile(const char* path, FileId* id) {
  if (!path || !*path || !id) return -1;
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  // The new name lives in the folder: until the folder is synced, a power cut can take the
  // whole file with it, however many appends were synced since.
  if (ok && !SyncFolderOf(path)) ok = false;
  if (!ok) {
    unlink(path);
    return -1;
  }
  *id = IdOf(st);
  return 0;
}

int AppendToFile(const char* path, const FileId& id, const void* data, size_t count) {
  if (!path || (!data && count > 0)) return -1;
  // No O_CREAT: a file that went away is not made anew without its beginning.
  int fd = open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && IdOf(st) == id;
  if (ok) ok = AppendAndSync(fd, data, count);
  if (close(fd) != 0) ok = false;
  return ok ? 0 : -1;
}

int WriteFileBytes(const char* path, const void* data, size_t count) {
  if (!path || !*path || (!data && count > 0) || strlen(path) >= PATH_BUFFER_SIZE) return -1;
  // A temporary name of its own in the target's folder (so the rename stays on one file
  // system): mkstemp makes it new with O_EXCL, so nothing that lies there already, a link
  // least of all, is opened, truncated or removed.
  char temp[PATH_BUFFER_SIZE + 16];
  CopyText(temp, path);
  AppendText(temp, ".XXXXXX");
  int fd = mkostemp(temp, O_CLOEXEC);
  if (fd < 0) return -1;
  bool ok = fchmod(fd, NewFileMode()) == 0 && WriteAll(fd, data, count) && fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  if (ok && rename(temp, path) != 0) ok = false;
  if (!ok) {
    unlink(temp);
    return -1;
  }
  // The rename lives in the folder: synced, the new file is what a power cut leaves.
  return SyncFolderOf(path) ? 0 : -1;
}

namespace {

// Opens a regular file for reading and tells its size; -1 for anything else (a folder, a
// device, nothing there).
int OpenRegularFile(const char* path, off_t* length) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  *length = st.st_size;
  return fd;
}

}  // namespace

int ReadFileBytes(const char* path, void* buf, size_t size, size_t* count) {
  if (count) *count = 0;
  if (!path || !buf) return -1;
  off_t length = 0;
  const int fd = OpenRegularFile(path, &length);
  if (fd < 0) return -1;
  size_t got = 0;
  char* p = static_cast<char*>(buf);
  while (got < size) {
    ssize_t n = read(fd, p + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return -1;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  char extra;
  ssize_t more = got == size ? read(fd, &extra, 1) : 0;
  close(fd);
  if (count) *count = got;
  return more > 0 ? 1 : 0;
}

namespace {

// Reads from `offset` until `size` bytes are in or the file's `end` (its length when it was
// opened: a file that grows meanwhile is read as it was) is reached; closes `fd`. Returns the
// count read, or -1.
long long ReadOpenedRange(int fd, void* buf, size_t size, off_t offset, off_t end) {
  size_t got = 0;
  char* p = static_cast<char*>(buf);
  while (got < size && offset + static_cast<off_t>(got) < end) {
    ssize_t n = pread(fd, p + got, size - got, offset + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return -1;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  return static_cast<long long>(got);
}

}  // namespace

int ReadFileRange(const char* path, long long offset, void* buf, size_t size, size_t* count) {
  if (count) *count = 0;
  if (!path || !buf || offset < 0) return -1;
  off_t length = 0;
  const int fd = OpenRegularFile(path, &length);
  if (fd < 0) return -1;
  const long long got = ReadOpenedRange(fd, buf, size, static_cast<off_t>(offset), length);
  if (got < 0) return -1;
  if (count) *count = static_cast<size_t>(got);
  return 0;
}

int ReadFileTail(const char* path, void* buf, size_t size, size_t* count) {
  if (count) *count = 0;
  if (!path || !buf) return -1;
  off_t length = 0;
  const int fd = OpenRegularFile(path, &length);
  if (fd < 0) return -1;
  const off_t start = length > static_cast<off_t>(size) ? length - static_cast<off_t>(size) : 0;
  const long long got = ReadOpenedRange(fd, buf, size, start, length);
  if (got < 0) return -1;
  if (count) *count = static_cast<size_t>(got);
  return start > 0 ? 1 : 0;
}

int RenameFile(const char* from, const char* to) {
  if (!from || !*from || !to || !*to) return -1;
  if (rename(from, to) != 0) return -1;
  return SyncFolderOf(to) ? 0 : -1;
}

long long WallClockMs(void) {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void FormatUtcMs(long long ms, char* out, size_t size) {
  if (!out || size == 0) return;
  long long seconds = ms / 1000;
  long long rest = ms % 1000;
  if (rest < 0) {
    rest += 1000;
    --seconds;
  }
  const time_t t = static_cast<time_t>(seconds);
  struct tm utc {};
  gmtime_r(&t, &utc);
  char text[40];
  if (strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc) == 0) text[0] = '\0';
  char full[48];
  std::snprintf(full, sizeof full, "%s.%03lldZ", text, rest);
  CopyText(out, size, full);
}

LocalClock LocalClockAt(long long when) {
  const time_t t = static_cast<time_t>(when);
  struct tm local {};
  localtime_r(&t, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

long long LocalClockSeconds(const LocalClock& clock) {
  struct tm local {};
  local.tm_year = clock.year - 1900;
  local.tm_mon = clock.month - 1;
  local.tm_mday = clock.day;
  local.tm_hour = clock.hour;
  local.tm_min = clock.minute;
  local.tm_sec = clock.second;
  local.tm_isdst = -1;
  return static_cast<long long>(mktime(&local));
}

void LocalTimeWithZone(char* out, size_t size) {
  if (!out || size == 0) return;
  const time_t now = ::time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  char text[48];
  if (strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &local) == 0) text[0] = '\0';
  CopyText(out, size, text);
}

void GetUserName(char* out, size_t size) {
  if (!out || size == 0) return;
  // The password database names the account even where $USER was changed or is unset
  // (a service, sudo keeps the caller's); the variable serves where the uid has no entry.
  char storage[4096];
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, storage, sizeof storage, &found) == 0 && found &&
      found->pw_name && *found->pw_name) {
    CopyText(out, size, found->pw_name);
    return;
  }
  const char* env = getenv("USER");
  CopyText(out, size, env && *env ? env : "unknown");
}
