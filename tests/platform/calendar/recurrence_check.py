#!/usr/bin/env python3
"""Recurring appointments as the store lists and saves them, checked against
other programs' readings of the same calendars: python-dateutil's rrule
expands each series independently, and python-icalendar reads back what a
save on one occurrence and a delete of one wrote.

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
    env = dict(os.environ, TZ=tz)
    p = subprocess.run([TOOL, *map(str, args)], env=env, capture_output=True, text=True, timeout=60)
    if p.returncode != 0:
        raise RuntimeError(f"calendar_tool {' '.join(map(str, args))}: {p.stderr}")
    return p.stdout.splitlines()


def calendar(*events):
    body = "".join(events)
    return f"BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//recurrence//EN\r\n{body}END:VCALENDAR\r\n"


def vevent(uid, subject, lines, minutes=30):
    return (f"BEGIN:VEVENT\r\nUID:{uid}\r\nDTSTAMP:20260101T000000Z\r\n" + "".join(l + "\r\n" for l in lines)
            + f"DURATION:PT{minutes}M\r\nSUMMARY:{subject}\r\nEND:VEVENT\r\n")


def value(dt, form):
    """An iCalendar value of `dt` in the form of the series' DTSTART."""
    if form == "date":
        return dt.strftime("%Y%m%d")
    if form == "utc":
        return dt.astimezone(timezone.utc).strftime("%Y%m%dT%H%M%SZ")
    return dt.strftime("%Y%m%dT%H%M%S")


def head(name, form, zone):
    return {"date": f"{name};VALUE=DATE", "utc": name, "floating": name}.get(form, f"{name};TZID={zone}")


def check(name, got, expected):
    if got != expected:
        diff = "\n".join(difflib.unified_diff(expected, got, "dateutil", "store", lineterm="", n=1))
        FAILURES.append(f"{name}:\n{diff}")


def listing(starts, subject, minutes):
    return [f"{s:%Y-%m-%d %H:%M} +{minutes} {subject}|" for s in starts]


# name, series zone ("utc", "floating", "date" or a TZID), DTSTART, rule lines,
# local zone of the reader, ranges; `until_local` gives dateutil UNTIL in the
# series' zone where the file writes it as a local time.
SERIES = [
    ("weekly BYDAY", "Europe/Berlin", datetime(2026, 11, 2, 9, 30), ["RRULE:FREQ=WEEKLY;BYDAY=MO,WE,FR"]),
    ("every second week", "Europe/Berlin", datetime(2026, 1, 6, 14, 0), ["RRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=TU"]),
    ("monthly on the 31st", "Europe/Berlin", datetime(2025, 1, 31, 8, 0), ["RRULE:FREQ=MONTHLY;BYMONTHDAY=31"]),
    ("monthly last Friday", "Europe/Berlin", datetime(2025, 1, 31, 16, 0), ["RRULE:FREQ=MONTHLY;BYDAY=-1FR"]),
    ("yearly on 29 February", "Europe/Berlin", datetime(2024, 2, 29, 12, 0),
     ["RRULE:FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=29"]),
    ("COUNT", "Europe/Berlin", datetime(2026, 10, 20, 9, 0), ["RRULE:FREQ=DAILY;COUNT=10"]),
    ("UNTIL in UTC", "Europe/Berlin", datetime(2026, 10, 20, 9, 0), ["RRULE:FREQ=DAILY;UNTIL=20261028T080000Z"]),
    ("UNTIL in local time", "Europe/Berlin", datetime(2026, 10, 20, 9, 0), ["RRULE:FREQ=DAILY;UNTIL=20261028T090000"]),
    ("EXDATE", "Europe/Berlin", datetime(2026, 11, 2, 9, 30),
     ["RRULE:FREQ=WEEKLY;BYDAY=MO,WE", "EXDATE;TZID=Europe/Berlin:20261104T093000,20261116T093000"]),
    ("RDATE", "Europe/Berlin", datetime(2026, 11, 2, 9, 30),
     ["RRULE:FREQ=WEEKLY;BYDAY=MO;COUNT=4", "RDATE;TZID=Europe/Berlin:20261105T150000", "RDATE:20261203T080000Z"]),
    ("daylight saving, Europe/Berlin", "Europe/Berlin", datetime(2025, 9, 1, 9, 30), ["RRULE:FREQ=WEEKLY;BYDAY=MO"]),
    ("daylight saving, America/New_York", "America/New_York", datetime(2025, 9, 1, 9, 0),
     ["RRULE:FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR"]),
    ("UTC series", "utc", datetime(2025, 9, 4, 7, 0, tzinfo=timezone.utc), ["RRULE:FREQ=WEEKLY;BYDAY=TH"]),
    ("floating series", "floating", datetime(2025, 9, 4, 7, 0), ["RRULE:FREQ=WEEKLY;BYDAY=TH"]),
    ("all-day series", "date", datetime(2025, 9, 5), ["RRULE:FREQ=WEEKLY;BYDAY=FR;UNTIL=20261225"]),
]
READERS = ["Europe/Berlin", "America/New_York"]
RANGES = [(date(2026, 11, 2), date(2026, 11, 8)), (date(2026, 3, 1), date(2026, 3, 31)),
          (date(2025, 10, 1), date(2026, 11, 30)), (date(2024, 1, 1), date(2033, 12, 31))]


def listed_dates(line, tz):
    """The times of an RDATE or EXDATE line (dateutil reads no TZID there)."""
    params, values = line.split(":", 1)
    m = re.search(r"TZID=([^;:]+)", params)
    zone = ZoneInfo(m.group(1)) if m else tz
    out = []
    for v in values.split(","):
        if v.endswith("Z"):
            out.append(datetime.strptime(v, "%Y%m%dT%H%M%SZ").replace(tzinfo=timezone.utc))
        elif len(v) == 8:
            out.append(datetime.strptime(v, "%Y%m%d"))
        else:
            out.append(datetime.strptime(v, "%Y%m%dT%H%M%S").replace(tzinfo=zone))
    return out


def expected_starts(zone, start, lines, reader, first, last):
    tz = None if zone in ("floating", "date") else (timezone.utc if zone == "utc" else ZoneInfo(zone))
    dtstart = start if start.tzinfo or tz is None else start.replace(tzinfo=tz)
    text = "\n".join(l for l in lines if l.startswith("RRULE"))
    # dateutil wants UNTIL in UTC for a zoned start: the local form means the series' wall clock.
    m = re.search(r"UNTIL=(\d{8}T\d{6})(?!Z)", text)
    if m and tz is not None:
        until = datetime.strptime(m.group(1), "%Y%m%dT%H%M%S").replace(tzinfo=tz).astimezone(timezone.utc)
        text = text.replace(m.group(0), f"UNTIL={until:%Y%m%dT%H%M%SZ}")
    rules = rrulestr(text, dtstart=dtstart, forceset=True)
    for line in lines:
        for t in listed_dates(line, tz) if line.startswith(("RDATE", "EXDATE")) else []:
            (rules.rdate if line.startswith("RDATE") else rules.exdate)(t)
    local = ZoneInfo(reader)
    low = datetime(first.year, first.month, first.day)
    high = datetime(last.year, last.month, last.day) + timedelta(days=1)
    out = []
    for s in rules:
        # Floating times and dates are in the reader's own clock.
        shown = s if s.tzinfo is None else s.astimezone(local).replace(tzinfo=None)
        if low <= shown < high:
            out.append(shown)
        elif shown >= high + timedelta(days=2):
            break
    return out


def check_listings(folder):
    for name, zone, start, lines in SERIES:
        minutes = 1440 if zone == "date" else 30
        start_line = f"{head('DTSTART', zone, zone)}:{value(start, zone)}"
        path = os.path.join(folder, "series.ics")
        event = vevent("series@test", "Series", [start_line, *lines], minutes)
        if zone == "date":
            event = event.replace("DURATION:PT1440M\r\n", "")
        with open(path, "w", newline="") as f:
            f.write(calendar(event))
        for reader in READERS:
            if zone in ("floating", "date") and reader != READERS[0]:
                continue
            for first, last in RANGES:
                got = tool(reader, "list", path, first, last)
                want = listing(expected_starts(zone, start, lines, reader, first, last), "Series", minutes)
                check(f"{name}, read in {reader}, {first}..{last}", got, want)


def check_overrides(folder):
    # Occurrences of 9, 11 and 16 November: the first moved out of the week,
    # the last moved into it; the override of the 11th stands before its
    # master in the file.
    master = vevent("moved@test", "Stand-up",
                    ["DTSTART;TZID=Europe/Berlin:20261102T093000", "RRULE:FREQ=WEEKLY;BYDAY=MO,WE"])
    moved_out = vevent("moved@test", "Moved out", ["RECURRENCE-ID;TZID=Europe/Berlin:20261109T093000",
                                                   "DTSTART;TZID=Europe/Berlin:20261120T100000"])
    renamed = vevent("moved@test", "Renamed", ["RECURRENCE-ID;TZID=Europe/Berlin:20261111T093000",
                                               "DTSTART;TZID=Europe/Berlin:20261111T093000"], 45)
    moved_in = vevent("moved@test", "Moved in", ["RECURRENCE-ID:20261116T083000Z",
                                                 "DTSTART;TZID=Europe/Berlin:20261113T160000"])
    orphan = vevent("orphan@test", "Orphan", ["RECURRENCE-ID;TZID=Europe/Berlin:20261110T093000",
                                              "DTSTART;TZID=Europe/Berlin:20261110T120000"])
    path = os.path.join(folder, "overrides.ics")
    with open(path, "w", newline="") as f:
        f.write(calendar(renamed, master, moved_out, moved_in, orphan))
    got = tool("Europe/Berlin", "list", path, date(2026, 11, 9), date(2026, 11, 15))
    check("overrides in and out of the week", got, [
        "2026-11-10 12:00 +30 Orphan|", "2026-11-11 09:30 +45 Renamed|", "2026-11-13 16:00 +30 Moved in|"])


SAVED = [  # (series zone, DTSTART line, expected RECURRENCE-ID line of the third occurrence)
    ("Europe/Berlin", "DTSTART;TZID=Europe/Berlin:20261102T093000", "RECURRENCE-ID;TZID=Europe/Berlin:20261106T093000"),
    ("utc", "DTSTART:20261102T083000Z", "RECURRENCE-ID:20261106T083000Z"),
    ("date", "DTSTART;VALUE=DATE:20261102", "RECURRENCE-ID;VALUE=DATE:20261106"),
]


def events_of(text, uid):
    cal = icalendar.Calendar.from_ical(text)
    return [c for c in cal.walk("VEVENT") if str(c.get("UID")) == uid]


def check_save_and_delete(folder):
    for zone, start_line, recurrence_line in SAVED:
        path = os.path.join(folder, "save.ics")
        event = vevent("saved@test", "Review", [start_line, "RRULE:FREQ=WEEKLY;BYDAY=MO,WE,FR",
                                                "EXDATE;TZID=Europe/Berlin:20261111T093000" if zone == "Europe/Berlin"
                                                else "X-NOTE:kept"])
        before = calendar(event, vevent("other@test", "Other", ["DTSTART:20261103T100000Z"]))
        with open(path, "w", newline="") as f:
            f.write(before)
        listed = tool("Europe/Berlin", "list", path, date(2026, 11, 2), date(2026, 11, 8))
        tool("Europe/Berlin", "categorize", path, date(2026, 11, 2), date(2026, 11, 8), 3, "Customer A,Meeting")
        after = open(path, newline="").read()
        # The file gained one VEVENT, the override, and changed nowhere else.
        block = re.search(r"BEGIN:VEVENT\r\n(?:(?!BEGIN:VEVENT).)*?RECURRENCE-ID.*?END:VEVENT\r\n", after, re.S)
        if block is None or after.replace(block.group(0), "", 1) != before:
            FAILURES.append(f"save on an occurrence ({zone}) changed more than adding its override:\n{after}")
            continue
        if recurrence_line + "\r\n" not in block.group(0):
            FAILURES.append(f"save on an occurrence ({zone}): no {recurrence_line} in\n{block.group(0)}")
        events = events_of(after, "saved@test")
        masters = [e for e in events if "RECURRENCE-ID" not in e]
        overrides = [e for e in events if "RECURRENCE-ID" in e]
        if len(masters) != 1 or len(overrides) != 1:
            FAILURES.append(f"save ({zone}): {len(masters)} series and {len(overrides)} overrides read back")
            continue
        cats = overrides[0].get("CATEGORIES")
        cats = [str(c) for c in (cats.cats if hasattr(cats, "cats") else [])]
        if cats != ["Customer A", "Meeting"] or str(overrides[0].get("SUMMARY")) != "Review":
            FAILURES.append(f"save ({zone}): the override reads back with categories {cats}")
        if masters[0].get("CATEGORIES") is not None:
            FAILURES.append(f"save ({zone}): the series gained categories")
        relisted = tool("Europe/Berlin", "list", path, date(2026, 11, 2), date(2026, 11, 8))
        changed = [(a, b) for a, b in zip(listed, relisted) if a != b]
        if len(relisted) != len(listed) or changed != [(listed[3], listed[3].replace("|", "|Customer A,Meeting"))]:
            FAILURES.append(f"save ({zone}): listed before {listed}, after {relisted}")

        # Deleting another occurrence: one EXDATE more on the series, nothing else.
        with open(path, "w", newline="") as f:
            f.write(before)
        tool("Europe/Berlin", "delete", path, date(2026, 11, 2), date(2026, 11, 8), 2)
        after = open(path, newline="").read()
        diff = [l for l in difflib.ndiff(before.splitlines(True), after.splitlines(True)) if l[0] in "+-"]
        exdate = recurrence_line.replace("RECURRENCE-ID", "EXDATE").replace("06", "04", 1)
        if diff != [f"+ {exdate}\r\n"]:
            FAILURES.append(f"delete ({zone}): the file changed by {diff}, not by {exdate}")
        relisted = tool("Europe/Berlin", "list", path, date(2026, 11, 2), date(2026, 11, 8))
        if relisted != listed[:2] + listed[3:]:
            FAILURES.append(f"delete ({zone}): listed before {listed}, after {relisted}")


def main():
    with tempfile.TemporaryDirectory() as folder:
        check_listings(folder)
        check_overrides(folder)
        check_save_and_delete(folder)
    for f in FAILURES:
        print(f, file=sys.stderr)
    print(f"{len(FAILURES)} failures")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
