// What must hold for any run of the sender, whatever the loader answered:
// the judge of a Session recorded by RunSender.
#pragma once

#include <string>
#include <vector>

#include "tests/fuzz/sender_session.h"

namespace fuzz {

// Checks a session against the transfer's rules, from what the loader saw:
//   - every frame is well formed: header for its size, number and
//     complement, the image's bytes (0x1A after the end), the check bytes
//     of the chosen mode; packets go in order, each resend is identical and
//     no packet goes more than 5 times;
//   - after each frame or EOT at most one byte is read, within its poll
//     budget, and a time-out used the whole budget;
//   - what follows each reply is what that reply calls for, and the run
//     ends where a reply ends it;
//   - the result is 1 exactly when the last EOT was acknowledged, and a
//     failure shows exactly one message, the one for how it ended;
//   - the progress bar never passes its end or wraps;
//   - a file that is not the size the caller expects is a disk read error
//     before anything is sent or waited for.
// Returns one line per broken rule; empty when the session is sound.
std::vector<std::string> CheckSession(const Session& s);

} // namespace fuzz
