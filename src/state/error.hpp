#pragma once
#include <stdexcept>
#include <string>

// The one error type of the program. The message is complete and printable as it stands
// ("cohort2.txt.gz:1042: expected 4000 intensities, found 3998"); only main catches it,
// prints it on standard error and returns `status`.
class run_error : public std::runtime_error {
public:
    explicit run_error(const std::string& message, int status = 1)
        : std::runtime_error(message), status(status) {}
    int status;
};
