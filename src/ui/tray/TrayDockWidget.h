#pragma once
#include "TrayBackend.h"

#include <QIcon>
#include <QWidget>

// The small window that a system tray embeds: paints the icon over an opaque background
// (the tray may have no alpha channel) and reports its mouse buttons as the shell's messages.
class TrayDockWidget : public QWidget
{
    Q_OBJECT
public:
    explicit TrayDockWidget(TrayBackend::MessageSink sink);

    void SetPicture(const QIcon &icon, const QString &tooltip);
    // After removal nothing more is reported, like an icon the shell has deleted.
    void Detach();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    // offset: 0 down, 1 up, 2 double-click.
    void Report(Qt::MouseButton button, int offset);

    TrayBackend::MessageSink sink_;
    QIcon icon_;
};
