#pragma once
#include <QRect>
#include <QWidget>

// Window geometry is laid out in twips: 15 twips are one pixel at 96 dots per inch.
constexpr int TwipsPerPixel = 15;

inline int TwipsToPixels(double twips) { return int(twips / TwipsPerPixel + 0.5); }

inline void PlaceInTwips(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                   TwipsToPixels(height));
}
