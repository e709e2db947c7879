// The reports of the link to the hooks the program installed.
#include "link/com232_hooks.h"

#include "com232_report.h"

namespace {
LinkHooks gHooks;
}  // namespace

void InstallLinkHooks(const LinkHooks& hooks) { gHooks = hooks; }

void ReportStatus(const char* text) {
  if (gHooks.status) gHooks.status(text);
}
void ReportResultFrame() {
  if (gHooks.resultFrame) gHooks.resultFrame();
}
void ReportParameterSet(int outcome) {
  if (gHooks.parameterSet) gHooks.parameterSet(outcome);
}
void ReportSensorIdentified() {
  if (gHooks.sensorIdentified) gHooks.sensorIdentified();
}
void ReportLoopStarted(int loop) {
  if (gHooks.loopStarted) gHooks.loopStarted(loop);
}
void ReportLoopEnded(int loop) {
  if (gHooks.loopEnded) gHooks.loopEnded(loop);
}
