# The one harness of the end-to-end scenarios: the real program on a virtual
# X server with no window manager, driven by keyboard and mouse. Sourced by a
# scenario, which gets its own X server and an empty folder $work/start
# there, and then calls start_program (the simulated camera) or run_program
# (any other setup).
#
# Environment:
#   TAVREN_E2E_SCREENSHOTS   folder for screenshots (nothing is saved without it)
#   TAVREN_E2E_LIBRARY_PATH  folders put first on LD_LIBRARY_PATH; sanitizer
#                            builds only, whose runtime hides the program's
#                            RUNPATH from dlopen. Otherwise LD_LIBRARY_PATH is
#                            unset, so the program finds its libraries alone.

# Exits 77 (skipped) when one of the tools named is missing.
e2e_require() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "skipped: $tool is missing (scripts/setup.sh test installs it)" >&2; exit 77; }
    done
}

# Starts a virtual X server of this scenario's own. Xvfb picks a free display
# and writes its number, so scenarios that run at the same time never race
# for one.
e2e_enter_display() {
    e2e_require Xvfb xdotool import convert sha256sum
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

# The program and the server go on every way out, a failure's included.
e2e_cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; fi
    if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
    for hook in ${cleanup_hooks:-}; do "$hook" || true; done
    rm -rf "$work"
}
trap e2e_cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

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

# Starts $program in folder $1 with the NAME=value words that follow in its
# environment, and waits until its window is open and has taken the keyboard
# by itself (there is no window manager to give it).
run_program() {
    folder="$1"
    shift
    cd "$folder"
    mkdir -p -m 700 "$work/runtime"
    env -u QT_QPA_PLATFORM -u LD_LIBRARY_PATH XDG_RUNTIME_DIR="$work/runtime" \
        ${TAVREN_E2E_LIBRARY_PATH:+"LD_LIBRARY_PATH=$TAVREN_E2E_LIBRARY_PATH"} "$@" "$program" &
    pid=$!
    cd "$work"
    wait_for_windows 1 '^TAVREN$'
    # shellcheck disable=SC2016
    wait_for '[ "$(xdotool getwindowfocus)" = "$(xdotool search --onlyvisible --name "^TAVREN\$" | head -n 1)" ]' 50 ||
        fail "the main window did not take the keyboard"
}

# run_program with the simulated camera: small pictures, quickly, each call
# logged to $log. Settings that follow as NAME=value words win.
start_program() {
    folder="$1"
    shift
    run_program "$folder" VRX4K_SIM_LOG="$log" VRX4K_SIM_SIZE=320x240 VRX4K_SIM_DELAY_MS=50 VRX4K_SIM_INTERVAL_MS=0 "$@"
}

# From the start: Tab to Select, pressed with key $1 (space by default, or
# Return), Enter on the preselected first camera. Afterwards Shoot has the
# keyboard.
connect_first_camera() {
    step="selecting the first camera"
    xdotool key Tab "${1:-space}"
    wait_for_windows 2 '^TAVREN$'
    xdotool key Return
    wait_for_windows 1 '^TAVREN$'
}

# connect_first_camera, with the simulated camera's log to show it connected.
select_first_camera() {
    connect_first_camera "$@"
    wait_for "grep -q '^VRX4K_Open .*callback=yes.* -> 0' '$log'" 100 || fail "no camera connected"
}

# The main window's template, in dialog units: its size, and the places of
# the controls the scenarios reach by place (x y width height). The window's
# real size gives a dialog unit's size in pixels.
template_width=490
template_height=266
control_units() {
    case "$1" in
        shoot) echo 421 211 50 14 ;;
        preview) echo 192 28 279 174 ;;
        *) fail "no control $1 in the template" ;;
    esac
}

# Prints control $1's place on the screen in pixels: x y width height.
control_geometry() {
    eval "$(xdotool getwindowgeometry --shell "$(main_window)")"
    # shellcheck disable=SC2046
    set -- $(control_units "$1")
    echo $((X + WIDTH * $1 / template_width)) $((Y + HEIGHT * $2 / template_height)) \
        $((WIDTH * $3 / template_width)) $((HEIGHT * $4 / template_height))
}

# Clicks the middle of control $1 with the mouse.
click_control() {
    # shellcheck disable=SC2046
    set -- $(control_geometry "$1")
    xdotool mousemove $(($1 + $3 / 2)) $(($2 + $4 / 2)) click 1
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
# window, its frame left out.
preview_brightness() {
    # shellcheck disable=SC2046
    set -- $(control_geometry preview)
    import -window root -crop "$(($3 - 6))x$(($4 - 6))+$(($1 + 3))+$(($2 + 3))" +repage "$work/preview.png"
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

# Picks folder $1 through "..." (Shift+Tab from Shoot, which has the
# keyboard), typing its path. With no window manager, the keyboard comes back
# to the main window only when the program hands it back.
choose_folder() {
    step="choosing $1 with ..."
    xdotool key shift+Tab space
    wait_for_windows 1 '^Please choose a destination of a photography image\.$'
    xdotool type --delay 10 "$1"
    xdotool key Return
    wait_for_windows 0 '^Please choose a destination'
    xdotool key Tab # back to Shoot
}

# Closes the program from the main window, which has the keyboard, and checks
# that it ended with status 0: with Escape, or with "close-button" from Shoot,
# Tab past Save in to Close and Space.
close_program() {
    step="closing"
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

mkdir "$work/start"
e2e_enter_display
