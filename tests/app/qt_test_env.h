// What every window test needs: the toolkit started once per process, off
// screen, with every serial port name pointing nowhere; and a way to act on
// a window (message box, menu, file dialog) that a handler is waiting on.
#pragma once

#include <QApplication>
#include <QImage>
#include <QRect>
#include <functional>
#include <memory>

// The test process's application object, created on first use.
QApplication& TestApp();

// Once a visible top-level widget of type T shows up (within 5 s), calls
// `act` with it from inside the event loop that shows it. On time-out the
// test fails and any open popup or modal box is closed, so nothing hangs.
void WhenShown(const char* typeName, std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> act);
template <typename T> void WhenShown(std::function<void(T*)> act)
{
    WhenShown(
        T::staticMetaObject.className(), [](QWidget* w) { return qobject_cast<T*>(w) != nullptr; },
        [act](QWidget* w) { act(qobject_cast<T*>(w)); });
}

// How many pixels of `rect` in `image` are dark enough to be ink.
int DarkPixels(const QImage& image, const QRect& rect);
