#include "driver/options.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <initializer_list>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "input/number_parse.hpp"
#include "input/scale.hpp"
#include "model/hierarchy.hpp"
#include "numeric/format.hpp"
#include "state/settings.hpp"
#include "state/error.hpp"

namespace {

[[noreturn]] void usage_error(const std::string& what)
{
    throw run_error("usage: " + what + " (tarvix++ -h lists the options)", 2);
}

// The values that follow one option on the command line, read strictly: a number must be the
// whole argument and fit its type, so that "-n 1e3" or "-n 20x" is refused rather than read as
// 1 or 20.
class option_values {
public:
    option_values(const char* option, char** values, int count) : option_(option), v_(values), count_(count) {}
    int count() const { return count_; }
    std::string text(int i) const { return v_[i]; }
    std::vector<std::string> list() const { return {v_, v_ + count_}; }
    // Value i split at its commas; an empty piece is refused.
    std::vector<std::string> comma_list(int i, const char* kind) const
    {
        std::vector<std::string> pieces;
        const std::string_view all(v_[i]);
        for (std::size_t start = 0;;) {
            const std::size_t end = std::min(all.find(',', start), all.size());
            if (end == start) refuse(i, kind);
            pieces.emplace_back(all.substr(start, end - start));
            if (end == all.size()) return pieces;
            start = end + 1;
        }
    }
    int integer(int i) const
    {
        int value = 0;
        if (!input::parse_int(v_[i], value)) refuse(i, "an integer");
        return value;
    }
    double real(int i) const
    {
        double value = 0;
        if (!input::parse_finite(v_[i], value)) refuse(i, "a finite number");
        return value;
    }
    prior_pair pair() const { return {real(0), real(1)}; }
    // The position of value i among `allowed`.
    int choice(int i, std::initializer_list<const char*> allowed) const
    {
        int k = 0;
        std::string names;
        for (const char* a : allowed) {
            if (v_[i] == std::string_view(a)) return k;
            names += (k++ ? " or " : "") + std::string(a);
        }
        refuse(i, names.c_str());
    }

private:
    [[noreturn]] void refuse(int i, const char* kind) const
    {
        usage_error(std::string("option ") + option_ + " needs " + kind + ", got \"" + v_[i] + "\"");
    }
    const char* option_;
    char** v_;
    int count_;
};

using setter = void (*)(settings&, const option_values&);

struct option_spec {
    const char* name;
    int values;          // number of values taken; -1: a list up to the next argument beginning with '-'
    setter set;
    const char* help;    // values and default, for the usage text
};

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
    {"-nrs", 0, [](settings&, const option_values&) {}, "fixed seed 0.12345 for a reproducible run (default: seed from the clock)"},
    {"-seed", 1, [](settings&, const option_values&) {}, "X  seed, a real strictly between 0 and 1, for a reproducible run (the last of -seed and -nrs wins)"},
    {"-f", 1, [](settings& d, const option_values& v) { d.snp_info_file = v.text(0); }, "FILE  SNP information file with prior allele frequencies (default: none)"},
    {"-single", 1, [](settings& d, const option_values& v) { d.single = v.integer(0); }, "N  pool all cohorts for the random starts; 1 splits them again for the final phase (default 0)"},
    {"-gz", 0, [](settings& d, const option_values&) { d.gz = true; }, "intensity files are gzip-compressed"},
    {"-bz2", 0, [](settings& d, const option_values&) { d.bz2 = true; }, "intensity files are bzip2-compressed"},
    {"-snps", 2, [](settings& d, const option_values& v) { d.first_snp = v.integer(0); d.last_snp = v.integer(1); }, "A B  1-based range of SNPs to analyse (default: all)"},
    {"-r", 1, [](settings& d, const option_values& v) { d.regions = v.comma_list(0, "CHR[:FROM-TO], comma-separated"); }, "CHR[:FROM-TO],...  analyse only the records whose POS lies in these regions, read through the index of VCF/BCF input (default: all)"},
    {"-i", -1, [](settings& d, const option_values& v) { d.input_files = v.list(); }, "FILE...  one intensity file per cohort"},
    {"-intensities", 1, [](settings& d, const option_values& v) { d.raw_intensities = v.choice(0, {"NORM", "RAW"}) == 1; }, "NORM|RAW  from VCF/BCF input, the normalised FORMAT/NORMX and NORMY or the raw X and Y (default NORM)"},
    {"-scale", 1, [](settings& d, const option_values& v) { d.scale = v.real(0); }, "F  divide every intensity by F, to bring raw-scale data (median x + y far from 1.2) to the priors' scale (default 1)"},
    {"-chrX", -1, [](settings& d, const option_values& v) { d.sex_files = v.list(); d.chrX = true; }, "FILE...  X-chromosome mode, one sex file per cohort (0 unknown, 1 male, 2 female), or a PLINK .fam or .psam"},
};

const option_spec model_options[] = {
    {"-test", 1, [](settings& d, const option_values& v) { d.model_test = v.integer(0); }, "N  nonzero writes the tests file (default 0)"},
    {"-o", 1, [](settings& d, const option_values& v) { d.output_prefix = v.text(0); }, "PREFIX  prefix of the output files (default out)"},
    {"-approx", 2, [](settings& d, const option_values& v) { d.approx_mode = v.integer(0); d.approx_grid = v.integer(1); }, "M G  clump points on a G x G grid; M = 1 declumps before the final phase, other nonzero M after it (default 0 0)"},
    {"-allow_male_hets", 0, [](settings& d, const option_values&) { d.allow_male_hets = true; }, "in X mode, males may be called heterozygous"},
    {"-pr", 0, [](settings& d, const option_values&) { d.print_proposals = true; }, "print proposal diagnostics"},
    {"-names", 0, [](settings& d, const option_values&) { d.print_names = true; }, "print the name of every update as it runs"},
    {"-print_params", 0, [](settings& d, const option_values&) { d.print_params = true; }, "write the log-posterior terms of every sampled final-phase iteration to the file params"},
    {"-watch_counts", 0, [](settings& d, const option_values&) { d.watch_counts = true; }, "print genotype counts every sampled final-phase iteration"},
    {"-max1", 0, [](settings& d, const option_values&) { d.sampling_start_phase = false; }, "random starts maximise instead of sampling"},
    {"-max2", 0, [](settings& d, const option_values&) { d.sampling_final_phase = false; }, "final phase maximises; calls are posterior probabilities"},
    {"-nmax", 1, [](settings& d, const option_values& v) { d.n_max = v.integer(0); }, "N  iterations per random start (default 40)"},
    {"-n", 1, [](settings& d, const option_values& v) { d.n_iter = v.integer(0); }, "N  final-phase iterations after burn-in (default 1000)"},
    {"-b", 1, [](settings& d, const option_values& v) { d.burn_in = v.integer(0); }, "N  final-phase burn-in iterations (default 200)"},
    {"-label_starts", 0, [](settings& d, const option_values&) { d.label_starts = true; }, "after the random starts, one start for every plausible labelling of the clusters (part of -learn)"},
    {"-learn", 0, [](settings& d, const option_values&) { d.learn_priors = d.label_starts = true; }, "the recommended mode: labelled starts, and priors learnt from the run's own SNPs (written to PREFIX_priors) or read with -priors"},
    {"-learn_only", 0, [](settings& d, const option_values&) { d.learn_priors = d.label_starts = d.learn_only = true; }, "learn the priors as -learn does, write PREFIX_priors and call nothing"},
    {"-priors", 1, [](settings& d, const option_values& v) { d.priors_file = v.text(0); }, "FILE  the priors of a priors file (PREFIX_priors of a run with -learn) instead of the prior options"},
    {"-ns", 1, [](settings& d, const option_values& v) { d.n_starts = v.integer(0); }, "N  random starts per stage (default 4)"},
    {"-fancy", 1, [](settings& d, const option_values& v) { d.fancy = v.integer(0); }, "N  period of the per-cohort global proposals (default 10)"},
    {"-paf", 1, [](settings& d, const option_values& v) { d.paf = v.real(0); d.paf_set = true; }, "P  prior allele frequency for every SNP (default: from -f)"},
    {"-c_alpha_prior", 1, [](settings& d, const option_values& v) { d.c_alpha_prior = v.real(0); }, "V  spread of the reference frequency around the mean (default 0.01)"},
    {"-c_alpha_cohorts", 1, [](settings& d, const option_values& v) { d.c_alpha_cohorts = v.real(0); }, "V  spread of the cohort allele frequencies (default 0.005)"},
    {"-alpha_star_prior", 2, [](settings& d, const option_values& v) { d.alpha_star_prior = v.pair(); }, "A B  Beta prior of the mean allele frequency (default 1 1)"},
    {"-pgd", 1, [](settings& d, const option_values& v) { d.pgd = v.real(0); }, "C  concentration of the genotype-proportion prior (default 10)"},
    {"-nonull", 0, [](settings& d, const option_values&) { d.nonull = true; }, "no null class"},
    {"-eta_mean_prior", 2, [](settings& d, const option_values& v) { d.eta_mean_prior = v.pair(); }, "A B  (default 3 100)"},
    {"-eta_var_prior", 2, [](settings& d, const option_values& v) { d.eta_var_prior = v.pair(); }, "A B  (default 5 100)"},
    {"-length_mean_prior", 2, [](settings& d, const option_values& v) { d.length_mean_prior = v.pair(); }, "SHAPE RATE  (default 20 20)"},
    {"-length_var_prior", 2, [](settings& d, const option_values& v) { d.length_var_prior = v.pair(); }, "SHAPE RATE  (default 1 100)"},
    {"-gradient_mean_prior", 2, [](settings& d, const option_values& v) { d.gradient_mean_prior = v.pair(); }, "SHAPE RATE  (default 10 10)"},
    {"-gradient_var_prior", 2, [](settings& d, const option_values& v) { d.gradient_var_prior = v.pair(); }, "SHAPE RATE  (default 1 100)"},
    {"-fraction_mean_prior", 2, [](settings& d, const option_values& v) { d.fraction_mean_prior = v.pair(); }, "A B  (default 30 30)"},
    {"-fraction_var_prior", 2, [](settings& d, const option_values& v) { d.fraction_var_prior = v.pair(); }, "A B  (default 1 100)"},
    {"-departure_mean_prior", 2, [](settings& d, const option_values& v) { d.departure_mean_prior = v.pair(); }, "A B  (default 2 8)"},
    {"-departure_var_prior", 2, [](settings& d, const option_values& v) { d.departure_var_prior = v.pair(); }, "A B  (default 1 100)"},
    {"-center_var_prior_mean", 2, [](settings& d, const option_values& v) { d.center_var_prior_mean = v.real(0); d.center_var_prior_df = v.integer(1); }, "S2 DF  scale and integer degrees of freedom of the centre variance prior (default 0.0001 100)"},
    {"-sigma_mean_prior", 2, [](settings& d, const option_values& v) { d.sigma_mean_prior = v.pair(); }, "SHAPE RATE  (default 1 4)"},
    {"-sigma_var_prior", 2, [](settings& d, const option_values& v) { d.sigma_var_prior = v.pair(); }, "SHAPE RATE  (default 1 100)"},
    {"-varfrac_mean_prior", 2, [](settings& d, const option_values& v) { d.varfrac_mean_prior = v.pair(); }, "A B  (default 2.5 7.5)"},
    {"-varfrac_var_prior", 2, [](settings& d, const option_values& v) { d.varfrac_var_prior = v.pair(); }, "A B  (default 1 100)"},
    {"-r_mean_prior", 1, [](settings& d, const option_values& v) { const double x = v.real(0); d.r_mean_prior = {{x, x, x}, {x, x, x}}; }, "X  every entry of the correlation-mean prior (default a = 1 10 1, b = 50 1 50)"},
    {"-r_var_prior", 1, [](settings& d, const option_values& v) { const double x = v.real(0); d.r_var_prior = {{x, x, x}, {x, x, x}}; }, "X  every entry of the correlation-spread prior (default a = 1 1 1, b = 100 100 100)"},
    {"-vcf", 0, [](settings& d, const option_values&) { d.write_vcf = true; }, "also write PREFIX.vcf.gz (bgzip-compressed, CSI-indexed; its header records the version and the command line); positions must be positive integers in ascending order"},
    {"-chr", 1, [](settings& d, const option_values& v) { d.chromosome = v.text(0); }, "NAME  chromosome written in the CHROM column of the VCF from text input; VCF/BCF input keeps its own (default .)"},
    {"-vcf_threshold", 1, [](settings& d, const option_values& v) { d.vcf_threshold = v.real(0); }, "P  smallest probability of the most probable genotype for a call, in the VCF (below it GT is missing) and the QC tables (default 0.9)"},
    // SNPs analysed side by side cannot share one draw sequence, and any -threads N, 1 included,
    // must give the files of any other N.
    {"-threads", 1, [](settings& d, const option_values& v) { d.threads = v.integer(0); d.snp_seeds = true; }, "N  SNPs analysed at once, each on a core of its own; implies -snp_seeds (default 1)"},
    {"-snp_seeds", 0, [](settings& d, const option_values&) { d.snp_seeds = true; }, "every SNP draws from its own generator, seeded from the run's seed and the SNP (text: its position among the SNP lines; VCF/BCF: its CHROM, POS, alleles, ALLELE_A and ALLELE_B): the same files for any -threads and any split into -snps ranges or -r regions"},
    {"-verbose", 0, [](settings& d, const option_values&) { d.verbose = true; }, "every SNP's detailed progress on the console (the default when one thread writes to a terminal) instead of one line per finished SNP"},
    {"-pk", 2, [](settings& d, const option_values& v) { d.proposal_k = v.real(0); d.alpha_proposal_k = v.real(1); }, "K KA  concentration of the Beta proposals and of the allele-frequency proposals (default 500 500)"},
};

const option_spec* find_option(std::string_view name)
{
    for (const option_spec& o : input_options)
        if (name == o.name) return &o;
    for (const option_spec& o : model_options)
        if (name == o.name) return &o;
    return nullptr;
}

// A dash and a letter ("-o", "-burnin") or a second dash: an option name, never a value, while
// "-1" or "-0.5" is a negative number.
bool looks_like_option(const char* arg)
{
    return arg[0] == '-' && (std::isalpha(static_cast<unsigned char>(arg[1])) || arg[1] == '-');
}

template <std::size_t n>
std::vector<option_help> help_of(const option_spec (&table)[n])
{
    std::vector<option_help> list;
    for (const option_spec& o : table) list.push_back({o.name, o.help});
    return list;
}

// A word the shell takes as it stands, or else in single quotes (a quote inside written '"'"'),
// as Python's shlex.quote writes it, so that scripts can write the same command line.
std::string shell_word(const std::string& word)
{
    const auto safe = [](char ch) {
        return std::isalnum(static_cast<unsigned char>(ch)) || std::string_view("@%+=:,./_-").find(ch) != std::string_view::npos;
    };
    if (!word.empty() && std::all_of(word.begin(), word.end(), safe)) return word;
    std::string quoted = "'";
    for (char ch : word) quoted += ch == '\'' ? std::string("'\"'\"'") : std::string(1, ch);
    return quoted + "'";
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

bool version_requested(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--version" || arg == "-version") return true;
    }
    return false;
}

std::vector<option_section> option_sections()
{
    return {{"input options", help_of(input_options)},
            {"model and reporting options", help_of(model_options)},
            {"other options",
             {{"-h, --help", "list the options"},
              {"--version, -version", "print the version and the commit the program was built from"}}}};
}

void print_usage(std::ostream& out)
{
    out << "tarvix++: Bayesian genotype calling from two-channel SNP-array intensities\n\n"
           "usage: tarvix++ -i COHORT_FILE... [options]\n";
    for (const option_section& section : option_sections()) {
        out << '\n' << section.title << ":\n";
        for (const option_help& o : section.options) out << "  " << o.name << "  " << o.help << '\n';
    }
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
        // Read as strictly as every other number; 0 and 1 are refused: both give the seed word 0.
        if (!input::parse_finite(value, seed) || !(seed > 0 && seed < 1))
            throw run_error("invalid setting: -seed must be a real strictly between 0 and 1, got \"" + value + "\"", 2);
    }
    return seed;
}

void parse_command_line(settings& d, int argc, char** argv)
{
    d.command_line = "tarvix++";
    for (int i = 1; i < argc; ++i) d.command_line += ' ' + shell_word(printable(argv[i]));
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const option_spec* o = find_option(arg);
        if (!o) {
            if (looks_like_option(argv[i])) usage_error("unknown option " + arg);
            usage_error("\"" + arg + "\" is neither an option nor the value of one");
        }
        int count = 0;
        if (o->values < 0) {
            while (i + 1 + count < argc && argv[i + 1 + count][0] != '-') ++count;
        } else {
            for (; count < o->values; ++count) {
                if (i + 1 + count < argc && !looks_like_option(argv[i + 1 + count])) continue;
                usage_error("option " + arg + " takes " + std::to_string(o->values) +
                            (o->values == 1 ? " value" : " values") + ", found " + std::to_string(count) +
                            (i + 1 + count < argc ? std::string(" before ") + argv[i + 1 + count] : std::string()));
            }
        }
        o->set(d, option_values(o->name, argv + i + 1, count));
        i += count;
    }
}

namespace {

// Each thread holds one SNP's working set and two more wait their turn: beyond this, memory
// rather than cores is what a run would exhaust.
constexpr int max_threads = 1024;

// The largest gamma or beta shape the variate tables serve; proposals scale shapes by -pk.
constexpr double largest_shape = 1e12;

bool usable_shape(double x)
{
    const float single = static_cast<float>(x);   // Beta draws take their shapes in single precision
    return x > 0 && x <= largest_shape && single > 0;
}

// The priors that start every chain: each family's starting mean and spread must give its
// per-cohort draws, and the proposals of the Gamma families' hyperparameters, shapes the
// sampler can draw from, so that priors such as 1e-300 or 1e300 stop the run here rather than
// in the middle of the analysis.
void check_starting_priors(const settings& d)
{
    struct prior_options {
        family f;
        const char* mean_option;
        const char* var_option;
    };
    const prior_options families[] = {
        {family::length, "-length_mean_prior", "-length_var_prior"},
        {family::gradient, "-gradient_mean_prior", "-gradient_var_prior"},
        {family::fraction, "-fraction_mean_prior", "-fraction_var_prior"},
        {family::departure, "-departure_mean_prior", "-departure_var_prior"},
        {family::sigma, "-sigma_mean_prior", "-sigma_var_prior"},
        {family::varfrac, "-varfrac_mean_prior", "-varfrac_var_prior"},
        {family::eta, "-eta_mean_prior", "-eta_var_prior"},
        {family::r, "-r_mean_prior", "-r_var_prior"},
    };
    for (const prior_options& p : families)
        for (int k = 0; k < (p.f == family::r ? 3 : 1); ++k) {
            const auto [m, v] = starting_hyperparameters(d, p.f, k);
            const bool gamma = gamma_family(p.f);
            std::vector<double> shapes = {gamma ? m * m / v : beta_a(m, v), gamma ? m / v : beta_b(m, v)};
            if (gamma) shapes.insert(shapes.end(), {d.proposal_k * m, d.proposal_k * v});
            const bool in_unit = gamma || (m > 0 && m < 1 && v > 0 && v < 1);
            for (double shape : shapes) {
                if (in_unit && usable_shape(shape)) continue;
                throw run_error(std::string("invalid setting: ") + p.mean_option + " and " + p.var_option +
                                    " give a starting mean of " + format_number(m) + " and spread of " +
                                    format_number(v) + ", which need a " + (gamma ? "Gamma" : "Beta") +
                                    " shape of " + format_number(shape) +
                                    " to draw from; choose hyperpriors that keep the shapes in (0, 1e12]",
                                2);
            }
        }
    // Both Beta shapes of every class, each on its own: -r_mean_prior sets them all alike.
    for (const std::array<double, 3>& shapes : {d.r_mean_prior.a, d.r_mean_prior.b})
        for (double shape : shapes)
            if (!usable_shape(shape)) throw run_error("invalid setting: -r_mean_prior must lie in (0, 1e12]", 2);
}

}  // namespace

void check_settings(const settings& d)
{
    const auto reject = [](const std::string& what) { throw run_error("invalid setting: " + what, 2); };
    if (d.input_files.empty()) reject("no intensity file given (-i FILE...)");
    if (d.chrX && d.sex_files.size() < d.input_files.size())
        reject("X mode needs one sex file per cohort (-chrX): " + std::to_string(d.input_files.size()) +
               " cohorts, " + std::to_string(d.sex_files.size()) + " sex files");
    if (!(d.scale >= input::lowest_divisor && d.scale <= input::highest_divisor))
        reject("-scale must lie in [1e-9, 1e9], got " + format_number(d.scale));
    // Regions choose records by position, -snps by their place in the file; the SNP
    // information file is read in step with the whole file.
    if (!d.regions.empty() && (d.first_snp != -1 || d.last_snp != -1))
        reject("-r and -snps both choose the SNPs to analyse: give one of them");
    if (!d.regions.empty() && !d.snp_info_file.empty())
        reject("-f is read line by line in step with the whole intensity files, so it cannot be used with -r");
    if (d.threads < 1 || d.threads > max_threads)
        reject("-threads must lie between 1 and " + std::to_string(max_threads) + ", got " + std::to_string(d.threads));
    if (d.n_starts < 1) reject("-ns must be at least 1, got " + std::to_string(d.n_starts));
    if (d.fancy < 1) reject("-fancy must be at least 1, got " + std::to_string(d.fancy));
    if (d.approx_mode != 0 && d.approx_grid <= 0)
        reject("-approx needs a positive number of grid divisions, got " + std::to_string(d.approx_grid));
    if (d.n_max < 0) reject("-nmax must not be negative, got " + std::to_string(d.n_max));
    if (d.burn_in < 0) reject("-b must not be negative, got " + std::to_string(d.burn_in));
    if (d.n_iter < 0) reject("-n must not be negative, got " + std::to_string(d.n_iter));
    if (d.sampling_final_phase && d.n_iter < 1)
        reject("-n must be at least 1 when the final phase samples, got " + std::to_string(d.n_iter));
    if (static_cast<long long>(d.burn_in) + std::max(d.n_iter, 10) > std::numeric_limits<int>::max())
        reject("-b " + std::to_string(d.burn_in) + " and -n " + std::to_string(d.n_iter) +
               " give more final-phase iterations than can be counted");

    const auto positive = [&](const char* name, double v) {
        if (!(v > 0) || !std::isfinite(v)) reject(std::string(name) + " must be positive and finite");
    };
    const auto open_unit = [&](const char* name, double v) {
        if (!(v > 0 && v < 1)) reject(std::string(name) + " must lie strictly between 0 and 1");
    };
    // Proposal concentrations below 1 propose mostly at the edges of the support; above 1e9
    // they make shapes the variate tables cannot serve. Spreads below 1e-9 do the same.
    const auto within = [&](const char* name, double v, double lo, double hi) {
        if (!(v >= lo && v <= hi)) reject(std::string(name) + " must lie in [" + format_number(lo) + ", " + format_number(hi) + "], got " + format_number(v));
    };
    within("-pk (first value)", d.proposal_k, 1, 1e9);
    within("-pk (second value)", d.alpha_proposal_k, 1, 1e9);
    within("-pgd", d.pgd, 1e-9, 1e9);
    within("-c_alpha_prior", d.c_alpha_prior, 1e-9, 0.999999999);
    within("-c_alpha_cohorts", d.c_alpha_cohorts, 1e-9, 0.999999999);
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
    if (d.learn_only && !d.priors_file.empty()) reject("-learn_only learns priors, which -priors gives: use one of them");
    if (!(d.vcf_threshold >= 0 && d.vcf_threshold <= 1)) reject("-vcf_threshold must lie between 0 and 1");
    if (d.write_vcf && !is_vcf_contig_name(d.chromosome))
        reject("-chr \"" + d.chromosome + "\" is not a VCF contig name (letters, digits and !#$%&+./:;?@^_|~-, "
               "also * and = after the first character)");
    positive("-center_var_prior_mean (scale)", d.center_var_prior_mean);
    positive("-center_var_prior_mean (degrees of freedom)", d.center_var_prior_df);
    check_starting_priors(d);
}
