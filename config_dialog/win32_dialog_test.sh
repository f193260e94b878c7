#!/bin/sh
# The Windows zelvan_tts_config in a real window: the program runs under Wine
# on a private X server (Xvfb), keys are sent with xdotool, screenshots are
# taken with ImageMagick's import and read back with tesseract. Missing tools
# make the test fail, not skip.
#
# Usage: win32_dialog_test.sh <zelvan_tts_config.exe> <config_change_probe.exe> <work folder>
#
# The work folder keeps the screenshots (artifacts/) and a Wine prefix of its
# own: the prefix is set to 192 dots per inch, so that the text is large
# enough to read back reliably, and its roaming application-data folder is
# the one the dialog saves into.

set -u

program=$1
probe=$2
work=$3

title='Zelvan TTS Configuration'
group_text='Text Processing'
accentor_text='Enable stress marks (accentor) for Russian / Belarusian / Ukrainian'
homosolver_text='Enable homograph resolver for Russian (homosolver)'
note_text='Changes take effect immediately without restarting the application.'
save_failed_text='Error: could not save settings.'

# Generous: a loaded machine may take long to start Wine or a program.
deadline=60

artifacts=$work/artifacts
mkdir -p "$artifacts"
failures=0
passes=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

pass() {
    echo "ok: $*"
    passes=$((passes + 1))
}

# Passes or fails by an exit status.
verdict() {  # <status> <message when 0> <message otherwise>
    if [ "$1" -eq 0 ]; then pass "$2"; else fail "$3"; fi
}

# Ends the run at once, for faults after which nothing else can be checked.
abort() {
    fail "$*"
    echo "$passes passed, $failures failed"
    exit 1
}

for tool in Xvfb xdotool import tesseract wine wineserver wineboot cmp; do
    command -v "$tool" >/dev/null ||
        abort "$tool is missing: this test needs Wine, Xvfb, xdotool, ImageMagick and tesseract"
done

export WINEPREFIX="$work/wineprefix"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers in a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
export ZELVAN_TTS_NAMESPACE=test.config_dialog_window_test
unset DISPLAY WAYLAND_DISPLAY

x_server=
probe_pid=
dialog_pid=
cleanup() {
    [ -n "$dialog_pid" ] && kill "$dialog_pid" 2>/dev/null
    exec 4>&-
    [ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null
    # Every Windows process of the test's own prefix, before their X server.
    wineserver -k 2>/dev/null
    [ -n "$x_server" ] && kill "$x_server" 2>/dev/null
    rm -f "$work/probe.in" "$work/display"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# --- The test's own Wine prefix -------------------------------------------

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "making the Wine prefix $WINEPREFIX"
    wineboot -i >"$artifacts/wineboot.log" 2>&1 ||
        abort "wineboot failed: see $artifacts/wineboot.log"
fi
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f \
    >"$artifacts/wine_reg.log" 2>&1 || abort "cannot set the prefix's resolution"

app_data=
for dir in "$WINEPREFIX"/drive_c/users/*/AppData/Roaming; do
    [ -d "$dir" ] && app_data=$dir
done
[ -n "$app_data" ] || abort "no roaming application-data folder in $WINEPREFIX"
settings_dir=$app_data/ZelvanTTS
settings_file=$settings_dir/config.json

# The file as the dialog writes it: five lines, each ending in CR LF.
expected_settings() {
    printf '{\r\n  "enable_accentor": %s,\r\n  "enable_homosolver": %s,\r\n  "enable_reading": %s\r\n}\r\n' \
        "$1" "$2" "$3"
}

check_settings() {  # <what> <accentor> <homosolver> [<reading>, true unless given]
    expected_settings "$2" "$3" "${4:-true}" >"$work/expected.json"
    if [ ! -f "$settings_file" ]; then
        fail "$1: no settings file was written"
    elif cmp -s "$work/expected.json" "$settings_file"; then
        pass "$1: config.json holds $2, $3 with CR LF line ends"
    else
        cp "$settings_file" "$artifacts/unexpected_config.json"
        fail "$1: config.json differs from the expected text (kept as" \
            "artifacts/unexpected_config.json):"
        od -c "$settings_file" | head -8
    fi
}

# --- A program started without any display fails, rather than hang --------

rm -rf "$settings_dir"
timeout "$deadline" wine "$program" >"$artifacts/no_display.out" 2>&1
code=$?
if [ "$code" -eq 1 ]; then
    pass "without a display the program exits with 1"
else
    fail "without a display the program exited with $code instead of 1"
fi
[ ! -e "$settings_file" ] || fail "without a display the program wrote $settings_file"
# The next programs must not join a Wine session that has no display.
wineserver -k 2>/dev/null

# --- The X server ---------------------------------------------------------

# Xvfb picks a free display itself and writes its number once it accepts
# connections.
rm -f "$work/display"
Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp \
    5>"$work/display" >"$artifacts/xvfb.log" 2>&1 &
x_server=$!
waited=0
until grep -q '^[0-9]' "$work/display" 2>/dev/null; do
    kill -0 "$x_server" 2>/dev/null || abort "Xvfb did not start: see $artifacts/xvfb.log"
    [ "$waited" -lt $((deadline * 10)) ] || abort "Xvfb did not start"
    sleep 0.1
    waited=$((waited + 1))
done
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY

# --- A stand-in engine that holds the change signal -------------------------

rm -f "$work/probe.in"
: >"$work/probe.out"
mkfifo "$work/probe.in"
exec 4<>"$work/probe.in"
wine "$probe" <"$work/probe.in" >"$work/probe.out" 2>"$artifacts/probe.err" 4>&- &
probe_pid=$!
probe_lines=1

wait_for_probe_line() {  # <line number>
    waited=0
    while [ "$(wc -l <"$work/probe.out")" -lt "$1" ]; do
        kill -0 "$probe_pid" 2>/dev/null || abort "the change-signal probe ended"
        [ "$waited" -lt $((deadline * 10)) ] || abort "the change-signal probe does not answer"
        sleep 0.1
        waited=$((waited + 1))
    done
}
wait_for_probe_line 1
# A Windows program: its lines end in CR LF.
probe_line() {  # <line number>
    sed -n "${1}p" "$work/probe.out" | tr -d '\r'
}
[ "$(probe_line 1)" = ready ] || abort "the change-signal probe cannot open the signal"

# Whether the change signal was set since the last look; consumes it.
change_signalled() {
    echo >&4
    probe_lines=$((probe_lines + 1))
    wait_for_probe_line "$probe_lines"
    [ "$(probe_line "$probe_lines")" = signalled ]
}

# --- The dialog -------------------------------------------------------------

window=
# Starts the dialog and waits for its window; window is its X id.
open_dialog() {  # <name for its output>
    window=
    wine "$program" >"$artifacts/$1.out" 2>&1 &
    dialog_pid=$!
    waited=0
    while [ -z "$window" ]; do
        kill -0 "$dialog_pid" 2>/dev/null ||
            abort "$1: the dialog ended before showing its window (see $artifacts/$1.out)"
        [ "$waited" -lt $((deadline * 10)) ] || abort "$1: no dialog window appeared"
        window=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1)
        [ -n "$window" ] || sleep 0.1
        waited=$((waited + 1))
    done
}

# Keys as typed by the user into the dialog, which is given the keyboard focus
# first (there is no window manager to give it).
type_keys() {
    xdotool windowfocus --sync "$window" || fail "cannot focus the dialog"
    xdotool key --delay 100 "$@" || fail "cannot type $*"
}

# Waits for the program to end: code is its exit code, or 255 when it was
# still running at the deadline (and then ended by the test).
wait_for_exit() {
    waited=0
    while kill -0 "$dialog_pid" 2>/dev/null; do
        if [ "$waited" -ge $((deadline * 10)) ]; then
            kill "$dialog_pid" 2>/dev/null
            wait "$dialog_pid" 2>/dev/null
            dialog_pid=
            code=255
            return
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    wait "$dialog_pid"
    code=$?
    dialog_pid=
}

check_closed() {  # <what>
    wait_for_exit
    if [ "$code" -eq 0 ]; then
        pass "$1: the dialog closed with exit code 0"
    else
        fail "$1: the dialog ended with $code instead of closing with 0 (255: still open)"
    fi
}

shown=
# Takes pictures of the screen until all the texts show (the window may not be
# drawn yet, or not redrawn), keeping the last as an artefact; shown is the
# text read from it, every run of white space made one blank.
wait_for_texts() {  # <file name> <text>...
    picture=$artifacts/$1
    shift
    waited_from=$(date +%s)
    while :; do
        import -window root "$picture" 2>>"$artifacts/import.log" || fail "import failed"
        shown=$(tesseract "$picture" stdout 2>>"$artifacts/tesseract.log" | tr -s ' \n\t\r\f' ' ')
        missing=
        for text in "$@"; do
            case "$shown" in
                *"$text"*) ;;
                *) missing="$missing
  $text" ;;
            esac
        done
        [ -z "$missing" ] && return 0
        if [ $(($(date +%s) - waited_from)) -ge "$deadline" ] ||
            ! kill -0 "$dialog_pid" 2>/dev/null; then
            fail "missing in $(basename "$picture"):$missing
which shows
  $shown"
            return 1
        fi
        sleep 0.2
    done
}

# 1. The texts, and a save from the keyboard: the focus starts on the first
#    box, Space unchecks it, Enter saves.
rm -rf "$settings_dir"
change_signalled
open_dialog shows_and_saves
name=$(xdotool getwindowname "$window")
if [ "$name" = "$title" ]; then
    pass "the window is titled \"$title\""
else
    fail "the window is titled \"$name\""
fi
if wait_for_texts dialog.png "$group_text" "$accentor_text" "$homosolver_text" "$note_text" \
    Save Cancel; then
    pass "the dialog shows its texts and buttons"
fi
case "$shown" in
    *Error*) fail "a fresh dialog shows an error: $shown" ;;
esac
type_keys space Return
check_closed "Space, Enter"
check_settings "Space, Enter" false true
change_signalled
verdict $? "saving sets the change signal" "saving did not set the change signal"

# 2. The boxes start from the file, each from its own member; Tab reaches the
#    second box and then the third.
mkdir -p "$settings_dir"
printf '{"enable_homosolver": true, "enable_accentor": false}' >"$settings_file"
open_dialog starts_from_the_file
type_keys Tab space Tab space Return
check_closed "Tab, Space, Tab, Space, Enter"
check_settings "a file with the stress marks off, then Tab, Space, Tab, Space, Enter" \
    false false false
change_signalled
verdict $? "saving again sets the change signal" "saving again did not set the change signal"

# 3. Escape and the close box (Alt+F4 sends the same close command as a click
#    on it) cancel: the file stays as it was, or absent.
printf '{"enable_accentor": true}\n' >"$settings_file"
cp "$settings_file" "$work/before.json"
open_dialog escape
type_keys space Escape
check_closed "Escape"
cmp -s "$work/before.json" "$settings_file"
verdict $? "Escape leaves the file untouched" "Escape changed the settings file"
rm -rf "$settings_dir"
open_dialog close_box
type_keys space alt+F4
check_closed "the close box"
[ ! -e "$settings_file" ]
verdict $? "the close box writes no file" "the close box wrote $settings_file"
! change_signalled
verdict $? "cancelling leaves the change signal alone" "cancelling set the change signal"

# 4. A failed save keeps the window open with the error line; once the cause
#    is gone, Save again writes the file and closes the dialog. The settings
#    folder is a file, so nothing can be written in it.
printf 'in the way' >"$settings_dir"
open_dialog save_fails
type_keys Return
if wait_for_texts dialog_save_failed.png "$save_failed_text" "$accentor_text" "$homosolver_text"
then
    pass "a failed save shows \"$save_failed_text\""
fi
if kill -0 "$dialog_pid" 2>/dev/null; then
    pass "a failed save keeps the dialog open"
else
    fail "a failed save closed the dialog"
fi
! change_signalled
verdict $? "a failed save leaves the change signal alone" "a failed save set the change signal"
rm -f "$settings_dir"
type_keys Return
check_closed "Enter after the cause was removed"
check_settings "Enter after the cause was removed" true true
change_signalled
verdict $? "the second save sets the change signal" "the second save did not set the change signal"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
