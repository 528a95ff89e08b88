// tarvix_simulate: synthetic two-channel SNP-array intensities with known genotypes,
// and a concordance check of a caller's call files against those genotypes.
//
// The clusters are deliberately not the caller's model: each SNP has its own affine
// distortion of a canonical cluster layout, each cohort a small shift, the spread grows
// with the intensity and is stretched along the ray from the origin, a share of points
// has a threefold spread, and failed samples sit near the origin. Besides easy SNPs it makes
// the layouts that mislead a caller: close wide clusters (hard), a rare allele (lowfreq), only
// a homozygote and the heterozygote visible (twocluster), a heterozygote off the diagonal
// (offdiag) and a faint probe (dim); --scale writes raw-scale intensities.
//
// Every random number comes from one std::mt19937_64 through hand-written transforms,
// in a fixed order, so a seed gives the same bytes with any standard library.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A malformed command line; main prints the message with the usage text and exits 1.
struct usage_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

const char* const usage_text =
    "usage:\n"
    "  tarvix_simulate [generate] --out PREFIX [--cohorts C] [--individuals N] [--snps S]\n"
    "                  [--seed X] [--chrX] [--missing RATE] [--failed RATE] [--hard FRACTION]\n"
    "                  [--lowfreq FRACTION] [--twocluster FRACTION] [--offdiag FRACTION]\n"
    "                  [--dim FRACTION] [--scale F] [--unknown-freq FRACTION] [--unknown-token TEXT]\n"
    "      writes PREFIX_cohort<j>.txt, PREFIX_snpinfo.txt, PREFIX_truth.txt\n"
    "      and with --chrX PREFIX_sex<j>.txt\n"
    "  tarvix_simulate concord --truth TRUTH --calls OUTPREFIX --cohorts C [--threshold T]\n"
    "                  [--kind KIND] [--per-snp] [--sex F0 F1 ...]\n"
    "      reads OUTPREFIX_<j>_mcmc for j = 0..C-1 and prints call rate and concordance,\n"
    "      the agreement of the calls by probability, and with --per-snp whether each SNP's\n"
    "      labelling is right (KIND: easy, hard, lowfreq, twocluster, offdiag or dim)\n";

// Uniform, normal and index draws from mt19937_64 bits, identical on every platform
// up to the last bit of the C library's log, sqrt and cos.
class rng {
public:
    explicit rng(std::uint64_t seed) : engine_(seed) {}

    // Uniform on [0, 1) with 53 random bits.
    double uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }

    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }

    // Standard normal by Box-Muller; one draw per call keeps the stream order simple.
    double normal() {
        const double u1 = 1.0 - uniform();  // in (0, 1], so the log is finite
        const double u2 = uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

    // Integer in [0, n) by rejection, free of modulo bias.
    std::uint64_t below(std::uint64_t n) {
        const std::uint64_t limit = UINT64_MAX - UINT64_MAX % n;
        std::uint64_t x;
        do {
            x = engine_();
        } while (x >= limit);
        return x % n;
    }

    // A random permutation of 0..n-1 (Fisher-Yates).
    std::vector<std::size_t> permutation(std::size_t n) {
        std::vector<std::size_t> p(n);
        for (std::size_t i = 0; i < n; ++i) p[i] = i;
        for (std::size_t i = n; i > 1; --i) std::swap(p[i - 1], p[below(i)]);
        return p;
    }

private:
    std::mt19937_64 engine_;
};

enum class snp_kind { easy, hard, lowfreq, twocluster, offdiag, dim };
const std::array<const char*, 6> kind_names = {"easy", "hard", "lowfreq", "twocluster", "offdiag", "dim"};

struct sim_options {
    int cohorts = 2;
    int individuals = 300;
    int snps = 12;
    std::uint64_t seed = 1;
    std::string out;
    bool chrX = false;
    double missing = 0.0;        // share of points written as NaN NaN
    double failed = 0.015;       // share of failed samples near the origin
    double hard = 0.25;          // share of SNPs with close, wide clusters
    double lowfreq = 0.25;       // share of SNPs with a rare allele
    double twocluster = 0.0;     // share of SNPs whose minor homozygote is a handful of points
    double offdiag = 0.0;        // share of SNPs whose heterozygote lies off the diagonal
    double dim = 0.0;            // share of SNPs at a third of the usual brightness
    double scale = 1.0;          // factor of every written intensity (raw-scale data)
    double unknown_freq = 0.1;   // share of SNPs without a reference frequency
    std::string unknown_token = "NA";
};

using vec2 = std::array<double, 2>;

// Everything that is fixed per SNP, before any cohort is drawn.
struct snp_design {
    std::string id, rs, position, allele1, allele2;
    snp_kind kind = snp_kind::easy;
    double p = 0.5;              // frequency of the allele whose homozygote is class 0
    bool freq_known = true;      // written to the SNP information file
    std::array<vec2, 3> centre{};  // class centres after the SNP's affine distortion
    double spread = 0.04;        // relative spread: sd per unit of intensity
};

double clamp(double x, double lo, double hi) { return std::min(hi, std::max(lo, x)); }

// Draws the SNP's cluster layout. Canonical centres: class 0 high in the first channel,
// class 2 high in the second, heterozygote in between and pushed outwards.
void draw_layout(snp_design& d, rng& r) {
    std::array<vec2, 3> c;
    c[0] = {1.0 + 0.05 * r.normal(), 0.15 + 0.03 * r.normal()};
    c[1] = {0.6 + 0.04 * r.normal(), 0.6 + 0.04 * r.normal()};
    c[2] = {0.15 + 0.03 * r.normal(), 1.0 + 0.05 * r.normal()};
    if (d.kind == snp_kind::hard) {
        // Homozygote clusters pulled towards the heterozygote and wide: overlapping classes.
        const double sep = r.uniform(0.6, 0.75);
        for (int k : {0, 2})
            for (int a = 0; a < 2; ++a) c[k][a] = c[1][a] + sep * (c[k][a] - c[1][a]);
        d.spread = r.uniform(0.08, 0.11);
    } else {
        d.spread = r.uniform(0.03, 0.06);
    }
    if (d.kind == snp_kind::offdiag) {
        // Heterozygote turned at its distance to the angle 0.6 (in quarter turns) away from a
        // common class 0, or 0.4 away from a common class 2: with the rare homozygote all but
        // absent, the two clusters then look like the two homozygotes.
        const double angle = (d.p > 0.5 ? 0.6 : 0.4) * 1.5707963267948966;
        const double radius = std::hypot(c[1][0], c[1][1]);
        c[1] = {radius * std::cos(angle), radius * std::sin(angle)};
    } else if (d.kind == snp_kind::dim) {
        const double brightness = r.uniform(0.25, 0.4);
        for (vec2& centre : c)
            for (double& v : centre) v *= brightness;
    }
    // Shared distortion: unequal channel gains, then a small rotation about the origin.
    const double gx = std::exp(0.2 * r.normal());
    const double gy = std::exp(0.2 * r.normal());
    const double theta = r.uniform(-0.1, 0.1);
    const double cs = std::cos(theta), sn = std::sin(theta);
    for (int k = 0; k < 3; ++k) {
        const double x = gx * c[k][0], y = gy * c[k][1];
        d.centre[k] = {cs * x - sn * y, sn * x + cs * y};
    }
}

std::vector<snp_design> design_snps(const sim_options& o, rng& r) {
    const std::size_t n = static_cast<std::size_t>(o.snps);
    std::vector<snp_design> ds(n);
    const auto count = [n](double share) {
        return std::min(n, static_cast<std::size_t>(std::lround(share * static_cast<double>(n))));
    };
    const std::vector<std::size_t> order = r.permutation(n);
    // Kinds take consecutive stretches of one random order, each as far as SNPs are left.
    const std::pair<snp_kind, double> shares[] = {{snp_kind::hard, o.hard},
                                                  {snp_kind::lowfreq, o.lowfreq},
                                                  {snp_kind::twocluster, o.twocluster},
                                                  {snp_kind::offdiag, o.offdiag},
                                                  {snp_kind::dim, o.dim}};
    std::size_t next = 0;
    for (const auto& [kind, share] : shares)
        for (const std::size_t end = next + std::min(n - next, count(share)); next < end; ++next)
            ds[order[next]].kind = kind;
    const std::vector<std::size_t> unknown = r.permutation(n);
    for (std::size_t i = 0; i < count(o.unknown_freq); ++i) ds[unknown[i]].freq_known = false;

    const char bases[] = "ACGT";
    long position = o.chrX ? 2700000 : 1000000;
    char buf[32];
    for (std::size_t s = 0; s < n; ++s) {
        snp_design& d = ds[s];
        std::snprintf(buf, sizeof buf, "SNP%06zu", s + 1);
        d.id = buf;
        d.rs = "rs" + std::to_string(10001 + s);
        position += 500 + static_cast<long>(r.below(20000));
        d.position = std::to_string(position);
        const std::uint64_t a1 = r.below(4);
        const std::uint64_t a2 = (a1 + 1 + r.below(3)) % 4;
        d.allele1 = std::string(1, bases[a1]);
        d.allele2 = std::string(1, bases[a2]);
        if (d.kind == snp_kind::lowfreq || d.kind == snp_kind::twocluster || d.kind == snp_kind::offdiag) {
            // An off-diagonal heterozygote misleads most when the other homozygote is rare.
            const double minor = d.kind == snp_kind::lowfreq ? r.uniform(0.01, 0.05)
                                 : d.kind == snp_kind::twocluster ? r.uniform(0.05, 0.15) : r.uniform(0.1, 0.3);
            d.p = r.uniform() < 0.5 ? minor : 1.0 - minor;
        } else {
            d.p = r.uniform(0.1, 0.9);
        }
        draw_layout(d, r);
    }
    return ds;
}

// One cohort's deviation from the SNP: its own allele frequency, channel gains and offsets.
struct cohort_shift {
    double p;
    vec2 gain, offset;
};

cohort_shift draw_cohort(const snp_design& d, rng& r) {
    cohort_shift c;
    if (d.kind == snp_kind::lowfreq || d.kind == snp_kind::twocluster || d.kind == snp_kind::offdiag) {
        const bool flipped = d.p > 0.5;
        const double highest = d.kind == snp_kind::lowfreq ? 0.1 : d.kind == snp_kind::twocluster ? 0.2 : 0.4;
        const double minor = clamp((flipped ? 1.0 - d.p : d.p) * std::exp(0.15 * r.normal()), 0.002, highest);
        c.p = flipped ? 1.0 - minor : minor;
    } else {
        c.p = clamp(d.p + 0.03 * r.normal(), 0.02, 0.98);
    }
    for (int a = 0; a < 2; ++a) {
        c.gain[a] = 1.0 + 0.03 * r.normal();
        c.offset[a] = 0.01 * r.normal();
    }
    return c;
}

// Genotype of one individual: Hardy-Weinberg for diploids, 0 or 2 for haploid males.
int draw_genotype(double p, bool haploid, rng& r) {
    const double u = r.uniform();
    if (haploid) return u < p ? 0 : 2;
    if (u < p * p) return 0;
    return u < p * p + 2.0 * p * (1.0 - p) ? 1 : 2;
}

// A point of class g: brightness varies along the ray from the origin, the channels get
// noise proportional to the intensity, and 5% of points have three times the spread.
vec2 draw_point(const snp_design& d, const cohort_shift& c, int g, rng& r) {
    const double sd = d.spread * (r.uniform() < 0.05 ? 3.0 : 1.0);
    const double bright = std::exp(sd * r.normal());
    vec2 m;
    for (int a = 0; a < 2; ++a) m[a] = c.gain[a] * d.centre[g][a] + c.offset[a];
    const double level = std::hypot(m[0], m[1]);
    vec2 x;
    for (int a = 0; a < 2; ++a)
        x[a] = std::max(0.001, bright * m[a] + sd * (0.5 * level + 0.05) * r.normal());
    return x;
}

// Sex codes of one cohort (1 male, 2 female, 0 unknown) and whether each individual is
// truly male; an unknown code hides a real sex.
void draw_sexes(int n, rng& r, std::vector<int>& code, std::vector<bool>& male) {
    code.assign(static_cast<std::size_t>(n), 2);
    male.assign(static_cast<std::size_t>(n), false);
    for (std::size_t i = 0; i < code.size(); ++i) {
        male[i] = r.uniform() < 0.5;
        code[i] = r.uniform() < 0.02 ? 0 : (male[i] ? 1 : 2);
    }
}

std::ofstream open_out(const std::string& name) {
    std::ofstream f(name, std::ios::binary);
    if (!f) throw std::runtime_error("cannot create " + name);
    return f;
}

void append_number(std::string& line, double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, " %.4f", v);
    line += buf;
}

void generate(const sim_options& o) {
    rng r(o.seed);
    const std::vector<snp_design> ds = design_snps(o, r);
    const auto nc = static_cast<std::size_t>(o.cohorts);
    const auto ni = static_cast<std::size_t>(o.individuals);

    std::vector<std::vector<int>> sex_code(nc);
    std::vector<std::vector<bool>> male(nc, std::vector<bool>(ni, false));
    if (o.chrX)
        for (std::size_t j = 0; j < nc; ++j) {
            draw_sexes(o.individuals, r, sex_code[j], male[j]);
            std::ofstream f = open_out(o.out + "_sex" + std::to_string(j) + ".txt");
            for (int code : sex_code[j]) f << code << '\n';
            if (!f) throw std::runtime_error("write failed: " + o.out + "_sex" + std::to_string(j) + ".txt");
        }

    std::vector<std::ofstream> cohort_files;
    for (std::size_t j = 0; j < nc; ++j) {
        cohort_files.push_back(open_out(o.out + "_cohort" + std::to_string(j) + ".txt"));
        std::string header = "SNP_ID rs position allele1 allele2";
        char buf[128];
        for (std::size_t i = 0; i < ni; ++i) {
            std::snprintf(buf, sizeof buf, " c%zu_ind%04zu_A c%zu_ind%04zu_B", j, i + 1, j, i + 1);
            header += buf;
        }
        cohort_files[j] << header << '\n';
    }
    std::ofstream truth = open_out(o.out + "_truth.txt");
    truth << "# SNP_ID rs kind cohort, then the true genotype of every individual"
             " (0, 1, 2; -1 failed or missing)\n";
    std::ofstream info = open_out(o.out + "_snpinfo.txt");

    std::string line, truth_line;
    for (const snp_design& d : ds) {
        char freq[32];
        std::snprintf(freq, sizeof freq, "%.4f", d.p);
        info << d.rs << ' ' << d.id << ' ' << (o.chrX ? "X:" : "1:") << d.position << ' '
             << d.allele1 << '/' << d.allele2 << ' ' << (d.freq_known ? freq : o.unknown_token) << '\n';
        for (std::size_t j = 0; j < nc; ++j) {
            const cohort_shift c = draw_cohort(d, r);
            line = d.id + ' ' + d.rs + ' ' + d.position + ' ' + d.allele1 + ' ' + d.allele2;
            truth_line = d.id + ' ' + d.rs + ' ' + kind_names[static_cast<int>(d.kind)] + ' ' + std::to_string(j);
            for (std::size_t i = 0; i < ni; ++i) {
                const int g = draw_genotype(c.p, male[j][i], r);
                const double u = r.uniform();
                if (u < o.missing) {
                    line += " NaN NaN";
                    truth_line += " -1";
                } else if (u < o.missing + o.failed) {
                    append_number(line, o.scale * r.uniform(0.03, 0.1));
                    append_number(line, o.scale * r.uniform(0.03, 0.1));
                    truth_line += " -1";
                } else {
                    const vec2 x = draw_point(d, c, g, r);
                    append_number(line, o.scale * x[0]);
                    append_number(line, o.scale * x[1]);
                    truth_line += ' ';
                    truth_line += std::to_string(g);
                }
            }
            cohort_files[j] << line << '\n';
            truth << truth_line << '\n';
        }
    }
    for (std::size_t j = 0; j < nc; ++j)
        if (!cohort_files[j].flush()) throw std::runtime_error("write failed: cohort file " + std::to_string(j));
    if (!truth.flush() || !info.flush()) throw std::runtime_error("write failed: truth or SNP information file");
}

// ---------------------------------------------------------------- command line

double to_real(const std::string& opt, const std::string& v) {
    char* end = nullptr;
    const double x = std::strtod(v.c_str(), &end);
    if (v.empty() || *end != '\0' || !std::isfinite(x)) throw std::runtime_error(opt + ": not a number: " + v);
    return x;
}

long to_integer(const std::string& opt, const std::string& v, long lo) {
    char* end = nullptr;
    const long x = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end != '\0' || x < lo) throw std::runtime_error(opt + ": expected an integer >= " + std::to_string(lo) + ": " + v);
    return x;
}

double to_share(const std::string& opt, const std::string& v) {
    const double x = to_real(opt, v);
    if (x < 0.0 || x > 1.0) throw std::runtime_error(opt + ": expected a value in [0, 1]: " + v);
    return x;
}

// Walks the arguments; value() takes the next one or fails with the option's name.
class arg_reader {
public:
    arg_reader(int argc, char** argv, int first) : args_(argv + first, argv + argc) {}
    bool done() const { return pos_ >= args_.size(); }
    std::string next() { return args_[pos_++]; }
    std::string value(const std::string& opt) {
        if (done()) throw usage_error(opt + ": missing value");
        return next();
    }
    bool next_is_value() const { return !done() && args_[pos_].rfind("--", 0) != 0; }

private:
    std::vector<std::string> args_;
    std::size_t pos_ = 0;
};

sim_options parse_generate(arg_reader a) {
    sim_options o;
    while (!a.done()) {
        const std::string opt = a.next();
        if (opt == "--cohorts") o.cohorts = static_cast<int>(to_integer(opt, a.value(opt), 1));
        else if (opt == "--individuals") o.individuals = static_cast<int>(to_integer(opt, a.value(opt), 1));
        else if (opt == "--snps") o.snps = static_cast<int>(to_integer(opt, a.value(opt), 1));
        else if (opt == "--seed") o.seed = static_cast<std::uint64_t>(to_integer(opt, a.value(opt), 0));
        else if (opt == "--out") o.out = a.value(opt);
        else if (opt == "--chrX") o.chrX = true;
        else if (opt == "--missing") o.missing = to_share(opt, a.value(opt));
        else if (opt == "--failed") o.failed = to_share(opt, a.value(opt));
        else if (opt == "--hard") o.hard = to_share(opt, a.value(opt));
        else if (opt == "--lowfreq") o.lowfreq = to_share(opt, a.value(opt));
        else if (opt == "--twocluster") o.twocluster = to_share(opt, a.value(opt));
        else if (opt == "--offdiag") o.offdiag = to_share(opt, a.value(opt));
        else if (opt == "--dim") o.dim = to_share(opt, a.value(opt));
        else if (opt == "--scale") o.scale = to_real(opt, a.value(opt));
        else if (opt == "--unknown-freq") o.unknown_freq = to_share(opt, a.value(opt));
        else if (opt == "--unknown-token") o.unknown_token = a.value(opt);
        else throw usage_error("unknown option " + opt);
    }
    if (o.out.empty()) throw usage_error("--out PREFIX is required");
    if (o.missing + o.failed > 1.0) throw usage_error("--missing and --failed add up to more than 1");
    if (!(o.scale > 0.0)) throw usage_error("--scale must be positive");
    if (o.cohorts > 1000 || o.individuals > 1000000 || o.snps > 10000000)
        throw usage_error("--cohorts, --individuals or --snps is implausibly large");
    return o;
}

// ---------------------------------------------------------------- concordance

struct concord_options {
    std::string truth, calls;
    int cohorts = 0;
    double threshold = 0.9;
    std::string kind;                 // empty: every kind
    bool per_snp = false;
    std::vector<std::string> sex_files;
};

concord_options parse_concord(arg_reader a) {
    concord_options o;
    while (!a.done()) {
        const std::string opt = a.next();
        if (opt == "--truth") o.truth = a.value(opt);
        else if (opt == "--calls") o.calls = a.value(opt);
        else if (opt == "--cohorts") o.cohorts = static_cast<int>(to_integer(opt, a.value(opt), 1));
        else if (opt == "--threshold") o.threshold = to_share(opt, a.value(opt));
        else if (opt == "--kind" || opt == "--snps-kind") o.kind = a.value(opt);
        else if (opt == "--per-snp") o.per_snp = true;
        else if (opt == "--sex")
            while (a.next_is_value()) o.sex_files.push_back(a.next());
        else throw usage_error("unknown option " + opt);
    }
    if (o.truth.empty() || o.calls.empty() || o.cohorts == 0)
        throw usage_error("concord needs --truth, --calls and --cohorts");
    if (!o.kind.empty() && std::find(kind_names.begin(), kind_names.end(), o.kind) == kind_names.end())
        throw usage_error("--kind must be easy, hard, lowfreq, twocluster, offdiag or dim");
    if (!o.sex_files.empty() && o.sex_files.size() != static_cast<std::size_t>(o.cohorts))
        throw usage_error("--sex needs one file per cohort");
    return o;
}

// A call value; "nan" is accepted and never wins a comparison, so it is never a call.
double to_call_value(const std::string& where, const std::string& v) {
    char* end = nullptr;
    const double x = std::strtod(v.c_str(), &end);
    if (v.empty() || *end != '\0') throw std::runtime_error(where + ": not a call value: " + v);
    return x;
}

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> t;
    std::istringstream in(line);
    for (std::string w; in >> w;) t.push_back(w);
    return t;
}

struct truth_row {
    std::string kind;
    std::vector<int> genotype;
};

// Truth rows keyed by (SNP_ID, cohort); also the SNP order of the truth file.
struct truth_table {
    std::map<std::pair<std::string, int>, truth_row> rows;
    std::vector<std::string> order;
    std::map<std::string, std::string> snp_id_of;   // rs -> SNP_ID: calls made from VCF carry the rs
};

truth_table read_truth(const std::string& name) {
    std::ifstream f(name);
    if (!f) throw std::runtime_error("cannot open " + name);
    truth_table t;
    std::string line;
    for (long n = 1; std::getline(f, line); ++n) {
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> w = split(line);
        if (w.size() < 4) throw std::runtime_error(name + ":" + std::to_string(n) + ": short line");
        truth_row row{w[2], {}};
        for (std::size_t k = 4; k < w.size(); ++k)
            row.genotype.push_back(static_cast<int>(to_integer(name + ":" + std::to_string(n), w[k], -1)));
        const int cohort = static_cast<int>(to_integer(name + ":" + std::to_string(n), w[3], 0));
        if (cohort == 0) t.order.push_back(w[0]);
        t.rows[{w[0], cohort}] = std::move(row);
        t.snp_id_of[w[1]] = w[0];
    }
    return t;
}

std::vector<int> read_sex(const std::string& name) {
    std::ifstream f(name);
    if (!f) throw std::runtime_error("cannot open " + name);
    std::vector<int> codes;
    for (int c; f >> c;) codes.push_back(c);
    if (!f.eof()) throw std::runtime_error(name + ": not a list of integer codes");
    return codes;
}

// Calls binned by the value of the called genotype: [threshold, 0.99), [0.99, 1) and 1, the
// value written for anything above 0.999.
constexpr int n_bins = 3;
int bin_of(double v) { return v >= 1.0 ? 2 : v >= 0.99 ? 1 : 0; }

// Tallies of one group of genotypes (a kind, a SNP or everything).
struct tally {
    long genotypes = 0, called = 0, concordant = 0, snps = 0, male_hets = 0, right_labels = 0;
    std::array<std::array<long, 4>, 3> confusion{};  // [truth][call], call 3 = no call
    std::array<long, n_bins> bin_calls{}, bin_wrong{};
    void add(const tally& o) {
        genotypes += o.genotypes; called += o.called; concordant += o.concordant;
        snps += o.snps; male_hets += o.male_hets; right_labels += o.right_labels;
        for (int g = 0; g < 3; ++g)
            for (int c = 0; c < 4; ++c) confusion[g][c] += o.confusion[g][c];
        for (int b = 0; b < n_bins; ++b) bin_calls[b] += o.bin_calls[b], bin_wrong[b] += o.bin_wrong[b];
    }
    // A SNP's labelling, judged on every genotype with at least 5 true members: "wrong" when
    // some such genotype has members called as one other genotype, at least as many as called
    // as itself; otherwise "missed" when some such genotype has at least as many members
    // uncalled as called as itself (a cluster left to the null class); otherwise "right".
    const char* labelling() const {
        const char* verdict = "right";
        for (int g = 0; g < 3; ++g) {
            const auto& row = confusion[g];
            if (row[0] + row[1] + row[2] + row[3] < 5) continue;
            for (int c = 0; c < 3; ++c)
                if (c != g && row[c] > 0 && row[c] >= row[g]) return "wrong";
            if (row[3] >= row[g]) verdict = "missed";
        }
        return verdict;
    }
};

std::string percent(long part, long whole) {
    if (whole == 0) return "-";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", 100.0 * static_cast<double>(part) / static_cast<double>(whole));
    return buf;
}

void print_row(const std::string& label, const tally& t, bool with_sex) {
    std::printf("%-12s %6ld %10ld %10ld %9s %10ld %12s %12ld", label.c_str(), t.snps, t.genotypes, t.called,
                percent(t.called, t.genotypes).c_str(), t.concordant, percent(t.concordant, t.called).c_str(),
                t.right_labels);
    if (with_sex) std::printf(" %10ld", t.male_hets);
    std::printf("\n");
}

int concord(const concord_options& o) {
    const truth_table truth = read_truth(o.truth);
    std::vector<std::vector<int>> sex;
    for (const std::string& name : o.sex_files) sex.push_back(read_sex(name));

    std::map<std::string, tally> per_snp;  // SNP_ID -> tally over all cohorts
    std::map<std::string, std::string> snp_kind_of;
    for (int j = 0; j < o.cohorts; ++j) {
        const std::string name = o.calls + "_" + std::to_string(j) + "_mcmc";
        std::ifstream f(name);
        if (!f) throw std::runtime_error("cannot open " + name);
        std::string line;
        for (long n = 1; std::getline(f, line); ++n) {
            const std::string where = name + ":" + std::to_string(n);
            std::vector<std::string> w = split(line);
            if (w.empty()) continue;
            if (!truth.rows.count({w[0], j}) && truth.snp_id_of.count(w[0])) w[0] = truth.snp_id_of.at(w[0]);
            const auto it = truth.rows.find({w[0], j});
            if (it == truth.rows.end()) throw std::runtime_error(where + ": SNP " + w[0] + " is not in the truth file");
            const truth_row& row = it->second;
            if (!o.kind.empty() && row.kind != o.kind) continue;
            const std::size_t ni = row.genotype.size();
            if (w.size() != 5 + 3 * ni)
                throw std::runtime_error(where + ": expected " + std::to_string(5 + 3 * ni) + " fields, found " +
                                  std::to_string(w.size()));
            if (!sex.empty() && sex[static_cast<std::size_t>(j)].size() != ni)
                throw std::runtime_error(o.sex_files[static_cast<std::size_t>(j)] + ": expected " + std::to_string(ni) + " codes");
            tally& t = per_snp[w[0]];
            snp_kind_of[w[0]] = row.kind;
            for (std::size_t i = 0; i < ni; ++i) {
                int best = 0;
                double best_v = -1.0;
                for (int k = 0; k < 3; ++k) {
                    const double v = to_call_value(where, w[5 + 3 * i + static_cast<std::size_t>(k)]);
                    if (v > best_v) best_v = v, best = k;
                }
                const bool called = best_v >= o.threshold;
                if (called && best == 1 && !sex.empty() && sex[static_cast<std::size_t>(j)][i] == 1) ++t.male_hets;
                const int g = row.genotype[i];
                if (g < 0) continue;
                ++t.genotypes;
                t.confusion[static_cast<std::size_t>(g)][called ? static_cast<std::size_t>(best) : 3] += 1;
                if (called) {
                    ++t.called;
                    if (best == g) ++t.concordant;
                    t.bin_calls[bin_of(best_v)] += 1;
                    if (best != g) t.bin_wrong[bin_of(best_v)] += 1;
                }
            }
        }
    }

    const bool with_sex = !sex.empty();
    std::printf("concordance of %s_<j>_mcmc with %s (%d cohorts; a call is the largest value if >= %.3g;\n"
                "failed or missing samples left out)\n\n",
                o.calls.c_str(), o.truth.c_str(), o.cohorts, o.threshold);
    const char* sex_head = with_sex ? " male_hets" : "";
    if (o.per_snp) {
        std::printf("%-12s %-10s %10s %10s %9s %10s %12s %9s%s\n", "SNP_ID", "kind", "genotypes", "called",
                    "callrate%", "concordant", "concordance%", "labelling", sex_head);
        for (const std::string& id : truth.order) {
            const auto it = per_snp.find(id);
            if (it == per_snp.end()) continue;
            const tally& t = it->second;
            std::printf("%-12s %-10s %10ld %10ld %9s %10ld %12s %9s", id.c_str(), snp_kind_of[id].c_str(),
                        t.genotypes, t.called, percent(t.called, t.genotypes).c_str(), t.concordant,
                        percent(t.concordant, t.called).c_str(), t.labelling());
            if (with_sex) std::printf(" %10ld", t.male_hets);
            std::printf("\n");
        }
        std::printf("\n");
    }

    std::map<std::string, tally> by_kind;
    tally all;
    for (const auto& [id, t] : per_snp) {
        tally one = t;
        one.snps = 1;
        one.right_labels = std::string(t.labelling()) == "right" ? 1 : 0;
        by_kind[snp_kind_of[id]].add(one);
        all.add(one);
    }
    std::printf("%-12s %6s %10s %10s %9s %10s %12s %12s%s\n", "kind", "SNPs", "genotypes", "called", "callrate%",
                "concordant", "concordance%", "right_labels", sex_head);
    for (const char* k : kind_names)
        if (by_kind.count(k)) print_row(k, by_kind[k], with_sex);
    print_row("all", all, with_sex);

    std::printf("\ntrue genotype (rows) against call (columns), all counted SNPs:\n%8s %10s %10s %10s %10s\n", "", "call 0",
                "call 1", "call 2", "no call");
    for (int g = 0; g < 3; ++g)
        std::printf("%-8s %10ld %10ld %10ld %10ld\n", ("true " + std::to_string(g)).c_str(), all.confusion[g][0],
                    all.confusion[g][1], all.confusion[g][2], all.confusion[g][3]);
    std::printf("\nagreement of the calls by the value of the called genotype:\n%-14s %10s %10s %10s %12s\n", "value",
                "calls", "agreeing", "wrong", "agreement%");
    const char* bin_names[n_bins] = {"[T, 0.99)", "[0.99, 1)", "1 (> 0.999)"};
    for (int b = 0; b < n_bins; ++b)
        std::printf("%-14s %10ld %10ld %10ld %12s\n", bin_names[b], all.bin_calls[b], all.bin_calls[b] - all.bin_wrong[b],
                    all.bin_wrong[b], percent(all.bin_calls[b] - all.bin_wrong[b], all.bin_calls[b]).c_str());
    if (all.snps == 0) std::printf("\nno SNP of the call files was counted\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string first = argc > 1 ? argv[1] : "";
        if (first == "--help" || first == "-h" || argc < 2) {
            std::cout << usage_text;
            return argc < 2 ? 1 : 0;
        }
        if (first == "concord") return concord(parse_concord(arg_reader(argc, argv, 2)));
        generate(parse_generate(arg_reader(argc, argv, first == "generate" ? 2 : 1)));
        return 0;
    } catch (const usage_error& e) {
        std::cerr << "tarvix_simulate: " << e.what() << "\n" << usage_text;
    } catch (const std::exception& e) {
        std::cerr << "tarvix_simulate: " << e.what() << "\n";
    }
    return 1;
}
