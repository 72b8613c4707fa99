#!/usr/bin/env bash
# Runs the update program on its own Xvfb display under the jwm window manager
# and drives it with xdotool, as a user would:
#   1. Enter in the main dialog, Enter on the notice: the popup shows, the file
#      is copied, "Update complete." ends the run.
#   2. Escape in the main dialog: the run ends and nothing changes.
#   3. A real window titled "VL Claritype Pro" is open: message 4, nothing copied.
# Screenshots of the main dialog, the popup and a message box go to the
# artifacts folder. Usage: xvfb_update_test.sh WBUPDATE ARTIFACTS_DIR
set -euo pipefail

program=$1
artifacts=$2
mkdir -p "$artifacts"
# Under the sanitizers, the toolkit's own process-long allocations are not leaks.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/toolkit_leaks.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
work=$(mktemp -d /tmp/wbupdate-xvfb-XXXXXX)
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# A display number nobody uses.
display=""
for n in $(seq 90 189); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
    display=":$n"
    break
  fi
done
[ -n "$display" ] || fail "no free display number"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 1 100); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done
xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start on $display"
jwm >/dev/null 2>&1 &
pids+=($!)
sleep 0.5

# The installed program with the new library beside it; no translation, so
# the program's own English texts show.
mkdir -p "$work/inst" "$work/app/bin" "$work/reg"
cp "$program" "$work/inst/wbupdate"
echo "new library" >"$work/inst/wbremote.dll"
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Velmora\\VL Claritype Pro\\IE]\n"Coach"="%s"\n' \
  "$work/app/bin/app.exe" >"$work/reg/HKEY_CURRENT_USER.reg"
export WB_REGISTRY_DIR=$work/reg

reset_app() { echo "old library" >"$work/app/bin/wbremote.dll"; }

# Waits up to 15 s for a window with exactly this title; prints its id.
wait_window() {
  local title=$1 id=""
  for _ in $(seq 1 150); do
    id=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || fail "no window titled '$title'"
  echo "$id"
}

press() {  # window, key
  xdotool windowactivate --sync "$1" >/dev/null 2>&1 || xdotool windowfocus --sync "$1"
  sleep 0.2
  xdotool key "$2"
}

wait_exit() {  # pid; sets status (run in this shell, the program's parent)
  status=0
  for _ in $(seq 1 150); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$1" 2>/dev/null && fail "the program did not end"
  wait "$1" || status=$?
}

shot() { import -window root "$artifacts/$1.png"; }

# 1. Enter, Enter: the update completes.
reset_app
"$work/inst/wbupdate" &
app=$!
main=$(wait_window "Velmora Software Update")
sleep 0.3
geometry=$(xdotool getwindowgeometry "$main" | sed -n 's/ *Geometry: //p')
[ "$geometry" = "387x154" ] || fail "main dialog is $geometry, not 387x154"
shot main-dialog
press "$main" Return
notice=$(wait_window "Notice")
sleep 0.3
shot notice-box
press "$notice" Return
sleep 1.2  # the popup stays up for the 3.5 s pause after the copy
shot copying-popup
complete=$(wait_window "Complete")
sleep 0.3
shot complete-box
[ "$(cat "$work/app/bin/wbremote.dll")" = "new library" ] || fail "the file was not copied"
press "$complete" Return
wait_exit "$app"
[ "$status" = 0 ] || fail "completed run ended with $status"
ls "$work/app/bin" | grep -q wbcopy && fail "a temporary file was left behind"

# 2. Escape: nothing changes.
reset_app
"$work/inst/wbupdate" &
app=$!
main=$(wait_window "Velmora Software Update")
press "$main" Escape
wait_exit "$app"
[ "$status" = 0 ] || fail "escaped run ended with $status"
[ "$(cat "$work/app/bin/wbremote.dll")" = "old library" ] || fail "Escape changed the file"

# 3. The application's window is open: message 4, nothing copied.
reset_app
xmessage -title "VL Claritype Pro" "The scanning application" &
pids+=($!)
wait_window "VL Claritype Pro" >/dev/null
"$work/inst/wbupdate" &
app=$!
main=$(wait_window "Velmora Software Update")
press "$main" Return
notice=$(wait_window "Notice")
press "$notice" Return
error=$(wait_window "Error")
sleep 0.3
shot error-box
press "$error" Return
wait_exit "$app"
[ "$status" = 0 ] || fail "stopped run ended with $status"
[ "$(cat "$work/app/bin/wbremote.dll")" = "old library" ] || fail "the file was copied while the application was open"

# 4. Keyboard: Tab moves the focus to Cancel, and Enter then presses Cancel,
# not the default button: the notice answered so ends with -2 (254 here).
reset_app
"$work/inst/wbupdate" &
app=$!
main=$(wait_window "Velmora Software Update")
press "$main" Return
notice=$(wait_window "Notice")
press "$notice" Tab
sleep 0.2
xdotool key Return
wait_exit "$app"
[ "$status" = 254 ] || fail "Cancel chosen with the keyboard ended with $status, not 254"
[ "$(cat "$work/app/bin/wbremote.dll")" = "old library" ] || fail "Cancel with the keyboard changed the file"

echo "PASS: screenshots in $artifacts"
