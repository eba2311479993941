#!/usr/bin/env bash
# What a new user meets first: --help, --version, usage errors, `init`, and
# the messages of a start on a calendar that is missing or has no settings.
set -u
: "${TALLYSET:?}" "${DEMO:?}"
source "$(dirname "$0")/lib.sh"

# --help and -h: every option and subcommand on standard output, exit 0.
for flag in --help -h; do
  "$TALLYSET" $flag >"$work/out" 2>"$work/err"
  check "$flag exits 0" test $? -eq 0
  check "$flag writes nothing on standard error" test ! -s "$work/err"
  for word in --calendar --screen --now --headless --script --screenshot --zoom --version \
      "tallyset init" --field "tallyset report" --from --to --by --format --chart; do
    check "$flag names $word" grep -q -- "$word" "$work/out"
  done
done
"$TALLYSET" --version >"$work/out" 2>&1
check "--version exits 0" test $? -eq 0
check "--version prints tallyset VERSION" grep -qxE 'tallyset [0-9]+\.[0-9]+\.[0-9]+' "$work/out"

# An option that needs a value and gets none or another option: exit 2, one
# clear line, and nothing opened or created under the swallowed name.
cd "$work"
while IFS='|' read -r name args; do
  eval "\"\$TALLYSET\" $args" >"$work/out" 2>"$work/err"
  check "$name exits 2" test $? -eq 2
  check "$name says a value is missing" grep -q "needs a value" "$work/err"
  check "$name prints nothing on standard output" test ! -s "$work/out"
done <<'CASES'
--calendar before another option|--calendar --headless
--calendar at the end|--headless --calendar
--script before -h|--script -h
--now before --zoom|--now --zoom 2
init --calendar before --field|init --calendar --field "A:b;"
init --field at the end|init --calendar x.ics --field
CASES
check "no calendar named after an option was made" test ! -e "$work/--headless" -a ! -e "$work/x.ics"
cd - >/dev/null

# A start on a calendar that does not exist: the notification as designed,
# and lines that name the path and the way out.
printf 'print notification\n' | "$TALLYSET" --calendar "$work/new.ics" --script - >"$work/out" 2>"$work/err"
check "missing calendar ends with 0" test $? -eq 0
check "missing calendar keeps the notification" grep -q "No Tallyset for Pocket Outlook settings found" "$work/err"
check "missing calendar names the path" grep -qF "$work/new.ics does not exist" "$work/err"
check "missing calendar shows the init command" grep -qF "tallyset init --calendar $work/new.ics" "$work/err"
check "missing calendar points to the README" grep -q '"Your fields"' "$work/err"
check "a start creates no calendar" test ! -e "$work/new.ics"

# init on a missing file: creates it; the next start shows the example fields.
"$TALLYSET" init --calendar "$work/new.ics" >"$work/out" 2>"$work/err"
check "init on a missing file exits 0" test $? -eq 0
check "init names what it created" grep -qF "created $work/new.ics" "$work/out"
printf 'print fields\n' | "$TALLYSET" --calendar "$work/new.ics" --script - >"$work/out" 2>"$work/err"
check "the example fields show" diff <(printf '1\tCustomer:\t\tNorth Ltd|South plc\n2\tTask:\t\tMeeting|Travel|Support|Development\n') "$work/out"

# init on a calendar that has settings: exit 1, says so, the file unchanged.
cp "$work/new.ics" "$work/before.ics"
"$TALLYSET" init --calendar "$work/new.ics" --field "X:y;" >"$work/out" 2>"$work/err"
check "init on settings exits 1" test $? -eq 1
check "init on settings says so" grep -q "already has a settings appointment" "$work/err"
check "init on settings writes nothing" cmp -s "$work/before.ics" "$work/new.ics"

# init on an existing calendar without settings (the demo without its
# settings event): every byte stays, one event is added, in --field order.
python3 - "$DEMO" "$work/own.ics" <<'PY'
import re, sys
text = open(sys.argv[1], newline='').read()
open(sys.argv[2], 'w', newline='').write(re.sub(r'BEGIN:VEVENT\r\nUID:settings@.*?END:VEVENT\r\n', '', text, count=1, flags=re.S))
PY
cp "$work/own.ics" "$work/own-before.ics"
"$TALLYSET" --calendar "$work/own.ics" --headless >/dev/null 2>"$work/err"
check "a calendar without settings says so" grep -qF "$work/own.ics has no settings appointment" "$work/err"
check "a calendar without settings shows the init command" grep -qF "tallyset init --calendar $work/own.ics" "$work/err"
"$TALLYSET" init --calendar "$work/own.ics" --field "Project:Alpha;Beta, Gamma;" --field "Phase:Plan;Build;" \
  >"$work/out" 2>"$work/err"
check "init on an existing calendar exits 0" test $? -eq 0
check "init names the calendar it added to" grep -qF "added a settings appointment of 2 fields to $work/own.ics" "$work/out"
python3 - "$work/own.ics" "$work/rest.ics" <<'PY'
import re, sys
text = open(sys.argv[1], newline='').read()
rest, n = re.subn(r'BEGIN:VEVENT\r?\n(?:(?!END:VEVENT).)*SUMMARY:Outlook Tallyset 3 Personal Settings.*?END:VEVENT\r?\n', '', text, flags=re.S)
open(sys.argv[2], 'w', newline='').write(rest if n == 1 else '')
PY
check "the existing calendar keeps every byte" cmp -s "$work/own-before.ics" "$work/rest.ics"
printf 'print fields\n' | "$TALLYSET" --calendar "$work/own.ics" --script - >"$work/out" 2>"$work/err"
check "the given fields show in order" diff <(printf '1\tProject:\t\tAlpha|Beta, Gamma\n2\tPhase:\t\tPlan|Build\n') "$work/out"

# init's own usage errors.
"$TALLYSET" init --calendar "$work/x.ics" --field "no colon" >/dev/null 2>"$work/err"
check "a field without a colon exits 2" test $? -eq 2
check "a field without a colon says so" grep -q "has no colon" "$work/err"
check "a refused init writes nothing" test ! -e "$work/x.ics"

# A folder calendar (vdir): an existing one gains one file, named after the
# new UID; a missing one without an extension is made a folder.
mkdir "$work/vdir"
printf 'keep me\n' >"$work/vdir/notes.txt"
"$TALLYSET" init --calendar "$work/vdir" >/dev/null 2>"$work/err"
check "init on a folder exits 0" test $? -eq 0
added=$(ls "$work/vdir"/*.ics 2>/dev/null)
check "init on a folder adds one .ics file" test "$(printf '%s\n' "$added" | grep -c .)" -eq 1
check "the new file is named after its UID" grep -q "^UID:$(basename "$added" .ics)" "$added"
check "other files in the folder stay" grep -qx "keep me" "$work/vdir/notes.txt"
"$TALLYSET" init --calendar "$work/vdir" >/dev/null 2>"$work/err"
check "a second init on the folder exits 1" test $? -eq 1
"$TALLYSET" init --calendar "$work/new-vdir" >/dev/null 2>"$work/err"
check "init makes a missing calendar without extension a folder" test -d "$work/new-vdir"
printf 'print fields\n' | "$TALLYSET" --calendar "$work/new-vdir" --script - >"$work/out" 2>"$work/err"
check "the folder's settings are read" grep -q "Customer:" "$work/out"

finish
