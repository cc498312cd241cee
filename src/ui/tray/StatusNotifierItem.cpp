#include "StatusNotifierItem.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QImage>
#include <QtEndian>

QDBusArgument &operator<<(QDBusArgument &arg, const SniImage &image)
{
    arg.beginStructure();
    arg << image.width << image.height << image.pixels;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, SniImage &image)
{
    arg.beginStructure();
    arg >> image.width >> image.height >> image.pixels;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const SniToolTip &tip)
{
    arg.beginStructure();
    arg << tip.iconName << tip.images << tip.title << tip.description;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, SniToolTip &tip)
{
    arg.beginStructure();
    arg >> tip.iconName >> tip.images >> tip.title >> tip.description;
    arg.endStructure();
    return arg;
}

StatusNotifierItem::StatusNotifierItem(std::function<void(Click)> clicked, QObject *parent)
    : QObject(parent), clicked_(std::move(clicked))
{
    qDBusRegisterMetaType<SniImage>();
    qDBusRegisterMetaType<SniImageList>();
    qDBusRegisterMetaType<SniToolTip>();
}

SniImageList StatusNotifierItem::Images(const QIcon &icon)
{
    SniImageList images;
    for (int size : {16, 22, 24, 32, 48}) {
        const QImage image = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            continue;
        SniImage out{image.width(), image.height(), {}};
        out.pixels.resize(image.width() * image.height() * 4);
        auto *pixel = reinterpret_cast<quint32 *>(out.pixels.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto *line = reinterpret_cast<const quint32 *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                *pixel++ = qToBigEndian(line[x]);
        }
        images.append(out);
    }
    return images;
}

void StatusNotifierItem::SetLook(const QIcon &icon, const QString &text)
{
    if (icon.cacheKey() != iconKey_) {
        iconKey_ = icon.cacheKey();
        images_ = Images(icon);
        emit NewIcon();
    }
    if (text != text_) {
        text_ = text;
        emit NewTitle();
        emit NewToolTip();
    }
}

void StatusNotifierItem::Activate(int, int) { clicked_(Click::Primary); }

void StatusNotifierItem::SecondaryActivate(int, int) { clicked_(Click::Secondary); }
