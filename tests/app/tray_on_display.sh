#!/usr/bin/env bash
# tray_on_display.sh SCENARIO VELORN DEVSIM FILL DISPLAY_TOOL CZNOCASE ICON
#
# The real program on an X display under a window manager (run it through
# tests/on_display.sh) with a tray host (trayer), the simulated devices on a
# pseudo-terminal as COM1 and "velorn.ico" in its working folder. Every
# state is awaited by polling with a deadline.
#
#   dialogs  the playback dialog typed into: the "Hlášení" tab shows its file
#            and length (read back through the clipboard) and both the dialog
#            and the tab's "Přehrát soubor" play them for that length; the
#            task editor, both output dialogs and "Probíhá hlášení" moved,
#            closed with Esc (the editor's question, the ON-AIR lamp out) and
#            opened again stand where they were moved to, to the pixel, with
#            their sections in velorn.INI; Esc closes the calendar and the
#            wait for the MIC switch; SIGTERM with "Probíhá hlášení" open
#            puts the ON-AIR lamp out
#   tray     it connects and leaves the screen; a click on its icon in the
#            tray host brings it back, viewable and above a window that
#            covered it; the tray host killed, the hidden window comes back
#            minimised; the tray host started again gets the icon back, and
#            the window, brought back by a click, hides again when minimised
#   sigterm  SIGTERM while the window is hidden, at the start of a task
#            scan with a task due: exit status 0, the INI written with the
#            start count raised, no task started after the signal, every
#            record file passing the integrity check with its records intact
#            (the due task unbooked), the installation switched off
#   exit     the window brought back from the tray (hidden before it was
#            ever shown), centred in the work area, "Konec programu" on
#            "Hlavní panel": the question, centred over the window,
#            answered "Ne", then closed with
#            its close box, keeps the program running with nothing sent to
#            the relays; answered "Ano", the device gets "r64\r", "r0\r" ..
#            "r39\r", the program ends with status 0, the INI written (the
#            start count raised) and the record files whole
#   place    ten hides (minimised) and shows through the icon, then two
#            second starts in its folder (one while it hides in the tray,
#            one while it is shown), each answered with Enter on its box:
#            the window comes back every time with its frame where it was
#            first shown, to the pixel, its caption on the screen
#   busy     shown, a click on its icon while a scan's traffic blocks the
#            program: once the scan is over, the window is still viewable,
#            active and on top
#   keys     on "Nastavení", "Vlož" pressed and a name typed, twice, while a
#            scan's traffic blocks the program: the keys land in the new
#            output rows, whose numbers and names are stored
#   shared   while it runs, the sqlite3 tool checks and reads each record
#            file as the README shows and adds a task to Tasks.tps: the next
#            scan runs and books it, no box appears, nothing of the program's
#            files is deleted under it; an output named on "Nastavení" and
#            killed with -9 right after another reader sees it is kept
#
# Screenshots go to $VELORN_SCREENSHOTS (as tray-*.png). Exits 0 when every
# check held; 1 with the failed check on standard error.
set -uo pipefail

[ $# -eq 7 ] || { echo "usage: $0 dialogs|tray|sigterm|exit|place|busy|keys|shared VELORN DEVSIM FILL DISPLAY_TOOL CZNOCASE ICON" >&2; exit 2; }
scenario=$1 velorn=$2 devsim=$3 fill=$4 display_tool=$5 cznocase=$6 icon=$7
for tool in trayer xdotool xwininfo xprop xmessage sqlite3; do
  command -v "$tool" >/dev/null || { echo "tray_on_display: $tool is missing (scripts/setup-deps.sh installs it)" >&2; exit 1; }
done
[ -n "${DISPLAY:-}" ] || { echo "tray_on_display: no DISPLAY (run it through tests/on_display.sh)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/velorn-tray.XXXXXX")
shots=${VELORN_SCREENSHOTS:-$work/shots}
mkdir -p "$shots" "$work/run" "$work/runtime"
chmod 700 "$work/runtime"
trayer_pid="" velorn_pid="" cover_pid="" devsim_pid=""

# stop PID: SIGTERM, then SIGKILL when it has not ended 10 s later; reaped.
stop() {
  kill "$1" 2>/dev/null || return 0
  local deadline=$((SECONDS + 10))
  while kill -0 "$1" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.05; done
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}
cleanup() {
  for p in $velorn_pid $cover_pid $trayer_pid $devsim_pid; do
    stop "$p"
  done
  exec 4>&- 2>/dev/null
  [ -n "${VELORN_KEEP_WORK:-}" ] && echo "work folder kept: $work" >&2 || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() { echo "ok: $*" >&2; }
# Stops at once: what follows needs what failed.
die() {
  echo "FAIL: $*" >&2
  for f in velorn.out velorn.err devsim.log; do
    [ -s "$work/$f" ] && { echo "--- $f (tail)" >&2; tail -n 20 "$work/$f" >&2; }
  done
  exit 1
}

# await SECONDS COMMAND...: polls the command until it succeeds; false when
# the deadline passes first.
await() {
  local limit=$1
  shift
  local deadline=$((SECONDS + limit))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}

shot() { "$display_tool" shot "$shots/tray-$1.png" || fail "screenshot $1"; }

# --- the tray host

# trayer's panel window (there once it holds an icon); empty while there
# is none.
trayer_window() { xdotool search --classname '^panel$' 2>/dev/null | head -n 1; }
start_trayer() {
  trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
    --SetPartialStrut true --transparent false --tint 0x303030 >"$work/trayer.log" 2>&1 &
  trayer_pid=$!
  await 10 "$display_tool" tray || die "trayer did not become the tray host"
}
stop_trayer() {
  stop "$trayer_pid"
  trayer_pid=""
  await 10 eval '! "$display_tool" tray' || die "the tray host did not go"
}

# The icon trayer holds: "X Y W H" of the first window embedded in its panel
# at least 8 pixels wide (the program's is its only one); empty for none.
tray_icon() {
  local panel
  panel=$(trayer_window)
  [ -n "$panel" ] || return 1
  local id
  for id in $(xwininfo -tree -id "$panel" 2>/dev/null | grep -o '^ *0x[0-9a-f]*' | tail -n +2); do
    local info x y w h
    info=$(xwininfo -id "$id" 2>/dev/null) || continue
    grep -q 'Map State: IsViewable' <<<"$info" || continue
    x=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$info")
    y=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$info")
    w=$(awk '/Width:/ {print $NF}' <<<"$info")
    h=$(awk '/Height:/ {print $NF}' <<<"$info")
    if [ "$w" -ge 8 ] && [ "$h" -ge 8 ]; then
      echo "$x $y $w $h"
      return 0
    fi
  done
  return 1
}
icon_in_tray() { [ -n "$(tray_icon)" ]; }
# Clicks the icon, a quarter of its height above or below its centre by
# turns: two clicks in a row at one point would make a double click.
clicks=0
click_icon() {
  local x y w h
  read -r x y w h <<<"$(tray_icon)" || return 1
  clicks=$((clicks + 1))
  xdotool mousemove $((x + w / 2)) $((y + h / 2 + (clicks % 2 ? h / 4 : -h / 4))) click 1
}

# --- the program and its devices

start_devices() {
  mkfifo "$work/devsim.in"
  "$devsim" <"$work/devsim.in" >"$work/devsim.log" 2>"$work/devsim.err" &
  devsim_pid=$!
  exec 4>"$work/devsim.in"  # the simulator runs while this stays open
  await 10 test -s "$work/devsim.log" || die "the simulated devices did not start"
  pts=$(head -n 1 "$work/devsim.log")
}
# The device received this command ("9600 q\r" as the simulator writes it).
device_got() { grep -qxF -- "$1" "$work/devsim.log"; }

start_velorn() {
  (cd "$work/run" && exec env VELORN_COM1="$pts" XDG_RUNTIME_DIR="$work/runtime" SDL_AUDIODRIVER=dummy \
    NOTIFY_SOCKET= VELORN_MSGBOX_ANSWERS= VELORN_UNIT_DIR="$work/runtime/no-unit-folder" \
    "$velorn" >"$work/velorn.out" 2>"$work/velorn.err") &
  velorn_pid=$!
  await 20 grep -q '^velorn: ready' "$work/velorn.out" || die "the program did not open its window"
}
# Its main window, by its caption; it has none on the display before it is
# first shown.
window=""
main_window_found() {
  [ -n "$window" ] || window=$(xdotool search --all --pid "$velorn_pid" --name 'vELORN v\.' 2>/dev/null | head -n 1)
  [ -n "$window" ]
}
running() { kill -0 "$velorn_pid" 2>/dev/null; }

# --- window states

# "X Y" of the main window's frame (its client's place less the frame the
# window manager draws around it) while it is viewable; empty otherwise.
frame_place() {
  main_window_found || return 1
  [ "$(map_state)" = IsViewable ] || return 1
  local x y
  read -r x y _ <<<"$(frame_of "$window")" || return 1
  echo "$x $y"
}

wm_state() { main_window_found && xprop -id "$window" WM_STATE 2>/dev/null | awk '/window state:/ {print $NF}'; }
map_state() {
  if main_window_found; then xwininfo -id "$window" 2>/dev/null | awk '/Map State:/ {print $NF}'; else echo IsUnMapped; fi
}
# Off the screen and out of the taskbar: unmapped, not minimised.
hidden() { [ "$(map_state)" = IsUnMapped ] && [ "$(wm_state)" != Iconic ]; }
minimised() { [ "$(map_state)" = IsUnMapped ] && [ "$(wm_state)" = Iconic ]; }
active_window() { printf '0x%x' "$(xdotool getactivewindow 2>/dev/null || echo 0)"; }
same_window() { [ $(($1)) -eq $(($2)) ]; }
# Viewable, active, and above every other normal window (docks aside).
shown_on_top() {
  [ "$(map_state)" = IsViewable ] || return 1
  main_window_found && same_window "$(active_window)" "$window" || return 1
  local top="" w
  for w in $(xprop -root _NET_CLIENT_LIST_STACKING | grep -o '0x[0-9a-f]*' | tac); do
    xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DOCK && continue
    top=$w
    break
  done
  [ -n "$top" ] && same_window "$top" "$window"
}

# A window that covers the screen below the tray host, active.
cover_screen() {
  xmessage -name velorn-cover -geometry 1280x960+0+48 "covering" 2>/dev/null &
  cover_pid=$!
  local cover=""
  cover_found() { cover=$(xdotool search --onlyvisible --classname '^velorn-cover$' 2>/dev/null | head -n 1); [ -n "$cover" ]; }
  await 10 cover_found || die "the covering window did not appear"
  xdotool windowactivate "$cover" 2>/dev/null
  await 10 eval 'same_window "$(active_window)" "$cover"' || die "the covering window did not become active"
}

# --- records

sq() { sqlite3 "$work/run/$1" ".load $cznocase" "$2"; }
task_columns='"TAS:ID","TAS:AKTIVNI","TAS:DATUM_SPUSTENI","TAS:CAS_SPUSTENI","TAS:OPAKOVANI","TAS:NAZEV","TAS:PREHRAT","TAS:DELKA_SOUBORU","TAS:VYSTUP1_5","TAS:VYSTUP2_5","TAS:VYSTUP3_5","TAS:VYSTUP4_5","TAS:VYSTUP5_5","TAS:AUTOMATICKY_SMAZAT"'
dump_records() {
  sq Settings.tps 'SELECT * FROM records ORDER BY rowid'
  sq Outputs.tps 'SELECT * FROM records ORDER BY rowid'
  sq Preset.tps 'SELECT * FROM records ORDER BY rowid'
  sq Tasks.tps "SELECT $task_columns FROM records ORDER BY rowid"
}
# The line of the first relay command of the first scan; false before it.
scan_at=""
scan_began() {
  scan_at=$(awk '$0 == "19200 (0504102012)" { lamp = 1 } lamp && $0 == "9600 r64\\r" { print NR; exit }' "$work/devsim.log")
  [ -n "$scan_at" ]
}
# A scan's first relay command after line $1 of the device's log; sets
# scan_at to its line.
scan_since() {
  scan_at=$(tail -n +"$(($1 + 1))" "$work/devsim.log" |
    awk -v from="$1" '$0 == "19200 (0504102012)" { lamp = 1 } lamp && $0 == "9600 r64\\r" { print from + NR; exit }')
  [ -n "$scan_at" ]
}
# The scan's last silencing command (s39) at or after line $1.
scan_silenced_since() { tail -n +"$1" "$work/devsim.log" | grep -qxF '9600 s39\r'; }
start_count() { sed -n 's/^GLO:Pocet_spusteni_programu=//p' "$work/run/velorn.INI" | tr -d '\r'; }

prepare_folder() {
  (cd "$work/run" && "$fill") || die "the working folder could not be filled"
  cp "$icon" "$work/run/velorn.ico"
}

# --- the exit and the end

# "X Y": the centre of a window's client area; of the work area.
window_centre() {
  local X Y WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null | grep -E '^(X|Y|WIDTH|HEIGHT)=[0-9-]+$')"
  echo "$((X + WIDTH / 2)) $((Y + HEIGHT / 2))"
}
work_area_centre() {
  local x y w h
  read -r x y w h <<<"$(xprop -root _NET_WORKAREA | grep -o '[0-9]\+' | head -n 4 | tr '\n' ' ')"
  echo "$((x + w / 2)) $((y + h / 2))"
}
# Two points "X Y" at most a caption's height apart on either axis (the
# centres of client areas; the caption shifts a client area down).
near() {
  local ax ay bx by
  read -r ax ay <<<"$1"
  read -r bx by <<<"$2"
  [ $((ax > bx ? ax - bx : bx - ax)) -le 32 ] && [ $((ay > by ? ay - by : by - ay)) -le 32 ]
}

# The question before the exit: its box while it is shown, else empty.
question_box() {
  xdotool search --all --onlyvisible --pid "$velorn_pid" --name '^Potvrzení operace$' 2>/dev/null | head -n 1
}
question_shown() {
  local box
  box=$(question_box)
  [ -n "$box" ] && same_window "$(active_window)" "$box"
}
question_gone() { [ -z "$(question_box)" ]; }
# The relay commands the device got after line $1 of its log, up to the
# next scan (which begins with the LINE lamp off).
relay_since() {
  tail -n +"$(($1 + 1))" "$work/devsim.log" | awk '$0 == "19200 (0504102012)" { exit } /^9600 r/'
}
log_lines() { wc -l <"$work/devsim.log"; }
# The start's traffic is over: the amplifier's release of the first ticks,
# then a console poll.
start_settled() { awk '$0 == "9600 r64\\r" { r = 1 } r && $0 == "19200 (0500100006)" { ok = 1; exit } END { exit !ok }' "$work/devsim.log"; }
# A console poll after line $1: the program went on with its ticks.
polled_since() { tail -n +"$(($1 + 1))" "$work/devsim.log" | grep -qxF '19200 (0500100006)'; }
# Asks for the exit from the focused "Konec programu" button and awaits the
# question; $1 names its screenshot.
ask_exit() {
  xdotool key space
  await 10 question_shown || die "no exit question after \"Konec programu\" (active $(active_window))"
  [ -z "${1:-}" ] || shot "$1"
}
# The question answered without "Ano" ($1 says how): it goes, the program
# runs on, polls the console and sends no relay command.
refused() {
  local mark=$2
  await 10 question_gone || die "$1: the question stayed"
  await 10 eval 'polled_since "$mark" || ! running' || die "$1: no console poll after the answer"
  running || die "$1: the program ended"
  local sent
  sent=$(relay_since "$mark")
  [ -z "$sent" ] && pass "$1: the program runs on, nothing sent to the relays" ||
    fail "$1: relay commands after the click: $(echo "$sent" | tr '\n' ' ')"
  await 10 shown_on_top || die "$1: the main window did not come back active"
}
# Awaits the program's end within $1 seconds; sets status.
status=""
await_end() {
  local deadline=$((SECONDS + $1))
  while running; do
    [ "$SECONDS" -lt "$deadline" ] || die "still running $1 s later"
    sleep 0.05
  done
  wait "$velorn_pid"
  status=$?
  velorn_pid=""
}
# Every record file passes the integrity check and holds what $1 held.
check_records() {
  local f
  for f in Settings.tps Outputs.tps Preset.tps Tasks.tps; do
    local check
    check=$(sq "$f" 'PRAGMA integrity_check' 2>&1)
    [ "$check" = ok ] && pass "$f: integrity ok" || fail "$f: integrity_check: $check"
  done
  local after
  after=$(dump_records)
  [ "$after" = "$1" ] && pass "records intact" || fail "records changed:
$(diff <(echo "$1") <(echo "$after"))"
}
# The last relay commands from line $1 of the device's log on are the
# amplifier's release, then every zone off; $2 says who sent them.
switched_off_from() {
  local tail
  tail=$(tail -n +"$1" "$work/devsim.log" | grep '^9600 ' | tail -n 41)
  [ "$tail" = "$(printf '9600 r%s\\r\n' 64 $(seq 0 39))" ] && pass "$2 switched everything off" ||
    fail "after $2 the last relay commands were not r64, r0 .. r39: $(echo "$tail" | tr '\n' ' ')"
}
# The filled folder, the tray host, the devices and the program, connected
# and hidden.
start_hidden() {
  start_trayer
  prepare_folder
  start_devices
  start_velorn
  await 10 hidden || die "the connected window did not leave the screen"
}
# The hidden window brought back by a click on its icon.
show_from_tray() {
  await 10 icon_in_tray || die "no icon in the tray host"
  click_icon || die "the icon could not be clicked"
  await 10 shown_on_top || die "a click on the icon did not bring the window back"
}
# The filled folder, the INI with the start count 4 ($before: the records
# as filled), the tray host, the devices and the program, connected and
# hidden.
before=""
start_counted() {
  start_trayer
  prepare_folder
  printf '[Preserved]\r\nGLO:Pocet_spusteni_programu=4\r\n' >"$work/run/velorn.INI"
  before=$(dump_records) || die "the filled records could not be read"
  start_devices
  start_velorn
  await 10 hidden || die "the connected window did not leave the screen"
}

# --- the second start

# Starts the program again in its folder and answers its box with Enter;
# the second start ends with status 0 and opens no window of its own.
second_start() {
  (cd "$work/run" && exec env VELORN_COM1="$pts" XDG_RUNTIME_DIR="$work/runtime" SDL_AUDIODRIVER=dummy \
    NOTIFY_SOCKET= VELORN_MSGBOX_ANSWERS= VELORN_UNIT_DIR="$work/runtime/no-unit-folder" \
    "$velorn" >"$work/second.out" 2>"$work/second.err") &
  local second=$! box
  box=$(timeout 20 xdotool search --sync --onlyvisible --pid "$second" --name '^Stop$' 2>/dev/null | head -n 1)
  [ -n "$box" ] || { kill "$second" 2>/dev/null; die "the second start showed no box"; }
  xdotool windowactivate --sync "$box" key Return 2>/dev/null
  local deadline=$((SECONDS + 20))
  while kill -0 "$second" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || { kill "$second"; die "the second start did not end after its box"; }
    sleep 0.05
  done
  wait "$second" || fail "the second start ended with status $?"
  ! grep -q '^velorn: ready' "$work/second.out" || fail "the second start opened a main window"
}

# --- scenarios

scenario_tray() {
  start_trayer
  prepare_folder
  start_devices
  start_velorn
  await 10 device_got '9600 q\r' || fail "no greeting at the device"
  await 10 hidden || die "the connected window did not leave the screen (map $(map_state), state $(wm_state))"
  pass "connected, the window left the screen"
  await 10 icon_in_tray || die "no icon in the tray host"
  pass "the icon is in the tray host: $(tray_icon)"
  shot 1-hidden

  cover_screen
  click_icon || die "the icon could not be clicked"
  if await 10 shown_on_top; then pass "a click on the icon brought the window back on top"; else
    fail "a click on the icon: map $(map_state), active $(active_window), window $window"; fi
  shot 2-shown

  xdotool windowminimize "$window" 2>/dev/null
  await 10 hidden || die "minimised, the window did not leave the screen for the tray (state $(wm_state))"
  pass "minimised, the window went to the tray"

  stop_trayer
  if await 10 minimised; then pass "the tray host gone, the window came back minimised"; else
    fail "the tray host gone: map $(map_state), state $(wm_state)"; fi
  shot 3-no-tray-host
  # Without a tray host the close box (Alt+F4) only minimises it.
  xdotool windowactivate "$window" 2>/dev/null
  await 10 shown_on_top || fail "activated without a tray host, the window did not come back"
  xdotool key alt+F4
  if await 10 minimised; then pass "without a tray host the close box minimised the window"; else
    fail "without a tray host, the close box: map $(map_state), state $(wm_state)"; fi

  start_trayer
  if await 15 icon_in_tray; then pass "the tray host back, the icon is in it again"; else
    fail "the tray host back: no icon in it"; fi
  shot 4-tray-host-back
  click_icon || die "the icon could not be clicked again"
  await 10 shown_on_top || fail "a click on the icon after the tray host came back: map $(map_state)"
  xdotool windowminimize "$window" 2>/dev/null
  if await 10 hidden; then pass "the window hides in the tray again"; else
    fail "after the tray host came back the window did not hide (state $(wm_state))"; fi
  shot 5-hidden-again

  running || die "the program ended on its own"
  kill -TERM "$velorn_pid"
  await_end 15
  [ "$status" -eq 0 ] || fail "SIGTERM: exit status $status"
}

# --- the dialogs

# The visible window of the program whose caption matches; empty if none.
dialog() { xdotool search --all --onlyvisible --pid "$velorn_pid" --name "$1" 2>/dev/null | head -n 1; }
dialog_shown() { local d; d=$(dialog "$1") && [ -n "$d" ] && same_window "$(active_window)" "$d"; }
dialog_gone() { [ -z "$(dialog "$1")" ]; }
# "X Y W H" of a window's frame: its client's place and size and the frame
# the window manager draws around it.
frame_of() {
  local info x y w h left right top bottom
  info=$(xwininfo -id "$1" 2>/dev/null) || return 1
  x=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$info")
  y=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$info")
  w=$(awk '/Width:/ {print $NF}' <<<"$info")
  h=$(awk '/Height:/ {print $NF}' <<<"$info")
  read -r left right top bottom <<<"$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | grep -o '[0-9]\+' | tr '\n' ' ')"
  [ -n "${bottom:-}" ] || return 1
  echo "$((x - left)) $((y - top)) $((w + left + right)) $((h + top + bottom))"
}
# Clicks a point given from the bottom centre of a window's frame: the
# closing buttons of a dialog and the buttons of "Hlavní panel" stand
# centred in a row at the bottom.
click_from_bottom() {
  local x y w h
  read -r x y w h <<<"$(frame_of "$1")" || return 1
  xdotool mousemove $((x + w / 2 + $2)) $((y + h - $3)) click 1
}
click_ok() { click_from_bottom "$1" -42 26; }
# Clicks a point given from the top left corner of a window's frame.
click_at() {
  local x y w h
  read -r x y w h <<<"$(frame_of "$1")" || return 1
  xdotool mousemove $((x + $2)) $((y + $3)) click 1
}
# The program went round its loop twice (two console polls): what came
# before, the operator's input included, has been handled.
settle() {
  local m
  m=$(log_lines)
  await 10 polled_since "$m" || return 1
  m=$(log_lines)
  await 10 polled_since "$m"
}
# The main window's tabs and the buttons of "Hlavní panel", each once the
# program has handled what came before (a tab not yet switched would take
# the click).
main_tab() {
  settle
  case $1 in
    main) click_at "$window" 57 43 ;;
    tasks) click_at "$window" 169 43 ;;
    announce) click_at "$window" 349 43 ;;
  esac
  settle
}
# Keys for the main window, once it is active again and has handled what
# came before.
main_keys() {
  await 10 eval 'same_window "$(active_window)" "$window"' || return 1
  settle && xdotool key "$@"
}
press_live() { settle && click_from_bottom "$window" -257 58; }
press_playback() { settle && click_from_bottom "$window" -155 58; }
# What an entry of the window shows: clicked at that point, its text
# selected and copied, the clipboard read.
entry_text() {
  click_at "$1" "$2" "$3" || return 1
  xdotool key ctrl+a ctrl+c
  sleep 0.3
  "$display_tool" clipboard 2>/dev/null
}
# The frame's place of the dialog $1 after it was moved to $2 $3 (the
# window manager keeps it on the desktop).
moved=""
move_dialog() {
  local d x y
  d=$(dialog "$1")
  xdotool windowmove "$d" "$2" "$3"
  client_at() { xwininfo -id "$d" 2>/dev/null | grep -q "Corners:  +$2+$3 "; }
  await 5 client_at "$d" "$2" "$3" || fail "$1 could not be moved to $2 $3"
  read -r x y _ <<<"$(frame_of "$d")"
  moved="$x $y"
}
reopened_at() {
  local x y
  read -r x y _ <<<"$(frame_of "$(dialog "$1")")"
  [ "$x $y" = "$2" ] && pass "$1 opened again at $2, where it was moved to" ||
    fail "$1 opened again at $x $y, moved to $2"
}
# A visible window of the program other than the main window; empty if none.
above_main() {
  local w
  for w in $(xdotool search --all --onlyvisible --pid "$velorn_pid" --name '.' 2>/dev/null); do
    same_window "$w" "$window" || { echo "$w"; return 0; }
  done
  return 0
}
# The console's switches: 0 none, 1 ON-AIR key, 2 MIC switch, 3 both.
console() { printf '%s' "$1" >&4; }
# The seconds from the amplifier switched on to its release after line $1
# of the device's log, as they came (awaited, at most $2 s).
amp_seconds() {
  local from=$1 on=""
  await "$2" eval 'tail -n +"$((from + 1))" "$work/devsim.log" | grep -qxF "9600 s64\r"' || return 1
  on=$(date +%s%N)
  await "$2" eval 'tail -n +"$((from + 1))" "$work/devsim.log" | grep -A1000 -xF "9600 s64\r" | grep -qxF "9600 r64\r"' ||
    return 1
  echo $((($(date +%s%N) - on) / 1000000))
}
# The console's lamp commands after line $1: "on" for 501, "off" for 500.
on_air_since() {
  tail -n +"$(($1 + 1))" "$work/devsim.log" |
    awk '$0 == "19200 (0504100111)" { print "on" } $0 == "19200 (0504100010)" { print "off" }' | tr '\n' ' '
}

scenario_dialogs() {
  start_counted
  show_from_tray
  await 20 start_settled || die "the start did not release the amplifier"
  local playback='^Specifikace výstupů$' editor='^Přidání úlohy$' info='^Probíhá hlášení$'
  local question='^Potvrzení operace$' cancel='^Změny nebudou uloženy!$' calendar='^Zvolte datum$'
  local wav="$work/run/silence.wav"

  # The playback dialog: a file and 3 s typed into it, moved, played
  # without outputs.
  press_playback
  await 10 dialog_shown "$playback" || die "no playback dialog after \"Přehraj hlášení\""
  xdotool key ctrl+a
  xdotool type --delay 10 "$wav"
  xdotool key Tab Tab ctrl+a
  xdotool type --delay 10 "00:00:03"
  move_dialog "$playback" 60 100
  local playback_at=$moved
  shot dialogs-1-playback
  local mark
  mark=$(log_lines)
  click_ok "$(dialog "$playback")"
  await 10 dialog_shown "$question" || die "no question about the outputs after OK"
  xdotool key Tab space
  local ms
  ms=$(amp_seconds "$mark" 20) || die "the dialog's playback did not reach the device"
  [ "$ms" -ge 2500 ] && [ "$ms" -lt 6000 ] && pass "the dialog's playback lasted ${ms} ms: its 3 s" ||
    fail "the dialog's playback lasted ${ms} ms, not 3 s"
  await 10 dialog_gone "$playback" || die "the playback dialog stayed"
  main_tab announce
  shot dialogs-2-announce-tab
  local file length
  file=$(entry_text "$window" 140 165)
  length=$(entry_text "$window" 140 194)
  [ "$file" = "$wav" ] && pass "the \"Hlášení\" tab shows the dialog's file" ||
    fail "the \"Hlášení\" tab shows the file '$file', the dialog played $wav"
  [ "$length" = "00:00:03" ] && pass "the \"Hlášení\" tab shows the dialog's length" ||
    fail "the \"Hlášení\" tab shows the length '$length', the dialog played 00:00:03"
  # Its "Přehrát soubor" plays what it shows, for as long.
  mark=$(log_lines)
  click_at "$window" 385 224
  await 10 dialog_shown "$question" || die "no question about the outputs after \"Přehrát soubor\""
  xdotool key Tab space
  ms=$(amp_seconds "$mark" 20) || die "\"Přehrát soubor\" did not reach the device"
  [ "$ms" -ge 2500 ] && [ "$ms" -lt 6000 ] && pass "\"Přehrát soubor\" played ${ms} ms: the 3 s the tab shows" ||
    fail "\"Přehrát soubor\" played ${ms} ms, the tab shows 00:00:03"

  # Opened again where it was moved to; Esc closes it.
  main_tab main
  press_playback
  await 10 dialog_shown "$playback" || die "no playback dialog the second time"
  reopened_at "$playback" "$playback_at"
  shot dialogs-3-playback-again
  xdotool key Escape
  await 10 dialog_gone "$playback" && pass "Esc closed the playback dialog" || fail "Esc left the playback dialog open"

  # The task editor: moved, Esc asks (a new task), Esc on the question
  # keeps it, "Ano" closes it; the calendar from it closes with Esc.
  main_tab tasks
  main_keys alt+n
  await 10 dialog_shown "$editor" || die "no task editor after \"Nová úloha\""
  move_dialog "$editor" 40 80
  local editor_at=$moved
  xdotool key Escape
  await 10 dialog_shown "$cancel" && pass "Esc in the editor asks its cancel question" || die "Esc in the editor did not ask"
  shot dialogs-4-editor-question
  xdotool key Escape
  await 10 dialog_shown "$editor" && pass "Esc on the question keeps the editor open" || die "the editor closed on Esc on its question"
  xdotool key Tab Tab Tab Tab space
  await 10 dialog_shown "$calendar" || die "no calendar from the editor"
  shot dialogs-5-calendar
  xdotool key Escape
  await 10 dialog_gone "$calendar" && pass "Esc closed the calendar" || fail "Esc left the calendar open"
  await 10 dialog_shown "$editor" || die "the editor is gone with the calendar"
  xdotool key Escape
  await 10 dialog_shown "$cancel" || die "no cancel question the second time"
  xdotool key alt+a
  await 10 dialog_gone "$editor" && pass "\"Ano\" closed the editor" || die "\"Ano\" left the editor open"
  main_keys alt+n
  await 10 dialog_shown "$editor" || die "no task editor the second time"
  reopened_at "$editor" "$editor_at"
  shot dialogs-6-editor-again
  xdotool key Escape
  await 10 dialog_shown "$cancel" || die "no cancel question the third time"
  xdotool key alt+a
  await 10 dialog_gone "$editor" || die "the editor stayed"

  # The live announcement: with the MIC switch off, the wait, given up
  # with Esc.
  main_tab main
  console 0
  sleep 2
  press_live
  local box="" wait=""
  await 10 eval 'box=$(above_main) && [ -n "$box" ]' || die "no box about the MIC switch"
  xdotool key Return
  await 10 eval 'wait=$(above_main) && [ -n "$wait" ] && [ "$wait" != "$box" ]' || die "no wait for the MIC switch"
  shot dialogs-7-mic-wait
  mark=$(log_lines)
  xdotool key Escape
  await 10 eval '[ -z "$(above_main)" ]' && pass "Esc gave the wait for the MIC switch up" ||
    fail "Esc left the wait for the MIC switch open"
  [ -z "$(on_air_since "$mark")" ] || fail "the wait given up sent ON-AIR lamp commands"

  # With the MIC switch on: the output choice moved, output 1, OK; the
  # announcement window moved, its ON-AIR lamp lit, closed with Esc once
  # the key is off again (so that nothing after the window lights it).
  console 2
  sleep 2
  press_live
  await 10 dialog_shown "$playback" || die "no output choice after \"Hlášení\""
  move_dialog "$playback" 600 140
  local live_at=$moved
  xdotool key space
  click_ok "$(dialog "$playback")"
  await 15 dialog_shown "$info" || die "no announcement window after the output choice"
  move_dialog "$info" 50 600
  local info_at=$moved
  console 3
  mark=$(log_lines)
  await 10 eval '[ -n "$(on_air_since "$mark")" ]' || die "the announcement window did not light the ON-AIR lamp"
  shot dialogs-8-announcement
  console 0
  sleep 2.5
  mark=$(log_lines)
  xdotool key Escape
  await 10 dialog_gone "$info" && pass "Esc closed the announcement window" || die "Esc left the announcement window open"
  # The command's end: the zones silenced, the MIC and LINE lamps off.
  await 20 eval 'tail -n +"$((mark + 1))" "$work/devsim.log" | grep -qxF "19200 (0504102012)"' ||
    die "the live announcement did not end"
  [ "$(on_air_since "$mark")" = "off " ] && pass "closed with Esc, the ON-AIR lamp went out" ||
    fail "closed with Esc, the ON-AIR lamp commands were: $(on_air_since "$mark")"

  # Both again where they were moved to; the ON-AIR lamp lit, the console
  # let go (the window then sends nothing), SIGTERM.
  console 2
  sleep 2
  press_live
  await 10 dialog_shown "$playback" || die "no output choice the second time"
  reopened_at "$playback" "$live_at"
  click_ok "$(dialog "$playback")"
  await 15 dialog_shown "$info" || die "no announcement window the second time"
  reopened_at "$info" "$info_at"
  console 3
  mark=$(log_lines)
  await 10 eval '[ -n "$(on_air_since "$mark")" ]' || die "the announcement window did not light the ON-AIR lamp again"
  console 0
  sleep 2.5
  [ "$(on_air_since "$mark" | awk '{print $NF}')" = on ] || die "the ON-AIR lamp is not lit before SIGTERM"
  shot dialogs-9-announcement-again
  mark=$(log_lines)
  kill -TERM "$velorn_pid"
  await_end 20
  [ "$status" -eq 0 ] && pass "SIGTERM with the announcement window open: exit status 0" || fail "SIGTERM: exit status $status"
  case "$(on_air_since "$mark")" in
    *off\ ) pass "SIGTERM: the ON-AIR lamp went out" ;;
    *) fail "SIGTERM: the ON-AIR lamp commands after it were '$(on_air_since "$mark")'" ;;
  esac

  # The four sections, with their places.
  local ini section
  ini=$(tr -d '\r' <"$work/run/velorn.INI")
  for section in Editace_uloh Volba_vystupu Volba_vystupu2 Info_window; do
    local keys
    keys=$(awk -v s="[$section]" '$0 == s { on = 1; next } /^\[/ { on = 0 } on && /=/' <<<"$ini" | cut -d= -f1 | tr '\n' ' ')
    [ "$keys" = "XPos YPos Width Height Maximize Minimize " ] && pass "velorn.INI: [$section] $keys" ||
      fail "velorn.INI: [$section] holds '$keys'"
  done
  grep -q '^__Dont_Touch_Me__=.*Editace_uloh' <<<"$ini" || fail "velorn.INI: the sections are not listed in Sectors"
  [ "$(awk '/^\[Volba_vystupu\]/ { on = 1; next } /^\[/ { on = 0 } on && /^XPos=/ { sub("XPos=", ""); print }' <<<"$ini")" = "${playback_at% *}" ] ||
    fail "velorn.INI: [Volba_vystupu] XPos is not ${playback_at% *}"
}

scenario_sigterm() {
  start_counted
  pass "connected and hidden"
  # The scan comes with the 80th tick. It switches the LINE lamp off, then
  # sends its first relay command, the amplifier's release.
  await 40 scan_began || die "no scan reached the device"
  kill -TERM "$velorn_pid"
  await_end 15
  [ "$status" -eq 0 ] && pass "SIGTERM during the scan: exit status 0" || fail "SIGTERM: exit status $status"
  [ "$(start_count)" = 5 ] && pass "start count 5 in the INI" || fail "INI start count '$(start_count)', not 5"
  # The scan started no task once the stop had come: the due task is not
  # booked (it runs at the next start, inside its three minutes) and every
  # record is as it was.
  check_records "$before"
  local started
  started=$(tail -n +"$scan_at" "$work/devsim.log" | grep -cxF -e '9600 s64\r' -e '19200 (0504102113)')
  [ "$started" -eq 0 ] && pass "no task started after the signal" ||
    fail "$started amplifier or LINE lamp commands after the signal"
  # The close-down switched the installation off: the amplifier, then every
  # zone, after the scan's own traffic.
  switched_off_from "$scan_at" "the close-down"
}

scenario_exit() {
  start_counted
  show_from_tray
  pass "the window is back from the tray"
  await 20 start_settled || die "the start did not release the amplifier"

  # The focus starts on the first button of "Hlavní panel"; "Konec
  # programu" is the fifth.
  local mark
  mark=$(log_lines)
  xdotool key Tab Tab Tab Tab
  ask_exit exit-1-question
  # Hidden before it was ever shown, the window came back placed as one
  # shown at the start: centred in the work area; the question over it.
  local screen_centre main_centre box_centre
  screen_centre=$(work_area_centre) main_centre=$(window_centre "$window") box_centre=$(window_centre "$(question_box)")
  near "$main_centre" "$screen_centre" && pass "the window back from the tray is centred on the screen" ||
    fail "the window back from the tray: centre $main_centre, the work area's $screen_centre"
  near "$box_centre" "$main_centre" && pass "the question is centred over the window" ||
    fail "the question: centre $box_centre, the window's $main_centre"
  # The focus starts on "Ne".
  xdotool key space
  refused '"Ne"' "$mark"

  mark=$(log_lines)
  ask_exit
  xdotool key alt+F4
  refused "the question closed with its close box" "$mark"

  mark=$(log_lines)
  ask_exit
  xdotool key Tab
  shot exit-2-yes-focused
  xdotool key space
  await_end 15
  [ "$status" -eq 0 ] && pass "\"Ano\": exit status 0" || fail "\"Ano\": exit status $status"
  switched_off_from "$((mark + 1))" '"Ano"'
  local ini
  ini=$(tr -d '\r' <"$work/run/velorn.INI")
  local entry
  for entry in GLO:Pocet_spusteni_programu=5 GLO:Verze_programu=1.0 GLO:Prvni_spusteni=0 GCU=1; do
    grep -qxF "$entry" <<<"$ini" && pass "INI: $entry" || fail "INI without $entry:
$ini"
  done
  check_records "$before"
}

scenario_place() {
  start_hidden
  show_from_tray
  local first=""
  await 10 eval 'first=$(frame_place)' || die "the shown window has no frame"
  local workarea_top
  workarea_top=$(xprop -root _NET_WORKAREA | grep -o '[0-9]\+' | sed -n 2p)
  read -r _ first_y <<<"$first"
  [ "$first_y" -ge "$workarea_top" ] && pass "first shown with its frame at $first, on the desktop" ||
    fail "first shown with its frame at $first, above the work area's top $workarea_top"
  shot place-1-first
  # Where the window stands after each way back; the first place that
  # differs fails (awaited: the window manager frames a window shortly
  # after it is mapped).
  local place="" moved=""
  same_place() { place=$(frame_place) && [ "$place" = "$first" ]; }
  local i
  for i in $(seq 10); do
    xdotool windowminimize "$window" 2>/dev/null
    await 10 hidden || die "cycle $i: minimised, the window did not leave the screen"
    click_icon || die "cycle $i: the icon could not be clicked"
    await 10 shown_on_top || die "cycle $i: a click on the icon did not bring the window back (map $(map_state), state $(wm_state), active $(active_window), window $window)"
    await 5 same_place || { moved="cycle $i: the frame at ${place:-nowhere}, not $first"; break; }
  done
  [ -z "$moved" ] && pass "ten hides and shows through the icon: the frame stayed at $first" || fail "$moved"
  shot place-2-after-cycles

  xdotool windowminimize "$window" 2>/dev/null
  await 10 hidden || die "minimised, the window did not leave the screen"
  second_start
  await 10 shown_on_top || die "the second start did not bring the hidden window back"
  await 5 same_place && pass "the second start brought the hidden window back at $first" ||
    fail "the second start brought the hidden window back with its frame at ${place:-nowhere}, not $first"
  second_start
  await 10 shown_on_top || die "the second start did not keep the shown window in front"
  await 5 same_place && pass "a second start with the window shown left it at $first" ||
    fail "a second start with the window shown moved its frame to ${place:-nowhere}, not $first"
  shot place-3-after-second-starts

  kill -TERM "$velorn_pid"
  await_end 15
  [ "$status" -eq 0 ] || fail "SIGTERM: exit status $status"
}

scenario_busy() {
  start_hidden
  show_from_tray
  pass "shown from the tray"
  # The scan comes with the 80th tick; its 40 silencing commands keep the
  # program busy for seconds.
  await 40 scan_since "$(log_lines)" || die "no scan reached the device"
  local fronts
  fronts=$(grep -c '^velorn: front' "$work/velorn.out")
  click_icon || die "the icon could not be clicked during the scan"
  local clicked
  clicked=$(log_lines)
  await 20 scan_silenced_since "$clicked" || die "the scan did not go on after the click"
  pass "the icon was clicked during the scan's traffic (line $clicked of the device's log)"
  # The click, handled once the scan is over, brings the window to the
  # front (again); a tick after that it is still there.
  await 20 eval '[ "$(grep -c "^velorn: front" "$work/velorn.out")" -gt "$fronts" ]' ||
    die "the click during the scan was never handled"
  local handled
  handled=$(log_lines)
  await 10 polled_since "$handled" || die "no console poll after the click was handled"
  shot busy-after-scan
  if await 5 shown_on_top; then pass "after the scan the window is viewable, active and on top"; else
    fail "a click during the scan: map $(map_state), state $(wm_state), active $(active_window), window $window"; fi
  kill -TERM "$velorn_pid"
  await_end 15
  [ "$status" -eq 0 ] || fail "SIGTERM: exit status $status"
}

scenario_keys() {
  start_hidden
  show_from_tray
  await 20 start_settled || die "the start did not release the amplifier"
  # From the first button of "Hlavní panel" back to the tabs, two tabs on
  # to "Nastavení", then over the port and the output list to "Vlož".
  xdotool key shift+Tab Right Right Tab Tab Tab
  shot keys-1-before
  await 40 scan_since "$(log_lines)" || die "no scan reached the device"
  local pressed
  pressed=$(log_lines)
  # "Vlož", the name column, a name, Enter; from the list back to "Vlož",
  # another name.
  xdotool key space Tab P o k u s Return Tab space Tab D r u h a Return
  await 20 scan_silenced_since "$pressed" || die "the scan did not go on after the keys"
  pass "two outputs inserted and named during the scan's traffic (line $pressed of the device's log)"
  # Written once the program's log of Outputs.tps has grown; read after the
  # program's end.
  await 20 test -s "$work/run/Outputs.tps-wal" || fail "nothing written to Outputs.tps after the keys"
  await 10 polled_since "$(log_lines)" || die "no console poll after the keys"
  shot keys-2-after
  kill -TERM "$velorn_pid"
  await_end 15
  [ "$status" -eq 0 ] || fail "SIGTERM: exit status $status"
  local stored
  stored=$(sq Outputs.tps 'SELECT "OUT:CISLO", "OUT:NAZEV" FROM records WHERE "OUT:CISLO" > 12 ORDER BY 1' | tr '\n' ' ')
  [ "$stored" = "13|Pokus 14|Druha " ] && pass "the new outputs stored: $stored" ||
    fail "the new outputs stored as '$stored', not 13|Pokus 14|Druha"
}

# The program's descriptors whose file was deleted under it.
deleted_under() { ls -l "/proc/$velorn_pid/fd" 2>/dev/null | grep -F '(deleted)'; }
# The README's check and a query in key order on every record file, by
# another process; then nothing of the program's is deleted under it.
read_as_readme() {
  local f key
  for f in Settings.tps:SET:ID Outputs.tps:OUT:CISLO Preset.tps:PRE:ID Tasks.tps:TAS:NAZEV; do
    key=${f#*:}
    f=${f%%:*}
    [ "$(sq "$f" 'PRAGMA integrity_check' 2>&1)" = ok ] || fail "$1: $f fails the integrity check"
    sq "$f" "SELECT count(*) FROM records ORDER BY \"$key\", rowid" >/dev/null 2>&1 || fail "$1: $f cannot be read"
  done
  local gone
  gone=$(deleted_under)
  [ -z "$gone" ] && pass "$1: the four files read by another process, nothing deleted under the program" ||
    fail "$1: deleted under the program: $gone"
}

scenario_shared() {
  # The tool's task is of today and due half a minute ago.
  local now
  now=$(date +%H%M)
  if [ "$now" -lt 0005 ] || [ "$now" -gt 2355 ]; then
    pass "skipped: too near midnight for a due task"
    return
  fi
  start_hidden
  local wal
  wal=$(stat -c %i "$work/run/Outputs.tps-wal")
  read_as_readme "at the start"
  # A task of the tool's own, due half a minute ago, kept after its run.
  local d m y H M S
  read -r d m y H M S <<<"$(date -d '-30 seconds' '+%-d %-m %Y %-H %-M %-S')"
  sq Tasks.tps "INSERT INTO records ($task_columns) VALUES (70, 1, $((d | m << 8 | y << 16)),
    $((S << 8 | M << 16 | H << 24)), '00', 'Z nástroje', 'silence.wav', $((1 << 8)), '08', '00', '00', '00', '00', 0)" ||
    die "the tool could not add a task"
  read_as_readme "after the tool's task"
  await 45 eval '[ "$(sq Tasks.tps "SELECT \"TAS:POSLEDNI_SPUSTENI\" <> 0 FROM records WHERE \"TAS:ID\" = 70")" = 1 ]' &&
    pass "the next scan ran the tool's task and booked it" || fail "the tool's task was not booked"
  grep -qxF '9600 s64\r' "$work/devsim.log" || fail "no amplifier for the tool's task"
  read_as_readme "after the scan"

  show_from_tray
  # As in the keys scenario: "Nastavení", then "Vlož", the name, Enter.
  xdotool key shift+Tab Right Right Tab Tab Tab
  xdotool key space Tab S d i l e n o Return
  await 20 eval '[ "$(sq Outputs.tps "SELECT \"OUT:NAZEV\" FROM records WHERE \"OUT:CISLO\" = 13")" = Sdileno ]' ||
    die "another reader never saw the output named"
  shot shared-1-named
  local gone
  gone=$(deleted_under)
  [ -z "$gone" ] || fail "deleted under the program: $gone"
  kill -KILL "$velorn_pid"
  wait "$velorn_pid" 2>/dev/null
  velorn_pid=""
  [ "$(sq Outputs.tps 'SELECT "OUT:NAZEV" FROM records WHERE "OUT:CISLO" = 13')" = Sdileno ] &&
    pass "killed right after, the output's name is kept" || fail "the output's name was lost with the kill"
  [ "$(stat -c %i "$work/run/Outputs.tps-wal" 2>/dev/null)" = "$wal" ] || [ ! -e "$work/run/Outputs.tps-wal" ] ||
    fail "the log of Outputs.tps was replaced under the program"
  local f
  for f in Settings.tps Outputs.tps Preset.tps Tasks.tps; do
    [ "$(sq "$f" 'PRAGMA integrity_check' 2>&1)" = ok ] || fail "after the kill: $f fails the integrity check"
  done
  [ ! -s "$work/velorn.err" ] || fail "a box: $(head -c 300 "$work/velorn.err")"
}

case $scenario in
  dialogs) scenario_dialogs ;;
  tray) scenario_tray ;;
  shared) scenario_shared ;;
  keys) scenario_keys ;;
  busy) scenario_busy ;;
  place) scenario_place ;;
  exit) scenario_exit ;;
  sigterm) scenario_sigterm ;;
  *) echo "unknown scenario $scenario" >&2; exit 2 ;;
esac
if [ "$failures" -ne 0 ]; then
  echo "--- velorn.err (tail)" >&2; tail -n 20 "$work/velorn.err" >&2
  exit 1
fi
echo "tray_on_display $scenario: every check held" >&2
