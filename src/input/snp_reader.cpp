#include "input/snp_reader.hpp"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "input/sample_ids.hpp"
#include "input/side_files.hpp"
#include "input/tokens.hpp"
#include "state/error.hpp"

namespace input {

snp_reader::snp_reader(const settings& s) : cfg_(s)
{
    std::cout << "reading data" << std::endl;
    if (s.chrX)
        std::cout << "assuming X chromosome mode" << std::endl;
    if (s.input_files.empty())
        throw run_error("no intensity file given: name one per cohort after -i");
    if (s.chrX && s.sex_files.size() < s.input_files.size())
        throw run_error("X chromosome mode needs one sex file per cohort: " + std::to_string(s.input_files.size()) +
                        " intensity files but " + std::to_string(s.sex_files.size()) + " sex files after -chrX");
    const std::size_t nc = s.input_files.size();
    cohort_description& d = cohorts_;

    const input_format format = format_of_cohorts(s.input_files);
    d.vcf_input = format == input_format::vcf;
    if (s.raw_intensities && !d.vcf_input)
        throw run_error("invalid setting: -intensities RAW reads FORMAT/X and Y of VCF/BCF input, but " +
                            s.input_files[0] + " is a text intensity file", 2);
    for (const std::string& name : s.input_files) {
        sources_.push_back(open_cohort(name, format, s));
        d.sample_ids.push_back(sources_.back()->samples());
        d.n_file_individuals.push_back(static_cast<int>(d.sample_ids.back().size()));
        std::cout << " reading file : " << name << std::endl;
    }
    d.vcf_contigs = sources_[0]->contigs();
    sites_.resize(nc);

    d.sex_counts.assign(nc, {0, 0, 0});
    for (std::size_t j = 0; j < nc; ++j) {
        std::cout << " cohort " << j << " # ind = " << d.n_file_individuals[j] << std::endl;
        if (!s.chrX)
            continue;
        std::cout << "reading file " << s.sex_files[j] << std::endl;
        d.sex.push_back(read_cohort_sexes(s.sex_files[j], d.sample_ids[j], s.input_files[j], d.sex_counts[j]));
        std::cout << " # males = " << d.sex_counts[j][1] << "\t# females = " << d.sex_counts[j][2] << "\t# unknown "
                  << d.sex_counts[j][0] << std::endl;
    }

    // Cohorts exported with the same column labels would repeat every identifier: a few lines
    // tell the user, the count says how many more there are.
    constexpr std::size_t renamings_listed = 10;
    const std::vector<renamed_id> renamed = make_unique_ids(d.sample_ids);
    for (std::size_t k = 0; k < renamed.size() && k < renamings_listed; ++k)
        std::cerr << "warning: " << printable(s.input_files[static_cast<std::size_t>(renamed[k].cohort)])
                  << ": individual " << renamed[k].column + 1 << " has the identifier " << printable(renamed[k].from)
                  << " of an earlier individual; it is called " << printable(renamed[k].to) << " in the results"
                  << std::endl;
    if (renamed.size() > renamings_listed)
        std::cerr << "warning: " << renamed.size() - renamings_listed << " more individuals renamed the same way"
                  << std::endl;

    if (!s.snp_info_file.empty())
        info_ = std::make_unique<snp_info_reader>(s.snp_info_file);
    // A last SNP before the first means, as none, the end of the files.
    first_number_ = std::max(s.first_snp, 1);
    if (s.last_snp >= first_number_)
        last_number_ = s.last_snp;
    if (s.regions.empty()) {
        std::cout << " snp range " << first_number_ << "-" << (last_number_ > 0 ? std::to_string(last_number_) : "end")
                  << std::endl;
        return;
    }
    std::string list;
    for (const std::string& region : s.regions) list += (list.empty() ? "" : ",") + region;
    std::cout << " regions " << list << std::endl;
    of_regions_ = " in the regions of -r";
}

// The SNPs before the range are skipped without reading their identities or intensities.
void snp_reader::skip_to_range()
{
    for (; next_number_ < first_number_; ++next_number_)
        for (std::size_t j = 0; j < sources_.size(); ++j)
            if (!sources_[j]->skip())
                ended(j);
    if (info_ && first_number_ > 1)
        info_->skip(first_number_ - 1);
    range_start_ = sources_[0]->bytes_read();
}

// Cohort j's file ended where its SNP next_number_ would be: before the range begins, or, for
// a later cohort, before the first cohort's file ends.
void snp_reader::ended(std::size_t j) const
{
    const cohort_source& first = *sources_[0];
    const std::string held = std::to_string(next_number_ - 1);
    if (j == 0)
        throw run_error(first.name() + ": the selected range starts at SNP " + std::to_string(first_number_) +
                        " but the file holds " + held + " " + first.words().snps);
    sources_[j]->fail_at_end("the file ends after " + held + " " + sources_[j]->words().snp_lines + of_regions_ +
                             ", but " + first.name() + " holds more; every cohort's file must list the same SNPs");
}

// The first cohort's file has ended after next_number_ - 1 SNPs: every other must end there too.
void snp_reader::check_ended_together() const
{
    for (std::size_t j = 1; j < sources_.size(); ++j)
        if (sources_[j]->skip())
            sources_[j]->fail("holds more than " + std::to_string(next_number_ - 1) + " " +
                              sources_[j]->words().snp_lines + of_regions_ + ", but " + sources_[0]->name() +
                              " holds exactly that many; every cohort's file must list the same SNPs");
}

bool snp_reader::next(snp& record, int& number)
{
    if (taken_ == ahead_.size())
        return read(record, number);
    number = next_number_ - static_cast<int>(ahead_.size() - taken_);
    record = std::move(ahead_[taken_]);
    if (++taken_ == ahead_.size())
        ahead_.clear(), taken_ = 0;
    return true;
}

const std::vector<snp>& snp_reader::read_ahead(int n)
{
    for (int number = 0; n > 0; --n) {
        ahead_.emplace_back();
        if (!read(ahead_.back(), number)) {
            ahead_.pop_back();
            break;
        }
    }
    return ahead_;
}

bool snp_reader::read(snp& record, int& number)
{
    if (done_)
        return false;
    if (!started_) {
        started_ = true;
        skip_to_range();
    }
    if (last_number_ > 0 && next_number_ > last_number_) {
        done_ = true;
        return false;
    }
    const std::size_t nc = sources_.size();
    record.points.resize(nc);
    record.cohort_index.resize(nc);
    record.missing.resize(nc);
    record.clumps.clear();
    record.x_lo = record.y_lo = -1000;
    record.x_hi = record.y_hi = 1000;
    for (std::size_t j = 0; j < nc; ++j) {
        cohort_source& source = *sources_[j];
        if (!source.next(sites_[j])) {
            if (j > 0 || (next_number_ == first_number_ && of_regions_.empty()))
                ended(j);
            // Regions without records are no mistake: a region of a genome may hold no SNP.
            if (next_number_ == first_number_)
                std::cerr << "warning: " << printable(source.name()) << " holds no records" << of_regions_ << std::endl;
            check_ended_together();
            done_ = true;
            return false;
        }
        if (j == 0)
            take_site(record);
        else
            check_same_snp(j);
        std::vector<xy>& points = record.points[j];
        source.read_points(points, record.missing[j]);
        if (cfg_.scale != 1)
            for (xy& p : points)
                p = {p[0] / cfg_.scale, p[1] / cfg_.scale};
        record.cohort_index[j].assign(points.size(), static_cast<int>(j));
    }
    number = next_number_++;
    return true;
}

// The record takes the first cohort's identity of the SNP, and its line of the SNP information.
void snp_reader::take_site(snp& record)
{
    const snp_site& site = sites_[0];
    if (cfg_.write_vcf)
        check_for_vcf(site);
    record.SNP_ID = site.SNP_ID;
    record.rs = site.rs;
    record.position = site.position;
    record.allele1 = site.allele1;
    record.allele2 = site.allele2;
    record.chrom = site.chrom;
    record.alleles = site.alleles;
    record.allele_a = site.allele_a;
    record.allele_b = site.allele_b;
    record.prior_allele_freq = -1;
    if (info_)
        info_->next(record.rs, record.prior_allele_freq);
}

// The SNP of a later cohort must be the SNP of the first cohort's file at that place: another
// would fit two SNPs together. A different name alone is only told.
void snp_reader::check_same_snp(std::size_t j) const
{
    const cohort_source& source = *sources_[j];
    const snp_site &site = sites_[j], &first = sites_[0];
    const std::string& first_file = sources_[0]->name();
    if (source.snp_name(site) != source.snp_name(first))
        std::cerr << "warning: " << printable(source.where()) << ": " << source.words().name << " "
                  << printable(source.snp_name(site)) << " differs from " << printable(source.snp_name(first)) << " "
                  << source.words().same_place << " of " << printable(first_file) << std::endl;
    if (source.same_snp(site, first))
        return;
    const std::string label = source.snp_label(site), identity = source.identity(site);
    source.fail((label.empty() ? identity : label + " (" + identity + ")") + " is not the SNP of " +
                source.words().place + " " + std::to_string(sources_[0]->number()) + " of " + first_file + " (" +
                source.identity(first) + "): every cohort's file must list the same SNPs in the same order");
}

namespace {

// A single VCF allele from an array: one or more of the bases A, C, G, T and N, in either case.
bool is_vcf_allele(std::string_view allele)
{
    return !allele.empty() && allele.find_first_not_of("ACGTNacgtn") == std::string_view::npos;
}

}  // namespace

// With -vcf every SNP needs alleles a VCF record can hold, a position the index can hold, a
// contig the VCF header declares (from VCF/BCF input), and each contig's SNPs together with
// their positions ascending.
void snp_reader::check_for_vcf(const snp_site& site)
{
    const cohort_source& source = *sources_[0];
    const std::string label = source.snp_label(site);
    const auto refuse = [&](const std::string& what) { source.fail(label.empty() ? what : label + ": " + what); };
    const auto check_allele = [&](const char* name, const std::string& allele) {
        if (!is_vcf_allele(allele))
            refuse(std::string(name) + " " + quoted(allele) +
                   " is not a single VCF allele (bases A, C, G, T, N), which -vcf needs");
    };
    // Text input writes allele1 and allele2; VCF/BCF input every allele of its record.
    if (site.alleles.empty()) {
        check_allele("allele1", site.allele1);
        check_allele("allele2", site.allele2);
    }
    for (std::size_t a = 0; a < site.alleles.size(); ++a) check_allele(a == 0 ? "REF" : "ALT", site.alleles[a]);
    if (site.pos < 1)
        refuse("position " + quoted(site.position) + " is not a positive integer, which -vcf needs");
    if (site.pos > INT_MAX)
        refuse("position " + site.position + " is beyond what -vcf can write");
    if (cohorts_.vcf_input && std::none_of(cohorts_.vcf_contigs.begin(), cohorts_.vcf_contigs.end(),
                                           [&](const auto& contig) { return contig.first == site.chrom; }))
        refuse("contig " + site.chrom + " is not declared in the header (a ##contig line), which -vcf needs: " +
               "add the contigs with bcftools reheader --fai, or leave out -vcf");
    // The converters write records in the order of the array's manifest.
    const std::string sort = cohorts_.vcf_input ? "; sort the files first (bcftools sort, then bcftools index)" : "";
    if (finished_contigs_.empty() || finished_contigs_.back() != site.chrom) {
        if (std::find(finished_contigs_.begin(), finished_contigs_.end(), site.chrom) != finished_contigs_.end())
            refuse("contig " + site.chrom + " comes back after other contigs; -vcf needs each contig's " +
                   source.words().snp_lines + " together" + sort);
        finished_contigs_.push_back(site.chrom);
        previous_position_ = 0;
    }
    if (site.pos < previous_position_)
        refuse("position " + std::to_string(site.pos) + " is below the position " + std::to_string(previous_position_) +
               " of the " + source.words().snp + " before it; -vcf needs ascending positions" + sort);
    previous_position_ = site.pos;
}

double snp_reader::share_read() const
{
    // Regions are read where the index points, so the bytes read do not tell the share.
    if (!of_regions_.empty())
        return 0;
    const std::uint64_t size = sources_[0]->size(), read = sources_[0]->bytes_read();
    if (size <= range_start_)
        return 1;
    const double share = static_cast<double>(read - std::min(read, range_start_)) / static_cast<double>(size - range_start_);
    return std::min(share, 1.0);
}

}  // namespace input
