#include "platform/ui/message_box.h"

#include <cstdio>
#include <utility>

namespace ui {

namespace {
MessagePresenter& Presenter()
{
    static MessagePresenter presenter;
    return presenter;
}
} // namespace

int MessageBox(const std::string& text, MessageButtons buttons)
{
    if (Presenter())
        return Presenter()(text, buttons);
    std::fprintf(stderr, "%s\n", text.c_str());
    return buttons == MessageButtons::Ok ? IDOK : IDCANCEL;
}

int MessageAnswer(bool okPressed, MessageButtons buttons)
{
    return okPressed || buttons == MessageButtons::Ok ? IDOK : IDCANCEL;
}

MessagePresenter SetMessagePresenter(MessagePresenter presenter)
{
    return std::exchange(Presenter(), std::move(presenter));
}

} // namespace ui
