#include "output/vcf_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <htslib/bgzf.h>
#include <htslib/hfile.h>
#include <htslib/hts.h>
#include <htslib/vcf.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "input/number_parse.hpp"
#include "input/quiet_htslib.hpp"
#include "output/result_set.hpp"
#include "output/snp_result.hpp"
#include "state/error.hpp"

std::string vcf_file_name(const std::string& prefix) { return prefix + ".vcf.gz"; }
std::string vcf_index_name(const std::string& prefix) { return prefix + ".vcf.gz.csi"; }

namespace {

// The lowest bin of the CSI index is 2^14 bases, as bcftools makes it; unlike a tabix index, CSI
// covers every position a VCF can hold.
constexpr int csi_min_shift = 14;

struct hts_file_closer {
    void operator()(htsFile* f) const { hts_close(f); }
};
struct header_deleter {
    void operator()(bcf_hdr_t* h) const { bcf_hdr_destroy(h); }
};
struct record_deleter {
    void operator()(bcf1_t* r) const { bcf_destroy(r); }
};

[[noreturn]] void fail(const std::string& file, const std::string& what)
{
    const int e = errno;
    throw run_error(file + ": " + what + (e != 0 ? std::string(": ") + std::strerror(e) : std::string()));
}

// Flushes a closed file to the device, with the modification time of now: the index is saved
// before the compressed file's last block, and a reader warns about an index older than its data.
void settle(const std::string& name, const std::string& shown)
{
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail(shown, "cannot write");
    const bool ok = ::futimens(fd, nullptr) == 0 && (::fsync(fd) == 0 || errno == EINVAL);
    const int e = errno;
    ::close(fd);
    errno = e;
    if (!ok) fail(shown, "cannot write");
}

std::string number_text(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

std::unique_ptr<bcf_hdr_t, header_deleter> make_header(const settings& d, const cohort_description& cohorts,
                                                       const std::string& file)
{
    std::unique_ptr<bcf_hdr_t, header_deleter> h(bcf_hdr_init("w"));
    if (!h) fail(file, "cannot build the header");
    // Provenance as bcftools records it (##bcftools_viewVersion, ##bcftools_viewCommand): the
    // version, not the commit, so that the file changes with releases only.
    std::vector<std::string> lines = {"##source=tarvix++", std::string("##tarvix++Version=") + TARVIX_VERSION,
                                      "##tarvix++Command=" + d.command_line};
    if (!cohorts.vcf_input)
        lines.push_back("##contig=<ID=" + d.chromosome + ">");
    for (const auto& [contig, length] : cohorts.vcf_contigs)
        lines.push_back("##contig=<ID=" + contig + (length > 0 ? ",length=" + std::to_string(length) : std::string()) + ">");
    lines.push_back(cohorts.vcf_input
                        ? "##INFO=<ID=AF,Number=A,Type=Float,Description=\"Estimated frequency of each ALT allele: of "
                          "the array's allele B 1 - alpha_j and of allele A alpha_j (INFO/ALLELE_A, ALLELE_B of the "
                          "input), averaged over the cohorts with their analysed allele copies as weights (a haploid "
                          "male counts one copy); 0 for any other allele\">"
                        : "##INFO=<ID=AF,Number=A,Type=Float,Description=\"Estimated frequency of the ALT allele "
                          "(allele2): 1 - alpha_j, alpha_j being the model's frequency of the REF allele (allele1) in "
                          "cohort j, averaged over the cohorts with their analysed allele copies as weights (a haploid "
                          "male counts one copy)\">");
    lines.insert(lines.end(), {
        "##INFO=<ID=INFO1,Number=.,Type=Float,Description=\"Information measure info1 (separation of "
        "the genotype clusters measured from the points) of each cohort, in cohort order; -1: not "
        "measurable\">",
        "##INFO=<ID=INFO2,Number=.,Type=Float,Description=\"Information measure info2 (separation of "
        "the genotype clusters measured from the class means) of each cohort, in cohort order; -1: "
        "not measurable\">",
        "##INFO=<ID=LOGPOST,Number=1,Type=Float,Description=\"Final log posterior of the SNP's "
        "model\">",
        "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype: the genotype of highest GP "
        "when that GP is at least " + number_text(d.vcf_threshold) + ", else missing; haploid for "
        "males in X-chromosome mode\">"});
    lines.push_back(cohorts.vcf_input
                        ? "##FORMAT=<ID=GP,Number=G,Type=Float,Description=\"Genotype probabilities in VCF order: of "
                          "A/A, A/B and B/B (haploid: A, B) as in the call files (4 decimals; 0 below 0.001, 1 above "
                          "0.999), A and B being the array's alleles (INFO/ALLELE_A, ALLELE_B of the input), 0 for "
                          "any other genotype; they sum to less than 1 by the share of the null class\">"
                        : "##FORMAT=<ID=GP,Number=G,Type=Float,Description=\"Genotype probabilities of 0/0, 0/1, 1/1 "
                          "(haploid: 0, 1) as in the call files (4 decimals; 0 below 0.001, 1 above 0.999); they sum "
                          "to less than 1 by the share of the null class\">");
    for (const auto& line : lines)
        if (bcf_hdr_append(h.get(), line.c_str()) != 0) fail(file, "cannot build the header");
    for (const auto& cohort : cohorts.sample_ids)
        for (const auto& id : cohort)
            if (bcf_hdr_add_sample(h.get(), id.c_str()) != 0)
                fail(file, "cannot add sample " + id + " to the header");
    if (bcf_hdr_sync(h.get()) != 0) fail(file, "cannot build the header");
    return h;
}

}  // namespace

struct vcf_writer::state {
    std::string name, index, temporary, temporary_index;
    quiet_htslib quiet;
    std::unique_ptr<htsFile, hts_file_closer> file;
    std::unique_ptr<bcf_hdr_t, header_deleter> header;
    std::unique_ptr<bcf1_t, record_deleter> rec;
    int rid = -1;
    bool index_after = false;
    std::vector<std::int32_t> gt;          // the record being written: two per sample
    std::vector<float> gp, af, info1, info2;
    kstring_t line = KS_INITIALIZE;
    ~state() { ks_free(&line); }
};

vcf_writer::vcf_writer(const settings& s, const cohort_description& cohorts, result_set& set) : state_(std::make_unique<state>())
{
    state& v = *state_;
    v.name = vcf_file_name(s.output_prefix);
    v.index = vcf_index_name(s.output_prefix);
    const std::size_t vcf_entry = set.index_of(v.name), index_entry = set.index_of(v.index);
    v.temporary = set.temporary(vcf_entry);
    v.temporary_index = set.temporary(index_entry);

    // The VCF goes through the temporary the set made; htslib writes the index by its name.
    errno = 0;
    hFILE* stream = hdopen(set.take_descriptor(vcf_entry), "w");
    ::close(set.take_descriptor(index_entry));
    v.file.reset(stream ? hts_hopen(stream, v.temporary.c_str(), "wz") : nullptr);
    if (!v.file) {
        if (stream) hclose_abruptly(stream);
        fail(v.name, "cannot write " + v.temporary);
    }
    v.header = make_header(s, cohorts, v.name);
    errno = 0;
    if (bcf_hdr_write(v.file.get(), v.header.get()) != 0) fail(v.name, "cannot write");
    // With -snp_seeds the index is built from the finished file, as bcftools index does, and the
    // records fill whole compressed blocks (see write), so that the VCFs of SNP ranges joined by
    // bcftools concat are this file, byte for byte. Otherwise the index grows as records come.
    v.index_after = s.snp_seeds;
    if (!v.index_after && bcf_idx_init(v.file.get(), v.header.get(), csi_min_shift, v.temporary_index.c_str()) != 0)
        fail(v.index, "cannot start the index");
    v.rid = bcf_hdr_name2id(v.header.get(), s.chromosome.c_str());
    if (v.rid < 0 && !cohorts.vcf_input) fail(v.name, "cannot use chromosome name " + s.chromosome);
    v.rec.reset(bcf_init());
    if (!v.rec) fail(v.name, "cannot write");
}

vcf_writer::~vcf_writer() = default;

void vcf_writer::write(const snp_result& r)
{
    state& v = *state_;
    bcf_hdr_t* h = v.header.get();
    bcf1_t* rec = v.rec.get();
    const snp& site = r.identity;
    const vcf_values& values = r.vcf;
    // The reader has checked every position with -vcf.
    int position = 0;
    if (!input::parse_int(site.position, position) || position < 1)
        inconsistent_results("SNP " + site.SNP_ID + ": position " + site.position + " is not a positive integer");

    // The record's values as htslib holds them: not a number is missing, and what a sample's
    // ploidy or an individual left out of the SNP does not fill is the vector's end.
    const auto to_float = [](double x) {
        float f = static_cast<float>(x);
        if (std::isnan(x)) bcf_float_set_missing(f);
        return f;
    };
    v.gt.clear();
    v.gp.clear();
    const auto n_genotypes = static_cast<std::size_t>(values.n_genotypes);
    for (std::size_t i = 0; i < values.samples.size(); ++i) {
        const vcf_sample& g = values.samples[i];
        for (int k = 0; k < 2; ++k) {
            const int allele = g.gt[static_cast<std::size_t>(k)];
            v.gt.push_back(k >= g.ploidy ? bcf_int32_vector_end : allele < 0 ? bcf_gt_missing : bcf_gt_unphased(allele));
        }
        for (std::size_t n = 0; n < n_genotypes; ++n) {
            float& f = v.gp.emplace_back();
            if (n < static_cast<std::size_t>(g.n_gp))
                f = to_float(values.gp[i * n_genotypes + n]);
            else if (n == 0)
                bcf_float_set_missing(f);   // an individual not analysed
            else
                bcf_float_set_vector_end(f);
        }
    }
    v.af.clear();
    for (double x : values.af) v.af.push_back(to_float(x));
    v.info1.assign(r.values.info1.begin(), r.values.info1.end());
    v.info2.assign(r.values.info2.begin(), r.values.info2.end());
    const auto log_posterior = static_cast<float>(r.values.final_log_posterior);
    // A failed fit (no individual called, so no AF) has no measures to report either.
    const bool measured = !r.failed;

    bcf_clear(rec);
    rec->rid = site.chrom.empty() ? v.rid : bcf_hdr_name2id(h, site.chrom.c_str());
    if (rec->rid < 0) fail(v.name, "SNP " + site.SNP_ID + ": contig " + site.chrom + " is not in the input's header");
    rec->pos = position - 1;
    bcf_float_set_missing(rec->qual);
    std::vector<const char*> alleles;
    for (const std::string& allele : site.alleles) alleles.push_back(allele.c_str());
    if (site.chrom.empty()) alleles = {site.allele1.c_str(), site.allele2.c_str()};
    const auto n_info = static_cast<int>(v.info1.size());
    if (bcf_update_id(h, rec, site.rs.c_str()) != 0 ||
        bcf_update_alleles(h, rec, alleles.data(), static_cast<int>(alleles.size())) != 0 ||
        bcf_update_info_float(h, rec, "AF", v.af.data(), static_cast<int>(v.af.size())) != 0 ||
        (measured && bcf_update_info_float(h, rec, "INFO1", v.info1.data(), n_info) != 0) ||
        (measured && bcf_update_info_float(h, rec, "INFO2", v.info2.data(), n_info) != 0) ||
        (measured && bcf_update_info_float(h, rec, "LOGPOST", &log_posterior, 1) != 0) ||
        bcf_update_genotypes(h, rec, v.gt.data(), static_cast<int>(v.gt.size())) != 0 ||
        bcf_update_format_float(h, rec, "GP", v.gp.data(), static_cast<int>(v.gp.size())) != 0)
        fail(v.name, "cannot write SNP " + site.SNP_ID);
    errno = 0;
    if (!v.index_after) {
        if (bcf_write(v.file.get(), h, rec) != 0) fail(v.name, "cannot write SNP " + site.SNP_ID);
        return;
    }
    // The record's line straight into the compressed stream, blocks cut at their full size
    // rather than before a line that would not fit, as bcftools concat writes.
    v.line.l = 0;
    if (vcf_format(h, rec, &v.line) != 0 ||
        bgzf_write(v.file->fp.bgzf, v.line.s, v.line.l) != static_cast<ssize_t>(v.line.l))
        fail(v.name, "cannot write SNP " + site.SNP_ID);
}

void vcf_writer::finish()
{
    state& v = *state_;
    errno = 0;
    if (!v.index_after && bcf_idx_save(v.file.get()) != 0) fail(v.index, "cannot write");
    errno = 0;
    if (hts_close(v.file.release()) != 0) fail(v.name, "cannot write");
    errno = 0;
    if (v.index_after && bcf_index_build3(v.temporary.c_str(), v.temporary_index.c_str(), csi_min_shift, 0) != 0)
        fail(v.index, "cannot write");
    settle(v.temporary, v.name);
    settle(v.temporary_index, v.index);
}
