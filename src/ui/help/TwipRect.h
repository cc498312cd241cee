#pragma once

// A control's place in twips (1440 per inch, 15 per pixel at 96 dpi),
// relative to the window's client area.
struct TwipRect
{
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
};
