#pragma once
#include <array>
#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "output/vcf_file.hpp"
#include "state/cohorts.hpp"
#include "state/parameters.hpp"
#include "state/records.hpp"
#include "state/settings.hpp"

class data;
class result_set;

// The trace of the log-posterior terms that "-print_params" asks for, in the working folder.
inline constexpr const char* trace_file_name = "params";

// The final names of every result file of the run, in the order they are renamed into place:
// the call files, the parameter, information and tests files, the sample files, the VCF and its
// index, and the trace file. Known from the settings alone, so that every file can be made
// before any input is read (output/result_set.hpp). Without -snp_seeds the parameter and
// information files are listed twice: one temporary per number format (see result_writer).
std::vector<std::string> result_file_names(const settings& s);

// Writes one genotype call value: "1" above 0.999, "0" below 0.001, otherwise (thresholds
// included, and a value that is not a number) the value in fixed notation with 4 decimals,
// which is left on the stream. Returns whether it wrote decimals.
bool write_call_value(std::ostream& out, double v);

// Everything one SNP adds to the result files, formatted where the SNP was analysed, so that
// writing is appending text in SNP order.
struct snp_output {
    snp identity;                             // SNP_ID, rs, position, alleles (no points)
    std::vector<std::string> call_lines;      // [result cohort], each ending in '\n'
    bool decimals = false;                    // some call value was written with decimals
    // The parameter and information lines in general notation with 6 digits [0] (empty with
    // -snp_seeds, which never writes it) and in fixed notation with 4 decimals [1].
    std::array<std::string, 2> params_line, information_line;
    std::string tests_line;                   // with -test
    vcf_values vcf;                           // with -vcf
    std::string trace;                        // with -print_params
    std::string warning;                      // for the standard error, or empty
};

// Formats the results of the SNP `d` has just analysed (data::v1) into `out`.
void format_results(const data& d, snp_output& out);

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

    // Appends one SNP's results; SNPs must come in file order.
    void write(const snp_output& o);
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
    std::unique_ptr<vcf_writer> vcf_;
};
