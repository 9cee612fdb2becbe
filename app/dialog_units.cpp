#include "app/dialog_units.h"

#include <QFontMetrics>


namespace ui {

namespace {

// value * numerator / denominator, rounded half away from zero.
int ScaleRounded(int value, int numerator, int denominator)
{
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    const long long rounded = product >= 0 ? (product + half) / denominator : -((-product + half) / denominator);
    return static_cast<int>(rounded);
}

} // namespace

QFont DialogFont()
{
    QFont font(QStringLiteral("Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFont &font)
{
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // Average over 52 letters, rounded: (letters / 26 + 1) / 2.
    return DialogBaseUnits{(letters / 26 + 1) / 2, metrics.height()};
}

int HorizontalUnitsToPixels(int units, DialogBaseUnits base)
{
    return ScaleRounded(units, base.x, 4);
}

int VerticalUnitsToPixels(int units, DialogBaseUnits base)
{
    return ScaleRounded(units, base.y, 8);
}

QRect DialogUnitsToPixels(const QRect &units, DialogBaseUnits base)
{
    return QRect(HorizontalUnitsToPixels(units.x(), base), VerticalUnitsToPixels(units.y(), base),
                 HorizontalUnitsToPixels(units.width(), base), VerticalUnitsToPixels(units.height(), base));
}

QSize DialogUnitsToPixels(const QSize &units, DialogBaseUnits base)
{
    return QSize(HorizontalUnitsToPixels(units.width(), base), VerticalUnitsToPixels(units.height(), base));
}

} // namespace ui
