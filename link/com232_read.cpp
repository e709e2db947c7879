// Parameter read-back and write: the sensor's RAM or EEPROM set into the settings, and a set
// out to either of them.
#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/com232_owner.h"
#include "platform/sys/utility.h"
#include "com232_report.h"

void PushGET(int from) {
  if (from != DATFILE) {
    order = from == EEPROM ? ORDER_READ_EEPROM : ORDER_READ_RAM;
    CopyVarsToPP();
    ClearQueues(com);
    FillTxBuf(static_cast<u16>(order), pp);
    rx_flag = 0;
    nBytesW = SendTxBuf(com, FRAME_SIZE);
    if (nBytesW == FRAME_SIZE) ReportStatus("Waiting for parameter-frame ...");
    tstart = Timer();
    const int outcome = AwaitFrame(com, tstart, TIMEOUT);
    tdiff = Timer() - tstart;
    // Another port's outcome stands; the settings keep what they were.
    if (outcome == EXCHANGE_ABANDONED) return;
    if (outcome == EXCHANGE_ANSWERED) {
      GetRxBuf(PNUM);
      CopyPPtoVars();
      CopyText(szStatus, "Parameter-frame received! - Line Ok!");
    } else {
      CopyText(szStatus, "Timeout-RS-232...");
    }
  }
  ReportParameterSet();
  ReportStatus(szStatus);
}

int SendParameterSet(int to, const u16 words[PNUM]) {
  order = to == EEPROM ? ORDER_WRITE_EEPROM : ORDER_WRITE_RAM;
  FillTxBuf(static_cast<u16>(order), words);
  nBytesW = SendTxBuf(com, FRAME_SIZE);
  return nBytesW;
}
