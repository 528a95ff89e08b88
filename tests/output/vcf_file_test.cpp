#include "output/vcf_file.hpp"

#include <gtest/gtest.h>

#include <sys/resource.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <htslib/hts.h>
#include <htslib/kstring.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "output/output_files.hpp"
#include "output/result_layout.hpp"
#include "output_test_support.hpp"
#include "state/data.hpp"
#include "state/error.hpp"

using namespace output_test;

namespace {

using values4 = std::array<double, 4>;

TEST(VcfGenotype, CallsAtTheThresholdOfThePrintedValue)
{
    const values4 unsure{0.1, 0.8, 0.1, 0};
    vcf_genotype g = vcf_genotype_of(&unsure, 1, false, 0.9);
    EXPECT_EQ(g.ploidy, 2);
    EXPECT_EQ(g.call, -1);
    ASSERT_EQ(g.n_gp, 3);
    EXPECT_EQ(g.gp, (std::array<double, 3>{0.1, 0.8, 0.1}));

    // The call file prints 0.89996 as 0.9000, so the threshold 0.9 is reached; 0.89994 is 0.8999.
    const values4 just_above{0, 0.89996, 0.1, 0};
    g = vcf_genotype_of(&just_above, 1, false, 0.9);
    EXPECT_EQ(g.call, 1);
    EXPECT_EQ(g.gp[1], 0.9);
    const values4 just_below{0, 0.89994, 0.1, 0};
    EXPECT_EQ(vcf_genotype_of(&just_below, 1, false, 0.9).call, -1);

    // Counts over sampled iterations are divided first; values above 0.999 print as 1, below
    // 0.001 as 0.
    const values4 counts{50, 949, 1, 0};
    g = vcf_genotype_of(&counts, 1000, false, 0.9);
    EXPECT_EQ(g.call, 1);
    EXPECT_EQ(g.gp, (std::array<double, 3>{0.05, 0.949, 0.001}));
    const values4 sure{0.9995, 0.0005, 0, 0};
    g = vcf_genotype_of(&sure, 1, false, 1);
    EXPECT_EQ(g.gp, (std::array<double, 3>{1, 0, 0}));
    EXPECT_EQ(g.call, 0);

    // A tie goes to the lower class; an individual with no genotype share is never called.
    const values4 tie{0.45, 0.45, 0.1, 0};
    EXPECT_EQ(vcf_genotype_of(&tie, 1, false, 0.4).call, 0);
    const values4 null_class{0, 0.0004, 0, 0.9996};
    EXPECT_EQ(vcf_genotype_of(&null_class, 1, false, 0).call, -1);
    const values4 spread{0.2, 0.3, 0.5, 0};
    EXPECT_EQ(vcf_genotype_of(&spread, 1, false, 0).call, 2);
}

TEST(VcfGenotype, HaploidMalesAndMissingIndividuals)
{
    const values4 alt{0.05, 0, 0.95, 0};
    vcf_genotype g = vcf_genotype_of(&alt, 1, true, 0.9);
    EXPECT_EQ(g.ploidy, 1);
    ASSERT_EQ(g.n_gp, 2);
    EXPECT_EQ(g.gp[0], 0.05);
    EXPECT_EQ(g.gp[1], 0.95);
    EXPECT_EQ(g.call, 2);
    EXPECT_EQ(vcf_genotype_of(&alt, 1, true, 0.96).call, -1);

    g = vcf_genotype_of(nullptr, 1, false, 0.9);
    EXPECT_EQ(g.ploidy, 2);
    EXPECT_EQ(g.n_gp, 0);
    EXPECT_EQ(g.call, -1);
    g = vcf_genotype_of(nullptr, 1, true, 0.9);
    EXPECT_EQ(g.ploidy, 1);
    EXPECT_EQ(g.n_gp, 0);
}

TEST(VcfGenotype, PrintedValueIsWhatTheCallFileShows)
{
    // Every value on a fine grid, ties of the fourth decimal included.
    for (int i = 0; i <= 200000; ++i) {
        const double v = i / 200000.0;
        std::ostringstream out;
        write_call_value(out, v);
        ASSERT_EQ(printed_call_value(v), std::strtod(out.str().c_str(), nullptr)) << v << " " << out.str();
    }
    EXPECT_TRUE(std::isnan(printed_call_value(std::nan(""))));
}

TEST(VcfInfo, AltFrequencyWeighsCohortsByAlleleCopies)
{
    EXPECT_DOUBLE_EQ(alt_allele_frequency({0.7, 0.4}, {5, 3}), (5 * 0.3 + 3 * 0.6) / 8);
    EXPECT_DOUBLE_EQ(alt_allele_frequency({0.25}, {10}), 0.75);
    EXPECT_TRUE(std::isnan(alt_allele_frequency({0.5, 0.5}, {0, 0})));
}

// Two input cohorts (3 and 2 individuals, the first of each a male) in X mode, three SNPs.
void make_vcf_run(data& d, const temp_dir& dir)
{
    make_run(d, dir, {3, 2}, 3);
    d.write_vcf = true;
    d.chromosome = ".";
    d.chrX = true;
    d.sex = {{1, 2, 0}, {1, 2}};
    d.stored_calls[0] = {{{0, 0, 10, 0}, {1, 8, 1, 0}, {0, 9, 1, 0}}, {{9, 0, 1, 0}, {0, 0, 0, 10}}};
    d.snps[1].missing = {{0}, {1}};
    d.stored_calls[1] = {{{0, 0, 10, 0}, {10, 0, 0, 0}}, {{0, 0, 10, 0}}};
    for (auto& p : d.results) {
        p.alpha = {0.7, 0.4};
        p.info1 = {12.5, 3};
        p.info2 = {-1, 7};
    }
}

struct vcf_reader {
    explicit vcf_reader(const std::string& name) : file(hts_open(name.c_str(), "r"))
    {
        if (!file) throw std::runtime_error("cannot open " + name);
        header = bcf_hdr_read(file);
        record = bcf_init();
    }
    ~vcf_reader()
    {
        free(gt);
        free(gp);
        free(info);
        bcf_destroy(record);
        bcf_hdr_destroy(header);
        hts_close(file);
    }
    vcf_reader(const vcf_reader&) = delete;
    vcf_reader& operator=(const vcf_reader&) = delete;

    bool next()
    {
        if (bcf_read(file, header, record) != 0) return false;
        bcf_unpack(record, BCF_UN_ALL);
        n_gt = bcf_get_genotypes(header, record, &gt, &gt_size);
        n_gp = bcf_get_format_float(header, record, "GP", &gp, &gp_size);
        return true;
    }
    std::vector<float> info_values(const char* key)
    {
        const int n = bcf_get_info_float(header, record, key, &info, &info_size);
        return n > 0 ? std::vector<float>(info, info + n) : std::vector<float>{};
    }
    // Sample i's genotype as VCF text, e.g. "0/1", "1", "./.".
    std::string genotype(int i) const
    {
        std::string text;
        for (int a = 0; a < 2; ++a) {
            const std::int32_t v = gt[2 * i + a];
            if (v == bcf_int32_vector_end) break;
            if (a > 0) text += '/';
            text += bcf_gt_is_missing(v) ? "." : std::to_string(bcf_gt_allele(v));
        }
        return text;
    }
    // Sample i's GP values; "." for a missing one.
    std::string probabilities(int i) const
    {
        std::string text;
        for (int k = 0; k < 3; ++k) {
            const float v = gp[3 * i + k];
            if (bcf_float_is_vector_end(v)) break;
            if (k > 0) text += ',';
            if (bcf_float_is_missing(v)) {
                text += '.';
            } else {
                std::ostringstream s;
                s << v;
                text += s.str();
            }
        }
        return text;
    }

    htsFile* file;
    bcf_hdr_t* header = nullptr;
    bcf1_t* record = nullptr;
    std::int32_t* gt = nullptr;
    float *gp = nullptr, *info = nullptr;
    int gt_size = 0, gp_size = 0, info_size = 0, n_gt = 0, n_gp = 0;
};

TEST(VcfFile, RecordsSamplesAndInfo)
{
    temp_dir dir;
    data d;
    make_vcf_run(d, dir);
    run_output(d);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out.vcf.gz", "out.vcf.gz.csi", "out_0.sample", "out_0_mcmc",
                                                       "out_1.sample", "out_1_mcmc", "out_information", "out_params"}));

    vcf_reader vcf(dir.file("out.vcf.gz"));
    ASSERT_EQ(bcf_hdr_nsamples(vcf.header), 5);
    const char* const names[] = {"c0_s0", "c0_s1", "c0_s2", "c1_s0", "c1_s1"};
    for (int i = 0; i < 5; ++i) EXPECT_STREQ(vcf.header->samples[i], names[i]);

    struct expected_record {
        std::vector<std::string> gt, gp;
        float af;
    };
    const expected_record want[] = {
        // Males haploid: classes 0 and 2 only. 0.9 reaches the threshold, 0.8 does not; the
        // individual in the null class is written 0,0,0 and not called.
        {{"1", "./.", "0/1", "0", "./."},
         {"0,1", "0.1,0.8,0.1", "0,0.9,0.1", "0.9,0.1", "0,0,0"},
         static_cast<float>((5 * 0.3 + 3 * 0.6) / 8)},
        // Individuals left out of the SNP: missing GT and GP, and no allele copies for AF.
        {{".", "1/1", "0/0", "1", "./."}, {".", "0,0,1", "1,0,0", "0,1", "."}, static_cast<float>((4 * 0.3 + 1 * 0.6) / 5)},
        {{"0", "0/0", "0/0", "0", "0/0"}, {"1,0", "1,0,0", "1,0,0", "1,0", "1,0,0"}, static_cast<float>((5 * 0.3 + 3 * 0.6) / 8)},
    };
    for (int s = 0; s < 3; ++s) {
        ASSERT_TRUE(vcf.next()) << s;
        EXPECT_STREQ(bcf_hdr_id2name(vcf.header, vcf.record->rid), ".");
        EXPECT_EQ(vcf.record->pos + 1, 123400 + s);
        EXPECT_STREQ(vcf.record->d.id, ("rs" + std::to_string(5000 + s)).c_str());
        ASSERT_EQ(vcf.record->n_allele, 2);
        EXPECT_STREQ(vcf.record->d.allele[0], "A");
        EXPECT_STREQ(vcf.record->d.allele[1], "G");
        ASSERT_EQ(vcf.n_gt, 10);
        ASSERT_EQ(vcf.n_gp, 15);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(vcf.genotype(i), want[s].gt[static_cast<std::size_t>(i)]) << s << " " << i;
            EXPECT_EQ(vcf.probabilities(i), want[s].gp[static_cast<std::size_t>(i)]) << s << " " << i;
        }
        EXPECT_EQ(vcf.info_values("AF"), std::vector<float>{want[s].af});
        EXPECT_EQ(vcf.info_values("INFO1"), (std::vector<float>{12.5f, 3}));
        EXPECT_EQ(vcf.info_values("INFO2"), (std::vector<float>{-1, 7}));
        // The text VCF holds 6 significant digits.
        EXPECT_EQ(vcf.info_values("LOGPOST"), std::vector<float>{-1234.57f});
    }
    EXPECT_FALSE(vcf.next());

    // The index answers a region query on the chromosome named ".".
    tbx_t* index = tbx_index_load(dir.file("out.vcf.gz").c_str());
    ASSERT_NE(index, nullptr);
    hts_itr_t* region = tbx_itr_querys(index, ".:123401-123402");
    ASSERT_NE(region, nullptr);
    std::vector<std::string> ids;
    kstring_t line = KS_INITIALIZE;
    while (tbx_itr_next(vcf.file, index, region, &line) >= 0) {
        std::istringstream fields(line.s);
        std::string chrom, pos, id;
        fields >> chrom >> pos >> id;
        ids.push_back(id);
    }
    ks_free(&line);
    hts_itr_destroy(region);
    tbx_destroy(index);
    EXPECT_EQ(ids, (std::vector<std::string>{"rs5001", "rs5002"}));
}

TEST(VcfFile, MalesAreDiploidWhenHeterozygotesAreAllowed)
{
    temp_dir dir;
    data d;
    make_vcf_run(d, dir);
    d.allow_male_hets = true;
    d.chromosome = "chrX";
    run_output(d);
    vcf_reader vcf(dir.file("out.vcf.gz"));
    ASSERT_TRUE(vcf.next());
    EXPECT_STREQ(bcf_hdr_id2name(vcf.header, vcf.record->rid), "chrX");
    EXPECT_EQ(vcf.genotype(0), "1/1");
    EXPECT_EQ(vcf.probabilities(0), "0,0,1");
    EXPECT_EQ(vcf.info_values("AF"), std::vector<float>{static_cast<float>((6 * 0.3 + 4 * 0.6) / 10)});
}

TEST(VcfFile, DescendingPositionsAreRefusedWithoutAFile)
{
    temp_dir dir;
    data d;
    make_vcf_run(d, dir);
    d.snps[2].position = "100";
    write_file(dir.file("out.vcf.gz"), "old");
    quiet_console quiet;
    try {
        d.output_mcmc();
        ADD_FAILURE() << "no error";
    } catch (const run_error& e) {
        EXPECT_EQ(std::string(e.what()), dir.file("out.vcf.gz") +
                                             ": SNP SNP_A-102 at position 100 follows position 123401; "
                                             "positions must ascend");
    }
    EXPECT_EQ(read_file(dir.file("out.vcf.gz")), "old");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out.vcf.gz", "out_0.sample", "out_0_mcmc", "out_1.sample",
                                                       "out_1_mcmc", "out_information", "out_params"}));
}

// Memory allocated while this lives is not reported as leaked (under LeakSanitizer only).
struct leak_check_off {
#if defined(__SANITIZE_ADDRESS__)
    leak_check_off() { __lsan_disable(); }
    ~leak_check_off() { __lsan_enable(); }
#else
    leak_check_off() {}
    ~leak_check_off() {}
#endif
    leak_check_off(const leak_check_off&) = delete;
    leak_check_off& operator=(const leak_check_off&) = delete;
};

// The message of the run_error that writing the results throws, or "" when none is thrown.
std::string output_error(data& d)
{
    quiet_console quiet;
    try {
        d.output_mcmc();
    } catch (const run_error& e) {
        return e.what();
    }
    return "";
}

TEST(VcfFile, FailuresNameTheFileAndLeaveNoTemporaries)
{
    // The final name is a directory: the rename fails.
    {
        temp_dir dir;
        data d;
        make_vcf_run(d, dir);
        fs::create_directory(dir.file("out.vcf.gz"));
        const std::string message = output_error(d);
        EXPECT_EQ(message.rfind(dir.file("out.vcf.gz") + ": cannot rename", 0), 0u) << message;
        EXPECT_FALSE(fs::exists(dir.file("out.vcf.gz.partial")));
        EXPECT_FALSE(fs::exists(dir.file("out.vcf.gz.csi.partial")));
    }
    // The temporary name is taken by a directory: the file cannot be created.
    {
        temp_dir dir;
        data d;
        make_vcf_run(d, dir);
        fs::create_directory(dir.file("out.vcf.gz.partial"));
        EXPECT_EQ(output_error(d), dir.file("out.vcf.gz") + ": cannot create " + dir.file("out.vcf.gz.partial") +
                                       ": Is a directory");
    }
    // The writes themselves fail (a file size limit, as a full disk would): twenty cohorts of 50
    // keep every other file small, while the VCF holds all 1000 individuals.
    {
        temp_dir dir;
        data d;
        make_run(d, dir, std::vector<int>(20, 50), 20);
        d.write_vcf = true;
        unsigned state = 12345;
        for (auto& snp_calls : d.stored_calls)
            for (auto& cohort : snp_calls)
                for (auto& v : cohort) {
                    state = state * 1103515245u + 12345u;
                    const double a = (state >> 8) % 10000 / 10000.0;
                    v = {a, 1 - a, 0, 0};
                }
        d.sampling_final_phase = false;
        struct rlimit old_limit {};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
        const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old_limit;
        small.rlim_cur = 60000;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        std::string message;
        {
            // htslib 1.16 does not free a compressed stream whose last flush fails; the run ends
            // right after such an error, so only this test would see the leak.
            leak_check_off leaks_ignored;
            message = output_error(d);
        }
        ::setrlimit(RLIMIT_FSIZE, &old_limit);
        std::signal(SIGXFSZ, old_handler);
        EXPECT_EQ(message.rfind(dir.file("out.vcf.gz") + ": cannot write", 0), 0u) << message;
        EXPECT_NE(message.find("File too large"), std::string::npos) << message;
        EXPECT_TRUE(fs::exists(dir.file("out_19.sample")));
        EXPECT_FALSE(fs::exists(dir.file("out.vcf.gz")));
        EXPECT_FALSE(fs::exists(dir.file("out.vcf.gz.partial")));
        EXPECT_FALSE(fs::exists(dir.file("out.vcf.gz.csi.partial")));
    }
}

}  // namespace
