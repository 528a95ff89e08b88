#pragma once

// Random-walk and independence proposals and the acceptance rule shared by every update.

// The proposals of bounded parameters: a Beta of concentration kappa around the current value,
// with or without the 1e-8 offsets on its shapes; a Gamma of shape kappa*x and rate kappa (mean x,
// variance x/kappa) for positive parameters.
enum class proposal_kind { beta_offset, beta_plain, gamma };

// Bounds of the values a parameter in (0, 1), or above 0, may take.
constexpr double support_low = 1e-8;
constexpr double support_high = 0.99999999;

// A value strictly inside the support a proposal may move to: (1e-8, 0.99999999) for the Beta
// proposals, above 1e-8 for the Gamma one. NaN is never inside.
bool inside_support(proposal_kind kind, double x);

// Draws a proposal from x; returns x itself when the draw falls outside the support, so that
// the step goes on as a move to the same value.
double propose(proposal_kind kind, double x, double kappa);

// log q(to | from), in double precision.
double log_proposal_density(proposal_kind kind, double to, double from, double kappa);

// The decision of one move. `log_ratio` is the change of the log posterior; `log_ratio_mh`
// adds the Hastings correction (or removes terms that cancel with the proposal). Sampling: a
// uniform is always drawn, accept when log_ratio_mh > 0 or exp(log_ratio_mh) > u. Maximising:
// accept only a strict increase, draw nothing. NaN is never accepted.
bool accept_move(bool sampling, double log_ratio, double log_ratio_mh);

// log_ratio_mh of a random-walk move from x to x_new: R - log q(x_new | x) + log q(x | x_new).
double with_hastings(double log_ratio, proposal_kind kind, double x, double x_new, double kappa);
