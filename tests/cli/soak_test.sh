#!/usr/bin/env bash
# A long session on a 10,000-event calendar: select, choose, save, New Item
# (cancelled), Edit Item and a refresh, a few hundred times. The program
# must end cleanly (under the sanitizer build LeakSanitizer checks it at
# exit) and its peak memory must not grow with the length of the session.
set -u
: "${TALLYSET:?}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/run"
# Under AddressSanitizer freed memory waits in a quarantine, which would
# read as growth; without it the peak measures what the program keeps.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=0"
mkdir -m 700 "$XDG_RUNTIME_DIR"

python3 - "$work/cal.ics" <<'PY'
import sys, datetime
out = ["BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//soak//EN",
       "BEGIN:VEVENT", "UID:settings@soak", "DTSTAMP:20260101T000000Z", "DTSTART:20500101T090000",
       "DURATION:PT30M", "SUMMARY:Outlook Tallyset 3 Personal Settings",
       "DESCRIPTION:1\\n2\\n3\\n4\\n5\\n6\\nCustomer:North\\;South\\;\\nTask:Travel\\;Meeting\\;", "END:VEVENT"]
start = datetime.datetime(2026, 12, 4, 8, 0)
for i in range(10000):
    t = start - datetime.timedelta(hours=3 * i)
    out += ["BEGIN:VEVENT", f"UID:e{i}@soak", "DTSTAMP:20260101T000000Z", "DTSTART:" + t.strftime("%Y%m%dT%H%M%S"),
            "DURATION:PT45M", f"SUMMARY:Event {i}"] + (["CATEGORIES:North,Travel"] if i % 2 else []) + ["END:VEVENT"]
out.append("END:VCALENDAR")
open(sys.argv[1], "w", newline="").write("\r\n".join(out) + "\r\n")
PY

session() {  # session ROUNDS: writes the script for that many rounds
  for ((i = 0; i < $1; i++)); do
    printf 'select 0\nchoose 1 %s\nsoftkey right\n' "$([ $((i % 2)) -eq 0 ] && echo North || echo South)"
    printf 'editor cancel\nmenu "New Item"\n'
    printf 'select 1\neditor ok subject="Edited %d"\nmenu "Edit Item"\ncloseup from\n' "$i"
  done
  printf 'print save\n'
}
peak_kb() {  # peak_kb ROUNDS: runs a session, prints the process's peak resident memory
  session "$1" >"$work/script"
  python3 - "$TALLYSET" "$work/cal.ics" "$work/script" <<'PY'
import resource, subprocess, sys
r = subprocess.run([sys.argv[1], "--calendar", sys.argv[2], "--now", "2026-12-04 16:20", "--script", sys.argv[3]],
                   capture_output=True, text=True)
if r.returncode != 0 or r.stdout != "disabled\n":
    sys.stderr.write(f"session failed: exit {r.returncode}\n{r.stderr[-2000:]}\n")
    print(-1)
else:
    print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)
PY
}

short=$(peak_kb 20)
long=$(peak_kb 200)
echo "peak memory: $short KB after 20 rounds, $long KB after 200 rounds"
if [ "$short" -lt 0 ] || [ "$long" -lt 0 ]; then
  echo "0 passed, 1 failed"
  exit 1
fi
# Ten times the work may not cost more than a little slack of memory.
if [ "$long" -le $((short + short / 10 + 4096)) ]; then
  echo "1 passed, 0 failed"
else
  echo "FAILED: memory grew with the session"
  echo "0 passed, 1 failed"
  exit 1
fi
