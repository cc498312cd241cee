#pragma once
#include <QLineEdit>
#include <QWidget>

// The captions were measured for a narrow 8-point face; the system's sans-serif face is
// often wider. A caption that would be cut grows its control towards the free side
// (right-aligned labels to the left, check boxes to the right) within the window, and
// only if that is not enough takes a slightly smaller size of the same face.
void FitCaption(QWidget *control);

// A read-only box shows its longest expected text whole: the font shrinks a little
// (never below 7 points) until the sample fits.
void FitTextBox(QLineEdit *box, const QString &longestText);
