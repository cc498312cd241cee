// The system clock's trust as the window shows it: the UTC box in the warning colour with
// the state in its tooltip, a second tooltip line on the tray icon, and one desktop
// notice each time the clock turns unsynchronised. Read on the clock tick only.
#include "frmMain.h"

#include "DesktopNotice.h"
#include "TrayIcon.h"

#include <QApplication>

namespace {

// A red that reads on the platform's light and dark box grounds alike.
const QColor ClockWarningText(214, 40, 40);

QString Sentence(QString line)
{
    line[0] = line[0].toUpper();
    return line + u'.';
}

} // namespace

void frmMain::FollowClockTrust(const ServiceClock::Tick &tick)
{
    ShowClockTrust(tick.trustChanged || tick.refusingChanged);
    if (tick.trustChanged && clock_.Trust().Status().state == ClockStatus::State::Unsynchronised)
        ShowDesktopNotice(windowTitle(), Sentence(ClockStateLine(clock_.Trust().Status(), false, nullptr)));
}

void frmMain::ShowClockTrust(bool changed)
{
    const ClockStatus &status = clock_.Trust().Status();
    const ClockRequirement *unmet = server_ ? server_->UnmetClockRule() : nullptr;
    const QString tip = Sentence(ClockStateLine(status, false, unmet));
    if (txtUTCTime->toolTip() != tip) {
        txtUTCTime->setToolTip(tip);
        txtUTCTime->setAccessibleDescription(tip);
    }
    if (!changed && traMain)
        return;
    const bool warn = status.state == ClockStatus::State::Unsynchronised || unmet;
    QPalette look = txtUTCTime->palette();
    look.setColor(QPalette::Text, warn ? ClockWarningText : QApplication::palette().color(QPalette::Text));
    txtUTCTime->setPalette(look);
    if (!traMain)
        return;
    // Only while something is wrong, and without figures that would change every second.
    QString line;
    if (status.state == ClockStatus::State::Unsynchronised)
        line = QStringLiteral("System clock not synchronised");
    else if (unmet)
        line = status.state == ClockStatus::State::Unknown ? QStringLiteral("System clock state unknown")
                                                           : QStringLiteral("System clock error above the bound");
    if (unmet)
        line += QStringLiteral("; refusing clients");
    traMain->setTooltipDetail(line);
    traMain->Modify();
}
