#pragma once
#include <QString>

// A short notice to the user from the desktop itself, outside the program's windows: it
// closes by itself after a few seconds, and showing it neither waits for anyone nor keeps
// the program from ending. Nothing happens where the desktop offers no such notice.
void ShowDesktopNotice(const QString &title, const QString &text);
