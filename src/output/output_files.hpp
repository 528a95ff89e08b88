#pragma once
#include <array>
#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "output/qc_tables.hpp"
#include "output/vcf_file.hpp"
#include "state/cohorts.hpp"
#include "state/settings.hpp"

class result_set;
struct snp_result;

// The trace of the log-posterior terms that "-print_params" asks for, in the working folder.
inline constexpr const char* trace_file_name = "params";

// The final names of every result file of the run, in the order they are renamed into place:
// the call files, the parameter, information and tests files, the QC tables, the sample files,
// the VCF and its index, and the trace file. Known from the settings alone, so that every file can be made
// before any input is read (output/result_set.hpp). Without -snp_seeds the parameter and
// information files are listed twice: one temporary per number format (see result_writer).
std::vector<std::string> result_file_names(const settings& s);

// Writes one printed genotype call value (printed_call_value): "1", "0", or with decimals the
// value in fixed notation with 4 decimals, which is left on the stream.
void write_call_value(std::ostream& out, double printed);

// The result files of a run, written into their temporaries SNP by SNP.
//
// One rule of number format holds over the whole run without -snp_seeds: once any call value of
// the run is written with decimals, the parameter and information files are in fixed notation
// with 4 decimals, otherwise in general notation. Both are written until the first such value;
// then, or at the end, the other is discarded. With -snp_seeds they are always fixed with 4
// decimals, so that every SNP's lines are the same whatever other SNPs run with it.
class result_writer {
public:
    // Writes the sample files and the headers of the others.
    result_writer(const settings& s, const cohort_description& cohorts, result_set& set);
    ~result_writer();
    result_writer(const result_writer&) = delete;
    result_writer& operator=(const result_writer&) = delete;

    // Formats and appends one SNP's results; SNPs must come in file order.
    void write(const snp_result& r);
    // Writes what is held back and closes the VCF; the set may then be committed.
    void finish();

private:
    void append(std::size_t file, const std::string& text);
    void flush(std::size_t file);
    void settle_format(int format);

    const settings& cfg_;
    result_set& set_;
    std::vector<std::size_t> call_files_;
    std::array<std::size_t, 2> params_file_{}, information_file_{};
    int format_ = -1;                          // 0, 1: decided; -1: not yet
    std::size_t tests_file_ = 0, trace_file_ = 0;
    std::vector<std::string> pending_;         // [set entry] text not yet passed on
    qc_tables qc_;
    std::unique_ptr<vcf_writer> vcf_;
};
