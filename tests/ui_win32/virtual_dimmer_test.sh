#!/usr/bin/env bash
# The Windows panel on the virtual dimmer: the dimmer (a Linux program) serves a pseudo-terminal, COM7
# is connected to it, and the panel, on COM7,
#   1. sets channel 5 to level 128 in mode H: the dimmer must have received exactly that frame, once;
#   2. keeps COM7 open while the script takes the dimmer away (it ends, as an unplugged adapter
#      would go) and brings a new one back under the same name; the panel must have said so and
#      reopened with one click, and the new dimmer must have received channel 7 at level 200, once.
# For the second part the test asks by files in $LUMENTA_TEST_HANDSHAKE: it writes take-away and
# waits for gone, then writes bring-back and waits for back.
#
#   virtual_dimmer_test.sh PATH/TO/win32_panel_tests.exe
#
# The dimmer comes from the Linux build ($LUMENTA_VIRTUAL_DIMMER, else build/linux); without it the test
# is skipped (exit 77). Runs inside a Wine test session, opening one when there is none.
set -uo pipefail
here=$(dirname "$(readlink -f "$0")")
root=$(cd "$here/../.." && pwd)
wine_dir="$root/tests/support/wine"
tests_exe=$1

if [ -z "${LUMENTA_WINE_SESSION:-}" ]; then
    exec "$wine_dir/wine-session" "$0" "$@"
fi

dimmer=${LUMENTA_VIRTUAL_DIMMER:-$root/build/linux/tools/virtual_dimmer/lumenta-virtual-dimmer}
if [ ! -x "$dimmer" ]; then
    echo "no virtual dimmer at $dimmer (build the Linux preset first); skipped"
    exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/lumenta-dimmer-test.XXXXXX")
mkdir "$work/handshake"
dimmer_pid=""
test_pid=""
finish() {
    [ -n "$test_pid" ] && kill "$test_pid" 2>/dev/null && wait "$test_pid" 2>/dev/null
    stop_dimmer
    "$wine_dir/wine-ports" disconnect COM7
    rm -rf "$work"
}
trap finish EXIT

# start_dimmer RUN: a dimmer whose report goes to $work/RUN.out, connected to COM7.
start_dimmer() {
    LUMENTA_PORT_DIR="$work/ports" "$dimmer" --print-port --name wine-test >"$work/$1.out" 2>"$work/$1.err" &
    dimmer_pid=$!
    for _ in $(seq 50); do
        grep -q '^pty=' "$work/$1.out" 2>/dev/null && break
        sleep 0.1
    done
    pty=$(sed -n 's/^pty=//p' "$work/$1.out")
    [ -n "$pty" ] || { echo "the virtual dimmer did not start: $(cat "$work/$1.err")"; exit 1; }
    "$wine_dir/wine-ports" connect COM7 "$pty"
}
stop_dimmer() {
    [ -n "$dimmer_pid" ] || return 0
    kill "$dimmer_pid" 2>/dev/null
    wait "$dimmer_pid" 2>/dev/null
    dimmer_pid=""
}
# expect_one_frame RUN FRAME WHAT
expect_one_frame() {
    echo "--- the virtual dimmer ($1) received:"
    grep '^frame' "$work/$1.out"
    if [ "$(grep -c '^frame' "$work/$1.out")" -ne 1 ] || ! grep -q "^frame $2 " "$work/$1.out"; then
        echo "expected exactly one frame, $2 ($3)"
        exit 1
    fi
    echo "the dimmer got $2, once"
}

start_dimmer first
LUMENTA_TEST_DIMMER_PORT=COM7 LUMENTA_TEST_HANDSHAKE="$work/handshake" \
    wine "$tests_exe" --gtest_filter='VirtualDimmer.*' --gtest_also_run_disabled_tests &
test_pid=$!
while kill -0 "$test_pid" 2>/dev/null; do
    if [ -e "$work/handshake/take-away" ] && [ ! -e "$work/handshake/gone" ]; then
        sleep 0.3  # let a frame on its way arrive
        stop_dimmer
        touch "$work/handshake/gone"
    fi
    if [ -e "$work/handshake/bring-back" ] && [ ! -e "$work/handshake/back" ]; then
        start_dimmer second
        touch "$work/handshake/back"
    fi
    sleep 0.1
done
wait "$test_pid"
status=$?
test_pid=""
sleep 0.3
stop_dimmer

[ "$status" -eq 0 ] || exit "$status"
expect_one_frame first "AA 05 00 80 00 2F" "CH5, mode H, level 128"
[ -e "$work/handshake/back" ] || { echo "the dimmer was never taken away and brought back"; exit 1; }
expect_one_frame second "AA 07 00 C8 00 65" "CH7, mode H, level 200"
