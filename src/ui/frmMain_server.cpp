// Start and stop of the server as the window shows them; the connections themselves are
// the service's.
#include "frmMain.h"

#include "Pictures.h"
#include "TrayIcon.h"

#include <QMessageBox>

#include <cstdio>

const QString frmMain::ActiveTooltip = QStringLiteral("Tallix Server - Active since ");
const QString frmMain::IdleTooltip = QStringLiteral("Tallix Server - Idle since ");

namespace {

void ShowNumber(QLineEdit *box, qint64 n)
{
    const QString text = QString::number(n);
    if (box->text() != text)
        box->setText(text);
}

// Modal to this window only: the docked tray icon is a window of its own and keeps
// taking gestures; while a tray gesture's handler waits here, the icon drops them.
void ShowBox(QWidget *window, const QString &title, const QString &text)
{
    // Also said where a log of the session or a terminal keeps it, as the window-less mode says it.
    std::fprintf(stderr, "tallix-server: %s\n", qPrintable(text));
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, window);
    box.setWindowModality(Qt::WindowModal);
    box.exec();
}

} // namespace

void frmMain::SetTrayLook(const QIcon &icon, const QString &tooltipPrefix)
{
    if (!traMain)
        return;
    traMain->setIcon(icon);
    traMain->setTooltip(tooltipPrefix + txtStartStopTime->text());
    traMain->setToggleCaption(butStartStop->text());
    traMain->Modify();
}

void frmMain::SetStatisticsEnabled(bool enabled, bool withStartStopTime)
{
    QList<QWidget *> group = {lblTotalConnections, lblConnections1, txtConnections1, lblConnections2, txtConnections2,
                              lblMaxSim,           lblMaxSim1,      txtMaxSim1,      lblMaxSim2,      txtMaxSim2};
    if (withStartStopTime)
        group = QList<QWidget *>{lblStartStopTime, txtStartStopTime} + group;
    for (QWidget *w : group)
        w->setEnabled(enabled);
}

void frmMain::StartServer()
{
    bool failed = false;
    // The boxes hold decimal numerals written only by the program.
    butStartStop->setText(QStringLiteral("&Stop Server"));
    txtPort->setEnabled(false);
    txtConnections2->setText(QStringLiteral("0"));
    server_->ResetForStart(txtConnections1->text().toLongLong(), txtMaxSim1->text().toLongLong());
    txtMaxSim2->setText(QStringLiteral("0"));
    if (!server_->Listen(ConnectionService::PortFromText(txtPort->text())))
        failed = true;
    lblStartStopTime->setText(QStringLiteral("Server started at:"));
    txtStartStopTime->setText(NowText());
    SetTrayLook(Pictures::ProgramIcon(), ActiveTooltip);
    SetStatisticsEnabled(true, true);
    ServerRunning = true;

    if (failed) {
        StopServer();
        ShowBox(this, QStringLiteral("Error"), QStringLiteral("Invalid TCP port number or port in use."));
    } else if (const QStringList ignored = server_->IgnoredRuleLines(); !ignored.isEmpty()) {
        // The server runs with the rules it could read; the operator learns what was left
        // out, in a box that still fits the screen when the whole file is wrong.
        constexpr int shown = 20;
        QStringList lines = ignored.mid(0, shown);
        if (ignored.size() > shown)
            lines << QStringLiteral("... and %1 more").arg(ignored.size() - shown);
        ShowBox(this, QStringLiteral("Access rules"),
                QStringLiteral("These lines of %1 were ignored:\n\n%2")
                    .arg(QLatin1String(ConnectionService::AccessFileName), lines.join(u'\n')));
    }
}

void frmMain::ShowCounters()
{
    counterDisplay_->stop();
    const ConnectionCounters &counters = server_->Counters();
    ShowNumber(txtConnections1, counters.SinceLaunch());
    ShowNumber(txtConnections2, counters.SinceStart());
    ShowNumber(txtMaxSim2, counters.MaxSimSinceStart());
    ShowNumber(txtMaxSim1, counters.MaxSimSinceLaunch());
}

void frmMain::StopServer()
{
    if (counterDisplay_->isActive())
        ShowCounters();
    butStartStop->setText(QStringLiteral("&Start Server"));
    txtPort->setEnabled(true);
    server_->Stop();
    lblStartStopTime->setText(QStringLiteral("Server stopped at:"));
    txtStartStopTime->setText(NowText());
    SetTrayLook(Pictures::IdleIcon(), IdleTooltip);
    SetStatisticsEnabled(false, false);
    ServerRunning = false;
}

void frmMain::butStartStop_Click()
{
    if (ServerRunning)
        StopServer();
    else
        StartServer();
}
