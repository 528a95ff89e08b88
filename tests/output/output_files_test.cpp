#include "output/output_files.hpp"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdlib>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "output_test_support.hpp"
#include "state/data.hpp"
#include "state/error.hpp"

namespace fs = std::filesystem;
using namespace output_test;

namespace {

// The call values of one call line (fields after the five text fields).
std::vector<std::string> call_fields(const std::string& line)
{
    auto f = fields_of(line);
    return {f.begin() + 5, f.end()};
}

}  // namespace

TEST(OutputFiles, OneCohortHeadersAndColumnCounts)
{
    temp_dir dir;
    data d;
    make_run(d, dir, {3}, 2);
    run_output(d);

    EXPECT_EQ(dir.entries(),
              (std::vector<std::string>{"out_0.sample", "out_0_mcmc", "out_information", "out_params"}));
    // The Oxford sample file: two header lines, then one line per individual of the call file.
    EXPECT_EQ(read_file(dir.file("out_0.sample")),
              "ID_1 ID_2 missing\n0 0 0\nc0_s0 c0_s0 0\nc0_s1 c0_s1 0\nc0_s2 c0_s2 0\n");

    const auto calls = lines_of(read_file(dir.file("out_0_mcmc")));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "SNP_A-100 rs5000 123400 A G 1 0 0 1 0 0 1 0 0 ");
    EXPECT_EQ(fields_of(calls[1]).size(), 14u);

    const auto par = lines_of(read_file(dir.file("out_params")));
    ASSERT_EQ(par.size(), 3u);
    EXPECT_EQ(par[0], "SNP_ID rs position allele1 allele2 alpha_0 eta_0 mu_0_0_0 mu_0_0_1 mu_0_1_0 "
                      "mu_0_1_1 mu_0_2_0 mu_0_2_1 sigma_0 varfrac_0 r_0_0 r_0_1 r_0_2 ");
    for (const auto& line : par) EXPECT_EQ(fields_of(line).size(), 18u) << line;
    EXPECT_EQ(par[2], "SNP_A-101 rs5001 123401 A G 0.123457 0.0123457 1 0.1 0.7 0.7 0.1 1 0.05 0.25 "
                      "0.01 0.9 0.02 ");

    const auto info = lines_of(read_file(dir.file("out_information")));
    ASSERT_EQ(info.size(), 3u);
    EXPECT_EQ(info[0], "SNP_ID rs position allele1 allele2 final_log_posterior info1_0 info2_0 ");
    EXPECT_EQ(info[1], "SNP_A-100 rs5000 123400 A G -1234.57 12.5 -1 ");
    for (const auto& line : info) EXPECT_EQ(fields_of(line).size(), 8u) << line;

    // Every line, header included, ends in one blank and a single newline.
    for (const char* name : {"out_0_mcmc", "out_params", "out_information"}) {
        const std::string text = read_file(dir.file(name));
        ASSERT_GE(text.size(), 2u);
        EXPECT_EQ(text.substr(text.size() - 2), " \n") << name;
        for (const auto& line : lines_of(text)) {
            ASSERT_FALSE(line.empty()) << name;
            EXPECT_EQ(line.back(), ' ') << name;
            EXPECT_NE(line.substr(line.size() - 2 < line.size() ? line.size() - 2 : 0), "  ") << name;
        }
    }
}

TEST(OutputFiles, LargeFileIsComplete)
{
    // Far more text than one block: every line arrives whole and in order.
    temp_dir dir;
    data d;
    make_run(d, dir, {2000}, 40);
    d.stored_calls[39][0][1999] = {0, 0, 5, 5};
    run_output(d);
    const auto lines = lines_of(read_file(dir.file("out_0_mcmc")));
    ASSERT_EQ(lines.size(), 40u);
    std::string ones;
    for (int i = 0; i < 2000; ++i) ones += "1 0 0 ";
    for (int s = 0; s < 39; ++s)
        EXPECT_EQ(lines[s], make_snp(s).SNP_ID + " rs" + std::to_string(5000 + s) + " " +
                                std::to_string(123400 + s) + " A G " + ones);
    EXPECT_EQ(lines[39].substr(lines[39].size() - 18), " 1 0 0 0 0 0.5000 ");
    EXPECT_EQ(fields_of(lines[39]).size(), 5u + 3u * 2000u);
}

TEST(OutputFiles, TwoCohortHeaders)
{
    temp_dir dir;
    data d;
    make_run(d, dir, {2, 3}, 1);
    run_output(d);

    EXPECT_EQ(fields_of(read_file(dir.file("out_0_mcmc"))).size(), 5u + 6u);
    EXPECT_EQ(fields_of(read_file(dir.file("out_1_mcmc"))).size(), 5u + 9u);

    const auto par = lines_of(read_file(dir.file("out_params")));
    const std::string begin = "SNP_ID rs position allele1 allele2 alpha_0 alpha_1 eta_0 eta_1 mu_0_0_0 "
                              "mu_0_0_1 mu_0_1_0 mu_0_1_1 mu_0_2_0 mu_0_2_1 mu_1_0_0 ";
    EXPECT_EQ(par[0].substr(0, begin.size()), begin);
    const std::string end = " r_1_1 r_1_2 ";
    EXPECT_EQ(par[0].substr(par[0].size() - end.size()), end);
    EXPECT_EQ(fields_of(par[0]).size(), 5u + 26u);
    EXPECT_EQ(fields_of(par[0])[21], "sigma_0");
    EXPECT_EQ(fields_of(par[0])[24], "varfrac_1");
    EXPECT_EQ(fields_of(par[1]).size(), 5u + 26u);

    const auto info = lines_of(read_file(dir.file("out_information")));
    EXPECT_EQ(info[0], "SNP_ID rs position allele1 allele2 final_log_posterior info1_0 info1_1 "
                       "info2_0 info2_1 ");
    EXPECT_EQ(fields_of(info[1]).size(), 10u);
}

TEST(OutputFiles, CallValueRule)
{
    struct case_t {
        double v;
        const char* text;
    };
    const case_t cases[] = {
        {1.0, "1"},      {0.9991, "1"},     {0.999, "0.9990"}, {0.5, "0.5000"},
        {0.001, "0.0010"}, {0.0009, "0"},   {0.0, "0"},        {0.12345, "0.1235"},
        {std::numeric_limits<double>::quiet_NaN(), "nan"},
    };
    for (const auto& c : cases) {
        std::ostringstream out;
        write_call_value(out, c.v);
        EXPECT_EQ(out.str(), c.text) << c.v;
    }

    // Integers leave the stream in its default format; a real switches it to 4 fixed decimals.
    std::ostringstream out;
    write_call_value(out, 0.9995);
    write_call_value(out, 0.0001);
    out << ' ' << 0.123456789 << ' ';
    write_call_value(out, 0.25);
    out << ' ' << 0.123456789 << ' ' << 2.0;
    EXPECT_EQ(out.str(), "10 0.123457 0.2500 0.1235 2.0000");
}

TEST(OutputFiles, NumberFormatCarriesOverAndCountsAreDivided)
{
    // All call values integral: the parameter and information files keep the default format.
    {
        temp_dir dir;
        data d;
        make_run(d, dir, {2, 2}, 2);
        d.stored_calls[1][1][0] = {0, 0, 10, 0};
        run_output(d);
        EXPECT_EQ(call_fields(lines_of(read_file(dir.file("out_1_mcmc")))[1]),
                  (std::vector<std::string>{"0", "0", "1", "1", "0", "0"}));
        const auto par = fields_of(lines_of(read_file(dir.file("out_params")))[1]);
        EXPECT_EQ(par[5], "0.123457");
        EXPECT_EQ(par[7], "0.0123457");
        EXPECT_EQ(fields_of(lines_of(read_file(dir.file("out_information")))[2])[5], "-1234.57");
    }
    // One fractional value in the very last call line: every later real has 4 fixed decimals,
    // while the earlier call lines stay integral.
    {
        temp_dir dir;
        data d;
        make_run(d, dir, {2, 2}, 2);
        d.stored_calls[1][1][1] = {2.5, 7.5, 0, 0};
        run_output(d);
        const auto calls0 = lines_of(read_file(dir.file("out_0_mcmc")));
        EXPECT_EQ(call_fields(calls0[1]), (std::vector<std::string>{"1", "0", "0", "1", "0", "0"}));
        EXPECT_EQ(call_fields(lines_of(read_file(dir.file("out_1_mcmc")))[1]),
                  (std::vector<std::string>{"1", "0", "0", "0.2500", "0.7500", "0"}));
        const auto par = fields_of(lines_of(read_file(dir.file("out_params")))[1]);
        EXPECT_EQ(par[5], "0.1235");
        EXPECT_EQ(par[7], "0.0123");
        EXPECT_EQ(par[9], "1.0000");
        const auto info = fields_of(lines_of(read_file(dir.file("out_information")))[2]);
        EXPECT_EQ(info[5], "-1234.5679");
        EXPECT_EQ(info[6], "12.5000");
        EXPECT_EQ(info[8], "-1.0000");
    }
    // Counts over n_iter iterations become shares; the null class is not written, so an
    // individual mostly in the null class has genotype values summing to less than 1.
    // A maximising final phase writes the stored probabilities as they are.
    for (bool sampled : {true, false}) {
        temp_dir dir;
        data d;
        make_run(d, dir, {4}, 1);
        d.sampling_final_phase = sampled;
        d.n_iter = 1000;
        const double scale = sampled ? 1 : 1000;  // stored counts, or shares as they are
        d.stored_calls[0][0] = {{250 / scale, 750 / scale, 0, 0},
                                {1000 / scale, 0, 0, 0},
                                {100 / scale, 100 / scale, 100 / scale, 700 / scale},
                                {0.5 / scale, 990 / scale, 0, 0}};
        run_output(d);
        EXPECT_EQ(call_fields(lines_of(read_file(dir.file("out_0_mcmc")))[0]),
                  (std::vector<std::string>{"0.2500", "0.7500", "0", "1", "0", "0", "0.1000",
                                            "0.1000", "0.1000", "0", "0.9900", "0"}))
            << "sampled " << sampled;
    }
}

TEST(OutputFiles, MissingIndividualsAndPooledCohorts)
{
    // Columns 0 and 3 of five missing on the first SNP; none missing on the second, whose
    // record carries no missing lists at all.
    {
        temp_dir dir;
        data d;
        make_run(d, dir, {5}, 2);
        d.snps[0].missing = {{0, 3}};
        d.stored_calls[0][0] = {{10, 0, 0, 0}, {0, 5, 5, 0}, {0, 0, 10, 0}};
        d.stored_calls[1][0] = {{10, 0, 0, 0}, {0, 10, 0, 0}, {0, 0, 10, 0}, {10, 0, 0, 0}, {0, 0, 0, 10}};
        run_output(d);
        const auto lines = lines_of(read_file(dir.file("out_0_mcmc")));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "SNP_A-100 rs5000 123400 A G 0 0 0 1 0 0 0 0.5000 0.5000 0 0 0 0 0 1 ");
        EXPECT_EQ(lines[1], "SNP_A-101 rs5001 123401 A G 1 0 0 0 1 0 0 0 1 1 0 0 0 0 0 ");

        // A stored call list that does not match the analysed individuals is refused.
        d.stored_calls[0][0].pop_back();
        quiet_console quiet;
        EXPECT_THROW(d.output_mcmc(), run_error);
    }
    // Pooled into one result cohort ("-single 2"): input cohort 0's columns, then cohort 1's.
    {
        temp_dir dir;
        data d;
        make_run(d, dir, {2, 3}, 1);
        d.n_cohorts = 1;
        d.results[0] = make_result(1, 0.5);
        d.snps[0].missing = {{1}, {0}};
        d.stored_calls[0] = {{{10, 0, 0, 0}, {0, 10, 0, 0}, {0, 0, 10, 0}}};
        run_output(d);
        EXPECT_EQ(dir.entries(),
                  (std::vector<std::string>{"out_0.sample", "out_0_mcmc", "out_information", "out_params"}));
        EXPECT_EQ(read_file(dir.file("out_0.sample")), "ID_1 ID_2 missing\n0 0 0\nc0_s0 c0_s0 0\nc0_s1 c0_s1 0\n"
                                                       "c1_s0 c1_s0 0\nc1_s1 c1_s1 0\nc1_s2 c1_s2 0\n");
        const auto lines = lines_of(read_file(dir.file("out_0_mcmc")));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0], "SNP_A-100 rs5000 123400 A G 1 0 0 0 0 0 0 0 0 0 1 0 0 0 1 ");
        EXPECT_EQ(fields_of(lines[0]).size(), 5u + 3u * 5u);
        EXPECT_EQ(fields_of(lines_of(read_file(dir.file("out_params")))[0]).size(), 18u);
    }
}

TEST(OutputFiles, TestsFile)
{
    temp_dir dir;
    data d;
    make_run(d, dir, {1}, 2);

    // Model test off: no tests file is written and an existing one is left as it was.
    write_file(dir.file("out_tests"), "old results\n");
    run_output(d);
    EXPECT_EQ(read_file(dir.file("out_tests")), "old results\n");

    d.model_test = 1;
    run_output(d);
    EXPECT_EQ(read_file(dir.file("out_tests")),
              "SNP_ID rs position bayes factors\nSNP_A-100 rs5000 123400 NA\nSNP_A-101 rs5001 123401 NA\n");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out_0.sample", "out_0_mcmc", "out_information",
                                                       "out_params", "out_tests"}));
}

TEST(OutputFiles, FailuresLeaveEarlierFilesIntact)
{
    // A folder that does not exist.
    {
        temp_dir dir;
        data d;
        make_run(d, dir, {1}, 1);
        d.output_prefix = dir.file("absent/out");
        quiet_console quiet;
        try {
            d.output_mcmc();
            ADD_FAILURE() << "no error";
        } catch (const run_error& e) {
            EXPECT_NE(std::string(e.what()).find("absent/out_0_mcmc: cannot create"), std::string::npos)
                << e.what();
            EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos);
        }
    }
    // The temporary name is taken by a directory: the older call file keeps its content.
    {
        temp_dir dir;
        data d;
        make_run(d, dir, {1}, 1);
        write_file(dir.file("out_0_mcmc"), "old calls\n");
        fs::create_directory(dir.file("out_0_mcmc.partial"));
        quiet_console quiet;
        EXPECT_THROW(d.output_mcmc(), run_error);
        EXPECT_EQ(read_file(dir.file("out_0_mcmc")), "old calls\n");
        EXPECT_TRUE(fs::is_directory(dir.file("out_0_mcmc.partial")));
    }
    // The final name of the information file is a directory: the rename fails, the files not yet
    // reached keep their content and no temporary file is left behind.
    {
        temp_dir dir;
        data d;
        make_run(d, dir, {1}, 1);
        d.model_test = 1;
        write_file(dir.file("out_tests"), "old tests\n");
        fs::create_directory(dir.file("out_information"));
        quiet_console quiet;
        try {
            d.output_mcmc();
            ADD_FAILURE() << "no error";
        } catch (const run_error& e) {
            EXPECT_EQ(std::string(e.what()).rfind(dir.file("out_information") + ": cannot rename", 0), 0u)
                << e.what();
        }
        EXPECT_EQ(read_file(dir.file("out_tests")), "old tests\n");
        EXPECT_TRUE(fs::is_empty(dir.file("out_information")));
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out_0_mcmc", "out_information", "out_params",
                                                           "out_tests"}));
    }
}

TEST(OutputFiles, WriteErrorIsReported)
{
    // A file size limit makes the writes themselves fail (EFBIG), as a full disk would.
    temp_dir dir;
    data d;
    make_run(d, dir, {200}, 20);
    write_file(dir.file("out_0_mcmc"), "old calls\n");

    struct rlimit old_limit {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_limit;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    {
        quiet_console quiet;
        try {
            d.output_mcmc();
        } catch (const run_error& e) {
            message = e.what();
        }
    }
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(message, dir.file("out_0_mcmc") + ": cannot write: File too large");
    EXPECT_EQ(read_file(dir.file("out_0_mcmc")), "old calls\n");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out_0_mcmc"});
}

TEST(OutputFiles, CheckBeforeTheRun)
{
    temp_dir dir;
    data d;
    make_run(d, dir, {1, 1}, 0);
    write_file(dir.file("out_params"), "old params\n");

    // Everything creatable: nothing is left behind and existing files are not touched.
    check_output_files(d);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out_params"});
    EXPECT_EQ(read_file(dir.file("out_params")), "old params\n");

    auto message = [&d]() -> std::string {
        try {
            check_output_files(d);
        } catch (const run_error& e) {
            return e.what();
        }
        return "";
    };

    d.output_prefix = dir.file("absent/out");
    EXPECT_EQ(message(), "cannot create output file " + dir.file("absent/out_0_mcmc") +
                             ": No such file or directory");

    d.output_prefix = dir.file(std::string(300, 'x'));
    EXPECT_EQ(message(), "output file name too long: " + d.output_prefix + "_0_mcmc");

    // Every input cohort's call file is checked, and a final name that is a directory is refused.
    d.output_prefix = dir.file("out");
    fs::create_directory(dir.file("out_1_mcmc"));
    EXPECT_EQ(message(), "output file " + dir.file("out_1_mcmc") + " is a directory");
    fs::remove(dir.file("out_1_mcmc"));

    // Every input cohort's sample file too.
    fs::create_directory(dir.file("out_1.sample"));
    EXPECT_EQ(message(), "output file " + dir.file("out_1.sample") + " is a directory");
    fs::remove(dir.file("out_1.sample"));

    // The VCF and its index only when the VCF is requested.
    fs::create_directory(dir.file("out.vcf.gz.csi"));
    EXPECT_EQ(message(), "");
    d.write_vcf = true;
    EXPECT_EQ(message(), "output file " + dir.file("out.vcf.gz.csi") + " is a directory");
    d.write_vcf = false;
    fs::remove(dir.file("out.vcf.gz.csi"));

    // The tests file only when the model test is on.
    fs::create_directory(dir.file("out_tests"));
    EXPECT_EQ(message(), "");
    d.model_test = 2;
    EXPECT_EQ(message(), "output file " + dir.file("out_tests") + " is a directory");
    d.model_test = 0;

    // The trace file "params" is checked in the working directory when it is requested.
    const fs::path old_cwd = fs::current_path();
    fs::current_path(dir.path());
    fs::create_directory("params");
    const std::string without_trace = message();
    d.print_params = true;
    const std::string with_trace = message();
    fs::current_path(old_cwd);
    EXPECT_EQ(without_trace, "");
    EXPECT_EQ(with_trace, "output file params is a directory");
}
