#include "numeric/hardy_weinberg.hpp"

#include <algorithm>

double hardy_weinberg_p(long long hom1, long long het, long long hom2, std::vector<double>& work)
{
    const long long n = hom1 + het + hom2;
    if (n <= 0) return 1;
    const long long hom_rare = std::min(hom1, hom2);
    const long long rare = 2 * hom_rare + het;   // copies of the rarer allele
    // P(h hets | n, rare) for h of rare's parity, relative to the probability at `mid`, the
    // expected count (near the mode), by the ratio of neighbouring counts:
    // P(h - 2) / P(h) = h (h - 1) / (4 (r + 1) (c + 1)), r and c being the rare and common
    // homozygotes beside h hets.
    work.assign(static_cast<std::size_t>(rare + 1), 0.0);
    long long mid = rare * (2 * n - rare) / (2 * n);
    if ((mid ^ rare) & 1) ++mid;
    work[static_cast<std::size_t>(mid)] = 1;
    double sum = 1;
    for (long long h = mid, r = (rare - mid) / 2, c = n - mid - r; h > 1; h -= 2, ++r, ++c) {
        const double next = work[static_cast<std::size_t>(h)] * static_cast<double>(h) * static_cast<double>(h - 1) /
                            (4.0 * static_cast<double>(r + 1) * static_cast<double>(c + 1));
        work[static_cast<std::size_t>(h - 2)] = next;
        sum += next;
    }
    for (long long h = mid, r = (rare - mid) / 2, c = n - mid - r; h <= rare - 2; h += 2, --r, --c) {
        const double next = work[static_cast<std::size_t>(h)] * 4.0 * static_cast<double>(r) * static_cast<double>(c) /
                            (static_cast<double>(h + 2) * static_cast<double>(h + 1));
        work[static_cast<std::size_t>(h + 2)] = next;
        sum += next;
    }
    const double observed = work[static_cast<std::size_t>(het)] * (1 + 1e-12);
    double tail = 0;
    for (long long h = rare & 1; h <= rare; h += 2)
        if (work[static_cast<std::size_t>(h)] <= observed) tail += work[static_cast<std::size_t>(h)];
    return std::min(1.0, tail / sum);
}
