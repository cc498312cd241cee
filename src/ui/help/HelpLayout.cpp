#include "HelpLayout.h"

#include <QtMath>

HelpLayout::HelpLayout(float width, float height)
    : outerWidth(width < MinimumOuterWidth ? MinimumOuterWidth : width),
      outerHeight(height < MinimumOuterHeight ? MinimumOuterHeight : height)
{
    textBox = TextBoxAtDesign;
    textBox.width = outerWidth - 480.0f;
    textBox.height = outerHeight - 2050.0f;

    picture = PictureAtDesign;
    picture.left = outerWidth / 2.0f - 3510.0f;
    picture.top = textBox.top + textBox.height + 175.0f;

    label = LabelAtDesign;
    label.left = outerWidth / 2.0f - 3517.5f;
    label.top = picture.top + picture.height + 60.0f;
}

HelpLayout HelpLayout::ForClientPixels(QSize client)
{
    return HelpLayout(float(client.width() * TwipsPerPixel) + NominalFrameWidth,
                      float(client.height() * TwipsPerPixel) + NominalFrameHeight);
}

QSize HelpLayout::MinimumClientPixels()
{
    return QSize(qCeil((MinimumOuterWidth - NominalFrameWidth) / float(TwipsPerPixel)),
                 qCeil((MinimumOuterHeight - NominalFrameHeight) / float(TwipsPerPixel)));
}
