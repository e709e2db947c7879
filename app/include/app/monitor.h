// The link monitor on the main panel: the status line's context menu opens its window, and the
// status line's tooltip shows its counters.
#pragma once

/// Ties the link monitor window to the status line of the main panel (pHandle).
void InstallStatusLineMonitor(void);
