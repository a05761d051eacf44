#include "BenchSummary.h"

#include <algorithm>
#include <cstdio>

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

void print()
{
    std::printf("\n%-46s %14s %-12s %-10s %s\n", "Figure", "Value", "Unit", "Target", "Detail");
    std::printf("%s\n", std::string(120, '-').c_str());
    for (const Row& row : rows())
        std::printf("%-46s %14.3f %-12s %-10s %s\n", row.name.c_str(), row.value, row.unit.c_str(),
                    row.target.c_str(), row.detail.c_str());
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
