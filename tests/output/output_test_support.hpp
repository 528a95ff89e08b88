#pragma once
// Shared by the tests of the result files: a scratch folder, a silenced console, file reading,
// and a small run whose results are ready to be written.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "../schedule/program_run.hpp"
#include "state/data.hpp"

namespace output_test {

namespace fs = std::filesystem;

// A fresh directory, removed with everything in it at the end of the test.
class temp_dir {
public:
    temp_dir()
    {
        std::string pattern = (fs::temp_directory_path() / "tarvix_output_XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~temp_dir()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& path() const { return path_; }

    // Names of everything in the directory, sorted.
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path path_;
};

// Silences standard output for the lifetime of the object.
class quiet_console {
public:
    quiet_console() : old_(std::cout.rdbuf(sink_.rdbuf())) {}
    ~quiet_console() { std::cout.rdbuf(old_); }
    std::string str() const { return sink_.str(); }

private:
    std::ostringstream sink_;
    std::streambuf* old_;
};

inline std::string read_file(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_file(const std::string& name, const std::string& text)
{
    std::ofstream(name, std::ios::binary) << text;
}

using program_run::fields_of;
using program_run::lines_of;

inline snp make_snp(int s)
{
    snp rec;
    rec.SNP_ID = "SNP_A-" + std::to_string(100 + s);
    rec.rs = "rs" + std::to_string(5000 + s);
    rec.position = std::to_string(123400 + s);
    rec.allele1 = "A";
    rec.allele2 = "G";
    return rec;
}

inline params make_result(int n_cohorts, double base)
{
    params p;
    for (int j = 0; j < n_cohorts; ++j) {
        p.alpha.push_back(base);
        p.eta.push_back(base / 10);
        p.mu.push_back({{{1, 0.1}, {0.7, 0.7}, {0.1, 1}}});
        p.sigma.push_back(0.05);
        p.varfrac.push_back(0.25);
        p.r.push_back({0.01, 0.9, 0.02});
        p.info1.push_back(12.5);
        p.info2.push_back(-1);
    }
    p.final_log_posterior = -1234.56789;
    return p;
}

using call_values = std::vector<std::array<double, 4>>;

// A run with the given input cohorts (file columns each), as many result cohorts as inputs,
// individuals named c<cohort>_s<column>, and `n_snps` SNPs whose every individual sat in class 0
// for all n_iter = 10 sampled iterations.
inline void make_run(data& d, const temp_dir& dir, const std::vector<int>& columns, int n_snps)
{
    const int nc = static_cast<int>(columns.size());
    d.output_prefix = dir.file("out");
    d.n_cohorts = nc;
    d.n_file_individuals = columns;
    d.input_files.assign(columns.size(), "cohort.txt");
    d.sample_ids.clear();
    for (int c = 0; c < nc; ++c) {
        d.sample_ids.emplace_back();
        for (int i = 0; i < columns[static_cast<std::size_t>(c)]; ++i)
            d.sample_ids.back().push_back("c" + std::to_string(c) + "_s" + std::to_string(i));
    }
    d.n_snps = n_snps;
    d.n_iter = 10;
    d.sampling_final_phase = true;
    d.snps.clear();
    d.results.clear();
    d.stored_calls.clear();
    for (int s = 0; s < n_snps; ++s) {
        d.snps.push_back(make_snp(s));
        d.results.push_back(make_result(nc, 0.123456789));
        std::vector<call_values> calls;
        for (int c : columns) calls.push_back(call_values(c, {10, 0, 0, 0}));
        d.stored_calls.push_back(calls);
    }
}

inline void run_output(data& d)
{
    quiet_console quiet;
    d.output_mcmc();
    EXPECT_EQ(quiet.str(), "writing output....");
}

}  // namespace output_test
