#pragma once
#include <string>
#include <vector>

#include <htslib/hts.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>

namespace input {

// The records of a VCF/BCF file whose POS lies in the regions of -r, read through the file's
// index (CSI, or TBI for VCF) without reading the records between them. As bcftools view -r
// reads them: contig by contig in the order the list first names each, every contig's regions
// in ascending order with overlapping ones merged, so that each record comes once; a record
// belongs to a region when its POS lies in it (bcftools' --regions-overlap pos), so regions
// that split a contig between them share no record.
class vcf_regions {
public:
    // Loads the index of the file `name`, opened as `file`, and reads each region, CHR, CHR:POS,
    // CHR:FROM-TO, CHR:FROM- or CHR:-TO (1-based, inclusive), against its contigs. Throws
    // run_error naming the file when it has no index or cannot have one, and the region that
    // names no contig of the file or whose positions cannot be read.
    vcf_regions(const std::string& name, htsFile* file, bcf_hdr_t* header, const std::vector<std::string>& regions);
    ~vcf_regions();
    vcf_regions(const vcf_regions&) = delete;
    vcf_regions& operator=(const vcf_regions&) = delete;

    // Reads the next record of the regions into `rec`: 0, -1 after the last, below -1 when the
    // file cannot be read there.
    int read(bcf1_t* rec);

private:
    struct interval {
        std::string contig;
        hts_pos_t beg, end;   // 0-based, half open
    };
    bool start_next_interval();

    htsFile* file_;
    bcf_hdr_t* header_;
    hts_idx_t* index_ = nullptr;   // BCF
    tbx_t* tabix_ = nullptr;       // VCF
    std::vector<interval> intervals_;
    std::size_t next_ = 0;         // interval to query next
    hts_itr_t* iterator_ = nullptr;
    hts_pos_t beg_ = 0;            // of the interval being read
    kstring_t line_ = {0, 0, nullptr};
};

}  // namespace input
