// The information band at the top of the main panel: logo, maker texts, program name, version.
#pragma once

/// Draws the band in style 0 (white, name and version), 1 (blue, name and version) or 2 (blue,
/// logo, maker texts, name and version). Any other style does nothing.
void ShowLogo(int mode);

/// Creates one text control on the main panel at (left, top) with the given colours and size.
void ShowInfoText(int bgColour, int textColour, const char* text, int left, int top, int pointSize);

/// The three maker texts of style 2.
extern const char* const szMakerName;
extern const char* const szMakerPhone;
extern const char* const szMakerWeb;
