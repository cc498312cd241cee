#pragma once
#include "TrayBackend.h"
#include "TrayEventDecoder.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

// One icon with a tooltip in the notification area, on behalf of an owner window. Mouse
// activity on it comes out as MouseDown, MouseUp and MouseDblClick (Button 1 left, 2 right),
// raised synchronously; while a handler of one of them runs, further activity is dropped.
// The icon may be deleted from inside one of its own handlers.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    // Picks the notification area of the running session.
    explicit TrayIcon(QObject *parent = nullptr);
    // Seam for tests: the backend is made by the caller from the sink that feeds this icon.
    using BackendFactory = std::function<std::unique_ptr<TrayBackend>(TrayBackend::MessageSink)>;
    explicit TrayIcon(const BackendFactory &makeBackend, QObject *parent = nullptr);
    ~TrayIcon() override;

    // Add and Modify need both an owner and an icon; without either they change nothing.
    QWidget *OwnerForm() const;
    void setOwnerForm(QWidget *form);
    QIcon Icon() const;
    void setIcon(const QIcon &icon);

    // Kept with a NUL appended; reads back without it. A text that was never set reads empty.
    QString Tooltip() const;
    void setTooltip(const QString &text);

    // 0 at creation and after Remove, 1 after Add, 2 after Modify.
    qint16 State() const;

    // A second line under the tooltip, for a warning, shown in addition to the tooltip's
    // own 63 characters and cut to as many; empty for none. Takes effect at Add or Modify.
    void setTooltipDetail(const QString &line) { detail_ = line.left(MaxTooltipLength); }

    // Picture and tooltip take effect here, not when assigned.
    void Add();
    void Modify();
    void Remove();

    // The caption of the start/stop entry of the icon's menu, where the tray shows one.
    void setToggleCaption(const QString &caption);
    // Whether a notification area shows the icon now, so that the window may hide in it.
    bool Hosted() const;

    qint32 LastMessage() const;
    bool InHandler() const;

    // The tooltip as the notification area got it at the last Add or Modify.
    QString ShownTooltip() const;
    QString BackendName() const;
    WId DockedWindowId() const;

    // The part of a stored tooltip that is shown: up to its first NUL, at most 63 characters.
    static QString ShownText(const QString &storedTooltip);
    static constexpr int MaxTooltipLength = 63;

signals:
    void MouseDown(int Button);
    void MouseUp(int Button);
    void MouseDblClick(int Button);

private:
    bool FillRecord();
    void Notify(qint32 message);
    void Raise(const TrayEvent &event);

    QPointer<QWidget> ownerForm_;
    QIcon icon_;
    QString tooltip_;
    QString detail_;
    qint16 state_ = 0;
    QString shownTooltip_;
    // Shared so that it outlives this object when a handler deletes it mid-event.
    std::shared_ptr<TrayEventDecoder> decoder_ = std::make_shared<TrayEventDecoder>();
    std::unique_ptr<TrayBackend> backend_;
};
