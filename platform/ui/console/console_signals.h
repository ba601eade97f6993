// What may end or stop a console program from its terminal: Ctrl-C,
// Ctrl-Break, a hang-up, a termination request, Ctrl-\, Ctrl-Z, and on
// Windows the session's end. Before the work that must not be cut (a
// flash) the first ones end the program at once with a chosen exit code
// (Ctrl-Z suspends it as usual); during it all are refused and counted.
// One back end per system.
#pragma once

#include <string>

namespace console {

// What an interrupt that ends the program does: `farewell` goes to
// standard error and `farewellOut` (may be empty) to standard output, then
// the process exits with `code`; the system closes what it held (the
// port). Set it before EndOnInterrupt, or later only while interrupts are
// refused.
void SetInterruptExit(int code, const std::string& farewell, const std::string& farewellOut);

// From now on an interrupt ends the program at once as SetInterruptExit
// said. A closed pipe never ends the program. Never fails.
void EndOnInterrupt();

// Until AllowInterrupts, every interrupt is refused and counted, and the
// terminal can neither stop nor suspend the program. The calling thread
// is the one that must not be disturbed: no interrupt is delivered to it
// (another thread takes them).
void RefuseInterrupts();
// Interrupts end the program again (one refused meanwhile stays counted).
void AllowInterrupts();

// Interrupts refused since the last call.
int TakeRefusedInterrupts();

} // namespace console
