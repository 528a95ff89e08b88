// The result files: call values as printed and as the VCF takes them, and failures that name the
// file and keep earlier results.
#include <gtest/gtest.h>

#include <sys/resource.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filtering_stream.hpp>

#include <algorithm>
#include <csignal>
#include <functional>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "../support.hpp"
#include "output/output_files.hpp"
#include "output/result_set.hpp"
#include "output/snp_result.hpp"
#include "state/error.hpp"

namespace {

namespace fs = std::filesystem;
using values4 = std::array<double, 4>;

// A run's settings and its cohorts as read, set alike (d.chrX, d.sex).
struct run_state : settings, cohort_description {};

// A run of the given input cohorts (file columns each) and SNPs, written under `prefix`, whose
// every individual sat in class 0 for all 10 sampled iterations; X mode with males first.
struct test_run {
    run_state d;
    std::vector<snp> snps;
    std::vector<params> results;
    std::vector<std::vector<std::vector<values4>>> stored_calls;   // [SNP][cohort][individual]
    std::vector<std::vector<std::vector<values4>>> diploid;        // the same, males' het open, or empty

    test_run(const std::string& prefix, const std::vector<int>& columns, int n_snps)
    {
        d.output_prefix = prefix;
        const auto n_cohorts = static_cast<int>(columns.size());
        d.n_file_individuals = columns;
        d.input_files.assign(columns.size(), "cohort.txt");
        d.n_iter = 10, d.chrX = true;
        for (int c = 0; c < n_cohorts; ++c) {
            d.sample_ids.emplace_back();
            d.sex.emplace_back();
            for (int i = 0; i < columns[c]; ++i) {
                d.sample_ids.back().push_back("c" + std::to_string(c) + "_s" + std::to_string(i));
                d.sex.back().push_back(i == 0 ? 1 : 2);
            }
        }
        for (int s = 0; s < n_snps; ++s) {
            snp rec;
            rec.SNP_ID = "SNP_A-" + std::to_string(100 + s), rec.rs = "rs" + std::to_string(s);
            rec.position = std::to_string(1000 + s), rec.allele1 = "A", rec.allele2 = "G";
            for (int c : columns) rec.points.emplace_back(c, xy{1, 0.1});
            snps.push_back(rec);
            params p;
            for (int c = 0; c < n_cohorts; ++c) {
                p.alpha.push_back(0.3), p.eta.push_back(0.01), p.mu.push_back({{{1, 0.1}, {0.7, 0.7}, {0.1, 1}}});
                p.sigma.push_back(0.05), p.varfrac.push_back(0.25), p.r.push_back({0.01, 0.9, 0.02});
                p.info1.push_back(12.5), p.info2.push_back(-1);
            }
            results.push_back(p);
            stored_calls.emplace_back();
            for (int c : columns) stored_calls.back().emplace_back(c, values4{10, 0, 0, 0});
        }
    }

    // Writes every SNP's results into `set`, as the analysis hands them over.
    void write(result_set& set)
    {
        result_writer w(d, d, set);
        snp_result r;
        for (std::size_t s = 0; s < snps.size(); ++s) {
            make_snp_result(d, d, snps[s], results[s], stored_calls[s], diploid.empty() ? std::vector<std::vector<values4>>{} : diploid[s],
                            "", r);
            w.write(r);
        }
        w.finish();
    }
};

// Runs `f` with writes limited to `bytes` per file, as a full disk would stop them.
template <class F>
void with_file_size_limit(rlim_t bytes, F f)
{
    rlimit old_limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old_limit;
    small.rlim_cur = bytes;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    f();
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
}

}  // namespace

// "1" above 0.999, "0" below 0.001, otherwise four fixed decimals rounded as the decimal text
// rounds them (0.00105 is a little below its decimal), not a number included: the call files'
// text and the value the record keeps for them and the VCF's GP.
TEST(ResultFiles, CallValuesAsPrinted)
{
    const struct {
        double v;
        const char* text;
        double printed;
    } rows[] = {{0.9991, "1", 1}, {0.999, "0.9990", 0.999}, {0.5, "0.5000", 0.5}, {0.00125, "0.0013", 0.0013},
                {0.00105, "0.0010", 0.001}, {0.001, "0.0010", 0.001}, {0.00099, "0", 0}, {0, "0", 0},
                {1, "1", 1}, {-2, "0", 0}, {INFINITY, "1", 1}, {NAN, "nan", NAN}};
    for (const auto& r : rows) {
        const double printed = printed_call_value(r.v);
        std::ostringstream out;
        write_call_value(out, printed);
        EXPECT_EQ(out.str(), r.text) << r.v;
        EXPECT_TRUE(printed == r.printed || (std::isnan(printed) && std::isnan(r.printed))) << r.v;
        EXPECT_EQ(has_decimals(printed), r.text[1] != 0) << r.v;
    }
}

// One individual as the record gives it: its call values as printed (sampled counts divided by
// the final phase's iterations first); GT the most probable class (the lower on a tie) when its
// printed GP is positive and at least the threshold; a haploid male has the two homozygous
// classes as his alleles, and his GP those two values; an individual left out of the SNP has no
// GP and calls 0 0 0.
TEST(SnpResult, GenotypeOfAnIndividual)
{
    const struct {
        values4 v;
        int iterations;   // 0: maximised probabilities
        bool haploid, left_out;
        double threshold;
        std::array<double, 3> printed;
        std::array<int, 2> gt;   // -1: missing, -2: beyond the ploidy
    } rows[] = {
        {{0.1, 0.8, 0.1, 0}, 0, false, false, 0.9, {0.1, 0.8, 0.1}, {-1, -1}},
        {{0, 0.89996, 0.1, 0}, 0, false, false, 0.9, {0, 0.9, 0.1}, {0, 1}},   // printed 0.9000
        {{0, 0.89994, 0.1, 0}, 0, false, false, 0.9, {0, 0.8999, 0.1}, {-1, -1}},
        {{50, 949, 1, 0}, 1000, false, false, 0.9, {0.05, 0.949, 0.001}, {0, 1}},
        {{0.9995, 0.0005, 0, 0}, 0, false, false, 1, {1, 0, 0}, {0, 0}},
        {{0.45, 0.45, 0.1, 0}, 0, false, false, 0.4, {0.45, 0.45, 0.1}, {0, 0}},
        {{0, 0.0004, 0, 0.9996}, 0, false, false, 0, {0, 0, 0}, {-1, -1}},
        {{0.2, 0.3, 0.5, 0}, 0, false, false, 0, {0.2, 0.3, 0.5}, {1, 1}},
        {{0.05, 0, 0.95, 0}, 0, true, false, 0.9, {0.05, 0, 0.95}, {1, -2}},
        {{0.05, 0, 0.95, 0}, 0, true, false, 0.96, {0.05, 0, 0.95}, {-1, -2}},
        {{0.05, 0, 0.95, 0}, 0, true, true, 0.9, {0, 0, 0}, {-1, -2}},
        {{0.05, 0.9, 0.05, 0}, 0, false, true, 0.9, {0, 0, 0}, {-1, -1}},
    };
    for (const auto& r : rows) {
        run_state d;
        d.input_files = {"cohort.txt"}, d.n_file_individuals = {1}, d.sample_ids = {{"s"}};
        d.chrX = true, d.sex = {{r.haploid ? 1 : 2}}, d.write_vcf = true, d.vcf_threshold = r.threshold;
        d.sampling_final_phase = r.iterations > 0, d.n_iter = r.iterations;
        snp rec;
        rec.SNP_ID = "SNP_A-1", rec.missing = {r.left_out ? std::vector<int>{0} : std::vector<int>{}};
        rec.points = {r.left_out ? std::vector<xy>{} : std::vector<xy>{{0.5, 0.5}}};
        params p;
        p.alpha = {0.3}, p.eta = {0.01}, p.mu = {{{{1, 0.1}, {0.7, 0.7}, {0.1, 1}}}}, p.sigma = {0.05};
        p.varfrac = {0.25}, p.r = {{0.01, 0.9, 0.02}}, p.info1 = {1}, p.info2 = {1};
        snp_result out;
        make_snp_result(d, d, rec, p, {r.left_out ? std::vector<values4>{} : std::vector<values4>{r.v}}, {}, "", out);
        ASSERT_EQ(out.calls.size(), 1u);
        ASSERT_EQ(out.vcf.samples.size(), 1u);
        const vcf_sample& g = out.vcf.samples[0];
        const std::array<int, 2> gt{g.gt[0], g.ploidy == 2 ? g.gt[1] : -2};
        const std::vector<double> gp(out.vcf.gp.begin(), out.vcf.gp.begin() + g.n_gp);
        const std::vector<double> expected_gp = r.left_out ? std::vector<double>{}
                                                : r.haploid ? std::vector<double>{r.printed[0], r.printed[2]}
                                                            : std::vector<double>{r.printed.begin(), r.printed.end()};
        const bool decimals = std::any_of(r.printed.begin(), r.printed.end(), [](double x) { return x != 0 && x != 1; });
        EXPECT_EQ(std::make_tuple(out.calls[0], out.decimals, gt, gp),
                  std::make_tuple(std::vector<std::array<double, 3>>{r.printed}, decimals, r.gt, expected_gp))
            << r.v[0] << " " << r.v[1] << " " << r.v[2] << " threshold " << r.threshold;
    }
    // ALT frequency: 1 - alpha, weighted by the cohorts' analysed allele copies.
    EXPECT_DOUBLE_EQ(alt_allele_frequency({0.7, 0.4}, {5, 3}), (5 * 0.3 + 3 * 0.6) / 8);
    EXPECT_DOUBLE_EQ(alt_allele_frequency({0.25}, {1}), 0.75);   // one haploid male
    EXPECT_TRUE(std::isnan(alt_allele_frequency({0.5, 0.5}, {0, 0})));
}

// The QC tables of X mode: a male's call counts one allele copy and stays out of the females'
// Hardy-Weinberg counts, but the sex check counts his call were he diploid (heterozygous on SNP
// 0); an |x + y| beyond 1000 leaves an individual without a mean.
TEST(ResultFiles, QcTablesOfXMode)
{
    support::scratch s;
    test_run run(s.file("out"), {3}, 2);   // male, female, female; every call class 0
    run.stored_calls[0][0][2] = {0, 0, 10, 0};
    run.diploid.assign(2, {{{1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}}});
    run.diploid[0][0][0] = {0.05, 0.95, 0, 0};
    run.snps[1].points[0][2] = {5000, 0.1};
    {
        result_set set(run.d.output_prefix, result_file_names(run.d));
        run.write(set);
        set.commit();
    }
    EXPECT_EQ(support::lines_of(support::read_file(s.file("out_snps.tsv")))[1],
              ".\t1000\trs0\tSNP_A-100\tA\tG\t0\t3\t0\t0.6\t0.4\t1\t0\t1\t0\t0.5\t0.333333\t12.5\t-1\t0");
    EXPECT_EQ(support::lines_of(support::read_file(s.file("out_samples.tsv"))),
              (std::vector<std::string>{
                  "#IID\tCOHORT\tMISSING_CT\tOBS_CT\tF_MISS\tO(HOM)\tHET_CT\tE(HOM)\tF\tHET_RATE\tXY_CT\tXY_SUM\tMEAN_XY"
                  "\tPEDSEX\tSNPSEX\tSTATUS",
                  "c0_s0\t0\t0\t2\t0\t1\t1\t1.520000\t-1.08333\t0.5\t2\t2.200000\t1.1\t1\t2\tPROBLEM",
                  "c0_s1\t0\t0\t2\t0\t2\t0\t1.520000\t1\t0\t2\t2.200000\t1.1\t2\t1\tPROBLEM",
                  "c0_s2\t0\t0\t2\t0\t2\t0\t1.520000\t1\t0\t2\tNA\tNA\t2\t1\tPROBLEM"}));
}

// A fit whose log posterior or parameters are not finite numbers gives no calls: every individual
// is written missing, its numbers NA, and the user is told.
TEST(ResultFiles, FailedFitIsWrittenAsMissing)
{
    support::scratch s;
    test_run run(s.file("out"), {3}, 2);
    run.d.write_vcf = true;
    run.results[1].mu[0][1][0] = NAN;
    support::console_capture console;
    {
        result_set set(run.d.output_prefix, result_file_names(run.d));
        run.write(set);
        set.commit();
    }
    EXPECT_EQ(console.err(), "warning: SNP SNP_A-101: its fit gave numbers that are not finite (log posterior 0); its "
                             "calls are written as missing and its parameters as NA\n");
    const std::vector<std::string> calls = support::lines_of(support::read_file(s.file("out_0_mcmc")));
    EXPECT_EQ(calls[0], "SNP_A-100 rs0 1000 A G 1 0 0 1 0 0 1 0 0 ");
    EXPECT_EQ(calls[1], "SNP_A-101 rs1 1001 A G 0 0 0 0 0 0 0 0 0 ");
    std::string na;
    for (int k = 0; k < 13; ++k) na += "NA ";   // alpha, eta, six means, sigma, varfrac, three r
    EXPECT_EQ(support::lines_of(support::read_file(s.file("out_params")))[2], "SNP_A-101 rs1 1001 A G " + na);
    EXPECT_EQ(support::lines_of(support::read_file(s.file("out_information")))[2], "SNP_A-101 rs1 1001 A G NA NA NA ");
    std::string vcf;
    {
        namespace io = boost::iostreams;
        io::filtering_istream in;
        in.push(io::gzip_decompressor());
        in.push(io::file_source(s.file("out.vcf.gz"), std::ios::binary));
        vcf.assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_NE(vcf.find("\t1001\trs1\tA\tG\t.\t.\tAF=.\tGT:GP\t.:.\t./.:.\t./.:.\n"), std::string::npos) << vcf;
}

// The result files of a run are made as a set before any input is read and replaced together:
// a failure anywhere names its file and leaves every earlier result and no temporary behind.
TEST(ResultFiles, FailuresNameTheFileAndKeepTheEarlierSet)
{
    support::scratch s;
    const std::string out = s.file("out");
    test_run run(out, {3, 2}, 2);
    run_state& d = run.d;
    const auto names = [&d] {
        std::vector<std::string> n = result_file_names(d);
        for (std::string& name : n) name = fs::path(name).filename();
        return std::set<std::string>(n.begin(), n.end());
    };
    EXPECT_EQ(names(), (std::set<std::string>{"out_0_mcmc", "out_1_mcmc", "out_params", "out_information", "out_snps.tsv",
                                              "out_samples.tsv", "out_0.sample", "out_1.sample"}));
    d.model_test = 1, d.write_vcf = true, d.print_params = true, d.single = 2;
    EXPECT_EQ(names(), (std::set<std::string>{"out_0_mcmc", "out_params", "out_information", "out_tests", "out_snps.tsv",
                                              "out_samples.tsv", "out_0.sample", "out.vcf.gz", "out.vcf.gz.csi", "params"}));
    d.model_test = 0, d.write_vcf = false, d.print_params = false, d.single = 0;
    // Whatever fails, the earlier set stays as it was and nothing else is left.
    const std::set<std::string> earlier = {"out_0_mcmc", "out_params", "out.vcf.gz"};
    for (const std::string& f : earlier) support::write_file(s.work() / f, "earlier " + f + "\n");
    const auto set_error = [&](const std::function<void(result_set&)>& f, const settings* of = nullptr) -> std::string {
        std::string message;
        try {
            result_set set(out, result_file_names(of ? *of : d));
            f(set);
        } catch (const run_error& e) {
            message = e.what();
        }
        for (const std::string& f : support::listing(s.work()))
            EXPECT_TRUE(earlier.count(f) || message.empty() || fs::is_directory(s.work() / f)) << f << " left after: " << message;
        for (const std::string& f : earlier)
            EXPECT_TRUE(message.empty() || support::read_file(s.work() / f) == "earlier " + f + "\n") << f << " changed: " << message;
        return message;
    };
    const auto output = [&](result_set& set) {
        run.write(set);
        set.commit();
    };
    EXPECT_EQ(set_error([&](result_set& set) {
                  result_set second(d.output_prefix, {s.file("other")});
                  (void)set;
              }),
              "another tarvix++ run is writing the results of the prefix " + out + " (it holds " + out + ".lock)");
    fs::create_directory(s.file("out_1.sample"));
    EXPECT_EQ(set_error([](result_set&) {}), "output file " + s.file("out_1.sample") + " is a directory");
    fs::remove(s.file("out_1.sample"));
    with_file_size_limit(50, [&] { EXPECT_EQ(set_error(output), out + "_0.sample: cannot write: File too large"); });
    EXPECT_EQ(set_error([&](result_set& set) {
                  fs::create_directory(out + "_information");   // appears while the run writes
                  output(set);
              }).rfind(out + "_information: cannot rename", 0),
              0u);
    fs::remove(out + "_information");
    d.write_vcf = true;
    test_run big(out, std::vector<int>(20, 50), 20);   // twenty cohorts of 50: the VCF holds all 1000 individuals
    big.d.write_vcf = true, big.d.sampling_final_phase = false;
    unsigned state = 12345;
    for (auto& snp_calls : big.stored_calls)
        for (auto& cohort : snp_calls)
            for (auto& v : cohort) {
                state = state * 1103515245u + 12345u;
                v = {(state >> 8) % 10000 / 10000.0, 0, 0, 0};
                v[1] = 1 - v[0];
            }
    // htslib 1.16 does not free a compressed stream whose last flush fails; the run ends right
    // after such an error, so only this test would see the leak.
#if defined(__SANITIZE_ADDRESS__)
    __lsan_disable();
#endif
    with_file_size_limit(60000, [&] {
        const std::string message = set_error(
            [&](result_set& set) { big.write(set); }, &big.d);
        EXPECT_EQ(message.rfind(out + ".vcf.gz: cannot write", 0), 0u) << message;
    });
#if defined(__SANITIZE_ADDRESS__)
    __lsan_enable();
#endif
    // A complete run replaces the whole set.
    EXPECT_EQ(set_error(output), "");
    EXPECT_EQ(support::read_file(out + "_0_mcmc").substr(0, 10), "SNP_A-100 ");
}
