#!/bin/bash
# Installs the suite from a built tree into a scratch prefix, packages it as a .deb, and
# runs somrun out of the unpacked package.
#
#     tests/package_test.sh BUILD_DIR
set -euo pipefail

if [ $# -ne 1 ] || [ ! -f "$1/CPackConfig.cmake" ]; then
    echo "usage: $0 BUILD_DIR (a configured and built tree)" >&2
    exit 2
fi
build=$(cd "$1" && pwd)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/som-package-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

programs="solidanim solidfit tessfour chainanim tessnine planeanim planeskew planegauss"

# A man page, compressed or not, as text.
man_text() {
    case "$1" in
        *.gz) gzip -dc "$1" ;;
        *) cat "$1" ;;
    esac
}

# The man page for NAME.SECTION under ROOT/share/man, whichever way it is stored.
find_man() {
    local root=$1 name=$2 section=$3 page
    for page in "$root/share/man/man$section/$name.$section.gz" "$root/share/man/man$section/$name.$section"; do
        if [ -e "$page" ]; then
            echo "$page"
            return 0
        fi
    done
    return 1
}

# The nine executables and both pages under ROOT (a prefix).
check_tree() {
    local root=$1 what=$2 program page
    for program in $programs somrun; do
        [ -f "$root/bin/$program" ] && [ -x "$root/bin/$program" ] ||
            fail "$what: bin/$program is missing or not executable"
    done
    if page=$(find_man "$root" somrun 1); then
        man_text "$page" | grep -q '^\.TH SOMRUN 1' || fail "$what: $page is not somrun(1)"
        # The usage the page quotes is the one somrun prints.
        local quoted printed
        quoted=$(man_text "$page" | sed -n '/^\.B somrun \\-\\-help$/,/^\.EE$/p' |
            sed '1,/^\.EX$/d; /^\.EE$/d; s/\\-/-/g')
        printed=$("$root/bin/somrun" --help) || fail "$what: somrun --help exited $?"
        [ -n "$quoted" ] || fail "$what: somrun(1) quotes no usage"
        [ "$quoted" = "$printed" ] ||
            fail "$what: somrun(1) quotes a usage other than somrun --help's:
$(diff <(printf '%s\n' "$quoted") <(printf '%s\n' "$printed") || true)"
    else
        fail "$what: no somrun.1 in share/man/man1"
    fi
    if page=$(find_man "$root" som-demos 6); then
        local text
        text=$(man_text "$page")
        grep -q '^\.TH SOM\\-DEMOS 6' <<<"$text" || fail "$what: $page is not som-demos(6)"
        for program in $programs; do
            grep -q "^\.B $program\$" <<<"$text" || fail "$what: som-demos(6) does not describe $program"
            # Each program's own name finds the same page.
            local own
            if own=$(find_man "$root" "$program" 6); then
                cmp -s <(man_text "$own") <(printf '%s\n' "$text") || fail "$what: $own is not som-demos(6)"
            else
                fail "$what: no $program.6 in share/man/man6"
            fi
        done
    else
        fail "$what: no som-demos.6 in share/man/man6"
    fi
    # The pages render without a warning, where groff is at hand.
    if command -v groff >/dev/null; then
        for page in "$root"/share/man/man1/somrun.1* "$root"/share/man/man6/som-demos.6*; do
            local warnings
            warnings=$(man_text "$page" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1) ||
                fail "$what: groff failed on $page"
            [ -z "$warnings" ] || fail "$what: groff warns about $page: $warnings"
        done
    fi
}

# 1. cmake --install into a scratch prefix.
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log" >&2; fail "cmake --install failed"; }
check_tree "$prefix" "install"

# 2. The Debian package.
packages=$scratch/packages
(cd "$scratch" && cpack -G DEB -B "$packages" --config "$build/CPackConfig.cmake") \
    >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log" >&2; fail "cpack failed"; exit 1; }
debs=("$packages"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { fail "cpack made no single .deb: ${debs[*]}"; exit 1; }
deb=${debs[0]}

info=$(dpkg-deb -I "$deb")
[ "$(dpkg-deb -f "$deb" Package)" = som-demos ] || fail "package name is not som-demos"
[ -n "$(dpkg-deb -f "$deb" Version)" ] || fail "package has no version"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] ||
    fail "package architecture is not $(dpkg --print-architecture)"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libsdl2-2\.0-0' <<<"$depends" || fail "Depends lacks SDL2: '$depends'"
grep -q 'libpng16-16' <<<"$depends" || fail "Depends lacks libpng: '$depends'"
grep -q '^ Description: .' <<<"$info" || fail "package has no description"

# Nothing outside /usr, everything owned by root.
while read -r _ owner _ _ _ path _; do
    case "$path" in
        ./ | ./usr/ | ./usr/*) ;;
        *) fail "package holds $path, outside /usr" ;;
    esac
    [ "$owner" = root/root ] || fail "package holds $path owned by $owner"
done < <(dpkg-deb -c "$deb")

root=$scratch/root
dpkg-deb -x "$deb" "$root"
check_tree "$root/usr" "package"

# 3. somrun out of the unpacked package.
somrun=$root/usr/bin/somrun
help=$("$somrun" --help) || fail "somrun --help exited $?"
grep -q '^usage: somrun PROGRAM' <<<"$help" || fail "somrun --help printed: $help"

out=$scratch/out
status=0
"$somrun" tessfour --seed 5 --out "$out" || status=$?
[ "$status" -eq 0 ] || fail "somrun tessfour --seed 5 exited $status"
for k in 1 2 3; do
    png=$out/pause-$k.png
    if [ ! -f "$png" ]; then
        fail "no pause-$k.png"
        continue
    fi
    # PNG signature, then IHDR with bit depth 8 and colour type 3 (palette).
    [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
        fail "pause-$k.png is not a PNG"
    [ "$(dd if="$png" bs=1 skip=24 count=2 status=none | od -An -tx1 | tr -d ' \n')" = 0803 ] ||
        fail "pause-$k.png is not an 8-bit palette PNG"
done
[ ! -e "$out/pause-4.png" ] || fail "tessfour paused a fourth time"
if [ -f "$out/weights.txt" ]; then
    hex='-?0x[0-9a-f]+(\.[0-9a-f]*)?p[+-][0-9]+'
    [ "$(wc -l <"$out/weights.txt")" -eq 4 ] || fail "weights.txt has not one line per neuron of 2 x 2"
    if grep -Evq "^[12] [12] $hex $hex\$" "$out/weights.txt"; then
        fail "weights.txt has a line that is not 'I J W1 W2': $(cat "$out/weights.txt")"
    fi
else
    fail "no weights.txt"
fi

# The packaged somrun computes what the built one does (stripping changes no result).
built=$scratch/built
"$build/bin/somrun" tessfour --seed 5 --out "$built" || fail "the built somrun exited $?"
for file in pause-1.png pause-2.png pause-3.png weights.txt; do
    [ -f "$out/$file" ] && cmp -s "$out/$file" "$built/$file" ||
        fail "$file from the package differs from the built somrun's"
done

# A bad command line is exit status 2, from the package as from the tree.
status=0
"$somrun" nosuchprogram 2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "somrun nosuchprogram exited $status, not 2"

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "package test: $(basename "$deb") installs, packages and runs"
