// Checking a line of JSON in tests: a strict parser of RFC 8259 text that
// keeps, of a top-level object, each member's raw value (strings decoded
// for ASCII and \uXXXX escapes below 0x100).
#pragma once

#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace jsontest {

class Parser {
public:
    explicit Parser(std::string_view text) : s_(text) { }

    // The members of the object `text` holds, or nothing if `text` is not
    // exactly one JSON object (blanks around it allowed).
    std::optional<std::map<std::string, std::string>> Object()
    {
        std::map<std::string, std::string> members;
        Blank();
        if (!Eat('{'))
            return std::nullopt;
        Blank();
        if (!Eat('}')) {
            do {
                Blank();
                std::string key, value;
                if (!String(&key))
                    return std::nullopt;
                Blank();
                if (!Eat(':'))
                    return std::nullopt;
                Blank();
                const size_t start = i_;
                if (Peek() == '"') {
                    if (!String(&value))
                        return std::nullopt;
                } else {
                    if (!Value())
                        return std::nullopt;
                    value = std::string(s_.substr(start, i_ - start));
                }
                members[key] = value;
                Blank();
            } while (Eat(','));
            if (!Eat('}'))
                return std::nullopt;
        }
        Blank();
        if (i_ != s_.size())
            return std::nullopt;
        return members;
    }

private:
    char Peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
    bool Eat(char c)
    {
        if (Peek() != c)
            return false;
        ++i_;
        return true;
    }
    void Blank()
    {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n'))
            ++i_;
    }
    bool Literal(std::string_view word)
    {
        if (s_.substr(i_, word.size()) != word)
            return false;
        i_ += word.size();
        return true;
    }
    bool String(std::string* out)
    {
        if (!Eat('"'))
            return false;
        while (i_ < s_.size()) {
            const unsigned char c = static_cast<unsigned char>(s_[i_++]);
            if (c == '"')
                return true;
            if (c < 0x20)
                return false;
            if (c != '\\') {
                *out += static_cast<char>(c);
                continue;
            }
            const char e = Peek();
            ++i_;
            switch (e) {
            case '"':
            case '\\':
            case '/':
                *out += e;
                break;
            case 'n':
                *out += '\n';
                break;
            case 'r':
                *out += '\r';
                break;
            case 't':
                *out += '\t';
                break;
            case 'b':
                *out += '\b';
                break;
            case 'f':
                *out += '\f';
                break;
            case 'u': {
                unsigned v = 0;
                for (int k = 0; k < 4; ++k, ++i_) {
                    const char h = Peek();
                    if (!std::isxdigit(static_cast<unsigned char>(h)))
                        return false;
                    v = v * 16 +
                        static_cast<unsigned>(
                            std::isdigit(static_cast<unsigned char>(h)) ? h - '0' : (std::tolower(h) - 'a' + 10));
                }
                *out += static_cast<char>(v & 0xFF);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }
    bool Number()
    {
        const size_t start = i_;
        Eat('-');
        if (!std::isdigit(static_cast<unsigned char>(Peek())))
            return false;
        if (!Eat('0'))
            while (std::isdigit(static_cast<unsigned char>(Peek())))
                ++i_;
        if (Eat('.')) {
            if (!std::isdigit(static_cast<unsigned char>(Peek())))
                return false;
            while (std::isdigit(static_cast<unsigned char>(Peek())))
                ++i_;
        }
        if (Peek() == 'e' || Peek() == 'E') {
            ++i_;
            if (Peek() == '+' || Peek() == '-')
                ++i_;
            if (!std::isdigit(static_cast<unsigned char>(Peek())))
                return false;
            while (std::isdigit(static_cast<unsigned char>(Peek())))
                ++i_;
        }
        return i_ > start;
    }
    bool Value()
    {
        std::string ignored;
        switch (Peek()) {
        case '"':
            return String(&ignored);
        case 't':
            return Literal("true");
        case 'f':
            return Literal("false");
        case 'n':
            return Literal("null");
        case '{':
        case '[': {
            // Nested values: balanced brackets outside strings.
            int depth = 0;
            do {
                const char c = Peek();
                if (c == '\0')
                    return false;
                if (c == '"') {
                    if (!String(&ignored))
                        return false;
                    continue;
                }
                if (c == '{' || c == '[')
                    ++depth;
                if (c == '}' || c == ']')
                    --depth;
                ++i_;
            } while (depth > 0);
            return true;
        }
        default:
            return Number();
        }
    }

    std::string_view s_;
    size_t i_ = 0;
};

// The members of the JSON object on `line`, or nothing if it is not one.
inline std::optional<std::map<std::string, std::string>> ParseObject(std::string_view line)
{
    return Parser(line).Object();
}

} // namespace jsontest
