// The review of a recorder file: any file of the program's own format, from any earlier run.
// Its columns over the record number, the band (from the current settings, typed limits, or
// none), the figures of every column and a histogram of the chosen one; "Save report..." writes
// the window as a PDF page, "Save statistics..." the figures as CSV. A file that is not a
// recorder file, is cut off or has bad lines says so in one line and shows what it could read.
#pragma once

/// The window's panel handle (0 until it is loaded).
extern int pReview;

/// Where the window's limits come from.
constexpr int REVIEW_BAND_SETTINGS = 0;  ///< the tolerance band of the current settings
constexpr int REVIEW_BAND_TYPED = 1;     ///< the two limits typed in the window
constexpr int REVIEW_BAND_NONE = 2;      ///< no limits

/// Loads the window and adds "Review a recording..." to the main panel's context menu.
int LoadReviewWindow(void);
/// Reads `path` into the window and shows it. Returns what ReadRecorderFile returned.
int ReviewRecorderFile(const char* path);
/// Shows the window, asking for a file first when none is read yet.
void OpenReviewWindow(void);

int CC_BTNReview(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_REVIEW(int panel, int event, void* data, int eventData1, int eventData2);
int CC_BTNReviewOpen(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_ReviewChoice(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_BTNReviewReport(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_BTNReviewSaveStats(int panel, int control, int event, void* data, int eventData1, int eventData2);
int CC_BTNReviewClose(int panel, int control, int event, void* data, int eventData1, int eventData2);
