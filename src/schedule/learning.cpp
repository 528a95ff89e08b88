#include "schedule/learning.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "model/geometry.hpp"
#include "numeric/elementary.hpp"
#include "state/data.hpp"

namespace {

template <class T>
double cohort_mean(const std::vector<T>& v)
{
    double sum = 0;
    for (const T& x : v) sum += x;
    return sum / static_cast<double>(v.size());
}

struct moments {
    double mean = 0, var = 0;
};

moments moments_of(const std::vector<double>& x)
{
    moments m;
    for (double v : x) m.mean += v;
    m.mean /= static_cast<double>(x.size());
    for (double v : x) m.var += (v - m.mean) * (v - m.mean);
    m.var /= static_cast<double>(x.size() - 1);
    return m;
}

// The q-quantile of ascending values, interpolated linearly.
double quantile(const std::vector<double>& ascending, double q)
{
    const double at = q * static_cast<double>(ascending.size() - 1);
    const auto low = static_cast<std::size_t>(at);
    const std::size_t high = std::min(low + 1, ascending.size() - 1);
    return ascending[low] + (at - static_cast<double>(low)) * (ascending[high] - ascending[low]);
}

// A scale below this is taken as this: shares and log brightness ratios are not known to a
// ten-thousandth, and a narrower prior would let rounding decide between fits.
constexpr double smallest_scale = 1e-4;

// The degrees of freedom a geometry prior may take, with the upper quartile of the Student-t of
// each: from the Cauchy to all but the normal.
struct t_shape {
    double dof, quartile;
};
constexpr t_shape t_shapes[] = {{1, 1.0}, {2, 0.816496580927726}, {4, 0.740697300424092},
                                {8, 0.706386613423373}, {16, 0.690132317213938}, {32, 0.682234453487508}};

// The two-piece Student-t of the chip's values: the median, the scales that put the quartiles
// where the values' are, and of the degrees of freedom the one of greatest likelihood.
two_piece_t two_piece_of(std::vector<double> x)
{
    std::sort(x.begin(), x.end());
    const double mid = quantile(x, 0.5), low = mid - quantile(x, 0.25), high = quantile(x, 0.75) - mid;
    two_piece_t best;
    double best_log_likelihood = -std::numeric_limits<double>::infinity();
    for (const t_shape& t : t_shapes) {
        const two_piece_t p{mid, std::max(low / t.quartile, smallest_scale), std::max(high / t.quartile, smallest_scale), t.dof};
        // The density's constant: the t's lnGamma((nu + 1)/2) - lnGamma(nu/2) - ln(nu pi)/2,
        // and the two halves' mean scale.
        const double constant = portable::lgamma(0.5 * (t.dof + 1)) - portable::lgamma(0.5 * t.dof) -
                                0.5 * portable::log(t.dof * 3.141592653589793) - portable::log(0.5 * (p.below + p.above));
        double log_likelihood = 0;
        for (double v : x) log_likelihood += constant + two_piece_log_density(p, v);
        if (log_likelihood > best_log_likelihood) {
            best_log_likelihood = log_likelihood;
            best = p;
        }
    }
    return best;
}

// The chip's values of one quantity, and the prior they give when there are enough of them.
class learner {
public:
    explicit learner(std::ostringstream& report) : report_(report) {}

    // The hyperprior of a family's mean: a Gamma (shape, rate) or Beta (a, b) with the mean and
    // variance of the chip's values. `floor_one` keeps Beta shapes at 1 or more; `no_narrower`
    // keeps the variance at least that of the prior `p` held.
    void mean_prior(const char* name, prior_pair& p, const std::vector<double>& x, bool gamma, bool floor_one = false,
                    bool no_narrower = false)
    {
        if (!enough(name, x)) return;
        moments m = moments_of(x);
        if (no_narrower) {
            const double held = gamma ? p[0] / (p[1] * p[1]) : p[0] * p[1] / ((p[0] + p[1]) * (p[0] + p[1]) * (p[0] + p[1] + 1));
            m.var = std::max(m.var, held);
        }
        if (!(m.var > 0) || (!gamma && !(m.var < m.mean * (1 - m.mean)))) {
            report_ << name << ": kept, the spread of " << x.size() << " fits gives no prior\n";
            return;
        }
        if (gamma) {
            p = {m.mean * m.mean / m.var, m.mean / m.var};
        } else {
            const double strength = m.mean * (1 - m.mean) / m.var - 1;
            p = {m.mean * strength, (1 - m.mean) * strength};
            if (floor_one) p = {std::max(p[0], 1.0), std::max(p[1], 1.0)};
        }
        report_ << name << ": from " << x.size() << " fits, mean " << m.mean << ", sd " << std::sqrt(m.var) << "\n";
    }
    bool piece(const char* name, two_piece_t& p, const std::vector<double>& x)
    {
        if (!enough(name, x)) return false;
        p = two_piece_of(x);
        report_ << name << ": from " << x.size() << " fits, median " << p.mid << ", t of " << p.dof
                << " degrees of freedom\n";
        return true;
    }

private:
    bool enough(const char* name, const std::vector<double>& x)
    {
        if (x.size() >= static_cast<std::size_t>(fewest_fits)) return true;
        report_ << name << ": kept, only " << x.size() << " fits show it\n";
        return false;
    }
    std::ostringstream& report_;
};

// The concentrations the genotype proportions' prior may take around Hardy–Weinberg
// proportions, from proportions anywhere (1) to proportions held at Hardy–Weinberg (1000).
constexpr double concentrations[] = {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000};
// The allele frequency is integrated out on this many equal steps.
constexpr int frequency_steps = 200;

// Of `concentrations`, the one under which the cohorts' genotype counts are most likely: each
// cohort's counts Dirichlet-multinomial around the Hardy–Weinberg proportions of a frequency
// drawn from Beta(spectrum), the frequency integrated out. Deviations from Hardy–Weinberg that
// the chip's populations show (mixed samples lack heterozygotes) lower it.
double likeliest_concentration(const std::vector<std::array<int, 4>>& counts, const prior_pair& spectrum)
{
    std::vector<double> log_weight(frequency_steps), alpha(frequency_steps);
    double norm = 0;
    for (int s = 0; s < frequency_steps; ++s) {
        alpha[s] = (s + 0.5) / frequency_steps;
        log_weight[s] = (spectrum[0] - 1) * portable::log(alpha[s]) + (spectrum[1] - 1) * portable::log(1 - alpha[s]);
        norm += portable::exp(log_weight[s]);
    }
    for (double& w : log_weight) w -= portable::log(norm);
    double best = concentrations[0], best_log_likelihood = -std::numeric_limits<double>::infinity();
    std::vector<double> terms(frequency_steps);
    for (double c : concentrations) {
        double log_likelihood = 0;
        for (const std::array<int, 4>& n : counts) {
            const double total = n[0] + n[1] + n[2];
            double top = -std::numeric_limits<double>::infinity();
            for (int s = 0; s < frequency_steps; ++s) {
                const double a = alpha[s];
                const double p[3] = {a * a, 2 * a * (1 - a), (1 - a) * (1 - a)};
                double t = log_weight[s] + portable::lgamma(c) - portable::lgamma(c + total);
                for (int k = 0; k < 3; ++k) t += portable::lgamma(c * p[k] + n[k]) - portable::lgamma(c * p[k]);
                terms[s] = t;
                top = std::max(top, t);
            }
            double sum = 0;
            for (double t : terms) sum += portable::exp(t - top);
            log_likelihood += top + portable::log(sum);
        }
        if (log_likelihood > best_log_likelihood) {
            best_log_likelihood = log_likelihood;
            best = c;
        }
    }
    return best;
}

}  // namespace

fit_summary summarise_fit(const data& d)
{
    fit_summary f;
    const params& p = d.current_result;
    if (!std::isfinite(p.final_log_posterior)) return f;
    for (const auto& cohort : d.result_calls) {
        std::array<int, 4> members{};
        for (const auto& counts : cohort) {
            const auto top = std::max_element(counts.begin(), counts.end()) - counts.begin();
            members[static_cast<std::size_t>(top)] += 1;
        }
        for (int k = 0; k < 4; ++k) f.members[static_cast<std::size_t>(k)] += members[static_cast<std::size_t>(k)];
        f.cohort_members.push_back(members);
    }
    f.alpha = cohort_mean(d.alpha);
    f.eta = cohort_mean(d.eta);
    f.length = cohort_mean(d.length);
    f.gradient = cohort_mean(d.gradient);
    f.fraction = cohort_mean(d.fraction);
    f.departure = cohort_mean(d.departure);
    f.sigma = cohort_mean(d.sigma);
    f.varfrac = cohort_mean(d.varfrac);
    for (int k = 0; k < 3; ++k) {
        double sum = 0;
        for (const auto& r : d.r) sum += r[static_cast<std::size_t>(k)];
        f.r[static_cast<std::size_t>(k)] = sum / static_cast<double>(d.r.size());
    }
    f.has_geometry = true;
    for (const class_means& m : d.mu) {
        cluster_geometry g;
        if (!geometry_of(m, g)) {
            f.has_geometry = false;
            break;
        }
        for (int k = 0; k < 3; ++k) f.share[static_cast<std::size_t>(k)] += g.share[static_cast<std::size_t>(k)] / static_cast<double>(d.mu.size());
        f.het_brightness += g.het_brightness / static_cast<double>(d.mu.size());
    }
    const double values[] = {f.alpha, f.eta, f.length, f.gradient, f.fraction, f.departure, f.sigma, f.varfrac,
                             f.r[0], f.r[1], f.r[2]};
    f.usable = std::all_of(std::begin(values), std::end(values), [](double v) { return std::isfinite(v); });
    return f;
}

settings learnt_priors(const settings& s, const std::vector<fit_summary>& fits, std::string& report)
{
    settings out = s;
    std::ostringstream text;
    text.precision(4);
    std::vector<double> alpha, length, gradient, fraction, departure, sigma, varfrac;
    std::array<std::vector<double>, 3> r, share;
    std::vector<double> het_brightness;
    long null_members = 0, individuals = 0;
    std::vector<std::array<int, 4>> cohort_counts;
    for (const fit_summary& f : fits) {
        if (!f.usable) continue;
        const auto seen = [&](int k) { return f.members[static_cast<std::size_t>(k)] >= seen_class_members; };
        const int classes_seen = seen(0) + seen(1) + seen(2);
        alpha.push_back(f.alpha);
        for (int k = 0; k < 4; ++k) individuals += f.members[static_cast<std::size_t>(k)];
        null_members += f.members[3];
        cohort_counts.insert(cohort_counts.end(), f.cohort_members.begin(), f.cohort_members.end());
        if (classes_seen == 3) {
            length.push_back(f.length);
            gradient.push_back(f.gradient);
            fraction.push_back(f.fraction);
            departure.push_back(f.departure);
            if (f.has_geometry) het_brightness.push_back(f.het_brightness);
        }
        if (classes_seen >= 2) sigma.push_back(f.sigma);
        if (seen(0) || seen(2)) varfrac.push_back(f.varfrac);
        for (int k = 0; k < 3; ++k) {
            if (!seen(k)) continue;
            r[static_cast<std::size_t>(k)].push_back(f.r[static_cast<std::size_t>(k)]);
            if (f.has_geometry) share[static_cast<std::size_t>(k)].push_back(f.share[static_cast<std::size_t>(k)]);
        }
    }
    learner l(text);
    // Shapes below 1 would put infinite density on monomorphic SNPs and draw a SNP with few
    // calls of one class towards them.
    l.mean_prior("alpha_star_prior", out.alpha_star_prior, alpha, false, true);
    l.mean_prior("length_mean_prior", out.length_mean_prior, length, true);
    l.mean_prior("gradient_mean_prior", out.gradient_mean_prior, gradient, true);
    // The heterozygote's place along the homozygotes' segment and off it: its fits are held near
    // the setting by that prior's narrow proposals, so their spread understates the chip's (the
    // geometry's shares tell the heterozygote's place without it).
    l.mean_prior("fraction_mean_prior", out.fraction_mean_prior, fraction, false, false, true);
    l.mean_prior("departure_mean_prior", out.departure_mean_prior, departure, false, false, true);
    l.mean_prior("sigma_mean_prior", out.sigma_mean_prior, sigma, true);
    l.mean_prior("varfrac_mean_prior", out.varfrac_mean_prior, varfrac, false);
    const char* r_names[] = {"r_mean_prior_0", "r_mean_prior_1", "r_mean_prior_2"};
    for (int k = 0; k < 3; ++k) {
        prior_pair p = {out.r_mean_prior.a[k], out.r_mean_prior.b[k]};
        l.mean_prior(r_names[k], p, r[static_cast<std::size_t>(k)], false);
        out.r_mean_prior.a[k] = p[0];
        out.r_mean_prior.b[k] = p[1];
    }
    // Males of X mode follow other proportions; they keep the setting.
    if (!s.chrX && cohort_counts.size() >= static_cast<std::size_t>(fewest_fits)) {
        out.pgd = likeliest_concentration(cohort_counts, out.alpha_star_prior);
        text << "pgd: the likeliest of " << cohort_counts.size() << " cohorts' genotype counts\n";
    }
    // The null class: its mean share is the chip's share of individuals most often called null,
    // with the weight (a + b) the setting gives it.
    if (alpha.size() >= static_cast<std::size_t>(fewest_fits)) {
        const double strength = out.eta_mean_prior[0] + out.eta_mean_prior[1];
        const double rate = std::clamp(static_cast<double>(null_members) / static_cast<double>(individuals), 0.001, 0.2);
        out.eta_mean_prior = {rate * strength, (1 - rate) * strength};
        text << "eta_mean_prior: null share " << rate << " of " << individuals << " calls\n";
    }
    // The geometry is replaced only as a whole: with too few fits of some piece the priors it
    // held stay (none, or an earlier round's).
    geometry_prior g;
    bool geometry = l.piece("het_brightness", g.het_brightness, het_brightness);
    const char* share_names[] = {"share_0", "share_1", "share_2"};
    for (int k = 0; k < 3; ++k)
        geometry = l.piece(share_names[k], g.share[static_cast<std::size_t>(k)], share[static_cast<std::size_t>(k)]) && geometry;
    if (geometry) {
        g.active = true;
        out.geometry = g;
        out.class_dof = learnt_class_dof;
    }
    report = text.str();
    return out;
}
