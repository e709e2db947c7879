// Test and tooling access to the user-interface services: what a graph, strip chart or panel
// holds, and queued answers for the pop-ups. Plain C++ interface, no Qt.
#pragma once

#include <string>
#include <vector>

struct InspectedPlot {
  int handle = 0;
  bool rectangle = false;
  std::vector<double> xs, ys;  // curve points
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // rectangle corners
  int colour = 0;
  int fillColour = 0;
};

/// The plots of a graph in drawing order (empty for a bad panel or control).
std::vector<InspectedPlot> InspectGraphPlots(int panel, int control);
/// Whether cursor 1..3 has been placed, and where.
bool InspectGraphCursor(int panel, int control, int cursor, double* x, double* y);
struct InspectedOverlay {
  bool shaded = false;
  double shadeX1 = 0, shadeX2 = 0;
  int shadeColour = 0;
  std::vector<double> markXs, markYs;
  int markColour = 0;
  std::vector<std::string> notes;  // every note line, "" where cleared
  std::vector<int> noteColours;
};
/// The overlay of a graph (empty for a bad panel or control).
InspectedOverlay InspectGraphOverlay(int panel, int control);
/// The traces of a strip chart, oldest point first.
std::vector<std::vector<double>> InspectStripChart(int panel, int control);
/// How often the graph or strip chart was really repainted (coalesced repaints).
int InspectRepaintCount(int panel, int control);
/// Paints every pending graph now.
void InspectFlushRepaints();
/// How often ProcessSystemEvents has been called: a wait that sits out a time-out passes its
/// guard many times, one that ends at once a few.
unsigned long InspectEventPasses();

/// What a graph or strip chart shows on screen: its axis ranges (the operator's zoom, if any)
/// and whether it carries the "zoomed" mark. False for a bad panel or control.
struct InspectedView {
  double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
  bool zoomed = false;
  std::string marks;    // the marks' text ("zoomed", "paused", both or none)
  std::string readout;  // the read-out label's text ("" when hidden)
};
bool InspectGraphView(int panel, int control, InspectedView* view);
/// Points at data position `x` of a graph (half-way up), as the mouse would: the read-out
/// follows; then turns the wheel `notches` there (positive zooms in). 0, or negative.
int PointAtGraph(int panel, int control, double x, int notches);
/// Writes a PNG of a graph as it shows (marks and read-out included), at `scale`, with its
/// context menu open at the middle when `withMenu`. 0, or negative.
int SaveGraphImage(int panel, int control, const char* pngPath, double scale, int withMenu);
/// The CSV text that "Save data as CSV..." would write for the graph now.
std::string InspectGraphCsv(int panel, int control);

struct InspectedControl {
  int id = 0;
  std::string name;
  std::string kind;
  std::string text;  // text of a text control or the shown text of a value
  int left = 0, top = 0, width = 0, height = 0;
  bool visible = true, dimmed = false;
  int pointSize = 0, textColour = -1, textBgColour = -1, frameColour = -1;
  bool hasImage = false;
};
/// Every control of a panel in id order, including those created at run time.
std::vector<InspectedControl> InspectPanelControls(int panel);
/// Draws the panel at the fit factor `factor` (0.3 to 1), as on a screen too small for it, so
/// a test can measure texts at every factor the fit can choose. 0, or negative.
int SetPanelFitFactor(int panel, double factor);

/// Queues the answer of the next ConfirmPopup (non-zero = confirmed).
void QueueConfirmAnswer(int answer);
/// Queues the answer of the next FileSelectPopup: the result code and the chosen path.
void QueueFileSelectAnswer(int result, const char* path);
/// Forgets queued answers and the popup log.
void ResetPopupLog(void);

struct PopupRecord {
  std::string kind;  // "confirm" or "file"
  std::string title;
  std::string message;  // message, or the default file name of a file dialog
  bool answeredFromQueue = false;
};
/// Every popup shown since the last ResetPopupLog, oldest first.
const std::vector<PopupRecord>& PopupLog(void);
