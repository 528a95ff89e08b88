#include "driver/learning.hpp"

#include <algorithm>
#include <exception>
#include <iostream>
#include <thread>
#include <vector>

#include "driver/analysis.hpp"
#include "input/priors_file.hpp"
#include "input/snp_reader.hpp"
#include "numeric/random.hpp"
#include "output/priors_file.hpp"
#include "schedule/learning.hpp"
#include "state/data.hpp"

namespace {

// A learning fit needs the fitted values, not calls: a short final phase after the starts (or
// the run's own, when that is shorter).
constexpr int learning_burn_in = 100, learning_iterations = 100;
constexpr int learning_rounds = 2;

struct learning_subset {
    std::vector<snp> records;
    std::vector<int> numbers;   // place of each among the file's SNP lines
    int stride = 1;
    int range = 0;              // SNPs of the range
};

// Every stride-th SNP of the range, the stride doubled (and every other SNP kept dropped)
// whenever most_learning_snps are held: the subset depends on the range alone.
learning_subset choose_subset(input::snp_reader& reader)
{
    learning_subset s;
    snp record;
    int number = 0;
    while (reader.next(record, number)) {
        if (s.range++ % s.stride != 0) continue;
        s.records.push_back(std::move(record));
        s.numbers.push_back(number);
        if (s.records.size() < static_cast<std::size_t>(most_learning_snps)) continue;
        for (std::size_t i = 0; 2 * i < s.records.size(); ++i) {
            s.records[i] = std::move(s.records[2 * i]);
            s.numbers[i] = s.numbers[2 * i];
        }
        s.records.resize((s.records.size() + 1) / 2);
        s.numbers.resize(s.records.size());
        s.stride *= 2;
    }
    return s;
}

std::vector<fit_summary> fit_subset(const settings& fit, const cohort_description& cohorts, const learning_subset& subset,
                                    double seed, int threads)
{
    const std::size_t n = subset.records.size();
    std::vector<fit_summary> fits(n);
    std::vector<std::exception_ptr> errors(n);
    const auto work = [&](std::size_t first) {
        std::ostream null(nullptr);
        data d(fit, cohorts, null);
        for (std::size_t i = first; i < n; i += static_cast<std::size_t>(threads)) {
            try {
                d.current = subset.records[i];
                d.snp_number = subset.numbers[i];
                MT generator(snp_seed(seed, d.current, subset.numbers[i], cohorts.vcf_input));
                Random::Set(generator);
                d.v1();
                fits[i] = summarise_fit(d);
            } catch (...) {
                errors[i] = std::current_exception();
            }
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(work, static_cast<std::size_t>(t));
    work(0);
    for (std::thread& t : pool) t.join();
    for (const std::exception_ptr& e : errors)
        if (e) std::rethrow_exception(e);
    return fits;
}

}  // namespace

std::string learn_priors(settings& cfg)
{
    input::snp_reader reader(cfg);
    check_scale(cfg, reader);
    learning_subset subset = choose_subset(reader);
    std::cout << std::endl
              << "learning the priors from " << subset.records.size() << " of " << subset.range << " SNPs (one in "
              << subset.stride << ")" << std::endl;
    // The first round's fits are made under the run's priors, which may suit the chip badly;
    // the second round fits the subset again under the priors learnt from the first.
    settings learnt = cfg;
    std::string report;
    for (int round = 0; round < learning_rounds; ++round) {
        settings fit = learnt;
        fit.label_starts = true;
        fit.burn_in = std::min(cfg.burn_in, learning_burn_in);
        fit.n_iter = std::min(cfg.n_iter, learning_iterations);
        const std::vector<fit_summary> fits = fit_subset(fit, reader.cohorts(), subset, cfg.seed, cfg.threads);
        learnt = learnt_priors(learnt, fits, report);
    }
    std::cout << report;
    const std::string text = priors_text(
        learnt, "priors learnt by tarvix++ from " + std::to_string(subset.records.size()) + " of " +
                    std::to_string(subset.range) + " SNPs (one in " + std::to_string(subset.stride) +
                    "), fitted twice; read back with -priors\n" + report);
    input::parse_priors(text, "learnt priors", cfg);
    return text;
}
