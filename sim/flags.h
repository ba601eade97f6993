// Command lines described by a table of flags: parsing and the --help text,
// shared by the simulator and the programs built around it.
#pragma once

#include <charconv>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace sim {

// Parses a number that must fill `text` and lie in [min, max] (NaN never
// does). Returns false and leaves `out` alone otherwise.
template <typename T> bool parse_number(std::string_view text, T min, T max, T& out)
{
    T value{};
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || !(value >= min && value <= max))
        return false;
    out = value;
    return true;
}

// One flag: --name, or --name VALUE / --name=VALUE when `arg` is set.
template <typename Options> struct Flag {
    const char* name; // without the leading dashes
    const char* arg; // what the value is, nullptr for a switch
    const char* help;
    std::function<bool(Options&, std::string_view)> apply; // false = bad value
};

// Applies `args` (after the program name) to `options` through `table`.
// Returns "" or what was wrong; `help` says whether --help was among them.
// On a fault `options` holds whatever was applied before it.
template <typename Options>
std::string parse_flags(
    const std::vector<Flag<Options>>& table, const std::vector<std::string>& args, Options& options, bool& help)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (!arg.starts_with("--"))
            return "unexpected argument '" + args[i] + "'";
        std::string_view name = arg.substr(2);
        std::optional<std::string_view> value;
        if (auto eq = name.find('='); eq != std::string_view::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        const Flag<Options>* flag = nullptr;
        for (const auto& f : table)
            if (name == f.name)
                flag = &f;
        if (!flag)
            return "unknown flag --" + std::string(name);
        if (flag->arg && !value) {
            if (i + 1 == args.size())
                return "--" + std::string(name) + " needs " + flag->arg;
            value = args[++i];
        }
        if (!flag->arg && value)
            return "--" + std::string(name) + " takes no value";
        if (name == "help")
            help = true;
        if (!flag->apply(options, value.value_or("")))
            return "bad value '" + std::string(*value) + "' for --" + std::string(name);
    }
    return "";
}

// One line per flag, its value and its help, after `heading`.
template <typename Options> std::string flag_usage(const std::vector<Flag<Options>>& table, std::string heading)
{
    for (const auto& f : table) {
        std::string left = std::string("  --") + f.name + (f.arg ? std::string(" ") + f.arg : "");
        if (left.size() < 28)
            left.resize(28, ' ');
        else
            left += "\n" + std::string(28, ' ');
        heading += left + f.help + "\n";
    }
    return heading;
}

} // namespace sim
