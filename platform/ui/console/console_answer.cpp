#include "platform/ui/console/console_answer.h"

#include <cctype>
#include <string>

namespace ui::console {

std::optional<bool> ParseYesNo(std::string_view line)
{
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front())))
        line.remove_prefix(1);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.remove_suffix(1);
    std::string word;
    for (char c : line)
        word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (word.empty() || word == "y" || word == "yes")
        return true;
    if (word == "n" || word == "no")
        return false;
    return std::nullopt;
}

} // namespace ui::console
