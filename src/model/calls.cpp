#include <cmath>
#include <iostream>

#include "model/likelihood.hpp"
#include "numeric/elementary.hpp"
#include "numeric/variates.hpp"
#include "state/data.hpp"

namespace {

// A log weight that makes a class practically impossible while keeping the arithmetic finite.
constexpr double closed_class = -1000000;

// Turns four log scores into probabilities in place: subtract the maximum (the first of equal
// maxima), exponentiate, divide by the sum. exp(0) = 1 exactly, so the maximum's own
// exponential is skipped when it is finite.
void normalise_scores(std::array<double, 4>& p)
{
    int top = 0;
    for (int k = 1; k < 4; ++k)
        if (p[k] > p[top]) top = k;
    const double m = p[top];
    const bool finite = std::isfinite(m);
    double sum = 0;
    for (int k = 0; k < 4; ++k) {
        p[k] = (k == top && finite) ? 1.0 : portable::exp(p[k] - m);
        sum += p[k];
    }
    for (int k = 0; k < 4; ++k) p[k] /= sum;
}

int most_probable(const std::array<double, 4>& p)
{
    int best = 0;
    for (int k = 1; k < 4; ++k)
        if (p[k] > p[best]) best = k;
    return best;
}

// Per-class constants of the score log(lambda_k) + log phi_k, computed once per class and cohort.
struct class_score {
    class_density density;
    double log_lambda;
    bool closed;          // the null class under "-nonull"
    bool closed_to_males; // the heterozygous class in X mode without "-allow_male_hets"
};

class_score score_of_class(const data& d, int k, int j)
{
    return {density_of_class(d, k, j), portable::log(d.lambda[j][k]), d.nonull && k == 3,
            d.chrX && k == 1 && !d.allow_male_hets};
}

double score(const class_score& cs, double x, double y, bool male)
{
    if (cs.closed) return closed_class;
    if (cs.closed_to_males && male) return closed_class;
    return cs.log_lambda + cs.density.log_phi(x, y);
}

// The four class scores of one cohort, computed once per call.
struct cohort_scores {
    std::array<class_score, 4> classes;

    cohort_scores(const data& d, int j)
        : classes{score_of_class(d, 0, j), score_of_class(d, 1, j), score_of_class(d, 2, j), score_of_class(d, 3, j)}
    {
    }

    // The class probabilities of the point (x, y) into p.
    void probabilities(double x, double y, bool male, std::array<double, 4>& p) const
    {
        for (int k = 0; k < 4; ++k) p[k] = score(classes[k], x, y, male);
        normalise_scores(p);
    }
};

bool is_male(const data& d, int j, std::size_t i)
{
    return d.chrX && d.point_sex[j][i] == 1;
}

int choose_call(bool sampling, const std::array<double, 4>& p)
{
    return sampling ? rmultinom(p.data(), 4) - 1 : most_probable(p);
}

}  // namespace

void data::update_calls()
{
    if (print_names) std::cout << "update_calls()" << std::endl;
    for (int j = 0; j < n_cohorts; ++j) {
        N[j] = {0, 0, 0, 0};
        const cohort_scores scores(*this, j);
        if (!clumped) {
            const std::vector<xy>& pts = snps[current_snp].points[j];
            for (class_members& m : members[j]) m.clear();
            for (std::size_t i = 0; i < pts.size(); ++i) {
                scores.probabilities(pts[i][0], pts[i][1], is_male(*this, j, i), call_probs[j][i]);
                const int call = choose_call(sampling, call_probs[j][i]);
                calls[j][i] = call;
                N[j][call] += 1;
                members[j][call].add(pts[i]);
            }
        } else {
            // A clump counts as male only when every member is one.
            for (auto& [x, column] : snps[current_snp].clumps[j])
                for (auto& [y, c] : column) {
                    scores.probabilities(x, y, chrX && c.all_male, c.probs);
                    c.call = choose_call(sampling, c.probs);
                    N[j][c.call] += c.w;
                }
        }
    }
    ++calls_version;
}

void data::update_call_probs()
{
    for (int j = 0; j < n_cohorts; ++j) {
        const cohort_scores scores(*this, j);
        const std::vector<xy>& pts = snps[current_snp].points[j];
        for (std::size_t i = 0; i < pts.size(); ++i)
            scores.probabilities(pts[i][0], pts[i][1], is_male(*this, j, i), call_probs[j][i]);
    }
}
