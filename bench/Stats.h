// The figures the benchmarks print from several runs.
#pragma once
#include <algorithm>
#include <vector>

namespace tallymere::bench {

// The median; 0 for no values.
inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace tallymere::bench
