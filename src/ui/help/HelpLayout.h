#pragma once
#include "Twips.h"

#include <QRect>
#include <QSize>

// Where the help window's controls go for a given outer window size, in twips.
// The text box keeps its corner and fills the window less fixed margins; the
// banner picture and its caption keep their sizes, centred on half the outer
// width, under the text box. Sizes below the minimum are taken as the minimum,
// which is where the window snaps back to. The arithmetic is single precision.
class HelpLayout
{
public:
    static constexpr float MinimumOuterWidth = 7100.0f;
    static constexpr float MinimumOuterHeight = 4000.0f;

    static constexpr TwipRect TextBoxAtDesign{180.0f, 180.0f, 12615.0f, 7575.0f};
    static constexpr TwipRect PictureAtDesign{3000.0f, 7980.0f, 7020.0f, 900.0f};
    static constexpr TwipRect LabelAtDesign{3000.0f, 8940.0f, 7035.0f, 195.0f};

    // The outer size is the client area plus the frame the window was
    // designed with (a 4-pixel border each side and a title bar). Laying out
    // against this fixed frame instead of whatever frame the desktop draws
    // keeps the client area laid out the same under every window manager.
    static constexpr float NominalFrameWidth = 120.0f;
    static constexpr float NominalFrameHeight = 310.0f;

    HelpLayout(float outerWidth, float outerHeight);
    static HelpLayout ForClientPixels(QSize client);

    // The smallest client area, in pixels, whose outer size reaches the minimum.
    static QSize MinimumClientPixels();

    TwipRect TextBox() const { return textBox; }
    TwipRect Picture() const { return picture; }
    TwipRect Label() const { return label; }

private:
    float outerWidth;
    float outerHeight;
    TwipRect textBox;
    TwipRect picture;
    TwipRect label;
};
