#include "state/data.hpp"

#include <iostream>

// Every default is given where the field is declared.
data::data(const settings& settings, const cohort_description& cohorts, std::ostream& console)
    : cfg(settings), cohorts(cohorts), console_(&console)
{
}

void data::set_storage()
{
    log() << " setting storage..." << std::flush;
    const auto nc = static_cast<std::size_t>(n_cohorts);
    calls.resize(nc);
    call_probs.resize(nc);
    call_counts.resize(nc);
    for (std::size_t j = 0; j < nc; ++j) {
        const auto n = static_cast<std::size_t>(n_individuals[j]);
        calls[j].assign(n, 0);
        call_probs[j].assign(n, {0, 0, 0, 0});
        call_counts[j].assign(n, {0, 0, 0, 0});
    }
    N.assign(nc, {0, 0, 0, 0});
    static_cast<parameter_set&>(*this) = parameter_set{};
    size_cohorts(*this, nc);
    size_cohorts(kept_cohort, 1);
    log_posterior_terms.fill(0);
    members.resize(nc);
    likelihood_memos.assign(nc, {});
    calls_changed();
    log() << "done" << std::endl;
}

void data::calls_changed()
{
    ++calls_version;
    const std::vector<std::vector<xy>>& pts = current.points;
    for (std::size_t j = 0; j < members.size(); ++j) {
        for (class_members& m : members[j]) m.clear(j < calls.size() ? calls[j].size() : 0);
        // While cohorts are being pooled or split, calls and points may briefly disagree;
        // set_storage rebuilds the members once they agree again.
        if (j >= pts.size() || j >= calls.size() || calls[j].size() != pts[j].size()) continue;
        for (std::size_t i = 0; i < calls[j].size(); ++i) members[j][calls[j][i]].add(pts[j][i]);
    }
}
