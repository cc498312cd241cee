#include "HelpPlacement.h"

#include <QtGlobal>

QRect PlaceHelpWindow(const QRect &mainFrame, QSize helpFrame, const QRect &available)
{
    constexpr int Gap = 8;
    const QSize size = helpFrame.boundedTo(available.size());
    int left = mainFrame.right() + 1 + Gap;
    if (left + size.width() > available.right() + 1)
        left = mainFrame.left() - Gap - size.width();
    left = qBound(available.left(), left, available.right() + 1 - size.width());
    const int top = qBound(available.top(), mainFrame.top(), available.bottom() + 1 - size.height());
    return QRect(QPoint(left, top), size);
}
