// A template's controls as toolkit widgets: which widget stands for which
// kind of control, and how each kind shows its text.
#pragma once

#include <QWidget>
#include <string>

#include "platform/ui/dialog_template.h"

namespace ui::qt {

// Creates the widget for control `c` in `parent`, showing `text`, with its
// border, default and focus settings from the template. The caller places
// it and connects its signals.
QWidget* CreateControlWidget(const ControlTemplate& c, const std::string& text, QWidget* parent);
// Shows `text` in a widget made for a control of `kind` (labels take "&"
// as the mnemonic marker). Kinds without text are left alone.
void ShowControlText(QWidget* widget, ControlKind kind, const std::string& text);
// Gives an edit field or progress bar the name of the group box framing
// it, for screen readers. Other kinds, or no frame: nothing changes.
void NameAfterGroupBox(QWidget* widget, const ControlTemplate& c, const DialogTemplate& tmpl);

} // namespace ui::qt
