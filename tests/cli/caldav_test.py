#!/usr/bin/python3
"""The road from a CalDAV server to Tallyset and back, with real parts: a
Radicale server on 127.0.0.1, vdirsyncer syncing it into a vdir, Tallyset
editing the vdir, vdirsyncer syncing back, and khal reading the vdir.

Environment: TALLYSET (the program). Skips (exit 77) when radicale,
vdirsyncer or khal is not installed."""
import base64, os, shutil, signal, socket, subprocess, sys, tempfile, time, urllib.request

TOOLS = ["radicale", "vdirsyncer", "khal"]
missing = [t for t in TOOLS if shutil.which(t) is None]
if missing:
    print("SKIP: not installed: " + ", ".join(missing) + " (tools/install-deps.sh installs them)")
    sys.exit(77)
import icalendar  # python3-icalendar

TALLYSET = os.environ["TALLYSET"]
failures = []

def check(what, ok):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)

work = tempfile.mkdtemp(prefix="tallyset-caldav-")
with socket.socket() as s:
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
os.makedirs(work + "/collections")
with open(work + "/users", "w") as f:
    f.write("user:secret\n")
with open(work + "/radicale.conf", "w") as f:
    f.write(f"""[server]
hosts = 127.0.0.1:{port}
[auth]
type = htpasswd
htpasswd_filename = {work}/users
htpasswd_encryption = plain
[rights]
type = owner_only
[storage]
filesystem_folder = {work}/collections
[web]
type = none
[logging]
level = warning
""")
server = subprocess.Popen(["radicale", "-C", work + "/radicale.conf"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
URL = f"http://127.0.0.1:{port}/user/calendar/"
AUTH = "Basic " + base64.b64encode(b"user:secret").decode()

def http(method, url, body=None, ctype="text/calendar"):
    req = urllib.request.Request(url, data=body, method=method, headers={"Authorization": AUTH, "Content-Type": ctype})
    try:
        with urllib.request.urlopen(req, timeout=10) as r:
            return r.status, r.read()
    except urllib.error.HTTPError as e:
        return e.code, e.read()

def run(*args, stdin=None):
    return subprocess.run(list(args), input=stdin, capture_output=True, text=True, timeout=120)

try:
    for _ in range(100):
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                break
        except OSError:
            time.sleep(0.1)
    check("MKCALENDAR", http("MKCALENDAR", URL)[0] == 201)

    # The settings appointment, made by tallyset init, and events.
    run(TALLYSET, "init", "--calendar", work + "/settings.ics", "--field", "Customer:Acme;Globex;")
    settings = icalendar.Calendar.from_ical(open(work + "/settings.ics", "rb").read()).walk("VEVENT")[0]
    settings["UID"] = "settings"
    def calendar(*events):
        cal = icalendar.Calendar()
        cal.add("prodid", "-//Test//Test//EN")
        cal.add("version", "2.0")
        for e in events:
            cal.add_component(e)
        return cal.to_ical()
    def event(uid, summary, start, rrule=None):
        e = icalendar.Event()
        e.add("uid", uid)
        e.add("summary", summary)
        e.add("dtstamp", __import__("datetime").datetime(2026, 1, 1, tzinfo=__import__("datetime").timezone.utc))
        e.add("dtstart", start)
        e.add("duration", __import__("datetime").timedelta(hours=1))
        if rrule:
            e.add("rrule", rrule)
        return e
    import datetime as dt
    utc = dt.timezone.utc
    objects = {
        "settings": calendar(settings),
        "alpha": calendar(event("alpha", "Alpha", dt.datetime(2026, 11, 30, 9, tzinfo=utc))),
        "beta": calendar(event("beta", "Beta", dt.datetime(2026, 12, 1, 9, tzinfo=utc))),
        "series": calendar(event("series", "Daily", dt.datetime(2026, 11, 30, 14, tzinfo=utc), {"freq": "daily", "count": 5})),
    }
    for uid, body in objects.items():
        check("PUT " + uid, http("PUT", URL + uid + ".ics", body)[0] == 201)

    os.makedirs(work + "/vdir")
    with open(work + "/vdirsyncer.conf", "w") as f:
        f.write(f"""[general]
status_path = "{work}/status/"
[pair p]
a = "local"
b = "remote"
collections = null
[storage local]
type = "filesystem"
path = "{work}/vdir/"
fileext = ".ics"
[storage remote]
type = "caldav"
url = "{URL}"
username = "user"
password = "secret"
""")
    sync = lambda: run("vdirsyncer", "-c", work + "/vdirsyncer.conf", "sync", stdin="")
    r = run("vdirsyncer", "-c", work + "/vdirsyncer.conf", "discover", stdin="")
    check("vdirsyncer discover", r.returncode == 0)
    r = sync()
    check("vdirsyncer sync down", r.returncode == 0 and len([n for n in os.listdir(work + "/vdir") if n.endswith(".ics")]) == 4)
    before = {uid: http("GET", URL + uid + ".ics")[1] for uid in objects}

    now = ["--now", "2026-12-02 12:00"]
    listing = run(TALLYSET, "--calendar", work + "/vdir", "--headless", *now, "--script", "-", stdin="print list\n")
    rows = [line.split("\t") for line in listing.stdout.splitlines()]
    row_of = {row[3]: int(row[0]) for row in rows if len(row) > 3}
    check("Tallyset lists the synced events", "Alpha" in row_of and "Daily" in row_of)
    daily_rows = [int(row[0]) for row in rows if len(row) > 3 and row[3] == "Daily"]
    script = f"""select {row_of.get('Alpha', 0)}
choose 1 "Acme"
softkey right
editor ok subject="Fresh" start="2026-12-01 15:00" duration=30
menu "New Item"
select {daily_rows[1] if len(daily_rows) > 1 else 0}
editor delete
menu "Edit Item"
"""
    r = run(TALLYSET, "--calendar", work + "/vdir", "--headless", *now, "--script", "-", stdin=script)
    check("the script runs: " + r.stderr.strip(), r.returncode == 0)
    check("vdirsyncer sync up", sync().returncode == 0)

    after = {uid: http("GET", URL + uid + ".ics")[1] for uid in objects}
    alpha = icalendar.Calendar.from_ical(after["alpha"]).walk("VEVENT")[0]
    check("the saved categories are on the server", "Acme" in alpha.get("categories").to_ical().decode())
    series = icalendar.Calendar.from_ical(after["series"]).walk("VEVENT")[0]
    exdates = series.get("exdate")
    exdates = exdates if isinstance(exdates, list) else [exdates] if exdates else []
    check("the deleted occurrence is an EXDATE on the server", [d.dts[0].dt for d in exdates] == [dt.datetime(2026, 12, 1, 14, tzinfo=utc)])
    check("nothing else changed on the server", before["beta"] == after["beta"] and before["settings"] == after["settings"])
    status, report = http("PROPFIND", URL, b"", "application/xml")
    hrefs = report.decode().count("<href>") if status == 207 else 0
    fresh = [n for n in os.listdir(work + "/vdir") if n.endswith(".ics") and n[:-4] not in objects]
    check("one new file in the vdir", len(fresh) == 1)
    if fresh:
        got = http("GET", URL + fresh[0])
        check("the new event is on the server", got[0] == 200 and b"SUMMARY:Fresh" in got[1])

    # The other way: an event changed on the server reaches Tallyset, and
    # Tallyset's earlier change stays.
    beta = icalendar.Calendar.from_ical(after["beta"])
    beta.walk("VEVENT")[0]["SUMMARY"] = "Beta changed on the server"
    check("PUT changed beta", http("PUT", URL + "beta.ics", beta.to_ical())[0] in (201, 204))
    check("vdirsyncer sync down again", sync().returncode == 0)
    listing = run(TALLYSET, "--calendar", work + "/vdir", "--headless", *now, "--script", "-", stdin="print list\n")
    check("Tallyset lists the server's change", "Beta changed on the server" in listing.stdout)
    final = icalendar.Calendar.from_ical(http("GET", URL + "alpha.ics")[1]).walk("VEVENT")[0]
    check("the earlier categories are kept", "Acme" in final.get("categories").to_ical().decode())

    with open(work + "/khal.conf", "w") as f:
        f.write(f"""[calendars]
[[mine]]
path = {work}/vdir/
[locale]
timeformat = %H:%M
dateformat = %Y-%m-%d
longdateformat = %Y-%m-%d
datetimeformat = %Y-%m-%d %H:%M
longdatetimeformat = %Y-%m-%d %H:%M
[default]
default_calendar = mine
""")
    r = run("khal", "-c", work + "/khal.conf", "list", "--format", "{title}|{categories}", "2026-11-29", "2026-12-06")
    check("khal lists the categories Tallyset wrote: " + r.stderr.strip()[:200], "Alpha|" in r.stdout and "Acme" in r.stdout.split("Alpha|", 1)[-1].splitlines()[0])
finally:
    server.send_signal(signal.SIGTERM)
    try:
        server.wait(timeout=10)
    except subprocess.TimeoutExpired:
        server.kill()
    shutil.rmtree(work, ignore_errors=True)

sys.exit(1 if failures else 0)
