#!/usr/bin/env bash
# Installs the build tree BUILD into a scratch prefix, builds the consumer
# project against it (found through find_package(SvnScc) alone, from a copy
# outside the source tree) and runs it against a file:// repository. With
# CXXFLAGS the consumer is built with them (a sanitizer build's plug-in
# needs its runtime in the program). With --package the Debian package is
# built too and its dependencies checked.
# Usage: tests/consumer/run.sh BUILD [CXXFLAGS] [--package]
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD [CXXFLAGS] [--package]}" && pwd)
flags=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/svnscc-consumer.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
mkdir "$scratch/source"
cp "$here/CMakeLists.txt" "$here/main.cpp" "$scratch/source/"
cmake -S "$scratch/source" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$scratch/prefix" \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
# Nothing of the source tree is used: the header and the plug-in come from the prefix.
source_tree=$(cd "$here/../.." && pwd)
if grep -rq "$source_tree" "$scratch/consumer/CMakeCache.txt" "$scratch/consumer/CMakeFiles/consumer.dir"; then
    echo "the consumer's build refers to the source tree $source_tree"
    exit 1
fi
svnadmin create "$scratch/repository"
HOME="$scratch" "$scratch/consumer/consumer" "file://$scratch/repository"
# pkg-config gives the installed plug-in by a plain absolute path.
plugin=$(PKG_CONFIG_PATH=$(dirname "$(find "$scratch/prefix" -name svnscc.pc)") pkg-config --variable=plugin svnscc)
if [ "$plugin" != "$(realpath -s "$scratch/prefix")"/lib/*/svnscc/libsvnscc.so ] || [ ! -f "$plugin" ]; then
    echo "pkg-config gives the plug-in as $plugin"
    exit 1
fi

if [ "${3:-}" = "--package" ]; then
    (cd "$build" && cpack -G DEB -B "$scratch/package" >/dev/null)
    depends=$(dpkg-deb -f "$scratch/package"/svnscc_*.deb Depends)
    echo "package depends on: $depends"
    for needed in libqt6core6 subversion; do
        case "$depends" in *"$needed"*) ;; *) echo "the package does not depend on $needed"; exit 1 ;; esac
    done
    contents=$(dpkg-deb -c "$scratch/package"/svnscc_*.deb)
    grep -q './usr/lib/.*/svnscc/libsvnscc.so' <<<"$contents"
    grep -q './usr/lib/.*/libsvnscc-utilities.so' <<<"$contents"
    pc=$(dpkg-deb --fsys-tarfile "$scratch/package"/svnscc_*.deb | tar -xO --wildcards '*/svnscc.pc')
    grep -qx 'prefix=/usr' <<<"$pc"
fi
