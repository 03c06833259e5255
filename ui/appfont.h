#pragma once

// Picks the application font. The window's fixed geometry was laid out for the Windows
// default font; where the platform's default is wider, an Arial-metric font at 9 points is
// used instead when one is installed, so that every text fits its widget.
void useLayoutFont();
