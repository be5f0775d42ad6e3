#!/usr/bin/env bash
# Builds the Debian package of a build and checks it: name, files, the declared dependencies (every
# library the programs link comes from a listed package, every listed package exists here), no
# maintainer scripts, so removing the package never touches the data folder or the backups, no lintian
# error (the warnings are shown) and programs built with the distribution's hardening (no hardening tag).
# Usage: check_package.sh CPACK BUILD_DIR EXPECT_LANSERVE(0|1)
set -euo pipefail
cpack=$1 build=$2 expect_lanserve=$3

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
debs=("$work"/*.deb)
[ -f "${debs[0]}" ] || fail "cpack made no .deb"
deb=${debs[0]}

[ "$(dpkg-deb -f "$deb" Package)" = cjpos ] || fail "package name is not cjpos"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
[ -n "$(dpkg-deb -f "$deb" Description)" ] || fail "no description"

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
expected=(./usr/bin/cjpos ./usr/share/applications/cjpos.desktop
    ./usr/share/icons/hicolor/48x48/apps/cjpos.png ./usr/share/icons/hicolor/256x256/apps/cjpos.png
    ./usr/share/cjpos/manual/index.html
    ./usr/share/doc/cjpos/copyright ./usr/share/doc/cjpos/changelog.gz
    ./usr/share/man/man1/cjpos.1.gz ./usr/share/man/zh_CN/man1/cjpos.1.gz)
[ "$expect_lanserve" = 1 ] &&
    expected+=(./usr/share/man/man1/Lanserve.1.gz ./usr/share/man/zh_CN/man1/Lanserve.1.gz)
[ "$expect_lanserve" = 1 ] && expected+=(./usr/bin/Lanserve)
for f in "${expected[@]}"; do
    grep -qxF "$f" <<<"$files" || fail "package lacks $f"
done
# The package carries the version of the changelog's newest entry.
version=$(dpkg-deb -f "$deb" Version)
newest=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/cjpos/changelog.gz | gzip -dc |
    sed -n '1s/^cjpos (\([^)]*\)).*/\1/p')
[ "$version" = "$newest" ] || fail "package version $version differs from the changelog's newest entry ($newest)"
outside=$(grep -v '^\./usr/' <<<"$files" | grep -vx '\./' || true)
[ -z "$outside" ] || fail "package installs outside /usr: $outside"

control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -v '^$' | sort | tr '\n' ' ')
[ "$control" = "control md5sums " ] || fail "package carries maintainer scripts or more: $control"

# Dependency names, without version constraints or alternatives.
depends=$(dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | sed 's/(.*)//; s/[[:space:]]//g' | grep -v '^$' | sort -u)
for package in $depends; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        fail "dependency $package is not a package installed on this system"
done
for package in libqt6widgets6 libqt6printsupport6 libqt6gui6 libqt6core6 libsqlcipher0 \
    libgsf-1-114 fonts-noto-cjk qt6-translations-l10n; do
    grep -qxF "$package" <<<"$depends" || fail "Depends lacks $package"
done
# The X11 platform plugin is in libqt6gui6 on Debian 12; qt6-qpa-plugins holds only others.
! grep -qxF qt6-qpa-plugins <<<"$depends" || fail "Depends names qt6-qpa-plugins"
# Library versions come from the binaries (dpkg-shlibdeps), not from a list written by hand.
dpkg-deb -f "$deb" Depends | grep -qE 'libqt6core6 \(>= [0-9]' || fail "Depends gives libqt6core6 no version"
dpkg-deb -f "$deb" Depends | grep -qE 'libc6 \(>= [0-9]' || fail "Depends gives libc6 no version"

# Every shared library the packaged programs load directly must come from a declared package.
dpkg-deb -x "$deb" "$work/root"
owner() {
    local path=$1 real
    real=$(readlink -f "$path")
    for candidate in "$real" "${real#/usr}" "/usr$real" "$path"; do
        if dpkg -S "$candidate" 2>/dev/null | head -1 | cut -d: -f1; then
            return
        fi
    done
}
for program in "$work"/root/usr/bin/*; do
    while read -r name path; do
        [ -n "$path" ] || fail "$(basename "$program") needs $name, which is not found"
        package=$(owner "$path")
        [ -n "$package" ] || fail "no Debian package holds $path"
        grep -qxF "$package" <<<"$depends" || fail "$(basename "$program") links $name from $package, which Depends lacks"
    done < <(ldd "$program" | awk '/=>/ { print $1, ($3 ~ /^\//) ? $3 : "" }' |
        grep -F -f <(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'))
done
# Debian's own checks of a package: copyright, changelog, maintainer, description, manual pages.
command -v lintian >/dev/null || fail "lintian is missing (Debian package lintian)"
# Exit status 1: tags at error level; anything above it: lintian itself failed.
status=0
# --display-info: two of the hardening tags are only at info level.
lintian --display-info --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || status=$?
cat "$work/lintian.log"
errors=$(grep -c '^E: ' "$work/lintian.log" || true)
warnings=$(grep -c '^W: ' "$work/lintian.log" || true)
[ "$status" -le 1 ] || fail "lintian could not check the package (exit status $status)"
[ "$errors" = 0 ] && [ "$status" = 0 ] || fail "lintian reports $errors errors"
hardening=$(grep -E 'hardening-no-(relro|fortify-functions|bindnow|pie)' "$work/lintian.log" || true)
[ -z "$hardening" ] || fail "programs built without the distribution's hardening: $hardening"

echo "package ok: $(basename "$deb"), lintian: $errors errors, $warnings warnings"
