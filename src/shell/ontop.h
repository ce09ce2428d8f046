#pragma once

class QWidget;

// SetTopMost: keeps a window above all other windows (on true) or releases it (on false).
// The window keeps its position, size and visibility; a window not created yet takes the
// state when it is shown. Nothing is reported.
void SetTopMost(QWidget *window, bool topMost);
