// The table that binds the callback names of the panel file to the program's functions.
#include "app/main_panel.h"
#include "display/userint.h"

void RegisterCallbacks(void) {
  RegisterPanelCallback("CC_PANEL", CC_PANEL);
}
