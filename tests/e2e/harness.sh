# Shared steps of the end-to-end scripts: the real program with the simulated
# camera on a virtual X server with no window manager, driven from the
# keyboard. Sourced; the script sets $program before sourcing.
#
# Environment: TAVREN_E2E_SCREENSHOTS names the folder for screenshots
# (nothing is saved without it).

# Starts a virtual X server of this script's own; exits 77 (skip) when a tool
# is missing. Xvfb picks a free display and writes its number, so scripts that
# run at the same time never race for one.
e2e_enter_display() {
    for tool in Xvfb xdotool import convert sha256sum; do
        command -v "$tool" >/dev/null || { echo "skipped: $tool is missing" >&2; exit 77; }
    done
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
    xvfb=$!
    wait_for "[ -s '$work/display' ]" 100 || fail "Xvfb did not start"
    DISPLAY=":$(cat "$work/display")"
    export DISPLAY
}

work=$(mktemp -d "${TMPDIR:-/tmp}/tavren-e2e.XXXXXX")
log="$work/camera.log"
pid=""
xvfb=""
step="start-up"

e2e_cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; fi
    if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
    for hook in ${cleanup_hooks:-}; do "$hook" || true; done
    rm -rf "$work"
}
trap e2e_cleanup EXIT

fail() {
    echo "FAILED ($step): $*" >&2
    e2e_screenshot "failure-$(echo "$step" | tr -c 'A-Za-z0-9\n' '-')" || true
    if [ -s "$log" ]; then
        echo "--- last lines of the camera log:" >&2
        tail -n 25 "$log" >&2
    fi
    exit 1
}

# Waits up to $2 tenths of a second for the shell command $1 to succeed.
wait_for() {
    tries=0
    until sh -c "$1" >/dev/null 2>&1; do
        tries=$((tries + 1))
        [ "$tries" -lt "$2" ] || return 1
        [ -z "$pid" ] || kill -0 "$pid" 2>/dev/null || fail "the program is gone"
        sleep 0.1
    done
}

windows_named() {
    xdotool search --onlyvisible --name "$1" 2>/dev/null | wc -l
}

# Waits until exactly $1 visible windows are named by the pattern $2.
wait_for_windows() {
    wait_for "[ \$(xdotool search --onlyvisible --name '$2' 2>/dev/null | wc -l) -eq $1 ]" "${3:-300}" ||
        fail "expected $1 window(s) named '$2', found $(windows_named "$2")"
    sleep 0.3
}

main_window() {
    xdotool search --onlyvisible --name '^TAVREN$' | head -n 1
}

# Gives the keyboard to the main window; the focused control in it stays.
focus_main() {
    xdotool windowfocus --sync "$(main_window)"
}

# LD_LIBRARY_PATH as the test was given it for the program: only where a
# sanitizer hides the program's RUNPATH.
library_path_for_program() {
    if [ -n "${TAVREN_E2E_LIBRARY_PATH:-}" ]; then
        export LD_LIBRARY_PATH="$TAVREN_E2E_LIBRARY_PATH"
    else
        unset LD_LIBRARY_PATH
    fi
}

# Starts the program in folder $1 with the camera settings that follow as
# NAME=value words. The call log always goes to $log.
start_program() {
    folder="$1"
    shift
    cd "$folder"
    # The program finds its libraries through its RUNPATH; under
    # AddressSanitizer dlopen does not see it, and the test names the folder.
    library_path_for_program
    mkdir -p -m 700 "$work/runtime"
    env -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$work/runtime" VRX4K_SIM_LOG="$log" \
        VRX4K_SIM_SIZE=320x240 VRX4K_SIM_DELAY_MS=50 VRX4K_SIM_INTERVAL_MS=0 "$@" "$program" &
    pid=$!
    cd "$work"
    wait_for_windows 1 '^TAVREN$'
    focus_main
}

# From the start: Tab to Select, Space, Enter on the preselected first camera.
# Afterwards Shoot has the keyboard.
select_first_camera() {
    step="selecting the first camera"
    xdotool key Tab space
    wait_for_windows 2 '^TAVREN$'
    xdotool key Return
    wait_for_windows 1 '^TAVREN$'
    wait_for "grep -q '^VRX4K_Open .*callback=yes.* -> 0' '$log'" 100 || fail "no camera connected"
}

# Presses the focused button (Shoot) $1 times.
press_shoot() {
    xdotool key --repeat "$1" --delay 30 space
}

delivered_count() {
    grep -c '^delivered ' "$log" 2>/dev/null || true
}

# Waits until $1 pictures were delivered and the program has handled them: the
# program reads the shot's property report after its pictures.
wait_for_delivered() {
    wait_for "[ \$(grep -c '^delivered ' '$log') -ge $1 ]" "${2:-300}" ||
        fail "expected $1 delivered pictures, the log has $(delivered_count)"
    last=$(grep -n '^delivered ' "$log" | sed -n "$1p" | cut -d: -f1)
    wait_for "tail -n +$last '$log' | grep -q '^VRX4K_GetChangedProperty'" 100 ||
        fail "the program did not go on after picture $1"
}

# Checksums of the delivered pictures $1 to $2 (1-based, in delivery order)
# whose type the program stores (1 raw, 2 and 3 JPEG), one a line.
delivered_sums() {
    grep '^delivered ' "$log" | sed -n "${1},${2}p" | grep -E ' type=(1|2|3) ' | sed 's/.*sha256=//'
}

# Checks that the pictures in folder $1 are exactly those whose checksums are
# in file $2: names in the time-stamp pattern with the right extension, each
# picture once, no temporary file left.
check_folder_holds() {
    folder="$1"
    expected="$2"
    leftovers=$(find "$folder" -maxdepth 1 -name '.tavren-*' | wc -l)
    [ "$leftovers" -eq 0 ] || fail "$leftovers temporary file(s) left in $folder"
    : >"$work/stored.sums"
    for file in "$folder"/* "$folder"/.*; do
        [ -f "$file" ] || continue
        name=$(basename "$file")
        echo "$name" | grep -Eq '^[0-9]{8}_[0-9]{6}_[0-9](_[0-9]+)?\.(JPG|RWQ)$' ||
            fail "unexpected file name '$name' in $folder"
        case "$name" in
            *.RWQ) [ "$(head -c 8 "$file")" = VRX4KRAW ] || fail "$name is not a raw file" ;;
            *.JPG) [ "$(od -An -tx1 -N2 "$file" | tr -d ' ')" = ffd8 ] || fail "$name is not a JPEG file" ;;
        esac
        sha256sum "$file" | cut -d' ' -f1 >>"$work/stored.sums"
    done
    sort "$expected" >"$work/expected.sorted"
    sort "$work/stored.sums" >"$work/stored.sorted"
    if ! cmp -s "$work/expected.sorted" "$work/stored.sorted"; then
        echo "delivered but not stored in $folder, or stored more than delivered:" >&2
        diff "$work/expected.sorted" "$work/stored.sorted" | head -n 20 >&2
        fail "$folder does not hold exactly the delivered pictures ($(wc -l <"$expected") expected, $(wc -l <"$work/stored.sums") stored)"
    fi
}

# Saves a screenshot of the whole display as $TAVREN_E2E_SCREENSHOTS/$1.png.
e2e_screenshot() {
    [ -n "${TAVREN_E2E_SCREENSHOTS:-}" ] || return 0
    mkdir -p "$TAVREN_E2E_SCREENSHOTS"
    import -window root "$TAVREN_E2E_SCREENSHOTS/$1.png"
}

# Prints the brightest value (0 to 1) inside the preview area of the main
# window, its frame left out. The area's place comes from the window's size:
# (192, 28, 279, 174) in a 490 x 266 dialog-unit template.
preview_brightness() {
    eval "$(xdotool getwindowgeometry --shell "$(main_window)")"
    px=$((X + WIDTH * 192 / 490 + 3))
    py=$((Y + HEIGHT * 28 / 266 + 3))
    pw=$((WIDTH * 279 / 490 - 6))
    ph=$((HEIGHT * 174 / 266 - 6))
    import -window root -crop "${pw}x${ph}+${px}+${py}" +repage "$work/preview.png"
    convert "$work/preview.png" -colorspace Gray -format '%[fx:maxima]' info:
}

preview_is_black() {
    [ "$(echo "$(preview_brightness)" | awk '{ print ($1 < 0.02) }')" -eq 1 ]
}

# Dismisses the boxes titled "Vrx4kShooting Sample" until none has been open
# for a second; prints how many it dismissed.
dismiss_boxes() {
    dismissed=0
    quiet=0
    while [ "$quiet" -lt 10 ]; do
        box=$(xdotool search --onlyvisible --name '^Vrx4kShooting Sample$' 2>/dev/null | head -n 1)
        if [ -n "$box" ]; then
            xdotool windowfocus --sync "$box" key Return 2>/dev/null || true
            dismissed=$((dismissed + 1))
            quiet=0
            sleep 0.3
        else
            quiet=$((quiet + 1))
            sleep 0.1
        fi
    done
    echo "$dismissed"
}

# Picks folder $1 through "..." (Shift+Tab from Shoot), typing its path.
choose_folder() {
    step="choosing $1 with ..."
    focus_main
    xdotool key shift+Tab space
    wait_for_windows 1 '^Please choose a destination of a photography image\.$'
    xdotool type --delay 10 "$1"
    xdotool key Return
    wait_for_windows 0 '^Please choose a destination'
    focus_main
    xdotool key Tab # back to Shoot
}

# Closes the program and checks that it ended with status 0: with Escape, or
# with "close-button" from Shoot, Tab past Save in to Close and Space.
close_program() {
    step="closing"
    focus_main
    if [ "${1:-}" = close-button ]; then xdotool key Tab Tab space; else xdotool key Escape; fi
    tries=0
    while kill -0 "$pid" 2>/dev/null; do
        tries=$((tries + 1))
        [ "$tries" -lt 300 ] || fail "the program did not end"
        sleep 0.1
    done
    status=0
    wait "$pid" || status=$?
    pid=""
    [ "$status" -eq 0 ] || fail "the program ended with status $status"
}
