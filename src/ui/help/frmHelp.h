#pragma once
#include <QUrl>
#include <QWidget>

#include <functional>

class ClickableLabel;
class QPlainTextEdit;

// The help window: the help file (Readme.txt where this copy keeps it) in a
// read-only box, and under it a banner (picture and caption) that opens the
// promotion's web address.
//
// One instance serves the whole program. It is "loaded" when shown for the
// first time and again when shown after the operator closed it; loading reads
// the help file afresh. Showing a window that is already open rereads nothing.
// Create it without a parent so that it outlives the main window.
class frmHelp : public QWidget
{
    Q_OBJECT
public:
    using UrlOpener = std::function<void(const QUrl &)>;

    explicit frmHelp(const QString &helpFile, UrlOpener openUrl = OpenInBrowser, QWidget *parent = nullptr);

    // Beside the owner window when that fits, inside the owner's screen always.
    void PlaceBeside(const QWidget &owner);

    static QUrl PromoAddress();
    static void OpenInBrowser(const QUrl &address); // QDesktopServices::openUrl, result ignored

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void Form_Load();
    void Form_Resize();
    void LoadHelpText();
    void imgPromo_Click();
    void lblPromo_Click();
    void OpenPromoAddress();

    const QString helpFile;
    UrlOpener openUrl;
    bool loaded = false;

    QPlainTextEdit *txtHelpFile;
    ClickableLabel *imgPromo;
    ClickableLabel *lblPromo;
};
