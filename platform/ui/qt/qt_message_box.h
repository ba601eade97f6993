// Message boxes drawn by the toolkit.
#pragma once

#include <QString>

#include "platform/ui/message_box.h"

namespace ui::qt {

class QtFrontEnd;

// The caption of every message box: the executable's name without its
// extension ("quilvex" when it cannot be told).
QString MessageCaption();
// A presenter that shows a warning box with OK (or OK and Cancel) over the
// front end's active dialog, which takes no input while the box shows.
// The front end must outlive the presenter.
MessagePresenter MakeMessagePresenter(const QtFrontEnd& frontEnd);

} // namespace ui::qt
