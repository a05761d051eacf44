#include "BenchSummary.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

struct Row
{
    std::string name;
    double value;
    std::string unit;
    std::string target;
    std::string detail;
};

std::vector<Row>& rows()
{
    static std::vector<Row> all;
    return all;
}

} // namespace

namespace BenchSummary {

void record(const std::string& name, double value, const std::string& unit,
            const std::string& target, const std::string& detail)
{
    for (Row& row : rows()) {
        if (row.name == name) {
            row = {name, value, unit, target, detail};
            return;
        }
    }
    rows().push_back({name, value, unit, target, detail});
}

// "met" or "missed" for a target written "<= x" or ">= x"; empty without one.
std::string verdict(const Row& row)
{
    if (row.target.size() < 4)
        return std::string();
    const double bound = std::atof(row.target.c_str() + 3);
    const bool met = row.target.compare(0, 2, "<=") == 0 ? row.value <= bound : row.value >= bound;
    return met ? "met" : "missed";
}

void print()
{
    std::printf("\n%-64s %10s %-9s %-8s %-7s %s\n", "Figure", "Value", "Unit", "Target", "Verdict",
                "Detail");
    std::printf("%s\n", std::string(140, '-').c_str());
    for (const Row& row : rows())
        std::printf("%-64s %10.3f %-9s %-8s %-7s %s\n", row.name.c_str(), row.value, row.unit.c_str(),
                    row.target.c_str(), verdict(row).c_str(), row.detail.c_str());
    std::fflush(stdout);
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace BenchSummary
