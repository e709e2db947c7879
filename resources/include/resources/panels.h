// Control ids of the two panels of K-VOR-PX-Rorir-QMBv152.uir, shared by the resource file and
// the program. The panel loader checks every entry of kRequiredControls against the file, so a
// file that lacks one of these controls, or gives it another kind, is refused.
#pragma once

#include "platform/ui/userint.h"

constexpr const char* PANEL_RESOURCE_FILE = "K-VOR-PX-Rorir-QMBv152.uir";
constexpr const char* LOGO_FILE = "qz.bmp";

// Panel resource numbers.
constexpr int PANEL_MAIN = 1;
constexpr int PANEL_RECORDER = 2;
constexpr int PANEL_COMPARE = 3;
constexpr int PANEL_STATISTICS = 4;
constexpr int PANEL_REVIEW = 5;

// Main panel.
constexpr int MAIN_DropDCom = 2;
constexpr int MAIN_ButtonTeach = 3;
constexpr int MAIN_RNGanaMode = 4;
constexpr int MAIN_BTNSend = 11;
constexpr int MAIN_BTNGet = 12;
constexpr int MAIN_RBTFile = 13;
constexpr int MAIN_RBTEeprom = 14;
constexpr int MAIN_ButtonReset = 15;
constexpr int MAIN_NUMVideoThreshold = 16;
constexpr int MAIN_NUMpower = 17;
constexpr int MAIN_NUMslope = 18;
constexpr int MAIN_NEDITTolerance = 19;
constexpr int MAIN_NUMtVal = 20;
constexpr int MAIN_RBTRam = 21;
constexpr int MAIN_BTNRun = 22;
constexpr int MAIN_BTNStop = 23;
constexpr int MAIN_BTNVideo = 24;
constexpr int MAIN_DropHardwareMode = 25;
constexpr int MAIN_RNGtolMode = 26;
constexpr int MAIN_RNGpowMode = 27;
constexpr int MAIN_RNGpolarity = 28;
constexpr int MAIN_NUMaverage = 29;
constexpr int MAIN_RNGeMode = 30;
constexpr int MAIN_NUMgapVal = 32;
constexpr int MAIN_NUMmvalue = 33;
constexpr int MAIN_NUMumValue = 34;
constexpr int MAIN_NUMmvalue2 = 35;
constexpr int MAIN_NUManaMin = 36;
constexpr int MAIN_NUManaMax = 37;
constexpr int MAIN_NUMgapLen = 38;
constexpr int MAIN_NUMgapPix = 39;
constexpr int MAIN_NUMedcnt = 40;
constexpr int MAIN_NUMtTol = 41;
constexpr int MAIN_NUMledge = 42;
constexpr int MAIN_NUMredge = 43;
constexpr int MAIN_DECOlogo = 51;
constexpr int MAIN_NEDITEdgeRight = 52;
constexpr int MAIN_NEDITEdgeLeft = 53;
constexpr int MAIN_TBOXstatus = 54;
constexpr int MAIN_GRAPHvideo = 55;
constexpr int MAIN_GRAPHbar = 56;
constexpr int MAIN_PICTlogo = 57;
constexpr int MAIN_DECOanaMaxMin = 58;
constexpr int MAIN_TOGGBTN_Recorder = 59;
constexpr int MAIN_CHARTraw = 60;
constexpr int MAIN_BINSWopMode = 61;
constexpr int MAIN_BTNCompare = 62;
constexpr int MAIN_STRjudgement = 63;
constexpr int MAIN_STRcounts = 64;
constexpr int MAIN_BTNResetCounts = 65;
constexpr int MAIN_BTNStatistics = 66;

// Compare window.
constexpr int COMPARE_TABLEsets = 1;
constexpr int COMPARE_BTNReadRam = 2;
constexpr int COMPARE_BTNReadEeprom = 3;
constexpr int COMPARE_BTNOpenFile = 4;
constexpr int COMPARE_BTNVerify = 5;
constexpr int COMPARE_RNGTakeFrom = 6;
constexpr int COMPARE_BTNTake = 7;
constexpr int COMPARE_STRverdict = 8;
constexpr int COMPARE_TABLElog = 9;
constexpr int COMPARE_BTNClose = 10;
constexpr int COMPARE_STRfile = 11;

// Statistics window.
constexpr int STATISTICS_TABLEfigures = 1;
constexpr int STATISTICS_NUMlastN = 2;
constexpr int STATISTICS_RNGhistogram = 3;
constexpr int STATISTICS_STRlimits = 4;
constexpr int STATISTICS_GRAPHhistogram = 5;
constexpr int STATISTICS_BTNStatCopy = 6;
constexpr int STATISTICS_BTNStatSave = 7;
constexpr int STATISTICS_BTNStatReset = 8;
constexpr int STATISTICS_BTNStatClose = 9;

// Review window.
constexpr int REVIEW_STRreviewFile = 1;
constexpr int REVIEW_BTNReviewOpen = 2;
constexpr int REVIEW_STRreviewHeader = 3;
constexpr int REVIEW_STRreviewMessage = 4;
constexpr int REVIEW_RNGreviewColumn = 5;
constexpr int REVIEW_RNGreviewBand = 6;
constexpr int REVIEW_NUMreviewLower = 7;
constexpr int REVIEW_NUMreviewUpper = 8;
constexpr int REVIEW_GRAPHreviewTrace = 9;
constexpr int REVIEW_GRAPHreviewHist = 10;
constexpr int REVIEW_TABLEreviewStats = 11;
constexpr int REVIEW_BTNReviewReport = 12;
constexpr int REVIEW_BTNReviewSaveStats = 13;
constexpr int REVIEW_BTNReviewClose = 14;

// Recorder popup.
constexpr int RECORDER_NUMgapCount = 2;
constexpr int RECORDER_NUMgapWidth = 3;
constexpr int RECORDER_NUMmvalueScaled = 4;
constexpr int RECORDER_BTNStartRecord = 6;
constexpr int RECORDER_BTN_File = 7;
constexpr int RECORDER_BTNStopRecord = 8;  // also the control that takes the focus on opening
constexpr int RECORDER_FOCUS_CONTROL = 8;
constexpr int RECORDER_BTNexitRecorder = 9;
constexpr int RECORDER_NUMnumSample = 15;
constexpr int RECORDER_NUMincTime = 16;
constexpr int RECORDER_TBOXrecfilename = 17;
constexpr int RECORDER_TBOXrecpath = 18;
constexpr int RECORDER_TBOXrecstatus = 19;
constexpr int RECORDER_NUMtimeSec = 20;
constexpr int RECORDER_NUMtimeMin = 21;
constexpr int RECORDER_NUMtimeHour = 22;
constexpr int RECORDER_NUMtimeDay = 23;
constexpr int RECORDER_NUMsampleCount = 24;
constexpr int RECORDER_STRstartTime = 25;
constexpr int RECORDER_STRstartDate = 26;
constexpr int RECORDER_STRrunStats = 27;
constexpr int RECORDER_BTNReview = 28;

/// Every control the program addresses, with the kind it expects.
inline constexpr RequiredControl kRequiredControls[] = {
    {PANEL_MAIN, MAIN_DropDCom, "DropDCom", "ring"},
    {PANEL_MAIN, MAIN_ButtonTeach, "ButtonTeach", "command"},
    {PANEL_MAIN, MAIN_RNGanaMode, "RNGanaMode", "ring"},
    {PANEL_MAIN, MAIN_BTNSend, "BTNSend", "command"},
    {PANEL_MAIN, MAIN_BTNGet, "BTNGet", "command"},
    {PANEL_MAIN, MAIN_RBTFile, "RBTFile", "radio"},
    {PANEL_MAIN, MAIN_RBTEeprom, "RBTEeprom", "radio"},
    {PANEL_MAIN, MAIN_ButtonReset, "ButtonReset", "command"},
    {PANEL_MAIN, MAIN_NUMVideoThreshold, "NUMVideoThreshold", "numeric"},
    {PANEL_MAIN, MAIN_NUMpower, "NUMpower", "numeric"},
    {PANEL_MAIN, MAIN_NUMslope, "NUMslope", "numeric"},
    {PANEL_MAIN, MAIN_NEDITTolerance, "NEDITTolerance", "numeric"},
    {PANEL_MAIN, MAIN_NUMtVal, "NUMtVal", "numeric"},
    {PANEL_MAIN, MAIN_RBTRam, "RBTRam", "radio"},
    {PANEL_MAIN, MAIN_BTNRun, "BTNRun", "command"},
    {PANEL_MAIN, MAIN_BTNStop, "BTNStop", "command"},
    {PANEL_MAIN, MAIN_BTNVideo, "BTNVideo", "command"},
    {PANEL_MAIN, MAIN_DropHardwareMode, "DropHardwareMode", "ring"},
    {PANEL_MAIN, MAIN_RNGtolMode, "RNGtolMode", "ring"},
    {PANEL_MAIN, MAIN_RNGpowMode, "RNGpowMode", "ring"},
    {PANEL_MAIN, MAIN_RNGpolarity, "RNGpolarity", "ring"},
    {PANEL_MAIN, MAIN_NUMaverage, "NUMaverage", "numeric"},
    {PANEL_MAIN, MAIN_RNGeMode, "RNGeMode", "ring"},
    {PANEL_MAIN, MAIN_NUMgapVal, "NUMgapVal", "indicator"},
    {PANEL_MAIN, MAIN_NUMmvalue, "NUMmvalue", "indicator"},
    {PANEL_MAIN, MAIN_NUMumValue, "NUMumValue", "indicator"},
    {PANEL_MAIN, MAIN_NUMmvalue2, "NUMmvalue2", "indicator"},
    {PANEL_MAIN, MAIN_NUManaMin, "NUManaMin", "indicator"},
    {PANEL_MAIN, MAIN_NUManaMax, "NUManaMax", "indicator"},
    {PANEL_MAIN, MAIN_NUMgapLen, "NUMgapLen", "indicator"},
    {PANEL_MAIN, MAIN_NUMgapPix, "NUMgapPix", "indicator"},
    {PANEL_MAIN, MAIN_NUMedcnt, "NUMedcnt", "indicator"},
    {PANEL_MAIN, MAIN_NUMtTol, "NUMtTol", "indicator"},
    {PANEL_MAIN, MAIN_NUMledge, "NUMledge", "indicator"},
    {PANEL_MAIN, MAIN_NUMredge, "NUMredge", "indicator"},
    {PANEL_MAIN, MAIN_DECOlogo, "DECOlogo", "decoration"},
    {PANEL_MAIN, MAIN_NEDITEdgeRight, "NEDITEdgeRight", "numeric"},
    {PANEL_MAIN, MAIN_NEDITEdgeLeft, "NEDITEdgeLeft", "numeric"},
    {PANEL_MAIN, MAIN_TBOXstatus, "TBOXstatus", "textbox"},
    {PANEL_MAIN, MAIN_GRAPHvideo, "GRAPHvideo", "graph"},
    {PANEL_MAIN, MAIN_GRAPHbar, "GRAPHbar", "graph"},
    {PANEL_MAIN, MAIN_PICTlogo, "PICTlogo", "picture"},
    {PANEL_MAIN, MAIN_DECOanaMaxMin, "DECOanaMaxMin", "decoration"},
    {PANEL_MAIN, MAIN_TOGGBTN_Recorder, "TOGGBTN_Recorder", "toggle"},
    {PANEL_MAIN, MAIN_CHARTraw, "CHARTraw", "stripchart"},
    {PANEL_MAIN, MAIN_BINSWopMode, "BINSWopMode", "binary"},
    {PANEL_MAIN, MAIN_BTNCompare, "BTNCompare", "command"},
    {PANEL_MAIN, MAIN_STRjudgement, "STRjudgement", "string"},
    {PANEL_MAIN, MAIN_STRcounts, "STRcounts", "string"},
    {PANEL_MAIN, MAIN_BTNResetCounts, "BTNResetCounts", "command"},
    {PANEL_MAIN, MAIN_BTNStatistics, "BTNStatistics", "command"},
    {PANEL_STATISTICS, STATISTICS_TABLEfigures, "TABLEfigures", "table"},
    {PANEL_STATISTICS, STATISTICS_NUMlastN, "NUMlastN", "numeric"},
    {PANEL_STATISTICS, STATISTICS_RNGhistogram, "RNGhistogram", "ring"},
    {PANEL_STATISTICS, STATISTICS_STRlimits, "STRlimits", "string"},
    {PANEL_STATISTICS, STATISTICS_GRAPHhistogram, "GRAPHhistogram", "graph"},
    {PANEL_STATISTICS, STATISTICS_BTNStatCopy, "BTNStatCopy", "command"},
    {PANEL_STATISTICS, STATISTICS_BTNStatSave, "BTNStatSave", "command"},
    {PANEL_STATISTICS, STATISTICS_BTNStatReset, "BTNStatReset", "command"},
    {PANEL_STATISTICS, STATISTICS_BTNStatClose, "BTNStatClose", "command"},
    {PANEL_REVIEW, REVIEW_STRreviewFile, "STRreviewFile", "string"},
    {PANEL_REVIEW, REVIEW_BTNReviewOpen, "BTNReviewOpen", "command"},
    {PANEL_REVIEW, REVIEW_STRreviewHeader, "STRreviewHeader", "string"},
    {PANEL_REVIEW, REVIEW_STRreviewMessage, "STRreviewMessage", "string"},
    {PANEL_REVIEW, REVIEW_RNGreviewColumn, "RNGreviewColumn", "ring"},
    {PANEL_REVIEW, REVIEW_RNGreviewBand, "RNGreviewBand", "ring"},
    {PANEL_REVIEW, REVIEW_NUMreviewLower, "NUMreviewLower", "numeric"},
    {PANEL_REVIEW, REVIEW_NUMreviewUpper, "NUMreviewUpper", "numeric"},
    {PANEL_REVIEW, REVIEW_GRAPHreviewTrace, "GRAPHreviewTrace", "graph"},
    {PANEL_REVIEW, REVIEW_GRAPHreviewHist, "GRAPHreviewHist", "graph"},
    {PANEL_REVIEW, REVIEW_TABLEreviewStats, "TABLEreviewStats", "table"},
    {PANEL_REVIEW, REVIEW_BTNReviewReport, "BTNReviewReport", "command"},
    {PANEL_REVIEW, REVIEW_BTNReviewSaveStats, "BTNReviewSaveStats", "command"},
    {PANEL_REVIEW, REVIEW_BTNReviewClose, "BTNReviewClose", "command"},
    {PANEL_COMPARE, COMPARE_TABLEsets, "TABLEsets", "table"},
    {PANEL_COMPARE, COMPARE_BTNReadRam, "BTNReadRam", "command"},
    {PANEL_COMPARE, COMPARE_BTNReadEeprom, "BTNReadEeprom", "command"},
    {PANEL_COMPARE, COMPARE_BTNOpenFile, "BTNOpenFile", "command"},
    {PANEL_COMPARE, COMPARE_BTNVerify, "BTNVerify", "command"},
    {PANEL_COMPARE, COMPARE_RNGTakeFrom, "RNGTakeFrom", "ring"},
    {PANEL_COMPARE, COMPARE_BTNTake, "BTNTake", "command"},
    {PANEL_COMPARE, COMPARE_STRverdict, "STRverdict", "string"},
    {PANEL_COMPARE, COMPARE_TABLElog, "TABLElog", "table"},
    {PANEL_COMPARE, COMPARE_BTNClose, "BTNClose", "command"},
    {PANEL_COMPARE, COMPARE_STRfile, "STRfile", "string"},
    {PANEL_RECORDER, RECORDER_NUMgapCount, "NUMgapCount", "indicator"},
    {PANEL_RECORDER, RECORDER_NUMgapWidth, "NUMgapWidth", "indicator"},
    {PANEL_RECORDER, RECORDER_NUMmvalueScaled, "NUMmvalueScaled", "indicator"},
    {PANEL_RECORDER, RECORDER_BTNStartRecord, "BTNStartRecord", "command"},
    {PANEL_RECORDER, RECORDER_BTN_File, "BTN_File", "command"},
    {PANEL_RECORDER, RECORDER_BTNStopRecord, "BTNStopRecord", "command"},
    {PANEL_RECORDER, RECORDER_BTNexitRecorder, "BTNexitRecorder", "command"},
    {PANEL_RECORDER, RECORDER_NUMnumSample, "NUMnumSample", "numeric"},
    {PANEL_RECORDER, RECORDER_NUMincTime, "NUMincTime", "numeric"},
    {PANEL_RECORDER, RECORDER_TBOXrecfilename, "TBOXrecfilename", "textbox"},
    {PANEL_RECORDER, RECORDER_TBOXrecpath, "TBOXrecpath", "textbox"},
    {PANEL_RECORDER, RECORDER_TBOXrecstatus, "TBOXrecstatus", "textbox"},
    {PANEL_RECORDER, RECORDER_NUMtimeSec, "NUMtimeSec", "indicator"},
    {PANEL_RECORDER, RECORDER_NUMtimeMin, "NUMtimeMin", "indicator"},
    {PANEL_RECORDER, RECORDER_NUMtimeHour, "NUMtimeHour", "indicator"},
    {PANEL_RECORDER, RECORDER_NUMtimeDay, "NUMtimeDay", "indicator"},
    {PANEL_RECORDER, RECORDER_NUMsampleCount, "NUMsampleCount", "indicator"},
    {PANEL_RECORDER, RECORDER_STRstartTime, "STRstartTime", "string"},
    {PANEL_RECORDER, RECORDER_STRstartDate, "STRstartDate", "string"},
    {PANEL_RECORDER, RECORDER_STRrunStats, "STRrunStats", "string"},
    {PANEL_RECORDER, RECORDER_BTNReview, "BTNReview", "command"},
};
inline constexpr int kRequiredControlCount =
    static_cast<int>(sizeof kRequiredControls / sizeof kRequiredControls[0]);
