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
MessageObserver& Observer()
{
    static MessageObserver observer;
    return observer;
}

int Present(const std::string& text, MessageButtons buttons)
{
    if (Presenter())
        return Presenter()(text, buttons);
    std::fprintf(stderr, "%s\n", text.c_str());
    return buttons == MessageButtons::Ok ? IDOK : IDCANCEL;
}
} // namespace

int MessageBox(const std::string& text, MessageButtons buttons)
{
    if (Observer())
        Observer()(text, buttons, 0);
    int answer = Present(text, buttons);
    if (Observer())
        Observer()(text, buttons, answer);
    return answer;
}

MessageObserver SetMessageObserver(MessageObserver observer)
{
    return std::exchange(Observer(), std::move(observer));
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
