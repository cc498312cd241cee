#include "TrayDockWidget.h"

#include "TrayEventDecoder.h"

#include <QMouseEvent>
#include <QPainter>

TrayDockWidget::TrayDockWidget(TrayBackend::MessageSink sink)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint), sink_(std::move(sink))
{
    setObjectName(QStringLiteral("TallixTrayIcon"));
    // Hover tooltips although this window is never the active one.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    // The icon alone must not keep the program running.
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_ShowWithoutActivating);
    // The tray sizes its slot by the minimum size hint; without one it gives a single pixel.
    setMinimumSize(22, 22);
    resize(22, 22);
}

void TrayDockWidget::SetPicture(const QIcon &icon, const QString &tooltip)
{
    icon_ = icon;
    setToolTip(tooltip);
    update();
}

void TrayDockWidget::Detach() { sink_ = nullptr; }

void TrayDockWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    // Scaled to the slot the tray gave us, whatever sizes the icon comes in.
    const QPixmap source = icon_.pixmap(icon_.actualSize(QSize(256, 256)));
    if (source.isNull())
        return;
    const QSize shown = source.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(target, source);
}

void TrayDockWidget::mousePressEvent(QMouseEvent *event)
{
    // The press that completes a double-click is not a press to the shell: it sends the
    // double-click message in its place.
    if (event->flags().testFlag(Qt::MouseEventCreatedDoubleClick))
        return;
    Report(event->button(), 0);
}

void TrayDockWidget::mouseReleaseEvent(QMouseEvent *event) { Report(event->button(), 1); }

void TrayDockWidget::mouseDoubleClickEvent(QMouseEvent *event) { Report(event->button(), 2); }

void TrayDockWidget::Report(Qt::MouseButton button, int offset)
{
    qint32 first = 0;
    if (button == Qt::LeftButton)
        first = TrayMessage::LeftDown;
    else if (button == Qt::RightButton)
        first = TrayMessage::RightDown;
    else if (button == Qt::MiddleButton)
        first = TrayMessage::MiddleDown; // the shell reports it too; it raises nothing
    if (first == 0 || !sink_)
        return;
    // Copied: the handler behind it may remove this icon.
    const TrayBackend::MessageSink sink = sink_;
    sink(first + offset);
}
