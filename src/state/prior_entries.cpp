#include "state/prior_entries.hpp"

std::vector<prior_entry> prior_entries(settings& s)
{
    const auto pair = [](const char* name, prior_pair& p) { return prior_entry{name, {&p[0], &p[1]}, false, 0}; };
    std::vector<prior_entry> e = {
        pair("alpha_star_prior", s.alpha_star_prior),
        {"pgd", {&s.pgd}, false, 0},
        pair("eta_mean_prior", s.eta_mean_prior),          pair("eta_var_prior", s.eta_var_prior),
        pair("length_mean_prior", s.length_mean_prior),    pair("length_var_prior", s.length_var_prior),
        pair("gradient_mean_prior", s.gradient_mean_prior), pair("gradient_var_prior", s.gradient_var_prior),
        pair("fraction_mean_prior", s.fraction_mean_prior), pair("fraction_var_prior", s.fraction_var_prior),
        pair("departure_mean_prior", s.departure_mean_prior), pair("departure_var_prior", s.departure_var_prior),
        pair("sigma_mean_prior", s.sigma_mean_prior),      pair("sigma_var_prior", s.sigma_var_prior),
        pair("varfrac_mean_prior", s.varfrac_mean_prior),  pair("varfrac_var_prior", s.varfrac_var_prior),
    };
    for (int k = 0; k < 3; ++k)
        e.push_back({"r_mean_prior_" + std::to_string(k), {&s.r_mean_prior.a[k], &s.r_mean_prior.b[k]}, false, 0});
    for (int k = 0; k < 3; ++k)
        e.push_back({"r_var_prior_" + std::to_string(k), {&s.r_var_prior.a[k], &s.r_var_prior.b[k]}, false, 0});
    const auto piece = [](std::string name, two_piece_t& p) {
        return prior_entry{std::move(name), {&p.mid, &p.below, &p.above, &p.dof}, true, 1};
    };
    for (int k = 0; k < 3; ++k) e.push_back(piece("share_" + std::to_string(k), s.geometry.share[k]));
    e.push_back(piece("het_brightness", s.geometry.het_brightness));
    e.push_back({"class_dof", {&s.class_dof}, true, 0});
    return e;
}
