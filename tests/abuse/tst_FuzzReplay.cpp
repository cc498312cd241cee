// Replays the fuzz targets' seed inputs and every input that once broke one, through the
// same target code, so that the ordinary build keeps them fixed without libFuzzer.
#include <QDir>
#include <QFile>
#include <QTest>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

class tst_FuzzReplay : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (LLVMFuzzerInitialize) {
            int argc = 1;
            char name[] = "replay";
            char *args[] = {name, nullptr};
            char **argv = args;
            LLVMFuzzerInitialize(&argc, &argv);
        }
    }

    void replay_data()
    {
        QTest::addColumn<QString>("path");
        int inputs = 0;
        const QStringList dirs = {QStringLiteral(TALLIX_REPLAY_CORPUS),
                                  QStringLiteral(TALLIX_REPLAY_REGRESSIONS)};
        for (const QString &dir : dirs) {
            const QDir d(dir);
            for (const QString &name : d.entryList(QDir::Files, QDir::Name)) {
                QTest::newRow(qPrintable(d.dirName() + u'/' + name)) << d.filePath(name);
                ++inputs;
            }
        }
        QVERIFY2(inputs > 0, "no seed inputs found");
    }

    void replay()
    {
        QFETCH(QString, path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray input = f.readAll();
        // A broken property aborts; reaching the end is the pass.
        QCOMPARE(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.constData()),
                                        size_t(input.size())),
                 0);
    }
};

QTEST_GUILESS_MAIN(tst_FuzzReplay)
#include "tst_FuzzReplay.moc"
