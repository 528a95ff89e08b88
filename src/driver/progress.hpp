#pragma once
#include <chrono>
#include <ostream>

namespace input {
class snp_reader;
}

// One line per finished SNP, for a run whose detailed console output is off: how many SNPs are
// done, at what rate, and about how long the rest will take. The SNPs still to come are
// estimated from the share of the first cohort's file read so far, or from the -snps range when
// that ends sooner; with -r, whose reads jump through the index, nothing tells them and the
// line gives no time left.
class progress_report {
public:
    progress_report(const input::snp_reader& reader, std::ostream& out);
    // After SNP `number` is written.
    void snp_done(int number);

private:
    const input::snp_reader& reader_;
    std::ostream& out_;
    std::chrono::steady_clock::time_point start_;
    int done_ = 0;
};
