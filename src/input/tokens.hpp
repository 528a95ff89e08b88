#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// Whitespace splitting of one line: blanks, tabs, carriage returns, vertical tabs and form feeds
// separate tokens (newlines never occur inside a line).
namespace input {

inline bool is_separator(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Walks the tokens of one line without copying them.
class token_cursor {
public:
    explicit token_cursor(std::string_view line) : line_(line) {}

    // The next token, or false at the end of the line.
    bool next(std::string_view& token)
    {
        std::size_t p = pos_;
        const std::size_t n = line_.size();
        while (p < n && is_separator(line_[p]))
            ++p;
        if (p == n) {
            pos_ = n;
            return false;
        }
        const std::size_t start = p;
        while (p < n && !is_separator(line_[p]))
            ++p;
        token = line_.substr(start, p - start);
        pos_ = p;
        return true;
    }

    // Number of tokens left on the line; consumes them.
    int count_rest()
    {
        int count = 0;
        std::string_view token;
        while (next(token))
            ++count;
        return count;
    }

private:
    std::string_view line_;
    std::size_t pos_ = 0;
};

inline bool is_blank(std::string_view line)
{
    for (char c : line)
        if (!is_separator(c))
            return false;
    return true;
}

// A token quoted in a message, cut short so that one message stays one line.
inline std::string quoted(std::string_view token)
{
    constexpr std::size_t longest = 40;
    if (token.size() > longest)
        return "'" + std::string(token.substr(0, longest)) + "...'";
    return "'" + std::string(token) + "'";
}

}  // namespace input
