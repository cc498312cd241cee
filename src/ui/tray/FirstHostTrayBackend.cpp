#include "FirstHostTrayBackend.h"

FirstHostTrayBackend::FirstHostTrayBackend(std::unique_ptr<XEmbedTrayBackend> xembed,
                                           std::unique_ptr<StatusNotifierBackend> sni)
    : xembed_(std::move(xembed)), sni_(std::move(sni))
{
    // Neither kind announces itself in a way both can hear; a look each second is cheap and
    // stops once one is there.
    poll_.setInterval(1000);
    QObject::connect(&poll_, &QTimer::timeout, &poll_, [this] { Choose(); });
}

void FirstHostTrayBackend::Choose()
{
    if (sni_ && sni_->HostKnownPresent())
        chosen_ = sni_.get();
    else if (xembed_ && xembed_->TrayPresent())
        chosen_ = xembed_.get();
    else
        return;
    poll_.stop();
    chosen_->SetToggleCaption(caption_);
    if (shown_)
        chosen_->Show(icon_, tooltip_);
}

void FirstHostTrayBackend::Show(const QIcon &icon, const QString &tooltip)
{
    icon_ = icon;
    tooltip_ = tooltip;
    shown_ = true;
    if (chosen_)
        chosen_->Show(icon, tooltip);
    else if (!poll_.isActive())
        poll_.start();
}

void FirstHostTrayBackend::Update(const QIcon &icon, const QString &tooltip)
{
    if (!shown_)
        return;
    icon_ = icon;
    tooltip_ = tooltip;
    if (chosen_)
        chosen_->Update(icon, tooltip);
}

void FirstHostTrayBackend::Hide()
{
    shown_ = false;
    poll_.stop();
    if (chosen_)
        chosen_->Hide();
}

void FirstHostTrayBackend::SetToggleCaption(const QString &caption)
{
    caption_ = caption;
    if (chosen_)
        chosen_->SetToggleCaption(caption);
}
