#include "FitCaption.h"

#include <QCheckBox>
#include <QLabel>

namespace {

int NeededWidth(QWidget *control)
{
    if (auto *label = qobject_cast<QLabel *>(control))
        return label->fontMetrics().horizontalAdvance(label->text().remove(QLatin1Char('&'))) + 2;
    return control->sizeHint().width();
}

// Widens the control towards its free side as far as the window allows; true if it fits.
bool Grow(QWidget *control, int needed, bool towardsLeft)
{
    QRect g = control->geometry();
    const int room = towardsLeft ? g.right() + 1 : control->parentWidget()->width() - g.left();
    g.setWidth(std::min(needed, room));
    if (towardsLeft)
        g.moveRight(control->geometry().right());
    control->setGeometry(g);
    return needed <= room;
}

} // namespace

void FitCaption(QWidget *control)
{
    auto *label = qobject_cast<QLabel *>(control);
    if (label && (label->wordWrap() || (label->alignment() & Qt::AlignHCenter)))
        return; // headings span the window and wrap where they must
    const bool towardsLeft = label && (label->alignment() & Qt::AlignRight);
    for (int step = 0; step < 6; ++step) {
        const int needed = NeededWidth(control);
        if (needed <= control->width() || Grow(control, needed, towardsLeft))
            return;
        QFont f = control->font();
        f.setPointSizeF(f.pointSizeF() - 0.25);
        control->setFont(f);
    }
}

void FitTextBox(QLineEdit *box, const QString &longestText)
{
    // The frame and the text's own margins take a few pixels of the box.
    const int room = box->width() - 6;
    QFont f = box->font();
    while (f.pointSizeF() > 7.0 && QFontMetrics(f).horizontalAdvance(longestText) > room)
        f.setPointSizeF(f.pointSizeF() - 0.25);
    box->setFont(f);
}
