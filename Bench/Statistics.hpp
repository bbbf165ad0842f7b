// What every benchmark takes from its rounds, and how it reads a project's shape from its options.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

namespace Bench {

// The middle value, or the mean of the two middle ones; 0 of none.
inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Reads "N:M", two whole numbers above zero (elements and owned values per element).
inline bool ParseShape(const std::string& text, std::size_t& elements, std::size_t& values)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos)
        return false;
    char* end = nullptr;
    elements = std::strtoull(text.c_str(), &end, 10);
    if (end != text.c_str() + colon || elements == 0)
        return false;
    values = std::strtoull(text.c_str() + colon + 1, &end, 10);
    return *end == '\0' && values > 0;
}

}  // namespace Bench
