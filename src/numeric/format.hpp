#pragma once
#include <sstream>
#include <string>

// A real number for a one-line message, with 10 significant digits ("nan", "inf" as the
// runtime prints them).
inline std::string format_number(double v)
{
    std::ostringstream out;
    out.precision(10);
    out << v;
    return out.str();
}
