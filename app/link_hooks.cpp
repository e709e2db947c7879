// The hooks that show the link's reports on the main panel.
#include "app/link_hooks.h"

#include "display/link_view.h"
#include "display/panel.h"
#include "link/com232_hooks.h"

namespace {

void LoopStarted(int loop) {
  if (loop == LOOP_MEASURE) ShowMeasurementStarted();
}

void LoopEnded(int loop) {
  if (loop == LOOP_MEASURE) ShowMeasurementEnded();
}

}  // namespace

void JoinLinkToPanel(void) {
  LinkHooks hooks;
  hooks.status = ShowStatus;
  hooks.resultFrame = ShowResultFrame;
  hooks.parameterSet = SetPanelValues;
  hooks.sensorIdentified = ShowSensorType;
  hooks.loopStarted = LoopStarted;
  hooks.loopEnded = LoopEnded;
  InstallLinkHooks(hooks);
}
