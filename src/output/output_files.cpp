#include "output/output_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "output/result_layout.hpp"
#include "output/result_set.hpp"
#include "output/vcf_file.hpp"
#include "state/data.hpp"
#include "state/error.hpp"

namespace {

std::string call_file_name(const std::string& prefix, int j)
{
    return prefix + "_" + std::to_string(j) + "_mcmc";
}

std::string params_file_name(const std::string& prefix) { return prefix + "_params"; }
std::string information_file_name(const std::string& prefix) { return prefix + "_information"; }
std::string tests_file_name(const std::string& prefix) { return prefix + "_tests"; }
std::string sample_file_name(const std::string& prefix, int j)
{
    return prefix + "_" + std::to_string(j) + ".sample";
}

// The one formatting stream of all result files: its number format carries over from file to
// file. Text is passed on to the current file's temporary in blocks.
class result_writer {
public:
    explicit result_writer(result_set& set) : set_(set) {}
    std::ostream& out() { return text_; }

    void open(const std::string& name) { file_ = set_.index_of(name); }

    void end_line()
    {
        text_ << '\n';
        if (text_.tellp() >= block_size) pass_on();
    }

    void close() { pass_on(); }

private:
    static constexpr std::streamoff block_size = 1 << 16;

    void pass_on()
    {
        set_.write(file_, text_.str());
        text_.str(std::string());
    }

    result_set& set_;
    std::size_t file_ = 0;
    std::ostringstream text_;
};

void write_text_fields(std::ostream& out, const snp& s)
{
    out << s.SNP_ID << ' ' << s.rs << ' ' << s.position << ' ' << s.allele1 << ' ' << s.allele2
        << ' ';
}

// One call line: for every file column of the cohorts making up the result cohort, the three
// genotype values of the next analysed individual (divided by `scale`), or "0 0 0" for an
// individual that was not analysed on this SNP.
void write_call_line(std::ostream& out, const data& d, int s, int j, const std::vector<int>& cohorts,
                     double scale)
{
    write_text_fields(out, d.snps[static_cast<std::size_t>(s)]);
    for_each_individual(d, s, j, cohorts, [&](int, int, const std::array<double, 4>* v) {
        if (!v) {
            out << "0 0 0 ";
            return;
        }
        for (int k = 0; k < 3; ++k) {
            write_call_value(out, (*v)[static_cast<std::size_t>(k)] / scale);
            out << ' ';
        }
    });
}

void check_result_sizes(const params& p, std::size_t n, int s)
{
    if (p.alpha.size() != n || p.eta.size() != n || p.mu.size() != n || p.sigma.size() != n ||
        p.varfrac.size() != n || p.r.size() != n || p.info1.size() != n || p.info2.size() != n)
        inconsistent_results("SNP " + std::to_string(s) + ": result record does not hold " +
                             std::to_string(n) + " cohorts");
}

void write_params_header(std::ostream& out, int n_cohorts)
{
    out << "SNP_ID rs position allele1 allele2 ";
    for (const char* name : {"alpha_", "eta_"})
        for (int j = 0; j < n_cohorts; ++j) out << name << j << ' ';
    for (int j = 0; j < n_cohorts; ++j)
        for (int k = 0; k < 3; ++k) out << "mu_" << j << '_' << k << "_0 mu_" << j << '_' << k << "_1 ";
    for (const char* name : {"sigma_", "varfrac_"})
        for (int j = 0; j < n_cohorts; ++j) out << name << j << ' ';
    for (int j = 0; j < n_cohorts; ++j)
        for (int k = 0; k < 3; ++k) out << "r_" << j << '_' << k << ' ';
}

// A number of the parameter or information file; every number of a failed fit is "NA".
void write_number(std::ostream& out, double v, bool failed)
{
    if (failed)
        out << "NA ";
    else
        out << v << ' ';
}

void write_params_line(std::ostream& out, const params& p)
{
    const bool failed = fit_failed(p);
    for (double v : p.alpha) write_number(out, v, failed);
    for (double v : p.eta) write_number(out, v, failed);
    for (const auto& means : p.mu)
        for (const auto& m : means) write_number(out, m[0], failed), write_number(out, m[1], failed);
    for (double v : p.sigma) write_number(out, v, failed);
    for (double v : p.varfrac) write_number(out, v, failed);
    for (const auto& rj : p.r)
        for (double v : rj) write_number(out, v, failed);
}

// Oxford sample file of result cohort j: the two standard header lines, then each individual
// of the matching call file, in its column order, with its identifier as both IDs.
void write_sample_file(result_writer& w, const data& d, int j)
{
    std::ostream& out = w.out();
    w.open(sample_file_name(d.output_prefix, j));
    out << "ID_1 ID_2 missing";
    w.end_line();
    out << "0 0 0";
    w.end_line();
    for (int c : input_cohorts_of(d, j))
        for (const std::string& id : d.sample_ids[static_cast<std::size_t>(c)]) {
            out << id << ' ' << id << " 0";
            w.end_line();
        }
    w.close();
}

// Result cohorts: one call and sample file each; all input cohorts make one when they stay
// pooled to the end.
int result_cohorts(const data& d)
{
    return d.single != 0 && d.single != 1 ? 1 : static_cast<int>(d.input_files.size());
}

}  // namespace

void write_call_value(std::ostream& out, double v)
{
    if (v > 0.999)
        out << '1';
    else if (v < 0.001)
        out << '0';
    else
        out << std::fixed << std::setprecision(4) << v;
}

std::vector<std::string> result_file_names(const data& d)
{
    std::vector<std::string> names;
    const std::string& prefix = d.output_prefix;
    for (int j = 0; j < result_cohorts(d); ++j) names.push_back(call_file_name(prefix, j));
    names.push_back(params_file_name(prefix));
    names.push_back(information_file_name(prefix));
    if (d.model_test != 0) names.push_back(tests_file_name(prefix));
    for (int j = 0; j < result_cohorts(d); ++j) names.push_back(sample_file_name(prefix, j));
    if (d.write_vcf) {
        names.push_back(vcf_file_name(prefix));
        names.push_back(vcf_index_name(prefix));
    }
    if (d.print_params) names.push_back(trace_file_name);
    return names;
}

void data::output_mcmc(result_set& set)
{
    std::cout << "writing output...." << std::flush;

    const auto n = static_cast<std::size_t>(n_snps);
    if (snps.size() != n || results.size() != n || stored_calls.size() != n)
        inconsistent_results(std::to_string(n_snps) + " SNPs but " + std::to_string(snps.size()) +
                             " records, " + std::to_string(results.size()) + " results and " +
                             std::to_string(stored_calls.size()) + " stored calls");
    const auto nc = static_cast<std::size_t>(n_cohorts);
    for (int s = 0; s < n_snps; ++s) {
        check_result_sizes(results[static_cast<std::size_t>(s)], nc, s);
        if (stored_calls[static_cast<std::size_t>(s)].size() != nc)
            inconsistent_results("SNP " + std::to_string(s) + ": stored calls do not hold " +
                                 std::to_string(n_cohorts) + " cohorts");
    }
    check_sample_ids(*this);
    for (std::size_t s = 0; s < n; ++s)
        if (fit_failed(results[s]))
            std::cerr << "warning: SNP " << printable(snps[s].SNP_ID) << ": its fit gave numbers that are not finite "
                      << "(log posterior " << results[s].final_log_posterior
                      << "); its calls are written as missing and its parameters as NA" << std::endl;

    // Sampled values are counts over the final-phase iterations after burn-in.
    const double scale = sampling_final_phase ? static_cast<double>(n_iter) : 1.0;
    result_writer w(set);
    std::ostream& out = w.out();

    for (int j = 0; j < n_cohorts; ++j) {
        const std::vector<int> cohorts = input_cohorts_of(*this, j);
        w.open(call_file_name(output_prefix, j));
        for (int s = 0; s < n_snps; ++s) {
            write_call_line(out, *this, s, j, cohorts, scale);
            w.end_line();
        }
        w.close();
    }

    w.open(params_file_name(output_prefix));
    write_params_header(out, n_cohorts);
    w.end_line();
    for (std::size_t s = 0; s < n; ++s) {
        write_text_fields(out, snps[s]);
        write_params_line(out, results[s]);
        w.end_line();
    }
    w.close();

    w.open(information_file_name(output_prefix));
    out << "SNP_ID rs position allele1 allele2 final_log_posterior ";
    for (const char* name : {"info1_", "info2_"})
        for (int j = 0; j < n_cohorts; ++j) out << name << j << ' ';
    w.end_line();
    for (std::size_t s = 0; s < n; ++s) {
        const params& p = results[s];
        const bool failed = fit_failed(p);
        write_text_fields(out, snps[s]);
        write_number(out, p.final_log_posterior, failed);
        for (double v : p.info1) write_number(out, v, failed);
        for (double v : p.info2) write_number(out, v, failed);
        w.end_line();
    }
    w.close();

    if (model_test != 0) {
        // Nothing computes a Bayes factor, so the column holds NA.
        w.open(tests_file_name(output_prefix));
        out << "SNP_ID rs position bayes factors";
        w.end_line();
        for (const snp& rec : snps) {
            out << rec.SNP_ID << ' ' << rec.rs << ' ' << rec.position << " NA";
            w.end_line();
        }
        w.close();
    }

    for (int j = 0; j < n_cohorts; ++j) write_sample_file(w, *this, j);
    if (write_vcf) ::write_vcf(*this, scale, set);
}
