#pragma once
#include <QByteArray>
#include <QDBusObjectPath>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

// One picture as the item format carries it: width, height and ARGB32 pixels in network
// byte order, D-Bus type (iiay).
struct SniImage
{
    int width = 0;
    int height = 0;
    QByteArray pixels;
};
using SniImageList = QList<SniImage>;
// The tooltip: theme icon name, pictures, title and description, D-Bus type (sa(iiay)ss).
struct SniToolTip
{
    QString iconName;
    SniImageList images;
    QString title;
    QString description;
};
Q_DECLARE_METATYPE(SniImage)
Q_DECLARE_METATYPE(SniToolTip)

// The icon as a StatusNotifierItem: the object a host reads the title, tooltip and pictures
// from and calls on clicks. The pictures travel as pixel data, so no icon theme is needed.
class StatusNotifierItem : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ Category)
    Q_PROPERTY(QString Id READ Id)
    Q_PROPERTY(QString Title READ Title)
    Q_PROPERTY(QString Status READ Status)
    Q_PROPERTY(QString IconName READ IconName)
    Q_PROPERTY(SniImageList IconPixmap READ IconPixmap)
    Q_PROPERTY(SniToolTip ToolTip READ ToolTip)
    Q_PROPERTY(bool ItemIsMenu READ ItemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ Menu)
    // Asked for by hosts; this item has no overlay, no attention state and no theme.
    Q_PROPERTY(QString IconThemePath READ IconName)
    Q_PROPERTY(QString OverlayIconName READ IconName)
    Q_PROPERTY(QString AttentionIconName READ IconName)
    Q_PROPERTY(SniImageList OverlayIconPixmap READ NoImages)
    Q_PROPERTY(SniImageList AttentionIconPixmap READ NoImages)
public:
    enum class Click { Primary, Secondary };
    StatusNotifierItem(std::function<void(Click)> clicked, QObject *parent = nullptr);

    void SetLook(const QIcon &icon, const QString &text);

    QString Category() const { return QStringLiteral("ApplicationStatus"); }
    QString Id() const { return QStringLiteral("tallix-server"); }
    QString Title() const { return text_; }
    QString Status() const { return QStringLiteral("Active"); }
    QString IconName() const { return {}; }
    SniImageList IconPixmap() const { return images_; }
    SniImageList NoImages() const { return {}; }
    SniToolTip ToolTip() const { return {{}, {}, text_, {}}; }
    bool ItemIsMenu() const { return false; }
    QDBusObjectPath Menu() const { return QDBusObjectPath(QStringLiteral("/MenuBar")); }

    static SniImageList Images(const QIcon &icon);

public slots:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int, int) {} // hosts show the exported menu themselves
    void Scroll(int, const QString &) {}

signals:
    void NewTitle();
    void NewIcon();
    void NewToolTip();
    void NewStatus(const QString &status);

private:
    std::function<void(Click)> clicked_;
    QString text_;
    qint64 iconKey_ = 0;
    SniImageList images_;
};
