#include "output/output_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "output/result_layout.hpp"
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

// One result file, written under its temporary name and renamed into place only once it is
// complete and closed, so that an interrupted or failed run never leaves a truncated file under
// the final name, and an older file of that name stays as it was until the rename.
class result_file {
public:
    explicit result_file(std::string name) : name_(std::move(name)), temporary_(name_ + partial_suffix)
    {
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0) fail("cannot create " + temporary_);
    }
    result_file(const result_file&) = delete;
    result_file& operator=(const result_file&) = delete;

    ~result_file()
    {
        if (fd_ >= 0) ::close(fd_);
        if (!renamed_) ::unlink(temporary_.c_str());
    }

    void write(const std::string& text)
    {
        const char* p = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_, p, left);
            if (n < 0) {
                if (errno == EINTR) continue;
                fail("cannot write");
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
    }

    void commit()
    {
        // Flushed to the device before the rename, so a crash cannot leave the final name empty.
        if (::fsync(fd_) != 0 && errno != EINVAL) fail("cannot write");
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) fail("cannot write");
        if (std::rename(temporary_.c_str(), name_.c_str()) != 0)
            fail("cannot rename " + temporary_ + " into place");
        renamed_ = true;
    }

private:
    [[noreturn]] void fail(const std::string& what) const
    {
        throw run_error(name_ + ": " + what + ": " + std::strerror(errno));
    }

    std::string name_, temporary_;
    int fd_ = -1;
    bool renamed_ = false;
};

// The one formatting stream of all result files: its number format carries over from file to
// file. Text is passed on to the current file in blocks.
class result_writer {
public:
    std::ostream& out() { return text_; }

    void open(const std::string& name) { file_.emplace(name); }

    void end_line()
    {
        text_ << '\n';
        if (text_.tellp() >= block_size) pass_on();
    }

    void close()
    {
        pass_on();
        file_->commit();
        file_.reset();
    }

private:
    static constexpr std::streamoff block_size = 1 << 16;

    void pass_on()
    {
        file_->write(text_.str());
        text_.str(std::string());
    }

    std::ostringstream text_;
    std::optional<result_file> file_;
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

void write_params_line(std::ostream& out, const params& p)
{
    for (double v : p.alpha) out << v << ' ';
    for (double v : p.eta) out << v << ' ';
    for (const auto& means : p.mu)
        for (const auto& m : means) out << m[0] << ' ' << m[1] << ' ';
    for (double v : p.sigma) out << v << ' ';
    for (double v : p.varfrac) out << v << ' ';
    for (const auto& rj : p.r)
        for (double v : rj) out << v << ' ';
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

void check_one_file(const std::string& name)
{
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw run_error("output file " + name + " is a directory");
    const std::string temporary = name + partial_suffix;
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int e = errno;
        if (e == ENAMETOOLONG) throw run_error("output file name too long: " + name);
        throw run_error("cannot create output file " + name + ": " + std::strerror(e));
    }
    ::close(fd);
    ::unlink(temporary.c_str());
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

void check_output_files(const data& d)
{
    std::vector<std::string> names;
    for (std::size_t j = 0; j < d.input_files.size(); ++j) {
        names.push_back(call_file_name(d.output_prefix, static_cast<int>(j)));
        names.push_back(sample_file_name(d.output_prefix, static_cast<int>(j)));
    }
    names.push_back(params_file_name(d.output_prefix));
    names.push_back(information_file_name(d.output_prefix));
    if (d.model_test != 0) names.push_back(tests_file_name(d.output_prefix));
    if (d.print_params) names.push_back("params");
    if (d.write_vcf) {
        names.push_back(vcf_file_name(d.output_prefix));
        names.push_back(vcf_index_name(d.output_prefix));
    }
    for (const auto& name : names) check_one_file(name);
}

void data::output_mcmc()
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

    // Sampled values are counts over the final-phase iterations after burn-in.
    const double scale = sampling_final_phase ? static_cast<double>(n_iter) : 1.0;
    result_writer w;
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
        write_text_fields(out, snps[s]);
        out << p.final_log_posterior << ' ';
        for (double v : p.info1) out << v << ' ';
        for (double v : p.info2) out << v << ' ';
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
    if (write_vcf) ::write_vcf(*this, scale);
}
