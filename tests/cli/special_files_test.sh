#!/usr/bin/env bash
# Calendars and scripts that are no plain files: a FIFO or a device as the
# calendar is refused at once with a clear line; a script from a device or a
# pipe is read up to a bound. Nothing may hang or run out of memory, so
# every run has a deadline.
set -u
: "${TALLYSET:?}"
source "$(dirname "$0")/lib.sh"
run() { timeout 20 "$TALLYSET" --now "2026-12-04 16:20" "$@"; }

mkfifo "$work/fifo.ics"
printf 'print save\n' >"$work/s1"
for calendar in "$work/fifo.ics" /dev/zero; do
  run --calendar "$calendar" --script "$work/s1" >/dev/null 2>"$work/err"
  check "$calendar as the calendar does not hang" test $? -ne 124
  check "$calendar as the calendar is named as no plain file" grep -q "$calendar.*is not a plain file" "$work/err"
done

printf 'BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n' >"$work/cal.ics"
run --calendar "$work/cal.ics" --script /dev/zero >/dev/null 2>"$work/err"
check "/dev/zero as the script exits 2" test $? -eq 2
check "/dev/zero as the script is too long" grep -q "the script /dev/zero is longer than 16 MiB" "$work/err"
head -c $((17 * 1024 * 1024)) /dev/zero | run --calendar "$work/cal.ics" --script - >/dev/null 2>"$work/err"
check "a script piped past the bound exits 2" test $? -eq 2
check "a script piped past the bound says so" grep -q "from standard input is longer than 16 MiB" "$work/err"
check "the calendar is untouched" cmp -s "$work/cal.ics" <(printf 'BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n')

finish
