// Number reading, Server.ini and the start-up entry, on real files in temporary folders.
#include "FileLocations.h"
#include "Files.h"
#include "ParseNumber.h"
#include "SavedEnvironment.h"
#include "SettingsFile.h"
#include "XdgAutostartStore.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

static QByteArray readAll(const QString &path) { return QFileInfo::exists(path) ? ReadFile(path) : QByteArray("<none>"); }

// Values no line of a test file sets, so that "left as it was" differs from "set to 0".
static Settings untouched() { return Settings{2, 2, 2, QStringLiteral("init"), 2}; }

static QString shown(const Settings &s)
{
    return QStringLiteral("%1 %2 %3 %4 %5").arg(s.StartOnLoad).arg(s.MinimizeOnLoad).arg(s.LogIPs).arg(s.Port).arg(s.DaylightSavings);
}

class tst_Settings : public QObject
{
    Q_OBJECT

private slots:
    void numbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("port"); // WholeNumberIn(value, 0, 65535); -1 when refused
        QTest::newRow("plain") << "1610" << 1610.0 << 1610;
        QTest::newRow("blanks, tabs, line feeds anywhere") << " 16\t1\n0 " << 1610.0 << 1610;
        QTest::newRow("sign then blank") << "- 5" << -5.0 << -1;
        QTest::newRow("half to even, down") << "1610.5" << 1610.5 << 1610;
        QTest::newRow("half to even, up") << "1611.5" << 1611.5 << 1612;
        QTest::newRow("above a half") << ".6" << 0.6 << 1;
        QTest::newRow("exponent") << "2.5E-1" << 0.25 << 0;
        QTest::newRow("exponent with plus, letters after") << "1e+3x" << 1000.0 << 1000;
        QTest::newRow("E without digits ends before it") << "7E+" << 7.0 << 7;
        QTest::newRow("hex, blanks and lower case") << "& h 64a" << 1610.0 << 1610;
        QTest::newRow("octal stops at 8") << "&O178" << 15.0 << 15;
        QTest::newRow("ampersand without base") << "&17" << 0.0 << 0;
        QTest::newRow("sign before hex") << "-&H10" << 0.0 << 0;
        QTest::newRow("stops at second point") << "1.2.3" << 1.2 << 1;
        QTest::newRow("comma is no decimal point") << "1,5" << 1.0 << 1;
        QTest::newRow("no number") << "abc" << 0.0 << 0;
        QTest::newRow("overflow refused") << "1e999" << qInf() << -1;
        QTest::newRow("beyond the range refused") << "65536" << 65536.0 << -1;
    }

    void numbers()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QFETCH(int, port);
        QCOMPARE(ParseNumber(text), value);
        QCOMPARE(WholeNumberIn(ParseNumber(text), 0, 65535).value_or(-1), port);
    }

    void load_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file at all
        QTest::addColumn<QString>("expected");   // StartOnLoad MinimizeOnLoad LogIPs port DaylightSavings
        QTest::newRow("no file keeps the controls") << QByteArray() << "2 2 2 init 2";
        QTest::newRow("all five, CR LF") << QByteArray("StartOnLoad=1\r\nMinimizeOnLoad=0\r\nLogIPs=1\r\nport=3000\r\nDaylightSavings=0\r\n")
                                         << "1 0 1 3000 0";
        QTest::newRow("LF only") << QByteArray("StartOnLoad=0\nMinimizeOnLoad=1\nLogIPs=0\nport=3001\nDaylightSavings=1\n") << "0 1 0 3001 1";
        QTest::newRow("CR only, no last line end") << QByteArray("StartOnLoad=1\rport=3002") << "1 2 2 3002 2";
        QTest::newRow("mixed-case keys, port lowered") << QByteArray("STARTONLOAD=0\r\nlogips=1\r\nPoRt=ABC") << "0 2 1 abc 2";
        QTest::newRow("keys are not trimmed") << QByteArray(" StartOnLoad=1\r\nLogIPs =1") << "2 2 2 init 2";
        QTest::newRow("bad value stops reading") << QByteArray("StartOnLoad=1\r\nLogIPs=3\r\nport=99\r\nDaylightSavings=1") << "1 2 2 init 2";
        QTest::newRow("last repeated key wins, values read as numbers")
            << QByteArray("port=1\r\nport=2\r\nLogIPs=1\r\nLogIPs=0\r\nStartOnLoad= .6abc") << "1 2 0 2 2";
        QTest::newRow("other lines skipped") << QByteArray("[Settings]\r\n; note\r\nfoo=bar\r\n\r\nMinimizeOnLoad=0") << "2 0 2 init 2";
    }

    void load()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Server.ini"));
        if (!content.isNull())
            QVERIFY(WriteFile(path, content));
        Settings s = untouched();
        const SettingsReading reading = LoadSettings(path, s);
        QCOMPARE(shown(s), expected); // what a save keeps of it: the settings file's fuzz target
        // The daylight value's time only where a line gave the value (the rows' 2 is none).
        QCOMPARE(reading.DaylightSavedAt.has_value(), !expected.endsWith(u'2'));
    }

    void failedSaveKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Server.ini"));
        SaveSettings(path, Settings{1, 0, 2, QStringLiteral(" 16 10.0 "), 0});
        const QByteArray old = readAll(path);
        QCOMPARE(old, QByteArray("StartOnLoad=1\r\nMinimizeOnLoad=0\r\nLogIPs=2\r\nport=1610\r\nDaylightSavings=0\r\n"));

        // A file size limit makes the write fail half-way, as a full disk would, even for root.
        std::signal(SIGXFSZ, SIG_IGN); // the write fails instead of killing the test
        rlimit previous{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        const rlimit limited{20, previous.rlim_max};
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        QVERIFY(!SaveSettings(path, Settings{}));
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &previous), 0);
        QCOMPARE(readAll(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Server.ini")});
    }

    // An installed layout under any prefix keeps its files in the user's folders; a copy
    // anywhere else, a folder named bin included, keeps them beside itself. "~" is the root.
    void fileLocations_data()
    {
        QTest::addColumn<QString>("exeFolder"); // ~/p/<exeFolder>/tallix-server beside ~/p/share/tallix-server/Readme.txt
        QTest::addColumn<bool>("helpIsFile");
        QTest::addColumn<QByteArray>("xdgConfig");
        QTest::addColumn<QString>("expected"); // settings | data | help
        const QString installed = QStringLiteral("~/cfg/tallix-server/ | ~/state/tallix-server/ | ~/p/share/tallix-server/Readme.txt");
        const QString defaulted = QString(installed).replace(QStringLiteral("~/cfg/"), QStringLiteral("~/.config/"));
        QTest::newRow("installed") << "bin" << true << QByteArray("~/cfg/") << installed;
        QTest::newRow("relative XDG_CONFIG_HOME ignored") << "bin" << true << QByteArray("cfg") << defaulted;
        QTest::newRow("bin without the help file") << "bin" << false << QByteArray("~/cfg") << "~/p/bin/ | ~/p/bin/ | ~/p/bin/Readme.txt";
        QTest::newRow("the help beside another folder") << "opt" << true << QByteArray("~/cfg") << "~/p/opt/ | ~/p/opt/ | ~/p/opt/Readme.txt";
    }
    void fileLocations()
    {
        QFETCH(QString, exeFolder);
        QFETCH(bool, helpIsFile);
        QFETCH(QByteArray, xdgConfig);
        QFETCH(QString, expected);
        QTemporaryDir root;
        const QByteArray home = QFile::encodeName(root.path());
        QVERIFY(WriteFile(root.filePath(QStringLiteral("p/share/tallix-server/Readme.txt") + (helpIsFile ? "" : "/x")), "help"));
        const auto saved = SavedEnvironment({"HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME"});
        qputenv("HOME", home);
        qputenv("XDG_STATE_HOME", home + "/state");
        qputenv("XDG_CONFIG_HOME", xdgConfig.replace("~", home));
        const FileLocations f = FileLocations::ForExecutable(root.filePath(QStringLiteral("p/%1/tallix-server").arg(exeFolder)));
        QCOMPARE(QStringList({f.settingsFolder, f.dataFolder, f.helpFile}).join(QStringLiteral(" | ")), expected.replace(u'~', root.path()));
        QCOMPARE(f.installed, exeFolder == u"bin" && helpIsFile);
    }

    void startupEntry_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file at all
        QTest::addColumn<int>("box");
        QTest::addColumn<QByteArray>("afterUncheck");
        const QByteArray entry = "[Desktop Entry]\nType=Application\nExec=/usr/bin/tallix-server\n";
        QTest::newRow("absent") << QByteArray() << 0 << QByteArray("<none>");
        QTest::newRow("present, deleted by an unchecked box") << entry << 1 << QByteArray("<none>");
        QTest::newRow("Hidden=true reads absent and is left alone") << entry + "Hidden=true\n" << 0 << entry + "Hidden=true\n";
        QTest::newRow("empty Exec reads absent and is removed") << QByteArray("[Desktop Entry]\nExec=\n") << 0 << QByteArray("<none>");
    }

    void startupEntry()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, box);
        QFETCH(QByteArray, afterUncheck);
        QTemporaryDir dir;
        XdgAutostartStore store(dir.filePath(QStringLiteral("autostart")));
        if (!content.isNull())
            QVERIFY(WriteFile(store.FilePath(), content));
        QCOMPARE(LoadStartupEntry(store), box);
        SaveStartupEntry(store, 0, QStringLiteral("/opt/tallix/tallix-server"));
        QCOMPARE(readAll(store.FilePath()), afterUncheck);
        SaveStartupEntry(store, 1, QStringLiteral("/opt/tallix/tallix-server"));
        QCOMPARE(LoadStartupEntry(store), 1);
    }
};

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_Settings.moc"
