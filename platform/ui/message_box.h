// The one way the program tells the user something: a modal message box.
// The desktop front end installs the presenter that draws it; tests install
// one that records the texts and scripts the answers.
#pragma once

#include <functional>
#include <string>

namespace ui {

enum DialogResult { IDOK = 1, IDCANCEL = 2 };

enum class MessageButtons { Ok, OkCancel };

// Shows `text` (caption: the program's name, exclamation icon) and waits for
// the answer. Returns IDOK or IDCANCEL. Without a presenter the text goes to
// standard error and the answer is IDOK for an OK box, IDCANCEL otherwise.
int MessageBox(const std::string& text, MessageButtons buttons = MessageButtons::Ok);

// What a front end's box answers once it is closed: IDOK when OK was
// pressed or the box has no other button, else IDCANCEL (Cancel, Escape,
// the close box, or a box that could not be shown).
int MessageAnswer(bool okPressed, MessageButtons buttons);

using MessagePresenter = std::function<int(const std::string& text, MessageButtons buttons)>;

// Installs the presenter and returns the one it replaces (empty: none).
MessagePresenter SetMessagePresenter(MessagePresenter presenter);

// Told of every message box, whoever presents it: once before it shows
// (`answer` 0) and once answered. Installs it and returns the one it
// replaces (empty: none).
using MessageObserver = std::function<void(const std::string& text, MessageButtons buttons, int answer)>;
MessageObserver SetMessageObserver(MessageObserver observer);

} // namespace ui
