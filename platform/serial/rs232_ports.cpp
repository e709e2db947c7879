// The port list for the COM ring, and the watch that follows serial devices as they come and
// go.
//
// The watch needs no device manager: it listens (inotify) for entries made and removed in the
// device folder and in the folder of every RORIR_COM<n> path, and looks again every few
// seconds for what those cannot show (a folder that does not exist yet). While every folder is
// watched the full look comes only every half minute, for a file system without notifications:
// a look scans /sys/class/tty, hundreds of system calls on a usual machine, which would be most
// of what a program waiting on a quiet line costs. Either way it only brings the port table up
// to date and calls the program back when something changed.
#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include <sys/inotify.h>
#include <unistd.h>

#include "platform/serial/rs232.h"
#include "platform/serial/rs232_names.h"

namespace {

constexpr int kSettleMs = 50;   // a plugged adapter makes several entries at once
constexpr int kPollMs = 2000;   // the look that needs no notification
constexpr int kWatchedPolls = 15;  // polls between two full looks while every folder is watched

ComPortsCallbackPtr watchCallback = nullptr;
// Owned by the application object, so a program that ends without stopping the watch leaves
// nothing behind; the guarded pointers turn null with it.
QPointer<QObject> watchContext;
QPointer<QTimer> settleTimer;
QPointer<QTimer> recheckTimer;
QPointer<QSocketNotifier> inotifyNotifier;
int watchHandlers = 0;  // our own handlers on the stack
int inotifyFd = -1;
std::map<std::string, int> watched;  // folder -> inotify watch descriptor
bool lostPending = false;
unsigned reportedVersion = 0;  // the port table's version the program was last told of
bool recheckPending = false;
int quietPolls = 0;  // polls skipped since the last full look

// The folders whose entries decide the list: the device folder and every override's folder.
std::set<std::string> FoldersToWatch() {
  std::set<std::string> folders{rs232::DeviceFolder()};
  for (int n = 1; n <= RS232_MAX_PORT; ++n) {
    char var[32];
    std::snprintf(var, sizeof var, "RORIR_COM%d", n);
    const char* value = std::getenv(var);
    if (value && *value) folders.insert(std::filesystem::path(value).parent_path().string());
  }
  return folders;
}

void WatchFolders() {
  if (inotifyFd < 0) return;
  const std::set<std::string> wanted = FoldersToWatch();
  for (auto it = watched.begin(); it != watched.end();) {
    if (wanted.count(it->first) != 0) {
      ++it;
      continue;
    }
    inotify_rm_watch(inotifyFd, it->second);
    it = watched.erase(it);
  }
  for (const std::string& folder : wanted) {
    if (watched.count(folder) != 0 || folder.empty()) continue;
    // Only entries made, removed or renamed: writes to terminals in the same folder stay quiet.
    const int wd = inotify_add_watch(inotifyFd, folder.c_str(),
                                     IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                         IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
    // A folder that cannot be watched (missing yet) is left to the poll, and tried again then.
    if (wd >= 0) watched[folder] = wd;
  }
}

// True when inotify reports on every folder whose entries decide the list.
bool EveryFolderWatched() {
  for (const std::string& folder : FoldersToWatch())
    if (!folder.empty() && watched.count(folder) == 0) return false;
  return true;
}

// Brings the table up to date and tells the program when the list changed, a port was lost
// or the program asked to be called again.
void Settle() {
  rs232::UpdatePortTable();
  WatchFolders();
  const bool changed = rs232::PortTableVersion() != reportedVersion;
  if (!(changed || lostPending || recheckPending) || watchCallback == nullptr) return;
  reportedVersion = rs232::PortTableVersion();
  lostPending = recheckPending = false;
  ++watchHandlers;
  watchCallback();
  --watchHandlers;
}

void StopWatch() {
  // The watch may be stopped from inside its own callback: its objects go once that is over,
  // and the notifier is off before its descriptor closes.
  if (inotifyNotifier != nullptr) inotifyNotifier->setEnabled(false);
  if (settleTimer != nullptr) settleTimer->stop();
  if (recheckTimer != nullptr) recheckTimer->stop();
  if (watchContext != nullptr) {
    if (watchHandlers > 0) {
      watchContext->deleteLater();
    } else {
      delete watchContext.data();
    }
  }
  watchContext = nullptr;
  settleTimer = recheckTimer = nullptr;
  inotifyNotifier = nullptr;
  if (inotifyFd >= 0) close(inotifyFd);
  inotifyFd = -1;
  watched.clear();
}

}  // namespace

namespace rs232 {

void NotePortLost() {
  lostPending = true;
  if (settleTimer != nullptr) settleTimer->start(0);
}

}  // namespace rs232

int WatchComPorts(ComPortsCallbackPtr callback) {
  StopWatch();
  lostPending = recheckPending = false;
  watchCallback = callback;
  if (callback == nullptr) return RS232_NO_ERROR;
  if (QCoreApplication::instance() == nullptr) return RS232_ERR_SYSTEM;
  watchContext = new QObject(QCoreApplication::instance());
  settleTimer = new QTimer(watchContext);
  settleTimer->setSingleShot(true);
  QObject::connect(settleTimer, &QTimer::timeout, watchContext, Settle);
  recheckTimer = new QTimer(watchContext);
  recheckTimer->setSingleShot(true);
  QObject::connect(recheckTimer, &QTimer::timeout, watchContext, [] {
    recheckPending = true;
    Settle();
  });
  auto* poll = new QTimer(watchContext);
  QObject::connect(poll, &QTimer::timeout, watchContext, [] {
    if (inotifyFd >= 0 && EveryFolderWatched() && ++quietPolls < kWatchedPolls) return;
    quietPolls = 0;
    Settle();
  });
  poll->start(kPollMs);

  inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotifyFd >= 0) {
    inotifyNotifier = new QSocketNotifier(inotifyFd, QSocketNotifier::Read, watchContext);
    QObject::connect(inotifyNotifier, &QSocketNotifier::activated, watchContext, [] {
      alignas(inotify_event) char events[4096];
      ssize_t n = 0;
      while ((n = read(inotifyFd, events, sizeof events)) > 0) {
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
          const auto* e = reinterpret_cast<const inotify_event*>(events + at);
          // A watched folder that went away is watched again once it is back (by the poll).
          if (e->mask & IN_IGNORED) {
            for (auto it = watched.begin(); it != watched.end(); ++it) {
              if (it->second != e->wd) continue;
              watched.erase(it);
              break;
            }
          }
          at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
      }
      settleTimer->start(kSettleMs);
    });
  }
  rs232::UpdatePortTable();
  reportedVersion = rs232::PortTableVersion();
  WatchFolders();
  return RS232_NO_ERROR;
}

int RecheckComPorts(double seconds) {
  if (recheckTimer == nullptr) return RS232_ERR_PORT_NOT_OPEN;
  if (!(seconds >= 0.0) || seconds > 3600.0) return RS232_ERR_INVALID_PARAMETER;
  recheckTimer->start(static_cast<int>(seconds * 1000.0));
  return RS232_NO_ERROR;
}

int ListComPorts(ComPortEntry* out, int max) {
  if (out != nullptr && max < 0) return RS232_ERR_INVALID_PARAMETER;
  rs232::UpdatePortTable();
  int count = 0;
  for (int port = 1; port <= RS232_MAX_PORT; ++port) {
    if (!rs232::PortPresent(port)) continue;
    if (out != nullptr) {
      if (count >= max) break;
      out[count].port = port;
      std::snprintf(out[count].device, sizeof out[count].device, "%s",
                    rs232::PortDevice(port).c_str());
      std::snprintf(out[count].name, sizeof out[count].name, "%s", rs232::PortName(port).c_str());
    }
    ++count;
  }
  return count;
}

int FindComAdapter(const char* serial, char* device, size_t size, char* name, size_t nameSize) {
  if (serial == nullptr || device == nullptr || size == 0) return RS232_ERR_INVALID_PARAMETER;
  device[0] = '\0';
  if (name && nameSize > 0) name[0] = '\0';
  const std::string path = rs232::FindDeviceBySerial(serial);
  if (path.empty()) return RS232_ERR_INVALID_PORT;
  if (path.size() >= size) return RS232_ERR_INVALID_PARAMETER;
  std::memcpy(device, path.c_str(), path.size() + 1);
  if (name && nameSize > 0) {
    const std::string text = rs232::DescribeDevice(rs232::SystemFolder(), path).name;
    const size_t n = text.size() < nameSize - 1 ? text.size() : nameSize - 1;
    std::memcpy(name, text.data(), n);
    name[n] = '\0';
  }
  return RS232_NO_ERROR;
}

int ResolveComPort(int port, char* device, size_t size) {
  if (device == nullptr || size == 0) return RS232_ERR_INVALID_PARAMETER;
  device[0] = '\0';
  if (port < 1 || port > RS232_MAX_PORT) return RS232_ERR_INVALID_PORT;
  rs232::UpdatePortTable();
  const std::string path = rs232::PortDevice(port);
  if (path.empty()) return RS232_ERR_INVALID_PORT;
  if (path.size() >= size) return RS232_ERR_INVALID_PARAMETER;
  std::memcpy(device, path.c_str(), path.size() + 1);
  return RS232_NO_ERROR;
}
