#include "frmHelp.h"

#include "ClickableLabel.h"
#include "HelpLayout.h"
#include "HelpPlacement.h"
#include "HelpText.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>

namespace {

const QColor PromoTextColour(0, 153, 255);

} // namespace

frmHelp::frmHelp(const QString &file, UrlOpener opener, QWidget *parent)
    : QWidget(parent), helpFile(file), openUrl(std::move(opener))
{
    setWindowTitle(QStringLiteral("Tallix Server Help"));
    setWindowIcon(QIcon(QStringLiteral(":/pictures/help.png")));

    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);

    txtHelpFile = new QPlainTextEdit(this);
    txtHelpFile->setObjectName(QStringLiteral("txtHelpFile"));
    txtHelpFile->setAccessibleName(QStringLiteral("Help text"));
    txtHelpFile->setReadOnly(true);
    // Read-only drops keyboard selection unless asked for it back.
    txtHelpFile->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtHelpFile->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    txtHelpFile->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtHelpFile->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtHelpFile->setTabChangesFocus(true); // otherwise Tab would trap the keyboard user here
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSizeF(9);
    fixed.setWeight(QFont::Normal);
    txtHelpFile->setFont(fixed);
    // Black belongs to the window, not to the text box: it keeps the usual colours.
    QPalette usual = QGuiApplication::palette();
    for (int group = 0; group < QPalette::NColorGroups; ++group) {
        const auto colourGroup = QPalette::ColorGroup(group);
        usual.setBrush(colourGroup, QPalette::Window, usual.brush(colourGroup, QPalette::Window));
    }
    txtHelpFile->setPalette(usual);

    const QPixmap banner(QStringLiteral(":/pictures/banner.png"));
    imgPromo = new ClickableLabel(this);
    imgPromo->setObjectName(QStringLiteral("imgPromo"));
    imgPromo->setPixmap(banner);
    imgPromo->setFixedSize(banner.size());
    imgPromo->setCursor(Qt::CrossCursor);
    imgPromo->setFocusPolicy(Qt::NoFocus);
    imgPromo->setAccessibleName(QStringLiteral("Get paid to receive e-mails on subjects of your choice"));
    imgPromo->setAccessibleDescription(QStringLiteral("Banner; opens %1").arg(PromoAddress().toString()));

    lblPromo = new ClickableLabel(this);
    lblPromo->setObjectName(QStringLiteral("lblPromo"));
    lblPromo->setText(QStringLiteral("GET PAID TO RECEIVE E-MAILS ON SUBJECTS OF YOUR CHOICE!!"));
    lblPromo->setAlignment(Qt::AlignCenter);
    QFont sans = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    sans.setPointSizeF(8.25);
    sans.setWeight(QFont::Bold);
    lblPromo->setFont(sans);
    QPalette promo = lblPromo->palette();
    promo.setColor(QPalette::WindowText, PromoTextColour);
    promo.setColor(QPalette::Window, Qt::black);
    lblPromo->setPalette(promo);
    lblPromo->setCursor(Qt::CrossCursor);
    lblPromo->setFocusPolicy(Qt::TabFocus);
    lblPromo->setAccessibleDescription(QStringLiteral("Link; opens %1").arg(PromoAddress().toString()));
    lblPromo->setFixedSize(TwipsToPixels(HelpLayout::LabelAtDesign).size());

    txtHelpFile->setGeometry(TwipsToPixels(HelpLayout::TextBoxAtDesign));
    imgPromo->move(TwipsToPixels(HelpLayout::PictureAtDesign).topLeft());
    lblPromo->move(TwipsToPixels(HelpLayout::LabelAtDesign).topLeft());

    setTabOrder(txtHelpFile, lblPromo);
    txtHelpFile->setFocus();

    connect(imgPromo, &ClickableLabel::clicked, this, &frmHelp::imgPromo_Click);
    connect(lblPromo, &ClickableLabel::clicked, this, &frmHelp::lblPromo_Click);

    setMinimumSize(HelpLayout::MinimumClientPixels());
    // The window opens with a client area of 12975 x 9315 twips.
    resize(TwipsToPixels(12975), TwipsToPixels(9315));
}

void frmHelp::PlaceBeside(const QWidget &owner)
{
    // Until it is first shown this window has no frame of its own; the desktop draws the
    // same one around both windows.
    const QSize frameExtra = owner.frameGeometry().size() - owner.size();
    const QRect frame = PlaceHelpWindow(owner.frameGeometry(), size() + frameExtra,
                                        owner.screen()->availableGeometry());
    resize(frame.size() - frameExtra);
    move(frame.topLeft());
}

QUrl frmHelp::PromoAddress() { return QUrl(QStringLiteral("https://www.example.com/paid-emails")); }

void frmHelp::OpenInBrowser(const QUrl &address)
{
    // Nothing to tell the operator if no browser comes up.
    QDesktopServices::openUrl(address);
}

void frmHelp::showEvent(QShowEvent *event)
{
    // Sent just before the window appears, so the text is in place when it does.
    if (!event->spontaneous() && !loaded) {
        loaded = true;
        Form_Load();
    }
    QWidget::showEvent(event);
}

void frmHelp::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        loaded = false; // the next showing loads the window, and the file, again
}

void frmHelp::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmHelp::Form_Load()
{
    LoadHelpText();
    txtHelpFile->setFocus();
}

void frmHelp::LoadHelpText()
{
    // One assignment: the reader already keeps the lines read before any failure.
    txtHelpFile->setPlainText(ReadHelpText(helpFile));
}

void frmHelp::Form_Resize()
{
    // Nothing to lay out while minimised; restoring brings the same size back.
    if (windowState() & Qt::WindowMinimized)
        return;
    const QSize minimum = HelpLayout::MinimumClientPixels();
    if (width() < minimum.width() || height() < minimum.height()) {
        resize(size().expandedTo(minimum)); // lays out again through resizeEvent
        return;
    }
    const HelpLayout layout = HelpLayout::ForClientPixels(size());
    txtHelpFile->setGeometry(TwipsToPixels(layout.TextBox()));
    imgPromo->move(TwipsToPixels(layout.Picture()).topLeft());
    lblPromo->move(TwipsToPixels(layout.Label()).topLeft());
}

void frmHelp::imgPromo_Click() { OpenPromoAddress(); }

void frmHelp::lblPromo_Click() { OpenPromoAddress(); }

void frmHelp::OpenPromoAddress()
{
    if (openUrl)
        openUrl(PromoAddress());
}
