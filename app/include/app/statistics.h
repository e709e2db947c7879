// The statistics window: the figures of the M-value and the gap value since the loop started
// (or the reset) and over the last N results, with a histogram of one of them against the
// band's limits and its fitted normal curve; "Copy" and "Save as CSV..." of the figures.
#pragma once

/// The window's panel handle (0 until it is loaded).
extern int pStatistics;

/// Loads the window and adds "Statistics..." to the position bar's and the trend's menus.
/// 0 or negative.
int LoadStatisticsWindow(void);
/// Shows the window with its figures brought up to date.
void OpenStatisticsWindow(void);
/// Brings the shown window up to date; nothing while it is hidden.
void RefreshStatisticsWindow(void);

int CC_BTNStatistics(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_BTNResetCounts(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_STATISTICS(int panel, int event, void* data, int eventData1, int eventData2);
int CC_NUMlastN(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_RNGhistogram(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_BTNStatCopy(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_BTNStatSave(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_BTNStatReset(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_BTNStatClose(int panel, int control, int event, void* data, int eventData1, int eventData2);
