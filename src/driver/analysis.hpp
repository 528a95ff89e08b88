#pragma once
#include <ostream>
#include <vector>

#include "state/records.hpp"
#include "state/settings.hpp"

class progress_report;
class result_writer;
namespace input {
class snp_reader;
}

// The SNPs of the range in file order: those read ahead (for the scale check) first, then the
// reader's.
struct snp_source {
    input::snp_reader& reader;
    std::vector<snp> ahead;                  // records read ahead, and their positions in the file
    std::vector<int> ahead_numbers;
    std::size_t taken = 0;                   // of those, handed out
    int read = 0;                            // SNPs handed out or held ahead
    // Fills `record` and `number` (1-based position among the file's SNP lines); false after the last.
    bool next(snp& record, int& number);
    // Reads up to n SNPs ahead.
    void read_ahead(int n);
};

// The seed of SNP `number`'s own generator under -snp_seeds (1-based place among the file's SNP
// lines): every SNP's draws depend on the run's seed and the SNP's place in the file alone.
double snp_seed(double run_seed, int number);

// The scale check judges the first SNPs of the range, read ahead before any is analysed.
void check_scale(const settings& cfg, snp_source& source);

// Analyses every SNP of `source` and hands its results to `writer` in file order: on this
// thread with one thread, otherwise on cfg.threads threads of their own, at most two SNPs per
// thread in flight. `console` receives every SNP's detailed output (in file order), and
// `progress`, when not null, a line per finished SNP. A failure of any SNP stops the run with
// the error of the first failing SNP in file order, before its results are written.
void analyse_snps(const settings& cfg, snp_source& source, result_writer& writer, std::ostream* console,
                  progress_report* progress);
