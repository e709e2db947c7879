// The measurement cycle and the video data blocks.
#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/com232_decode.h"
#include "link/com232_hooks.h"
#include "link/com232_monitor.h"
#include "link/com232_owner.h"
#include "platform/serial/rs232.h"
#include "platform/sys/utility.h"
#include "com232_report.h"

unsigned long resultFramesDrawn = 0;
unsigned long videoPassesDrawn = 0;
double resultFrameTime = 0.0;
double videoPassTime = 0.0;

namespace {

void SendMeasureRequest() {
  CopyVarsToPP();
  FillTxBuf(ORDER_MEASURE, pp);
  rx_flag = 0;
  graph_flag = 0;
  tstart = Timer();
  nBytesW = SendTxBuf(com, FRAME_SIZE);
}

}  // namespace

void PushRUN(void) {
  ReportLoopStarted(LOOP_MEASURE);
  // The panel shows RAM as the target too (its hook); a program without one still gets it.
  target = RAM;

  CopyVarsToPP();
  ClearQueues(com);
  rx_flag = 0;
  graph_flag = 0;
  FillTxBuf(ORDER_MEASURE, pp);
  nBytesW = SendTxBuf(com, FRAME_SIZE);
  if (nBytesW == FRAME_SIZE) ReportStatus("Line Ok!");
  tstart = Timer();
  stop_flag = 0;
  graph_flag = 0;

  // Each request is answered or timed out before anything else uses the line: Stop, and every
  // command pressed meanwhile, is taken between two exchanges.
  for (;;) {
    const int outcome = AwaitFrame(com, tstart, TIMEOUT);
    tdiff = Timer() - tstart;
    if (outcome != EXCHANGE_ANSWERED) {
      // After Stop the last answer was only awaited; a closed port's successor speaks for it.
      if (outcome == EXCHANGE_TIMED_OUT && stop_flag == 0)
        ReportStatus("Timeout RS232-Line!");
      if (stop_flag == 0) stop_flag = 1;
      break;
    }
    // A result frame is taken before the next request overwrites pp.
    if (graph_flag == 1) {
      CopyPPtoRAWVars();
      ReportResultFrame();
      ++resultFramesDrawn;
      resultFrameTime = Timer();
      graph_flag = 0;
    }
    if (TakeWaitingCommands()) break;
    // Every answer, result frame or not, sends the next request at once.
    ClearQueues(com);
    SendMeasureRequest();
  }

  rx_flag = 0;
  graph_flag = 0;
  ClearQueues(com);
  ReportLoopEnded(LOOP_MEASURE);
}

int ReadData64(int first, int last) {
  ClearQueues(com);
  u16 words[PNUM] = {};
  words[0] = static_cast<u16>(first);
  words[1] = static_cast<u16>(last);
  FillTxBuf(ORDER_DATA_BLOCK, words);
  nBytesW = SendTxBuf(com, FRAME_SIZE);
  ReportStatus("Waiting for Data[64] ...");
  tstart = Timer();
  int waiting = 0;
  const int outcome = AwaitBytes(com, DATA_BLOCK_BYTES, tstart, TIMEOUT, &waiting);
  tdiff = Timer() - tstart;
  if (outcome == EXCHANGE_ABANDONED) return 0;
  if (outcome == EXCHANGE_TIMED_OUT) CopyText(szStatus, "Timeout-RS-232 while reading 64 data-words!");
  // Never more than the receive buffer holds; the rest of an overlong answer is discarded.
  const int wanted = waiting < IO_BUF_SIZE ? (waiting > 0 ? waiting : 0) : IO_BUF_SIZE;
  nBytesR = wanted > 0 ? ComRd(com, szReadBuf, wanted) : 0;
  if (nBytesR > 0) MonitorAnswer(MONITOR_DATA_BLOCK, szReadBuf, nBytesR, pcbtype, Timer());
  if (waiting > IO_BUF_SIZE) DiscardInQ(com);
  if (nBytesR == DATA_BLOCK_BYTES) CopyText(szStatus, "Data[64] block received!");
  // The block stays inside adcbuf whatever index the caller passed.
  DecodeDataBlock(szReadBuf, first, adcbuf);
  ReportStatus(szStatus);
  return 1;
}
