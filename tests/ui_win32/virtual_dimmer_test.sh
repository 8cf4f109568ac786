#!/usr/bin/env bash
# The Windows panel on the virtual dimmer: the dimmer (a Linux program) serves a pseudo-terminal, COM7
# is connected to it, the panel opens COM7 and sets channel 5 to level 128 in mode H, and the dimmer
# must have received exactly that frame, once.
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
dimmer_pid=""
finish() {
    [ -n "$dimmer_pid" ] && kill "$dimmer_pid" 2>/dev/null && wait "$dimmer_pid" 2>/dev/null
    "$wine_dir/wine-ports" disconnect COM7
    rm -rf "$work"
}
trap finish EXIT

LUMENTA_PORT_DIR="$work/ports" "$dimmer" --print-port --name wine-test >"$work/dimmer.out" 2>"$work/dimmer.err" &
dimmer_pid=$!
for _ in $(seq 50); do
    grep -q '^pty=' "$work/dimmer.out" 2>/dev/null && break
    sleep 0.1
done
pty=$(sed -n 's/^pty=//p' "$work/dimmer.out")
[ -n "$pty" ] || { echo "the virtual dimmer did not start: $(cat "$work/dimmer.err")"; exit 1; }
"$wine_dir/wine-ports" connect COM7 "$pty"

LUMENTA_TEST_DIMMER_PORT=COM7 wine "$tests_exe" --gtest_filter='VirtualDimmer.*' --gtest_also_run_disabled_tests
status=$?
sleep 0.3
kill "$dimmer_pid" 2>/dev/null
wait "$dimmer_pid" 2>/dev/null
dimmer_pid=""

echo "--- the virtual dimmer received:"
grep '^frame' "$work/dimmer.out"
[ "$status" -eq 0 ] || exit "$status"
frames=$(grep -c '^frame' "$work/dimmer.out")
if [ "$frames" -ne 1 ] || ! grep -q '^frame AA 05 00 80 00 2F ' "$work/dimmer.out"; then
    echo "expected exactly one frame, AA 05 00 80 00 2F (CH5, mode H, level 128)"
    exit 1
fi
echo "the dimmer got AA 05 00 80 00 2F, once"
