// Start and stop of the server, and the socket events while it runs.
#include "frmMain.h"

#include "ParseNumber.h"
#include "Pictures.h"
#include "Rounding.h"
#include "TimeReply.h"
#include "TrayIcon.h"

#include <QMessageBox>
#include <limits>

namespace {

const QString ActiveTooltip = QStringLiteral("Tallix Server - Active since ");
const QString IdleTooltip = QStringLiteral("Tallix Server - Idle since ");

void ShowNumber(QLineEdit *box, qint64 n)
{
    const QString text = QString::number(n);
    if (box->text() != text)
        box->setText(text);
}

// The port text as the listener gets it: the leading number, halves to even, as a
// 32-bit integer; nothing when it does not fit one.
std::optional<qint64> PortFromText(const QString &text)
{
    const std::optional<qint64> n = RoundHalfEven(ParseNumber(text));
    if (!n || *n < std::numeric_limits<qint32>::min() || *n > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return n;
}

} // namespace

void frmMain::SetTrayLook(const QIcon &icon, const QString &tooltipPrefix)
{
    if (!traMain)
        return;
    traMain->setIcon(icon);
    traMain->setTooltip(tooltipPrefix + txtStartStopTime->text());
    traMain->Modify();
}

void frmMain::SetStatisticsEnabled(bool enabled, bool withStartStopTime)
{
    QList<QWidget *> group = {lblTotalConnections, lblConnections1, txtConnections1,
                              lblConnections2, txtConnections2, lblMaxSim,
                              lblMaxSim1, txtMaxSim1, lblMaxSim2, txtMaxSim2};
    if (withStartStopTime)
        group = QList<QWidget *>{lblStartStopTime, txtStartStopTime} + group;
    for (QWidget *w : group)
        w->setEnabled(enabled);
}

void frmMain::StartServer()
{
    bool failed = false;
    // The boxes hold decimal numerals written only by the program.
    Counters.Start(txtConnections1->text().toLongLong(), txtMaxSim1->text().toLongLong());
    butStartStop->setText(QStringLiteral("&Stop Server"));
    txtPort->setEnabled(false);
    txtConnections2->setText(QStringLiteral("0"));
    Slots.ResetCount();
    txtMaxSim2->setText(QStringLiteral("0"));
    const std::optional<qint64> port = PortFromText(txtPort->text());
    if (!port || !socServer->SetLocalPort(*port))
        failed = true;
    // Listening on whatever port an earlier start left would only be undone at once.
    else if (!socServer->Listen())
        failed = true;
    lblStartStopTime->setText(QStringLiteral("Server started at:"));
    txtStartStopTime->setText(NowText());
    SetTrayLook(Pictures::ProgramIcon(), ActiveTooltip);
    SetStatisticsEnabled(true, true);
    ServerRunning = true;

    if (failed) {
        StopServer();
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"),
                        QStringLiteral("Invalid TCP port number or port in use."), QMessageBox::Ok, this);
        // Modal to this window only: the docked tray icon is a window of its own and keeps
        // taking gestures; while a tray gesture's handler waits here, the icon drops them.
        box.setWindowModality(Qt::WindowModal);
        box.exec();
    }
}

void frmMain::ShowCounters()
{
    counterDisplay_->stop();
    ShowNumber(txtConnections1, Counters.SinceLaunch());
    ShowNumber(txtConnections2, Counters.SinceStart());
    ShowNumber(txtMaxSim2, Counters.MaxSimSinceStart());
    ShowNumber(txtMaxSim1, Counters.MaxSimSinceLaunch());
}

void frmMain::StopServer()
{
    if (counterDisplay_->isActive())
        ShowCounters();
    butStartStop->setText(QStringLiteral("&Start Server"));
    txtPort->setEnabled(true);
    for (int i = 0; i <= Slots.SocketCount(); ++i)
        socServer->Close(i);
    for (int i = 1; i <= Slots.SocketCount(); ++i)
        socServer->Unload(i);
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

void frmMain::socServer_ConnectionRequest(int, qintptr requestID)
{
    // With all slots busy the request is not taken: the socket layer closes it when
    // this handler returns, and it is neither counted nor logged.
    const std::optional<SlotTable::Pick> pick = Slots.Take();
    if (!pick)
        return;
    if (pick->isNew)
        socServer->Load(pick->slot);
    socServer->Accept(pick->slot, requestID);

    Counters.Count(Slots.SocketCount());
    if (!counterDisplay_->isActive())
        counterDisplay_->start();

    log_.LogConnection(Folder(), chkLog->Value(), socServer->RemoteHostIP(pick->slot));
}

void frmMain::socServer_DataArrival(int Index, qint64 bytesTotal)
{
    const QByteArray request = socServer->GetData(Index, bytesTotal);
    socServer->SendData(Index, BuildTimeReply(request, stamper_.Stamp(chkDaylightSavings->Value())));
}

void frmMain::socServer_Close(int Index)
{
    socServer->Close(Index);
    Slots.Free(Index);
}
