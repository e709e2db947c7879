// Utility services on the C++ standard library, Qt Core and POSIX.
#include "display/utility.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

namespace {

constexpr size_t kPathSize = 260;

const std::chrono::steady_clock::time_point& Origin() {
  static const auto origin = std::chrono::steady_clock::now();
  return origin;
}

bool IsWritableDir(const QString& dir) {
  QFileInfo info(dir);
  return info.isDir() && access(QFile::encodeName(dir).constData(), W_OK) == 0;
}

bool FitsPath(const QByteArray& bytes) { return bytes.size() > 0 && bytes.size() < static_cast<int>(kPathSize); }

}  // namespace

double Timer(void) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - Origin()).count();
}

int Delay(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  return 0;
}

void Sleep(unsigned int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
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
    CopyText(dir, kPathSize, ".");
    return -1;
  }
  CopyText(dir, kPathSize, bytes.constData());
  return 0;
}

int GetProjectDir(char* dir) {
  QString chosen;
  const char* env = getenv("RORIR_DATA_DIR");
  if (env && *env) {
    chosen = QString::fromLocal8Bit(env);
    QDir().mkpath(chosen);
  } else {
    char exeDir[kPathSize];
    if (GetExecutableDir(exeDir) == 0 && IsWritableDir(QString::fromLocal8Bit(exeDir))) {
      chosen = QString::fromLocal8Bit(exeDir);
    } else {
      chosen = QDir::homePath() + "/rorir";
      QDir().mkpath(chosen);
    }
  }
  QByteArray bytes = QFile::encodeName(QDir::cleanPath(chosen));
  if (!FitsPath(bytes)) {
    CopyText(dir, kPathSize, ".");
    return -1;
  }
  CopyText(dir, kPathSize, bytes.constData());
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
      char exeDir[kPathSize];
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
    CopyText(path, kPathSize, bytes.constData());
    return 0;
  }
  return -1;
}

int MakePathname(const char* dir, const char* file, char* path) {
  char joined[kPathSize * 2 + 2];
  joined[0] = '\0';
  AppendText(joined, dir ? dir : "");
  size_t len = strlen(joined);
  if (len > 0 && joined[len - 1] != '/') AppendText(joined, "/");
  AppendText(joined, file ? file : "");
  size_t n = CopyText(path, kPathSize, joined);
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

const char* DateStr(void) {
  static char text[16];
  time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  strftime(text, sizeof text, "%m-%d-%Y", &local);
  return text;
}

const char* TimeStr(void) {
  static char text[16];
  time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}
