#include "ConnectionLog.h"

#include <QDir>
#include <QFile>

ConnectionLog::ConnectionLog(const LocalClock &clock, const DateText &texts) : clock_(clock), texts_(texts) {}

void ConnectionLog::LogConnection(const QString &dataFolder, int chkLogValue, const QString &remoteIP) const
{
    const QString logDir = dataFolder + QStringLiteral("Logs");
    // An existing directory, or one that cannot be made, is not worth a word.
    QDir().mkdir(logDir);

    if (chkLogValue != 1)
        return;

    // Date and time are two readings, the date first: a line written across midnight
    // goes to the file of the day that was read.
    const DateValue day = clock_.Now();
    const QString fileName = logDir + QLatin1Char('/') + day.toString(QStringLiteral("yyyyMMdd"))
                             + QStringLiteral(".log");
    const DateValue now = clock_.Now();
    const QByteArray line =
        (QLatin1Char('[') + texts_.FormatTime(now) + QStringLiteral("] ") + remoteIP + QStringLiteral("\r\n")).toUtf8();

    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(line);
    file.close();
}
