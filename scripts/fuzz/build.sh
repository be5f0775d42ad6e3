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
common=(-std=c++20 -g -O1 -fPIC -fno-omit-frame-pointer -fno-sanitize-recover=undefined
        -DQT_NO_KEYWORDS -DCJ_VERSION=\"fuzz\" -I"$root/src" -I"$out/obj")
read -r -a qtflags <<<"$(pkg-config --cflags Qt6Core Qt6Gui sqlcipher)"
read -r -a qtlibs <<<"$(pkg-config --libs Qt6Core Qt6Gui sqlcipher)"
read -r -a httplibs <<<"$(pkg-config --libs cpp-httplib)"

# Source files of the program each target links, relative to src/.
store=(store/NumberText.cpp store/Ids.cpp)
declare -A sources=(
    [fuzz_number]="${store[*]}"
    [fuzz_date]="${store[*]}"
    [fuzz_pinyin]="menu/Pinyin.cpp menu/PinyinLists.cpp"
    [fuzz_qr]="mobile/qr/FiniteField.cpp mobile/qr/ReedSolomon.cpp mobile/qr/QRPicture.cpp mobile/qr/QRCode.cpp"
    [fuzz_orderline]="order/OrderLine.cpp"
    [fuzz_lanserve]="store/Database.cpp store/Schema.cpp store/Settings.cpp store/Log.cpp store/NumberText.cpp
        store/Ids.cpp settings/SettingsStore.cpp main/TableMap.cpp order/OrderLine.cpp order/OrderSession.cpp
        app/Startup.cpp app/ServicePages.cpp mobile/server/PageTemplate.cpp mobile/server/PhonePages.cpp
        mobile/server/LanServer.cpp"
)
# Headers with Q_OBJECT, run through moc for the targets that need them.
declare -A mocs=([fuzz_lanserve]="main/TableMap.h order/OrderSession.h")
declare -A extra=([fuzz_lanserve]="${httplibs[*]} -lpthread")

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
        for page in "$root"/src/mobile/server/pages/*.asp; do
            echo "<file alias=\"$(basename "$page")\">$page</file>"
        done
        echo '</qresource></RCC>'
    } >"$qrc"
    "$qtlibexec/rcc" -name phone_pages -o "$out/obj/qrc_phone_pages.cpp" "$qrc"
    compile "$out/obj/qrc_phone_pages.cpp" "$out/obj/qrc_phone_pages.o"
    echo "$out/obj/qrc_phone_pages.o"
}

build_target() {
    local target=$1 objects=() src obj header
    for src in ${sources[$target]}; do
        obj=$out/obj/${src//\//_}
        obj=${obj%.cpp}.o
        compile "$root/src/$src" "$obj"
        objects+=("$obj")
    done
    for header in ${mocs[$target]:-}; do
        local name=${header//\//_}
        "$qtlibexec/moc" -I"$root/src" "$root/src/$header" -o "$out/obj/moc_${name%.h}.cpp"
        compile "$out/obj/moc_${name%.h}.cpp" "$out/obj/moc_${name%.h}.o"
        objects+=("$out/obj/moc_${name%.h}.o")
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
    if [ -z "${sources[$target]:-}" ]; then
        echo "build.sh: unknown target $target" >&2
        exit 2
    fi
    build_target "$target"
done
