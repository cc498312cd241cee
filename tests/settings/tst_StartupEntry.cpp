// The start-up entry as an XDG autostart file, in a temporary HOME and XDG_CONFIG_HOME.
#include "AutostartEntry.h"
#include "DesktopEntryText.h"
#include "StartupStore.h"
#include "XdgAutostartStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The raw text after "Exec=" in the written file.
QString rawExecLine(const QString &path)
{
    for (const QByteArray &line : readAll(path).split('\n')) {
        if (line.startsWith("Exec="))
            return QString::fromUtf8(line.mid(5));
    }
    return {};
}

} // namespace

class tst_StartupEntry : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void defaultFolderFollowsXdgConfigHome();
    void systemStoreUsesTheUsersAutostartFolder();

    void absentEntry();
    void checkedBoxWritesTheEntry();
    void uncheckedOrGrayedBoxDeletesTheEntry_data();
    void uncheckedOrGrayedBoxDeletesTheEntry();
    void readsExistingEntries_data();
    void readsExistingEntries();
    void hiddenEntryIsLeftAlone();
    void unchangeableLocationChangesNothing();
    void writingThroughSymlinkKeepsTheLink();

    void execStartsExactlyThatFile_data();
    void execStartsExactlyThatFile();
    void twoLevelsOfEscaping();
    void desktopLauncherStartsTheWrittenEntry();

    void parseDesktopExec_data();
    void parseDesktopExec();
    void desktopStringEscapes_data();
    void desktopStringEscapes();

private:
    QTemporaryDir home_;
    QString folder_;
};

void tst_StartupEntry::initTestCase()
{
    QVERIFY(home_.isValid());
    qputenv("HOME", QFile::encodeName(home_.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_.filePath(QStringLiteral("config"))));
    folder_ = home_.filePath(QStringLiteral("config/autostart"));
}

void tst_StartupEntry::init()
{
    QDir(home_.filePath(QStringLiteral("config"))).removeRecursively();
}

void tst_StartupEntry::defaultFolderFollowsXdgConfigHome()
{
    QCOMPARE(XdgAutostartStore::DefaultFolder(), folder_);
    qputenv("XDG_CONFIG_HOME", "relative/config");
    QCOMPARE(XdgAutostartStore::DefaultFolder(), home_.filePath(QStringLiteral(".config/autostart")));
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(XdgAutostartStore::DefaultFolder(), home_.filePath(QStringLiteral(".config/autostart")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_.filePath(QStringLiteral("config"))));
}

void tst_StartupEntry::systemStoreUsesTheUsersAutostartFolder()
{
    const std::unique_ptr<StartupEntryStore> store = MakeSystemStartupStore();
    QCOMPARE(LoadStartupEntry(*store), 0);
    SaveStartupEntry(*store, 1, QStringLiteral("/opt/tallix/tallix-server"));
    QVERIFY(QFile::exists(folder_ + QStringLiteral("/tallix-server.desktop")));
    QCOMPARE(LoadStartupEntry(*store), 1);
}

void tst_StartupEntry::absentEntry()
{
    XdgAutostartStore store(folder_);
    QCOMPARE(store.Read(), QString());
    QCOMPARE(LoadStartupEntry(store), 0);
    // Deleting what is not there changes nothing, not even by making the folder.
    SaveStartupEntry(store, 0, QStringLiteral("/opt/tallix/tallix-server"));
    QVERIFY(!QFileInfo::exists(folder_));
}

void tst_StartupEntry::checkedBoxWritesTheEntry()
{
    XdgAutostartStore store(folder_);
    SaveStartupEntry(store, 1, QStringLiteral("/opt/tallix/tallix-server"));
    QCOMPARE(readAll(store.FilePath()),
             QByteArray("[Desktop Entry]\n"
                        "Type=Application\n"
                        "Name=Brovik Productions - Tallix Server\n"
                        "Exec=\"/opt/tallix/tallix-server\"\n"));
    QCOMPARE(LoadStartupEntry(store), 1);

    // A moved program rewrites its new path.
    SaveStartupEntry(store, 1, QStringLiteral("/usr/local/bin/tallix-server"));
    QCOMPARE(ParseDesktopExec(store.Read()), QStringList{QStringLiteral("/usr/local/bin/tallix-server")});
}

void tst_StartupEntry::uncheckedOrGrayedBoxDeletesTheEntry_data()
{
    QTest::addColumn<int>("box");
    QTest::newRow("unchecked") << 0;
    QTest::newRow("grayed") << 2;
}

void tst_StartupEntry::uncheckedOrGrayedBoxDeletesTheEntry()
{
    QFETCH(int, box);
    XdgAutostartStore store(folder_);
    SaveStartupEntry(store, 1, QStringLiteral("/opt/tallix/tallix-server"));
    QVERIFY(QFile::exists(store.FilePath()));
    SaveStartupEntry(store, box, QStringLiteral("/opt/tallix/tallix-server"));
    QVERIFY(!QFile::exists(store.FilePath()));
    QCOMPARE(LoadStartupEntry(store), 0);
}

void tst_StartupEntry::readsExistingEntries_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("expected");
    QTest::newRow("plain") << QByteArray("[Desktop Entry]\nType=Application\nExec=/usr/bin/tallix-server\n") << 1;
    QTest::newRow("CR LF and blanks around =") << QByteArray("[Desktop Entry]\r\nExec = tallix-server\r\n") << 1;
    QTest::newRow("Hidden=true") << QByteArray("[Desktop Entry]\nExec=/usr/bin/tallix-server\nHidden=true\n") << 0;
    QTest::newRow("Hidden=false") << QByteArray("[Desktop Entry]\nExec=/usr/bin/tallix-server\nHidden=false\n") << 1;
    QTest::newRow("no Exec") << QByteArray("[Desktop Entry]\nType=Application\n") << 0;
    QTest::newRow("Exec in another group") << QByteArray("[Desktop Entry]\nType=Application\n[Desktop Action x]\nExec=x\n") << 0;
    QTest::newRow("Hidden in another group") << QByteArray("[Desktop Entry]\nExec=x\n[Other]\nHidden=true\n") << 1;
    QTest::newRow("commented out") << QByteArray("[Desktop Entry]\n#Exec=x\n") << 0;
    QTest::newRow("empty file") << QByteArray() << 0;
    QTest::newRow("empty Exec") << QByteArray("[Desktop Entry]\nExec=\n") << 0;
}

void tst_StartupEntry::readsExistingEntries()
{
    QFETCH(QByteArray, content);
    QFETCH(int, expected);
    XdgAutostartStore store(folder_);
    writeAll(store.FilePath(), content);
    QCOMPARE(LoadStartupEntry(store), expected);
    // An unchecked box removes every entry but the user's own switch-off.
    SaveStartupEntry(store, 0, QStringLiteral("/opt/tallix/tallix-server"));
    QCOMPARE(QFile::exists(store.FilePath()), QByteArray(QTest::currentDataTag()) == "Hidden=true");
}

void tst_StartupEntry::hiddenEntryIsLeftAlone()
{
    // The user switched the entry off; an unchecked box must not undo their choice.
    XdgAutostartStore store(folder_);
    const QByteArray hidden("[Desktop Entry]\nExec=/usr/bin/tallix-server\nHidden=true\n");
    writeAll(store.FilePath(), hidden);
    SaveStartupEntry(store, 0, QStringLiteral("/opt/tallix/tallix-server"));
    QCOMPARE(readAll(store.FilePath()), hidden);
    // Checking the box again brings a working entry back.
    SaveStartupEntry(store, 1, QStringLiteral("/opt/tallix/tallix-server"));
    QCOMPARE(LoadStartupEntry(store), 1);
    QVERIFY(!readAll(store.FilePath()).contains("Hidden"));
}

void tst_StartupEntry::unchangeableLocationChangesNothing()
{
    // A regular file where the autostart folder should be: nothing can be made there,
    // whoever runs the test.
    const QString blocked = home_.filePath(QStringLiteral("config/autostart"));
    writeAll(blocked, "not a folder");
    XdgAutostartStore store(blocked);
    QCOMPARE(LoadStartupEntry(store), 0);
    SaveStartupEntry(store, 1, QStringLiteral("/opt/tallix/tallix-server"));
    QCOMPARE(LoadStartupEntry(store), 0);
    SaveStartupEntry(store, 0, QStringLiteral("/opt/tallix/tallix-server"));
    QCOMPARE(readAll(blocked), QByteArray("not a folder"));
    QCOMPARE(QDir(home_.filePath(QStringLiteral("config"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("autostart")});
}

void tst_StartupEntry::writingThroughSymlinkKeepsTheLink()
{
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("tallix.desktop"));
    writeAll(target, "[Desktop Entry]\nExec=old\n");
    XdgAutostartStore store(folder_);
    QVERIFY(QDir().mkpath(folder_));
    QVERIFY(QFile::link(target, store.FilePath()));
    SaveStartupEntry(store, 1, QStringLiteral("/opt/new/tallix-server"));
    QVERIFY(QFileInfo(store.FilePath()).isSymLink());
    QCOMPARE(ParseDesktopExec(store.Read()), QStringList{QStringLiteral("/opt/new/tallix-server")});
    QVERIFY(readAll(target).contains("/opt/new/tallix-server"));
}

void tst_StartupEntry::execStartsExactlyThatFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("plain") << "/opt/tallix/tallix-server";
    QTest::newRow("spaces") << "/home/me/My Programs/Tallix Server/tallix-server";
    QTest::newRow("double quote") << "/opt/say \"hi\"/tallix-server";
    QTest::newRow("single quote") << "/opt/it's/tallix-server";
    QTest::newRow("backtick") << "/opt/`id`/tallix-server";
    QTest::newRow("dollar") << "/opt/$HOME/${x}/tallix-server";
    QTest::newRow("backslash") << "/opt/back\\slash\\\\/tallix-server";
    QTest::newRow("trailing backslash") << "/opt/x\\";
    QTest::newRow("percent") << "/opt/100%/%f %%/tallix-server";
    QTest::newRow("shell metacharacters") << "/opt/a;b|c&d<e>f*g?h#i(j)k~/tallix-server";
    QTest::newRow("line feed and tab") << "/opt/line\nfeed\ttab/tallix-server";
    QTest::newRow("equals and brackets") << "/opt/[Desktop Entry]=x/tallix-server";
    QTest::newRow("non-ASCII") << QString::fromUtf8("/opt/Zeit \u00e4\u00f6\u00fc \u65f6\u95f4/tallix-server");
    QTest::newRow("everything at once") << "/tmp/ a \"b\" `c` $d \\e\\ %f/tallix server";
}

void tst_StartupEntry::execStartsExactlyThatFile()
{
    QFETCH(QString, path);
    XdgAutostartStore store(folder_);
    SaveStartupEntry(store, 1, path);
    QCOMPARE(ParseDesktopExec(store.Read()), QStringList{path});
    // And from the raw file text, as a desktop would read it.
    QCOMPARE(ParseDesktopExec(UnescapeDesktopString(rawExecLine(store.FilePath()))), QStringList{path});
    // The file stays one entry: no character of the path breaks a line.
    QCOMPARE(readAll(store.FilePath()).count('\n'), 4);
}

void tst_StartupEntry::twoLevelsOfEscaping()
{
    // First the Exec quoting (\" \\ \$ \`), then the string value's own backslash doubling.
    XdgAutostartStore store(folder_);
    SaveStartupEntry(store, 1, QStringLiteral("/opt/a b/x\"y\\z$w`v"));
    QCOMPARE(store.Read(), QStringLiteral("\"/opt/a b/x\\\"y\\\\z\\$w\\`v\""));
    QCOMPARE(rawExecLine(store.FilePath()), QStringLiteral("\"/opt/a b/x\\\\\"y\\\\\\\\z\\\\$w\\\\`v\""));
}

void tst_StartupEntry::desktopLauncherStartsTheWrittenEntry()
{
    // GLib's launcher, an independent reader of desktop files, must start exactly the
    // program the entry names, however odd its path.
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty())
        QSKIP("gio is not installed");
    QTemporaryDir programs;
    // No "%" here: GLib looks the program up before it turns "%%" into "%", so it cannot
    // start a path holding one however it is written.
    const QString folder = programs.filePath(QStringLiteral("My \"odd\" `x` $HOME \\ dir"));
    QVERIFY(QDir().mkpath(folder));
    const QString program = folder + QStringLiteral("/tallix server");
    const QString marker = programs.filePath(QStringLiteral("started"));
    writeAll(program, "#!/bin/sh\necho started > \"$TALLIX_MARKER\"\n");
    QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    XdgAutostartStore store(folder_);
    SaveStartupEntry(store, 1, program);

    QProcess launcher;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TALLIX_MARKER"), marker);
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    launcher.setProcessEnvironment(environment);
    launcher.start(gio, {QStringLiteral("launch"), store.FilePath()});
    QVERIFY(launcher.waitForFinished(10000));
    const QByteArray errors = launcher.readAllStandardError();
    if (launcher.exitCode() != 0 && errors.contains("Unknown command"))
        QSKIP("this gio has no launch command");
    QVERIFY2(launcher.exitCode() == 0, errors.constData());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
    QCOMPARE(readAll(marker), QByteArray("started\n"));
}

void tst_StartupEntry::parseDesktopExec_data()
{
    QTest::addColumn<QString>("exec");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("two words") << "prog arg" << QStringList{"prog", "arg"};
    QTest::newRow("extra blanks") << "  prog \t arg  " << QStringList{"prog", "arg"};
    QTest::newRow("quoted with blank") << "\"my prog\" arg" << QStringList{"my prog", "arg"};
    QTest::newRow("quoted escapes") << "\"a\\\"b\\`c\\$d\\\\e\"" << QStringList{"a\"b`c$d\\e"};
    QTest::newRow("other backslash kept") << "\"a\\qb\"" << QStringList{"a\\qb"};
    QTest::newRow("quotes join a word") << "pre\"fix mid\"post" << QStringList{"prefix midpost"};
    QTest::newRow("empty quoted argument") << "prog \"\"" << QStringList{"prog", ""};
    QTest::newRow("field code dropped") << "prog %U" << QStringList{"prog"};
    QTest::newRow("field code inside an argument") << "--file=%f" << QStringList{"--file="};
    QTest::newRow("literal percent") << "\"100%%\"" << QStringList{"100%"};
    QTest::newRow("unclosed quote") << "\"prog arg" << QStringList{};
    QTest::newRow("escaped quote does not close") << "\"prog\\\"" << QStringList{};
    QTest::newRow("empty") << "" << QStringList{};
}

void tst_StartupEntry::parseDesktopExec()
{
    QFETCH(QString, exec);
    QFETCH(QStringList, arguments);
    QCOMPARE(ParseDesktopExec(exec), arguments);
}

void tst_StartupEntry::desktopStringEscapes_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("plain") << "abc" << "abc";
    QTest::newRow("backslash") << "a\\b" << "a\\\\b";
    QTest::newRow("controls") << "a\nb\tc\rd" << "a\\nb\\tc\\rd";
    QTest::newRow("leading blank") << " a b" << "\\sa b";
    QTest::newRow("trailing backslash") << "a\\" << "a\\\\";
}

void tst_StartupEntry::desktopStringEscapes()
{
    QFETCH(QString, value);
    QFETCH(QString, escaped);
    QCOMPARE(EscapeDesktopString(value), escaped);
    QCOMPARE(UnescapeDesktopString(escaped), value);
}

QTEST_GUILESS_MAIN(tst_StartupEntry)
#include "tst_StartupEntry.moc"
