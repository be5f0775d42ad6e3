#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what a desktop needs from it: both programs
# side by side, a valid menu entry with its icon, the manual where the program looks for it, the
# manual pages, and the counter's server control starting the installed Lanserve (not a copy of it)
# from that folder.
# Usage: check_install.sh CMAKE BUILD_DIR EXPECT_LANSERVE(0|1) MANUAL_CHECKER [SERVER_CONTROL_TEST]
set -euo pipefail
cmake=$1 build=$2 expect_lanserve=$3 manual_checker=$4 server_test=${5:-}

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

[ -x "$prefix/bin/cjpos" ] || fail "bin/cjpos is not installed"
if [ "$expect_lanserve" = 1 ]; then
    [ -x "$prefix/bin/Lanserve" ] || fail "bin/Lanserve is not installed beside cjpos"
fi

desktop=$prefix/share/applications/cjpos.desktop
[ -f "$desktop" ] || fail "no desktop entry"
command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is missing (Debian package desktop-file-utils)"
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
for line in 'Name=澄槿餐饮点餐收银软件' 'Name[zh_CN]=澄槿餐饮点餐收银软件' 'Exec=cjpos' 'Icon=cjpos' \
    'Terminal=false' 'Categories=Office;Finance;'; do
    grep -qxF "$line" "$desktop" || fail "desktop entry lacks $line"
done

# PNG width and height are the big-endian words at bytes 16 and 20.
png_size() {
    local w h
    w=$(od -An -tu1 -j16 -N4 "$1" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
    h=$(od -An -tu1 -j20 -N4 "$1" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
    echo "${w}x${h}"
}
for size in 48 256; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/cjpos.png
    [ -f "$icon" ] || fail "no ${size}x${size} icon"
    [ "$(png_size "$icon")" = "${size}x${size}" ] || fail "$icon is $(png_size "$icon")"
done

# The program looks for its manual at ../share/cjpos/manual relative to its own folder.
manual=$prefix/bin/../share/cjpos/manual
[ -f "$manual/index.html" ] || fail "no manual beside the installed program"
/usr/bin/python3 "$manual_checker" "$manual" || fail "the installed manual has dead links"

for page in man1/cjpos.1.gz man1/Lanserve.1.gz zh_CN/man1/cjpos.1.gz zh_CN/man1/Lanserve.1.gz; do
    [ -f "$prefix/share/man/$page" ] || fail "no manual page $page"
    gzip -t "$prefix/share/man/$page" || fail "$page is not gzip"
done

# The server control of the counter starts the installed Lanserve: the test checks /proc/PID/exe of the
# running server against $prefix/bin/Lanserve and stops it again.
if [ "$expect_lanserve" = 1 ] && [ -n "$server_test" ]; then
    CJ_BIN_DIR=$prefix/bin QT_QPA_PLATFORM=offscreen "$server_test" ||
        fail "the server control did not run the installed Lanserve"
fi

echo "install layout ok"
