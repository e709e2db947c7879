// The link's reports to the hooks the program installed (internal to the link).
#pragma once

void ReportStatus(const char* text);
void ReportResultFrame();
void ReportParameterSet(int outcome);
void ReportSensorIdentified();
void ReportLoopStarted(int loop);
void ReportLoopEnded(int loop);
