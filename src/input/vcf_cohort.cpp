#include "input/vcf_cohort.hpp"

#include <sys/stat.h>

#include <htslib/bgzf.h>
#include <htslib/hfile.h>
#include <htslib/hts.h>
#include <htslib/kseq.h>
#include <htslib/vcf.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "input/quiet_htslib.hpp"
#include "input/vcf_regions.hpp"
#include "input/tokens.hpp"
#include "state/error.hpp"

namespace {

const input::format_words vcf_words = {"record", "records", "records", "record", "ID", "in that record"};

// Why htslib could not take a record, from the error bits it set.
std::string record_fault(int errcode)
{
    if (errcode & BCF_ERR_NCOLS) return "its number of columns is not that of the header's samples";
    if (errcode & BCF_ERR_TAG_UNDEF) return "it uses an INFO or FORMAT tag that the header does not define";
    if (errcode & BCF_ERR_CTG_INVALID) return "its contig is none of the header's";
    if (errcode & BCF_ERR_TAG_INVALID) return "it uses a tag that is none of the header's";
    if (errcode & BCF_ERR_LIMITS) return "it is beyond what htslib can hold";
    if (errcode & BCF_ERR_CHAR) return "it holds a character that VCF does not allow";
    return "corrupt or truncated VCF/BCF data";
}

// The result tables (call, .sample, parameter files) are split at blanks by every reader, so a
// field of them must be one token: why `text` is not, or nothing.
std::string token_fault(std::string_view text)
{
    if (text.empty()) return "is empty";
    if (std::any_of(text.begin(), text.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }))
        return "holds a blank";
    return {};
}

std::string refused_field(const std::string& field, const std::string& fault, const char* rename)
{
    return field + " " + fault + ", which the whitespace-separated result tables cannot hold" + rename;
}

// The header's text as stored: VCF lines up to the #CHROM line, or a BCF's header text (at most
// 64 MiB of it). Empty when it cannot be read.
std::string header_text(const std::string& name)
{
    constexpr std::uint32_t most = std::uint32_t{64} << 20;
    htsFile* fp = hts_open(name.c_str(), "r");
    if (!fp) return {};
    std::string text;
    if (hts_get_format(fp)->format == bcf) {
        unsigned char start[9];   // "BCF", the version, and the text's length, little-endian
        if (bgzf_read(fp->fp.bgzf, start, 9) == 9) {
            const std::uint32_t length = start[5] | start[6] << 8 | start[7] << 16 | std::uint32_t{start[8]} << 24;
            text.resize(std::min(length, most));
            text.resize(static_cast<std::size_t>(std::max<ssize_t>(bgzf_read(fp->fp.bgzf, text.data(), text.size()), 0)));
        }
    } else {
        kstring_t line = KS_INITIALIZE;
        while (text.size() < most && hts_getline(fp, KS_SEP_LINE, &line) >= 0 && line.l > 0 && line.s[0] == '#')
            text.append(line.s, line.l).push_back('\n');
        ks_free(&line);
    }
    hts_close(fp);
    return text;
}

// Why htslib refused the header, where this can tell: a sample name given twice.
std::string header_fault(const std::string& name)
{
    const std::string text = header_text(name);
    const std::size_t start = text.rfind("#CHROM");
    if (start == std::string::npos) return "cannot read the VCF/BCF header";
    std::string_view line(text);
    line = line.substr(start, line.find_first_of("\n", start) - start);
    std::vector<std::string_view> fields;
    for (std::size_t at = 0; at <= line.size();) {
        const std::size_t end = std::min(line.find('\t', at), line.size());
        fields.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    std::unordered_map<std::string_view, std::size_t> first;   // sample name: its number
    for (std::size_t i = 9; i < fields.size(); ++i) {
        const auto [at, is_new] = first.emplace(fields[i], i - 8);
        if (!is_new)
            return "cannot read the VCF/BCF header: samples " + std::to_string(at->second) + " and " + std::to_string(i - 8) +
                   " are both named " + input::quoted(fields[i]) + ", which htslib refuses; rename one (bcftools reheader -s)";
    }
    return "cannot read the VCF/BCF header";
}

// The records the converters write that name no two alleles of their own for the array's A and B.
const char* const drop_records =
    "drop such records first: bcftools view -e 'N_ALT=0 || INFO/ALLELE_A=\".\" || INFO/ALLELE_B=\".\" || "
    "INFO/ALLELE_A<0 || INFO/ALLELE_B<0 || INFO/ALLELE_A>N_ALT || INFO/ALLELE_B>N_ALT || INFO/ALLELE_A=INFO/ALLELE_B'";

}  // namespace

namespace input {

bool is_variant_file(const std::string& name)
{
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    quiet_htslib quiet;
    htsFile* fp = hts_open(name.c_str(), "r");
    if (!fp) return false;
    const htsExactFormat format = hts_get_format(fp)->format;
    hts_close(fp);
    return format == vcf || format == bcf;
}

struct vcf_cohort::state {
    htsFile* file = nullptr;
    bcf_hdr_t* header = nullptr;
    bcf1_t* rec = nullptr;
    int32_t* ints = nullptr;
    int n_ints = 0;
    void* x = nullptr;
    void* y = nullptr;
    int n_x = 0, n_y = 0;
    ~state()
    {
        std::free(ints);
        std::free(x);
        std::free(y);
        if (rec) bcf_destroy(rec);
        if (header) bcf_hdr_destroy(header);
        if (file) hts_close(file);
    }
};

vcf_cohort::vcf_cohort(const std::string& name, bool raw, const std::vector<std::string>& regions)
    : cohort_source(name, vcf_words), raw_(raw), state_(std::make_unique<state>())
{
    quiet_htslib quiet;
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0) size_ = static_cast<std::uint64_t>(st.st_size);
    state& s = *state_;
    s.file = hts_open(name.c_str(), "r");
    if (!s.file) throw run_error(name + ": cannot open the VCF/BCF file");
    // A BGZF file cut at a block boundary reads as complete but for its end-of-file block.
    if (hts_get_format(s.file)->compression == bgzf && bgzf_check_EOF(s.file->fp.bgzf) != 1)
        throw run_error(name + ": no BGZF end-of-file marker: the file is truncated, or its writer did not finish");
    s.header = bcf_hdr_read(s.file);
    if (!s.header) throw run_error(name + ": " + header_fault(name));
    s.rec = bcf_init();
    if (!s.rec) throw std::bad_alloc();
    const int n = bcf_hdr_nsamples(s.header);
    if (n < 1) throw run_error(name + ": the VCF/BCF header names no samples");
    for (int i = 0; i < n; ++i) {
        samples_.emplace_back(s.header->samples[i]);
        const std::string fault = token_fault(samples_.back());
        if (!fault.empty())
            throw run_error(name + ": " + refused_field("sample " + std::to_string(i + 1) + " of the header, " +
                                                           quoted(samples_.back()) + ",", fault, "; rename it (bcftools reheader -s)"));
    }
    if (!regions.empty()) regions_ = std::make_unique<vcf_regions>(name, s.file, s.header, regions);
}

vcf_cohort::~vcf_cohort() = default;

std::vector<std::pair<std::string, std::uint64_t>> vcf_cohort::contigs() const
{
    std::vector<std::pair<std::string, std::uint64_t>> out;
    const bcf_hdr_t* h = state_->header;
    for (int i = 0; i < h->n[BCF_DT_CTG]; ++i) {
        const bcf_idinfo_t* info = h->id[BCF_DT_CTG][i].val;
        out.emplace_back(h->id[BCF_DT_CTG][i].key, info ? info->info[0] : 0);
    }
    return out;
}

std::string vcf_cohort::where() const
{
    return name_ + ": record " + std::to_string(record_) + (regions_ ? " of the regions" : "");
}

std::string vcf_cohort::snp_place() const
{
    std::string place = where();
    const bcf1_t* r = state_->rec;
    // htslib leaves a POS too large to read (2^63 or more) at its largest value: no place to name.
    if (record_ > 0 && r->rid >= 0 && r->rid < state_->header->n[BCF_DT_CTG] && r->pos < INT64_MAX)
        place += " (" + std::string(bcf_seqname(state_->header, r)) + ":" + std::to_string(r->pos + 1) + ")";
    return place;
}

bool vcf_cohort::read()
{
    quiet_htslib quiet;
    const int r = regions_ ? regions_->read(state_->rec) : bcf_read(state_->file, state_->header, state_->rec);
    if (r == -1) return false;
    ++record_;
    // A contig the header does not declare is added to it, as htslib and bcftools read such
    // files; -vcf, which writes the contigs of the header, refuses it (snp_reader).
    const int errcode = state_->rec->errcode & ~BCF_ERR_CTG_UNDEF;
    if (r < 0 || errcode != 0) fail("cannot be read: " + record_fault(errcode));
    const int n = bcf_hdr_nsamples(state_->header);
    if (static_cast<int>(state_->rec->n_sample) != n)
        fail("holds the values of " + std::to_string(state_->rec->n_sample) + " samples, but the header names " +
             std::to_string(n));
    return true;
}

bool vcf_cohort::next(snp_site& site)
{
    if (!read()) return false;
    state& s = *state_;
    bcf1_t* r = s.rec;
    if (bcf_unpack(r, BCF_UN_ALL) != 0) fail("cannot be read: corrupt VCF/BCF data");
    site.chrom = bcf_seqname(s.header, r);
    site.pos = r->pos + 1;
    site.position = std::to_string(site.pos);
    site.rs = r->d.id ? r->d.id : ".";
    site.SNP_ID = site.rs != "." ? site.rs : site.chrom + ":" + site.position;
    site.alleles.assign(r->d.allele, r->d.allele + r->n_allele);
    const auto check = [this](const char* field, const std::string& text, const char* rename) {
        const std::string fault = token_fault(text);
        if (!fault.empty()) fail(refused_field(field + quoted(text), fault, rename));
    };
    check("ID ", site.rs, "; rename it (bcftools annotate --set-id)");
    check("CHROM ", site.chrom, "");
    for (const std::string& allele : site.alleles) check("allele ", allele, "");
    if (r->n_allele < 2)
        fail(std::string("the record has no ALT allele (an intensity-only probe), so the array's A and B alleles "
                         "cannot both be among its alleles; ") + drop_records);
    const char* index_names[] = {"ALLELE_A", "ALLELE_B"};
    int indices[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
        const std::string tag = std::string("INFO/") + index_names[k];
        if (bcf_get_info_int32(s.header, r, index_names[k], &s.ints, &s.n_ints) != 1)
            fail("no " + tag + " (one integer) says which allele the array's " + (k == 0 ? "A" : "B") + " allele is");
        indices[k] = s.ints[0];
        if (indices[k] == bcf_int32_missing)
            fail(tag + " is '.': the converter could not place the array's allele among the record's; " + drop_records);
        if (indices[k] < 0 || indices[k] >= r->n_allele)
            fail(tag + "=" + std::to_string(indices[k]) + " is not an allele of the record (REF and " +
                 std::to_string(r->n_allele - 1) + " ALT; a record split by bcftools norm -m keeps the indices of "
                 "the record it came from); " + drop_records);
    }
    if (indices[0] == indices[1]) fail(std::string("INFO/ALLELE_A and ALLELE_B name the same allele; ") + drop_records);
    site.allele_a = indices[0];
    site.allele_b = indices[1];
    site.allele1 = site.alleles[static_cast<std::size_t>(site.allele_a)];
    site.allele2 = site.alleles[static_cast<std::size_t>(site.allele_b)];
    return true;
}

void vcf_cohort::read_points(std::vector<xy>& points, std::vector<int>& missing)
{
    state& s = *state_;
    bcf1_t* r = s.rec;
    const int n = bcf_hdr_nsamples(s.header);
    const char* fields[] = {raw_ ? "X" : "NORMX", raw_ ? "Y" : "NORMY"};
    void** buffers[] = {&s.x, &s.y};
    int* sizes[] = {&s.n_x, &s.n_y};
    for (int c = 0; c < 2; ++c) {
        const int got = raw_ ? bcf_get_format_int32(s.header, r, fields[c], reinterpret_cast<int32_t**>(buffers[c]), sizes[c])
                             : bcf_get_format_float(s.header, r, fields[c], reinterpret_cast<float**>(buffers[c]), sizes[c]);
        if (got != n)
            fail(std::string("no FORMAT/") + fields[c] + " (" + (raw_ ? "Integer" : "Float") +
                 ", one per sample) to read as intensities" + (raw_ ? "" : "; -intensities RAW reads X and Y"));
    }
    points.clear();
    missing.clear();
    points.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        xy p{0, 0};
        bool is_missing = false;
        for (int c = 0; c < 2; ++c) {
            if (raw_) {
                const int32_t v = static_cast<const int32_t*>(*buffers[c])[i];
                is_missing = is_missing || v == bcf_int32_missing || v == bcf_int32_vector_end;
                p[static_cast<std::size_t>(c)] = v;
            } else {
                const float v = static_cast<const float*>(*buffers[c])[i];
                is_missing = is_missing || bcf_float_is_missing(v) || bcf_float_is_vector_end(v) || std::isnan(v);
                if (std::isinf(v))
                    fail("sample " + samples_[static_cast<std::size_t>(i)] + ": " + fields[c] + " is infinite");
                p[static_cast<std::size_t>(c)] = v;
            }
        }
        // A failed bead: the converters write its raw X and Y as 0, and its NORMX and NORMY as NaN.
        is_missing = is_missing || (raw_ && p[0] == 0 && p[1] == 0);
        if (is_missing)
            missing.push_back(i);
        else
            points.push_back(p);
    }
}

bool vcf_cohort::same_snp(const snp_site& a, const snp_site& b) const
{
    return a.chrom == b.chrom && a.position == b.position && a.alleles == b.alleles && a.allele_a == b.allele_a &&
           a.allele_b == b.allele_b;
}

std::string vcf_cohort::identity(const snp_site& site) const
{
    std::string text = site.chrom + ":" + site.position;
    for (std::size_t a = 0; a < site.alleles.size(); ++a)
        text += (a == 0 ? " " : a == 1 ? "/" : ",") + site.alleles[a];
    return text + " A=" + std::to_string(site.allele_a) + " B=" + std::to_string(site.allele_b);
}

std::uint64_t vcf_cohort::bytes_read() const
{
    const htsFile* f = state_->file;
    if (f->is_bgzf) return static_cast<std::uint64_t>(bgzf_tell(f->fp.bgzf)) >> 16;
    return static_cast<std::uint64_t>(htell(f->fp.hfile));
}

}  // namespace input
