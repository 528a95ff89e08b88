#include "schedule/learning.hpp"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "model/geometry.hpp"
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

// The quartile of a Student-t with 2 degrees of freedom: sqrt(2/3).
constexpr double t2_quartile = 0.816496580927726;
// A scale below this is taken as this: shares and log brightness ratios are not known to a
// ten-thousandth, and a narrower prior would let rounding decide between fits.
constexpr double smallest_scale = 1e-4;

two_piece_t two_piece_of(std::vector<double> x)
{
    std::sort(x.begin(), x.end());
    const double mid = quantile(x, 0.5);
    return {mid, std::max((mid - quantile(x, 0.25)) / t2_quartile, smallest_scale),
            std::max((quantile(x, 0.75) - mid) / t2_quartile, smallest_scale)};
}

// The chip's values of one quantity, and the prior they give when there are enough of them.
class learner {
public:
    learner(settings& s, std::ostringstream& report) : s_(s), report_(report) {}

    // The hyperprior of a family's mean: a Gamma (shape, rate) or Beta (a, b) with the mean and
    // variance of the chip's values. `floor_one` keeps Beta shapes at 1 or more.
    void mean_prior(const char* name, prior_pair& p, const std::vector<double>& x, bool gamma, bool floor_one = false)
    {
        if (!enough(name, x)) return;
        const moments m = moments_of(x);
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
        report_ << name << ": from " << x.size() << " fits, median " << p.mid << "\n";
        return true;
    }

private:
    bool enough(const char* name, const std::vector<double>& x)
    {
        if (x.size() >= static_cast<std::size_t>(fewest_fits)) return true;
        report_ << name << ": kept, only " << x.size() << " fits show it\n";
        return false;
    }
    settings& s_;
    std::ostringstream& report_;
};

}  // namespace

fit_summary summarise_fit(const data& d)
{
    fit_summary f;
    const params& p = d.current_result;
    if (!std::isfinite(p.final_log_posterior)) return f;
    for (const auto& cohort : d.result_calls)
        for (const auto& counts : cohort) {
            const auto top = std::max_element(counts.begin(), counts.end()) - counts.begin();
            f.members[static_cast<std::size_t>(top)] += 1;
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
    std::vector<double> alpha, eta_share, length, gradient, fraction, departure, sigma, varfrac;
    std::array<std::vector<double>, 3> r, share;
    std::vector<double> het_brightness;
    long null_members = 0, individuals = 0;
    for (const fit_summary& f : fits) {
        if (!f.usable) continue;
        const auto seen = [&](int k) { return f.members[static_cast<std::size_t>(k)] >= seen_class_members; };
        const int classes_seen = seen(0) + seen(1) + seen(2);
        alpha.push_back(f.alpha);
        for (int k = 0; k < 4; ++k) individuals += f.members[static_cast<std::size_t>(k)];
        null_members += f.members[3];
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
    learner l(out, text);
    // Shapes below 1 would put infinite density on monomorphic SNPs and draw a SNP with few
    // calls of one class towards them.
    l.mean_prior("alpha_star_prior", out.alpha_star_prior, alpha, false, true);
    l.mean_prior("length_mean_prior", out.length_mean_prior, length, true);
    l.mean_prior("gradient_mean_prior", out.gradient_mean_prior, gradient, true);
    l.mean_prior("fraction_mean_prior", out.fraction_mean_prior, fraction, false);
    l.mean_prior("departure_mean_prior", out.departure_mean_prior, departure, false);
    l.mean_prior("sigma_mean_prior", out.sigma_mean_prior, sigma, true);
    l.mean_prior("varfrac_mean_prior", out.varfrac_mean_prior, varfrac, false);
    const char* r_names[] = {"r_mean_prior_0", "r_mean_prior_1", "r_mean_prior_2"};
    for (int k = 0; k < 3; ++k) {
        prior_pair p = {out.r_mean_prior.a[k], out.r_mean_prior.b[k]};
        l.mean_prior(r_names[k], p, r[static_cast<std::size_t>(k)], false);
        out.r_mean_prior.a[k] = p[0];
        out.r_mean_prior.b[k] = p[1];
    }
    // The null class: its mean share is the chip's share of individuals most often called null,
    // with the weight (a + b) the setting gives it.
    if (individuals > 0) {
        const double strength = out.eta_mean_prior[0] + out.eta_mean_prior[1];
        const double rate = std::clamp(static_cast<double>(null_members) / static_cast<double>(individuals), 0.001, 0.2);
        out.eta_mean_prior = {rate * strength, (1 - rate) * strength};
        text << "eta_mean_prior: null share " << rate << " of " << individuals << " calls\n";
    }
    bool geometry = l.piece("het_brightness", out.geometry.het_brightness, het_brightness);
    const char* share_names[] = {"share_0", "share_1", "share_2"};
    for (int k = 0; k < 3; ++k)
        geometry = l.piece(share_names[k], out.geometry.share[static_cast<std::size_t>(k)], share[static_cast<std::size_t>(k)]) && geometry;
    out.geometry.active = geometry;
    report = text.str();
    return out;
}
