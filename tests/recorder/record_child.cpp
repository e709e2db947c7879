// rorir-record-child [close|port]: a recording run in a process of its own, inside the program's
// event loop, for the tests that end it from outside. COM1 and the data folder come from
// RORIR_COM1 and RORIR_DATA_DIR; the run asks for many records at one-second intervals into the
// default recorder file. Once two records are written, as the next request goes out, "close"
// closes the main panel and "port" commits the COM ring (back to COM1); with no argument only a
// signal or a kill ends the run.
// A termination signal closes the main panel, as in the program.
//
// Prints the recorder file's path, then the run's outcome text and its box colour, then
// "going on, port open N" if the event loop still runs half a second after the run.
// Exit code: that of the event loop (0 after a close of the main panel).
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "state/globals.h"
#include "app/main_panel.h"
#include "app/settings.h"
#include "platform/ui/userint.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "platform/serial/rs232.h"
#include "recorder/recording.h"
#include "resources/panels.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const char* way = argc > 1 ? argv[1] : "";
  if (!InitCVIRTE(argc, argv)) return 2;
  RegisterCallbacks();
  RequireControls(kRequiredControls, kRequiredControlCount);
  pHandle = LoadPanel(0, PANEL_RESOURCE_FILE, PANEL_MAIN);
  pPopup = LoadPanel(0, PANEL_RESOURCE_FILE, PANEL_RECORDER);
  if (pHandle < 0 || pPopup < 0) return 3;
  CloseOnTerminationSignals(pHandle);
  GetProjectDir(proj_dir);
  InitVars();
  com = 1;
  if (OpenComConfig(com, "", COM_BAUD, 0, 8, 1, COM_QUEUE_SIZE, COM_QUEUE_SIZE) != 0) return 4;
  SetComTime(com, TIMEOUT);
  InstallReceiveCallback();
  SetCtrlVal(pPopup, RECORDER_NUMnumSample, 1000);
  DisplayPanel(pHandle);
  DisplayPanel(pPopup);
  std::printf("%s\n", rec_fname);
  std::fflush(stdout);

  QTimer trigger;
  QObject::connect(&trigger, &QTimer::timeout, [&trigger, way] {
    // Once two records are written, and while the run sends a request: the events that run
    // then are the ones pumped right after the request went out.
    int records = 0;
    char text[TEXT_SIZE] = "";
    GetCtrlVal(pPopup, RECORDER_NUMsampleCount, &records);
    GetCtrlVal(pPopup, RECORDER_TBOXrecstatus, text);
    if (stop_flag != 0 || records < 2) return;
    // From here the check runs on every pass of the event processing, so it cannot miss the
    // pumping right after the request (about a second of a busy loop).
    trigger.setInterval(0);
    if (std::strcmp(text, "DATA-RECORDER: RS-232-BUSY ...") != 0) return;
    trigger.stop();
    // The close box's event, delivered inside the pumping right after the request: the port it
    // closes must not read as a silent line.
    if (std::strcmp(way, "close") == 0) CC_PANEL(pHandle, EVENT_CLOSE, nullptr, 0, 0);
    if (std::strcmp(way, "port") == 0) CC_DropDCom(pHandle, MAIN_DropDCom, EVENT_COMMIT, nullptr, 0, 0);
  });
  trigger.start(2);

  QTimer::singleShot(0, [] {
    CC_BTNStartRecord(pPopup, RECORDER_BTNStartRecord, EVENT_COMMIT, nullptr, 0, 0);
    char text[TEXT_SIZE] = "";
    int background = 0;
    GetCtrlVal(pPopup, RECORDER_TBOXrecstatus, text);
    GetCtrlAttribute(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_BGCOLOR, &background);
    std::printf("%s\n%06X\n", text, background);
    std::fflush(stdout);
    // A close of the main panel has ended the event loop already; otherwise the program goes on.
    QTimer::singleShot(500, [] {
      std::printf("going on, port open %d\n", GetInQLen(com) >= 0 ? 1 : 0);
      std::fflush(stdout);
      QuitUserInterface(5);
    });
  });
  const int code = RunUserInterface();
  CloseCom(com);
  return code;
}
