#include "platform/ui/qt/qt_controls.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "platform/ui/qt/qt_icons.h"
#include "platform/ui/qt/qt_text.h"

namespace ui::qt {

namespace {

constexpr int kIconPixels = 32;

bool Contains(const ControlTemplate& outer, const ControlTemplate& inner)
{
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.cx <= outer.x + outer.cx &&
        inner.y + inner.cy <= outer.y + outer.cy;
}

} // namespace

QWidget* CreateControlWidget(const ControlTemplate& c, const std::string& text, QWidget* parent)
{
    const Qt::FocusPolicy focus = (c.style & StyleTabStop) ? Qt::StrongFocus : Qt::ClickFocus;
    switch (c.kind) {
    case ControlKind::DefPushButton:
    case ControlKind::PushButton: {
        auto* button = new QPushButton(ToQString(text), parent);
        button->setDefault(c.kind == ControlKind::DefPushButton);
        button->setAutoDefault(true); // a focused button takes Enter, as on other desktops
        button->setFocusPolicy(focus);
        return button;
    }
    case ControlKind::GroupBox: {
        // The frame line runs through the middle of the title, as the
        // layouts were drawn for, instead of starting below it.
        auto* box = new QGroupBox(ToQString(text), parent);
        box->setStyleSheet(
            QStringLiteral("QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.5em; }"
                           "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 0.5em;"
                           " padding: 0 2px; }"));
        return box;
    }
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(ToQString(text), parent);
        edit->setFrame((c.style & StyleBorder) != 0);
        edit->setFocusPolicy(focus);
        return edit;
    }
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        return bar;
    }
    case ControlKind::Icon: {
        auto* icon = new QLabel(parent);
        icon->setPixmap(IconPixmap(c.iconId, kIconPixels));
        icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        icon->setMinimumSize(kIconPixels, kIconPixels); // the icon's own size, whatever the template says
        return icon;
    }
    case ControlKind::Label:
        break;
    }
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::RichText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    ShowControlText(label, ControlKind::Label, text);
    return label;
}

void ShowControlText(QWidget* widget, ControlKind kind, const std::string& text)
{
    QString shown = ToQString(text);
    switch (kind) {
    case ControlKind::Label: {
        auto* label = static_cast<QLabel*>(widget);
        // A one-line text without a mnemonic shows the same as plain text,
        // which Qt draws directly: as rich text every change (a packet's
        // number, many times a second) is laid out as a document and
        // painted twice.
        if (IsPlainLine(shown)) {
            label->setTextFormat(Qt::PlainText);
            label->setText(shown);
        } else {
            label->setTextFormat(Qt::RichText);
            label->setText(MnemonicToHtml(shown));
        }
        label->setAccessibleName(StripMnemonics(shown));
        break;
    }
    case ControlKind::Edit: {
        auto* edit = static_cast<QLineEdit*>(widget);
        if (edit->text() != shown)
            edit->setText(shown);
        break;
    }
    case ControlKind::DefPushButton:
    case ControlKind::PushButton:
        static_cast<QPushButton*>(widget)->setText(shown);
        break;
    case ControlKind::GroupBox:
        static_cast<QGroupBox*>(widget)->setTitle(shown);
        break;
    case ControlKind::ProgressBar:
    case ControlKind::Icon:
        break;
    }
}

void NameAfterGroupBox(QWidget* widget, const ControlTemplate& c, const DialogTemplate& tmpl)
{
    if (c.kind != ControlKind::Edit && c.kind != ControlKind::ProgressBar)
        return;
    for (const ControlTemplate& box : tmpl.controls)
        if (box.kind == ControlKind::GroupBox && Contains(box, c)) {
            widget->setAccessibleName(StripMnemonics(ToQString(box.text)).trimmed());
            return;
        }
}

} // namespace ui::qt
