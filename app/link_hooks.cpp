// The hooks that show the link's reports on the main panel.
#include "app/link_hooks.h"

#include "app/compare.h"
#include "display/gauge_view.h"
#include "display/link_view.h"
#include "display/sensor_set.h"
#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/com232_hooks.h"

namespace {

// A read-back: what came is what that place of the sensor holds; the panel takes it as far
// as it may, and the compare window follows.
void ParameterSetRead(int outcome) {
  if (outcome == PARAMETERS_RECEIVED) {
    CopyVarsToPP();
    NoteTargetSet(order == ORDER_READ_EEPROM ? EEPROM : RAM, pp);
  }
  ShowParameterSet(outcome);
  RefreshCompareWindow();
}

// A sensor identified: the sets known of the one before are forgotten, then the panel adapts.
void SensorIdentified() {
  ForgetSensorSets();
  ShowSensorType();
}

void LoopStarted(int loop) {
  if (loop != LOOP_MEASURE) return;
  ShowMeasurementStarted();
  GaugeLoopStarted();
}

void LoopEnded(int loop) {
  if (loop != LOOP_MEASURE) return;
  ShowMeasurementEnded();
  GaugeLoopEnded();
}

// A result frame: drawn, then judged and counted.
void ResultFrame() {
  ShowResultFrame();
  GaugeTakeResult();
}

}  // namespace

void JoinLinkToPanel(void) {
  LinkHooks hooks;
  hooks.status = ShowStatus;
  hooks.resultFrame = ResultFrame;
  hooks.parameterSet = ParameterSetRead;
  hooks.sensorIdentified = SensorIdentified;
  hooks.loopStarted = LoopStarted;
  hooks.loopEnded = LoopEnded;
  InstallLinkHooks(hooks);
}
