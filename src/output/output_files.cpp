#include "output/output_files.hpp"

#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "output/priors_file.hpp"
#include "output/result_set.hpp"
#include "output/snp_result.hpp"
#include "output/vcf_file.hpp"
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

// One call line: the text fields, then the three printed call values of every file column of the
// cohorts making up result cohort j.
std::string call_line(const snp_result& r, std::size_t j)
{
    std::ostringstream out;
    write_text_fields(out, r.identity);
    for (const auto& values : r.calls[j])
        for (double v : values) {
            write_call_value(out, v);
            out << ' ';
        }
    out << '\n';
    return out.str();
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
    for_each_reported_number(p, [&](const std::string&, double v) { write_number(out, v, failed); });
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
    cohort_parameters shape;
    size_cohorts(shape, static_cast<std::size_t>(n_cohorts));
    for_each_reported_number(shape, [&out](const std::string& name, double) { out << name << ' '; });
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

void write_call_value(std::ostream& out, double printed)
{
    if (has_decimals(printed))
        out << std::fixed << std::setprecision(4) << printed;
    else
        out << (printed == 1 ? '1' : '0');
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
    names.push_back(snps_table_name(prefix));
    names.push_back(samples_table_name(prefix));
    for (int j = 0; j < s.result_cohorts(); ++j) names.push_back(sample_file_name(prefix, j));
    if (s.write_vcf) {
        names.push_back(vcf_file_name(prefix));
        names.push_back(vcf_index_name(prefix));
    }
    if (s.print_params) names.push_back(trace_file_name);
    if (s.learns_priors()) names.push_back(prefix + priors_file_suffix);
    return names;
}

result_writer::result_writer(const settings& s, const cohort_description& cohorts, result_set& set)
    : cfg_(s), set_(set), qc_(s, cohorts, set)
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

void result_writer::write(const snp_result& r)
{
    const snp& rec = r.identity;
    const params& p = r.values;
    if (r.failed) {
        std::ostringstream w;
        w << "warning: SNP " << printable(rec.SNP_ID) << ": its fit gave numbers that are not finite "
          << "(log posterior " << p.final_log_posterior << "); its calls are written as missing and its parameters as NA";
        std::cerr << w.str() << std::endl;
    }
    for (std::size_t j = 0; j < call_files_.size(); ++j) append(call_files_[j], call_line(r, j));
    if (format_ < 0 && r.decimals) settle_format(1);
    for (int format = 0; format < 2; ++format) {
        if (format_ >= 0 && format_ != format) continue;
        std::ostringstream params_text, information_text;
        if (format == 1) {
            params_text << std::fixed << std::setprecision(4);
            information_text << std::fixed << std::setprecision(4);
        }
        write_params_line(params_text, rec, p, r.failed);
        write_information_line(information_text, rec, p, r.failed);
        append(params_file_[static_cast<std::size_t>(format)], params_text.str());
        append(information_file_[static_cast<std::size_t>(format)], information_text.str());
    }
    // Nothing computes a Bayes factor, so the column holds NA.
    if (cfg_.model_test != 0) append(tests_file_, rec.SNP_ID + ' ' + rec.rs + ' ' + rec.position + " NA\n");
    if (cfg_.print_params) append(trace_file_, r.trace);
    qc_.add(r);
    if (vcf_) vcf_->write(r);
}

void result_writer::finish()
{
    if (format_ < 0) settle_format(0);
    for (std::size_t file = 0; file < pending_.size(); ++file)
        if (!pending_[file].empty()) flush(file);
    qc_.finish();
    if (vcf_) vcf_->finish();
}
