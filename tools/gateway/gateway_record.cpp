#include "gateway_record.h"

#include <cstdio>

#include "platform/sys/utility.h"
#include "recorder/recfile.h"
#include "state/globals.h"

namespace gateway {

namespace {

long long gPeriod = -1;      // start of the period whose file is open; -1 none
double gLastRecord = -1e300; // Timer() of the last record's request
bool gFailing = false;

constexpr int MAX_RECORDS = 65535;

long long PeriodSeconds(const Options& o, long long start) {
  if (o.split == RecordSplit::Day) return 86400;
  const LocalClock c = LocalClockAt(start);
  const int minute = c.hour * 60 + c.minute;
  for (size_t i = 0; i < o.shiftStarts.size(); ++i)
    if (o.shiftStarts[i] == minute)
      return 60LL * ((i + 1 < o.shiftStarts.size() ? o.shiftStarts[i + 1] : o.shiftStarts[0] + 1440) - minute);
  return 86400;
}

// Opens the file of the period that began at `start`: a name not yet taken (a restart within
// the period adds "-2", "-3", ...), its header written.
bool OpenPeriodFile(const Options& o, long long start) {
  ReleaseRunFile();
  const std::string base = PeriodFileName(o, start);
  for (int n = 1; n < 1000; ++n) {
    const std::string name = n == 1 ? base : base + "-" + std::to_string(n);
    const std::string path = o.recordDir + "/" + name;
    long size = 0;
    if (GetFileInfo(path.c_str(), &size) == 1) continue;
    if (name.size() >= sizeof charge_fname || path.size() >= sizeof szRunFile) return false;
    CopyText(charge_fname, name.c_str());
    CopyText(szRunFile, path.c_str());
    DateTimeStr(szRunDate, sizeof szRunDate, szRunTime, sizeof szRunTime);
    incTime = static_cast<u16>(o.recordInterval);
    const long long records = o.recordInterval == 0 ? PeriodSeconds(o, start) * LINE_RESULTS_PER_SECOND
                                                    : PeriodSeconds(o, start) / o.recordInterval;
    numSample = static_cast<u16>(records > MAX_RECORDS ? MAX_RECORDS : records);
    return writeFileHeader() == 0;
  }
  return false;
}

}  // namespace

long long PeriodStart(const Options& o, long long when) {
  LocalClock c = LocalClockAt(when);
  c.second = 0;
  if (o.split == RecordSplit::Day) {
    c.hour = c.minute = 0;
    return LocalClockSeconds(c);
  }
  const int minute = c.hour * 60 + c.minute;
  int start = -1;
  for (int s : o.shiftStarts)
    if (s <= minute) start = s;
  if (start < 0) {
    // Before the day's first shift: the last shift of the day before.
    c = LocalClockAt(when - 86400);
    start = o.shiftStarts.back();
  }
  c.hour = start / 60;
  c.minute = start % 60;
  c.second = 0;
  return LocalClockSeconds(c);
}

std::string PeriodFileName(const Options& o, long long start) {
  const LocalClock c = LocalClockAt(start);
  char text[64];
  if (o.split == RecordSplit::Day)
    std::snprintf(text, sizeof text, "_%04d-%02d-%02d", c.year, c.month, c.day);
  else
    std::snprintf(text, sizeof text, "_%04d-%02d-%02d_%02d%02d", c.year, c.month, c.day, c.hour, c.minute);
  return o.id + text;
}

bool RecordResult(const Options& o, double resultTime, long long now, void (*log)(const std::string&)) {
  const long long period = PeriodStart(o, now);
  if (period != gPeriod) {
    gPeriod = -1;
    if (!OpenPeriodFile(o, period)) {
      if (!gFailing) log("recording failed: cannot create a recorder file in " + o.recordDir);
      gFailing = true;
      return false;
    }
    gPeriod = period;
    gLastRecord = -1e300;
    log("recording into " + std::string(szRunFile));
  }
  if (resultTime - gLastRecord < o.recordInterval) return true;
  if (AppendRecordLine() != 0) {
    if (!gFailing) log("recording failed: cannot write " + std::string(szRunFile));
    gFailing = true;
    gPeriod = -1;  // the next record starts a file of its own
    return false;
  }
  if (gFailing) log("recording again");
  gFailing = false;
  gLastRecord = resultTime;
  return true;
}

void EndRecording() {
  ReleaseRunFile();
  gPeriod = -1;
}

}  // namespace gateway
