#include "ConnectionLog.h"

#include <QDir>
#include <QFile>

ConnectionLog::ConnectionLog(const LocalClock &clock, const DateText &texts) : clock_(clock), texts_(texts) {}

std::optional<QString> ConnectionLog::LogConnection(const QString &dataFolder, int chkLogValue,
                                                    const QString &remoteIP) const
{
    const QString logDir = dataFolder + QStringLiteral("Logs");
    // An existing directory, or one that cannot be made, is not worth a word.
    QDir().mkdir(logDir);

    if (chkLogValue != 1)
        return std::nullopt;

    // Date and time are two readings, the date first: a line written across midnight
    // goes to the file of the day that was read.
    const DateValue day = clock_.Now();
    const QString fileName = logDir + QLatin1Char('/') + day.toString(QStringLiteral("yyyyMMdd"))
                             + QStringLiteral(".log");
    const DateValue now = clock_.Now();
    const QByteArray line =
        (QLatin1Char('[') + texts_.FormatTime(now) + QStringLiteral("] ") + remoteIP + QStringLiteral("\r\n")).toUtf8();

    QFile file(fileName);
    const auto open = [&file] { return file.open(QIODevice::WriteOnly | QIODevice::Append); };
    // A data folder of the user's own may not exist before the first line.
    if (!open() && !QDir().mkpath(logDir))
        return QStringLiteral("cannot make the folder %1").arg(logDir);
    if (!file.isOpen() && !open())
        return file.errorString();
    if (file.write(line) != line.size() || !file.flush())
        return file.errorString();
    return QString();
}
