// Whole-token, locale-independent number parsing.
#include <gtest/gtest.h>

#include <string>

#include "input/number_parse.hpp"

using input::parse_result;

TEST(NumberParse, IntensityTokens)
{
    struct token_case {
        const char* token;
        parse_result result;
        double value;
    };
    const token_case cases[] = {
        {"0", parse_result::number, 0},          {"1.5", parse_result::number, 1.5},
        {"-2.25", parse_result::number, -2.25},  {"+3", parse_result::number, 3},
        {".5", parse_result::number, 0.5},       {"5.", parse_result::number, 5},
        {"1e-3", parse_result::number, 1e-3},    {"2E+2", parse_result::number, 200},
        {"0.1", parse_result::number, 0.1},      {"1.7976931348623157e308", parse_result::number, 1.7976931348623157e308},
        {"NaN", parse_result::missing, 0},       {"nan", parse_result::missing, 0},
        {"NAN", parse_result::missing, 0},       {"nAn", parse_result::missing, 0},
        {"NA", parse_result::missing, 0},        {"na", parse_result::missing, 0},
        {"Na", parse_result::missing, 0},        {"inf", parse_result::bad, 0},
        {"-inf", parse_result::bad, 0},          {"INF", parse_result::bad, 0},
        {"infinity", parse_result::bad, 0},      {"-nan", parse_result::bad, 0},
        {"nan(0)", parse_result::bad, 0},        {"N", parse_result::bad, 0},
        {"NAs", parse_result::bad, 0},           {"", parse_result::bad, 0},
        {"+", parse_result::bad, 0},             {"-", parse_result::bad, 0},
        {"+-1", parse_result::bad, 0},           {"++1", parse_result::bad, 0},
        {"1.5x", parse_result::bad, 0},          {"1,5", parse_result::bad, 0},
        {"0x10", parse_result::bad, 0},          {"1e999", parse_result::bad, 0},
        {"-1e999", parse_result::bad, 0},        {" 1", parse_result::bad, 0},
    };
    for (const token_case& c : cases) {
        double v = 0;
        EXPECT_EQ(input::parse_intensity(c.token, v), c.result) << "'" << c.token << "'";
        if (c.result == parse_result::number) {
            EXPECT_EQ(v, c.value) << c.token;
        }
    }
}

TEST(NumberParse, Integers)
{
    const std::pair<const char*, int> good[] = {{"0", 0}, {"2", 2}, {"+1", 1}, {"-7", -7}, {"007", 7}};
    for (const auto& [token, want] : good) {
        int v = -99;
        EXPECT_TRUE(input::parse_int(token, v)) << token;
        EXPECT_EQ(v, want) << token;
    }
    for (const char* token : {"", "+", "1.0", "1e0", "x", "2x", "99999999999", "+-1", "0x1"}) {
        int v = -99;
        EXPECT_FALSE(input::parse_int(token, v)) << token;
        EXPECT_EQ(v, -99) << token;
    }
}
