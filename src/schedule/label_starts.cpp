// Labelling-hypothesis starts: the SNP's points are grouped by polar angle into 3, 2 and 1
// clusters, and every plausible naming of those groups as genotype classes gives one start. The
// random starts rarely begin in the basin of a SNP with only a homozygote and the heterozygote
// visible; a start built from the groups begins there.
#include "schedule/label_starts.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <iostream>
#include <limits>
#include <sstream>

#include "state/data.hpp"

namespace labels {

double angle_of(const xy& p) { return std::atan2(p[1], p[0]) / 1.5707963267948966; }

std::vector<std::size_t> optimal_groups(const std::vector<double>& ascending, int k)
{
    const std::size_t n = ascending.size();
    double mean = 0;
    for (double v : ascending) mean += v;
    mean /= static_cast<double>(n);
    // Prefix sums of the values less their mean, so that the sums of squares stay accurate.
    std::vector<double> s1(n + 1, 0), s2(n + 1, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const double v = ascending[i] - mean;
        s1[i + 1] = s1[i] + v;
        s2[i + 1] = s2[i] + v * v;
    }
    const auto cost = [&](std::size_t from, std::size_t to) {   // values [from, to)
        const double s = s1[to] - s1[from];
        return std::max(0.0, s2[to] - s2[from] - s * s / static_cast<double>(to - from));
    };
    const auto groups = static_cast<std::size_t>(k);
    // least[m][j]: least cost of the first j values in m + 1 groups; cut[m][j]: where the last
    // of those groups begins.
    std::vector<std::vector<double>> least(groups, std::vector<double>(n + 1, 0));
    std::vector<std::vector<std::size_t>> cut(groups, std::vector<std::size_t>(n + 1, 0));
    for (std::size_t j = 1; j <= n; ++j) least[0][j] = cost(0, j);
    for (std::size_t m = 1; m < groups; ++m) {
        // The best cut never moves left as j grows, so the middle j's cut bounds both halves.
        const std::function<void(std::size_t, std::size_t, std::size_t, std::size_t)> fill =
            [&](std::size_t j_lo, std::size_t j_hi, std::size_t c_lo, std::size_t c_hi) {
                if (j_lo > j_hi) return;
                const std::size_t j = j_lo + (j_hi - j_lo) / 2;
                double best = std::numeric_limits<double>::infinity();
                std::size_t best_cut = c_lo;
                for (std::size_t c = c_lo; c <= std::min(c_hi, j - 1); ++c) {
                    const double v = least[m - 1][c] + cost(c, j);
                    if (v < best) {
                        best = v;
                        best_cut = c;
                    }
                }
                least[m][j] = best;
                cut[m][j] = best_cut;
                if (j > j_lo) fill(j_lo, j - 1, c_lo, best_cut);
                fill(j + 1, j_hi, best_cut, c_hi);
            };
        fill(m + 1, n, m, n - 1);
    }
    std::vector<std::size_t> first(groups, 0);
    std::size_t end = n;
    for (std::size_t m = groups - 1; m >= 1; --m) {
        first[m] = cut[m][end];
        end = first[m];
    }
    return first;
}

namespace {

// One angle group: its mean and standard deviation of angle, and its points' mean per cohort.
struct group {
    double angle = 0, sd = 0;
    std::vector<xy> sum;          // [cohort] sum of the points
    std::vector<int> count;       // [cohort]
    xy pooled_sum{0, 0};
    int pooled_count = 0;

    xy mean_in(std::size_t cohort) const
    {
        const bool own = count[cohort] > 0;
        const xy s = own ? sum[cohort] : pooled_sum;
        const double n = own ? count[cohort] : pooled_count;
        return {s[0] / n, s[1] / n};
    }
};

struct kept_point {
    double angle;
    std::size_t cohort;
    xy p;
};

std::vector<group> make_groups(const std::vector<kept_point>& kept, const std::vector<std::size_t>& first,
                               std::size_t n_cohorts)
{
    std::vector<group> gs(first.size());
    for (std::size_t g = 0; g < gs.size(); ++g) {
        group& gr = gs[g];
        gr.sum.assign(n_cohorts, xy{0, 0});
        gr.count.assign(n_cohorts, 0);
        const std::size_t end = g + 1 < first.size() ? first[g + 1] : kept.size();
        double s = 0, ss = 0;
        for (std::size_t i = first[g]; i < end; ++i) {
            const kept_point& k = kept[i];
            s += k.angle;
            gr.sum[k.cohort][0] += k.p[0];
            gr.sum[k.cohort][1] += k.p[1];
            gr.count[k.cohort] += 1;
            gr.pooled_sum[0] += k.p[0];
            gr.pooled_sum[1] += k.p[1];
        }
        gr.pooled_count = static_cast<int>(end - first[g]);
        gr.angle = s / gr.pooled_count;
        for (std::size_t i = first[g]; i < end; ++i) ss += (kept[i].angle - gr.angle) * (kept[i].angle - gr.angle);
        gr.sd = std::sqrt(ss / gr.pooled_count);
    }
    return gs;
}

// Mean angles apart in units of the summed spreads; two single values apart are infinitely so.
double separation(const group& a, const group& b)
{
    const double gap = b.angle - a.angle, spread = a.sd + b.sd;
    return spread > 0 ? gap / spread : (gap > 0 ? std::numeric_limits<double>::infinity() : 0);
}

// Starting means of every cohort for groups named `classes`: the cohort's mean of each group; a
// missing homozygote is the other one mirrored across x = y, a missing heterozygote sits where
// the prior means of fraction and departure put it. Fraction and departure are kept inside
// (0, 1), where their priors live. False when the means give no valid shape (the homozygotes in
// the wrong order, or nothing finite).
bool start_means(data& d, const std::vector<group>& groups, const std::vector<int>& classes,
                 std::vector<class_means>& means)
{
    const auto prior_mean = [](const prior_pair& p) { return p[0] / (p[0] + p[1]); };
    const auto inside = [](double v) { return std::min(0.95, std::max(0.02, v)); };
    means.assign(static_cast<std::size_t>(d.n_cohorts), class_means{});
    for (int j = 0; j < d.n_cohorts; ++j) {
        const auto c = static_cast<std::size_t>(j);
        class_means m{};
        bool seen[3] = {false, false, false};
        for (std::size_t g = 0; g < groups.size(); ++g) {
            m[classes[g]] = groups[g].mean_in(c);
            seen[classes[g]] = true;
        }
        if (!seen[0]) m[0] = {m[2][1], m[2][0]};
        if (!seen[2]) m[2] = {m[0][1], m[0][0]};
        if (!seen[1]) m[1] = {(m[0][0] + m[2][0]) / 2, (m[0][1] + m[2][1]) / 2};
        d.mu[c] = m;
        d.set_params_from_mu(j);
        if (!seen[1]) {
            d.fraction[c] = prior_mean(d.cfg.fraction_mean_prior);
            d.departure[c] = prior_mean(d.cfg.departure_mean_prior);
        }
        d.fraction[c] = inside(d.fraction[c]);
        d.departure[c] = inside(d.departure[c]);
        const bool valid = d.length[c] > 0 && std::isfinite(d.length[c]) && d.gradient[c] > 0 &&
                           std::isfinite(d.gradient[c]) && std::isfinite(d.center[c][0]) &&
                           std::isfinite(d.center[c][1]) && std::isfinite(d.fraction[c]) &&
                           std::isfinite(d.departure[c]);
        if (!valid) return false;
        d.set_mu_from_params(j);
        means[c] = d.mu[c];
    }
    return true;
}

}  // namespace

std::vector<labelled_start> labelled_starts(data& d)
{
    const snp& s = d.current;
    std::vector<double> radii;
    for (const auto& cohort : s.points)
        for (const xy& p : cohort) radii.push_back(std::hypot(p[0], p[1]));
    if (radii.empty()) return {};
    std::nth_element(radii.begin(), radii.begin() + static_cast<std::ptrdiff_t>(radii.size() / 2), radii.end());
    const double cut = failed_radius_share * radii[radii.size() / 2];

    std::vector<kept_point> kept;
    for (std::size_t j = 0; j < s.points.size(); ++j)
        for (const xy& p : s.points[j]) {
            const double radius = std::hypot(p[0], p[1]);
            if (radius >= cut && radius > 0) kept.push_back({angle_of(p), j, p});   // the origin has no angle
        }
    std::stable_sort(kept.begin(), kept.end(),
                     [](const kept_point& a, const kept_point& b) { return a.angle < b.angle; });
    std::vector<double> angles;
    for (const kept_point& k : kept) angles.push_back(k.angle);

    std::vector<labelled_start> starts;
    std::ostringstream text;
    text.precision(3);
    const auto add = [&](const std::vector<group>& gs, const std::vector<int>& classes) {
        labelled_start start;
        text.str("");
        text << "classes";
        for (int c : classes) text << " " << c;
        start.description = text.str();
        if (start_means(d, gs, classes, start.means))
            starts.push_back(std::move(start));
        else
            d.log() << "  " << start.description << ": no valid cluster shape" << std::endl;
    };
    bool labelled = false;
    for (int k = 3; k >= 1; --k) {
        if (kept.size() < static_cast<std::size_t>(k)) continue;
        const std::vector<group> gs = make_groups(kept, optimal_groups(angles, k), s.points.size());
        text.str("");
        text << "angle groups " << k << ":";
        for (const group& g : gs) text << " " << g.angle << " (" << g.pooled_count << ")";
        bool apart = true;
        for (std::size_t g = 1; g < gs.size(); ++g) {
            const double sep = separation(gs[g - 1], gs[g]);
            text << (g == 1 ? ", separation " : " ") << sep;
            apart = apart && sep >= min_separation;
        }
        d.log() << text.str() << (apart ? "" : ", not apart") << std::endl;
        // Only the most groups that are all well apart are labelled: fewer groups would merge a
        // visible cluster into another class, and with one group the mirrored homozygote lands
        // on a visible heterozygote; both seed wrong modes that can win the short comparison.
        if (!apart || labelled) continue;
        labelled = true;
        if (k == 3) add(gs, {0, 1, 2});
        // Two groups are a homozygote and the heterozygote only when the unseen homozygote,
        // mirrored across x = y, lies beyond the heterozygote; {0, 2} is never tried: it seeds
        // exactly the mode that calls heterozygotes homozygous.
        if (k == 2 && 1 - gs[0].angle > gs[1].angle) add(gs, {0, 1});
        if (k == 2 && 1 - gs[1].angle < gs[0].angle) add(gs, {1, 2});
        if (k == 1) add(gs, {gs[0].angle < 0.5 ? 0 : 2});
    }
    return starts;
}

}  // namespace labels
