// The virtual sensor as a child process for the whole-program tools (benchmark, soak): started
// with a private link path and the given options, stopped with SIGTERM when the object goes.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/sys/utility.h"

class SensorProcess {
 public:
  /// Starts `bin --link link args...` with its standard output sent to `logFile` (or dropped
  /// when empty), and waits up to two seconds for the link to appear; a sensor that exits
  /// meanwhile ends the wait at once.
  SensorProcess(const std::string& bin, const std::string& link, std::vector<std::string> args,
                const std::string& logFile = "")
      : bin_(bin), link_(link) {
    std::vector<std::string> argv = {bin, "--link", link};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = fork();
    if (pid_ == 0) {
      std::vector<char*> cargv;
      for (std::string& a : argv) cargv.push_back(a.data());
      cargv.push_back(nullptr);
      const int out = logFile.empty() ? open("/dev/null", O_WRONLY)
                                      : open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (out >= 0) dup2(out, STDOUT_FILENO);
      execv(cargv[0], cargv.data());
      _exit(127);
    }
    for (int i = 0; i < 100 && access(link.c_str(), F_OK) != 0 && alive(); ++i) usleep(20000);
  }
  ~SensorProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  SensorProcess(const SensorProcess&) = delete;
  SensorProcess& operator=(const SensorProcess&) = delete;

  /// True once the sensor runs and its link exists.
  bool ok() { return alive() && access(link_.c_str(), F_OK) == 0; }

  /// True while the sensor process runs; once it has ended, its exit is kept for problem().
  bool alive() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    pid_ = -1;
    status_ = status;
    return false;
  }

  /// Why the sensor is not usable, in a few words (empty while it is).
  std::string problem() {
    if (ok()) return "";
    if (status_ < 0) {
      if (pid_ < 0) return "the sensor process " + bin_ + " could not be started";
      return "the sensor " + bin_ + " runs, but its link " + link_ + " did not appear within 2 s";
    }
    if (WIFEXITED(status_) && WEXITSTATUS(status_) == 127)
      return "the sensor " + bin_ + " could not be run (exit status 127)";
    if (WIFEXITED(status_)) return "the sensor process " + bin_ + " exited with status " + std::to_string(WEXITSTATUS(status_));
    return "the sensor process " + bin_ + " ended on signal " + std::to_string(WTERMSIG(status_));
  }

 private:
  pid_t pid_ = -1;
  int status_ = -1;  // wait status once the process has ended
  std::string bin_;
  std::string link_;
};

/// What a whole-program tool runs in: offscreen, with a fresh data folder of its own named after
/// `tool`, and the path of the rorir-sensor beside the tool. `ok` is false when the folder could
/// not be made.
struct ToolSetting {
  bool ok = false;
  std::string dataDir;
  std::string sensorBin;
  std::string link;  ///< where the sensor is to be linked, inside the data folder
};

inline ToolSetting PrepareTool(const char* tool) {
  ToolSetting t;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::string pattern = std::string("/tmp/") + tool + "-XXXXXX";
  if (!mkdtemp(pattern.data())) return t;
  t.dataDir = pattern;
  setenv("RORIR_DATA_DIR", t.dataDir.c_str(), 1);
  char exeDir[PATH_BUFFER_SIZE];
  GetExecutableDir(exeDir);
  t.sensorBin = std::string(exeDir) + "/rorir-sensor";
  t.link = t.dataDir + "/sensor";
  t.ok = true;
  return t;
}
