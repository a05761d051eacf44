#pragma once

#include <cstring>
#include <map>
#include <string>

/**
 * The ways the benchmark program runs as a child of itself, each chosen by
 * its first argument ("--watch-budget ..."): a figure that needs a process
 * of its own (a lowered limit, a small address space) registers one, and
 * main() runs it instead of the benchmarks.
 */
namespace BenchChildren {

using Main = int (*)(int argc, char** argv);

inline std::map<std::string, Main>& modes()
{
    static std::map<std::string, Main> all;
    return all;
}

/** Registers `main` for the first argument `flag`; gives 1, for a constant at namespace scope. */
inline int add(const char* flag, Main main)
{
    modes()[flag] = main;
    return 1;
}

/** The mode registered for `flag`, or null. */
inline Main find(const char* flag)
{
    const auto mode = modes().find(flag);
    return mode == modes().end() ? nullptr : mode->second;
}

} // namespace BenchChildren
