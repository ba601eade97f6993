// Keeps the user's input away from a dialog while one of its handlers runs,
// and lets the desktop's own messages through meanwhile.
#pragma once

#include "platform/ui/win32/win32_system.h"

namespace ui::win32 {

// True for keyboard and mouse messages (client and frame area alike).
bool IsUserInput(UINT message);

// While at least one InputGate is alive, a message hook on this thread turns
// every input message for a closed window (or any of its children) into
// WM_NULL, whichever message loop (a message box's, a nested dialog's, our
// own) retrieves it.
class InputGate {
public:
    // Installs the hook for the first gate; false when the system refused it
    // (input then reaches only the dialog's own gate).
    InputGate();
    ~InputGate();
    InputGate(const InputGate&) = delete;
    InputGate& operator=(const InputGate&) = delete;

    // Closes or opens `window` to input. Closing nests: as many opens as closes.
    static void Close(HWND window);
    static void Open(HWND window);
    // Whether input aimed at `target` is held away now.
    static bool Blocks(HWND target);
};

// Answers the desktop without taking input, for a handler that is busy (the
// pauses' desktop hook): paints, sent messages from other programs and
// posted non-input messages are dispatched, keyboard and mouse input is
// dropped; a close request reaches a busy dialog, which refuses it. A
// WM_QUIT found is posted again. Returns how many messages it handled (at
// most a bounded number per call).
int ServiceDesktop();

} // namespace ui::win32
