#!/usr/bin/env python3
"""`tallyset report` as a process, on tests/data/report/time_card.ics.

The totals below are worked out by hand from the fixture (range 2026-11-30
to 2026-12-04). The settings appointment lies inside the range and is not
counted; e7 (11-29 23:59) and e8 (12-05 00:00) lie just outside it, e9
(11-30 00:00) and e10 (12-04 23:59) just inside; e6 is all-day. Values are
found as the time card finds them: 'North Region' carries North, 'PreSales'
carries Sales (the lower-numbered choice that occurs), 'sales' carries
nothing. The stand-up meets Monday, Wednesday and Friday from 11-27: in the
range on 11-30 and, moved to 09:00 and made longer by its override, on 12-04;
12-02 is excluded, 11-27 and 12-07 lie outside. The JSON is read by python's
json, the CSV by its csv module, and the chart's bars are measured in the
PNG's pixels.

Environment: TALLYSET (the program), FIXTURE (the calendar).
"""
import csv
import io
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

TALLYSET = os.environ["TALLYSET"]
FIXTURE = os.environ["FIXTURE"]
RANGE = ["--from", "2026-11-30", "--to", "2026-12-04"]

# (Customer, Task, Billable), minutes, appointments; in the report's order.
ROWS = [
    (("", "", ""), 240, 1),  # e4, no categories
    (("Smith, Jones", "Travel", "No"), 150, 2),  # e2 90 + e10 60
    (("North", "Meeting", "Yes"), 75, 2),  # e1 60 + e9 15
    (("North", "Travel", "No"), 45, 1),  # e11; ties with e3, values ascending
    (('Say "Hi" Ltd', "Meeting", "Yes"), 45, 1),  # e3
    (("North", "Meeting", "No"), 40, 1),  # the stand-up's override on 12-04
    (("Sales", "", ""), 30, 1),  # e5, PreSales
    (("Sales", "Meeting", "No"), 20, 1),  # the stand-up on 11-30
    (("", "Meeting", "Yes"), 10, 1),  # e12, sales; 0.17 h rounds up
]
TOTAL = {"minutes": 655, "appointments": 11}
INCOMPLETE = {"minutes": 280, "appointments": 3}  # e4, e5, e12

passed = failed = 0


def check(name, ok, detail=""):
    global passed, failed
    if ok:
        passed += 1
    else:
        failed += 1
        print(f"FAILED: {name}" + (f"\n  {detail}" if detail else ""))


def report(*args, calendar=None):
    cmd = [TALLYSET, "report", "--calendar", calendar or work_calendar, *args]
    p = subprocess.run(cmd, capture_output=True)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


def png_pixels(path):
    """(width, height, rows of (r, g, b) tuples) of an 8-bit RGB or RGBA PNG."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, color = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and color in (2, 6)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    bpp = 3 if color == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(width)])
        prev = line
    return width, height, rows


def bar_lengths(rows, color):
    """Length in pixels of each bar of `color`, top to bottom (one per run of scanlines)."""
    bars, inside = [], False
    for line in rows:
        n = sum(1 for px in line if px == color)
        if n and not inside:
            bars.append(n)
        inside = n > 0
    return bars


work = tempfile.mkdtemp()
try:
    work_calendar = os.path.join(work, "cal.ics")
    shutil.copyfile(FIXTURE, work_calendar)

    # JSON: every number of the fixture, read by a real parser.
    code, out, err = report(*RANGE, "--format", "json")
    check("json exits 0", code == 0, err)
    doc = json.loads(out)
    check("json names the range and the fields",
          (doc["from"], doc["to"], doc["by"]) == ("2026-11-30", "2026-12-04", ["Customer", "Task", "Billable"]),
          out)
    got = [(tuple(r["values"][k] for k in doc["by"]), r["minutes"], r["appointments"]) for r in doc["rows"]]
    check("json rows: totals per combination, in order", got == ROWS, got)
    check("json total", doc["total"] == TOTAL, doc["total"])
    check("json incomplete", doc["incomplete"] == INCOMPLETE, doc["incomplete"])
    check("json all_day", doc["all_day"] == 1, doc["all_day"])

    # CSV: read back by a CSV reader, in the same order, hours with two decimals.
    code, out, err = report(*RANGE, "--format", "csv")
    check("csv exits 0", code == 0, err)
    lines = list(csv.reader(io.StringIO(out, newline="")))
    check("csv header", lines[0] == ["Customer", "Task", "Billable", "minutes", "hours", "appointments"], lines[0])
    want = [[*v, str(m), f"{m / 60:.2f}", str(a)] for v, m, a in ROWS]
    check("csv rows, quoting and hours", lines[1:] == want, lines[1:])
    # A lenient reader takes an unquoted inner quote as text; RFC 4180 wants the field quoted.
    check("csv quotes a value with a double quote", '\r\n"Say ""Hi"" Ltd",Meeting,Yes,45,' in out, out)
    check("csv ends lines with CRLF", out.count("\r\n") == len(ROWS) + 1, repr(out[:80]))

    # --by: the given fields in the given order.
    code, out, err = report(*RANGE, "--by", "Billable,Customer", "--format", "csv")
    lines = list(csv.reader(io.StringIO(out, newline="")))
    check("--by regroups in its own order", [l[:4] for l in lines] == [
        ["Billable", "Customer", "minutes", "hours"], ["", "", "240", "4.00"], ["No", "Smith, Jones", "150", "2.50"],
        ["No", "North", "85", "1.42"], ["Yes", "North", "75", "1.25"], ["Yes", 'Say "Hi" Ltd', "45", "0.75"],
        ["", "Sales", "30", "0.50"], ["No", "Sales", "20", "0.33"], ["Yes", "", "10", "0.17"]], lines)
    code, out, err = report(*RANGE, "--by", "Task", "--format", "json")
    doc = json.loads(out)
    got = [(r["values"]["Task"], r["minutes"], r["appointments"]) for r in doc["rows"]]
    check("--by Task adds up across customers", got == [("", 270, 2), ("Travel", 195, 3), ("Meeting", 190, 6)], got)
    check("incomplete ignores --by", doc["incomplete"] == INCOMPLETE, doc["incomplete"])

    # The default range is the screen's: seven days back from today.
    code, out, err = report("--now", "2026-12-04 16:20", "--format", "json")
    doc = json.loads(out)
    check("default range ends today and starts seven days before", (doc["from"], doc["to"]) ==
          ("2026-11-27", "2026-12-04"), out)
    # e7 and the stand-up of 11-27 come in.
    check("the default range takes in e7", doc["total"] == {"minutes": 705, "appointments": 13}, doc["total"])

    # Table: the same rows for a person, with the total and the incomplete line.
    code, out, err = report(*RANGE)
    check("table exits 0", code == 0, err)
    table = out.splitlines()
    check("table shows each row's values and hours", any(
        "Smith, Jones" in l and "Travel" in l and l.split()[-3:] == ["2.50", "150", "2"] for l in table), out)
    check("table shows the total", any(l.startswith("Total") and l.split()[-3:] == ["10.92", "655", "11"]
                                       for l in table), out)
    check("table shows the incomplete line", any(
        l.startswith("Incomplete") and l.split()[-3:] == ["4.67", "280", "3"] for l in table), out)
    check("table counts the all-day appointment", "All-day appointments (no hours counted): 1" in out, out)

    # The chart: one bar per row, lengths in proportion to the minutes.
    chart = os.path.join(work, "chart.png")
    code, out, err = report(*RANGE, "--format", "csv", "--chart", chart)
    check("chart run exits 0", code == 0, err)
    width, height, pixels = png_pixels(chart)
    bars = bar_lengths(pixels, (0x3A, 0x6E, 0xA5))
    minutes = [m for _, m, _ in ROWS]
    check("one bar per row", len(bars) == len(ROWS), bars)
    if len(bars) == len(ROWS):
        check("bars in proportion to minutes", all(abs(b - bars[0] * m / minutes[0]) <= 1.5
                                                   for b, m in zip(bars, minutes)), (bars, minutes))
    svg = os.path.join(work, "chart.svg")
    code, _, err = report(*RANGE, "--chart", svg)
    check("an SVG chart is written", code == 0 and b"<svg" in open(svg, "rb").read(400), err)
    code, _, err = report(*RANGE, "--chart", os.path.join(work, "missing", "chart.png"))
    check("an unwritable chart exits 2 and says so", code == 2 and "cannot write the chart" in err, err)

    check("the report never writes the calendar", open(FIXTURE, "rb").read() == open(work_calendar, "rb").read())

    # Bad input: exit 2 with one clear message; no settings: exit 1 and how to add them.
    for name, args, needle in [
        ("unknown label lists the known ones", ["--by", "Client"], "'Customer', 'Task', 'Billable'"),
        ("a label twice", ["--by", "Task,Task"], "twice"),
        ("end before start", ["--from", "2026-12-05", "--to", "2026-12-04"], "before it starts"),
        ("--from after today", ["--now", "2026-12-04 09:00", "--from", "2026-12-05"], "before it starts"),
        ("unknown format", ["--format", "xml"], "table, csv or json"),
        ("not a date", ["--from", "2026-02-30"], "YYYY-MM-DD"),
        ("a chart of another kind", ["--chart", "chart.gif"], ".png or .svg"),
        ("a value that is an option", ["--by", "--format", "csv"], "--by needs a value"),
        ("unknown option", ["--frobnicate"], "unknown option"),
    ]:
        code, out, err = report(*args)
        check(name, code == 2 and needle in err and out == "", (code, err))
    broken = os.path.join(work, "broken.ics")
    open(broken, "w").write("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\n")
    code, _, err = report(calendar=broken)
    check("an unreadable calendar exits 2", code == 2 and "broken.ics" in err, err)
    bare = os.path.join(work, "bare.ics")
    open(bare, "w").write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nEND:VCALENDAR\r\n")
    for name, path in [("no settings", bare), ("no calendar file", os.path.join(work, "none.ics"))]:
        code, out, err = report(calendar=path)
        check(f"{name} exits 1 and says how to add settings", code == 1 and "tallyset init" in err, (code, err))
    check("a missing calendar is not created", not os.path.exists(os.path.join(work, "none.ics")))
finally:
    shutil.rmtree(work, ignore_errors=True)

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
