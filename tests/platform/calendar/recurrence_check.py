#!/usr/bin/env python3
"""Recurring appointments as the store lists and saves them, against other
programs' readings of the same calendars: python-dateutil expands each series
on its own, python-icalendar reads back what a save on one occurrence wrote.

Usage: recurrence_check.py CALENDAR_TOOL   (the store as a command)
"""
import difflib
import os
import re
import subprocess
import sys
import tempfile
from datetime import date, datetime, timedelta, timezone
from zoneinfo import ZoneInfo

from dateutil.rrule import rrulestr
import icalendar

TOOL = sys.argv[1]
FAILURES = []


def tool(tz, *args):
    p = subprocess.run([TOOL, *map(str, args)], env=dict(os.environ, TZ=tz), capture_output=True, text=True,
                       timeout=60)
    if p.returncode != 0:
        raise RuntimeError(f"calendar_tool {args}: {p.stderr}")
    return p.stdout.splitlines()


def write(path, *events):
    with open(path, "w", newline="") as f:
        f.write(f"BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n{''.join(events)}END:VCALENDAR\r\n")


def vevent(uid, subject, lines):
    return "".join(f"{l}\r\n" for l in ["BEGIN:VEVENT", f"UID:{uid}", "DTSTAMP:20260101T000000Z", *lines,
                                        f"SUMMARY:{subject}", "END:VEVENT"])


def times(line):
    """The times of a DTSTART, RDATE or EXDATE line, and its zone (None: floating or date)."""
    params, values = line.split(":", 1)
    m = re.search(r"TZID=([^;:]+)", params)
    zone = ZoneInfo(m.group(1)) if m else (timezone.utc if values.endswith("Z") else None)
    return [datetime.strptime(v.rstrip("Z"), "%Y%m%d" if len(v) == 8 else "%Y%m%dT%H%M%S").replace(tzinfo=zone)
            for v in values.split(",")], zone


# Each series with its DTSTART and rule lines, read in each zone of READERS over each of RANGES.
SERIES = [
    ("weekly BYDAY", "DTSTART;TZID=Europe/Berlin:20261102T093000", ["RRULE:FREQ=WEEKLY;BYDAY=MO,WE,FR"]),
    ("every second week", "DTSTART;TZID=Europe/Berlin:20260106T140000", ["RRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=TU"]),
    ("monthly on the 31st", "DTSTART;TZID=Europe/Berlin:20250131T080000", ["RRULE:FREQ=MONTHLY;BYMONTHDAY=31"]),
    ("monthly last Friday", "DTSTART;TZID=Europe/Berlin:20250131T160000", ["RRULE:FREQ=MONTHLY;BYDAY=-1FR"]),
    ("yearly on 29 February", "DTSTART;TZID=Europe/Berlin:20240229T120000",
     ["RRULE:FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=29"]),
    ("COUNT", "DTSTART;TZID=Europe/Berlin:20261020T090000", ["RRULE:FREQ=DAILY;COUNT=10"]),
    ("UNTIL in UTC", "DTSTART;TZID=Europe/Berlin:20261020T090000", ["RRULE:FREQ=DAILY;UNTIL=20261028T080000Z"]),
    ("UNTIL in local time", "DTSTART;TZID=Europe/Berlin:20261020T090000", ["RRULE:FREQ=DAILY;UNTIL=20261028T090000"]),
    ("EXDATE", "DTSTART;TZID=Europe/Berlin:20261102T093000",
     ["RRULE:FREQ=WEEKLY;BYDAY=MO,WE", "EXDATE;TZID=Europe/Berlin:20261104T093000,20261116T093000"]),
    ("RDATE", "DTSTART;TZID=Europe/Berlin:20261102T093000",
     ["RRULE:FREQ=WEEKLY;BYDAY=MO;COUNT=4", "RDATE;TZID=Europe/Berlin:20261105T150000", "RDATE:20261203T080000Z"]),
    ("daylight saving, Europe/Berlin", "DTSTART;TZID=Europe/Berlin:20250901T093000", ["RRULE:FREQ=WEEKLY;BYDAY=MO"]),
    ("daylight saving, America/New_York", "DTSTART;TZID=America/New_York:20250901T090000",
     ["RRULE:FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR"]),
    ("UTC series", "DTSTART:20250904T070000Z", ["RRULE:FREQ=WEEKLY;BYDAY=TH"]),
    ("floating series", "DTSTART:20250904T070000", ["RRULE:FREQ=WEEKLY;BYDAY=TH"]),
    ("all-day series", "DTSTART;VALUE=DATE:20250905", ["RRULE:FREQ=WEEKLY;BYDAY=FR;UNTIL=20261225"]),
]
READERS = ["Europe/Berlin", "America/New_York"]
RANGES = [(date(2026, 11, 2), date(2026, 11, 8)), (date(2026, 3, 1), date(2026, 3, 31)),
          (date(2025, 10, 1), date(2026, 11, 30)), (date(2024, 1, 1), date(2033, 12, 31))]


def expected(start_line, lines, reader, first, last):
    [start], tz = times(start_line)
    text = "\n".join(l for l in lines if l.startswith("RRULE"))
    # dateutil wants UNTIL in UTC for a zoned start; the local form means the series' own clock.
    m = re.search(r"UNTIL=(\d{8}T\d{6})(?!Z)", text)
    if m and tz is not None:
        until = datetime.strptime(m.group(1), "%Y%m%dT%H%M%S").replace(tzinfo=tz).astimezone(timezone.utc)
        text = text.replace(m.group(0), f"UNTIL={until:%Y%m%dT%H%M%SZ}")
    rules = rrulestr(text, dtstart=start, forceset=True)
    for line in lines:
        if line.startswith(("RDATE", "EXDATE")):
            for t in times(line)[0]:  # dateutil reads no TZID there
                (rules.rdate if line.startswith("RDATE") else rules.exdate)(t)
    low, high = datetime.combine(first, datetime.min.time()), datetime.combine(last + timedelta(days=1),
                                                                                datetime.min.time())
    out = []
    for s in rules:
        # Floating times and dates are in the reader's own clock.
        shown = s if s.tzinfo is None else s.astimezone(ZoneInfo(reader)).replace(tzinfo=None)
        if shown >= high + timedelta(days=2):
            break
        if shown >= low and shown < high:
            out.append(shown)
    return out


def check_listings(folder):
    path = os.path.join(folder, "series.ics")
    for name, start_line, lines in SERIES:
        all_day = "VALUE=DATE" in start_line
        write(path, vevent("series@test", "Series", [start_line, *lines] + ([] if all_day else ["DURATION:PT30M"])))
        for reader in READERS if "TZID" in start_line or "Z" in start_line else READERS[:1]:
            for first, last in RANGES:
                got = tool(reader, "list", path, first, last)
                want = [f"{s:%Y-%m-%d %H:%M} +{1440 if all_day else 30} Series|"
                        for s in expected(start_line, lines, reader, first, last)]
                if got != want:
                    diff = "\n".join(difflib.unified_diff(want, got, "dateutil", "store", lineterm="", n=1))
                    FAILURES.append(f"{name}, read in {reader}, {first}..{last}:\n{diff}")


def check_overrides(folder):
    # The week of 9 November: the occurrence of the 9th moved out of it, the
    # 16th's moved into it, the 11th's renamed by an override before its series.
    path = os.path.join(folder, "overrides.ics")
    z = "TZID=Europe/Berlin"
    write(path,
          vevent("m@t", "Renamed", [f"RECURRENCE-ID;{z}:20261111T093000", f"DTSTART;{z}:20261111T093000",
                                    "DURATION:PT45M"]),
          vevent("m@t", "Stand-up", [f"DTSTART;{z}:20261102T093000", "DURATION:PT30M", "RRULE:FREQ=WEEKLY;BYDAY=MO,WE"]),
          vevent("m@t", "Moved out", [f"RECURRENCE-ID;{z}:20261109T093000", f"DTSTART;{z}:20261120T100000"]),
          vevent("m@t", "Moved in", ["RECURRENCE-ID:20261116T083000Z", f"DTSTART;{z}:20261113T160000"]),
          vevent("orphan@t", "Orphan", [f"RECURRENCE-ID;{z}:20261110T093000", f"DTSTART;{z}:20261110T120000"]))
    got = tool("Europe/Berlin", "list", path, date(2026, 11, 9), date(2026, 11, 15))
    if got != ["2026-11-10 12:00 +0 Orphan|", "2026-11-11 09:30 +45 Renamed|", "2026-11-13 16:00 +0 Moved in|"]:
        FAILURES.append(f"overrides in and out of the week: {got}")


# A save on the third stand-up of a week and a delete of the second, for series
# written in a zone, in UTC and by date: the RECURRENCE-ID the save writes.
SAVED = [("DTSTART;TZID=Europe/Berlin:20261102T093000", "RECURRENCE-ID;TZID=Europe/Berlin:20261106T093000"),
         ("DTSTART:20261102T083000Z", "RECURRENCE-ID:20261106T083000Z"),
         ("DTSTART;VALUE=DATE:20261102", "RECURRENCE-ID;VALUE=DATE:20261106")]


def check_save_and_delete(folder):
    path = os.path.join(folder, "save.ics")
    week = (date(2026, 11, 2), date(2026, 11, 8))
    for start_line, recurrence_line in SAVED:
        events = [vevent("s@t", "Review", [start_line, "RRULE:FREQ=WEEKLY;BYDAY=MO,WE,FR", "X-KEPT:1"]),
                  vevent("o@t", "Other", ["DTSTART:20261103T100000Z"])]
        write(path, *events)
        before = open(path, newline="").read()
        listed = tool("Europe/Berlin", "list", path, *week)  # Mon, Tue (Other), Wed, Fri
        tool("Europe/Berlin", "categorize", path, *week, 3, "Customer A,Meeting")
        after = open(path, newline="").read()
        block = re.search(r"BEGIN:VEVENT\r\n(?:(?!BEGIN:VEVENT).)*?RECURRENCE-ID.*?END:VEVENT\r\n", after, re.S)
        if block is None or after.replace(block.group(0), "", 1) != before or recurrence_line not in block.group(0):
            FAILURES.append(f"save on an occurrence ({start_line}) wrote more than its override:\n{after}")
            continue
        series = [e for e in icalendar.Calendar.from_ical(after).walk("VEVENT") if str(e.get("UID")) == "s@t"]
        overrides = [e for e in series if "RECURRENCE-ID" in e]
        cats = [str(c) for c in overrides[0].get("CATEGORIES").cats] if len(overrides) == 1 else None
        if len(series) != 2 or cats != ["Customer A", "Meeting"] or "CATEGORIES" in series[0]:
            FAILURES.append(f"save ({start_line}): read back {len(series)} events, override categories {cats}")
        relisted = tool("Europe/Berlin", "list", path, *week)
        if relisted != listed[:3] + [listed[3].replace("|", "|Customer A,Meeting")]:
            FAILURES.append(f"save ({start_line}): listed before {listed}, after {relisted}")

        # Deleting Wednesday's: one EXDATE more on the series, nothing else.
        write(path, *events)
        tool("Europe/Berlin", "delete", path, *week, 2)
        after = open(path, newline="").read()
        diff = [l for l in difflib.ndiff(before.splitlines(True), after.splitlines(True)) if l[0] in "+-"]
        exdate = recurrence_line.replace("RECURRENCE-ID", "EXDATE").replace("1106", "1104")
        if diff != [f"+ {exdate}\r\n"] or tool("Europe/Berlin", "list", path, *week) != listed[:2] + listed[3:]:
            FAILURES.append(f"delete ({start_line}): the file changed by {diff}, not by {exdate}")


def main():
    with tempfile.TemporaryDirectory() as folder:
        check_listings(folder)
        check_overrides(folder)
        check_save_and_delete(folder)
    print("\n".join(FAILURES), file=sys.stderr)
    print(f"{len(FAILURES)} failures")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
