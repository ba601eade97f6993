#include "platform/ui/qt/qt_layout.h"

#include <QFontMetrics>

namespace ui::qt {

namespace {

// a * b / c, rounded half away from zero.
int MulDiv(int a, int b, int c)
{
    long long product = static_cast<long long>(a) * b;
    long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

} // namespace

QFont DialogFont(const DialogTemplate& tmpl)
{
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(tmpl.fontPointSize > 0 ? tmpl.fontPointSize : 8);
    return font;
}

BaseUnits BaseUnitsOf(const QFont& font)
{
    QFontMetrics metrics(font);
    int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return BaseUnits{(letters / 26 + 1) / 2, metrics.height()};
}

QRect MapDialogRect(const BaseUnits& units, int x, int y, int cx, int cy)
{
    return QRect(MulDiv(x, units.x, 4), MulDiv(y, units.y, 8), MulDiv(cx, units.x, 4), MulDiv(cy, units.y, 8));
}

QSize MapDialogSize(const BaseUnits& units, int cx, int cy)
{
    return QSize(MulDiv(cx, units.x, 4), MulDiv(cy, units.y, 8));
}

} // namespace ui::qt
