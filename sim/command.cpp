#include "sim/command.h"

#include <charconv>

namespace sim {
namespace {

constexpr std::size_t kMaxLine = 128;
constexpr char kOk[] = "\r\nOK\r\n";
constexpr char kError[] = "\r\nERROR\r\n";

// Parses "*NC<n>&F" (the part after AT); returns n.
std::optional<int> parse_restore(std::string_view cmd)
{
    if (!cmd.starts_with("*NC") || !cmd.ends_with("&F"))
        return std::nullopt;
    const std::string_view digits = cmd.substr(3, cmd.size() - 5);
    if (digits.empty() || digits.size() > 4)
        return std::nullopt;
    int value = 0;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || ptr != digits.data() + digits.size() || value < 0)
        return std::nullopt;
    return value;
}

CommandOutput reply(std::string bytes, CommandAction action = CommandAction::None)
{
    CommandOutput out;
    out.bytes = std::move(bytes);
    out.action = action;
    return out;
}

} // namespace

CommandInterpreter::CommandInterpreter(const Options& options) : options_(options), country_(options.country)
{
}

std::string CommandInterpreter::ok_reply() const
{
    return options_.no_ok ? "" : kOk;
}

std::string CommandInterpreter::text_reply(const std::string& text) const
{
    return "\r\n" + text + "\r\n" + ok_reply();
}

CommandOutput CommandInterpreter::feed(std::uint8_t byte)
{
    const std::string echo = echo_ && !options_.silent ? std::string(1, static_cast<char>(byte)) : "";
    switch (byte) {
    case '\r': {
        CommandOutput result = overflow_ ? reply(kError) : execute(line_);
        line_.clear();
        overflow_ = false;
        if (options_.silent) { // a dead device: only a hang-up still happens
            result.bytes.clear();
            result.restored_country.reset();
            if (result.action == CommandAction::StartLoader)
                result.action = CommandAction::None;
        }
        result.bytes.insert(0, echo);
        return result;
    }
    case '\n':
        break;
    case 0x08:
    case 0x7F:
        if (!line_.empty())
            line_.pop_back();
        break;
    default:
        if (line_.size() < kMaxLine)
            line_ += static_cast<char>(byte);
        else
            overflow_ = true;
    }
    return reply(echo);
}

CommandOutput CommandInterpreter::execute(std::string_view line)
{
    // Whatever came before "AT" (line noise, a stray byte) is not part of the command.
    const auto at = line.find("AT");
    if (at == std::string_view::npos)
        return {};
    if (options_.hangup_stage == HangupStage::Discovery && commands_++ == 0)
        return reply("", CommandAction::HangUp);
    const std::string_view cmd = line.substr(at + 2);
    if (cmd.empty())
        return reply(ok_reply());
    if (cmd == "E0" || cmd == "E1") {
        echo_ = cmd == "E1";
        return reply(ok_reply());
    }
    if (cmd == "I3")
        return reply(text_reply(options_.ati3));
    if (cmd == "I5")
        return reply(text_reply(options_.ati5_reply.value_or(std::to_string(country_))));
    if (cmd == "I119")
        return reply(text_reply(options_.ati119));
    if (cmd == "~D1")
        return reply("", CommandAction::StartLoader);
    if (auto country = parse_restore(cmd)) {
        country_ = *country;
        CommandOutput out = reply(options_.restore_reply ? *options_.restore_reply
                : options_.restore_no_ok                 ? ""
                                                         : ok_reply());
        out.restored_country = country;
        return out;
    }
    return reply(kError);
}

} // namespace sim
