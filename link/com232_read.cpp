// Parameter read-back: the sensor's RAM or EEPROM set into the settings and the panel.
#include "display/panel.h"
#include "display/userint.h"
#include "display/utility.h"
#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/rs232.h"
#include "resources/panels.h"

void PushGET(int from) {
  if (from != DATFILE) {
    order = from == EEPROM ? ORDER_READ_EEPROM : ORDER_READ_RAM;
    CopyVarsToPP();
    DiscardInQ(com);
    FlushOutQ(com);
    FillTxBuf(static_cast<u16>(order), pp);
    rx_flag = 0;
    nBytesW = SendTxBuf(com, FRAME_SIZE);
    if (nBytesW == FRAME_SIZE) ResetTextBox(pHandle, MAIN_TBOXstatus, "Waiting for parameter-frame ...");
    tstart = Timer();
    for (;;) {
      ProcessSystemEvents();
      // The flag is tested before the time-out, so a frame that came in during the last
      // event pumping still counts.
      if (rx_flag == 1) {
        GetRxBuf(PNUM);
        CopyPPtoVars();
        CopyText(szStatus, "Parameter-frame received! - Line Ok!");
        break;
      }
      tdiff = Timer() - tstart;
      if (tdiff > TIMEOUT || PortGone(com)) {
        NoteTimeout();
        CopyText(szStatus, "Timeout-RS-232...");
        break;
      }
    }
  }
  SetPanelValues();
  ResetTextBox(pHandle, MAIN_TBOXstatus, szStatus);
}
