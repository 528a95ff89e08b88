#pragma once
#include <ostream>

#include "state/records.hpp"
#include "state/settings.hpp"

class progress_report;
class result_writer;
namespace input {
class snp_reader;
}

// The seed of a SNP's own generator under -snp_seeds, from the run's seed and the SNP (its
// position `number` among the file's SNP lines for text input, its identity for VCF/BCF): the
// same wherever the SNP is analysed.
double snp_seed(double run_seed, const snp& s, int number, bool vcf_input);

// The scale check judges the first SNPs of the range, read ahead before any is analysed.
void check_scale(const settings& cfg, input::snp_reader& reader);

// Analyses every SNP of the range as `reader` hands them out and passes the results to `writer`
// in file order: on this thread with one thread, otherwise on cfg.threads threads of their own,
// at most two SNPs per thread in flight. `console` receives every SNP's detailed output (in file
// order), and `progress`, when not null, a line per finished SNP. A failure of any SNP stops the
// run with the error of the first failing SNP in file order, before its results are written.
void analyse_snps(const settings& cfg, input::snp_reader& reader, result_writer& writer, std::ostream* console,
                  progress_report* progress);
