#pragma once
#include <memory>
#include <string>

#include "state/cohorts.hpp"
#include "state/settings.hpp"

class result_set;
struct snp_result;

// The VCF of a run: PREFIX.vcf.gz (BGZF-compressed) and its CSI index PREFIX.vcf.gz.csi.
std::string vcf_file_name(const std::string& prefix);
std::string vcf_index_name(const std::string& prefix);

// The VCF of a run and its index, written into their temporaries of the run's result set as the
// SNPs come. Every failure throws run_error naming the file.
class vcf_writer {
public:
    // Writes the header: one sample per individual of every input cohort.
    vcf_writer(const settings& s, const cohort_description& cohorts, result_set& set);
    ~vcf_writer();
    vcf_writer(const vcf_writer&) = delete;
    vcf_writer& operator=(const vcf_writer&) = delete;

    // Appends the record of a SNP, whose position the reader has checked: a positive integer,
    // not below the one before on its contig.
    void write(const snp_result& r);
    // Saves the index and closes both files, flushed to the device.
    void finish();

private:
    struct state;
    std::unique_ptr<state> state_;
};
