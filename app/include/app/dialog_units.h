#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace ui {

// A dialog font's base units in pixels: the average width of its Latin
// letters and its character height. One horizontal dialog unit is x / 4
// pixels, one vertical unit y / 8.
struct DialogBaseUnits {
    int x = 0;
    int y = 0;
};

// The font the program's dialogs use: the platform's sans-serif at 8 points,
// in place of "MS Sans Serif" 8 pt.
QFont DialogFont();

// Base units of `font`: x is the average advance of "A".."Z" and "a".."z",
// rounded; y is the font's height.
DialogBaseUnits BaseUnitsOf(const QFont &font);

// Dialog units to pixels, rounded to nearest as the template loader does.
int HorizontalUnitsToPixels(int units, DialogBaseUnits base);
int VerticalUnitsToPixels(int units, DialogBaseUnits base);
QRect DialogUnitsToPixels(const QRect &units, DialogBaseUnits base);
QSize DialogUnitsToPixels(const QSize &units, DialogBaseUnits base);

} // namespace ui
