#pragma once
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

// The one error type of the program. The message is complete and printable as it stands
// ("cohort2.txt.gz:1042: expected 4000 intensities, found 3998"); only main catches it,
// prints it on standard error and returns `status`.
class run_error : public std::runtime_error {
public:
    explicit run_error(const std::string& message, int status = 1)
        : std::runtime_error(message), status(status) {}
    int status;
};

// A text for one line of the console: control characters (a newline or a carriage return in a
// file name, say) written as \n, \r, \t or \xHH.
inline std::string printable(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            out += c;
        } else if (c == '\n' || c == '\r' || c == '\t') {
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
        } else {
            char code[5];
            std::snprintf(code, sizeof code, "\\x%02x", byte);
            out += code;
        }
    }
    return out;
}
