// Replays a fuzz target's seed inputs and every input that once broke it, through the
// same target code, so that the ordinary build keeps them fixed without libFuzzer.
#include <QDir>
#include <QTest>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

class tst_FuzzReplay : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        int argc = 1;
        char name[] = "replay", *args[] = {name, nullptr}, **argv = args;
        if (LLVMFuzzerInitialize)
            LLVMFuzzerInitialize(&argc, &argv);
    }

    void replay_data()
    {
        QTest::addColumn<QString>("path");
        int inputs = 0;
        for (const char *kind : {"corpus/", "regressions/"}) {
            const QDir dir(QStringLiteral(TALLIX_FUZZ_DIR "/") + kind + TALLIX_FUZZ_TARGET);
            for (const QString &name : dir.entryList(QDir::Files)) {
                QTest::newRow(qPrintable(kind + name)) << dir.filePath(name);
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
        QCOMPARE(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size())), 0);
    }
};

QTEST_GUILESS_MAIN(tst_FuzzReplay)
#include "tst_FuzzReplay.moc"
