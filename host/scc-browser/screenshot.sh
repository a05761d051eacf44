#!/bin/sh
# Renders scc-browser's window on a small throwaway project to two PNGs:
# the window as it opens (scc-browser.png) and with the project's history
# in the Log tab (scc-browser-log.png).
#
#   host/scc-browser/screenshot.sh [BUILD_DIR] [OUTPUT_DIR]
#
# BUILD_DIR is the build tree holding host/scc-browser and the plug-in
# (default: build in the source tree); OUTPUT_DIR defaults to docs in the
# source tree. Needs svn and svnadmin; no display
# (the offscreen platform draws the window). The repository is made with
# svnadmin and reached by a file:// URL; it, both working copies and the HOME
# of every svn run live in a temporary directory removed at the end.
set -eu

source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=${1:-$source_dir/build}
output_dir=${2:-$source_dir/docs}
browser=$build_dir/host/scc-browser
if [ ! -x "$browser" ]; then
    echo "screenshot.sh: $browser is not built" >&2
    exit 1
fi
mkdir -p "$output_dir"

base=$(mktemp -d "${TMPDIR:-/tmp}/scc-browser-demo-XXXXXX")
trap 'rm -rf "$base"' EXIT
trap 'exit 1' INT TERM
# The client's configuration and cached credentials stay out of the user's HOME.
export HOME="$base/home"
mkdir -p "$HOME"
export LC_ALL=C.UTF-8

# run_svn USER ARGUMENTS...: one svn run as USER (the author over file://).
run_svn() {
    user=$1
    shift
    svn --non-interactive --quiet --username "$user" "$@"
}
url="file://$base/repository"
svnadmin create "$base/repository"

# The project as first imported.
import=$base/import/project
mkdir -p "$import/src/lib" "$import/docs" "$import/tests"
printf 'A small calculator.\n' > "$import/README.md"
printf 'cmake_minimum_required(VERSION 3.25)\nproject(calc C)\n' > "$import/CMakeLists.txt"
printf 'int main(void)\n{\n    return 0;\n}\n' > "$import/src/main.c"
printf '#include "parser.h"\n' > "$import/src/parser.c"
printf 'int parse(const char* text);\n' > "$import/src/parser.h"
printf 'int clamp(int value);\n' > "$import/src/lib/util.h"
printf '#include "util.h"\n' > "$import/src/lib/util.c"
printf 'Using the calculator.\n' > "$import/docs/guide.md"
printf '1.0: first release.\n' > "$import/docs/changes.txt"
printf '#include "../src/parser.h"\n' > "$import/tests/test_parser.c"
run_svn ann import -m "Initial import" "$base/import" "$url"

root=$base/work/project
run_svn ann checkout "$url/project" "$root"
run_svn bob checkout "$url/project" "$base/other"

# Ann's earlier work, in the history.
printf '#include "parser.h"\n\n/* Blanks between operands are skipped. */\n' > "$root/src/parser.c"
printf 'int parse(const char* text);\nint parseAll(const char** texts);\n' > "$root/src/parser.h"
run_svn ann commit -m "Parser: skip blanks between operands

parseAll() reads several expressions in one call." "$root"
printf '1.0: first release.\n1.1: blanks allowed.\n' > "$root/docs/changes.txt"
run_svn ann commit -m "Change log for 1.1" "$root"
run_svn bob update "$base/other"

# Bob commits newer texts (out of date here) and locks the change log.
printf 'cmake_minimum_required(VERSION 3.25)\nproject(calc C)\nenable_testing()\n' > "$base/other/CMakeLists.txt"
printf '#include "util.h"\n\nint clamp(int value) { return value; }\n' > "$base/other/src/lib/util.c"
run_svn bob commit -m "Build: enable the tests; clamp() in util.c" "$base/other"
run_svn bob lock -m "Bob edits the change log" "$base/other/docs/changes.txt"

# Ann edits two files, locks one for editing and makes a file of her own.
printf 'int main(void)\n{\n    return parse("1+1");\n}\n' > "$root/src/main.c"
printf 'Using the calculator.\n\nStart it with no arguments.\n' > "$root/docs/guide.md"
run_svn ann lock -m "Ann reworks the parser" "$root/src/parser.c"
printf 'To do: division by zero.\n' > "$root/notes.txt"

printf 'ann\n' > "$base/password"
browse() {
    QT_QPA_PLATFORM=offscreen "$browser" --url "$url" --root "$root" --user ann \
        --password-file "$base/password" --locking yes "$@"
}
browse --screenshot "$output_dir/scc-browser.png"
browse --log . --screenshot "$output_dir/scc-browser-log.png"
echo "screenshot.sh: wrote $output_dir/scc-browser.png and $output_dir/scc-browser-log.png"
