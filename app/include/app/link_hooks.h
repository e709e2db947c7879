// The joint between the sensor link and the main panel: the link reports, the panel shows.
#pragma once

/// Installs the link's hooks that show its reports on the main panel: the status line, the
/// panel half of an identification and of a parameter read-back, the measurement cycle's start
/// and end, and each result frame. Start-up does it once the panels are loaded.
void JoinLinkToPanel(void);
