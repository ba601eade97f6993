// Dialog units: template coordinates scaled by the dialog font, a quarter
// of its average character width across and an eighth of its height down.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

#include "platform/ui/dialog_template.h"

namespace ui::qt {

struct BaseUnits {
    int x = 0; // average character width, in pixels
    int y = 0; // character height, in pixels
};

// The font a template's controls are drawn in: the desktop's sans-serif
// face at the template's point size (the template's own face names a
// font other desktops do not have).
QFont DialogFont(const DialogTemplate& tmpl);
// The base units of `font`: the average width of the 52 Latin letters,
// rounded, and the font's height.
BaseUnits BaseUnitsOf(const QFont& font);
// A template rectangle in pixels: each of x, y, cx, cy scaled on its own.
QRect MapDialogRect(const BaseUnits& units, int x, int y, int cx, int cy);
QSize MapDialogSize(const BaseUnits& units, int cx, int cy);

} // namespace ui::qt
