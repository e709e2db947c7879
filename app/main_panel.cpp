// Start-up, defaults and shutdown.
#include "app/main_panel.h"

#include <cstdio>

#include "app/acquisition.h"
#include "app/link_hooks.h"
#include "state/globals.h"
#include "app/monitor.h"
#include "app/reconnect.h"
#include "app/settings.h"
#include "state/sync_word.h"
#include "band/logo.h"
#include "display/gui.h"
#include "app/compare.h"
#include "app/review.h"
#include "app/statistics.h"
#include "display/panel.h"
#include "display/gauge_view.h"
#include "display/sensor_set.h"
#include "platform/ui/userint.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "link/com232_owner.h"
#include "platform/serial/rs232.h"
#include "resources/panels.h"

// The program's path buffers go to the services that fill them: both sides must agree on the size.
static_assert(PATH_SIZE == PATH_BUFFER_SIZE);

namespace {

constexpr int BAND_STYLE = 2;
constexpr double SHUTDOWN_PAUSE = 0.2;  // lets a loop that is running see stop_flag first

int FailStartUp(const char* what) {
  std::fprintf(stderr, "rorir: %s\n", what);
  return -1;
}

void OpenFirstPort(int) {
  InitRS232(com);
  NoteComOutcome();
  NoteIdentification(1);
}

}  // namespace

void InitVars(void) {
  power = 500;
  tolMode = 0;
  vThd = 512;
  anaMode = 0;
  polarity = 1;
  eMode = 1;
  eBeg = 1;
  eEnd = 1024;
  tVal = 512;
  tTol = 100;
  eHardware = 1;
  slope = SLOPEMULTI;
  intersect = YOFFSET;
  pixB = 1;
  pixE = 1024;

  com = 1;
  sync = 0x55;
  target = RAM;
  rx_flag = 0;
  stop_flag = 1;

  ccdpixE = 1024;
  ccdsubpixel = 1024;
  ccdmaxpixel = 1024;
  ccdmaxpixelX8 = 8192;
  pcbtype = 0;

  CopyText(szStatus, "InitVars");
  ResetTextBox(pHandle, MAIN_TBOXstatus, szStatus);
  SetCtrlVal(pHandle, MAIN_TOGGBTN_Recorder, 0);

  CopyText(charge_fname, DEFAULT_CHARGE);
  CopyText(rec_fname, DEFAULT_CHARGE);
  ResetTextBox(pPopup, RECORDER_TBOXrecfilename, charge_fname);
  MakePathname(proj_dir, DEFAULT_CHARGE, rec_fname);
  ResetTextBox(pPopup, RECORDER_TBOXrecpath, rec_fname);

  SetActiveCtrl(pHandle, MAIN_BTNStop);
  SetActivePanel(pHandle);

  CopyText(szSoftVersion, "Version 1.52");
  CopyText(szSoftName, "K-VOR-PX-Rorir-QMB");
  ShowLogo(BAND_STYLE);

  // The panel's own values replace the defaults above; the bar and the threshold follow them.
  GetPanelValues();
  AssumeSensorSet();
  ShowGauge();
  DrawRestingBar();
  for (u16& t : thdArray) t = vThd;
}

int CC_PANEL(int /*panel*/, int event, void* /*callbackData*/, int /*eventData1*/, int /*eventData2*/) {
  if (event != EVENT_CLOSE) return 0;
  StopPortWatch();
  stop_flag = 1;
  // Nothing that waited for the line runs on a port about to close.
  ForgetWaitingCommands();
  Delay(SHUTDOWN_PAUSE);
  CloseCom(com);
  QuitUserInterface(0);
  return 0;
}

int StartUp(int argc, char** argv) {
  if (!InitCVIRTE(argc, argv)) return FailStartUp(GetInitError());
  RegisterCallbacks();
  RequireControls(kRequiredControls, kRequiredControlCount);
  pHandle = LoadPanel(0, PANEL_RESOURCE_FILE, PANEL_MAIN);
  if (pHandle < 0) return FailStartUp(GetLoadPanelError());
  pPopup = LoadPanel(0, PANEL_RESOURCE_FILE, PANEL_RECORDER);
  if (pPopup < 0) {
    DiscardPanel(pHandle);
    return FailStartUp(GetLoadPanelError());
  }
  if (LoadCompareWindow() < 0 || LoadStatisticsWindow() < 0 || LoadReviewWindow() < 0) {
    DiscardPanel(pPopup);
    DiscardPanel(pHandle);
    return FailStartUp(GetLoadPanelError());
  }
  CloseOnTerminationSignals(pHandle);
  JoinLinkToPanel();
  InstallStatusLineMonitor();
  InstallSignalCheckMenu();
  GetProjectDir(proj_dir);
  InitVars();
  FillComPortRing();
  // Whatever the link's outcome, start-up goes on: it is reported on the status line.
  RunOnLine(OpenFirstPort, 0, LINE_END);
  StartPortWatch();
  DisplayPanel(pHandle);
  SetActivePanel(pHandle);
  SetActiveCtrl(pHandle, MAIN_BTNStop);
  return 0;
}

int RunAndShutDown(void) {
  RunUserInterface();
  // The panel's close already closed the port; closing it again is harmless.
  StopPortWatch();
  CloseCom(com);
  DiscardPanel(pCompare);
  DiscardPanel(pStatistics);
  DiscardPanel(pReview);
  pCompare = pStatistics = pReview = 0;
  DiscardPanel(pPopup);
  DiscardPanel(pHandle);
  return 0;
}

int WinMain(int argc, char** argv) {
  if (StartUp(argc, argv) != 0) {
    CloseCVIRTE();
    return -1;
  }
  int rc = RunAndShutDown();
  CloseCVIRTE();
  return rc;
}
