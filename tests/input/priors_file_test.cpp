// The priors file: what a run learnt, written and read back exactly; bad files refused by line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "input/priors_file.hpp"
#include "output/priors_file.hpp"
#include "state/error.hpp"
#include "state/prior_entries.hpp"

namespace {

// A settings object whose every prior differs from the defaults and has more digits than a
// file keeps.
settings unusual_priors()
{
    settings s;
    double v = 1.23456789;
    for (prior_entry& e : prior_entries(s))
        for (double* x : e.values) *x = (v += 0.987654321);
    s.geometry.active = true;
    return s;
}

std::string error_of(const std::string& text)
{
    settings s;
    try {
        input::parse_priors(text, "p.txt", s);
    } catch (const run_error& e) {
        return e.what();
    }
    return "";
}

}  // namespace

// Written with 6 significant digits and read back, a file gives the same text again, every
// value within its rounding, and the geometry factor on exactly when its lines are there.
TEST(PriorsFile, RoundTrip)
{
    for (bool geometry : {true, false}) {
        settings learnt = unusual_priors();
        learnt.geometry.active = geometry;
        const std::string text = priors_text(learnt, "learnt from a test\nsecond line");
        settings read;
        input::parse_priors(text, "p.txt", read);
        EXPECT_EQ(read.geometry.active, geometry);
        EXPECT_EQ(priors_text(read, "learnt from a test\nsecond line"), text);
        std::vector<prior_entry> want = prior_entries(learnt), got = prior_entries(read);
        for (std::size_t e = 0; e < want.size(); ++e) {
            if (want[e].geometry && !geometry) continue;
            for (std::size_t v = 0; v < want[e].values.size(); ++v)
                EXPECT_NEAR(*got[e].values[v], *want[e].values[v], 5e-6 * *want[e].values[v]) << want[e].name;
        }
    }
    EXPECT_EQ(priors_text(settings{}, "").find("share_0"), std::string::npos);
}

// Every kind of bad file stops with the file, the line and what is wrong.
TEST(PriorsFile, BadFilesNameTheLine)
{
    const std::string good = priors_text(unusual_priors(), "a comment");
    const auto replace = [&](const std::string& name, const std::string& line) {
        const std::size_t at = good.find("\n" + name + " ") + 1;
        return good.substr(0, at) + line + good.substr(good.find('\n', at));
    };
    // "p.txt:N: " for the line of `name` in the good file, or for a line appended to it.
    const auto at = [&](const std::string& name) {
        const std::size_t end = name.empty() ? good.size() : good.find("\n" + name + " ") + 1;
        return "p.txt:" + std::to_string(std::count(good.begin(), good.begin() + static_cast<long>(end), '\n') + 1) + ": ";
    };
    const auto remove = [&](const std::string& name) {
        const std::size_t at = good.find("\n" + name + " ") + 1;
        return good.substr(0, at) + good.substr(good.find('\n', at) + 1);
    };
    const struct {
        std::string text, error;
    } rows[] = {
        {good + "lenght_mean_prior 1 2\n", at("") + "\"lenght_mean_prior\" is not the name of a prior"},
        {good + "sigma_var_prior 1 2\n", at("") + "sigma_var_prior given twice (first on line " +
                                             at("sigma_var_prior").substr(6, 2) + ")"},
        {replace("sigma_var_prior", "sigma_var_prior 1"), at("sigma_var_prior") + "sigma_var_prior takes 2 values, found 1"},
        {replace("sigma_var_prior", "sigma_var_prior 1 0"), at("sigma_var_prior") + "sigma_var_prior value 2: \"0\" is not a positive number"},
        {replace("r_var_prior_2", "r_var_prior_2 1 nan"), at("r_var_prior_2") + "r_var_prior_2 value 2: \"nan\" is not a positive number"},
        {replace("share_1", "share_1 x 1 1 4"), at("share_1") + "share_1 value 1: \"x\" is not a finite number"},
        {replace("share_1", "share_1 -0.5 1 -1 4"), at("share_1") + "share_1 value 3: \"-1\" is not a positive number"},
        {remove("eta_var_prior"), "p.txt: no line for eta_var_prior"},
        {remove("het_brightness"), "p.txt: no line for het_brightness (the lines of the chip's model come all together or not at all)"},
    };
    for (const auto& r : rows) EXPECT_EQ(error_of(r.text), r.error);
    EXPECT_EQ(error_of(replace("share_1", "share_1 -0.5 1 1 4")), "");   // a median may be negative
    EXPECT_EQ(error_of("\n  \n" + good + "# trailing comment\n"), "");
}
