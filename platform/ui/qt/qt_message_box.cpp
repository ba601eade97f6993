#include "platform/ui/qt/qt_message_box.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

#include "platform/ui/qt/qt_front_end.h"
#include "platform/ui/qt/qt_text.h"

namespace ui::qt {

QString MessageCaption()
{
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return name.isEmpty() ? QStringLiteral("quilvex") : name;
}

MessagePresenter MakeMessagePresenter(const QtFrontEnd& frontEnd)
{
    const QtFrontEnd* fe = &frontEnd;
    return [fe](const std::string& text, MessageButtons buttons) -> int {
        const bool okCancel = buttons == MessageButtons::OkCancel;
        QMessageBox box(QMessageBox::Warning, MessageCaption(), ToQString(text),
            okCancel ? (QMessageBox::Ok | QMessageBox::Cancel) : QMessageBox::Ok, fe->ActiveWindow());
        box.setTextFormat(Qt::PlainText);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(okCancel ? QMessageBox::Cancel : QMessageBox::Ok);
        box.setWindowModality(Qt::ApplicationModal);
        return MessageAnswer(box.exec() == QMessageBox::Ok, buttons);
    };
}

} // namespace ui::qt
