#include "platform/ui/qt/qt_icons.h"

#include <QFile>

namespace ui::qt {

namespace {
constexpr int kSizes[] = {16, 32, 48, 256};

QString IconPath(int resourceId, int size)
{
    return QStringLiteral(":/icons/%1-%2.png").arg(resourceId).arg(size);
}
} // namespace

QIcon IconForResource(int resourceId)
{
    QIcon icon;
    for (int size : kSizes) {
        QString path = IconPath(resourceId, size);
        if (QFile::exists(path))
            icon.addFile(path, QSize(size, size));
    }
    return icon;
}

QPixmap IconPixmap(int resourceId, int size)
{
    QIcon icon = IconForResource(resourceId);
    return icon.isNull() ? QPixmap() : icon.pixmap(size, size);
}

} // namespace ui::qt
