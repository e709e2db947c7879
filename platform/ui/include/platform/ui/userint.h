// User-interface services: panels, controls, graphs, strip charts, pop-ups and the event loop.
//
// The instrument logic calls these plain functions; only platform/ui/userint*.cpp knows that the
// panels are Qt widgets. This header includes nothing of Qt, so every module may include it.
//
// Panels are addressed by a handle (> 0) and controls by their integer id within the panel.
// Control callbacks run only from inside RunUserInterface or ProcessSystemEvents, one event at a
// time in the order the operator produced them, never from inside another call of this header.
// A value written by the program (SetCtrlVal) raises no event.
//
// The operator's events wait in a queue while the program is busy (a pause, a blocking read).
// An event whose control is dimmed, or hidden (its own ATTR_VISIBLE, or its panel hidden with
// HidePanel), when the event comes out of the queue is dropped: what the operator cannot use
// never acts, even if it was usable when clicked. The panel's close event is always delivered.
//
// Tab moves through a panel's controls in the order they are laid out: group by group, then top
// to bottom and left to right within a group (see resources/README.md for what makes a group).
#pragma once

#include <cstddef>

#include "platform/sys/events.h"

// ---- event codes delivered to callbacks ----
constexpr int EVENT_COMMIT = 1;       ///< button released, value entered, ring item chosen
constexpr int EVENT_VAL_CHANGED = 2;  ///< any change of a value by the operator
constexpr int EVENT_LEFT_CLICK = 3;   ///< left mouse button pressed on the control
constexpr int EVENT_KEYPRESS = 7;     ///< key pressed while the control has the focus
constexpr int EVENT_CLOSE = 11;       ///< the panel's close box was used

// ---- control attributes ----
constexpr int ATTR_DIMMED = 500;            ///< 1 dimmed (unusable), 0 usable
constexpr int ATTR_VISIBLE = 530;           ///< 1 shown, 0 hidden
constexpr int ATTR_LEFT = 531;              ///< left edge in panel pixels
constexpr int ATTR_TOP = 532;               ///< top edge in panel pixels
constexpr int ATTR_FRAME_COLOR = 550;       ///< colour of a decoration
constexpr int ATTR_TEXT_COLOR = 680;        ///< text colour (0xRRGGBB)
constexpr int ATTR_TEXT_FONT = 682;         ///< font name (string attribute)
constexpr int ATTR_TEXT_POINT_SIZE = 686;   ///< text size in points
constexpr int ATTR_TEXT_BOLD = 687;         ///< 1 bold, 0 normal
constexpr int ATTR_TEXT_BGCOLOR = 690;      ///< text background colour (0xRRGGBB; -1 the default)
constexpr int ATTR_ON_TEXT = 940;           ///< text of the on state of a two-state switch
constexpr int ATTR_OFF_TEXT = 941;          ///< text of the off state of a two-state switch
constexpr int ATTR_TOOLTIP = 950;           ///< text shown when the pointer rests on the control ("" none)
constexpr int ATTR_SCROLL_MODE = 1088;      ///< strip chart: 1 scrolls continuously
constexpr int ATTR_NUM_TRACES = 1170;       ///< strip chart: number of traces
constexpr int ATTR_POINTS_PER_SCREEN = 1171;///< strip chart: points across the chart
constexpr int ATTR_TRACE_COLOR = 1230;      ///< strip chart trace colour (SetTraceAttribute)

// ---- control style for NewCtrl ----
constexpr int CTRL_TEXT_MSG = 160;  ///< a text message (label) created at run time

// ---- data types of arrays passed to the graph calls ----
constexpr int VAL_INTEGER = 1;                 ///< int
constexpr int VAL_SHORT_INTEGER = 2;           ///< short
constexpr int VAL_FLOAT = 3;                   ///< float
constexpr int VAL_DOUBLE = 4;                  ///< double
constexpr int VAL_UNSIGNED_SHORT_INTEGER = 6;  ///< unsigned short
constexpr int VAL_UNSIGNED_INTEGER = 7;        ///< unsigned int
constexpr int VAL_UNSIGNED_CHAR = 8;           ///< unsigned char

// ---- graph codes ----
constexpr int VAL_BOTTOM_XAXIS = 0;
constexpr int VAL_LEFT_YAXIS = 1;
constexpr int VAL_MANUAL = 0;           ///< axis scaling: fixed range
constexpr int VAL_AUTOSCALE = 1;        ///< axis scaling: follows the data
constexpr int VAL_ALL_PLOTS = -1;       ///< DeleteGraphPlot: every plot
constexpr int VAL_NO_DRAW = 0;          ///< DeleteGraphPlot refresh modes
constexpr int VAL_DELAYED_DRAW = 1;
constexpr int VAL_CONNECTED_POINTS = 5; ///< plot style: points joined by lines
constexpr int VAL_THIN_LINE = 0;        ///< plot style: line only
constexpr int VAL_SOLID_SQUARE = 10;    ///< point style
constexpr int VAL_SOLID = 0;            ///< line style

// ---- results ----
constexpr int UIE_NO_ERROR = 0;
constexpr int UIE_BAD_PANEL = -4;        ///< no such panel handle
constexpr int UIE_BAD_CONTROL = -5;      ///< no such control on that panel
constexpr int UIE_BAD_ATTRIBUTE = -6;    ///< attribute or value does not fit the control
constexpr int UIE_BAD_TYPE = -7;         ///< value type does not fit the control
constexpr int UIE_FILE_NOT_FOUND = -10;  ///< resource or image file missing
constexpr int UIE_BAD_FILE = -11;        ///< resource file unreadable or malformed
constexpr int UIE_BAD_RESOURCE = -12;    ///< no panel with that resource number
constexpr int UIE_MISSING_CONTROL = -13; ///< the program names a control the file lacks
constexpr int UIE_NOT_INITIALISED = -20; ///< InitCVIRTE has not run

// ---- popup results ----
constexpr int VAL_NO_FILE_SELECTED = 0;
constexpr int VAL_EXISTING_FILE_SELECTED = 1;
constexpr int VAL_NEW_FILE_SELECTED = 2;

// ---- colours (0xRRGGBB) ----
constexpr int VAL_RED = 0xFF0000;
constexpr int VAL_GREEN = 0x00FF00;
constexpr int VAL_DK_GREEN = 0x008000;
constexpr int VAL_BLUE = 0x0000FF;
constexpr int VAL_BLACK = 0x000000;
constexpr int VAL_WHITE = 0xFFFFFF;
constexpr int VAL_LT_GRAY = 0xA0A0A0;

using CtrlCallbackPtr = int (*)(int panel, int control, int event, void* callbackData,
                                int eventData1, int eventData2);
using PanelCallbackPtr = int (*)(int panel, int event, void* callbackData, int eventData1,
                                 int eventData2);

/// Starts the user-interface engine (the Qt application). Returns 1 on success, 0 on failure
/// (GetInitError says why). When no display can be opened it returns 0 before Qt tries, so
/// nothing of Qt is printed; should Qt fail all the same (a display that is named but cannot be
/// reached), the process ends at once with status 255 and one line on stderr,
/// "<program>: no display could be opened (...); ...", since Qt's failure cannot be returned from.
int InitCVIRTE(int argc, char** argv);
/// Why the last InitCVIRTE failed, in one line that says how to run the program ("" after a
/// success).
const char* GetInitError(void);
/// Discards every panel and stops the engine.
void CloseCVIRTE(void);

/// Binds a callback name used in the resource file to a function. Call before LoadPanel.
void RegisterCtrlCallback(const char* name, CtrlCallbackPtr fn);
void RegisterPanelCallback(const char* name, PanelCallbackPtr fn);

/// One control the program relies on: the loader refuses a panel that lacks it or gives it
/// another kind. `kind` is the kind name of the resource file ("command", "numeric", ...).
struct RequiredControl {
  int resource;
  int id;
  const char* name;
  const char* kind;
};
/// Sets the list of controls that LoadPanel checks for. The list must outlive every LoadPanel.
void RequireControls(const RequiredControl* list, int count);

/// Loads panel `resource` of the resource file. A relative file name is looked up next to the
/// executable, then in the install's share folder. Returns the handle (> 0) or a UIE_ code.
int LoadPanel(int parent, const char* file, int resource);
/// The reason the last LoadPanel failed, in one line ("" after a success).
const char* GetLoadPanelError(void);

int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);
int SetActivePanel(int panel);
int SetActiveCtrl(int panel, int control);
/// The control that holds the keyboard focus on that panel (0 when none).
int GetActiveCtrl(int panel);
/// 1 while the panel is shown, 0 while hidden, negative for a bad handle.
int IsPanelVisible(int panel);

/// From now on SIGTERM, SIGINT and SIGHUP reach `panel`'s callback as EVENT_CLOSE, from the
/// event loop, as if the operator had used the close box: the program ends the way it always
/// does (loops stopped, port closed) when the session ends or it is told to stop.
int CloseOnTerminationSignals(int panel);

/// Runs the event loop until QuitUserInterface; returns the code given there.
int RunUserInterface(void);
int QuitUserInterface(int code);
// ProcessSystemEvents, ProcessSystemEventsUntil, PostDeferredCall and CallbackRunning come
// from the event loop of the platform (platform/sys/events.h).

// Values. Integer controls hold whole numbers; numerics and indicators with a double value
// type hold doubles; text boxes and string indicators hold text. Numerics coerce a value to
// their range. A read into a smaller type keeps the low bits, as a C conversion would.
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, unsigned int value);
int SetCtrlVal(int panel, int control, unsigned short value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, const char* value);
int GetCtrlVal(int panel, int control, int* value);
int GetCtrlVal(int panel, int control, unsigned int* value);
int GetCtrlVal(int panel, int control, unsigned short* value);
int GetCtrlVal(int panel, int control, double* value);
/// Reads a text value into `buf`, truncated to `size` - 1 characters and always terminated.
int GetCtrlString(int panel, int control, char* buf, size_t size);
template <size_t N>
int GetCtrlVal(int panel, int control, char (&buf)[N]) {
  return GetCtrlString(panel, control, buf, N);
}

int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, const char* value);
int GetCtrlAttribute(int panel, int control, int attribute, int* value);

/// Replaces the whole text of a text box.
int ResetTextBox(int panel, int control, const char* text);
/// Reads line `line` (0 = first) of a text box, bounded like GetCtrlString.
int GetTextBoxLineBounded(int panel, int control, int line, char* buf, size_t size);
template <size_t N>
int GetTextBoxLine(int panel, int control, int line, char (&buf)[N]) {
  return GetTextBoxLineBounded(panel, control, line, buf, N);
}
/// Relabels item `index` (0 = first) of a ring and gives it `value`.
int ReplaceListItem(int panel, int control, int index, const char* label, int value);
/// Removes every item of a ring; its value stays as it was.
int ClearListCtrl(int panel, int control);
/// Inserts an item with `label` and `value` before item `index` (-1 appends).
int InsertListItem(int panel, int control, int index, const char* label, int value);
/// Number of items of a ring, or a negative code.
int GetNumListItems(int panel, int control, int* count);
/// Label of item `index` of a ring, bounded.
int GetLabelFromIndex(int panel, int control, int index, char* buf, size_t size);
// Tables: a read-only grid of texts the program fills (kind "table" in the panel file, with
// "columns" titles and "rows"). Rows and columns count from 0. All return 0 or a negative code
// (a row or column outside the table is an error, nothing is changed).
int SetTableCellVal(int panel, int control, int row, int column, const char* text);
int GetTableCellVal(int panel, int control, int row, int column, char* buf, size_t size);
/// ATTR_TEXT_BGCOLOR (0xRRGGBB, -1 for none) or ATTR_TOOLTIP (text) of one cell.
int SetTableCellAttribute(int panel, int control, int row, int column, int attribute, int value);
int SetTableCellAttribute(int panel, int control, int row, int column, int attribute,
                          const char* value);
int GetTableCellAttribute(int panel, int control, int row, int column, int attribute, int* value);
/// Changes the number of rows (new rows empty); GetNumTableRows reads it.
int SetNumTableRows(int panel, int control, int rows);
int GetNumTableRows(int panel, int control, int* rows);
/// Creates a control at run time (only CTRL_TEXT_MSG); returns its new id.
int NewCtrl(int panel, int style, const char* label, int top, int left);
/// Loads a bitmap into a picture control; a missing file leaves the picture empty.
int DisplayImageFile(int panel, int control, const char* path);

// Graphs. Every call changes the graph's content at once and schedules one repaint; repaints
// are coalesced, at most 25 a second per graph. Display-only texts (indicators, string
// indicators, read-only text boxes) follow their values at the same pace; their values are
// current at once for GetCtrlVal.
int PlotXY(int panel, int control, const void* x, const void* y, int count, int xType,
           int yType, int plotStyle, int pointStyle, int lineStyle, int pointFrequency,
           int colour);
int PlotRectangle(int panel, int control, double x1, double y1, double x2, double y2,
                  int colour, int fillColour);
int DeleteGraphPlot(int panel, int control, int plotHandle, int refresh);
int SetGraphCursor(int panel, int control, int cursor, double x, double y);
int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max);
int GetAxisScalingMode(int panel, int control, int axis, int* mode, double* min, double* max);
// Graph overlay: what a graph shows over its plots and apart from them (DeleteGraphPlot leaves
// it), for marks computed from what the plots show. Repainted like the plots.
constexpr int GRAPH_MAX_MARKS = 32;   ///< point marks of one graph
constexpr int GRAPH_NOTE_LINES = 8;   ///< note lines of one graph
/// Shades the x range between x1 and x2 (either order) over the whole height, behind the plots;
/// a negative colour removes the shade.
int SetGraphShade(int panel, int control, double x1, double x2, int colour);
/// Replaces the point marks by the first `count` points (at most GRAPH_MAX_MARKS; 0 clears).
int SetGraphMarks(int panel, int control, const double* xs, const double* ys, int count,
                  int colour);
/// Sets note line `line` (0 = top) shown at the top left of the plot area, whatever the axes
/// show; "" clears the line.
int SetGraphNote(int panel, int control, int line, const char* text, int colour);

/// Appends `count` interleaved values (trace 1, trace 2, ... per point) from `start` with
/// `skip` values left out between points.
int PlotStripChart(int panel, int control, const void* values, int count, int start, int skip,
                   int type);
int ClearStripChart(int panel, int control);
int SetTraceAttribute(int panel, int control, int trace, int attribute, int value);

// The operator's work with graphs and strip charts, on top of the calls above: the mouse wheel
// zooms the x axis around the pointer (with Ctrl the y axis), a drag pans, a double-click goes
// back to the program's own scaling (the axis settings of SetAxisScalingMode are kept while
// zoomed, so the latest apply). A label reads out the values under the pointer. The context
// menu pauses the display and saves or copies a picture, or saves the data as CSV.

/// Pauses (1) or resumes (0) the display: graphs, strip charts and numeric indicators keep
/// their picture while the calls above go on changing their content underneath; resuming
/// shows the latest content at once. Other controls (the status line) are not paused.
int SetDisplayPaused(int paused);
/// 1 while the display is paused, 0 otherwise.
int GetDisplayPaused(void);

/// The program's own entries in the context menu of a graph or strip chart, above the
/// services' entries. Choosing one calls `callback(panel, control, item)` from the event loop
/// (not while the control is dimmed or hidden). AddGraphMenuItem returns the item (1, 2, ...)
/// or a negative code; SetGraphMenuItem changes its label and dims (1) or undims (0) it.
using GraphMenuCallbackPtr = void (*)(int panel, int control, int item);
int AddGraphMenuItem(int panel, int control, const char* label, GraphMenuCallbackPtr callback);
int SetGraphMenuItem(int panel, int control, int item, const char* label, int dimmed);

/// The program's entries in the context menu of the panel (a right click on the panel's
/// background, or on a control that has no menu of its own). Choosing one calls
/// `callback(panel, item)` from the event loop. Returns the item (1, 2, ...) or a negative code.
using PanelMenuCallbackPtr = void (*)(int panel, int item);
int AddPanelMenuItem(int panel, const char* label, PanelMenuCallbackPtr callback);

/// Called for every EVENT_VAL_CHANGED that reaches a control of any panel, right after the
/// control's own callback (also for a control without a callback). nullptr: none. A value set
/// by the program (SetCtrlVal) raises no event and so does not call it.
using ValueChangedHookPtr = void (*)(int panel, int control);
void SetValueChangedHook(ValueChangedHookPtr hook);

/// Receives the one-line messages of the services' own actions (a picture saved, a CSV that
/// could not be written), for the program's status line. nullptr: they go to stderr.
using StatusHookPtr = void (*)(const char* text);
void SetStatusHook(StatusHookPtr hook);

/// Tells the services which file must not be replaced now (the file a recording run writes):
/// `hook(path)` is non-zero when `path` names that file, under any name or link. nullptr: no
/// file is protected.
using ProtectedFileHookPtr = int (*)(const char* path);
void SetProtectedFileHook(ProtectedFileHookPtr hook);
/// Asked by every save before it writes `path`: 1 when it may (nothing there, or the operator
/// confirmed replacing what is); 0 when the operator declined; negative for the protected file,
/// refused without a question. A refusal or a declined replacement is told through the status
/// hook ("<what> not saved: ..."), `what` naming what was to be saved ("Picture", "Link log").
int ConfirmReplaceFile(const char* path, const char* what);

// Pop-ups (modal Qt dialogs; tests answer them through userint_inspect.h).
/// Yes/no question; non-zero when confirmed.
int ConfirmPopup(const char* title, const char* message);
/// File dialog. Writes the chosen path into `path` (PATH_BUFFER_SIZE bytes) and returns
/// VAL_NO_FILE_SELECTED, VAL_EXISTING_FILE_SELECTED or VAL_NEW_FILE_SELECTED. On cancel
/// `path` is left unchanged.
int FileSelectPopup(const char* defaultDirectory, const char* defaultFileName,
                    const char* fileTypeList, const char* title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, char* path);

/// Writes a picture of the panel (as it would show) to a PNG file. Returns 0 or negative.
int SavePanelImage(int panel, const char* pngPath, double scale);
/// Writes the panel as it would show onto one A4 landscape page of a PDF file, under a title
/// line, scaled to fit the page. The file is written whole or not at all. Returns 0 or negative.
int SavePanelPdf(int panel, const char* pdfPath, const char* title);
/// Puts `text` (UTF-8) on the clipboard. Returns 0 or negative.
int CopyTextToClipboard(const char* text);

// The link monitor window (the program's monitor is read through plain functions).
/// Where the link monitor window reads what it shows.
struct LinkMonitorSource {
  int capacity;                                         ///< frames the monitor holds at most
  const char* directory;                                ///< folder "Save log..." starts in
  size_t (*counters)(char* text, size_t size);          ///< the counters, one a line
  void (*resetCounters)(void);                          ///< the reset button
  unsigned long (*framesSeen)(void);                    ///< frames taken so far (grows by one each)
  int (*frameCount)(void);                              ///< frames held now
  size_t (*frameLine)(int index, char* line, size_t size);  ///< frame `index` (0 oldest) as a line
  int (*saveLog)(const char* path);                     ///< writes the log; 0 or negative
};
/// Adds "Link monitor..." to the context menu of `control` (the status line) and makes its
/// tooltip show the counters. The window reads `source` only while it is shown.
int InstallLinkMonitor(int panel, int control, const LinkMonitorSource& source);
/// Shows the link monitor window (what its context-menu entry does).
int OpenLinkMonitor(void);
/// Hides the link monitor window.
int CloseLinkMonitor(void);
/// Writes a picture of the link monitor window to a PNG file. Returns 0 or negative.
int SaveLinkMonitorImage(const char* pngPath, double scale);
