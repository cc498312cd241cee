#include "HelpText.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A device that hands out its bytes and then fails, the way a file on a
// vanishing network share or a bad sector does.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(QByteArray before) : bytes(std::move(before)) { open(ReadOnly); }
    bool isSequential() const override { return true; }
    bool atEnd() const override { return false; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (position == bytes.size())
            return -1;
        const qint64 n = qMin<qint64>(maxSize, bytes.size() - position);
        memcpy(data, bytes.constData() + position, n);
        position += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray bytes;
    qint64 position = 0;
};

} // namespace

class tst_HelpText : public QObject
{
    Q_OBJECT
private slots:
    void lineRules_data();
    void lineRules();
    void missingOrUnopenableFileGivesNothing();
    void invalidUtf8KeepsEveryByteAsLatin1();
    void failureMidwayKeepsTheWholeLinesBeforeIt();
    void bigSourceStopsAtTheLimit();

private:
    QTemporaryDir folder;
};

void tst_HelpText::lineRules_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty file") << QByteArray("") << QString("");
    QTest::newRow("CR LF lines") << QByteArray("one\r\ntwo\r\n") << QString("one\r\ntwo\r\n");
    QTest::newRow("last line without line end") << QByteArray("one\r\ntwo") << QString("one\r\ntwo\r\n");
    QTest::newRow("LF only is one line") << QByteArray("one\ntwo\nthree\n")
                                         << QString("one\ntwo\nthree\n\r\n");
    QTest::newRow("CR only") << QByteArray("one\rtwo\r") << QString("one\r\ntwo\r\n");
    QTest::newRow("mixed") << QByteArray("a\r\nb\rc\nd\r\n\re") << QString("a\r\nb\r\nc\nd\r\n\r\ne\r\n");
    QTest::newRow("empty lines") << QByteArray("\r\n\r\r\n") << QString("\r\n\r\n\r\n");
    QTest::newRow("LF then CR is not CR LF") << QByteArray("a\n\rb") << QString("a\n\r\nb\r\n");
    QTest::newRow("UTF-8") << QByteArray("Zeitzone \xC3\xA4nderung \xE2\x82\xAC\r\n")
                           << QString::fromUtf8("Zeitzone \xC3\xA4nderung \xE2\x82\xAC\r\n");
    QTest::newRow("byte-order mark dropped") << QByteArray("\xEF\xBB\xBFHello") << QString("Hello\r\n");
    QTest::newRow("NUL kept") << QByteArray("a\0b", 3) << QString::fromLatin1("a\0b\r\n", 5);
}

void tst_HelpText::lineRules()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, text);

    const QString path = folder.filePath("Readme.txt");
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(out.write(file), file.size());
    out.close();

    QCOMPARE(ReadHelpText(path), text);
}

void tst_HelpText::missingOrUnopenableFileGivesNothing()
{
    QCOMPARE(ReadHelpText(folder.filePath("absent.txt")), QString());
    QCOMPARE(ReadHelpText(folder.path()), QString()); // a folder, not a file

    const QString locked = folder.filePath("locked.txt");
    QFile out(locked);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("secret\r\n");
    out.close();
    QVERIFY(out.setPermissions(QFileDevice::WriteOwner));
    if (QFile(locked).open(QIODevice::ReadOnly))
        QSKIP("running with rights that read any file");
    QCOMPARE(ReadHelpText(locked), QString());
}

void tst_HelpText::invalidUtf8KeepsEveryByteAsLatin1()
{
    // "café" and "1 £" saved in a Western code page: not valid UTF-8.
    QBuffer source;
    source.setData("caf\xE9\r\n1 \xA3\r\n");
    QVERIFY(source.open(QIODevice::ReadOnly));
    QCOMPARE(ReadHelpText(source), QString::fromUtf8("caf\xC3\xA9\r\n1 \xC2\xA3\r\n"));
}

void tst_HelpText::failureMidwayKeepsTheWholeLinesBeforeIt()
{
    FailingDevice source("first\r\nsecond\rthird, cut off");
    QCOMPARE(ReadHelpText(source), QString("first\r\nsecond\r\n"));

    FailingDevice nothing("");
    QCOMPARE(ReadHelpText(nothing), QString());
}

void tst_HelpText::bigSourceStopsAtTheLimit()
{
    // Lines of 63 bytes plus CR LF: the limit falls inside a line, which is dropped.
    QByteArray line(63, 'x');
    line += "\r\n";
    QByteArray big;
    while (big.size() <= HelpTextLimit)
        big += line;
    QBuffer source(&big);
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QString text = ReadHelpText(source);
    QCOMPARE(text.size(), (HelpTextLimit / line.size()) * line.size());
    QVERIFY(text.endsWith("x\r\n"));
}

QTEST_GUILESS_MAIN(tst_HelpText)
#include "tst_HelpText.moc"
