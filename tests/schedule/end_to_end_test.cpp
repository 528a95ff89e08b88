// The whole program run as a user runs it, on the bundled example data with short chains:
// reproducibility, the refusal of bad input, the layout of the result files, missing
// intensities, X-chromosome mode, pooling and approximation.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "program_run.hpp"

namespace {

using namespace program_run;
using args = std::vector<std::string>;

args join(std::initializer_list<args> parts)
{
    args all;
    for (const args& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::string example(const std::string& name) { return source_file("examples/" + name); }

// Short chains: a few hundred sweeps per SNP, enough for well separated clusters.
const args short_chains = {"-ns", "1", "-nmax", "10", "-b", "20", "-n", "50"};
constexpr int n_iter = 50;
const args two_cohorts = {"-gz", "-i", example("cohort0.txt.gz"), example("cohort1.txt.gz"),
                          "-f", example("snpinfo.txt")};

// One line of a call file: the five SNP fields and three value tokens per individual.
struct call_line {
    std::vector<std::string> snp;
    std::vector<std::array<std::string, 3>> tokens;
    double value(std::size_t i, int k) const { return std::stod(tokens[i][k]); }
};

std::vector<call_line> read_calls(const fs::path& name)
{
    std::vector<call_line> lines;
    for (const std::string& text : lines_of(read_file(name))) {
        const std::vector<std::string> f = fields_of(text);
        call_line line;
        line.snp.assign(f.begin(), f.begin() + std::min<std::size_t>(5, f.size()));
        for (std::size_t i = 5; i + 2 < f.size(); i += 3) line.tokens.push_back({f[i], f[i + 1], f[i + 2]});
        lines.push_back(line);
    }
    return lines;
}

// True genotypes by (SNP_ID, cohort): 0, 1, 2, or -1 for a failed sample.
using truth_table = std::map<std::pair<std::string, int>, std::vector<int>>;

truth_table read_truth(const std::string& name)
{
    truth_table truth;
    for (const std::string& text : lines_of(read_file(name))) {
        if (text.empty() || text[0] == '#') continue;
        const std::vector<std::string> f = fields_of(text);
        std::vector<int>& g = truth[{f[0], std::stoi(f[3])}];
        for (std::size_t i = 4; i < f.size(); ++i) g.push_back(std::stoi(f[i]));
    }
    return truth;
}

// Call rate and concordance over the samples that did not fail: a call is the largest of the
// three values when it is at least 0.9.
struct agreement {
    int samples = 0, called = 0, concordant = 0;
    void add(const call_line& line, const std::vector<int>& truth)
    {
        ASSERT_EQ(line.tokens.size(), truth.size()) << line.snp[0];
        for (std::size_t i = 0; i < truth.size(); ++i) {
            if (truth[i] < 0) continue;
            ++samples;
            int best = 0;
            for (int k = 1; k < 3; ++k)
                if (line.value(i, k) > line.value(i, best)) best = k;
            if (line.value(i, best) < 0.9) continue;
            ++called;
            if (best == truth[i]) ++concordant;
        }
    }
    double call_rate() const { return samples ? double(called) / samples : 0; }
    double concordance() const { return called ? double(concordant) / called : 0; }
};

std::vector<int> read_sex_codes(const std::string& name)
{
    std::vector<int> codes;
    for (const std::string& f : fields_of(read_file(name))) codes.push_back(std::stoi(f));
    return codes;
}

// The five SNP fields of every SNP line of an intensity file, in file order.
std::vector<std::vector<std::string>> snp_fields(const std::string& content)
{
    std::vector<std::vector<std::string>> result;
    const std::vector<std::string> lines = lines_of(content);
    for (std::size_t l = 1; l < lines.size(); ++l) {
        std::istringstream in(lines[l]);
        std::vector<std::string> f(5);
        for (std::string& s : f) in >> s;
        result.push_back(f);
    }
    return result;
}

bool ends_every_line_with_blank(const std::string& content)
{
    if (content.empty() || content.back() != '\n') return false;
    for (const std::string& line : lines_of(content))
        if (line.empty() || line.back() != ' ') return false;
    return true;
}

bool all_digits(const std::string& s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// A number in fixed notation with exactly four decimals: -?D+.DDDD
bool is_fixed_4(const std::string& t)
{
    const std::size_t start = !t.empty() && t[0] == '-' ? 1 : 0;
    const std::size_t dot = t.find('.', start);
    return dot != std::string::npos && all_digits(t.substr(start, dot - start)) && t.size() - dot == 5 &&
           all_digits(t.substr(dot + 1));
}

// A written call value: 0, 1 or 0.DDDD
bool is_call_token(const std::string& t) { return t == "0" || t == "1" || (t.rfind("0.", 0) == 0 && is_fixed_4(t)); }

TEST(EndToEnd, FixedSeedRunsRepeatExactly)
{
    const args a = join({{"-nrs"}, two_cohorts, {"-snps", "1", "2", "-o", "res"}, short_chains});
    scratch first, second;
    const result r1 = run(first, a);
    const result r2 = run(second, a);
    ASSERT_EQ(r1.status, 0) << r1.err;
    ASSERT_EQ(r2.status, 0) << r2.err;
    EXPECT_EQ(r1.err, "");
    EXPECT_EQ(r1.out, r2.out);
    const std::string last = "finished\n";
    EXPECT_TRUE(r1.out.size() > last.size() && r1.out.compare(r1.out.size() - last.size(), last.size(), last) == 0);
    const std::set<std::string> files = {"res_0_mcmc", "res_1_mcmc", "res_0.sample", "res_1.sample", "res_params",
                                         "res_information"};
    ASSERT_EQ(listing(first.work()), files);
    ASSERT_EQ(listing(second.work()), files);
    for (const std::string& f : files) EXPECT_EQ(read_file(first.file(f)), read_file(second.file(f))) << f;
}

TEST(EndToEnd, HelpPrintsUsageAndExitsZero)
{
    for (const args& a : {args{"-h"}, args{"--help"}, args{"-i", "missing.txt", "--help", "-o", "res"}}) {
        scratch s;
        const result r = run(s, a);
        EXPECT_EQ(r.status, 0) << a[0];
        EXPECT_NE(r.out.find("usage"), std::string::npos) << a[0];
        for (const char* name : {"-i", "-chrX", "-nmax", "-approx", "-allow_male_hets", "-pk"})
            EXPECT_NE(r.out.find(std::string("  ") + name + "  "), std::string::npos) << name;
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(listing(s.work()).empty());
    }
}

TEST(EndToEnd, BadInputEndsBeforeAnalysisAndKeepsOldResults)
{
    scratch s;
    // Inputs derived from the examples, in the program's working folder.
    const std::string cohort0 = gunzip_file(example("cohort0.txt.gz"));
    write_file(s.file("c0.txt"), cohort0);
    const std::string packed = read_file(example("cohort0.txt.gz"));
    write_file(s.file("trunc.gz"), packed.substr(0, 1000));
    {
        std::vector<std::string> lines = lines_of(cohort0);
        lines[2] = lines[2].substr(0, lines[2].find_last_of(' '));   // SNP 2 loses its last intensity
        std::string text;
        for (const std::string& l : lines) text += l + "\n";
        write_file(s.file("short.txt"), text);
    }
    write_file(s.file("x0.txt"), gunzip_file(example("chrX_cohort0.txt.gz")));
    {
        std::vector<std::string> codes = lines_of(read_file(example("chrX_sex0.txt")));
        std::string bad, short_list;
        for (std::size_t i = 0; i < codes.size(); ++i) {
            bad += (i == 4 ? std::string("3") : codes[i]) + "\n";
            if (i + 1 < codes.size()) short_list += codes[i] + "\n";
        }
        write_file(s.file("badsex.txt"), bad);
        write_file(s.file("shortsex.txt"), short_list);
    }
    {
        std::vector<std::string> lines = lines_of(read_file(example("snpinfo.txt")));
        lines[1] = lines[1].substr(0, lines[1].find_last_of(' ')) + " abc";
        std::string text;
        for (const std::string& l : lines) text += l + "\n";
        write_file(s.file("badinfo.txt"), text);
    }
    const std::vector<std::string> results = {"res_0_mcmc", "res_1_mcmc", "res_params", "res_information",
                                              "res_tests"};
    for (const std::string& f : results) write_file(s.file(f), "old " + f + "\n");
    const std::set<std::string> before = listing(s.work());

    struct row {
        args options;
        std::vector<std::string> named;   // every one appears in the error line
    };
    const std::string long_prefix(420, 'x');
    const row rows[] = {
        {{"-o", "res"}, {"-i"}},
        {{"-i", "nonexist.txt", "-o", "res"}, {"nonexist.txt"}},
        {{"-i", example("cohort0.txt.gz"), "-o", "res"}, {"cohort0.txt.gz", "-gz"}},
        {{"-gz", "-i", "c0.txt", "-o", "res"}, {"c0.txt", "-gz"}},
        {{"-gz", "-i", "trunc.gz", "-o", "res"}, {"trunc.gz"}},
        {{"-i", "short.txt", "-o", "res"}, {"short.txt:3"}},
        {{"-i", "x0.txt", "-chrX", "badsex.txt", "-o", "res"}, {"badsex.txt:5"}},
        {{"-i", "x0.txt", "-chrX", "shortsex.txt", "-o", "res"}, {"shortsex.txt"}},
        {{"-i", "c0.txt", "-f", "badinfo.txt", "-o", "res"}, {"badinfo.txt:2", "abc"}},
        {{"-i", "c0.txt", "-f", "noinfo.txt", "-o", "res"}, {"noinfo.txt"}},
        {{"-i", "c0.txt", "-o", "nodir/res"}, {"nodir/res"}},
        {{"-i", "c0.txt", "-o", long_prefix}, {long_prefix}},
        {{"-i", "c0.txt", "-o", "res", "-ns", "0"}, {"-ns"}},
        {{"-i", "c0.txt", "-o", "res", "-n"}, {"-n"}},
    };
    for (const row& r : rows) {
        const args a = join({{"-nrs"}, short_chains, r.options});
        const std::string label = r.options[0] + " " + r.options[1] + " ...";
        const result out = run(s, a);
        EXPECT_NE(out.status, 0) << label;
        const std::vector<std::string> err = lines_of(out.err);
        EXPECT_EQ(err.size(), 1u) << label << ": " << out.err;
        EXPECT_TRUE(!out.err.empty() && out.err.back() == '\n') << label;
        for (const std::string& n : r.named) EXPECT_NE(out.err.find(n), std::string::npos) << label << ": " << out.err;
        EXPECT_EQ(out.out.find("\nsnp 1 "), std::string::npos) << label << ": analysis started";
        EXPECT_EQ(listing(s.work()), before) << label;
        for (const std::string& f : results) EXPECT_EQ(read_file(s.file(f)), "old " + f + "\n") << label;
    }

    // The message that the sex file's count is wrong still reaches standard output.
    const result r = run(s, join({short_chains, {"-i", "x0.txt", "-chrX", "shortsex.txt", "-o", "res"}}));
    EXPECT_NE(r.out.find("sex file doesn't contain correct number of individuals"), std::string::npos);
}

TEST(EndToEnd, OutputFilesHaveTheirLayout)
{
    const std::string cohort0 = gunzip_file(example("cohort0.txt.gz"));
    const std::vector<std::vector<std::string>> snps = snp_fields(cohort0);
    const truth_table truth = read_truth(example("truth.txt"));

    // One cohort, sampling, model test on.
    {
        scratch s;
        const result r = run(s, join({{"-nrs", "-gz", "-i", example("cohort0.txt.gz"), "-f", example("snpinfo.txt"),
                                       "-snps", "1", "3", "-o", "res", "-test", "1"},
                                      short_chains}));
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(listing(s.work()),
                  (std::set<std::string>{"res_0_mcmc", "res_0.sample", "res_params", "res_information", "res_tests"}));

        const std::string params = read_file(s.file("res_params"));
        const std::string information = read_file(s.file("res_information"));
        const std::string calls = read_file(s.file("res_0_mcmc"));
        for (const std::string* content : {&params, &information, &calls}) {
            EXPECT_TRUE(ends_every_line_with_blank(*content));
            EXPECT_EQ(content->find('\r'), std::string::npos);
        }
        const std::vector<std::string> p = lines_of(params), info = lines_of(information);
        ASSERT_EQ(p.size(), 4u);
        ASSERT_EQ(info.size(), 4u);
        EXPECT_EQ(p[0], "SNP_ID rs position allele1 allele2 alpha_0 eta_0 mu_0_0_0 mu_0_0_1 mu_0_1_0 mu_0_1_1 "
                        "mu_0_2_0 mu_0_2_1 sigma_0 varfrac_0 r_0_0 r_0_1 r_0_2 ");
        EXPECT_EQ(info[0], "SNP_ID rs position allele1 allele2 final_log_posterior info1_0 info2_0 ");

        // Sampled values are shares of the n_iter counted iterations.
        const std::vector<call_line> lines = read_calls(s.file("res_0_mcmc"));
        ASSERT_EQ(lines.size(), 3u);
        bool fractional = false;
        for (std::size_t l = 0; l < 3; ++l) {
            EXPECT_EQ(lines[l].snp, snps[l]);
            const std::vector<std::string> param_fields = fields_of(p[l + 1]);
            EXPECT_EQ(param_fields.size(), 18u);
            EXPECT_EQ(fields_of(info[l + 1]).size(), 8u);
            EXPECT_EQ(std::vector<std::string>(param_fields.begin(), param_fields.begin() + 5), snps[l]);
            EXPECT_EQ(fields_of(lines_of(calls)[l]).size(), 5u + 3u * 300u);
            ASSERT_EQ(lines[l].tokens.size(), 300u);
            for (std::size_t i = 0; i < 300; ++i) {
                double sum = 0;
                for (int k = 0; k < 3; ++k) {
                    const std::string& t = lines[l].tokens[i][k];
                    EXPECT_TRUE(is_call_token(t)) << t;
                    fractional = fractional || t.find('.') != std::string::npos;
                    const double v = lines[l].value(i, k) * n_iter;
                    EXPECT_NEAR(v, std::round(v), 1e-6) << lines[l].snp[0] << " individual " << i;
                    sum += lines[l].value(i, k);
                }
                EXPECT_LE(sum, 1 + 1e-9);
            }
        }
        // Individuals of the well separated SNPs sit in their true class in every counted iteration.
        for (int l = 0; l < 2; ++l) {
            const std::vector<int>& g = truth.at({snps[l][0], 0});
            int samples = 0, certain = 0;
            for (std::size_t i = 0; i < g.size(); ++i) {
                if (g[i] < 0) continue;
                ++samples;
                bool exact = true;
                for (int k = 0; k < 3; ++k) exact = exact && lines[l].tokens[i][k] == (k == g[i] ? "1" : "0");
                certain += exact;
            }
            EXPECT_GE(certain, 0.9 * samples) << snps[l][0];
        }
        // Once a call value was written with decimals, every real number after it is too.
        ASSERT_TRUE(fractional);
        for (const std::vector<std::string>* table : {&p, &info})
            for (std::size_t l = 1; l < table->size(); ++l) {
                const std::vector<std::string> f = fields_of((*table)[l]);
                for (std::size_t c = 5; c < f.size(); ++c) EXPECT_TRUE(is_fixed_4(f[c])) << f[c];
            }

        const std::vector<std::string> tests = lines_of(read_file(s.file("res_tests")));
        ASSERT_EQ(tests.size(), 4u);
        EXPECT_EQ(tests[0], "SNP_ID rs position bayes factors");
        for (std::size_t l = 0; l < 3; ++l)
            EXPECT_EQ(tests[l + 1], snps[l][0] + " " + snps[l][1] + " " + snps[l][2] + " NA");
    }

    // Without the null class every counted iteration is in one of the three genotype classes, so
    // each individual's three shares add up to 1.
    {
        scratch s;
        const result r = run(s, join({{"-nrs", "-gz", "-i", example("cohort0.txt.gz"), "-snps", "1", "2", "-o", "res",
                                       "-nonull"},
                                      short_chains}));
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<call_line> lines = read_calls(s.file("res_0_mcmc"));
        ASSERT_EQ(lines.size(), 2u);
        for (const call_line& line : lines)
            for (std::size_t i = 0; i < line.tokens.size(); ++i)
                EXPECT_NEAR(line.value(i, 0) + line.value(i, 1) + line.value(i, 2), 1, 1e-9)
                    << line.snp[0] << " individual " << i;
    }

    // Two cohorts, maximising final phase: the values are call probabilities; without the model
    // test an existing tests file stays as it was.
    {
        scratch s;
        write_file(s.file("res_tests"), "old\n");
        const result r = run(s, join({{"-nrs"}, two_cohorts, {"-snps", "1", "3", "-o", "res", "-max2"}, short_chains}));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.find("Acceptance rates"), std::string::npos);
        EXPECT_EQ(read_file(s.file("res_tests")), "old\n");
        const std::vector<std::string> p = lines_of(read_file(s.file("res_params")));
        const std::vector<std::string> info = lines_of(read_file(s.file("res_information")));
        EXPECT_EQ(p[0], "SNP_ID rs position allele1 allele2 alpha_0 alpha_1 eta_0 eta_1 "
                        "mu_0_0_0 mu_0_0_1 mu_0_1_0 mu_0_1_1 mu_0_2_0 mu_0_2_1 "
                        "mu_1_0_0 mu_1_0_1 mu_1_1_0 mu_1_1_1 mu_1_2_0 mu_1_2_1 "
                        "sigma_0 sigma_1 varfrac_0 varfrac_1 r_0_0 r_0_1 r_0_2 r_1_0 r_1_1 r_1_2 ");
        EXPECT_EQ(info[0], "SNP_ID rs position allele1 allele2 final_log_posterior info1_0 info1_1 info2_0 info2_1 ");
        for (std::size_t l = 1; l < 4; ++l) {
            EXPECT_EQ(fields_of(p[l]).size(), 31u);
            EXPECT_EQ(fields_of(info[l]).size(), 10u);
        }
        int off_grid = 0, samples = 0, mostly_null = 0;
        for (int j = 0; j < 2; ++j) {
            const std::vector<call_line> lines = read_calls(s.file("res_" + std::to_string(j) + "_mcmc"));
            ASSERT_EQ(lines.size(), 3u);
            for (const call_line& line : lines) {
                const std::vector<int>& g = truth.at({line.snp[0], j});
                ASSERT_EQ(line.tokens.size(), g.size());
                for (std::size_t i = 0; i < g.size(); ++i) {
                    double sum = 0;
                    for (int k = 0; k < 3; ++k) {
                        EXPECT_TRUE(is_call_token(line.tokens[i][k])) << line.tokens[i][k];
                        const double v = line.value(i, k) * n_iter;
                        off_grid += std::fabs(v - std::round(v)) > 1e-6;
                        sum += line.value(i, k);
                    }
                    EXPECT_LE(sum, 1 + 3 * 0.5e-4);
                    if (g[i] < 0) continue;
                    ++samples;
                    mostly_null += sum < 0.5;
                }
            }
        }
        EXPECT_GT(off_grid, 0) << "maximising calls look like sampled shares";
        // Only the few outlying points of good samples belong to the null class.
        EXPECT_LE(mostly_null, 0.02 * samples);
    }
}

TEST(EndToEnd, MissingIntensitiesAreWrittenAsMissing)
{
    const truth_table truth = read_truth(example("truth.txt"));
    // The first individuals of cohort 0 that did not fail on SNPs 1 to 3.
    std::vector<std::size_t> chosen;
    for (std::size_t i = 0; chosen.size() < 3; ++i) {
        bool good = true;
        for (const char* id : {"SNP000001", "SNP000002", "SNP000003"}) good = good && truth.at({id, 0})[i] >= 0;
        if (good) chosen.push_back(i);
    }
    std::vector<std::string> lines = lines_of(gunzip_file(example("cohort0.txt.gz")));
    std::vector<std::string> f = fields_of(lines[2]);
    f[5 + 2 * chosen[0]] = "NaN";
    f[6 + 2 * chosen[0]] = "NaN";
    f[5 + 2 * chosen[1]] = "NA";
    f[6 + 2 * chosen[2]] = "nan";
    lines[2].clear();
    for (const std::string& field : f) lines[2] += (lines[2].empty() ? "" : " ") + field;

    scratch s;
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    write_file(s.file("c0.txt"), text);
    const result r = run(s, join({{"-nrs", "-i", "c0.txt", "-snps", "1", "3", "-o", "res"}, short_chains}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<call_line> calls = read_calls(s.file("res_0_mcmc"));
    ASSERT_EQ(calls.size(), 3u);
    for (std::size_t l = 0; l < 3; ++l) {
        ASSERT_EQ(calls[l].tokens.size(), 300u);
        const std::vector<int>& g = truth.at({calls[l].snp[0], 0});
        int samples = 0, mostly_null = 0;
        for (std::size_t i = 0; i < 300; ++i) {
            const bool is_chosen = i == chosen[0] || i == chosen[1] || i == chosen[2];
            const double sum = calls[l].value(i, 0) + calls[l].value(i, 1) + calls[l].value(i, 2);
            if (is_chosen && l == 1) {
                EXPECT_EQ(calls[l].tokens[i], (std::array<std::string, 3>{"0", "0", "0"})) << i;
            } else if (is_chosen) {
                EXPECT_GE(sum, 0.5) << calls[l].snp[0] << " individual " << i;
            } else if (g[i] >= 0) {
                ++samples;
                mostly_null += sum < 0.5;
            }
        }
        EXPECT_LE(mostly_null, 0.02 * samples) << calls[l].snp[0];
    }
}

TEST(EndToEnd, MalesAreNeverCalledHeterozygousInXMode)
{
    const args x_run = {"-nrs", "-gz", "-i", example("chrX_cohort0.txt.gz"), example("chrX_cohort1.txt.gz"),
                        "-f", example("chrX_snpinfo.txt"), "-chrX", example("chrX_sex0.txt"),
                        example("chrX_sex1.txt"), "-o", "res"};
    const std::vector<int> sexes[] = {read_sex_codes(example("chrX_sex0.txt")), read_sex_codes(example("chrX_sex1.txt"))};
    // Heterozygous values of males and of the others, over every SNP and cohort.
    const auto het_values = [&](const scratch& s, int& male_nonzero, int& other_nonzero) {
        male_nonzero = other_nonzero = 0;
        for (int j = 0; j < 2; ++j) {
            const std::vector<call_line> lines = read_calls(s.file("res_" + std::to_string(j) + "_mcmc"));
            ASSERT_EQ(lines.size(), 6u);
            for (const call_line& line : lines) {
                ASSERT_EQ(line.tokens.size(), sexes[j].size());
                for (std::size_t i = 0; i < sexes[j].size(); ++i)
                    (sexes[j][i] == 1 ? male_nonzero : other_nonzero) += line.tokens[i][1] != "0";
            }
        }
    };
    {
        scratch s;
        const result r = run(s, join({x_run, short_chains}));
        ASSERT_EQ(r.status, 0) << r.err;
        int males = 0, others = 0;
        het_values(s, males, others);
        EXPECT_EQ(males, 0);
        EXPECT_GT(others, 100);
    }
    {
        scratch s;
        const result r = run(s, join({x_run, short_chains, {"-allow_male_hets"}}));
        ASSERT_EQ(r.status, 0) << r.err;
        int males = 0, others = 0;
        het_values(s, males, others);
        EXPECT_GT(males, 0) << "-allow_male_hets did not let any male into the heterozygous class";
    }
}

TEST(EndToEnd, PoolingAndApproximationGiveSaneCalls)
{
    const truth_table truth = read_truth(example("truth.txt"));
    struct row {
        args options;
        int call_files;
        std::size_t param_fields;
    };
    const row rows[] = {
        {{"-single", "1"}, 2, 31},
        {{"-single", "2"}, 1, 18},
        {{"-approx", "1", "20"}, 2, 31},
        {{"-approx", "2", "20"}, 2, 31},
    };
    for (const row& r : rows) {
        const std::string label = r.options[0] + " " + r.options[1];
        scratch s;
        const result out = run(s, join({{"-nrs"}, two_cohorts, {"-snps", "1", "2", "-o", "res"}, short_chains, r.options}));
        ASSERT_EQ(out.status, 0) << label << ": " << out.err;
        EXPECT_EQ(listing(s.work()).count("res_1_mcmc"), r.call_files == 2 ? 1u : 0u) << label;
        const std::vector<std::string> p = lines_of(read_file(s.file("res_params")));
        ASSERT_EQ(p.size(), 3u) << label;
        for (const std::string& line : p) EXPECT_EQ(fields_of(line).size(), r.param_fields) << label;

        agreement easy;
        for (int j = 0; j < r.call_files; ++j) {
            for (const call_line& line : read_calls(s.file("res_" + std::to_string(j) + "_mcmc"))) {
                // A pooled call file holds cohort 0's individuals and then cohort 1's.
                std::vector<int> g = truth.at({line.snp[0], j});
                if (r.call_files == 1) {
                    const std::vector<int>& more = truth.at({line.snp[0], 1});
                    g.insert(g.end(), more.begin(), more.end());
                }
                easy.add(line, g);
            }
        }
        EXPECT_GT(easy.samples, 1100) << label;
        EXPECT_GE(easy.call_rate(), 0.95) << label;
        EXPECT_GE(easy.concordance(), 0.995) << label;
    }
}

}  // namespace
