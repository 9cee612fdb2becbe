#!/bin/sh
# Soak: the real program with the simulated camera receives about <pictures>
# small pictures (default 1000), JPEG and raw mixed, in bursts of shots fired
# as fast as keys repeat, so that many arrive within one tenth of a second and
# share a time stamp (_2, _3, ... names). Fails on a real fault only: a
# picture lost, stored twice or changed, a temporary file left, a failed shot,
# a crash, an unclean end, or resident memory growing by more than <limit> MB
# (default 25; 0 only reports) between warm-up and the end. Keeping every
# picture received after warm-up would add about 40 MB at 1000 pictures; the
# resident size otherwise stays within a megabyte once warm. Prints the figures.
#   soak.sh <tavren> [pictures] [limit MB]
set -eu
program=$(realpath "$1")
target="${2:-1000}"
limit_mb="${3:-25}"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/harness.sh"

burst=40
warm_up=100
# Shot formats in turn: 5 shots make 6 pictures, a third of them raw.
shots=$((target * 5 / 6 + burst))
script=$(awk -v n="$shots" 'BEGIN { split("jpeg raw jpeg raw+jpeg jpeg3", f, " ");
    for (i = 0; i < n; i++) printf "%s%s", (i ? "," : ""), f[i % 5 + 1] }')

started=$(date +%s)
start_program "$work/start" VRX4K_SIM_SCRIPT="$script" VRX4K_SIM_BUFFER=1000 VRX4K_SIM_CARD_SHOTS=999999 \
    VRX4K_SIM_DELAY_MS=0
select_first_camera

rss_kb() {
    awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status"
}
# Pictures the shots so far will make.
expected_pictures() {
    grep '^VRX4K_Shoot .* -> 0 ' "$log" | sed 's/.*pictures=//' | awk '{ n += $1 } END { print n + 0 }'
}

step="soaking"
warm_rss=""
samples=""
delivered=0
while [ "$delivered" -lt "$target" ]; do
    focus_main
    shots_before=$(grep -c '^VRX4K_Shoot ' "$log" || true)
    press_shoot "$burst"
    # All pressed keys reach the program before their pictures are counted.
    wait_for "[ \$(grep -c '^VRX4K_Shoot ' '$log') -ge $((shots_before + burst)) ]" 300 ||
        fail "the program did not shoot $burst times"
    expected=$(expected_pictures)
    wait_for_delivered "$expected" 600
    delivered=$expected
    rss=$(rss_kb)
    samples="$samples $delivered:$((rss / 1024))"
    if [ -z "$warm_rss" ] && [ "$delivered" -ge "$warm_up" ]; then
        warm_rss=$rss
        warm_at=$delivered
    fi
done
end_rss=$(rss_kb)
[ "$(windows_named '^Vrx4kShooting Sample$')" -eq 0 ] || fail "a box is open"
grep -q '^VRX4K_Shoot .* -> -1' "$log" && fail "a shot failed: $(grep -m1 '^VRX4K_Shoot .* -> -1' "$log")"
close_program
finished=$(date +%s)

step="the stored pictures"
grep '^delivered ' "$log" | sed 's/.*sha256=//' >"$work/expected"
check_folder_holds "$work/start" "$work/expected"
raw=$(ls "$work/start" | grep -c '\.RWQ$' || true)
collided=$(ls "$work/start" | grep -Ec '_[0-9]_[0-9]+\.' || true)
step="the order of the camera library calls"
awk -f "$here/call_order.awk" "$log" >&2 || fail "camera library calls out of order"

step="resident memory"
growth_kb=$((end_rss - warm_rss))
echo "soak: $delivered pictures ($raw raw) stored byte for byte in $((finished - started)) s;" \
    "$collided of them under a _2, _3, ... name"
echo "resident memory: $warm_rss kB after $warm_at pictures (warm-up), $end_rss kB at the end," \
    "growth $growth_kb kB (limit: ${limit_mb} MB, 0 = none)"
echo "samples (pictures:MB):$samples"
[ "$limit_mb" -eq 0 ] || [ "$growth_kb" -le $((limit_mb * 1024)) ] ||
    fail "resident memory grew by $((growth_kb / 1024)) MB"
