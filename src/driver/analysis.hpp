#pragma once
#include <ostream>

#include "state/settings.hpp"

class progress_report;
class result_writer;
namespace input {
class snp_reader;
}

// Analyses every SNP of the range as `reader` hands them out and passes the results to `writer`
// in file order: on this thread with one thread, otherwise on cfg.threads threads of their own,
// at most two SNPs per thread in flight. `console` receives every SNP's detailed output (in file
// order), and `progress`, when not null, a line per finished SNP. A failure of any SNP stops the
// run with the error of the first failing SNP in file order, before its results are written.
void analyse_snps(const settings& cfg, input::snp_reader& reader, result_writer& writer, std::ostream* console,
                  progress_report* progress);
