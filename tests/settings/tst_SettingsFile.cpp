// Server.ini read and written in a temporary program folder.
#include "ProgramFolder.h"
#include "SettingsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Values no line of a test file sets, so that "left as it was" is told apart from "set to 0".
Settings untouched()
{
    Settings s;
    s.StartOnLoad = 2;
    s.MinimizeOnLoad = 2;
    s.LogIPs = 2;
    s.Port = QStringLiteral("init");
    s.DaylightSavings = 2;
    return s;
}

const QByteArray kOldContent = "StartOnLoad=1\r\nMinimizeOnLoad=0\r\nLogIPs=1\r\nport=2000\r\nDaylightSavings=0\r\n";

} // namespace

class tst_SettingsFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void withOneTrailingSlash_data();
    void withOneTrailingSlash();
    void programFolderIsTheExecutablesFolder();

    void missingFileChangesNothing();
    void firstSaveWritesFiveLines();
    void load_data();
    void load();
    void saveWritesThePortAsANumber_data();
    void saveWritesThePortAsANumber();
    void roundTrip_data();
    void roundTrip();
    void unknownLinesAreDroppedAtTheNextSave();

    void saveIntoMissingFolderDoesNothing();
    void failedWriteKeepsTheOldFile();
    void unwritableFolderKeepsTheOldFile();
    void saveThroughSymlinkKeepsTheLink();

private:
    QTemporaryDir dir_;
    QString path_;
};

void tst_SettingsFile::init()
{
    QVERIFY(dir_.isValid());
    path_ = dir_.filePath(QStringLiteral("Server.ini"));
    QFile::remove(path_);
}

void tst_SettingsFile::withOneTrailingSlash_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain folder") << "/opt/tallix" << "/opt/tallix/";
    QTest::newRow("already ends in slash") << "/opt/tallix/" << "/opt/tallix/";
    QTest::newRow("several slashes") << "/opt/tallix//" << "/opt/tallix/";
    QTest::newRow("root") << "/" << "/";
    QTest::newRow("drive root") << "C:/" << "C:/";
    QTest::newRow("drive folder") << "C:/Program Files" << "C:/Program Files/";
    QTest::newRow("unknown folder stays relative") << "" << "";
}

void tst_SettingsFile::withOneTrailingSlash()
{
    QFETCH(QString, dir);
    QFETCH(QString, expected);
    QCOMPARE(WithOneTrailingSlash(dir), expected);
}

void tst_SettingsFile::programFolderIsTheExecutablesFolder()
{
    const QString folder = ProgramFolder();
    QVERIFY(folder.endsWith(u'/'));
    QVERIFY(!folder.endsWith(QStringLiteral("//")));
    QCOMPARE(QFileInfo(folder + QFileInfo(QCoreApplication::applicationFilePath()).fileName()).canonicalFilePath(),
             QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
    QCOMPARE(SettingsFilePath(), folder + QStringLiteral("Server.ini"));
}

void tst_SettingsFile::missingFileChangesNothing()
{
    Settings s = untouched();
    LoadSettings(path_, s);
    QCOMPARE(s.StartOnLoad, 2);
    QCOMPARE(s.MinimizeOnLoad, 2);
    QCOMPARE(s.LogIPs, 2);
    QCOMPARE(s.Port, QStringLiteral("init"));
    QCOMPARE(s.DaylightSavings, 2);
    QVERIFY(!QFile::exists(path_));
}

void tst_SettingsFile::firstSaveWritesFiveLines()
{
    Settings s;
    s.LogIPs = 1;
    SaveSettings(path_, s);
    QCOMPARE(readAll(path_),
             QByteArray("StartOnLoad=0\r\nMinimizeOnLoad=0\r\nLogIPs=1\r\nport=1610\r\nDaylightSavings=0\r\n"));
}

void tst_SettingsFile::load_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("startOnLoad");
    QTest::addColumn<int>("minimizeOnLoad");
    QTest::addColumn<int>("logIPs");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("daylightSavings");

    // Key matching: any letter case, but no trimming.
    QTest::newRow("capitals") << QByteArray("STARTONLOAD=1") << 1 << 2 << 2 << "init" << 2;
    QTest::newRow("mixed case") << QByteArray("StArToNlOaD=0") << 0 << 2 << 2 << "init" << 2;
    QTest::newRow("leading blank") << QByteArray(" StartOnLoad=1") << 2 << 2 << 2 << "init" << 2;
    QTest::newRow("blank before =") << QByteArray("StartOnLoad =1") << 2 << 2 << 2 << "init" << 2;
    QTest::newRow("blank inside key") << QByteArray("Start OnLoad=1") << 2 << 2 << 2 << "init" << 2;

    // Check-box values: the number at the start, rounded half to even.
    QTest::newRow("blank after =") << QByteArray("StartOnLoad= 1") << 1 << 2 << 2 << "init" << 2;
    QTest::newRow("blank after value") << QByteArray("StartOnLoad=1 ") << 1 << 2 << 2 << "init" << 2;
    QTest::newRow("letters after value") << QByteArray("StartOnLoad=1abc") << 1 << 2 << 2 << "init" << 2;
    QTest::newRow("word yes") << QByteArray("StartOnLoad=yes") << 0 << 2 << 2 << "init" << 2;
    QTest::newRow("nothing") << QByteArray("StartOnLoad=") << 0 << 2 << 2 << "init" << 2;
    QTest::newRow("1.5 is grayed") << QByteArray("StartOnLoad=1.5") << 2 << 2 << 2 << "init" << 2;
    QTest::newRow("0.5 is unchecked") << QByteArray("StartOnLoad=0.5") << 0 << 2 << 2 << "init" << 2;
    QTest::newRow("2.5 is grayed") << QByteArray("StartOnLoad=2.5") << 2 << 2 << 2 << "init" << 2;
    QTest::newRow("hex 1") << QByteArray("DaylightSavings=&H1") << 2 << 2 << 2 << "init" << 1;

    // An illegal state ends the reading; what came before stays.
    QTest::newRow("7 on line 2") << QByteArray("StartOnLoad=1\r\nLogIPs=7\r\nport=99\r\nDaylightSavings=1\r\n")
                                 << 1 << 2 << 2 << "init" << 2;
    QTest::newRow("-1 first") << QByteArray("MinimizeOnLoad=-1\r\nStartOnLoad=1\r\n") << 2 << 2 << 2 << "init" << 2;
    QTest::newRow("beyond 16 bits") << QByteArray("port=5\r\nLogIPs=70000\r\nStartOnLoad=1") << 2 << 2 << 2 << "5" << 2;
    QTest::newRow("overflowing number") << QByteArray("LogIPs=1e999\r\nStartOnLoad=1") << 2 << 2 << 2 << "init" << 2;
    QTest::newRow("2.6 rounds to 3") << QByteArray("LogIPs=1\r\nLogIPs=2.6\r\nport=1") << 2 << 2 << 1 << "init" << 2;

    // The port text is taken as it stands, lowered.
    QTest::newRow("letters after port=") << QByteArray("port=ABC") << 2 << 2 << 2 << "abc" << 2;
    QTest::newRow("port with blank") << QByteArray("PORT=1610 \r\n") << 2 << 2 << 2 << "1610 " << 2;
    QTest::newRow("port non-ASCII lowered") << QByteArray("port=\xc3\x84x") << 2 << 2 << 2 << QString::fromUtf8("\u00e4x") << 2;
    QTest::newRow("empty port") << QByteArray("port=") << 2 << 2 << 2 << "" << 2;

    // Repeated keys: the last wins.
    QTest::newRow("two ports") << QByteArray("port=1\r\nport=2\r\n") << 2 << 2 << 2 << "2" << 2;
    QTest::newRow("two check values") << QByteArray("LogIPs=1\r\nLogIPs=0\r\n") << 2 << 2 << 0 << "init" << 2;

    // Line ends: CR LF, CR and LF alone each end a line; a last line without one counts.
    QTest::newRow("all five, CR LF") << QByteArray("StartOnLoad=1\r\nMinimizeOnLoad=0\r\nLogIPs=1\r\nport=3000\r\nDaylightSavings=2\r\n")
                                     << 1 << 0 << 1 << "3000" << 2;
    QTest::newRow("LF only") << QByteArray("StartOnLoad=1\nMinimizeOnLoad=1\nLogIPs=0\nport=3000\nDaylightSavings=1\n")
                             << 1 << 1 << 0 << "3000" << 1;
    QTest::newRow("CR only") << QByteArray("StartOnLoad=1\rport=3000") << 1 << 2 << 2 << "3000" << 2;
    QTest::newRow("mixed line ends") << QByteArray("StartOnLoad=0\nLogIPs=1\r\rport=4\r\nMinimizeOnLoad=1")
                                     << 0 << 1 << 1 << "4" << 2;
    QTest::newRow("LF CR is two line ends") << QByteArray("port=5\n\rLogIPs=1") << 2 << 2 << 1 << "5" << 2;

    // Anything else is skipped.
    QTest::newRow("unknown lines") << QByteArray("[Settings]\r\n; comment\r\nport=1\r\nfoo=bar\r\n\r\n") << 2 << 2 << 2 << "1" << 2;
    QTest::newRow("empty file") << QByteArray() << 2 << 2 << 2 << "init" << 2;
}

void tst_SettingsFile::load()
{
    QFETCH(QByteArray, content);
    QFETCH(int, startOnLoad);
    QFETCH(int, minimizeOnLoad);
    QFETCH(int, logIPs);
    QFETCH(QString, port);
    QFETCH(int, daylightSavings);

    writeAll(path_, content);
    Settings s = untouched();
    LoadSettings(path_, s);
    QCOMPARE(s.StartOnLoad, startOnLoad);
    QCOMPARE(s.MinimizeOnLoad, minimizeOnLoad);
    QCOMPARE(s.LogIPs, logIPs);
    QCOMPARE(s.Port, port);
    QCOMPARE(s.DaylightSavings, daylightSavings);
}

void tst_SettingsFile::saveWritesThePortAsANumber_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QByteArray>("portLine");
    QTest::newRow("plain") << "1610" << QByteArray("port=1610");
    QTest::newRow("blanks around") << " 1610 " << QByteArray("port=1610");
    QTest::newRow("blank inside") << "16 10" << QByteArray("port=1610");
    QTest::newRow("letters") << "abc" << QByteArray("port=0");
    QTest::newRow("empty") << "" << QByteArray("port=0");
    QTest::newRow("fraction kept") << "1610.5" << QByteArray("port=1610.5");
    QTest::newRow("hex") << "&H64A" << QByteArray("port=1610");
    QTest::newRow("negative") << "-5" << QByteArray("port=-5");
    QTest::newRow("exponent") << "1e20" << QByteArray("port=100000000000000000000");
    QTest::newRow("overflow stays overflow") << "1e999" << QByteArray("port=1E+999");
}

void tst_SettingsFile::saveWritesThePortAsANumber()
{
    QFETCH(QString, portText);
    QFETCH(QByteArray, portLine);
    Settings s;
    s.Port = portText;
    SaveSettings(path_, s);
    const QList<QByteArray> lines = readAll(path_).split('\n');
    QCOMPARE(lines.size(), 6); // five lines and nothing after the last line end
    QCOMPARE(lines.at(3), portLine + '\r');
}

void tst_SettingsFile::roundTrip_data()
{
    QTest::addColumn<int>("startOnLoad");
    QTest::addColumn<int>("minimizeOnLoad");
    QTest::addColumn<int>("logIPs");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("daylightSavings");
    QTest::newRow("all unchecked") << 0 << 0 << 0 << "1610" << 0;
    QTest::newRow("all checked") << 1 << 1 << 1 << "65535" << 1;
    QTest::newRow("all grayed") << 2 << 2 << 2 << "1" << 2;
    QTest::newRow("mixed") << 1 << 0 << 2 << "20000" << 1;
    QTest::newRow("fractional port") << 0 << 1 << 0 << "1610.5" << 2;
}

void tst_SettingsFile::roundTrip()
{
    QFETCH(int, startOnLoad);
    QFETCH(int, minimizeOnLoad);
    QFETCH(int, logIPs);
    QFETCH(QString, port);
    QFETCH(int, daylightSavings);
    const Settings saved{startOnLoad, minimizeOnLoad, logIPs, port, daylightSavings};
    SaveSettings(path_, saved);
    Settings loaded = untouched();
    LoadSettings(path_, loaded);
    QCOMPARE(loaded.StartOnLoad, startOnLoad);
    QCOMPARE(loaded.MinimizeOnLoad, minimizeOnLoad);
    QCOMPARE(loaded.LogIPs, logIPs);
    QCOMPARE(loaded.Port, port);
    QCOMPARE(loaded.DaylightSavings, daylightSavings);
}

void tst_SettingsFile::unknownLinesAreDroppedAtTheNextSave()
{
    writeAll(path_, "; my notes\r\nport=1\r\nport=2\r\nLOGIPS=1\r\nColour=blue\r\n");
    Settings s;
    LoadSettings(path_, s);
    SaveSettings(path_, s);
    QCOMPARE(readAll(path_),
             QByteArray("StartOnLoad=0\r\nMinimizeOnLoad=0\r\nLogIPs=1\r\nport=2\r\nDaylightSavings=0\r\n"));
}

void tst_SettingsFile::saveIntoMissingFolderDoesNothing()
{
    const QString missing = dir_.filePath(QStringLiteral("gone/Server.ini"));
    SaveSettings(missing, Settings{});
    QVERIFY(!QFileInfo::exists(dir_.filePath(QStringLiteral("gone"))));

    // A regular file where the folder should be: opening fails just the same.
    writeAll(dir_.filePath(QStringLiteral("plainfile")), "x");
    SaveSettings(dir_.filePath(QStringLiteral("plainfile/Server.ini")), Settings{});
    QCOMPARE(readAll(dir_.filePath(QStringLiteral("plainfile"))), QByteArray("x"));
}

void tst_SettingsFile::failedWriteKeepsTheOldFile()
{
    // A file size limit makes the write fail half-way, as a full disk would, even for root.
    writeAll(path_, kOldContent);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 20;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);

    Settings s;
    s.Port = QStringLiteral("3000");
    SaveSettings(path_, s);

    QCOMPARE(setrlimit(RLIMIT_FSIZE, &previous), 0);
    std::signal(SIGXFSZ, previousHandler);
    QCOMPARE(readAll(path_), kOldContent);
    // No temporary file is left behind beside it.
    QCOMPARE(QDir(dir_.path()).entryList({QStringLiteral("Server.ini*")}, QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("Server.ini")});
}

void tst_SettingsFile::unwritableFolderKeepsTheOldFile()
{
    if (geteuid() == 0)
        QSKIP("root writes into read-only folders; failedWriteKeepsTheOldFile covers the failure");
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Server.ini"));
    writeAll(path, kOldContent);
    QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
    SaveSettings(path, Settings{});
    QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QCOMPARE(readAll(path), kOldContent);
}

void tst_SettingsFile::saveThroughSymlinkKeepsTheLink()
{
    // A Server.ini linked to a file elsewhere (kept with other dotfiles, say) stays a link;
    // the file it points at gets the new content.
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("tallix.ini"));
    writeAll(target, kOldContent);
    QVERIFY(QFile::link(target, path_));

    Settings s;
    s.Port = QStringLiteral("4242");
    SaveSettings(path_, s);

    QVERIFY(QFileInfo(path_).isSymLink());
    QCOMPARE(QFileInfo(path_).symLinkTarget(), target);
    QCOMPARE(readAll(target),
             QByteArray("StartOnLoad=0\r\nMinimizeOnLoad=0\r\nLogIPs=0\r\nport=4242\r\nDaylightSavings=0\r\n"));
}

QTEST_GUILESS_MAIN(tst_SettingsFile)
#include "tst_SettingsFile.moc"
