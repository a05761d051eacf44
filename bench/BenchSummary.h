#pragma once

#include <string>
#include <vector>

/**
 * The closing table of a benchmark run: one row per figure, filled by the
 * benchmarks as they finish (a later repetition replaces the row of the same
 * name) and printed once after all of them.
 */
namespace BenchSummary {

/**
 * Records figure `name` with its `value` in `unit`, the `target` it is held
 * to (empty when there is none) and a short `detail` (the compared values).
 */
void record(const std::string& name, double value, const std::string& unit,
            const std::string& target = std::string(), const std::string& detail = std::string());

/** Prints every recorded row, in the order first recorded, to standard output. */
void print();

/** The median of `values` (0 for none). */
double median(std::vector<double> values);

/**
 * Runs `first` then `second`, or the other way round on every other call
 * (counted in `turn`), so that neither always runs in the other's wake.
 */
template <typename First, typename Second>
void inTurn(int& turn, First&& first, Second&& second)
{
    if (turn++ % 2) {
        second();
        first();
    } else {
        first();
        second();
    }
}

} // namespace BenchSummary
