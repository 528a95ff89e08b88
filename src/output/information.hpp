#pragma once
#include "state/records.hpp"

// Signed position of point p's projection onto the line through the class means a and b,
// measured from a and positive towards larger first coordinates. Not a number when the two
// means share their first or their second coordinate (the projection divides by zero).
double signed_position(const xy& a, const xy& b, const xy& p);
