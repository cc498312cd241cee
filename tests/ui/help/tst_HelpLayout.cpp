#include "HelpLayout.h"

#include <QTest>

class tst_HelpLayout : public QObject
{
    Q_OBJECT
private slots:
    void formulas_data();
    void formulas();
    void designClientAreaGivesTheDesignTextBox();
    void minimumClientAreaReachesTheMinimumOuterSize();
    void twipsToPixels_data();
    void twipsToPixels();
};

void tst_HelpLayout::formulas_data()
{
    QTest::addColumn<float>("width");
    QTest::addColumn<float>("height");
    QTest::addColumn<float>("usedWidth");
    QTest::addColumn<float>("usedHeight");
    QTest::addColumn<float>("textWidth");
    QTest::addColumn<float>("textHeight");
    QTest::addColumn<float>("pictureLeft");
    QTest::addColumn<float>("pictureTop");
    QTest::addColumn<float>("labelLeft");
    QTest::addColumn<float>("labelTop");

    QTest::newRow("design size") << 13095.f << 9625.f << 13095.f << 9625.f
                                 << 12615.f << 7575.f << 3037.5f << 7930.f << 3030.f << 8890.f;
    QTest::newRow("exactly the minimum") << 7100.f << 4000.f << 7100.f << 4000.f
                                         << 6620.f << 1950.f << 40.f << 2305.f << 32.5f << 3265.f;
    QTest::newRow("smaller snaps to the minimum") << 3000.f << 1000.f << 7100.f << 4000.f
                                                  << 6620.f << 1950.f << 40.f << 2305.f << 32.5f << 3265.f;
    QTest::newRow("only narrower") << 5000.f << 6000.f << 7100.f << 6000.f
                                   << 6620.f << 3950.f << 40.f << 4305.f << 32.5f << 5265.f;
    QTest::newRow("only lower") << 20000.f << 10.f << 20000.f << 4000.f
                                << 19520.f << 1950.f << 6490.f << 2305.f << 6482.5f << 3265.f;
}

void tst_HelpLayout::formulas()
{
    QFETCH(float, width);
    QFETCH(float, height);
    const HelpLayout layout(width, height);

    QTEST(layout.OuterWidth(), "usedWidth");
    QTEST(layout.OuterHeight(), "usedHeight");
    QTEST(layout.TextBox().width, "textWidth");
    QTEST(layout.TextBox().height, "textHeight");
    QTEST(layout.Picture().left, "pictureLeft");
    QTEST(layout.Picture().top, "pictureTop");
    QTEST(layout.Label().left, "labelLeft");
    QTEST(layout.Label().top, "labelTop");

    // What never moves or changes size.
    QCOMPARE(layout.TextBox().left, 180.f);
    QCOMPARE(layout.TextBox().top, 180.f);
    QCOMPARE(layout.Picture().width, 7020.f);
    QCOMPARE(layout.Picture().height, 900.f);
    QCOMPARE(layout.Label().width, 7035.f);
    QCOMPARE(layout.Label().height, 195.f);
}

void tst_HelpLayout::designClientAreaGivesTheDesignTextBox()
{
    const HelpLayout layout = HelpLayout::ForClientPixels(QSize(865, 621));
    QCOMPARE(layout.OuterWidth(), 12975.f + 120.f);
    QCOMPARE(layout.OuterHeight(), 9315.f + 310.f);
    QCOMPARE(HelpLayout::ToPixels(layout.TextBox()), QRect(12, 12, 841, 505));
}

void tst_HelpLayout::minimumClientAreaReachesTheMinimumOuterSize()
{
    const QSize minimum = HelpLayout::MinimumClientPixels();
    QCOMPARE(minimum, QSize(466, 246));
    const HelpLayout atMinimum = HelpLayout::ForClientPixels(minimum);
    QVERIFY(atMinimum.OuterWidth() >= HelpLayout::MinimumOuterWidth);
    QVERIFY(atMinimum.OuterHeight() >= HelpLayout::MinimumOuterHeight);
    const HelpLayout oneLess = HelpLayout::ForClientPixels(minimum - QSize(1, 1));
    QCOMPARE(oneLess.OuterWidth(), HelpLayout::MinimumOuterWidth); // clamped
    // The banner's left edge and its caption's bottom stay inside the smallest
    // client area; the minimum width is a few pixels short of the banner's, so
    // its right edge may be cut by those few pixels.
    const QRect label = HelpLayout::ToPixels(atMinimum.Label());
    QVERIFY(label.left() >= 0);
    QVERIFY(label.bottom() < minimum.height());
    QVERIFY(label.right() - minimum.width() < 8);
}

void tst_HelpLayout::twipsToPixels_data()
{
    QTest::addColumn<float>("twips");
    QTest::addColumn<int>("pixels");
    QTest::newRow("picture at the minimum") << 40.f << 3;
    QTest::newRow("label at the minimum") << 32.5f << 2;
    QTest::newRow("whole") << 180.f << 12;
    QTest::newRow("half a pixel rounds up") << 37.5f << 3;
    QTest::newRow("negative") << -30.f << -2;
}

void tst_HelpLayout::twipsToPixels()
{
    QFETCH(float, twips);
    QTEST(HelpLayout::ToPixels(twips), "pixels");
}

QTEST_APPLESS_MAIN(tst_HelpLayout)
#include "tst_HelpLayout.moc"
