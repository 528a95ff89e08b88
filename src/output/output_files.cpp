#include "output/output_files.hpp"

#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "output/priors_file.hpp"
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

void write_text_fields(std::ostream& out, const snp& s)
{
    out << s.SNP_ID << ' ' << s.rs << ' ' << s.position << ' ' << s.allele1 << ' ' << s.allele2
        << ' ';
}

// One call line: for every file column of the cohorts making up result cohort j, the three
// genotype values of the individual (divided by `scale`), or "0 0 0" for an individual that was
// not analysed on this SNP. Returns whether a value was written with decimals.
bool write_call_line(std::ostream& out, const settings& s, const cohort_description& cd, const snp& rec,
                     const std::vector<std::array<double, 4>>& values, bool failed, int j, double scale)
{
    bool decimals = false;
    write_text_fields(out, rec);
    for_each_individual(cd, rec, values, failed, input_cohorts_of(s, cd, j),
                        [&](int, int, const std::array<double, 4>* v) {
        if (!v) {
            out << "0 0 0 ";
            return;
        }
        for (int k = 0; k < 3; ++k) {
            decimals |= write_call_value(out, (*v)[static_cast<std::size_t>(k)] / scale);
            out << ' ';
        }
    });
    out << '\n';
    return decimals;
}

void check_result_sizes(const params& p, std::size_t n, const snp& rec)
{
    if (p.alpha.size() != n || p.eta.size() != n || p.mu.size() != n || p.sigma.size() != n ||
        p.varfrac.size() != n || p.r.size() != n || p.info1.size() != n || p.info2.size() != n)
        inconsistent_results("SNP " + rec.SNP_ID + ": result record does not hold " + std::to_string(n) +
                             " cohorts");
}

// A number of the parameter or information file; every number of a failed fit is "NA".
void write_number(std::ostream& out, double v, bool failed)
{
    if (failed)
        out << "NA ";
    else
        out << v << ' ';
}

void write_params_line(std::ostream& out, const snp& rec, const params& p, bool failed)
{
    write_text_fields(out, rec);
    for (double v : p.alpha) write_number(out, v, failed);
    for (double v : p.eta) write_number(out, v, failed);
    for (const auto& means : p.mu)
        for (const auto& m : means) write_number(out, m[0], failed), write_number(out, m[1], failed);
    for (double v : p.sigma) write_number(out, v, failed);
    for (double v : p.varfrac) write_number(out, v, failed);
    for (const auto& rj : p.r)
        for (double v : rj) write_number(out, v, failed);
    out << '\n';
}

void write_information_line(std::ostream& out, const snp& rec, const params& p, bool failed)
{
    write_text_fields(out, rec);
    write_number(out, p.final_log_posterior, failed);
    for (double v : p.info1) write_number(out, v, failed);
    for (double v : p.info2) write_number(out, v, failed);
    out << '\n';
}

std::string params_header(int n_cohorts)
{
    std::ostringstream out;
    out << "SNP_ID rs position allele1 allele2 ";
    for (const char* name : {"alpha_", "eta_"})
        for (int j = 0; j < n_cohorts; ++j) out << name << j << ' ';
    for (int j = 0; j < n_cohorts; ++j)
        for (int k = 0; k < 3; ++k) out << "mu_" << j << '_' << k << "_0 mu_" << j << '_' << k << "_1 ";
    for (const char* name : {"sigma_", "varfrac_"})
        for (int j = 0; j < n_cohorts; ++j) out << name << j << ' ';
    for (int j = 0; j < n_cohorts; ++j)
        for (int k = 0; k < 3; ++k) out << "r_" << j << '_' << k << ' ';
    out << '\n';
    return out.str();
}

std::string information_header(int n_cohorts)
{
    std::ostringstream out;
    out << "SNP_ID rs position allele1 allele2 final_log_posterior ";
    for (const char* name : {"info1_", "info2_"})
        for (int j = 0; j < n_cohorts; ++j) out << name << j << ' ';
    out << '\n';
    return out.str();
}

// Oxford sample file of result cohort j: the two standard header lines, then each individual
// of the matching call file, in its column order, with its identifier as both IDs.
std::string sample_file_text(const settings& s, const cohort_description& cd, int j)
{
    std::string text = "ID_1 ID_2 missing\n0 0 0\n";
    for (int c : input_cohorts_of(s, cd, j))
        for (const std::string& id : cd.sample_ids[static_cast<std::size_t>(c)]) text += id + ' ' + id + " 0\n";
    return text;
}

constexpr std::size_t block_size = 1 << 16;

}  // namespace

bool write_call_value(std::ostream& out, double v)
{
    if (v > 0.999)
        out << '1';
    else if (v < 0.001)
        out << '0';
    else {
        out << std::fixed << std::setprecision(4) << v;
        return true;
    }
    return false;
}

std::vector<std::string> result_file_names(const settings& s)
{
    std::vector<std::string> names;
    const std::string& prefix = s.output_prefix;
    if (s.learns_priors() && s.learn_only) return {prefix + priors_file_suffix};
    const int copies = s.snp_seeds ? 1 : 2;
    for (int j = 0; j < s.result_cohorts(); ++j) names.push_back(call_file_name(prefix, j));
    for (int c = 0; c < copies; ++c) names.push_back(params_file_name(prefix));
    for (int c = 0; c < copies; ++c) names.push_back(information_file_name(prefix));
    if (s.model_test != 0) names.push_back(tests_file_name(prefix));
    for (int j = 0; j < s.result_cohorts(); ++j) names.push_back(sample_file_name(prefix, j));
    if (s.write_vcf) {
        names.push_back(vcf_file_name(prefix));
        names.push_back(vcf_index_name(prefix));
    }
    if (s.print_params) names.push_back(trace_file_name);
    if (s.learns_priors()) names.push_back(prefix + priors_file_suffix);
    return names;
}

void format_results(const data& d, snp_output& out)
{
    const settings& s = d.cfg;
    const snp& rec = d.current;
    const params& p = d.current_result;
    const auto n_results = static_cast<std::size_t>(s.result_cohorts());
    check_result_sizes(p, n_results, rec);
    if (d.result_calls.size() != n_results)
        inconsistent_results("SNP " + rec.SNP_ID + ": stored calls do not hold " + std::to_string(n_results) +
                             " cohorts");
    const bool failed = fit_failed(p);
    // Sampled values are counts over the final phase's iterations after burn-in.
    const double scale = s.sampling_final_phase ? static_cast<double>(s.final_iterations()) : 1.0;

    out.identity = snp{};
    out.identity.SNP_ID = rec.SNP_ID;
    out.identity.rs = rec.rs;
    out.identity.position = rec.position;
    out.identity.allele1 = rec.allele1;
    out.identity.allele2 = rec.allele2;
    out.identity.chrom = rec.chrom;
    out.identity.alleles = rec.alleles;
    out.identity.allele_a = rec.allele_a;
    out.identity.allele_b = rec.allele_b;

    out.call_lines.resize(n_results);
    out.decimals = false;
    for (std::size_t j = 0; j < n_results; ++j) {
        std::ostringstream line;
        out.decimals |= write_call_line(line, s, d.cohorts, rec, d.result_calls[j], failed, static_cast<int>(j), scale);
        out.call_lines[j] = line.str();
    }
    // With -snp_seeds only the fixed format is ever written.
    for (int format = s.snp_seeds ? 1 : 0; format < 2; ++format) {
        std::ostringstream params_text, information_text;
        if (format == 1) {
            params_text << std::fixed << std::setprecision(4);
            information_text << std::fixed << std::setprecision(4);
        }
        write_params_line(params_text, rec, p, failed);
        write_information_line(information_text, rec, p, failed);
        out.params_line[static_cast<std::size_t>(format)] = params_text.str();
        out.information_line[static_cast<std::size_t>(format)] = information_text.str();
    }
    // Nothing computes a Bayes factor, so the column holds NA.
    out.tests_line = s.model_test != 0 ? rec.SNP_ID + ' ' + rec.rs + ' ' + rec.position + " NA\n" : std::string();
    if (s.write_vcf) vcf_values_of(s, d.cohorts, rec, p, d.result_calls, scale, out.vcf);
    out.trace = s.print_params ? d.params_trace.str() : std::string();
    out.warning.clear();
    if (failed) {
        std::ostringstream w;
        w << "warning: SNP " << printable(rec.SNP_ID) << ": its fit gave numbers that are not finite "
          << "(log posterior " << p.final_log_posterior
          << "); its calls are written as missing and its parameters as NA";
        out.warning = w.str();
    }
}

result_writer::result_writer(const settings& s, const cohort_description& cohorts, result_set& set)
    : cfg_(s), set_(set)
{
    check_sample_ids(cohorts);
    const std::string& prefix = s.output_prefix;
    pending_.resize(result_file_names(s).size());
    for (int j = 0; j < s.result_cohorts(); ++j) {
        call_files_.push_back(set.index_of(call_file_name(prefix, j)));
        set.write(set.index_of(sample_file_name(prefix, j)), sample_file_text(s, cohorts, j));
    }
    const int n = s.result_cohorts();
    for (int c = 0; c < 2; ++c) {
        params_file_[static_cast<std::size_t>(c)] = set.index_of(params_file_name(prefix), s.snp_seeds ? 0 : c);
        information_file_[static_cast<std::size_t>(c)] = set.index_of(information_file_name(prefix), s.snp_seeds ? 0 : c);
    }
    if (s.snp_seeds) format_ = 1;
    for (int c = format_ < 0 ? 0 : 1; c < 2; ++c) {
        append(params_file_[static_cast<std::size_t>(c)], params_header(n));
        append(information_file_[static_cast<std::size_t>(c)], information_header(n));
    }
    if (s.model_test != 0) {
        tests_file_ = set.index_of(tests_file_name(prefix));
        append(tests_file_, "SNP_ID rs position bayes factors\n");
    }
    if (s.print_params) trace_file_ = set.index_of(trace_file_name);
    if (s.write_vcf) vcf_ = std::make_unique<vcf_writer>(s, cohorts, set);
}

result_writer::~result_writer() = default;

void result_writer::append(std::size_t file, const std::string& text)
{
    std::string& p = pending_[file];
    p += text;
    if (p.size() >= block_size) flush(file);
}

void result_writer::flush(std::size_t file)
{
    set_.write(file, pending_[file]);
    pending_[file].clear();
}

// Keeps the files of number format `format` and discards the other's temporaries.
void result_writer::settle_format(int format)
{
    format_ = format;
    const auto other = static_cast<std::size_t>(1 - format);
    for (std::size_t file : {params_file_[other], information_file_[other]}) {
        pending_[file].clear();
        set_.discard(file);
    }
}

void result_writer::write(const snp_output& o)
{
    if (!o.warning.empty()) std::cerr << o.warning << std::endl;
    for (std::size_t j = 0; j < call_files_.size(); ++j) append(call_files_[j], o.call_lines[j]);
    if (format_ < 0 && o.decimals) settle_format(1);
    for (std::size_t c = 0; c < 2; ++c)
        if (format_ < 0 || format_ == static_cast<int>(c)) {
            append(params_file_[c], o.params_line[c]);
            append(information_file_[c], o.information_line[c]);
        }
    if (cfg_.model_test != 0) append(tests_file_, o.tests_line);
    if (cfg_.print_params) append(trace_file_, o.trace);
    if (vcf_) vcf_->write(o.identity, o.vcf);
}

void result_writer::finish()
{
    if (format_ < 0) settle_format(0);
    for (std::size_t file = 0; file < pending_.size(); ++file)
        if (!pending_[file].empty()) flush(file);
    if (vcf_) vcf_->finish();
}
