#pragma once
#include <QRect>
#include <QWidget>
#include <QtMath>

// Window geometry is laid out in twips: 1440 per inch, 15 per pixel at 96 dots per inch.
constexpr int TwipsPerPixel = 15;

// Twips to whole device-independent pixels, rounded to the nearest.
inline int TwipsToPixels(double twips) { return qRound(twips / TwipsPerPixel); }

// A control's place in twips, relative to its window's client area.
struct TwipRect
{
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
};

inline QRect TwipsToPixels(const TwipRect &r)
{
    return QRect(TwipsToPixels(r.left), TwipsToPixels(r.top), TwipsToPixels(r.width), TwipsToPixels(r.height));
}

inline void PlaceInTwips(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(TwipsToPixels(TwipRect{float(left), float(top), float(width), float(height)}));
}
