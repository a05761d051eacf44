#!/usr/bin/env python3
"""Plants faults one at a time and tells which of them the test suite catches.

Each line of faults.txt is one fault: "id | file | old text | new text", the
texts with "\\n" for a line break. For every fault the script checks that the
old text occurs exactly once, plants the fault, builds the build folder
(default build-faults, configured on first use), runs ctest (a fault is caught
when a test fails or the build breaks) and puts the file back.

Usage: tests/faults/plant.py [--sanitize] [--build DIR] [--only ID,ID] [--ctest-args "..."] [--lock FILE]
                             [--unit-first]
With --sanitize the build is the AddressSanitizer/UBSan one (clang), where
./build.sh test runs the tests; a leak is caught only there. With --lock each
build and test run holds that file's lock (flock), so that runs sharing a
machine take turns. With --unit-first the unit tests run first, and the
others only when they all pass.
Run it by hand; it is not part of ./build.sh test.
"""

import argparse
import os
import pathlib
import subprocess

TOP = pathlib.Path(__file__).resolve().parents[2]


def run(command, cwd=TOP, env=None):
    return subprocess.run(command, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sanitize", action="store_true")
    parser.add_argument("--build", default="")
    parser.add_argument("--only", default="")
    parser.add_argument("--ctest-args", default="-j2 --timeout 120")
    parser.add_argument("--lock", default="")
    parser.add_argument("--unit-first", action="store_true")
    options = parser.parse_args()
    locked = ["flock", options.lock] if options.lock else []
    build = TOP / (options.build or ("build-faults-san" if options.sanitize else "build-faults"))
    env = dict(os.environ)
    configure = ["cmake", "-S", str(TOP), "-B", str(build), "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DSVNSCC_TESTS=ON"]
    if options.sanitize:
        env.update(CC="clang", CXX="clang++", ASAN_OPTIONS="detect_leaks=1",
                   LSAN_OPTIONS="suppressions=%s:print_suppressions=0" % (TOP / "tests" / "lsan.supp"))
        configure.append("-DSVNSCC_SANITIZE=address,undefined")
    if not (build / "CMakeCache.txt").exists():
        subprocess.run(configure, cwd=TOP, env=env, check=True)
    wanted = set(filter(None, options.only.split(",")))
    results = []
    for line in (TOP / "tests" / "faults" / "faults.txt").read_text().splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        fault_id, file, old, new = (part.replace("\\n", "\n") for part in line.split(" | "))
        if wanted and fault_id not in wanted:
            continue
        path = TOP / file
        original = path.read_text()
        if original.count(old) != 1:
            results.append((fault_id, "NOT PLANTED (text found %d times)" % original.count(old)))
            continue
        try:
            path.write_text(original.replace(old, new))
            if run(locked + ["cmake", "--build", str(build), "-j2"]).returncode != 0:
                verdict = "caught (build)"
            else:
                # The unit tests first: they take seconds and catch most faults.
                stages = [["-L", "unit"], ["-LE", "unit"]] if options.unit_first else [[]]
                for stage in stages:
                    tested = run(locked + ["ctest"] + stage + options.ctest_args.split(), cwd=build, env=env)
                    if tested.returncode != 0:
                        break
                failed = [l.split(" - ", 1)[1].split(" (")[0] for l in tested.stdout.splitlines()
                          if l.strip()[:1].isdigit() and " - " in l]
                verdict = ("caught by " + ", ".join(failed[:3]) + (" ..." if len(failed) > 3 else "")
                           if tested.returncode != 0 else "MISSED")
        finally:
            path.write_text(original)
        results.append((fault_id, verdict))
        print("%-28s %s" % results[-1], flush=True)
    run(["cmake", "--build", str(build), "-j2"])
    print("\n%d of %d planted faults caught" % (sum(v.startswith("caught") for _, v in results), len(results)))
    for fault_id, verdict in results:
        if not verdict.startswith("caught"):
            print("%-28s %s" % (fault_id, verdict))


if __name__ == "__main__":
    main()
