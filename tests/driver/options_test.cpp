// The command line: exact-match names, value counts, list options, last occurrence wins, the
// settings check, the defaults of a fresh run state and the sizing of the per-SNP arrays.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "driver/options.hpp"
#include "state/data.hpp"
#include "state/error.hpp"

namespace {

// A mutable argument vector, program name first, as main receives it.
class arguments {
public:
    arguments(const std::vector<const char*>& args) : text_{"tarvix++"}
    {
        text_.insert(text_.end(), args.begin(), args.end());
        for (std::string& s : text_) pointers_.push_back(s.data());
        pointers_.push_back(nullptr);
    }
    arguments(const arguments&) = delete;
    arguments& operator=(const arguments&) = delete;
    int argc() const { return static_cast<int>(text_.size()); }
    char** argv() { return pointers_.data(); }

private:
    std::vector<std::string> text_;
    std::vector<char*> pointers_;
};

// Shortest text that reads back as the same double, so two settings compare equal only when
// their values are identical.
std::string exact(double v)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, result.ptr);
}

// Every setting that an option or the constructor gives, by field name, as text.
using settings = std::map<std::string, std::string>;

settings snapshot(const data& d)
{
    settings s;
    const auto list = [](const std::vector<std::string>& v) {
        std::string t = "[";
        for (const std::string& e : v) t += e + ";";
        return t + "]";
    };
    const auto pair = [](const prior_pair& p) { return exact(p[0]) + "," + exact(p[1]); };
    const auto triple = [](const std::array<double, 3>& a) {
        return exact(a[0]) + "," + exact(a[1]) + "," + exact(a[2]);
    };
    const auto cls = [&](const class_prior& p) { return triple(p.a) + "/" + triple(p.b); };

    s["first_snp"] = exact(d.first_snp);
    s["last_snp"] = exact(d.last_snp);
    s["output_prefix"] = d.output_prefix;
    s["snp_info_file"] = d.snp_info_file;
    s["n_starts"] = exact(d.n_starts);
    s["input_files"] = list(d.input_files);
    s["fancy"] = exact(d.fancy);
    s["model_test"] = exact(d.model_test);
    s["sampling_start_phase"] = exact(d.sampling_start_phase);
    s["sampling_final_phase"] = exact(d.sampling_final_phase);
    s["print_names"] = exact(d.print_names);
    s["print_proposals"] = exact(d.print_proposals);
    s["print_params"] = exact(d.print_params);
    s["watch_counts"] = exact(d.watch_counts);
    s["single"] = exact(d.single);
    s["gz"] = exact(d.gz);
    s["bz2"] = exact(d.bz2);
    s["approx_grid"] = exact(d.approx_grid);
    s["approx_mode"] = exact(d.approx_mode);
    s["sex_files"] = list(d.sex_files);
    s["chrX"] = exact(d.chrX);
    s["allow_male_hets"] = exact(d.allow_male_hets);
    s["n_iter"] = exact(d.n_iter);
    s["burn_in"] = exact(d.burn_in);
    s["n_max"] = exact(d.n_max);
    s["proposal_k"] = exact(d.proposal_k);
    s["alpha_proposal_k"] = exact(d.alpha_proposal_k);
    s["c_alpha_prior"] = exact(d.c_alpha_prior);
    s["c_alpha_cohorts"] = exact(d.c_alpha_cohorts);
    s["alpha_star_prior"] = pair(d.alpha_star_prior);
    s["paf_set"] = exact(d.paf_set);
    s["pgd"] = exact(d.pgd);
    s["paf"] = exact(d.paf);
    s["alpha_prior_strength"] = exact(d.alpha_prior_strength);
    s["eta_mean_prior"] = pair(d.eta_mean_prior);
    s["eta_var_prior"] = pair(d.eta_var_prior);
    s["nonull"] = exact(d.nonull);
    s["length_mean_prior"] = pair(d.length_mean_prior);
    s["length_var_prior"] = pair(d.length_var_prior);
    s["gradient_mean_prior"] = pair(d.gradient_mean_prior);
    s["gradient_var_prior"] = pair(d.gradient_var_prior);
    s["fraction_mean_prior"] = pair(d.fraction_mean_prior);
    s["fraction_var_prior"] = pair(d.fraction_var_prior);
    s["departure_mean_prior"] = pair(d.departure_mean_prior);
    s["departure_var_prior"] = pair(d.departure_var_prior);
    s["center_var_prior_mean"] = exact(d.center_var_prior_mean);
    s["center_var_prior_df"] = exact(d.center_var_prior_df);
    s["sigma_mean_prior"] = pair(d.sigma_mean_prior);
    s["sigma_var_prior"] = pair(d.sigma_var_prior);
    s["varfrac_mean_prior"] = pair(d.varfrac_mean_prior);
    s["varfrac_var_prior"] = pair(d.varfrac_var_prior);
    s["r_mean_prior"] = cls(d.r_mean_prior);
    s["r_var_prior"] = cls(d.r_var_prior);
    s["write_vcf"] = exact(d.write_vcf);
    s["chromosome"] = d.chromosome;
    s["vcf_threshold"] = exact(d.vcf_threshold);
    return s;
}

// Runs both option passes on a fresh run state.
struct parsed {
    data d;
    explicit parsed(const std::vector<const char*>& list)
    {
        arguments args(list);
        parse_input_options(d, args.argc(), args.argv());
        parse_model_options(d, args.argc(), args.argv());
    }
};

// The names of the settings whose values differ from the defaults.
std::set<std::string> changed(const data& d)
{
    const data fresh;
    const settings before = snapshot(fresh);
    const settings after = snapshot(d);
    std::set<std::string> names;
    for (const auto& [name, value] : after)
        if (before.at(name) != value) names.insert(name);
    return names;
}

using names = std::set<std::string>;

TEST(Options, FreshRunStateHoldsEveryDefault)
{
    const settings expected = {
        {"first_snp", "-1"},
        {"last_snp", "-1"},
        {"output_prefix", "out"},
        {"snp_info_file", ""},
        {"n_starts", "4"},
        {"input_files", "[]"},
        {"fancy", "10"},
        {"model_test", "0"},
        {"sampling_start_phase", "1"},
        {"sampling_final_phase", "1"},
        {"print_names", "0"},
        {"print_proposals", "0"},
        {"print_params", "0"},
        {"watch_counts", "0"},
        {"single", "0"},
        {"gz", "0"},
        {"bz2", "0"},
        {"approx_grid", "0"},
        {"approx_mode", "0"},
        {"sex_files", "[]"},
        {"chrX", "0"},
        {"allow_male_hets", "0"},
        {"n_iter", "1000"},
        {"burn_in", "200"},
        {"n_max", "40"},
        {"proposal_k", "500"},
        {"alpha_proposal_k", "500"},
        {"c_alpha_prior", "0.01"},
        {"c_alpha_cohorts", "0.005"},
        {"alpha_star_prior", "1,1"},
        {"paf_set", "0"},
        {"pgd", "10"},
        {"paf", "0.5"},
        {"alpha_prior_strength", "120"},
        {"eta_mean_prior", "3,100"},
        {"eta_var_prior", "5,100"},
        {"nonull", "0"},
        {"length_mean_prior", "20,20"},
        {"length_var_prior", "1,100"},
        {"gradient_mean_prior", "10,10"},
        {"gradient_var_prior", "1,100"},
        {"fraction_mean_prior", "30,30"},
        {"fraction_var_prior", "1,100"},
        {"departure_mean_prior", "2,8"},
        {"departure_var_prior", "1,100"},
        {"center_var_prior_mean", "1e-04"},
        {"center_var_prior_df", "100"},
        {"sigma_mean_prior", "1,4"},
        {"sigma_var_prior", "1,100"},
        {"varfrac_mean_prior", "2.5,7.5"},
        {"varfrac_var_prior", "1,100"},
        {"r_mean_prior", "1,10,1/50,1,50"},
        {"write_vcf", "0"},
        {"chromosome", "."},
        {"vcf_threshold", "0.9"},
        {"r_var_prior", "1,1,1/100,100,100"},
    };
    const data d;
    const settings actual = snapshot(d);
    ASSERT_EQ(actual.size(), expected.size());
    for (const auto& [name, value] : expected) EXPECT_EQ(actual.at(name), value) << name;

    // State that is not a setting: counters zeroed, nothing analysed, no array sized yet.
    const double counters[] = {d.accept_alpha,    d.accept_alpha_star, d.accept_eta,      d.accept_mu,
                               d.accept_r,        d.accept_sigma,      d.accept_varfrac,  d.accept_fraction,
                               d.accept_gradient, d.accept_length,     d.accept_departure, d.accept_global,
                               d.accept_center,   d.accept_model};
    for (double c : counters) EXPECT_EQ(c, 0);
    EXPECT_EQ(d.best_log_posterior, -1e100);
    EXPECT_FALSE(d.clumped);
    EXPECT_EQ(d.n_snps, 0);
    EXPECT_TRUE(d.snps.empty());
    EXPECT_TRUE(d.results.empty());
    EXPECT_TRUE(d.stored_calls.empty());
    EXPECT_TRUE(d.stored_log_posterior.empty());
    EXPECT_TRUE(d.bayes_factors.empty());
    EXPECT_TRUE(d.sex.empty());
    EXPECT_TRUE(d.calls.empty());
    EXPECT_TRUE(d.call_counts.empty());
    EXPECT_TRUE(d.lambda_max.empty());
}

TEST(Options, SetStorageSizesThePerSnpArrays)
{
    data d;
    d.n_cohorts = 2;
    d.n_individuals = {3, 5};
    std::ostringstream console;
    std::streambuf* const old = std::cout.rdbuf(console.rdbuf());
    d.set_storage();
    std::cout.rdbuf(old);
    EXPECT_EQ(console.str(), " setting storage...done\n");

    ASSERT_EQ(d.calls.size(), 2u);
    EXPECT_EQ(d.calls[0].size(), 3u);
    EXPECT_EQ(d.calls[1].size(), 5u);
    for (const auto* table : {&d.call_counts, &d.call_probs}) {
        ASSERT_EQ(table->size(), 2u);
        EXPECT_EQ((*table)[0].size(), 3u);
        EXPECT_EQ((*table)[1].size(), 5u);
    }
    EXPECT_EQ(d.N.size(), 2u);
    EXPECT_EQ(d.lambda.size(), 2u);
    for (const auto* per_cohort : {&d.alpha, &d.eta, &d.length, &d.gradient, &d.fraction, &d.departure,
                                   &d.sigma, &d.varfrac})
        EXPECT_EQ(per_cohort->size(), 2u);
    EXPECT_EQ(d.mu.size(), 2u);
    EXPECT_EQ(d.center.size(), 2u);
    EXPECT_EQ(d.r.size(), 2u);
    // The max store is sized only when a start enters it.
    EXPECT_TRUE(d.lambda_max.empty());
    EXPECT_TRUE(d.alpha_max.empty());
    EXPECT_TRUE(d.mu_max.empty());
    EXPECT_TRUE(d.r_max.empty());

    // Resizing for a SNP with fewer individuals leaves no stale entries behind.
    d.n_cohorts = 1;
    d.n_individuals = {4};
    std::cout.rdbuf(console.rdbuf());
    d.set_storage();
    std::cout.rdbuf(old);
    ASSERT_EQ(d.calls.size(), 1u);
    EXPECT_EQ(d.calls[0].size(), 4u);
    EXPECT_EQ(d.call_counts.size(), 1u);
    EXPECT_EQ(d.alpha.size(), 1u);
}

TEST(Options, NamesMatchExactly)
{
    {
        parsed p({"-n", "5"});
        EXPECT_EQ(changed(p.d), names{"n_iter"});
        EXPECT_EQ(p.d.n_iter, 5);
    }
    {
        parsed p({"-nmax", "5"});
        EXPECT_EQ(changed(p.d), names{"n_max"});
        EXPECT_EQ(p.d.n_max, 5);
    }
    {
        parsed p({"-ns", "5"});
        EXPECT_EQ(changed(p.d), names{"n_starts"});
        EXPECT_EQ(p.d.n_starts, 5);
    }
    // Abbreviations, extensions, other cases and double dashes match nothing and are skipped.
    {
        parsed p({"-nm", "3", "-nmaxx", "4", "--n", "5", "-N", "6", "-foo", "7", "bare", "-snp", "1", "2", "-x"});
        EXPECT_EQ(changed(p.d), names{});
    }
    // Options of one pass are not seen by the other.
    {
        data d;
        arguments args({"-n", "5", "-o", "res", "-approx", "1", "20"});
        parse_input_options(d, args.argc(), args.argv());
        EXPECT_EQ(changed(d), names{});
    }
    {
        data d;
        arguments args({"-i", "a", "-snps", "1", "2", "-gz", "-single", "1", "-f", "info"});
        parse_model_options(d, args.argc(), args.argv());
        EXPECT_EQ(changed(d), names{});
    }
}

TEST(Options, ValuesAndLists)
{
    {
        parsed p({"-snps", "3", "7"});
        EXPECT_EQ(changed(p.d), (names{"first_snp", "last_snp"}));
        EXPECT_EQ(p.d.first_snp, 3);
        EXPECT_EQ(p.d.last_snp, 7);
    }
    {
        parsed p({"-i", "a", "b", "-o", "res"});
        EXPECT_EQ(changed(p.d), (names{"input_files", "output_prefix"}));
        EXPECT_EQ(p.d.input_files, (std::vector<std::string>{"a", "b"}));
        EXPECT_EQ(p.d.output_prefix, "res");
    }
    {
        parsed p({"-i", "-o", "res"});
        EXPECT_TRUE(p.d.input_files.empty());
        EXPECT_EQ(p.d.output_prefix, "res");
    }
    {
        parsed p({"-gz", "-i", "a", "b", "c"});
        EXPECT_EQ(p.d.input_files, (std::vector<std::string>{"a", "b", "c"}));
        EXPECT_TRUE(p.d.gz);
    }
    {
        parsed p({"-chrX"});
        EXPECT_EQ(changed(p.d), names{"chrX"});
        EXPECT_TRUE(p.d.chrX);
        EXPECT_TRUE(p.d.sex_files.empty());
    }
    {
        parsed p({"-chrX", "s0", "s1", "-allow_male_hets"});
        EXPECT_EQ(p.d.sex_files, (std::vector<std::string>{"s0", "s1"}));
        EXPECT_TRUE(p.d.chrX);
        EXPECT_TRUE(p.d.allow_male_hets);
    }
    {
        parsed p({"-r_mean_prior", "2"});
        EXPECT_EQ(changed(p.d), names{"r_mean_prior"});
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(p.d.r_mean_prior.a[k], 2);
            EXPECT_EQ(p.d.r_mean_prior.b[k], 2);
        }
    }
    {
        parsed p({"-r_var_prior", "0.5"});
        EXPECT_EQ(changed(p.d), names{"r_var_prior"});
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(p.d.r_var_prior.a[k], 0.5);
            EXPECT_EQ(p.d.r_var_prior.b[k], 0.5);
        }
    }
    {
        // The degrees of freedom are read as an integer.
        parsed p({"-center_var_prior_mean", "0.001", "50.7"});
        EXPECT_EQ(changed(p.d), (names{"center_var_prior_mean", "center_var_prior_df"}));
        EXPECT_EQ(p.d.center_var_prior_mean, 0.001);
        EXPECT_EQ(p.d.center_var_prior_df, 50);
    }
    {
        // Integers as by strtol, reals as by strtod: text that is no number reads as 0.
        parsed p({"-ns", "5.9", "-n", "12x", "-b", "abc", "-pgd", "1e1", "-paf", "0.25"});
        EXPECT_EQ(p.d.n_starts, 5);
        EXPECT_EQ(p.d.n_iter, 12);
        EXPECT_EQ(p.d.burn_in, 0);
        EXPECT_EQ(p.d.pgd, 10);
        EXPECT_EQ(p.d.paf, 0.25);
        EXPECT_TRUE(p.d.paf_set);
    }
    {
        parsed p({"-pk", "100", "200", "-approx", "2", "30", "-alpha_star_prior", "2", "3", "-test", "1",
                  "-single", "2", "-f", "info.txt", "-max1", "-max2", "-nonull", "-bz2"});
        EXPECT_EQ(changed(p.d), (names{"proposal_k", "alpha_proposal_k", "approx_mode", "approx_grid",
                                       "alpha_star_prior", "model_test", "single", "snp_info_file",
                                       "sampling_start_phase", "sampling_final_phase", "nonull", "bz2"}));
        EXPECT_EQ(p.d.proposal_k, 100);
        EXPECT_EQ(p.d.alpha_proposal_k, 200);
        EXPECT_EQ(p.d.approx_mode, 2);
        EXPECT_EQ(p.d.approx_grid, 30);
        EXPECT_EQ(p.d.alpha_star_prior, (prior_pair{2, 3}));
        EXPECT_EQ(p.d.snp_info_file, "info.txt");
    }
}

TEST(Options, ValuesBeginningWithDashAndRepeatedOptions)
{
    {
        // A negative value is also examined as a name; matching none, it changes nothing else.
        parsed p({"-b", "-1", "-snps", "-3", "-2"});
        EXPECT_EQ(changed(p.d), (names{"burn_in", "first_snp", "last_snp"}));
        EXPECT_EQ(p.d.burn_in, -1);
        EXPECT_EQ(p.d.first_snp, -3);
        EXPECT_EQ(p.d.last_snp, -2);
    }
    {
        // A value that is itself an option name is also taken as that option.
        parsed p({"-o", "-n", "7"});
        EXPECT_EQ(p.d.output_prefix, "-n");
        EXPECT_EQ(p.d.n_iter, 7);
    }
    {
        parsed p({"-n", "5", "-o", "first", "-n", "7", "-o", "second", "-i", "a", "-i", "b", "c"});
        EXPECT_EQ(p.d.n_iter, 7);
        EXPECT_EQ(p.d.output_prefix, "second");
        EXPECT_EQ(p.d.input_files, (std::vector<std::string>{"b", "c"}));
    }
    {
        // "-nrs" selects the seed and changes no setting.
        parsed p({"-nrs"});
        EXPECT_EQ(changed(p.d), names{});
    }
}

TEST(Options, MissingValuesEndTheRunNamingTheOption)
{
    struct row {
        std::vector<const char*> args;
        const char* option;
    };
    const row rows[] = {
        {{"-n"}, "-n"},
        {{"-i", "a", "-o"}, "-o"},
        {{"-snps", "1"}, "-snps"},
        {{"-pk", "1"}, "-pk"},
        {{"-approx", "1"}, "-approx"},
        {{"-center_var_prior_mean", "0.1"}, "-center_var_prior_mean"},
        {{"-f"}, "-f"},
        {{"-single"}, "-single"},
    };
    for (const row& r : rows) {
        arguments args(r.args);
        data d;
        try {
            parse_input_options(d, args.argc(), args.argv());
            parse_model_options(d, args.argc(), args.argv());
            ADD_FAILURE() << r.option << " without its values was accepted";
        } catch (const run_error& e) {
            EXPECT_EQ(e.status, 2) << r.option;
            const std::string message = e.what();
            EXPECT_NE(message.find(std::string(r.option) + " "), std::string::npos) << message;
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        }
    }
}

TEST(Options, CheckSettingsRejectsMeaninglessRuns)
{
    struct row {
        std::vector<const char*> args;
        const char* named;   // expected in the message; empty: the settings are accepted
    };
    const row rows[] = {
        {{"-i", "a"}, ""},
        {{"-o", "res"}, "-i"},
        {{"-i", "a", "-ns", "0"}, "-ns"},
        {{"-i", "a", "-ns", "1"}, ""},
        {{"-i", "a", "-fancy", "0"}, "-fancy"},
        {{"-i", "a", "-fancy", "1"}, ""},
        {{"-i", "a", "-approx", "1", "0"}, "-approx"},
        {{"-i", "a", "-approx", "2", "-3"}, "-approx"},
        {{"-i", "a", "-approx", "0", "0"}, ""},
        {{"-i", "a", "-approx", "1", "1"}, ""},
        {{"-i", "a", "-nmax", "-1"}, "-nmax"},
        {{"-i", "a", "-nmax", "0"}, ""},
        {{"-i", "a", "-b", "-1"}, "-b"},
        {{"-i", "a", "-b", "0"}, ""},
        {{"-i", "a", "-n", "0"}, "-n"},
        {{"-i", "a", "-n", "0", "-max2"}, ""},
        {{"-i", "a", "-n", "1"}, ""},
        {{"-i", "a", "b", "-chrX", "s0"}, "-chrX"},
        {{"-i", "a", "-chrX"}, "-chrX"},
        {{"-i", "a", "b", "-chrX", "s0", "s1"}, ""},
        {{"-i", "a", "-vcf", "-vcf_threshold", "1.5"}, "-vcf_threshold"},
        {{"-i", "a", "-vcf", "-vcf_threshold", "-0.1"}, "-vcf_threshold"},
        {{"-i", "a", "-vcf", "-vcf_threshold", "0.5", "-chr", "chr22"}, ""},
        {{"-i", "a", "-vcf", "-chr", ""}, "-chr"},
        {{"-i", "a", "-vcf", "-chr", "chr 1"}, "-chr"},
        // VCF contig names: "." and the usual ones work; '*' and '=' may not lead; brackets,
        // commas and quotes never appear.
        {{"-i", "a", "-vcf", "-chr", "."}, ""},
        {{"-i", "a", "-vcf", "-chr", "HLA-A*01:01"}, ""},
        {{"-i", "a", "-vcf", "-chr", "*1"}, "-chr"},
        {{"-i", "a", "-vcf", "-chr", "=1"}, "-chr"},
        {{"-i", "a", "-vcf", "-chr", "chr<1>"}, "-chr"},
        {{"-i", "a", "-vcf", "-chr", "1,2"}, "-chr"},
        {{"-i", "a", "-chr", "1,2"}, ""},
    };
    for (const row& r : rows) {
        arguments args(r.args);
        data d;
        parse_input_options(d, args.argc(), args.argv());
        parse_model_options(d, args.argc(), args.argv());
        std::string line;
        for (const char* a : r.args) line += std::string(a) + " ";
        if (*r.named == '\0') {
            EXPECT_NO_THROW(check_settings(d)) << line;
            continue;
        }
        try {
            check_settings(d);
            ADD_FAILURE() << "accepted: " << line;
        } catch (const run_error& e) {
            EXPECT_NE(e.status, 0) << line;
            const std::string message = e.what();
            EXPECT_NE(message.find(r.named), std::string::npos) << line << "-> " << message;
        }
    }
}

TEST(Options, SeedAndHelp)
{
    {
        arguments args({"-i", "a", "-nrs"});
        EXPECT_EQ(choose_seed(args.argc(), args.argv()), 0.12345);
    }
    {
        arguments args({"-i", "a"});
        const double seed = choose_seed(args.argc(), args.argv());
        EXPECT_GE(seed, 0);
        EXPECT_LE(seed, 1);
    }
    {
        // The last of -seed and -nrs wins; any real strictly inside (0, 1) is a seed.
        arguments a({"-seed", "0.25", "-i", "x"});
        EXPECT_EQ(choose_seed(a.argc(), a.argv()), 0.25);
        arguments b({"-seed", "0.25", "-nrs"});
        EXPECT_EQ(choose_seed(b.argc(), b.argv()), 0.12345);
        arguments c({"-nrs", "-seed", "1e-3"});
        EXPECT_EQ(choose_seed(c.argc(), c.argv()), 0.001);
        for (const char* bad : {"0", "1", "-0.5", "1.5", "0.5x", "", "nan", "inf"}) {
            arguments args({"-seed", bad});
            try {
                choose_seed(args.argc(), args.argv());
                ADD_FAILURE() << bad << ": accepted";
            } catch (const run_error& e) {
                EXPECT_EQ(e.status, 2);
                EXPECT_NE(std::string(e.what()).find("-seed must be a real strictly between 0 and 1"),
                          std::string::npos)
                    << e.what();
            }
        }
        arguments missing({"-i", "a", "-seed"});
        EXPECT_THROW(choose_seed(missing.argc(), missing.argv()), run_error);
    }
    for (const char* h : {"-h", "--help"}) {
        arguments args({"-i", "a", h});
        EXPECT_TRUE(help_requested(args.argc(), args.argv())) << h;
    }
    for (const char* h : {"-help", "-hx", "--h", "h"}) {
        arguments args({h});
        EXPECT_FALSE(help_requested(args.argc(), args.argv())) << h;
    }

    // The usage text lists every option once, each on a line of its own.
    std::ostringstream usage;
    print_usage(usage);
    const char* every_option[] = {
        "-nrs", "-f", "-single", "-gz", "-bz2", "-snps", "-i", "-chrX",
        "-test", "-o", "-approx", "-allow_male_hets", "-pr", "-names", "-print_params", "-watch_counts",
        "-max1", "-max2", "-nmax", "-n", "-b", "-ns", "-fancy", "-paf", "-c_alpha_prior",
        "-c_alpha_cohorts", "-alpha_star_prior", "-pgd", "-nonull", "-eta_mean_prior", "-eta_var_prior",
        "-length_mean_prior", "-length_var_prior", "-gradient_mean_prior", "-gradient_var_prior",
        "-fraction_mean_prior", "-fraction_var_prior", "-departure_mean_prior", "-departure_var_prior",
        "-center_var_prior_mean", "-sigma_mean_prior", "-sigma_var_prior", "-varfrac_mean_prior",
        "-varfrac_var_prior", "-r_mean_prior", "-r_var_prior", "-pk", "-seed", "-vcf", "-chr", "-vcf_threshold",
    };
    const std::string text = usage.str();
    for (const char* name : every_option)
        EXPECT_NE(text.find("\n  " + std::string(name) + "  "), std::string::npos) << name;
    EXPECT_NE(text.find("--help"), std::string::npos);
}

}  // namespace
