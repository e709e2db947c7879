// Where the link meets its monitor: sending a request, emptying the input queue, a wait that
// ran out, and the log written to a file.
#include <cstring>

#include "platform/sys/utility.h"
#include "link/com232.h"
#include "link/com232_monitor.h"
#include "platform/serial/rs232.h"

namespace {

char logText[(MONITOR_FRAMES + 1) * MONITOR_LINE_SIZE];

}  // namespace

int SendTxBuf(int port, int count) {
  const int sent = ComWrt(port, szWriteBuf, count);
  if (sent > 0) MonitorRequest(szWriteBuf, sent, Timer());
  return sent;
}

int DiscardInQ(int port) {
  MonitorDiscarded(GetInQLen(port));
  return FlushInQ(port);
}

void NoteTimeout(void) { MonitorTimeout(); }

int SaveMonitorLog(const char* path) {
  size_t len = 0;
  auto addLine = [&len](const char* text, size_t n) {
    std::memcpy(logText + len, text, n);
    len += n;
    logText[len++] = '\n';
  };
  const char* header = MonitorLogHeader();
  addLine(header, std::strlen(header));
  char line[MONITOR_LINE_SIZE];
  for (int i = 0; i < MonitorFrameCount(); ++i) addLine(line, MonitorFormatFrame(*MonitorFrameAt(i), 1, line, sizeof line - 1));
  return WriteFileBytes(path, logText, len);
}
