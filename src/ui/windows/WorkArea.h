#pragma once
// Placement of the auxiliary windows on the primary screen's work area.

class QWidget;

// Moves a top-level window to its stored top and left, kept on the work area
// of the primary screen (its height cut to fit).
void PlaceOnWorkArea(QWidget* window, int top, int left);
