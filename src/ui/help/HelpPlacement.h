#pragma once
#include <QRect>

// Where the help window's frame goes when it opens: beside the main window's frame, on its
// right or else on its left, where that fits; always inside the screen's available area,
// shrunk to it when larger (the desktop's panels are not covered).
QRect PlaceHelpWindow(const QRect &mainFrame, QSize helpFrame, const QRect &available);
