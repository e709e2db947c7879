// Program entry, start-up defaults and the main panel's own callback.
#pragma once

/// Start-up up to the running event loop: engine, both panels, data folder, defaults, link,
/// main panel shown. Returns 0, or -1 when the engine or a panel could not be had (one line on
/// stderr says which file and why).
int StartUp(int argc, char** argv);
/// Runs the event loop until the main panel is closed, then closes the port and discards both
/// panels. Returns the program's exit code (0).
int RunAndShutDown(void);
/// The whole program: StartUp, then RunAndShutDown.
int WinMain(int argc, char** argv);

/// Start-up defaults: settings, link state, geometry, status line, recorder names, the
/// information band, and the panel's own values taken as the settings.
void InitVars(void);

/// Main panel callback: on EVENT_CLOSE stops any loop, closes the port and ends the event loop.
int CC_PANEL(int panel, int event, void* callbackData, int eventData1, int eventData2);

/// Binds every callback name of the panel file to its function.
void RegisterCallbacks(void);
