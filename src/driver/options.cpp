#include "driver/options.hpp"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "state/data.hpp"
#include "state/error.hpp"

namespace {

// Values that follow an option; `values` points at the first of them.
using setter = void (*)(data&, char** values, int count);

struct option_spec {
    const char* name;
    int values;          // number of values taken; -1: a list up to the next argument beginning with '-'
    setter set;
    const char* help;    // values and default, for the usage text
};

int to_int(const char* s) { return static_cast<int>(std::strtol(s, nullptr, 10)); }
double to_real(const char* s) { return std::strtod(s, nullptr); }
prior_pair to_pair(char** v) { return {to_real(v[0]), to_real(v[1])}; }
std::vector<std::string> to_list(char** v, int count) { return {v, v + count}; }

// A contig name that VCF allows (4.3): letters, digits and !#$%&+./:;?@^_|~- ; after the first
// character also * and =. Anything else is refused by readers or breaks region queries.
bool is_vcf_contig_name(const std::string& name)
{
    const auto allowed = [](char ch, bool first) {
        if (std::isalnum(static_cast<unsigned char>(ch))) return true;
        if (std::string_view("!#$%&+./:;?@^_|~-").find(ch) != std::string_view::npos) return true;
        return !first && (ch == '*' || ch == '=');
    };
    if (name.empty()) return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (!allowed(name[i], i == 0)) return false;
    return true;
}

const option_spec input_options[] = {
    {"-nrs", 0, [](data&, char**, int) {}, "fixed seed 0.12345 for a reproducible run (default: seed from the clock)"},
    {"-seed", 1, [](data&, char**, int) {}, "X  seed, a real strictly between 0 and 1, for a reproducible run (the last of -seed and -nrs wins)"},
    {"-f", 1, [](data& d, char** v, int) { d.snp_info_file = v[0]; }, "FILE  SNP information file with prior allele frequencies (default: none)"},
    {"-single", 1, [](data& d, char** v, int) { d.single = to_int(v[0]); }, "N  pool all cohorts for the random starts; 1 splits them again for the final phase (default 0)"},
    {"-gz", 0, [](data& d, char**, int) { d.gz = true; }, "intensity files are gzip-compressed"},
    {"-bz2", 0, [](data& d, char**, int) { d.bz2 = true; }, "intensity files are bzip2-compressed"},
    {"-snps", 2, [](data& d, char** v, int) { d.first_snp = to_int(v[0]); d.last_snp = to_int(v[1]); }, "A B  1-based range of SNPs to analyse (default: all)"},
    {"-i", -1, [](data& d, char** v, int n) { d.input_files = to_list(v, n); }, "FILE...  one intensity file per cohort"},
    {"-scale", 1, [](data& d, char** v, int) { d.scale = to_real(v[0]); }, "F  divide every intensity by F, to bring raw-scale data (median x + y far from 1.2) to the priors' scale (default 1)"},
    {"-chrX", -1, [](data& d, char** v, int n) { d.sex_files = to_list(v, n); d.chrX = true; }, "FILE...  X-chromosome mode, one sex file per cohort (0 unknown, 1 male, 2 female)"},
};

const option_spec model_options[] = {
    {"-test", 1, [](data& d, char** v, int) { d.model_test = to_int(v[0]); }, "N  nonzero writes the tests file (default 0)"},
    {"-o", 1, [](data& d, char** v, int) { d.output_prefix = v[0]; }, "PREFIX  prefix of the output files (default out)"},
    {"-approx", 2, [](data& d, char** v, int) { d.approx_mode = to_int(v[0]); d.approx_grid = to_int(v[1]); }, "M G  clump points on a G x G grid; M = 1 declumps before the final phase, other nonzero M after it (default 0 0)"},
    {"-allow_male_hets", 0, [](data& d, char**, int) { d.allow_male_hets = true; }, "in X mode, males may be called heterozygous"},
    {"-pr", 0, [](data& d, char**, int) { d.print_proposals = true; }, "print proposal diagnostics"},
    {"-names", 0, [](data& d, char**, int) { d.print_names = true; }, "print the name of every update as it runs"},
    {"-print_params", 0, [](data& d, char**, int) { d.print_params = true; }, "write the log-posterior terms of every sampled final-phase iteration to the file params"},
    {"-watch_counts", 0, [](data& d, char**, int) { d.watch_counts = true; }, "print genotype counts every sampled final-phase iteration"},
    {"-max1", 0, [](data& d, char**, int) { d.sampling_start_phase = false; }, "random starts maximise instead of sampling"},
    {"-max2", 0, [](data& d, char**, int) { d.sampling_final_phase = false; }, "final phase maximises; calls are posterior probabilities"},
    {"-nmax", 1, [](data& d, char** v, int) { d.n_max = to_int(v[0]); }, "N  iterations per random start (default 40)"},
    {"-n", 1, [](data& d, char** v, int) { d.n_iter = to_int(v[0]); }, "N  final-phase iterations after burn-in (default 1000)"},
    {"-b", 1, [](data& d, char** v, int) { d.burn_in = to_int(v[0]); }, "N  final-phase burn-in iterations (default 200)"},
    {"-label_starts", 0, [](data& d, char**, int) { d.label_starts = true; }, "after the random starts, one start for every plausible labelling of the clusters (recommended)"},
    {"-ns", 1, [](data& d, char** v, int) { d.n_starts = to_int(v[0]); }, "N  random starts per stage (default 4)"},
    {"-fancy", 1, [](data& d, char** v, int) { d.fancy = to_int(v[0]); }, "N  period of the per-cohort global proposals (default 10)"},
    {"-paf", 1, [](data& d, char** v, int) { d.paf = to_real(v[0]); d.paf_set = true; }, "P  prior allele frequency for every SNP (default: from -f)"},
    {"-c_alpha_prior", 1, [](data& d, char** v, int) { d.c_alpha_prior = to_real(v[0]); }, "V  spread of the reference frequency around the mean (default 0.01)"},
    {"-c_alpha_cohorts", 1, [](data& d, char** v, int) { d.c_alpha_cohorts = to_real(v[0]); }, "V  spread of the cohort allele frequencies (default 0.005)"},
    {"-alpha_star_prior", 2, [](data& d, char** v, int) { d.alpha_star_prior = to_pair(v); }, "A B  Beta prior of the mean allele frequency (default 1 1)"},
    {"-pgd", 1, [](data& d, char** v, int) { d.pgd = to_real(v[0]); }, "C  concentration of the genotype-proportion prior (default 10)"},
    {"-nonull", 0, [](data& d, char**, int) { d.nonull = true; }, "no null class"},
    {"-eta_mean_prior", 2, [](data& d, char** v, int) { d.eta_mean_prior = to_pair(v); }, "A B  (default 3 100)"},
    {"-eta_var_prior", 2, [](data& d, char** v, int) { d.eta_var_prior = to_pair(v); }, "A B  (default 5 100)"},
    {"-length_mean_prior", 2, [](data& d, char** v, int) { d.length_mean_prior = to_pair(v); }, "SHAPE RATE  (default 20 20)"},
    {"-length_var_prior", 2, [](data& d, char** v, int) { d.length_var_prior = to_pair(v); }, "SHAPE RATE  (default 1 100)"},
    {"-gradient_mean_prior", 2, [](data& d, char** v, int) { d.gradient_mean_prior = to_pair(v); }, "SHAPE RATE  (default 10 10)"},
    {"-gradient_var_prior", 2, [](data& d, char** v, int) { d.gradient_var_prior = to_pair(v); }, "SHAPE RATE  (default 1 100)"},
    {"-fraction_mean_prior", 2, [](data& d, char** v, int) { d.fraction_mean_prior = to_pair(v); }, "A B  (default 30 30)"},
    {"-fraction_var_prior", 2, [](data& d, char** v, int) { d.fraction_var_prior = to_pair(v); }, "A B  (default 1 100)"},
    {"-departure_mean_prior", 2, [](data& d, char** v, int) { d.departure_mean_prior = to_pair(v); }, "A B  (default 2 8)"},
    {"-departure_var_prior", 2, [](data& d, char** v, int) { d.departure_var_prior = to_pair(v); }, "A B  (default 1 100)"},
    {"-center_var_prior_mean", 2, [](data& d, char** v, int) { d.center_var_prior_mean = to_real(v[0]); d.center_var_prior_df = to_int(v[1]); }, "S2 DF  scale and integer degrees of freedom of the centre variance prior (default 0.0001 100)"},
    {"-sigma_mean_prior", 2, [](data& d, char** v, int) { d.sigma_mean_prior = to_pair(v); }, "SHAPE RATE  (default 1 4)"},
    {"-sigma_var_prior", 2, [](data& d, char** v, int) { d.sigma_var_prior = to_pair(v); }, "SHAPE RATE  (default 1 100)"},
    {"-varfrac_mean_prior", 2, [](data& d, char** v, int) { d.varfrac_mean_prior = to_pair(v); }, "A B  (default 2.5 7.5)"},
    {"-varfrac_var_prior", 2, [](data& d, char** v, int) { d.varfrac_var_prior = to_pair(v); }, "A B  (default 1 100)"},
    {"-r_mean_prior", 1, [](data& d, char** v, int) { const double x = to_real(v[0]); d.r_mean_prior = {{x, x, x}, {x, x, x}}; }, "X  every entry of the correlation-mean prior (default a = 1 10 1, b = 50 1 50)"},
    {"-r_var_prior", 1, [](data& d, char** v, int) { const double x = to_real(v[0]); d.r_var_prior = {{x, x, x}, {x, x, x}}; }, "X  every entry of the correlation-spread prior (default a = 1 1 1, b = 100 100 100)"},
    {"-vcf", 0, [](data& d, char**, int) { d.write_vcf = true; }, "also write PREFIX.vcf.gz (bgzip-compressed, CSI-indexed); positions must be positive integers in ascending order"},
    {"-chr", 1, [](data& d, char** v, int) { d.chromosome = v[0]; }, "NAME  chromosome written in the CHROM column of the VCF (default .)"},
    {"-vcf_threshold", 1, [](data& d, char** v, int) { d.vcf_threshold = to_real(v[0]); }, "P  smallest probability of the most probable genotype for a VCF call; below it GT is missing (default 0.9)"},
    {"-pk", 2, [](data& d, char** v, int) { d.proposal_k = to_real(v[0]); d.alpha_proposal_k = to_real(v[1]); }, "K KA  concentration of the Beta proposals and of the allele-frequency proposals (default 500 500)"},
};

template <std::size_t n>
void parse_pass(data& d, int argc, char** argv, const option_spec (&table)[n])
{
    // Every argument is examined, the program name and option values included: a value that
    // begins with '-' is also looked up as a name, and matches nothing unless it is one.
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        for (const option_spec& o : table) {
            if (arg != o.name) continue;
            int count = o.values;
            if (count < 0) {
                count = 0;
                while (i + 1 + count < argc && argv[i + 1 + count][0] != '-') ++count;
            } else if (i + count >= argc) {
                throw run_error("usage: option " + arg + " takes " + std::to_string(count) +
                                    (count == 1 ? " value" : " values") + ", found " +
                                    std::to_string(argc - 1 - i) + " (tarvix++ -h lists the options)",
                                2);
            }
            o.set(d, argv + i + 1, count);
            break;
        }
    }
}

template <std::size_t n>
void print_table(std::ostream& out, const option_spec (&table)[n])
{
    for (const option_spec& o : table) out << "  " << o.name << "  " << o.help << '\n';
}

}  // namespace

bool help_requested(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") return true;
    }
    return false;
}

void print_usage(std::ostream& out)
{
    out << "tarvix++: Bayesian genotype calling from two-channel SNP-array intensities\n\n"
           "usage: tarvix++ -i COHORT_FILE... [options]\n\n"
           "input options:\n";
    print_table(out, input_options);
    out << "\nmodel and reporting options:\n";
    print_table(out, model_options);
    out << "\n  -h, --help  print this text\n";
}

double choose_seed(int argc, char** argv)
{
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    double seed = std::rand() / 2147483647.0;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-nrs") seed = 0.12345;
        if (arg != "-seed") continue;
        if (i + 1 >= argc)
            throw run_error("usage: option -seed takes 1 value, found 0 (tarvix++ -h lists the options)", 2);
        const std::string value = argv[i + 1];
        char* end = nullptr;
        seed = std::strtod(value.c_str(), &end);
        // 0 and 1 are refused: both would give the seed word 0.
        if (value.empty() || *end != '\0' || !(seed > 0 && seed < 1))
            throw run_error("invalid setting: -seed must be a real strictly between 0 and 1, got \"" + value + "\"", 2);
    }
    return seed;
}

void parse_input_options(data& d, int argc, char** argv) { parse_pass(d, argc, argv, input_options); }

void parse_model_options(data& d, int argc, char** argv) { parse_pass(d, argc, argv, model_options); }

void check_settings(const data& d)
{
    const auto reject = [](const std::string& what) { throw run_error("invalid setting: " + what, 2); };
    if (d.input_files.empty()) reject("no intensity file given (-i FILE...)");
    if (d.chrX && d.sex_files.size() < d.input_files.size())
        reject("X mode needs one sex file per cohort (-chrX): " + std::to_string(d.input_files.size()) +
               " cohorts, " + std::to_string(d.sex_files.size()) + " sex files");
    if (!(d.scale > 0) || !std::isfinite(d.scale)) reject("-scale must be positive and finite");
    if (d.n_starts < 1) reject("-ns must be at least 1, got " + std::to_string(d.n_starts));
    if (d.fancy < 1) reject("-fancy must be at least 1, got " + std::to_string(d.fancy));
    if (d.approx_mode != 0 && d.approx_grid <= 0)
        reject("-approx needs a positive number of grid divisions, got " + std::to_string(d.approx_grid));
    if (d.n_max < 0) reject("-nmax must not be negative, got " + std::to_string(d.n_max));
    if (d.burn_in < 0) reject("-b must not be negative, got " + std::to_string(d.burn_in));
    if (d.n_iter < 0) reject("-n must not be negative, got " + std::to_string(d.n_iter));
    if (d.sampling_final_phase && d.n_iter < 1)
        reject("-n must be at least 1 when the final phase samples, got " + std::to_string(d.n_iter));

    const auto positive = [&](const char* name, double v) {
        if (!(v > 0) || !std::isfinite(v)) reject(std::string(name) + " must be positive and finite");
    };
    const auto open_unit = [&](const char* name, double v) {
        if (!(v > 0 && v < 1)) reject(std::string(name) + " must lie strictly between 0 and 1");
    };
    positive("-pk (first value)", d.proposal_k);
    positive("-pk (second value)", d.alpha_proposal_k);
    positive("-pgd", d.pgd);
    open_unit("-c_alpha_prior", d.c_alpha_prior);
    open_unit("-c_alpha_cohorts", d.c_alpha_cohorts);
    if (d.paf_set) open_unit("-paf", d.paf);
    const std::pair<const char*, const prior_pair*> pairs[] = {
        {"-alpha_star_prior", &d.alpha_star_prior},   {"-eta_mean_prior", &d.eta_mean_prior},
        {"-eta_var_prior", &d.eta_var_prior},         {"-length_mean_prior", &d.length_mean_prior},
        {"-length_var_prior", &d.length_var_prior},   {"-gradient_mean_prior", &d.gradient_mean_prior},
        {"-gradient_var_prior", &d.gradient_var_prior}, {"-fraction_mean_prior", &d.fraction_mean_prior},
        {"-fraction_var_prior", &d.fraction_var_prior}, {"-departure_mean_prior", &d.departure_mean_prior},
        {"-departure_var_prior", &d.departure_var_prior}, {"-sigma_mean_prior", &d.sigma_mean_prior},
        {"-sigma_var_prior", &d.sigma_var_prior},     {"-varfrac_mean_prior", &d.varfrac_mean_prior},
        {"-varfrac_var_prior", &d.varfrac_var_prior},
    };
    for (const auto& [name, p] : pairs) {
        positive(name, (*p)[0]);
        positive(name, (*p)[1]);
    }
    for (int k = 0; k < 3; ++k) {
        positive("-r_mean_prior", d.r_mean_prior.a[k]);
        positive("-r_mean_prior", d.r_mean_prior.b[k]);
        positive("-r_var_prior", d.r_var_prior.a[k]);
        positive("-r_var_prior", d.r_var_prior.b[k]);
    }
    if (d.write_vcf && !(d.vcf_threshold >= 0 && d.vcf_threshold <= 1))
        reject("-vcf_threshold must lie between 0 and 1");
    if (d.write_vcf && !is_vcf_contig_name(d.chromosome))
        reject("-chr \"" + d.chromosome + "\" is not a VCF contig name (letters, digits and !#$%&+./:;?@^_|~-, "
               "also * and = after the first character)");
    positive("-center_var_prior_mean (scale)", d.center_var_prior_mean);
    positive("-center_var_prior_mean (degrees of freedom)", d.center_var_prior_df);
}
