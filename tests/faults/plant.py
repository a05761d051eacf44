#!/usr/bin/env python3
"""Plants faults one at a time and tells which of them the test suite catches.

Each fault in faults.txt names a file and a piece of its text to replace:

    id: what the mistake is
    file: path/from/the/top.cpp
    old: the text as it is (one line; \\n for a line break)
    new: the text with the mistake

Blocks are separated by blank lines. For every fault the script checks that
the old text occurs exactly once, plants the fault, builds the build folder
(default build-faults, configured on first use), runs ctest (a fault is
caught when a test fails or the build breaks) and puts the file back.

Usage: tests/faults/plant.py [--build DIR] [--only ID,ID] [--ctest-args "..."]
Run it by hand; it is not part of ./build.sh test.
"""

import argparse
import pathlib
import subprocess
import sys

TOP = pathlib.Path(__file__).resolve().parents[2]


def read_faults(path):
    faults = []
    for block in path.read_text().split("\n\n"):
        fields = {}
        for line in block.strip().splitlines():
            if line.startswith("#") or ":" not in line:
                continue
            key, value = line.split(":", 1)
            fields[key.strip()] = value[1:] if value.startswith(" ") else value
        if fields:
            for key in ("old", "new"):
                fields[key] = fields[key].replace("\\n", "\n")
            faults.append(fields)
    return faults


def run(command, **kwargs):
    return subprocess.run(command, cwd=kwargs.pop("cwd", TOP), stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, **kwargs)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build-faults")
    parser.add_argument("--only", default="")
    parser.add_argument("--ctest-args", default="-j2 --timeout 120")
    options = parser.parse_args()
    build = TOP / options.build
    if not (build / "CMakeCache.txt").exists():
        run(["cmake", "-S", str(TOP), "-B", str(build), "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
             "-DSVNSCC_TESTS=ON"], check=True)
    faults = read_faults(TOP / "tests" / "faults" / "faults.txt")
    wanted = set(filter(None, options.only.split(",")))
    caught = 0
    results = []
    for fault in faults:
        if wanted and fault["id"] not in wanted:
            continue
        path = TOP / fault["file"]
        original = path.read_text()
        if original.count(fault["old"]) != 1:
            results.append((fault["id"], "NOT PLANTED (text found %d times)" % original.count(fault["old"])))
            continue
        try:
            path.write_text(original.replace(fault["old"], fault["new"]))
            built = run(["cmake", "--build", str(build), "-j2"])
            if built.returncode != 0:
                verdict = "caught (build)"
            else:
                tested = run(["ctest"] + options.ctest_args.split(), cwd=build)
                failed = [line.split(" - ", 1)[1].split(" (")[0] for line in tested.stdout.splitlines()
                          if line.strip()[:1].isdigit() and " - " in line]
                verdict = "caught by " + ", ".join(failed[:3]) + (" ..." if len(failed) > 3 else "") \
                    if tested.returncode != 0 else "MISSED"
        finally:
            path.write_text(original)
        caught += verdict.startswith("caught")
        results.append((fault["id"], verdict))
        print("%-28s %s" % results[-1], flush=True)
    run(["cmake", "--build", str(build), "-j2"])
    print("\n%d of %d planted faults caught" % (caught, len(results)))
    for fault_id, verdict in results:
        if not verdict.startswith("caught"):
            print("%-28s %s" % (fault_id, verdict))
    return 0


if __name__ == "__main__":
    sys.exit(main())
