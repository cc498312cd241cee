#include "HelpLayout.h"
#include "frmHelp.h"

#include <QApplication>
#include <QDebug>
#include <QFontMetrics>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Takes the place of the browser: QDesktopServices hands it every https address.
class BrowserStandIn : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

} // namespace

class tst_frmHelp : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void picturesAreCompiledIn_data();
    void picturesAreCompiledIn();
    void opensWithTheFileText();
    void opensEmptyAndSilentWithoutAFile();
    void rereadsOnlyAfterBeingClosed();
    void textCanBeSelectedButNotEdited();
    void bannerClickOpensTheAddressOnce_data();
    void bannerClickOpensTheAddressOnce();
    void keyboardReachesTheBanner();
    void layoutFollowsTheSize();
    void snapsBackToTheMinimumSize();
    void minimisingKeepsTheLayout();
    void captionAndBannerAsDesigned();

private:
    void WriteReadme(const QByteArray &bytes);
    frmHelp *MakeWindow();

    QTemporaryDir *folder = nullptr;
    BrowserStandIn *browser = nullptr;
    frmHelp *window = nullptr;
};

void tst_frmHelp::init()
{
    folder = new QTemporaryDir;
    QVERIFY(folder->isValid());
    browser = new BrowserStandIn;
    QDesktopServices::setUrlHandler("https", browser, "open");
}

void tst_frmHelp::cleanup()
{
    QDesktopServices::unsetUrlHandler("https");
    delete window;
    window = nullptr;
    delete browser;
    delete folder;
}

void tst_frmHelp::WriteReadme(const QByteArray &bytes)
{
    QFile file(folder->filePath("Readme.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

frmHelp *tst_frmHelp::MakeWindow()
{
    const QString path = folder->path() + "/";
    window = new frmHelp([path] { return path; });
    return window;
}

static QPlainTextEdit *TextBox(QWidget *window)
{
    return window->findChild<QPlainTextEdit *>("txtHelpFile");
}

void tst_frmHelp::picturesAreCompiledIn_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("program icon") << ":/pictures/tallix.png" << QSize(32, 32);
    QTest::newRow("idle picture") << ":/pictures/tallix-idle.png" << QSize(32, 32);
    QTest::newRow("help icon") << ":/pictures/help.png" << QSize(16, 16);
    QTest::newRow("banner") << ":/pictures/banner.png" << QSize(468, 60);
}

void tst_frmHelp::picturesAreCompiledIn()
{
    QFETCH(QString, path);
    const QImage picture(path);
    QVERIFY2(!picture.isNull(), qPrintable(path));
    QTEST(picture.size(), "size");
}

void tst_frmHelp::opensWithTheFileText()
{
    WriteReadme("Tallix Server\r\n\r\nA line\nwith a line feed\rlast line");
    MakeWindow()->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(TextBox(window)->toPlainText(), "Tallix Server\n\nA line\nwith a line feed\nlast line\n");
}

void tst_frmHelp::opensEmptyAndSilentWithoutAFile()
{
    MakeWindow()->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(TextBox(window)->toPlainText(), QString());
    QTest::qWait(50);
    for (QWidget *other : QApplication::topLevelWidgets())
        QVERIFY2(other == window || !other->isVisible(), "no message besides the window");
}

void tst_frmHelp::rereadsOnlyAfterBeingClosed()
{
    WriteReadme("first\r\n");
    MakeWindow()->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(TextBox(window)->toPlainText(), "first\n");

    WriteReadme("second\r\n");
    window->show(); // the help button again, while the window is open
    QCoreApplication::processEvents();
    QCOMPARE(TextBox(window)->toPlainText(), "first\n");

    QVERIFY(window->close());
    QVERIFY(!window->isVisible());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(TextBox(window)->toPlainText(), "second\n");

    QFile::remove(folder->filePath("Readme.txt"));
    QVERIFY(window->close());
    window->show();
    QCOMPARE(TextBox(window)->toPlainText(), QString());
}

void tst_frmHelp::textCanBeSelectedButNotEdited()
{
    WriteReadme("keep me\r\n");
    MakeWindow()->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QPlainTextEdit *text = TextBox(window);
    QTRY_VERIFY(text->hasFocus());

    QTest::keyClicks(text, "typed");
    QTest::keyClick(text, Qt::Key_Delete);
    QTest::keyClick(text, Qt::Key_Backspace);
    QTest::keyClick(text, Qt::Key_Return);
    QTest::keyClick(text, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(text->toPlainText(), "keep me\n");

    QTest::keyClick(text, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(text->textCursor().selectedText(), QString("keep me") + QChar::ParagraphSeparator);
}

void tst_frmHelp::bannerClickOpensTheAddressOnce_data()
{
    QTest::addColumn<QString>("control");
    QTest::newRow("picture") << "imgPromo";
    QTest::newRow("caption") << "lblPromo";
}

void tst_frmHelp::bannerClickOpensTheAddressOnce()
{
    QFETCH(QString, control);
    MakeWindow()->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto *target = window->findChild<QLabel *>(control);
    QVERIFY(target);

    QTest::mouseClick(target, Qt::RightButton);
    QTest::mouseClick(target, Qt::LeftButton);
    QCOMPARE(browser->opened, QList<QUrl>{frmHelp::PromoAddress()});
    QTest::mouseClick(target, Qt::LeftButton);
    QCOMPARE(browser->opened.size(), 2);

    // A press that leaves the control before letting go is taken back.
    QTest::mousePress(target, Qt::LeftButton);
    QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(-5, -5));
    QCOMPARE(browser->opened.size(), 2);

    QVERIFY(window->isVisible());
    QCOMPARE(target->cursor().shape(), Qt::CrossCursor);
}

void tst_frmHelp::keyboardReachesTheBanner()
{
    MakeWindow()->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTRY_VERIFY(TextBox(window)->hasFocus());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    auto *caption = window->findChild<QLabel *>("lblPromo");
    QTRY_VERIFY(caption->hasFocus());
    QTest::keyClick(caption, Qt::Key_Space);
    QCOMPARE(browser->opened, QList<QUrl>{frmHelp::PromoAddress()});

    QTest::keyClick(caption, Qt::Key_Tab);
    QTRY_VERIFY(TextBox(window)->hasFocus()); // the picture takes no focus
}

static void VerifyLaidOutFor(frmHelp *window)
{
    const HelpLayout layout = HelpLayout::ForClientPixels(window->size());
    auto *text = TextBox(window);
    auto *picture = window->findChild<QLabel *>("imgPromo");
    auto *caption = window->findChild<QLabel *>("lblPromo");
    QCOMPARE(text->geometry(), HelpLayout::ToPixels(layout.TextBox()));
    QCOMPARE(picture->geometry(), HelpLayout::ToPixels(layout.Picture()));
    QCOMPARE(caption->geometry(), HelpLayout::ToPixels(layout.Label()));
    QVERIFY(caption->geometry().bottom() < window->height());
    QVERIFY(picture->x() >= 0 && caption->x() >= 0);
    QVERIFY(picture->geometry().top() > text->geometry().bottom());
}

void tst_frmHelp::layoutFollowsTheSize()
{
    MakeWindow()->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->size(), QSize(865, 621));
    QCOMPARE(TextBox(window)->geometry(), QRect(12, 12, 841, 505));
    VerifyLaidOutFor(window);

    window->resize(1200, 800);
    QTRY_COMPARE(window->size(), QSize(1200, 800));
    VerifyLaidOutFor(window);
    // Centred on half the outer width, as the picture and its caption always are.
    const QRect picture = window->findChild<QLabel *>("imgPromo")->geometry();
    QVERIFY(qAbs(picture.center().x() - (1200 * 15 + 120) / 30) <= 1);
}

void tst_frmHelp::snapsBackToTheMinimumSize()
{
    MakeWindow()->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->resize(200, 100);
    QTRY_COMPARE(window->size(), HelpLayout::MinimumClientPixels());
    VerifyLaidOutFor(window);
    QCOMPARE(window->findChild<QLabel *>("imgPromo")->x(), 3);
}

void tst_frmHelp::minimisingKeepsTheLayout()
{
    MakeWindow()->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->resize(1000, 700);
    QTRY_COMPARE(window->size(), QSize(1000, 700));
    const QRect before = TextBox(window)->geometry();

    window->showMinimized();
    QTRY_VERIFY(window->windowState() & Qt::WindowMinimized);
    window->showNormal();
    QTRY_VERIFY(!(window->windowState() & Qt::WindowMinimized));
    QCOMPARE(window->size(), QSize(1000, 700));
    QCOMPARE(TextBox(window)->geometry(), before);
    VerifyLaidOutFor(window);
}

void tst_frmHelp::captionAndBannerAsDesigned()
{
    MakeWindow()->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QVERIFY(!window->windowIcon().isNull());
    QVERIFY(!window->findChild<QLabel *>("imgPromo")->accessibleName().isEmpty());

    // The bold caption must fit its fixed width in the system's font.
    auto *caption = window->findChild<QLabel *>("lblPromo");
    const int needed = caption->fontMetrics().horizontalAdvance(caption->text());
    qInfo() << "caption needs" << needed << "of" << caption->contentsRect().width() << "pixels";
    QVERIFY2(needed <= caption->contentsRect().width(), "the caption is not cut off");

    // The window is black; the text box keeps the usual light background.
    QCOMPARE(window->palette().color(QPalette::Window), QColor(Qt::black));
    QVERIFY(TextBox(window)->palette().color(QPalette::Base).lightness() > 128);
}

QTEST_MAIN(tst_frmHelp)
#include "tst_frmHelp.moc"
