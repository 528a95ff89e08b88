#pragma once
#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>

// Locale-independent parsing of whole tokens. A token is accepted only when every one of its
// characters is consumed; an optional leading '+' is allowed (a sign after it is not).
namespace input {

enum class parse_result { number, missing, bad };

// "NaN" and "NA" in any letter case: the marker real exports write where a value failed.
inline bool is_missing_marker(std::string_view token)
{
    auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); };
    if (token.size() < 2 || token.size() > 3 || lower(token[0]) != 'n' || lower(token[1]) != 'a')
        return false;
    return token.size() == 2 || lower(token[2]) == 'n';
}

inline std::string_view strip_plus(std::string_view token)
{
    if (!token.empty() && token.front() == '+') {
        token.remove_prefix(1);
        if (!token.empty() && (token.front() == '-' || token.front() == '+'))
            return {};
    }
    return token;
}

// A finite decimal number; "inf", "nan", hexadecimal and out-of-range values are refused.
inline bool parse_finite(std::string_view token, double& value)
{
    token = strip_plus(token);
    if (token.empty())
        return false;
    double v = 0;
    const char* end = token.data() + token.size();
    const auto [ptr, ec] = std::from_chars(token.data(), end, v, std::chars_format::general);
    if (ec != std::errc() || ptr != end || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

// An intensity: a finite number, or the missing marker (value left untouched).
inline parse_result parse_intensity(std::string_view token, double& value)
{
    if (parse_finite(token, value))
        return parse_result::number;
    return is_missing_marker(token) ? parse_result::missing : parse_result::bad;
}

// A decimal integer that fits in an int.
inline bool parse_int(std::string_view token, int& value)
{
    token = strip_plus(token);
    if (token.empty())
        return false;
    int v = 0;
    const char* end = token.data() + token.size();
    const auto [ptr, ec] = std::from_chars(token.data(), end, v, 10);
    if (ec != std::errc() || ptr != end)
        return false;
    value = v;
    return true;
}

}  // namespace input
