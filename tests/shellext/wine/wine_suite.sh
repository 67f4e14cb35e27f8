#!/usr/bin/env bash
# Runs one step of the stampmenu64 Wine suite, headless, in a private prefix.
#
#   wine_suite.sh prefix    fresh prefix; server, stand-in and test program laid out in one folder
#   wine_suite.sh registry  regsvr32 writes exactly the registration table, twice the same, /u removes it
#   wine_suite.sh com       the Windows test program against the registered server
#   wine_suite.sh xp        the same program run as Windows 5.1 (batches of 4, owner-drawn icon)
#
# Environment: WINE, WINESERVER (programs), STAMP_WIN_DIR (cross build folder), STAMP_WORK (work folder).
set -euo pipefail

step=${1:?step}
: "${WINE:?}" "${WINESERVER:?}" "${STAMP_WIN_DIR:?}" "${STAMP_WORK:?}"

export WINEPREFIX="$STAMP_WORK/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY

install_dir="$STAMP_WORK/install dir"
scratch="$STAMP_WORK/scratch"
clsid='{5B2739F7-8D51-49D0-9CFB-3F873E9C37C1}'

# Windows path of a Unix path on Wine's Z: drive.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

dll_w=$(winpath "$install_dir/stampmenu64.dll")
companion_w=$(winpath "$install_dir/Stampwarden.exe")

fail() {
    echo "FAIL: $*"
    exit 1
}

# Ends the step once this prefix's server has gone, so no Wine process outlives the test.
finish() {
    "$WINESERVER" -w || true
}
trap finish EXIT

# All values below a key, as reg export writes them, one per line, sorted; UTF-8.
export_key() {
    local out="$STAMP_WORK/export.reg"
    rm -f "$out"
    "$WINE" reg export "$1" "$(winpath "$out")" /y >/dev/null || return 1
    iconv -f UTF-16LE -t UTF-8 "$out" | tr -d '\r' | sed '1s/^\xEF\xBB\xBF//' |
        grep -v -e '^$' -e '^Windows Registry Editor' | LC_ALL=C sort
}

# The class key with its sub-keys as the table writes them (handler keys are checked by reg query).
expected_class_key() {
    local dll_reg=${dll_w//\\/\\\\} companion_reg=${companion_w//\\/\\\\}
    {
        echo "[HKEY_CLASSES_ROOT\\CLSID\\$clsid]"
        echo '@="stampmenu64"'
        echo "[HKEY_CLASSES_ROOT\\CLSID\\$clsid\\InprocServer32]"
        echo "@=\"$dll_reg\""
        echo '"ThreadingModel"="Apartment"'
        echo "[HKEY_CLASSES_ROOT\\CLSID\\$clsid\\Settings]"
        echo '"Title"="启动Markvault"'
        echo "\"Path\"=\"$companion_reg\""
        echo '"Custom"=""'
        echo '"ShowIcon"=dword:00000001'
        echo '"Dynamic"=dword:00000001'
        echo '"Maxtext"=dword:00000019'
    } | LC_ALL=C sort
}

# reg query of a key must list exactly the given "key" and "name|type|data" lines, in order. The
# non-ASCII title is left out here (reg query prints it in the console code page); the export checks it.
query_is() {
    local key=$1
    shift
    local got want
    got=$("$WINE" reg query "$key" /s | tr -d '\r' | grep -v -e '^$' -e '^ *Title ' | sed 's/^ *//; s/    /|/g')
    want=$(printf '%s\n' "$@")
    [[ "$got" == "$want" ]] || fail "reg query $key gave:"$'\n'"$got"$'\n'"expected:"$'\n'"$want"
}

# The current build's server, stand-in and test program, all in one folder.
install_files() {
    mkdir -p "$install_dir"
    cp "$STAMP_WIN_DIR/stampmenu64.dll" "$STAMP_WIN_DIR/Stampwarden.exe" "$STAMP_WIN_DIR/stampmenu_test.exe" \
        "$install_dir/"
    cp "$STAMP_WIN_DIR/stampmenu_test.exe" "$install_dir/stampmenu_test_xp.exe"
}

key_exists() { "$WINE" reg query "$1" >/dev/null 2>&1; }

case "$step" in
prefix)
    rm -rf "$STAMP_WORK"
    mkdir -p "$STAMP_WORK"
    "$WINE" wineboot --init >/dev/null 2>&1 || fail "wineboot"
    # The xp copy of the test program runs as Windows 5.1.
    "$WINE" reg add 'HKCU\Software\Wine\AppDefaults\stampmenu_test_xp.exe' /v Version /d winxp /f >/dev/null ||
        fail "reg add AppDefaults"
    echo "prefix ready: $WINEPREFIX"
    ;;

registry)
    install_files
    "$WINE" regsvr32 /u /s "$dll_w" || true

    "$WINE" regsvr32 /s "$dll_w" || fail "regsvr32 failed"
    base="HKEY_CLASSES_ROOT\\CLSID\\$clsid"
    query_is "HKCR\\CLSID\\$clsid" "$base" "(Default)|REG_SZ|stampmenu64" \
        "$base\\InprocServer32" "(Default)|REG_SZ|$dll_w" "ThreadingModel|REG_SZ|Apartment" \
        "$base\\Settings" "Custom|REG_SZ|" "Dynamic|REG_DWORD|0x1" "Maxtext|REG_DWORD|0x19" \
        "Path|REG_SZ|$companion_w" "ShowIcon|REG_DWORD|0x1"
    query_is 'HKCR\*\shellex\ContextMenuHandlers\stampmenu64' \
        'HKEY_CLASSES_ROOT\*\shellex\ContextMenuHandlers\stampmenu64' "(Default)|REG_SZ|$clsid"
    query_is 'HKCR\Directory\shellex\ContextMenuHandlers\stampmenu64' \
        'HKEY_CLASSES_ROOT\Directory\shellex\ContextMenuHandlers\stampmenu64' "(Default)|REG_SZ|$clsid"
    # The title is not ASCII: the export (UTF-16) checks it exactly, with everything else.
    first=$(export_key "HKCR\\CLSID\\$clsid")
    want=$(expected_class_key)
    [[ "$first" == "$want" ]] || fail "registry content:"$'\n'"$first"$'\n'"expected:"$'\n'"$want"
    echo "registration writes exactly the table"

    "$WINE" reg add "HKCR\\CLSID\\$clsid\\Settings" /v Maxtext /t REG_DWORD /d 3 /f >/dev/null
    "$WINE" regsvr32 /s "$dll_w" || fail "second regsvr32 failed"
    second=$(export_key "HKCR\\CLSID\\$clsid")
    [[ "$second" == "$first" ]] || fail "second registration differs:"$'\n'"$second"
    query_is 'HKCR\*\shellex\ContextMenuHandlers\stampmenu64' \
        'HKEY_CLASSES_ROOT\*\shellex\ContextMenuHandlers\stampmenu64' "(Default)|REG_SZ|$clsid"
    query_is 'HKCR\Directory\shellex\ContextMenuHandlers\stampmenu64' \
        'HKEY_CLASSES_ROOT\Directory\shellex\ContextMenuHandlers\stampmenu64' "(Default)|REG_SZ|$clsid"
    echo "registering twice gives the same content"

    "$WINE" regsvr32 /u /s "$dll_w" || fail "regsvr32 /u failed"
    for key in "HKCR\\CLSID\\$clsid" 'HKCR\*\shellex\ContextMenuHandlers\stampmenu64' \
        'HKCR\Directory\shellex\ContextMenuHandlers\stampmenu64'; do
        key_exists "$key" && fail "$key is left after unregistration"
    done
    key_exists 'HKCR\*\shellex\ContextMenuHandlers' || fail "unregistration removed a shared key"
    echo "unregistration removes every key"
    "$WINE" regsvr32 /u /s "$dll_w" || fail "unregistering again failed"
    ;;

com | xp)
    install_files
    "$WINE" regsvr32 /s "$dll_w" || fail "regsvr32 failed"
    program=stampmenu_test.exe
    extra=()
    if [[ $step == xp ]]; then
        program=stampmenu_test_xp.exe
        extra=(--xp)
    fi
    rm -rf "$scratch"
    mkdir -p "$scratch"
    status=0
    "$WINE" "$install_dir/$program" "$dll_w" "$(winpath "$scratch")" "${extra[@]}" | tr -d '\r' || status=$?
    "$WINE" regsvr32 /u /s "$dll_w" || true
    exit "$status"
    ;;

*)
    fail "unknown step $step"
    ;;
esac
