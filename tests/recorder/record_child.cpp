// rorir-record-child: a recording run in a process of its own, for the test that kills it in
// the middle of the run. COM1 and the data folder come from RORIR_COM1 and RORIR_DATA_DIR; the
// run asks for many records at one-second intervals into the default recorder file.
#include <cstdio>
#include <cstdlib>

#include "app/globals.h"
#include "app/main_panel.h"
#include "display/userint.h"
#include "display/utility.h"
#include "link/com232.h"
#include "link/rs232.h"
#include "recorder/recording.h"
#include "resources/panels.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (!InitCVIRTE(argc, argv)) return 2;
  RegisterCallbacks();
  RequireControls(kRequiredControls, kRequiredControlCount);
  pHandle = LoadPanel(0, PANEL_RESOURCE_FILE, PANEL_MAIN);
  pPopup = LoadPanel(0, PANEL_RESOURCE_FILE, PANEL_RECORDER);
  if (pHandle < 0 || pPopup < 0) return 3;
  GetProjectDir(proj_dir);
  InitVars();
  com = 1;
  if (OpenComConfig(com, "", COM_BAUD, 0, 8, 1, COM_QUEUE_SIZE, COM_QUEUE_SIZE) != 0) return 4;
  SetComTime(com, TIMEOUT);
  InstallReceiveCallback();
  SetCtrlVal(pPopup, RECORDER_NUMnumSample, 1000);
  DisplayPanel(pPopup);
  std::printf("%s\n", rec_fname);
  std::fflush(stdout);
  CC_BTNStartRecord(pPopup, RECORDER_BTNStartRecord, EVENT_COMMIT, nullptr, 0, 0);
  CloseCom(com);
  return stop_flag == 2 ? 0 : 1;
}
