#include "model/analysis/CurveDecimation.h"

void decimateMinMax(const double* values, std::size_t n, std::size_t buckets, std::vector<double>& x,
                    std::vector<double>& y) {
    x.clear();
    y.clear();
    if (values == nullptr || n == 0)
        return;
    if (buckets == 0 || n <= 2 * buckets) {
        x.reserve(n);
        y.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
            x.push_back(static_cast<double>(i));
            y.push_back(values[i]);
        }
        return;
    }
    x.reserve(2 * buckets);
    y.reserve(2 * buckets);
    for (std::size_t b = 0; b < buckets; ++b) {
        // Bucket b covers [n b / buckets, n (b + 1) / buckets): every point once, none empty as n > buckets.
        const std::size_t from = n / buckets * b + n % buckets * b / buckets;
        const std::size_t to = n / buckets * (b + 1) + n % buckets * (b + 1) / buckets;
        std::size_t lo = from;
        std::size_t hi = from;
        for (std::size_t i = from + 1; i < to; ++i) {
            if (values[i] < values[lo])
                lo = i;
            if (values[i] > values[hi])
                hi = i;
        }
        const std::size_t firstIndex = lo < hi ? lo : hi;
        const std::size_t secondIndex = lo < hi ? hi : lo;
        x.push_back(static_cast<double>(firstIndex));
        y.push_back(values[firstIndex]);
        if (secondIndex != firstIndex) {
            x.push_back(static_cast<double>(secondIndex));
            y.push_back(values[secondIndex]);
        }
    }
}
