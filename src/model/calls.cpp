#include <cmath>
#include <iostream>

#include "model/likelihood.hpp"
#include "numeric/variates.hpp"
#include "state/data.hpp"

namespace {

// A log weight that makes a class practically impossible while keeping the arithmetic finite.
constexpr double closed_class = -1000000;

// Turns four log scores into probabilities in place: subtract the maximum (the first of equal
// maxima), exponentiate, divide by the sum.
void normalise_scores(std::array<double, 4>& p)
{
    double m = p[0];
    for (int k = 1; k < 4; ++k)
        if (p[k] > m) m = p[k];
    double sum = 0;
    for (int k = 0; k < 4; ++k) {
        p[k] = std::exp(p[k] - m);
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
    return {density_of_class(d, k, j), std::log(d.lambda[j][k]), d.nonull && k == 3,
            d.chrX && k == 1 && !d.allow_male_hets};
}

double score(const class_score& cs, double x, double y, bool male)
{
    if (cs.closed) return closed_class;
    if (cs.closed_to_males && male) return closed_class;
    return cs.log_lambda + cs.density.log_phi(x, y);
}

bool is_male(const data& d, int j, std::size_t i)
{
    return d.chrX && d.point_sex[j][i] == 1;
}

// Class scores of every individual of cohort j into call_probs[j].
void score_individuals(data& d, int j)
{
    const std::vector<xy>& pts = d.snps[d.current_snp].points[j];
    std::vector<std::array<double, 4>>& probs = d.call_probs[j];
    for (int k = 0; k < 4; ++k) {
        const class_score cs = score_of_class(d, k, j);
        for (std::size_t i = 0; i < probs.size(); ++i)
            probs[i][k] = score(cs, pts[i][0], pts[i][1], is_male(d, j, i));
    }
}

// Class scores of every clump of cohort j into the clumps' probs; a clump counts as male only
// when every member is one.
void score_clumps(data& d, int j)
{
    clump_map& clumps = d.snps[d.current_snp].clumps[j];
    for (int k = 0; k < 4; ++k) {
        const class_score cs = score_of_class(d, k, j);
        for (auto& [x, column] : clumps)
            for (auto& [y, c] : column) c.probs[k] = score(cs, x, y, d.chrX && c.all_male);
    }
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
        if (!clumped) {
            score_individuals(*this, j);
            for (std::size_t i = 0; i < call_probs[j].size(); ++i) {
                normalise_scores(call_probs[j][i]);
                const int call = choose_call(sampling, call_probs[j][i]);
                calls[j][i] = call;
                N[j][call] += 1;
            }
        } else {
            score_clumps(*this, j);
            for (auto& [x, column] : snps[current_snp].clumps[j])
                for (auto& [y, c] : column) {
                    normalise_scores(c.probs);
                    c.call = choose_call(sampling, c.probs);
                    N[j][c.call] += c.w;
                }
        }
    }
}

void data::update_call_probs()
{
    for (int j = 0; j < n_cohorts; ++j) {
        score_individuals(*this, j);
        for (auto& p : call_probs[j]) normalise_scores(p);
    }
}
