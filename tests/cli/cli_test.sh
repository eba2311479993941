#!/usr/bin/env bash
# The program as a process: its command line, script runs, exit codes, the
# screenshot, and the single-instance rule between two real processes.
set -u
: "${TALLYSET:?}" "${DEMO:?}"
source "$(dirname "$0")/lib.sh"
trap 'kill $first 2>/dev/null; rm -rf "$work"' EXIT
cp "$DEMO" "$work/cal.ics"
run() { "$TALLYSET" --calendar "$work/cal.ics" --now "2026-12-04 16:20" "$@"; }

# A headless start writes the screen and ends with 0.
run --headless --screenshot "$work/start.png" >"$work/out" 2>"$work/err"
check "headless start exits 0" test $? -eq 0
check "headless start writes a PNG" bash -c "head -c 8 '$work/start.png' | grep -q PNG"
check "headless start prints nothing" test ! -s "$work/out"
# The program reads only the font folders; the system's whole font
# configuration (taken when FONTCONFIG_FILE names it) draws the same pixels.
if [ -f /etc/fonts/fonts.conf ]; then
  FONTCONFIG_FILE=/etc/fonts/fonts.conf run --headless --screen 480x640 --screenshot "$work/full-fc.png" 2>/dev/null
  run --headless --screen 480x640 --screenshot "$work/lean-fc.png" 2>/dev/null
  check "the font folders alone draw as the whole configuration" cmp -s "$work/full-fc.png" "$work/lean-fc.png"
fi

# Scripts: prints go to standard output in order.
printf 'print save\nprint notification\nfocus main\nprint focus\n' >"$work/s1"
run --script "$work/s1" >"$work/out" 2>"$work/err"
check "script run exits 0" test $? -eq 0
check "script prints in order" diff <(printf 'disabled\nnone\nmain\n') "$work/out"

# The disabled Save key does nothing; Exit from the menu ends the run early.
printf 'softkey right\nprint save\nmenu "Exit"\nprint save\n' >"$work/s2"
run --script "$work/s2" >"$work/out" 2>"$work/err"
check "menu Exit ends with 0" test $? -eq 0
check "lines after Exit do not run" diff <(printf 'disabled\n') "$work/out"
check "the user is told the rest did not run" grep -q "before the script's line 4" "$work/err"

# On the demo calendar: select a row, choose values, save. Exactly that event
# gains exactly those categories, and its row turns complete.
cp "$DEMO" "$work/save.ics"
printf 'select 3\nchoose 1 Westwind\nchoose 2 Development\nchoose 3 Yes\nsoftkey right\nprint list\n' >"$work/s8"
"$TALLYSET" --calendar "$work/save.ics" --now "2026-12-04 16:20" --script "$work/s8" >"$work/out" 2>"$work/err"
check "save on the demo exits 0" test $? -eq 0
check "the saved row turns complete" grep -q $'^3\tcomplete\t.*\tReport generator\t' "$work/out"
diff "$DEMO" "$work/save.ics" | grep '^[<>]' | grep -v 'DTSTAMP:' >"$work/diff"
check "only that event's categories changed" diff <(printf '> CATEGORIES:Westwind,Development,Yes\r\n') "$work/diff"
check "only that event was stamped again" test "$(diff "$DEMO" "$work/save.ics" | grep -c DTSTAMP:)" -eq 2

# Usage and script errors exit 2 with one clear line.
run --screen 12x34 >/dev/null 2>"$work/err"
check "bad --screen exits 2" test $? -eq 2
check "bad --screen says why" grep -q -- "--screen" "$work/err"
run --frobnicate >/dev/null 2>&1
check "unknown option exits 2" test $? -eq 2
run --script "$work/missing" >/dev/null 2>"$work/err"
check "unreadable script exits 2" test $? -eq 2
printf 'print save\nfly away\n' >"$work/s3"
run --script "$work/s3" >/dev/null 2>"$work/err"
check "script error exits 2" test $? -eq 2
check "script error names the line" grep -q "^script:2: unknown command 'fly'" "$work/err"
printf 'print save\nmenu "Nothing"\n' >"$work/s4"
run --script "$work/s4" >"$work/out" 2>"$work/err"
check "a failing command exits 2" test $? -eq 2
check "a failing command names its line" grep -q '^script:2: the Options menu has no item "Nothing"' "$work/err"
check "a failing command leaves the file as it was" cmp -s "$DEMO" "$work/cal.ics"
printf 'print notification\n' | "$TALLYSET" --calendar "$work/none.ics" --script - >"$work/out" 2>"$work/err"
check "missing settings ends with 0" test $? -eq 0
check "missing settings tells the user" grep -q "No Tallyset for Pocket Outlook settings found" "$work/err"

# Tallysets meet per calendar; this is the name a calendar's sockets start with.
scope=$(python3 -c '
import os, sys
h = 14695981039346656037
for b in os.path.realpath(sys.argv[1]).encode():
    h = ((h ^ b) * 1099511628211) % 2**64
print("cal-%016x" % h)' "$work/cal.ics")
desktop="$XDG_RUNTIME_DIR/tallyset-desktop"

# A socket left behind by a killed process must not block a new start.
mkdir -p -m 700 "$desktop"
python3 -c "import socket; s=socket.socket(socket.AF_UNIX); s.bind('$desktop/$scope.999999.sock')"
printf 'print save\n' >"$work/s6"
run --script "$work/s6" >"$work/out" 2>"$work/err"
check "a stale socket does not block a start" diff <(printf 'disabled\n') "$work/out"
check "the stale socket was removed" test ! -e "$desktop/$scope.999999.sock"

# A folder other users may enter is not used: a private one under HOME is.
mkdir -p -m 777 "$work/open/tallyset-desktop" "$work/home"
XDG_RUNTIME_DIR="$work/open" HOME="$work/home" run --script "$work/s6" >"$work/out" 2>"$work/err"
check "an open folder is refused and says why" grep -qF "cannot be used (other users may enter it); using $work/home/.cache/tallyset-desktop" "$work/err"
check "the private fallback is used" diff <(printf 'disabled\n') "$work/out"

# Two processes on one calendar: the second start brings the first forward,
# says so and exits 0, even while the first is busy in a script's sleep and a
# client trickles bytes at it; a start on another calendar runs beside them.
printf 'sleep 1500\nwait front 20000\nprint focus\n' >"$work/s5"
run --script "$work/s5" >"$work/first.out" 2>"$work/first.err" &
first=$!
for _ in $(seq 100); do ls "$desktop/$scope".*.sock >/dev/null 2>&1 && break; sleep 0.05; done
python3 -c "
import glob, socket, time
s = socket.socket(socket.AF_UNIX); s.connect(glob.glob('$desktop/$scope.*.sock')[0])
for b in b'FIND':
    s.send(bytes([b])); time.sleep(0.4)" 2>/dev/null &
trickle=$!
cp "$DEMO" "$work/other.ics"
run --calendar "$work/other.ics" --script "$work/s6" >"$work/other.out" 2>"$work/other.err"
check "a start on another calendar runs beside the first" diff <(printf 'disabled\n') "$work/other.out"
printf 'print focus\n' >"$work/s7"
run --script "$work/s7" >"$work/second.out" 2>"$work/second.err"
check "second instance exits 0" test $? -eq 0
check "second instance never stands a window of its own" test ! -s "$work/second.out"
check "second instance says which program has the calendar" grep -q "cal.ics is open in another Tallyset (process [0-9]*), which was brought to the front" "$work/second.err"
wait $first
check "first instance was brought forward and ends with 0" test $? -eq 0
check "first instance still has its focus" diff <(printf 'main\n') "$work/first.out"
wait $trickle

finish
