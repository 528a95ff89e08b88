#pragma once
// Priors learnt from the chip (empirical Bayes): what the fit of one SNP tells about the chip,
// and the priors that the fits of a spread subset of the run's SNPs give.
#include <array>
#include <string>
#include <vector>

#include "state/records.hpp"
#include "state/settings.hpp"

class data;

// The fitted values of one SNP that the chip's priors are learnt from, averaged over its cohorts.
struct fit_summary {
    bool usable = false;                    // a finite fit
    std::array<int, 4> members{};           // individuals whose most frequent class was k
    std::vector<std::array<int, 4>> cohort_members;   // the same per cohort
    double alpha = 0, eta = 0;
    double length = 0, gradient = 0, fraction = 0, departure = 0;
    double sigma = 0, varfrac = 0;
    std::array<double, 3> r{};
    // The geometry of each cohort's means, averaged; valid only when every cohort has one.
    bool has_geometry = false;
    std::array<double, 3> share{};
    double het_brightness = 0;
};

// A class is taken as seen in a fit when at least this many individuals were most often in it:
// the mean of a smaller class is placed as much by the priors being learnt as by the data.
constexpr int seen_class_members = 5;
// A prior is learnt only from at least this many fits that show what it describes (a
// distribution's quartiles and spread from fewer are noise); otherwise it keeps its setting.
constexpr int fewest_fits = 20;

// The degrees of freedom of the class densities of the chip's model: Student-t rather than
// normal clusters, so that a sample whose point lies off its cluster (a dim or noisy scan) is
// neither sure to be in the neighbouring cluster nor left to the null class. 4 is the usual
// choice of robust estimation with the t (Lange, Little and Taylor 1989): a finite variance, and
// tails heavy enough that a point far out moves its cluster little.
constexpr double learnt_class_dof = 4;

// What the SNP that `d` has just analysed (data::v1) tells about the chip.
fit_summary summarise_fit(const data& d);

// The priors learnt from `fits`: `s` with every prior that enough fits describe replaced, and
// the geometry factor on when every class's share and the heterozygote's brightness are learnt.
// `report` receives one line per prior: what it was learnt from.
settings learnt_priors(const settings& s, const std::vector<fit_summary>& fits, std::string& report);
