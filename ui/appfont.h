#pragma once

// Picks the application font. The window's fixed geometry was laid out for the Windows dialog
// font of its time (Tahoma, 8 points); today's defaults are often wider or taller. The first
// of these that is installed and lets every text of the window fit its widget, in width and
// in height, becomes the application font: the platform's default, then fonts with the
// metrics the layout was drawn with (Tahoma 8, Arial's metrics at 9), then the default at
// smaller sizes. Fonts that keep the labels at the form's sizes come first.
void useLayoutFont();

class QLabel;
// Whether the label's text, wrapped as the label wraps it, fits inside it: every word in its
// width, and the letters of all its lines in its height.
bool labelTextFits(const QLabel &label);
// Makes the label's font smaller, half a point at a time, until its text fits: for systems
// whose every font is too tall for the label at the form's size.
void shrinkUntilItFits(QLabel &label);
