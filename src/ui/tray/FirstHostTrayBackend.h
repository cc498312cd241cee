#pragma once
#include "StatusNotifierBackend.h"
#include "TrayBackend.h"
#include "XEmbedTrayBackend.h"

#include <QTimer>

// While a session has no notification area yet (a panel that starts after the program), the
// icon waits for either kind and goes to the first that appears, the StatusNotifierItem host
// winning when both are there at once, as at start.
class FirstHostTrayBackend : public TrayBackend
{
public:
    FirstHostTrayBackend(std::unique_ptr<XEmbedTrayBackend> xembed, std::unique_ptr<StatusNotifierBackend> sni);

    void Show(const QIcon &icon, const QString &tooltip) override;
    void Update(const QIcon &icon, const QString &tooltip) override;
    void Hide() override;
    void SetToggleCaption(const QString &caption) override;
    bool Hosted() const override { return chosen_ && chosen_->Hosted(); }
    QString Name() const override { return chosen_ ? chosen_->Name() : QStringLiteral("waiting"); }
    WId DockedWindowId() const override { return chosen_ ? chosen_->DockedWindowId() : 0; }

private:
    void Choose();

    std::unique_ptr<XEmbedTrayBackend> xembed_;
    std::unique_ptr<StatusNotifierBackend> sni_;
    TrayBackend *chosen_ = nullptr;
    bool shown_ = false;
    QIcon icon_;
    QString tooltip_;
    QString caption_;
    QTimer poll_;
};
