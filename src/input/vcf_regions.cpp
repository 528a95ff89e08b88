#include "input/vcf_regions.hpp"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "input/quiet_htslib.hpp"
#include "state/error.hpp"

namespace {

// The position of `name` among the contigs, or -1: the lookup the region parser asks for, so
// that a contig name holding a colon is read whole.
int contig_number(void* contigs, const char* name)
{
    const auto& names = *static_cast<const std::vector<std::string>*>(contigs);
    const auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

}  // namespace

namespace input {

vcf_regions::vcf_regions(const std::string& name, htsFile* file, bcf_hdr_t* header,
                         const std::vector<std::string>& regions)
    : file_(file), header_(header)
{
    quiet_htslib quiet;
    const htsFormat* format = hts_get_format(file);
    if (format->compression != bgzf)
        throw run_error(name + ": -r reads regions through an index, and only a BGZF-compressed VCF or BCF can have "
                        "one: write it with bcftools view -Oz or -Ob, then bcftools index it");
    if (format->format == bcf)
        index_ = bcf_index_load3(name.c_str(), nullptr, HTS_IDX_SILENT_FAIL);
    else
        tabix_ = tbx_index_load3(name.c_str(), nullptr, HTS_IDX_SILENT_FAIL);
    if (!index_ && !tabix_)
        throw run_error(name + ": no index (" + name + ".csi or .tbi) to read the regions of -r through; make one with: "
                        "bcftools index " + name);

    // A VCF's contigs are those of its header and, for files whose header lists none, its index.
    std::vector<std::string> contigs;
    int n = 0;
    const char** names = bcf_hdr_seqnames(header, &n);
    contigs.assign(names, names + n);
    std::free(names);
    if (tabix_) {
        names = tbx_seqnames(tabix_, &n);
        for (int i = 0; i < n; ++i)
            if (contig_number(&contigs, names[i]) < 0) contigs.emplace_back(names[i]);
        std::free(names);
    }

    // Contigs in the order the list first names them; each one's regions ascending, merged
    // where they overlap or touch.
    std::vector<std::string> order;
    std::vector<interval> parsed;
    for (const std::string& region : regions) {
        int tid = -1;
        hts_pos_t beg = 0, end = 0;
        const char* rest = hts_parse_region(region.c_str(), &tid, &beg, &end, contig_number, &contigs, HTS_PARSE_ONE_COORD);
        if (!rest && tid == -1)
            throw run_error(name + ": -r " + region + ": no contig of that name in the file");
        if (!rest || *rest != '\0' || beg < 0 || end <= beg)
            throw run_error("-r " + region + ": not a region (CHR, CHR:POS, CHR:FROM-TO, CHR:FROM- or CHR:-TO, 1-based)");
        const std::string& contig = contigs[static_cast<std::size_t>(tid)];
        if (std::find(order.begin(), order.end(), contig) == order.end()) order.push_back(contig);
        parsed.push_back({contig, beg, end});
    }
    for (const std::string& contig : order) {
        std::vector<interval> own;
        for (const interval& i : parsed)
            if (i.contig == contig) own.push_back(i);
        std::sort(own.begin(), own.end(), [](const interval& a, const interval& b) { return a.beg < b.beg; });
        const std::size_t first = intervals_.size();
        for (const interval& i : own) {
            if (intervals_.size() > first && i.beg <= intervals_.back().end)
                intervals_.back().end = std::max(intervals_.back().end, i.end);
            else
                intervals_.push_back(i);
        }
    }
}

vcf_regions::~vcf_regions()
{
    if (iterator_) hts_itr_destroy(iterator_);
    if (index_) hts_idx_destroy(index_);
    if (tabix_) tbx_destroy(tabix_);
    std::free(line_.s);
}

// Queries the index for the next interval; false after the last.
bool vcf_regions::start_next_interval()
{
    if (iterator_) hts_itr_destroy(iterator_);
    iterator_ = nullptr;
    if (next_ == intervals_.size()) return false;
    const interval& i = intervals_[next_++];
    beg_ = i.beg;
    // A contig without records has no entry in a VCF's index: an interval of it is empty.
    if (index_)
        iterator_ = bcf_itr_queryi(index_, bcf_hdr_name2id(header_, i.contig.c_str()), i.beg, i.end);
    else if (const int tid = tbx_name2id(tabix_, i.contig.c_str()); tid >= 0)
        iterator_ = tbx_itr_queryi(tabix_, tid, i.beg, i.end);
    else
        return true;
    if (!iterator_) throw std::bad_alloc();
    return true;
}

int vcf_regions::read(bcf1_t* rec)
{
    quiet_htslib quiet;
    for (;;) {
        if (!iterator_ && !start_next_interval()) return -1;
        if (!iterator_) continue;
        int r = 0;
        if (index_) {
            r = bcf_itr_next(file_, iterator_, rec);
        } else {
            r = tbx_itr_next(file_, tabix_, iterator_, &line_);
            if (r >= 0 && vcf_parse(&line_, header_, rec) != 0) r = -2;
        }
        if (r == -1) {
            hts_itr_destroy(iterator_);
            iterator_ = nullptr;
            continue;
        }
        if (r < -1) return r;
        // The index also finds records that start before the interval and reach into it.
        if (rec->pos >= beg_) return 0;
    }
}

}  // namespace input
