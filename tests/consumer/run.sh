#!/usr/bin/env bash
# The installed files and the Debian packages as an IDE developer meets them.
# Usage: tests/consumer/run.sh BUILD [CXXFLAGS] [--package]
#
# Installs the build tree BUILD, mounted read-only where the machine allows
# it, into a scratch prefix (not the one it was configured for). With
# --package, makes the Debian packages too (cpack -G DEB), runs lintian on
# each (no error, no warning), unpacks them all into a scratch root
# (dpkg -x), and checks that nothing in svnscc-plugin needs Qt Gui, Widgets
# or Core5Compat. Then builds
# the consumers (tests/consumer/CMakeLists.txt, from a copy outside the
# source tree, with the README's session program) against the packages'
# root, or the prefix without --package, with CXXFLAGS when given (a
# sanitizer build's plug-in needs its runtime in the program), and runs
# them on a file:// repository: the README's program must print what
# "svn status -v" prints of a working copy there, also after the installed
# tree was moved elsewhere, and commit a file.
#
# Without CXXFLAGS (a plain build), it checks the API as installed:
#  - the installed headers are the public ones below, and compile together;
#  - every symbol a library of ours (libsvnscc-*.so) exports belongs to a
#    class or function that an installed header declares;
#  - every ```c++ block of README.md compiles against the installed headers
#    with the installed pkg-config files' flags: each block is one file,
#    after an #include of the interface header (so a block of bare
#    declarations compiles too), and all of them are linked into one shared
#    object with --no-undefined and the libraries pkg-config names.
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD [CXXFLAGS] [--package]}" && pwd)
flags=${2:-}
package=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
source_tree=$(cd "$here/../.." && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/svnscc-consumer.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() { echo "$*"; exit 1; }

# The packages, and the public headers: what libsvnscc-dev ships in /usr/include/svnscc.
packages="svnscc-plugin libsvnscc-utilities1 libsvnscc-session1 libsvnscc-dev svnscc-tools"
public_headers="EightBit.h FindOptions.h Path.h QCustomMenuItem.h QTxBoldMenuItem.h QTxCheckedFile.h
QTxCompression.h QTxDates.h QTxDirectories.h QTxDynamicLoading.h QTxEthernet.h QTxFiles.h QTxProcess.h
QTxProcessEnvironment.h QTxSearch.h QTxServices.h PluginLoader.h Session.h SessionTypes.h StatusColumns.h
SourceCodeControlSystemProviderInterface.h SourceCodeControlSystemProviderInterface2.h
SourceCodeControlSystemProviderInterface3.h SourceCodeControlSystemProviderInterface4.h
svnscc_session_export.h svnscc_utilities_export.h svnscc_version.h"

# From a read-only build tree where this machine lets the test mount one (a
# mount namespace of its own): installing must write nothing there but the
# manifest CMake itself keeps in it, which stays writable.
touch "$build/install_manifest.txt"
: >"$scratch/manifest"
read_only_install='mount --bind "$1" "$1" && mount -o remount,bind,ro "$1" &&
    mount --bind "$3" "$1/install_manifest.txt" || exit 77
    exec cmake --install "$1" --prefix "$2"'
as_root=-m
[ "$(id -u)" -eq 0 ] || as_root=-rm
install_status=0
install_log=$(unshare "$as_root" sh -c "$read_only_install" sh "$build" "$scratch/prefix" "$scratch/manifest" 2>&1) ||
    install_status=$?
if [ "$install_status" -eq 77 ] || [[ "$install_log" == unshare:* ]]; then
    echo "this machine lets the test mount no read-only build tree: installing from the writable one"
    install_status=0
    install_log=$(cmake --install "$build" --prefix "$scratch/prefix" 2>&1) || install_status=$?
fi
[ "$install_status" -eq 0 ] || fail "installing failed:"$'\n'"$install_log"
root="$scratch/prefix"

if [ "$package" = "--package" ]; then
    cpack_log=$(cd "$build" && cpack -G DEB -B "$scratch/packages" 2>&1) || fail "cpack failed: $cpack_log"
    debs=()
    for name in $packages; do
        debs+=("$(echo "$scratch/packages/${name}"_*.deb)")
        [ -f "${debs[-1]}" ] || fail "cpack made no package $name"
        dpkg -x "${debs[-1]}" "$scratch/root"
    done
    # (lintian also says that it runs as root, which is not about the packages.)
    report=$(lintian --fail-on error,warning "${debs[@]}" 2>&1) ||
        fail "lintian:"$'\n'"$(grep -v 'root privileges' <<<"$report")"
    root="$scratch/root/usr"
    plugin_deb=$(echo "$scratch/packages"/svnscc-plugin_*.deb)
    depends=$(dpkg-deb -f "$plugin_deb" Depends)
    echo "svnscc-plugin depends on: $depends"
    case "$depends" in *libqt6core6*subversion*|*subversion*libqt6core6*) ;; *) fail "svnscc-plugin lacks Qt Core or subversion" ;; esac
    case "$depends" in *libqt6gui*|*libqt6widgets*|*libqt6core5compat*|*libsvnscc*) fail "svnscc-plugin depends on Qt's GUI or the utility library" ;; esac
    dpkg -x "$plugin_deb" "$scratch/plugin"
    while read -r file; do
        needed=$(readelf -d "$file" | grep NEEDED || true)
        if grep -Eq 'libQt6(Gui|Widgets|Core5Compat)|libsvnscc' <<<"$needed"; then
            fail "${file#"$scratch"/plugin} in svnscc-plugin needs:"$'\n'"$needed"
        fi
    done < <(find "$scratch/plugin" -type f -name '*.so*')
    grep -qx './usr/lib/.*/svnscc/libsvnscc.so' <(dpkg-deb -c "$plugin_deb" | awk '{print $6}') ||
        fail "svnscc-plugin does not hold the plug-in"
    # ssh's askpass program lies beside the plug-in, which finds it there, and needs no Qt at all.
    askpass=$(find "$scratch/plugin" -path '*/svnscc/svnscc-askpass' -type f -perm -u+x)
    [ -n "$askpass" ] || fail "svnscc-plugin does not hold svnscc-askpass beside the plug-in"
    if readelf -d "$askpass" | grep -E 'NEEDED.*(libQt6|libsvnscc)'; then
        fail "svnscc-askpass needs Qt or a library of ours"
    fi
    for pc in svnscc svnscc-utilities svnscc-session; do
        grep -qx 'prefix=/usr' "$(find "$root" -name $pc.pc)" || fail "$pc.pc in libsvnscc-dev is not for /usr"
    done
fi

# The consumers, found through find_package(SvnScc) alone, and the README's
# session program (its one C++ example with a main()).
mkdir "$scratch/source"
cp "$here/CMakeLists.txt" "$here/main.cpp" "$scratch/source/"
awk '/^```c\+\+$/ { block = ""; inside = 1; next }
     /^```/ { if (inside && block ~ /int main\(/) printf "%s", block; inside = 0; next }
     inside { block = block $0 "\n" }' "$source_tree/README.md" > "$scratch/source/session-example.cpp"
grep -q 'int main(' "$scratch/source/session-example.cpp" || fail "README.md has no session program"
cmake -S "$scratch/source" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$root" \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
# Nothing of the source tree is used: the headers and the plug-in come from the installed files.
if grep -rq "$source_tree" "$scratch/consumer/CMakeCache.txt" "$scratch/consumer/CMakeFiles"/*consumer.dir; then
    fail "the consumers' build refers to the source tree $source_tree"
fi
if readelf -d "$scratch/consumer/plugin-consumer" | grep -E 'NEEDED.*(libQt6Gui|libQt6Widgets|libsvnscc)'; then
    fail "a host of the plug-in alone needs more than Qt Core"
fi
svnadmin create "$scratch/repository"
HOME="$scratch" "$scratch/consumer/plugin-consumer" "file://$scratch/repository"
HOME="$scratch" "$scratch/consumer/consumer" "file://$scratch/repository"

# The README's program on a working copy with every kind of item svn status
# -v lists (modified, unversioned, missing, a folder) and some it leaves out
# (ignored, inside an unversioned folder).
wc="$scratch/wc"
client() { HOME="$scratch" svn --non-interactive --quiet "$@"; }
client checkout "file://$scratch/repository" "$wc"
mkdir "$wc/src" && echo a > "$wc/a.txt" && echo b > "$wc/src/b.txt" && echo c > "$wc/src/c.txt"
client add "$wc/a.txt" "$wc/src"
client propset svn:ignore build "$wc"
client commit -m import "$wc"
echo edit >> "$wc/a.txt"; echo new > "$wc/new.txt"; rm "$wc/src/c.txt"
mkdir "$wc/build" "$wc/gen" && touch "$wc/build/x.o" "$wc/gen/y.c"
expected=$(cd "$wc" && HOME="$scratch" svn status -v | awk '{ print substr($0, 1, 7) " " $NF }' | sort)
example() { HOME="$scratch" "$scratch/consumer/session-example" "$@"; }
printed=$(example "$wc" | sort) || fail "the README's session program failed"
[ "$printed" = "$expected" ] ||
    fail "the README's session program printed"$'\n'"$printed"$'\n'"where svn status -v lists"$'\n'"$expected"
# The installed tree elsewhere: the session finds the plug-in beside itself.
mv "$root" "$scratch/moved"
moved=$(LD_LIBRARY_PATH=$(dirname "$(find "$scratch/moved" -name 'libsvnscc-session.so.1')") example "$wc" | sort) ||
    fail "the README's session program failed from a moved installation"
mv "$scratch/moved" "$root"
[ "$moved" = "$expected" ] || fail "from a moved installation the README's session program printed"$'\n'"$moved"
example "$wc" a.txt >/dev/null || fail "the README's session program did not commit a.txt"
[ -z "$(cd "$wc" && HOME="$scratch" svn status a.txt)" ] || fail "a.txt is not committed"
echo "README: the session program prints what svn status -v lists and commits"
# pkg-config gives the installed plug-in, headers and libraries by plain
# absolute paths in the prefix installed into (not the configured one).
export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(dirname "$(find "$scratch/prefix" -name svnscc.pc)")
prefix=$(realpath -s "$scratch/prefix")
plugin=$(pkg-config --variable=plugin svnscc)
if [ "$plugin" != "$prefix"/lib/*/svnscc/libsvnscc.so ] || [ ! -f "$plugin" ]; then
    fail "pkg-config gives the plug-in as $plugin"
fi
interface_flags=" $(pkg-config --cflags svnscc) "
[[ "$interface_flags" == *" -I$prefix/include "* ]] || fail "pkg-config gives the interface's flags as$interface_flags"
session_flags=" $(pkg-config --cflags --libs svnscc-session) "
[[ "$session_flags" == *" -I$prefix/include "* && "$session_flags" == *" -L$(dirname "$(dirname "$plugin")") "* ]] ||
    fail "pkg-config gives the session's flags as$session_flags"
[ -n "$flags" ] && exit 0

# The installed headers: the public ones, and together they compile.
include="$root/include/svnscc"
installed=$(cd "$include" && ls)
[ "$installed" = "$(tr ' ' '\n' <<<"$public_headers" | grep . | sort)" ] ||
    fail "installed headers differ from the public ones:"$'\n'"$(diff <(tr ' ' '\n' <<<"$public_headers" | grep . | sort) <(echo "$installed"))"
mkdir "$scratch/api"
for header in $installed; do echo "#include <svnscc/$header>"; done > "$scratch/api/headers.cpp"

# Every exported symbol belongs to a class or function an installed header
# declares (a class defined there, not just named; a function followed by
# its parameters), after the namespaces those headers open. The linker's
# own markers are in every library.
namespaces=$(grep -ho '^namespace [A-Za-z_]*' "$include"/*.h | cut -d' ' -f2 | sort -u | paste -sd'|')
for library in "$root"/lib/*/libsvnscc-*.so; do
    while IFS= read -r owner; do
        grep -Eq "^(class|struct) ([A-Z_]+ )?$owner( :.*)?\$|[ *&]$owner\(" "$include"/*.h ||
            fail "$(basename "$library") exports $owner, which no installed header declares:"$'\n'"$(
                nm -DC --defined-only "$library" | grep -F "$owner")"
    done < <(nm -DC --defined-only "$library" | cut -d' ' -f3- | grep -vx '__bss_start\|_edata\|_end' |
        sed -E 's/^(typeinfo name for|typeinfo for|vtable for) //; s/\(.*//; s/^(('"$namespaces"')::)+//; s/::.*//' | sort -u)
done

# The README's C++ examples.
awk -v dir="$scratch/api" '
    /^```c\+\+$/ { n++; file = dir "/readme" n ".cpp"; print "#include <svnscc/SourceCodeControlSystemProviderInterface.h>" > file; next }
    /^```/ { file = ""; next }
    file != "" { print > file }' "$source_tree/README.md"
ls "$scratch/api"/readme*.cpp >/dev/null 2>&1 || fail "README.md has no C++ example"
read -r -a cflags <<<"-I$root/include $(pkg-config --cflags svnscc svnscc-utilities svnscc-session Qt6Widgets)"
read -r -a libs <<<"$(pkg-config --libs svnscc-utilities svnscc-session Qt6Widgets)"
objects=()
for source in "$scratch/api"/*.cpp; do
    c++ -std=c++17 -fPIC -Wall -Wextra -Werror -DQT_NO_CAST_FROM_ASCII "-DSVNSCC_PLUGIN=\"$plugin\"" \
        "${cflags[@]}" -c "$source" -o "${source%.cpp}.o" || fail "$(basename "$source") does not compile"
    objects+=("${source%.cpp}.o")
done
c++ -shared -Wl,--no-undefined "${objects[@]}" "${libs[@]}" -o "$scratch/api/libexamples.so" ||
    fail "the README's examples do not link with the libraries pkg-config names"
echo "README: $(ls "$scratch/api"/readme*.cpp | wc -l) C++ examples compile"
