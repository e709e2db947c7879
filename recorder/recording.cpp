// The recording run and its outcome on the recorder status box.
#include "recorder/recording.h"

#include <cstdio>

#include "state/globals.h"
#include "display/gauge_view.h"
#include "display/gui.h"
#include "display/panel.h"
#include "platform/ui/userint.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/com232_owner.h"
#include "platform/serial/rs232.h"
#include "recorder/popup.h"
#include "recorder/recfile.h"
#include "resources/panels.h"

namespace {

constexpr int RUN_BACKGROUND = VAL_DK_GREEN;
constexpr int DONE_BACKGROUND = 0xE0E0E0;
constexpr int EDGES_OF_A_GAP = 2;  // a record with more edges than this shows a gap

constexpr const char* TEXT_APPEND = "APPEND TO DATA-FILE...";
constexpr const char* TEXT_BUSY = "DATA-RECORDER: RS-232-BUSY ...";
constexpr const char* TEXT_COMPLETED = "DATA-RECORDER COMPLETED SUCCESSFULLY";
constexpr const char* TEXT_TIMEOUT = "DATA-RECORDER INTERRUPTED - TIMEOUT RS-232 LINE!";
constexpr const char* TEXT_INTERRUPTED = "DATA-RECORDER INTERRUPTED!";
constexpr const char* TEXT_WRITE_FAILED = "DATA-RECORDER INTERRUPTED - FILE COULD NOT BE WRITTEN!";
constexpr const char* TEXT_NOT_STARTED = "DATA-RECORDER NOT STARTED - FILE COULD NOT BE WRITTEN!";

// The indicators of a run, undimmed while it goes and dimmed again after, in this order.
constexpr int RUN_INDICATORS[] = {RECORDER_STRstartDate, RECORDER_STRstartTime,
                                  RECORDER_NUMsampleCount, RECORDER_NUMtimeDay,
                                  RECORDER_NUMtimeHour, RECORDER_NUMtimeMin,
                                  RECORDER_NUMtimeSec};

void DimRunIndicators(int dim) {
  for (int id : RUN_INDICATORS) SetCtrlAttribute(pPopup, id, ATTR_DIMMED, dim);
}

// One measure request carrying pp as it stands: the words last decoded from the sensor.
void SendRequest() {
  ClearQueues(com);
  FillTxBuf(ORDER_MEASURE, pp);
  rx_flag = 0;
  graph_flag = 0;
  nBytesW = SendTxBuf(com, FRAME_SIZE);
}

// The run's loop, from the first request on: each request is answered or timed out before the
// next, and the next leaves once the request period has passed. Returns false when a record
// line could not be written; stop_flag then says 1.
// What the run's records hold: the M-value's figures and how many were NOK.
gauge::Running gRunMvalue;
long long gRunNok = 0;

void TakeRecord() {
  const gauge::Limits limits = GaugeLimits();
  const gauge::Verdict v = gauge::Judge(Mvalue, limits, eMode, edcnt);
  if (v == gauge::Verdict::Nok) ++gRunNok;
  // As the live gauge: a record the band in use cannot judge has no M-value to count.
  if (!limits.valid || v != gauge::Verdict::NotJudged) gauge::Add(gRunMvalue, Mvalue, v == gauge::Verdict::Nok);
}

bool RecordLoop() {
  SendRequest();
  if (nBytesW == FRAME_SIZE) ResetTextBox(pHandle, MAIN_TBOXstatus, "Line Ok!");

  const double t0 = Timer();
  double lastRequest = t0;
  double lastRecord = t0;
  const double interval = incTime;
  int records = 0;
  int edgeRecords = 0;
  stop_flag = 0;
  SetCtrlVal(pPopup, RECORDER_NUMsampleCount, records);
  SetCtrlVal(pPopup, RECORDER_NUMgapCount, edgeRecords);

  for (;;) {
    // The answer's time counts from its own request: a slow disk before it is not silence.
    const int outcome = AwaitFrame(com, lastRequest, TIMEOUT);
    if (outcome == EXCHANGE_ABANDONED) return true;
    // A stop asked for while the last request went out is the run's end, not a time-out.
    if (outcome == EXCHANGE_TIMED_OUT) {
      if (stop_flag == 0) {
        ResetTextBox(pHandle, MAIN_TBOXstatus, "Timeout RS232-Line!");
        stop_flag = 3;
      }
      return true;
    }
    // A record is due by the time its request left: requests are a request period apart to the
    // millisecond, the answers' own delays jitter, so an interval of one period records every
    // answer rather than every other one.
    const double asked = lastRequest;
    if (graph_flag == 1) {
      CopyPPtoRAWVars();
      PlotVIDEOBarGraph();
      GaugeTakeResult();
      SetCtrlVal(pPopup, RECORDER_NUMmvalueScaled, ScaleBySlope(Mvalue, slope));
      SetCtrlVal(pPopup, RECORDER_NUMgapWidth, ScaleBySlope(gapPix, slope));
      if (asked - lastRecord >= interval) {
        if (AppendRecordLine() != 0) {
          stop_flag = 1;
          return false;
        }
        ++records;
        TakeRecord();
        SetCtrlVal(pPopup, RECORDER_NUMsampleCount, records);
        ResetTextBox(pPopup, RECORDER_TBOXrecstatus, TEXT_APPEND);
        lastRecord = asked;
        if (edcnt > EDGES_OF_A_GAP) ++edgeRecords;
        SetCtrlVal(pPopup, RECORDER_NUMgapCount, edgeRecords);
      }
      graph_flag = 0;
    }
    CalcRecTime(static_cast<int>(Timer() - t0));
    if (records >= numSample && stop_flag == 0) stop_flag = 2;
    if (TakeWaitingCommands()) return true;

    // The next request waits for the request period; commands pressed meanwhile go first.
    AwaitTime(com, lastRequest + RECORD_REQUEST_PERIOD);
    if (TakeWaitingCommands() || PortAbandoned(com)) return true;
    ResetTextBox(pPopup, RECORDER_TBOXrecstatus, TEXT_BUSY);
    SendRequest();
    lastRequest = Timer();
  }
}

bool gRunGoing = false;

}  // namespace

bool RecordingRunGoing(void) { return gRunGoing; }

size_t FormatRunStatistics(const gauge::Running& run, long long nok, const gauge::Limits& limits, char* out,
                           size_t size) {
  if (size == 0) return 0;
  if (run.n == 0) return CopyText(out, size, "Run: no records");
  const gauge::Summary s = gauge::Summarize(run, limits);
  char mean[32], sd[32], cpk[32];
  gauge::FormatFigure(s.mean, s.hasMean, 3, mean, sizeof mean);
  gauge::FormatFigure(s.sd, s.hasSd, 3, sd, sizeof sd);
  gauge::FormatFigure(s.cpk, s.hasCp, 3, cpk, sizeof cpk);
  const int n = std::snprintf(out, size, "Run: %lld records, M-value mean %s, sd %s, Cpk %s, NOK %lld",
                              static_cast<long long>(run.n), mean, sd, cpk, nok);
  return n < 0 ? 0 : (static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1);
}

namespace {

// The whole run, as one turn on the line.
void RecordingRun(int) {

  // A run always starts a new file.
  if (GetFileInfo(rec_fname, nullptr) == 1) {
    if (!ConfirmPopup("ATTENTION !", "File already exist - overwrite ?")) return;
    if (DeleteFile(rec_fname) != 0) {
      // Appending to the old file would mix two runs in one file.
      ForgetRecStatusBeforeRefusal();
      ShowRecStatus(VAL_RED, VAL_WHITE, 1, TEXT_NOT_STARTED);
      return;
    }
  }
  CopyText(szRunFile, rec_fname);

  // The box is the run's from here on: its texts and its outcome replace whatever a refused
  // batch name had put aside.
  gRunGoing = true;
  ForgetRecStatusBeforeRefusal();
  DimmButtons(1);
  SetCtrlAttribute(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_BGCOLOR, RUN_BACKGROUND);
  SetCtrlAttribute(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_COLOR, VAL_WHITE);
  SetCtrlAttribute(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_BOLD, 1);
  DimRunIndicators(0);

  // One reading of the clock: a run started at midnight gets the date of its own time.
  DateTimeStr(szRunDate, sizeof szRunDate, szRunTime, sizeof szRunTime);
  SetCtrlVal(pPopup, RECORDER_STRstartDate, szRunDate);
  SetCtrlVal(pPopup, RECORDER_STRstartTime, szRunTime);

  // Taken before the header, so the header names the interval and count this run uses.
  GetCtrlVal(pPopup, RECORDER_NUMincTime, &incTime);
  GetCtrlVal(pPopup, RECORDER_NUMnumSample, &numSample);

  gRunMvalue = {};
  gRunNok = 0;
  SetCtrlVal(pPopup, RECORDER_STRrunStats, "");
  bool written = writeFileHeader() == 0;
  if (written) {
    GaugeLoopStarted();
    written = RecordLoop();
    GaugeLoopEnded();
  } else {
    stop_flag = 1;
  }

  ReleaseRunFile();
  gRunGoing = false;
  rx_flag = 0;
  graph_flag = 0;
  if (!PortAbandoned(com)) ClearQueues(com);
  DimmButtons(0);

  if (!written) {
    ShowRecStatus(VAL_RED, VAL_WHITE, 1, TEXT_WRITE_FAILED);
  } else if (stop_flag == 2) {
    ShowRecStatus(DONE_BACKGROUND, VAL_BLACK, 0, TEXT_COMPLETED);
  } else if (stop_flag == 3) {
    ShowRecStatus(VAL_RED, VAL_WHITE, 1, TEXT_TIMEOUT);
  } else {
    ShowRecStatus(VAL_RED, VAL_WHITE, 1, TEXT_INTERRUPTED);
  }
  DimRunIndicators(1);
  char figures[RUN_STATS_SIZE];
  FormatRunStatistics(gRunMvalue, gRunNok, GaugeLimits(), figures, sizeof figures);
  SetCtrlVal(pPopup, RECORDER_STRrunStats, figures);
}

}  // namespace

int CC_BTNStartRecord(int /*panel*/, int /*control*/, int event, void*, int, int) {
  if (event == EVENT_COMMIT) RunOnLine(RecordingRun, 0, LINE_START);
  return 0;
}
