#include <algorithm>
#include <iostream>

#include "model/likelihood.hpp"
#include "numeric/elementary.hpp"
#include "numeric/random.hpp"
#include "numeric/simd.hpp"
#include "numeric/variates.hpp"
#include "state/data.hpp"

namespace {

// A log weight that makes a class practically impossible while keeping the arithmetic finite.
constexpr double closed_class = -1000000;

// Per-class constants of the score log(lambda_k) + log phi_k, computed once per class and cohort.
struct class_score {
    class_density density;
    double log_lambda;
    bool closed;          // the null class under "-nonull"
    bool closed_to_males; // the heterozygous class in X mode without "-allow_male_hets"
};

class_score score_of_class(const data& d, int k, int j)
{
    return {density_of_class(d, k, j), portable::log(d.lambda[j][k]), d.cfg.nonull && k == 3,
            d.cfg.chrX && k == 1 && !d.cfg.allow_male_hets};
}

using cohort_scores = std::array<class_score, 4>;

cohort_scores scores_of_cohort(const data& d, int j)
{
    return {score_of_class(d, 0, j), score_of_class(d, 1, j), score_of_class(d, 2, j), score_of_class(d, 3, j)};
}

// A cohort's class scores with their constants per lane of T, formed once per loop over points.
template <class T>
struct scores_in_lanes {
    class_density_in<T> density[4];
    T log_lambda[4];
    bool closed[4], closed_to_males[4];

    [[gnu::always_inline]] explicit scores_in_lanes(const cohort_scores& classes)
    {
        for (int k = 0; k < 4; ++k) {
            density[k] = in_lanes<T>(classes[k].density);
            log_lambda[k] = splat<T>(classes[k].log_lambda);
            closed[k] = classes[k].closed;
            closed_to_males[k] = classes[k].closed_to_males;
        }
    }
};

// The four class probabilities of the points (x, y), one point per lane of T (double or vec4;
// `male` a bool or a lane mask): the class scores, less the largest (the first of equal
// maxima), exponentiated and divided by their sum taken in class order. The largest score's
// own exponential is exp(0) = 1 when it is finite, so only the other three are computed.
// Loads reads the tables of exp.
template <class Loads = element_loads, class T, class M>
[[gnu::always_inline]] inline void class_probabilities(const scores_in_lanes<T>& classes, T x, T y, M male, T (&p)[4])
{
    for (int k = 0; k < 4; ++k) {
        p[k] = classes.closed[k] ? splat<T>(closed_class) : classes.log_lambda[k] + classes.density[k].log_phi(x, y);
        if (classes.closed_to_males[k]) p[k] = pick(male, splat<T>(closed_class), p[k]);
    }
    T m = p[0], top = splat<T>(0);
    for (int k = 1; k < 4; ++k) {
        const auto larger = p[k] > m;
        m = pick(larger, p[k], m);
        top = pick(larger, splat<T>(k), top);
    }
    const T zero = splat<T>(0), one = splat<T>(1);
    if (all_of(m - m == 0.0)) {
        // The scores other than the largest, in class order, and their exponentials.
        const T e0 = portable::exp_lanes<T, Loads>(pick(top == 0.0, p[1], p[0]) - m, zero);
        const T e1 = portable::exp_lanes<T, Loads>(pick(top <= 1.0, p[2], p[1]) - m, zero);
        const T e2 = portable::exp_lanes<T, Loads>(pick(top <= 2.0, p[3], p[2]) - m, zero);
        p[0] = pick(top == 0.0, one, e0);
        p[1] = pick(top == 1.0, one, pick(top == 0.0, e0, e1));
        p[2] = pick(top == 2.0, one, pick(top < 2.0, e1, e2));
        p[3] = pick(top == 3.0, one, e2);
    } else {
        for (int k = 0; k < 4; ++k) p[k] = portable::exp_lanes<T, Loads>(p[k] - m, zero);
    }
    T sum = zero;
    for (int k = 0; k < 4; ++k) sum += p[k];
    for (int k = 0; k < 4; ++k) p[k] /= sum;
}

// The class probabilities of every point of a cohort into `out`, four points at a time; `sex`
// is null outside X mode.
template <class Loads>
[[gnu::always_inline]] inline void point_probabilities(const cohort_scores& cohort, const std::vector<xy>& pts,
                                                       const int* sex, std::array<double, 4>* out)
{
    const scores_in_lanes<vec4> classes(cohort);
    const std::size_t n = pts.size();
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const vec4 x{pts[i][0], pts[i + 1][0], pts[i + 2][0], pts[i + 3][0]};
        const vec4 y{pts[i][1], pts[i + 1][1], pts[i + 2][1], pts[i + 3][1]};
        lanes4 male{};
        if (sex != nullptr) male = lanes4{sex[i], sex[i + 1], sex[i + 2], sex[i + 3]} == 1;
        vec4 p[4];
        class_probabilities<Loads>(classes, x, y, male, p);
        for (int l = 0; l < 4; ++l) out[i + l] = {p[0][l], p[1][l], p[2][l], p[3][l]};
    }
    const scores_in_lanes<double> one_by_one(cohort);
    for (; i < n; ++i) {
        double p[4];
        class_probabilities<Loads>(one_by_one, pts[i][0], pts[i][1], sex != nullptr && sex[i] == 1, p);
        out[i] = {p[0], p[1], p[2], p[3]};
    }
}

void point_probabilities_baseline(const cohort_scores& classes, const std::vector<xy>& pts, const int* sex,
                                  std::array<double, 4>* out)
{
    point_probabilities<element_loads>(classes, pts, sex, out);
}

WIDE_LANES_TARGET void point_probabilities_wide(const cohort_scores& classes, const std::vector<xy>& pts,
                                                const int* sex, std::array<double, 4>* out)
{
    point_probabilities<gathered_loads>(classes, pts, sex, out);
}

// The class probabilities of every point of cohort j into `out` (room for every point); `sex`
// null treats every point as diploid.
void cohort_probabilities(const data& d, int j, const int* sex, std::array<double, 4>* out)
{
    const cohort_scores classes = scores_of_cohort(d, j);
    auto* const run = wide_lanes_active() ? point_probabilities_wide : point_probabilities_baseline;
    run(classes, d.current.points[j], sex, out);
}

const int* sex_of_points(const data& d, int j) { return d.cfg.chrX ? d.point_sex[j].data() : nullptr; }

int most_probable(const std::array<double, 4>& p)
{
    int best = 0;
    for (int k = 1; k < 4; ++k)
        if (p[k] > p[best]) best = k;
    return best;
}

// A class drawn from p with the uniform number u when sampling, else the most probable one.
int choose_call(bool sampling, const std::array<double, 4>& p, double u)
{
    return sampling ? rmultinom_walk(p.data(), 4, u) - 1 : most_probable(p);
}

// The calls of the points of cohort j from call_probs[j], with the class counts and members:
// one uniform draw per point in point order when sampling, drawn a block at a time.
void call_points(data& d, int j)
{
    const std::vector<xy>& pts = d.current.points[j];
    const std::size_t n = pts.size();
    std::array<class_members, 4>& members = d.members[j];
    for (class_members& m : members) m.clear(n);
    constexpr std::size_t block = 64;
    double u[block] = {};
    for (std::size_t first = 0; first < n; first += block) {
        const std::size_t size = std::min(block, n - first);
        if (d.sampling) Random::base_draws(u, size);
        for (std::size_t l = 0; l < size; ++l) {
            const std::size_t i = first + l;
            const std::array<double, 4>& p = d.call_probs[j][i];
            const int call = choose_call(d.sampling, p, u[l]);
            d.calls[j][i] = call;
            members[call].add(pts[i]);
        }
    }
    for (int k = 0; k < 4; ++k) d.N[j][k] = static_cast<int>(members[k].size);
}

}  // namespace

void data::update_calls()
{
    if (cfg.print_names) log() << "update_calls()" << std::endl;
    for (int j = 0; j < n_cohorts; ++j) {
        N[j] = {0, 0, 0, 0};
        if (!clumped) {
            cohort_probabilities(*this, j, sex_of_points(*this, j), call_probs[j].data());
            call_points(*this, j);
        } else {
            const scores_in_lanes<double> classes(scores_of_cohort(*this, j));
            for (auto& [x, column] : current.clumps[j])
                for (auto& [row, c] : column) {
                    double p[4];
                    class_probabilities(classes, x, row.y, row.male, p);
                    c.probs = {p[0], p[1], p[2], p[3]};
                    c.call = choose_call(sampling, c.probs, sampling ? Random::base_draw() : 0);
                    N[j][c.call] += c.w;
                }
        }
    }
    ++calls_version;
}

void data::update_call_probs()
{
    for (int j = 0; j < n_cohorts; ++j) cohort_probabilities(*this, j, sex_of_points(*this, j), call_probs[j].data());
}

void data::update_diploid_probs()
{
    diploid_probs.resize(static_cast<std::size_t>(n_cohorts));
    for (int j = 0; j < n_cohorts; ++j) {
        diploid_probs[j].resize(current.points[j].size());
        cohort_probabilities(*this, j, nullptr, diploid_probs[j].data());
    }
}
