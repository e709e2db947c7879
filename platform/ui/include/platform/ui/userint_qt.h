// The Qt widgets behind panels and controls, for tests that drive them with synthetic mouse
// and key events. Only tests and tools include this header.
#pragma once

class QWidget;

/// The top-level window of a panel (nullptr for a bad handle).
QWidget* PanelWidget(int panel);
/// The widget of a control (nullptr for a bad panel or control).
QWidget* CtrlWidget(int panel, int control);
/// The link monitor window (nullptr until it was first opened).
QWidget* LinkMonitorWidget(void);

class QMenu;
/// The context menu of a graph or strip chart (nullptr for a bad panel or control). Its
/// actions are named "pauseDisplay", "savePicture", "saveCsv" and "copyPicture", and the
/// program's own "menuItem1", "menuItem2", ... (AddGraphMenuItem).
QMenu* GraphContextMenu(int panel, int control);
/// The program's context menu of a panel (nullptr for a bad panel, and before the first
/// AddPanelMenuItem). Its actions are named "panelMenuItem1", "panelMenuItem2", ...
QMenu* PanelContextMenu(int panel);
