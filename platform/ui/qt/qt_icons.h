// Icon resources, by resource id. The program's icons are compiled in as
// ":/icons/<id>-<size>.png" in the sizes 16, 32, 48 and 256.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace ui::qt {

// Every size of icon `resourceId`; a null icon when there is none.
QIcon IconForResource(int resourceId);
// Icon `resourceId` drawn `size` pixels square; a null pixmap when there is none.
QPixmap IconPixmap(int resourceId, int size);

} // namespace ui::qt
