#include "TrayEventDecoder.h"

#include <QtTest>

#include <stdexcept>

class tst_TrayEventDecoder : public QObject
{
    Q_OBJECT
private slots:
    void decodes_data();
    void decodes();
    void dropsWhileHandlerRuns();
    void throwingHandlerDoesNotMuteTheIcon();
};

void tst_TrayEventDecoder::decodes_data()
{
    QTest::addColumn<qint32>("message");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("button");

    const int none = int(TrayEventKind::None);
    QTest::newRow("513 left down") << 513 << int(TrayEventKind::MouseDown) << 1;
    QTest::newRow("514 left up") << 514 << int(TrayEventKind::MouseUp) << 1;
    QTest::newRow("515 left double") << 515 << int(TrayEventKind::MouseDblClick) << 1;
    QTest::newRow("516 right down") << 516 << int(TrayEventKind::MouseDown) << 2;
    QTest::newRow("517 right up") << 517 << int(TrayEventKind::MouseUp) << 2;
    QTest::newRow("518 right double") << 518 << int(TrayEventKind::MouseDblClick) << 2;
    QTest::newRow("512 mouse move") << 512 << none << 0;
    QTest::newRow("519 middle down") << 519 << none << 0;
    QTest::newRow("520 middle up") << 520 << none << 0;
    QTest::newRow("521 middle double") << 521 << none << 0;
    QTest::newRow("0") << 0 << none << 0;
    QTest::newRow("-513") << -513 << none << 0;
    QTest::newRow("513 + 65536") << 513 + 65536 << none << 0;
}

void tst_TrayEventDecoder::decodes()
{
    QFETCH(qint32, message);
    QFETCH(int, kind);
    QFETCH(int, button);

    TrayEventDecoder decoder;
    QList<TrayEvent> raised;
    bool inHandlerDuringRaise = false;
    const bool didRaise = decoder.Notify(message, [&](const TrayEvent &e) {
        inHandlerDuringRaise = decoder.InHandler();
        raised.append(e);
    });

    QCOMPARE(decoder.LastMessage(), message);
    QCOMPARE(decoder.InHandler(), false);
    if (kind == int(TrayEventKind::None)) {
        QVERIFY(!didRaise);
        QVERIFY(raised.isEmpty());
        return;
    }
    QVERIFY(didRaise);
    QCOMPARE(raised.size(), 1);
    QCOMPARE(int(raised[0].kind), kind);
    QCOMPARE(raised[0].button, button);
    QVERIFY(inHandlerDuringRaise);
}

void tst_TrayEventDecoder::dropsWhileHandlerRuns()
{
    TrayEventDecoder decoder;
    QList<int> buttons;
    bool nestedRaised = true;
    qint32 lastSeenInside = 0;

    decoder.Notify(TrayMessage::RightUp, [&](const TrayEvent &e) {
        buttons.append(e.button);
        // As if a nested event loop delivered more clicks while this handler runs.
        nestedRaised = decoder.Notify(TrayMessage::LeftDown, [&](const TrayEvent &n) { buttons.append(10 + n.button); });
        decoder.Notify(TrayMessage::LeftDoubleClick, [&](const TrayEvent &n) { buttons.append(10 + n.button); });
        lastSeenInside = decoder.LastMessage();
    });

    QVERIFY(!nestedRaised);
    QCOMPARE(lastSeenInside, TrayMessage::LeftDoubleClick);
    // Dropped, not queued: nothing of them turns up after the handler either.
    QCOMPARE(buttons, QList<int>{2});
    QCOMPARE(decoder.LastMessage(), TrayMessage::LeftDoubleClick);

    QVERIFY(decoder.Notify(TrayMessage::LeftDown, [&](const TrayEvent &e) { buttons.append(e.button); }));
    QCOMPARE(buttons, (QList<int>{2, 1}));
}

void tst_TrayEventDecoder::throwingHandlerDoesNotMuteTheIcon()
{
    TrayEventDecoder decoder;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                             decoder.Notify(TrayMessage::LeftDown,
                                            [](const TrayEvent &) { throw std::runtime_error("handler"); }));
    QVERIFY(!decoder.InHandler());
    int raised = 0;
    QVERIFY(decoder.Notify(TrayMessage::LeftUp, [&](const TrayEvent &) { ++raised; }));
    QCOMPARE(raised, 1);
}

QTEST_APPLESS_MAIN(tst_TrayEventDecoder)
#include "tst_TrayEventDecoder.moc"
