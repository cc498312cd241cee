#include "TrayIcon.h"

namespace {
const QChar Nul(u'\0');
}

TrayIcon::TrayIcon(QObject *parent) : TrayIcon(&TrayBackend::Create, parent) {}

TrayIcon::TrayIcon(const BackendFactory &makeBackend, QObject *parent) : QObject(parent)
{
    // The backend may outlive a notification's handler that deletes this icon; the guard
    // turns any later message into nothing.
    QPointer<TrayIcon> self(this);
    backend_ = makeBackend([self](qint32 message) {
        if (self)
            self->Notify(message);
    });
}

TrayIcon::~TrayIcon() = default;

QWidget *TrayIcon::OwnerForm() const { return ownerForm_; }
void TrayIcon::setOwnerForm(QWidget *form) { ownerForm_ = form; }
QIcon TrayIcon::Icon() const { return icon_; }
void TrayIcon::setIcon(const QIcon &icon) { icon_ = icon; }

QString TrayIcon::Tooltip() const { return tooltip_.isEmpty() ? QString() : tooltip_.chopped(1); }

void TrayIcon::setTooltip(const QString &text) { tooltip_ = text + Nul; }

qint16 TrayIcon::State() const { return state_; }

QString TrayIcon::ShownText(const QString &storedTooltip)
{
    QString text = storedTooltip.left(storedTooltip.indexOf(Nul));
    if (text.size() > MaxTooltipLength) {
        text.truncate(MaxTooltipLength);
        // Never leave half of a character outside the basic plane.
        if (text.back().isHighSurrogate())
            text.chop(1);
    }
    return text;
}

bool TrayIcon::FillRecord()
{
    if (!ownerForm_ || icon_.isNull())
        return false;
    shownTooltip_ = ShownText(tooltip_) + (detail_.isEmpty() ? QString() : u'\n' + detail_);
    return true;
}

void TrayIcon::Add()
{
    if (!FillRecord())
        return;
    backend_->Show(icon_, shownTooltip_);
    state_ = 1;
}

void TrayIcon::Modify()
{
    if (!FillRecord())
        return;
    backend_->Update(icon_, shownTooltip_);
    state_ = 2;
}

void TrayIcon::Remove()
{
    backend_->Hide();
    state_ = 0;
}

void TrayIcon::setToggleCaption(const QString &caption) { backend_->SetToggleCaption(caption); }
bool TrayIcon::Hosted() const { return backend_->Hosted(); }

qint32 TrayIcon::LastMessage() const { return decoder_->LastMessage(); }
bool TrayIcon::InHandler() const { return decoder_->InHandler(); }
QString TrayIcon::ShownTooltip() const { return shownTooltip_; }
QString TrayIcon::BackendName() const { return backend_->Name(); }
WId TrayIcon::DockedWindowId() const { return backend_->DockedWindowId(); }

void TrayIcon::Notify(qint32 message)
{
    const std::shared_ptr<TrayEventDecoder> decoder = decoder_;
    decoder->Notify(message, [this](const TrayEvent &event) { Raise(event); });
}

void TrayIcon::Raise(const TrayEvent &event)
{
    switch (event.kind) {
    case TrayEventKind::MouseDown: emit MouseDown(event.button); break;
    case TrayEventKind::MouseUp: emit MouseUp(event.button); break;
    case TrayEventKind::MouseDblClick: emit MouseDblClick(event.button); break;
    case TrayEventKind::None: break;
    }
}
