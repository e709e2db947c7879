// Parameter read-back and write: the sensor's RAM or EEPROM set into the settings, and a set
// out to either of them.
#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/com232_hooks.h"
#include "link/com232_owner.h"
#include "platform/sys/utility.h"
#include "com232_report.h"

int ReadParameterSet(int from, u16 words[PNUM]) {
  order = from == EEPROM ? ORDER_READ_EEPROM : ORDER_READ_RAM;
  // The request carries the current settings as its sixteen words.
  CopyVarsToPP();
  ClearQueues(com);
  FillTxBuf(static_cast<u16>(order), pp);
  rx_flag = 0;
  nBytesW = SendTxBuf(com, FRAME_SIZE);
  if (nBytesW == FRAME_SIZE) ReportStatus("Waiting for parameter-frame ...");
  tstart = Timer();
  const int outcome = AwaitFrame(com, tstart, TIMEOUT);
  tdiff = Timer() - tstart;
  if (outcome == EXCHANGE_ANSWERED) {
    GetRxBuf(PNUM);
    for (int i = 0; i < PNUM; ++i) words[i] = pp[i];
    CopyVarsToPP();  // pp mirrors the settings again
  }
  return outcome;
}

void PushGET(int from) {
  int received = PARAMETERS_NOT_ASKED;
  if (from != DATFILE) {
    u16 words[PNUM];
    const int outcome = ReadParameterSet(from, words);
    // Another port's outcome stands; the settings keep what they were.
    if (outcome == EXCHANGE_ABANDONED) return;
    if (outcome == EXCHANGE_ANSWERED) {
      for (int i = 0; i < PNUM; ++i) pp[i] = words[i];
      CopyPPtoVars();
      CopyText(szStatus, "Parameter-frame received! - Line Ok!");
      received = PARAMETERS_RECEIVED;
    } else {
      CopyText(szStatus, "Timeout-RS-232...");
      received = PARAMETERS_NOT_RECEIVED;
    }
  }
  ReportParameterSet(received);
  ReportStatus(szStatus);
}

int SendParameterSet(int to, const u16 words[PNUM]) {
  order = to == EEPROM ? ORDER_WRITE_EEPROM : ORDER_WRITE_RAM;
  FillTxBuf(static_cast<u16>(order), words);
  nBytesW = SendTxBuf(com, FRAME_SIZE);
  return nBytesW;
}
