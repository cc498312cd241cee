#include "ConnectionLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <deque>

namespace {

// Gives its readings in turn, then repeats the last one.
class ScriptedClock : public LocalClock
{
public:
    mutable std::deque<DateValue> readings;
    DateValue Now() const override
    {
        const DateValue v = readings.front();
        if (readings.size() > 1)
            readings.pop_front();
        return v;
    }
};

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class tst_ConnectionLog : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void boxDecidesWhetherALineIsWritten_data();
    void boxDecidesWhetherALineIsWritten();
    void appendsOneLinePerConnection();
    void dateIsReadBeforeTimeAcrossMidnight();
    void failuresAreSkippedSilently();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString folder_;
};

void tst_ConnectionLog::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    folder_ = dir_->path() + QLatin1Char('/');
}

void tst_ConnectionLog::boxDecidesWhetherALineIsWritten_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<bool>("logged");
    QTest::newRow("unchecked") << 0 << false;
    QTest::newRow("checked") << 1 << true;
    QTest::newRow("grayed") << 2 << false;
}

void tst_ConnectionLog::boxDecidesWhetherALineIsWritten()
{
    QFETCH(int, box);
    QFETCH(bool, logged);
    ScriptedClock clock;
    clock.readings = {MakeDateValue(2026, 12, 5, 22, 2, 52)};
    ConnectionLog log(clock, DateText(QLocale::c()));

    log.LogConnection(folder_, box, QStringLiteral("192.0.2.7"));

    // The directory is made whatever the box says.
    QVERIFY(QFileInfo(folder_ + "Logs").isDir());
    const QStringList files = QDir(folder_ + "Logs").entryList(QDir::Files);
    if (logged) {
        QCOMPARE(files, QStringList{"20261205.log"});
        QCOMPARE(ReadAll(folder_ + "Logs/20261205.log"), QByteArray("[22:02:52] 192.0.2.7\r\n"));
    } else {
        QVERIFY(files.isEmpty());
    }
}

void tst_ConnectionLog::appendsOneLinePerConnection()
{
    ScriptedClock clock;
    clock.readings = {MakeDateValue(2026, 12, 5, 8, 0, 1), MakeDateValue(2026, 12, 5, 8, 0, 1),
                      MakeDateValue(2026, 12, 5, 9, 30, 0), MakeDateValue(2026, 12, 5, 9, 30, 0)};
    ConnectionLog log(clock, DateText(QLocale(QLocale::English, QLocale::UnitedStates)));
    // Lines already there are kept.
    QDir(folder_).mkdir("Logs");
    {
        QFile f(folder_ + "Logs/20261205.log");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[earlier] 10.0.0.1\r\n");
    }
    log.LogConnection(folder_, 1, QStringLiteral("192.0.2.7"));
    log.LogConnection(folder_, 1, QStringLiteral("::1"));

    const QList<QByteArray> lines = ReadAll(folder_ + "Logs/20261205.log").split('\n');
    QCOMPARE(lines.size(), 4); // three lines and the empty rest after the last LF
    QCOMPARE(lines[0], QByteArray("[earlier] 10.0.0.1\r"));
    // US English writes a 12-hour clock; the exact spacing before AM is the locale's.
    QVERIFY2(lines[1].startsWith("[8:00:01") && lines[1].endsWith("AM] 192.0.2.7\r"), lines[1]);
    QVERIFY2(lines[2].startsWith("[9:30:00") && lines[2].endsWith("AM] ::1\r"), lines[2]);
    QVERIFY(lines[3].isEmpty());
}

void tst_ConnectionLog::dateIsReadBeforeTimeAcrossMidnight()
{
    ScriptedClock clock;
    // 23:59:59 then 00:00:01; the second call's date reading falls before midnight while
    // its time reading falls after: the line goes to the file of the date read first.
    clock.readings = {MakeDateValue(2026, 12, 5, 23, 59, 59), MakeDateValue(2026, 12, 5, 23, 59, 59),
                      MakeDateValue(2026, 12, 5, 23, 59, 59), MakeDateValue(2026, 12, 6, 0, 0, 0),
                      MakeDateValue(2026, 12, 6, 0, 0, 1), MakeDateValue(2026, 12, 6, 0, 0, 1)};
    ConnectionLog log(clock, DateText(QLocale::c()));
    log.LogConnection(folder_, 1, QStringLiteral("192.0.2.1"));
    log.LogConnection(folder_, 1, QStringLiteral("192.0.2.2"));
    log.LogConnection(folder_, 1, QStringLiteral("192.0.2.3"));

    QCOMPARE(ReadAll(folder_ + "Logs/20261205.log"),
             QByteArray("[23:59:59] 192.0.2.1\r\n[00:00:00] 192.0.2.2\r\n"));
    QCOMPARE(ReadAll(folder_ + "Logs/20261206.log"), QByteArray("[00:00:01] 192.0.2.3\r\n"));
}

void tst_ConnectionLog::failuresAreSkippedSilently()
{
    ScriptedClock clock;
    clock.readings = {MakeDateValue(2026, 12, 5, 22, 2, 52)};
    ConnectionLog log(clock, DateText(QLocale::c()));

    // A read-only log file: nothing written, nothing thrown. Root may write anyway, so
    // the check stands only where the permission holds.
    QDir(folder_).mkdir("Logs");
    const QString path = folder_ + "Logs/20261205.log";
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("kept\r\n");
    }
    QFile::setPermissions(path, QFile::ReadOwner);
    const bool permissionHolds = !QFile(path).open(QIODevice::Append);
    log.LogConnection(folder_, 1, QStringLiteral("192.0.2.7"));
    if (permissionHolds)
        QCOMPARE(ReadAll(path), QByteArray("kept\r\n"));

    // A directory where the day's file should be cannot be opened by anyone.
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(QFile::remove(path));
    QVERIFY(QDir(folder_).mkpath("Logs/20261205.log"));
    log.LogConnection(folder_, 1, QStringLiteral("192.0.2.7"));
    QVERIFY(QFileInfo(path).isDir());

    // A file named Logs where the directory should be.
    QTemporaryDir other;
    const QString otherFolder = other.path() + QLatin1Char('/');
    {
        QFile f(otherFolder + "Logs");
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    log.LogConnection(otherFolder, 1, QStringLiteral("192.0.2.7"));
    QVERIFY(QFileInfo(otherFolder + "Logs").isFile());

    // A program folder that does not exist: nothing is made there.
    log.LogConnection(otherFolder + "missing/", 1, QStringLiteral("192.0.2.7"));
    QVERIFY(!QFileInfo::exists(otherFolder + "missing"));
}

QTEST_GUILESS_MAIN(tst_ConnectionLog)
#include "tst_ConnectionLog.moc"
