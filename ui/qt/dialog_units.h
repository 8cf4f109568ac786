#pragma once

#include <QFont>
#include <QRect>

// The panel is laid out in dialog units of an 8-point dialog font, as a Windows dialog template is.
// At 96 dots per inch that font's average character is 6 x 13 pixels; a horizontal unit is a quarter
// of the width (1.5 px) and a vertical unit an eighth of the height (1.625 px). Values are rounded
// half away from zero, as Windows maps its dialog rectangles.
namespace dialog_units {

constexpr int kCharWidth = 6;
constexpr int kCharHeight = 13;

constexpr int roundedDiv(int value, int divisor) {
    return (2 * value + divisor) / (2 * divisor);
}
constexpr int toPixelsX(int units) {
    return roundedDiv(units * kCharWidth, 4);
}
constexpr int toPixelsY(int units) {
    return roundedDiv(units * kCharHeight, 8);
}

// The 8-point dialog font the layouts are measured in: the given font at 8 points.
inline QFont dialogFont(QFont font) {
    font.setPointSize(8);
    return font;
}

// x, y, width, height in dialog units.
inline QRect toPixels(int x, int y, int width, int height) {
    return {toPixelsX(x), toPixelsY(y), toPixelsX(width), toPixelsY(height)};
}

}  // namespace dialog_units
