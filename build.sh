#!/usr/bin/env bash
# Set-up, build and run. Usage: ./build.sh demo | test | unit | tsan | bench | fuzz | screenshot | docs
#   demo   install what the demo needs, build the plug-in and scc-host in
#          build-demo/, run the host program's demo
#   test   install what is missing, build as shipped in build-shipped/ (clang)
#          and check what is installed and packaged from it; build everything in build-san/
#          under AddressSanitizer and UndefinedBehaviorSanitizer and run every
#          test there, plus a short fuzz run
#   unit   install what is missing, build in build/ with the tests (g++) and
#          run the unit tests alone (under a minute on an up-to-date build):
#          the edit-compile-test loop
#   tsan   install, build with ThreadSanitizer (clang) in build-tsan/ and run the
#          unit tests (cancel from another thread, two providers on two
#          threads, the spawning layer's stop and time limit, the session's
#          threads)
#   bench  install, build the benchmarks in release mode and run them
#   screenshot  install, build the plug-in and scc-browser in build-screenshot/,
#          and render scc-browser's window on a throwaway project to
#          docs/scc-browser.png, and with the project's history to
#          docs/scc-browser-log.png
#   fuzz   install, build the libFuzzer targets and run each one for longer:
#          FUZZ_RUNS runs (default 10,000,000) or FUZZ_SECONDS seconds per
#          target (default: no time limit), whichever ends first
#   docs   install Doxygen, make the API documentation of the installed
#          headers in build-docs/html (a header Doxygen warns about fails it)
set -euo pipefail
cd "$(dirname "$0")"
top=$(pwd)
mode=${1:-}
jobs=$(nproc 2>/dev/null || echo 2)

# What building the plug-in and scc-host, and running the demo, need.
demo_packages=(cmake make g++ qt6-base-dev libsqlite3-dev subversion)
# Everything else: the utility layer, the tests, their servers, the sanitizer
# and fuzz builds (with clang's runtime: install_all), the package checks.
packages=("${demo_packages[@]}" qt6-5compat-dev libgtest-dev googletest libbenchmark-dev clang
          strace apache2 apache2-utils libapache2-mod-svn openssl openssh-server dpkg-dev file
          pkgconf binutils lintian lld)
# The API documentation: what configuring the whole tree needs, and Doxygen.
docs_packages=("${demo_packages[@]}" qt6-5compat-dev doxygen)

install_missing() { # packages...
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "== installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
    fi
}

# The sanitizer and fuzzer runtime of the clang++ that is installed: it
# comes in a package named after clang's major version (libclang-rt-14-dev
# on Debian 12, libclang-rt-19-dev on Debian 13).
clang_runtime() {
    local version
    version=$(clang++ -dumpversion)
    echo "libclang-rt-${version%%.*}-dev"
}

# Everything but the demo's needs: the packages, then clang's runtime.
install_all() {
    install_missing "${packages[@]}"
    install_missing "$(clang_runtime)"
}

# The unit loop's build: optimised as shipped, without debug information,
# which only slows its compile and link, and the test files' shared headers
# precompiled.
test_flags=(-DSVNSCC_TESTS=ON -DSVNSCC_WERROR=ON -DSVNSCC_PCH=ON "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG")

configure_and_build() { # dir, extra cmake args...
    local dir=$1; shift
    cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j"$jobs"
}

case "$mode" in
demo)
    install_missing "${demo_packages[@]}"
    configure_and_build build-demo -DSVNSCC_TESTS=OFF -DSVNSCC_BROWSER=OFF -DSVNSCC_UTILITIES=OFF
    exec build-demo/host/scc-host --plugin build-demo/libsvnscc.so demo
    ;;
test)
    install_all
    # The build as shipped (optimised, warnings fail it) and what is installed
    # and packaged from it: the installed files, the Debian packages,
    # lintian, the consumers and the README's examples. clang with the
    # targets' shared headers precompiled and LLVM's linker builds it in less
    # than half of g++'s time (g++ builds it in the unit loop and the demo).
    # The check is mostly single-threaded (cpack, lintian, one compile at a
    # time), so it goes beside the sanitizer build; its report follows the
    # tests'.
    CC=clang CXX=clang++ configure_and_build build-shipped -DSVNSCC_TESTS=OFF -DSVNSCC_WERROR=ON \
        -DSVNSCC_PCH=ON "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" \
        -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld
    package_log=$(mktemp)
    "$top/tests/consumer/run.sh" build-shipped "" --package >"$package_log" 2>&1 &
    package=$!
    echo "== sanitizer build (address, undefined), ${SECONDS} s in"
    # Every test is built and run once, here, under AddressSanitizer and
    # UndefinedBehaviorSanitizer. Line tables are all a sanitizer's report
    # needs (file and line of each frame); full debug information only slows
    # the compile and the link. LLVM's linker links a test binary in a third
    # of the time GNU ld takes.
    CC=clang CXX=clang++ configure_and_build build-san -DSVNSCC_TESTS=ON -DSVNSCC_WERROR=ON \
        -DSVNSCC_SANITIZE=address,undefined -DSVNSCC_FUZZ=ON -DSVNSCC_PCH=ON \
        "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -gline-tables-only -DNDEBUG" \
        -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld
    package_status=0
    wait "$package" || package_status=$?
    # The short fuzz run (one core's work) goes beside the tests, which
    # mostly wait on clients and servers; its report follows theirs.
    fuzz_log=$(mktemp)
    "$top/tests/fuzz/run.sh" build-san/tests/fuzz 20000 >"$fuzz_log" 2>&1 &
    fuzz=$!
    tests_status=0
    echo "== tests, ${SECONDS} s in"
    # Most tests wait on a client or a server: twice as many as there are
    # cores keep the machine busy. The package test is the check above, made
    # on the shipped build; here it would package the sanitizer's binaries.
    (cd build-san && ASAN_OPTIONS=detect_leaks=1 \
        LSAN_OPTIONS=suppressions=$top/tests/lsan.supp:print_suppressions=0 \
        ctest --output-on-failure --no-tests=error -j"$((2 * jobs))" \
        -E '^Package\.InstalledFilesAndDebianPackages$') || tests_status=$?
    fuzz_status=0
    wait "$fuzz" || fuzz_status=$?
    echo "== the shipped build's installed files and packages"
    cat "$package_log"
    cat "$fuzz_log"
    rm -f "$package_log" "$fuzz_log"
    echo "== done in ${SECONDS} s"
    [ "$tests_status" -eq 0 ] && [ "$package_status" -eq 0 ] && [ "$fuzz_status" -eq 0 ]
    ;;
unit)
    install_all
    configure_and_build build "${test_flags[@]}"
    (cd build && ctest --output-on-failure --no-tests=error -j"$((2 * jobs))" -L unit)
    ;;
tsan)
    install_all
    # The unit tests: the provider's cancel and two providers on two threads
    # against the stand-in client, the spawning layer's stop and time limit,
    # the session's worker, cancel during destruction and its signals.
    # (The end-to-end tests start their servers and tools with QProcess,
    # whose clone-based start ThreadSanitizer's runtime does not support.)
    CC=clang CXX=clang++ configure_and_build build-tsan -DSVNSCC_TESTS=ON -DSVNSCC_WERROR=ON \
        -DSVNSCC_SANITIZE=thread
    (cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$top/tests/tsan.supp" \
        ctest --output-on-failure --no-tests=error -j"$jobs" -L unit)
    ;;
bench)
    install_all
    cmake -S "$top" -B build-bench -DCMAKE_BUILD_TYPE=Release -DSVNSCC_TESTS=OFF -DSVNSCC_BENCH=ON >/dev/null
    cmake --build build-bench -j"$jobs"
    build-bench/bench/svnscc_bench --benchmark_out=build-bench/bench.json --benchmark_out_format=json
    ;;
screenshot)
    install_missing "${demo_packages[@]}"
    cmake -S "$top" -B build-screenshot -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSVNSCC_TESTS=OFF \
        -DSVNSCC_UTILITIES=OFF >/dev/null
    cmake --build build-screenshot -j"$jobs" --target scc-browser svnscc
    exec "$top/host/scc-browser/screenshot.sh" build-screenshot "$top/docs"
    ;;
fuzz)
    install_all
    CC=clang CXX=clang++ configure_and_build build-fuzz \
        -DSVNSCC_SANITIZE=address,undefined -DSVNSCC_FUZZ=ON -DSVNSCC_TESTS=OFF
    "$top/tests/fuzz/run.sh" build-fuzz/tests/fuzz "${FUZZ_RUNS:-10000000}" "${FUZZ_SECONDS:-0}"
    ;;
docs)
    install_missing "${docs_packages[@]}"
    cmake -S "$top" -B build-docs -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSVNSCC_TESTS=OFF -DSVNSCC_DOCS=ON >/dev/null
    cmake --build build-docs --target docs
    echo "== API documentation: build-docs/html/index.html"
    ;;
*)
    echo "usage: $0 demo|test|unit|tsan|bench|fuzz|screenshot|docs" >&2
    exit 2
    ;;
esac
