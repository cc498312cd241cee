#include "SlotTable.h"

#include <QTest>

class tst_SlotTable : public QObject
{
    Q_OBJECT
private slots:
    void takesLowestFreeAndGrowsByOne_data();
    void takesLowestFreeAndGrowsByOne();
    void refusesWhenAllSlotsAreBusy();
    void resetStartsAgainAtSlotOne();
    void outOfRangeIsIgnored();
};

// A script of events: "+" a client connects (expecting the slot given), "-n" slot n closes.
void tst_SlotTable::takesLowestFreeAndGrowsByOne_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QList<int>>("slotsTaken");
    QTest::addColumn<QList<bool>>("newSlots");
    QTest::addColumn<int>("finalCount");

    QTest::newRow("first client gets slot 1")
        << QStringList{"+"} << QList<int>{1} << QList<bool>{true} << 1;
    QTest::newRow("three clients stay connected")
        << QStringList{"+", "+", "+"} << QList<int>{1, 2, 3} << QList<bool>{true, true, true} << 3;
    QTest::newRow("slot 2 of 3 closes and is reused")
        << QStringList{"+", "+", "+", "-2", "+"} << QList<int>{1, 2, 3, 2}
        << QList<bool>{true, true, true, false} << 3;
    QTest::newRow("connect, close, connect again")
        << QStringList{"+", "-1", "+"} << QList<int>{1, 1} << QList<bool>{true, false} << 1;
    QTest::newRow("a reused slot is never given twice")
        << QStringList{"+", "+", "-1", "+", "+"} << QList<int>{1, 2, 1, 3}
        << QList<bool>{true, true, false, true} << 3;
    QTest::newRow("lowest of several free slots")
        << QStringList{"+", "+", "+", "+", "-3", "-2", "+", "+", "+"} << QList<int>{1, 2, 3, 4, 2, 3, 5}
        << QList<bool>{true, true, true, true, false, false, true} << 5;
}

void tst_SlotTable::takesLowestFreeAndGrowsByOne()
{
    QFETCH(QStringList, script);
    QFETCH(QList<int>, slotsTaken);
    QFETCH(QList<bool>, newSlots);
    QFETCH(int, finalCount);

    SlotTable table;
    QList<int> taken;
    QList<bool> fresh;
    for (const QString &step : script) {
        if (step == QLatin1String("+")) {
            const auto pick = table.Take();
            QVERIFY(pick);
            QVERIFY(table.InUse(pick->slot));
            taken.append(pick->slot);
            fresh.append(pick->isNew);
        } else {
            table.Free(-step.toInt());
            QVERIFY(!table.InUse(-step.toInt()));
        }
    }
    QCOMPARE(taken, slotsTaken);
    QCOMPARE(fresh, newSlots);
    QCOMPARE(table.SocketCount(), finalCount);
}

void tst_SlotTable::refusesWhenAllSlotsAreBusy()
{
    SlotTable table;
    for (int i = 1; i <= SlotTable::MaxSlots; ++i) {
        const auto pick = table.Take();
        QVERIFY(pick);
        QCOMPARE(pick->slot, i);
    }
    QCOMPARE(table.SocketCount(), 255);
    QVERIFY(!table.Take());
    QVERIFY(!table.Take());
    QCOMPARE(table.SocketCount(), 255); // never past the table

    table.Free(200);
    const auto pick = table.Take();
    QVERIFY(pick);
    QCOMPARE(pick->slot, 200);
    QVERIFY(!pick->isNew);
    QVERIFY(!table.Take());
}

void tst_SlotTable::resetStartsAgainAtSlotOne()
{
    SlotTable table;
    table.Take();
    table.Take();
    table.Take();
    // A stop leaves the busy marks as they were; a start resets the count only.
    table.ResetCount();
    QCOMPARE(table.SocketCount(), 0);
    const auto pick = table.Take();
    QVERIFY(pick);
    QCOMPARE(pick->slot, 1);
    QVERIFY(pick->isNew);
    QCOMPARE(table.Take()->slot, 2);
    QCOMPARE(table.SocketCount(), 2);
}

void tst_SlotTable::outOfRangeIsIgnored()
{
    SlotTable table;
    table.Free(0);
    table.Free(256);
    table.Free(-5);
    QVERIFY(!table.InUse(0));
    QVERIFY(!table.InUse(256));
    QCOMPARE(table.Take()->slot, 1);
}

QTEST_APPLESS_MAIN(tst_SlotTable)
#include "tst_SlotTable.moc"
