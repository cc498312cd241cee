#include "DBusMenu.h"

#include <QDBusArgument>
#include <QDBusMetaType>

QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuLayout &layout)
{
    arg.beginStructure();
    arg << layout.id << layout.properties;
    arg.beginArray(qMetaTypeId<QDBusVariant>());
    for (const DBusMenuLayout &child : layout.children)
        arg << QDBusVariant(QVariant::fromValue(child));
    arg.endArray();
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuLayout &layout)
{
    arg.beginStructure();
    arg >> layout.id >> layout.properties;
    layout.children.clear();
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        layout.children.append(qdbus_cast<DBusMenuLayout>(child.variant()));
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuItem &item)
{
    arg.beginStructure();
    arg << item.id << item.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuItem &item)
{
    arg.beginStructure();
    arg >> item.id >> item.properties;
    arg.endStructure();
    return arg;
}

DBusMenu::DBusMenu(Chosen chosen, QObject *parent) : QObject(parent), chosen_(std::move(chosen))
{
    qDBusRegisterMetaType<DBusMenuLayout>();
    qDBusRegisterMetaType<DBusMenuItem>();
    qDBusRegisterMetaType<DBusMenuItemList>();
}

void DBusMenu::SetCaptions(const QStringList &captions)
{
    if (captions == captions_)
        return;
    captions_ = captions;
    emit LayoutUpdated(++revision_, 0);
}

QVariantMap DBusMenu::Properties(int id) const
{
    if (id == 0)
        return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
    if (id < 1 || id > captions_.size())
        return {};
    // The menu format marks the access key with '_' and doubles a literal one.
    QString label = captions_[id - 1];
    label.replace(u'_', QStringLiteral("__")).replace(u'&', u'_');
    return {{QStringLiteral("label"), label}};
}

uint DBusMenu::GetLayout(int parentId, int recursionDepth, const QStringList &, DBusMenuLayout &layout)
{
    layout = {parentId, Properties(parentId), {}};
    if (parentId == 0 && recursionDepth != 0) {
        for (int id = 1; id <= captions_.size(); ++id)
            layout.children.append({id, Properties(id), {}});
    }
    return revision_;
}

DBusMenuItemList DBusMenu::GetGroupProperties(const QList<int> &ids, const QStringList &)
{
    DBusMenuItemList items;
    for (int id : ids)
        items.append({id, Properties(id)});
    return items;
}

QDBusVariant DBusMenu::GetProperty(int id, const QString &name)
{
    // An unknown property answers an empty text: an invalid value cannot cross the bus.
    return QDBusVariant(Properties(id).value(name, QString()));
}

void DBusMenu::Event(int id, const QString &eventId, const QDBusVariant &, uint)
{
    if (eventId == QLatin1String("clicked") && id >= 1 && id <= captions_.size())
        chosen_(id - 1);
}

bool DBusMenu::AboutToShow(int) { return false; }
