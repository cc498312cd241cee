#pragma once
#include <QDBusVariant>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

// One entry of an exported menu and, nested, its children: D-Bus type (ia{sv}av).
struct DBusMenuLayout
{
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayout> children;
};
// An entry's properties alone: a(ia{sv}).
struct DBusMenuItem
{
    int id = 0;
    QVariantMap properties;
};
using DBusMenuItemList = QList<DBusMenuItem>;
Q_DECLARE_METATYPE(DBusMenuLayout)
Q_DECLARE_METATYPE(DBusMenuItem)

// A flat menu of plain entries published as com.canonical.dbusmenu, the menu format that
// StatusNotifierItem hosts read and show on a right click. Entry i has the id i + 1; a host's
// "clicked" event on it calls the handler with i.
class DBusMenu : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ Version)
    Q_PROPERTY(QString TextDirection READ TextDirection)
    Q_PROPERTY(QString Status READ Status)
    Q_PROPERTY(QStringList IconThemePath READ IconThemePath)
public:
    using Chosen = std::function<void(int index)>;
    DBusMenu(Chosen chosen, QObject *parent = nullptr);

    // Captions use '&' for the access key, as buttons do.
    void SetCaptions(const QStringList &captions);
    QStringList Captions() const { return captions_; }

    uint Version() const { return 3; }
    QString TextDirection() const { return QStringLiteral("ltr"); }
    QString Status() const { return QStringLiteral("normal"); }
    QStringList IconThemePath() const { return {}; }

public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames, DBusMenuLayout &layout);
    DBusMenuItemList GetGroupProperties(const QList<int> &ids, const QStringList &propertyNames);
    QDBusVariant GetProperty(int id, const QString &name);
    void Event(int id, const QString &eventId, const QDBusVariant &data, uint timestamp);
    bool AboutToShow(int id);

signals:
    // Hosts fetch the layout again on this.
    void LayoutUpdated(uint revision, int parent);

private:
    QVariantMap Properties(int id) const;

    Chosen chosen_;
    QStringList captions_;
    uint revision_ = 1;
};
