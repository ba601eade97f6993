// The user's answers on a terminal.
#pragma once

#include <optional>
#include <string_view>

namespace ui::console {

// A yes/no answer as typed: Enter, "y" or "yes" is yes (OK); "n" or "no"
// is no (Cancel), in any case, blanks around ignored. Anything else:
// nothing (ask again).
std::optional<bool> ParseYesNo(std::string_view line);

} // namespace ui::console
