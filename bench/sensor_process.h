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

#include "display/utility.h"

class SensorProcess {
 public:
  /// Starts `bin --link link args...` with its standard output sent to `logFile` (or dropped
  /// when empty), and waits up to two seconds for the link to appear.
  SensorProcess(const std::string& bin, const std::string& link, std::vector<std::string> args,
                const std::string& logFile = "")
      : link_(link) {
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
    for (int i = 0; i < 100 && access(link.c_str(), F_OK) != 0; ++i) usleep(20000);
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
  bool ok() const { return pid_ > 0 && access(link_.c_str(), F_OK) == 0; }

 private:
  pid_t pid_ = -1;
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
  char exeDir[260];
  GetExecutableDir(exeDir);
  t.sensorBin = std::string(exeDir) + "/rorir-sensor";
  t.link = t.dataDir + "/sensor";
  t.ok = true;
  return t;
}
