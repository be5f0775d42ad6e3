#!/bin/bash
# Builds the libFuzzer targets into build-fuzz/ with clang, ASan and UBSan, straight from the source files
# each target needs. Usage: scripts/fuzz/build.sh [target ...]   (default: all targets)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
out=${FUZZ_BUILD_DIR:-$root/build-fuzz}
mkdir -p "$out/obj"

cxx=${CXX_FUZZ:-clang++}
if command -v ccache >/dev/null; then
    cxx="ccache $cxx"
fi
qtlibexec=$(pkg-config --variable=libexecdir Qt6Core 2>/dev/null || true)
[ -x "$qtlibexec/moc" ] || qtlibexec=/usr/lib/qt6/libexec

sanitizers="address,undefined"
# The same warnings as the CMake build; the libraries' headers are system headers, so only ours warn.
common=(-std=c++20 -g -O1 -fPIC -fno-omit-frame-pointer -fno-sanitize-recover=undefined
        -Wall -Wextra -Wpedantic -Wshadow
        -DQT_NO_KEYWORDS -DCJ_VERSION=\"fuzz\" -I"$root/src" -I"$out/obj")
read -r -a qtflags <<<"$(pkg-config --cflags Qt6Core Qt6Gui sqlcipher libmicrohttpd | sed -E 's/(^| )-I/\1-isystem /g')"
read -r -a qtlibs <<<"$(pkg-config --libs Qt6Core Qt6Gui sqlcipher)"
read -r -a serverlibs <<<"$(pkg-config --libs libmicrohttpd)"

# The program files each target starts from; the rest are found by following their #include "..." lines
# (a header's .cpp beside it comes along), so the list stays right while the code grows.
declare -A roots=(
    [fuzz_number]="store/NumberText.cpp"
    [fuzz_date]="store/Ids.cpp"
    [fuzz_pinyin]="menu/Pinyin.cpp"
    [fuzz_qr]="mobile/qr/QRCode.cpp"
    [fuzz_orderline]="bill/OrderLine.cpp"
    [fuzz_lanserve]="store/ProgramDatabase.cpp mobile/ServicePages.cpp lanserve/LanServer.cpp"
)
declare -A extra=([fuzz_lanserve]="${serverlibs[*]} -lpthread")

# Prints the .cpp and Q_OBJECT headers (prefixed "moc:") reached from the given files under src/.
closure() {
    local -A seen=()
    local queue=("$@") file base inc
    while [ ${#queue[@]} -gt 0 ]; do
        file=${queue[0]}
        queue=("${queue[@]:1}")
        [ -n "${seen[$file]:-}" ] && continue
        seen[$file]=1
        [ -f "$root/src/$file" ] || continue
        base=${file%.*}
        [ -f "$root/src/$base.cpp" ] && queue+=("$base.cpp")
        [ -f "$root/src/$base.h" ] && queue+=("$base.h")
        while read -r inc; do
            [ -f "$root/src/$inc" ] && queue+=("$inc")
        done < <(sed -n 's/^#include "\(.*\)"/\1/p' "$root/src/$file")
    done
    for file in "${!seen[@]}"; do
        case $file in
        *.cpp) echo "$file" ;;
        *.h) grep -q "Q_OBJECT" "$root/src/$file" && echo "moc:$file" ;;
        esac
    done | sort
}

compile() { # source object
    if ! $cxx "${common[@]}" "${qtflags[@]}" -fsanitize=fuzzer-no-link,$sanitizers -c "$1" -o "$2"; then
        echo "build.sh: failed to compile $1" >&2
        return 1
    fi
}

# The phone page templates, compiled in as the program does, so WriteServicePages finds them.
phone_resources() {
    local qrc=$out/obj/phone_pages.qrc
    {
        echo '<RCC><qresource prefix="/phone">'
        for page in "$root"/src/lanserve/pages/*.asp; do
            echo "<file alias=\"$(basename "$page")\">$page</file>"
        done
        echo '</qresource></RCC>'
    } >"$qrc"
    "$qtlibexec/rcc" -name phone_pages -o "$out/obj/qrc_phone_pages.cpp" "$qrc"
    compile "$out/obj/qrc_phone_pages.cpp" "$out/obj/qrc_phone_pages.o"
    echo "$out/obj/qrc_phone_pages.o"
}

build_target() {
    local target=$1 objects=() src obj name
    # shellcheck disable=SC2086
    for src in $(closure ${roots[$target]}); do
        if [[ $src == moc:* ]]; then
            src=${src#moc:}
            name=moc_${src//\//_}
            "$qtlibexec/moc" -I"$root/src" "$root/src/$src" -o "$out/obj/${name%.h}.cpp"
            compile "$out/obj/${name%.h}.cpp" "$out/obj/${name%.h}.o"
            objects+=("$out/obj/${name%.h}.o")
        else
            obj=$out/obj/${src//\//_}
            obj=${obj%.cpp}.o
            compile "$root/src/$src" "$obj"
            objects+=("$obj")
        fi
    done
    if [ "$target" = fuzz_lanserve ]; then
        objects+=("$(phone_resources)")
    fi
    compile "$root/scripts/fuzz/$target.cpp" "$out/obj/$target.o"
    # shellcheck disable=SC2086
    clang++ -fsanitize=fuzzer,$sanitizers "$out/obj/$target.o" "${objects[@]}" "${qtlibs[@]}" \
        ${extra[$target]:-} -o "$out/$target"
    echo "built $out/$target"
}

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_number fuzz_date fuzz_pinyin fuzz_qr fuzz_orderline fuzz_lanserve)
fi
for target in "${targets[@]}"; do
    if [ -z "${roots[$target]:-}" ]; then
        echo "build.sh: unknown target $target" >&2
        exit 2
    fi
    build_target "$target"
done
