#!/usr/bin/env python3
"""Mutation testing of Tallyset: how many small faults does the test suite catch?

One fault at a time is written into a source file, the build is brought up to
date and ctest runs until its first failure. A mutant is
  killed     a test failed (or a test binary failed while listing its tests),
  timed out  the suite ran past its time: most likely an endless loop, which
             counts as detected but is reported on its own,
  survived   every test passed,
  invalid    it did not compile; left out of the rate.
The kill rate is (killed + timed out) / (killed + timed out + survived).

Faults are drawn from every candidate site of the `*.cpp` files under the
given folders (tests skipped), listed in a fixed order (sorted files, line
order) and sampled with --seed, the same number per folder so that each
folder's figure rests on the same footing.

Usage:
  tools/mutants.py [--seed N] [--count K] [--build DIR] [--jobs N]
                   [--timeout S] [--mutant-timeout S] [--build-timeout S] [--budget MIN]
                   [--exclude REGEX]... [--json FILE] [--report FILE]
                   [--list] [FOLDER...]
  tools/mutants.py --compare OLD.json NEW.json

The file under mutation is always put back: on error, Ctrl-C and SIGTERM by
try/finally, and after a SIGKILL at the next start, from the backup that a
journal in the build folder points to.
"""
import argparse
import dataclasses
import hashlib
import json
import os
import random
import re
import shlex
import signal
import subprocess
import sys
import time

DEFAULT_FOLDERS = ["app", "screen", "outlook", "platform/calendar", "platform/controls", "platform/core"]
DEFAULT_BUILD = "build-mutants"
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# ----------------------------------------------------------------- masking


def _ident_before(text, i):
    j = i
    while j > 0 and (text[j - 1].isalnum() or text[j - 1] == "_"):
        j -= 1
    return text[j:i]


def mask_code(text):
    """The text with comments blanked and the insides of string and character
    literals blanked (quotes kept), same length and same line breaks, so that
    offsets found in the mask apply to the text and no operator is ever found
    inside a comment or a literal."""
    out = list(text)
    n = len(text)
    i = 0

    def blank(a, b):
        for k in range(a, b):
            if out[k] != "\n":
                out[k] = " "

    while i < n:
        c = text[i]
        if c == "/" and text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            blank(i, end)
            i = end
        elif c == "/" and text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            blank(i, end)
            i = end
        elif c == '"':
            prefix = _ident_before(text, i)
            if prefix in ("R", "LR", "uR", "UR", "u8R"):
                paren = text.find("(", i + 1)
                delim = text[i + 1:paren] if paren >= 0 else ""
                close = text.find(")" + delim + '"', paren + 1) if paren >= 0 else -1
                end = n if close < 0 else close + len(delim) + 1
                blank(i + 1, end)
                i = end + 1
                continue
            j = i + 1
            while j < n and text[j] not in '"\n':
                j += 2 if text[j] == "\\" else 1
            j = min(j, n)
            blank(i + 1, j)
            i = j + 1
        elif c == "'":
            # A quote inside a number is a digit separator (1'000), not a literal.
            word = _ident_before(text, i)
            if word and word[0].isdigit():
                i += 1
                continue
            j = i + 1
            while j < n and text[j] not in "'\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j, n)
            blank(i + 1, j)
            i = j + 1
        else:
            i += 1
    return "".join(out)


def preprocessor_lines(masked_lines):
    """Indexes of lines that belong to preprocessor directives (with their
    backslash continuations)."""
    skip = set()
    cont = False
    for k, line in enumerate(masked_lines):
        if cont or line.lstrip().startswith("#"):
            skip.add(k)
            cont = line.rstrip().endswith("\\")
        else:
            cont = False
    return skip


# ------------------------------------------------------------------- sites


@dataclasses.dataclass
class Site:
    file: str  # relative to the repository root
    folder: str
    line: int  # 1-based, of the first edit
    op: str
    edits: list  # [start, end, replacement] on the whole file text
    original: str = ""
    mutated: str = ""

    def key(self):
        return f"{self.file}:{self.line}:{self.op}:{self.original} -> {self.mutated}"


FLIP = {"<": ">=", ">=": "<", ">": "<=", "<=": ">", "==": "!=", "!=": "=="}
BOUND = {"<": "<=", "<=": "<", ">": ">=", ">=": ">"}
KEYWORDS = {
    "return", "break", "continue", "goto", "throw", "delete", "co_return", "co_await", "co_yield",
    "using", "typedef", "case", "default", "else", "do", "auto", "const", "constexpr", "static",
    "if", "for", "while", "switch", "try", "catch", "namespace", "template", "typename", "struct",
    "class", "enum", "union", "public", "private", "protected", "friend", "operator", "new",
    "static_assert", "extern", "inline", "virtual", "explicit", "volatile", "register", "sizeof",
}
# A spaced binary operator: spaces on both sides rule out template brackets
# (std::vector<int>), ->, <<, >>, ++, --, +=, rvalue references and unary signs.
COMPARISON = re.compile(r"(?<=\s)(==|!=|<=|>=|<|>)(?=\s)")
ARITHMETIC = re.compile(r"(?<=\s)([+-])(?=\s)")
LOGICAL = re.compile(r"(?<=\s)(&&|\|\|)(?=\s)")
INT_LITERAL = re.compile(r"(?<![\w.'])(\d+)(?=[uUlLzZ]*(?![\w.']))")
CONDITION = re.compile(r"\b(if|while)\s*\(")
RETURN = re.compile(r"^(\s*return\s+)(.+?)(\s*;\s*)$")
BOOL_FUNCTION = re.compile(r"^(?:(?:static|inline|constexpr|\[\[nodiscard\]\])\s+)*bool\s+[\w:~]+\s*\(")
ASSIGN_OP = re.compile(r"(?:=(?!=)|\+=|-=|\*=|/=|%=|\|=|&=|\^=|<<=|>>=)")


def _balanced(s):
    depth = 0
    for ch in s:
        if ch in "([{":
            depth += 1
        elif ch in ")]}":
            depth -= 1
            if depth < 0:
                return False
    return depth == 0


def _top_level(s):
    """The characters of s at bracket depth 0, others blanked."""
    out, depth = [], 0
    for ch in s:
        if ch in "([{":
            depth += 1
            out.append(" ")
        elif ch in ")]}":
            depth -= 1
            out.append(" ")
        else:
            out.append(ch if depth == 0 else " ")
    return "".join(out)


def _skip_brackets(s, i):
    """Index after the bracket group opening at s[i], or -1."""
    pairs = {"(": ")", "[": "]"}
    close, depth = pairs[s[i]], 0
    for j in range(i, len(s)):
        if s[j] == s[i]:
            depth += 1
        elif s[j] == close:
            depth -= 1
            if depth == 0:
                return j + 1
    return -1


def is_expression_statement(code):
    """True for one whole statement that only calls or assigns, such as
    `f(x);`, `a.b->c(1).d = 2;`, `++n_;`; false for declarations, control
    flow and anything that spans lines. Dropping one keeps the file valid."""
    s = code.strip()
    if not s.endswith(";") or s.count(";") != 1 or not _balanced(s):
        return False
    body = s[:-1].rstrip()
    if body.startswith(("++", "--")):
        return re.fullmatch(r"(\+\+|--)\s*[A-Za-z_][\w.:>-]*", body) is not None and "->" not in body[:2]
    m = re.match(r"[A-Za-z_]\w*", body)
    if not m or m.group(0) in KEYWORDS:
        return False
    i, called = m.end(), False
    while i < len(body):
        if body.startswith("::", i) or body.startswith("->", i) or body[i] == ".":
            i += 2 if body[i] != "." else 1
            m = re.match(r"\s*(?:template\s+)?([A-Za-z_]\w*)", body[i:])
            if not m:
                return False
            i += m.end()
        elif body[i] in "([":
            called = called or body[i] == "("
            j = _skip_brackets(body, i)
            if j < 0:
                return False
            i = j
        else:
            break
    rest = body[i:].strip()
    if not rest:
        return called
    if rest in ("++", "--"):
        return True
    m = ASSIGN_OP.match(rest)
    return m is not None and rest[m.end():].strip() != ""


def _statement_start(prev_code):
    """Whether a statement may begin after this line: not when the line before
    leaves an expression open (`x =`, `f(a,`, two string pieces in a row)."""
    p = prev_code.strip()
    if p == "" or p.endswith((";", "{", "}", ":")) or re.search(r"\belse$", p):
        return True
    return p.endswith(")") and re.match(r"(}\s*)?(else\s+)?(if|for|while)\b", p) is not None


def _enclosing_returns_bool(masked_lines, k):
    """Whether the function around line k, as written at column 0, returns bool."""
    for j in range(k, -1, -1):
        line = masked_lines[j]
        if line[:1] and not line[:1].isspace() and line[:1] not in "}{#)/":
            return BOOL_FUNCTION.match(line) is not None and not line.startswith("namespace")
    return False


def _bound_operand(line, start, end):
    """Whether the literal at line[start:end] is an operand of a spaced
    comparison or arithmetic operator (`i < 10`, `n - 1`, `w / 2`): a bound or
    an offset, where n+1 is the classic slip. Arguments such as the unused
    zeros of SendMessageW(h, m, 0, 0) are left out; most changes there are
    equivalent and would only add noise."""
    while end < len(line) and (line[end].isalnum() or line[end] == "_"):
        end += 1  # a suffix: 24ULL
    before = line[:start].rstrip()
    after = line[end:].lstrip()
    ops = ("<=", ">=", "==", "!=", "<", ">", "+", "-", "*", "/", "%")
    return ((before.endswith(ops) and start > len(before) and not before.endswith(("->", "<<", ">>", "++", "--")))
            or (after.startswith(ops) and end < len(line) and after[:1] != line[end:end + 1]
                and not after.startswith(("->", "<<", ">>", "++", "--", "+=", "-=", "*=", "/=", "%=", "<<=", ">>="))))


def _single_operand(top):
    """Whether an expression (at bracket depth 0) has no binary operator left."""
    return not re.search(r"\s(==|!=|<=|>=|<|>|&&|\|\||\+|-|\*|/|%|\?|&|\||\^)\s", f" {top} ")


def _bool_expression(expr):
    top = _top_level(expr)
    return (expr.startswith("!") or COMPARISON.search(top) is not None or LOGICAL.search(top) is not None)


def find_sites(text, file="", folder=""):
    """Every candidate mutation of one source file, in line then column order."""
    masked = mask_code(text)
    lines = masked.split("\n")
    starts, pos = [], 0
    for line in lines:
        starts.append(pos)
        pos += len(line) + 1
    skip = preprocessor_lines(lines)
    found = []

    def add(k, op, edits):
        found.append(Site(file, folder, k + 1, op, [list(e) for e in edits]))

    prev_code = ""
    for k, m in enumerate(lines):
        if k in skip:
            continue
        base = starts[k]
        code = m.strip()
        no_templates = not re.search(r"\b(template|operator|static_assert)\b", m)
        if no_templates:
            for hit in COMPARISON.finditer(m):
                tok = hit.group(1)
                before = m[:hit.start()].rstrip()
                if tok == ">" and before.endswith(">"):
                    continue  # `> >` closing nested templates written the old way
                a, b = base + hit.start(), base + hit.end()
                add(k, "flip_comparison", [(a, b, FLIP[tok])])
                if tok in BOUND:
                    add(k, "off_by_one_bound", [(a, b, BOUND[tok])])
            for hit in LOGICAL.finditer(m):
                a, b = base + hit.start(), base + hit.end()
                add(k, "swap_logical", [(a, b, "||" if hit.group(1) == "&&" else "&&")])
            # `+` on strings would not compile as `-`; lines with a string
            # literal are most often string building.
            if '"' not in m:
                for hit in ARITHMETIC.finditer(m):
                    before = m[:hit.start()].rstrip()
                    if before and before[-1] in "=(,?:<>!&|+-*/%^~[{":
                        continue  # a spaced unary sign
                    a, b = base + hit.start(), base + hit.end()
                    add(k, "swap_arithmetic", [(a, b, "-" if hit.group(1) == "+" else "+")])
            if not re.search(r"\b(case|enum)\b", m):
                for hit in INT_LITERAL.finditer(m):
                    if not _bound_operand(m, hit.start(), hit.end()):
                        continue
                    a, b = base + hit.start(), base + hit.end()
                    add(k, "literal_plus_one", [(a, b, str(int(hit.group(1)) + 1))])
        r = RETURN.match(m)
        if r and _balanced(r.group(2)):
            expr = r.group(2)
            a = base + r.end(1)
            b = a + len(expr)
            if expr in ("true", "false"):
                add(k, "negate_return", [(a, b, "false" if expr == "true" else "true")])
            elif "[" not in expr and (_bool_expression(expr) or _enclosing_returns_bool(lines, k)):
                add(k, "negate_return", [(a, a, "!("), (b, b, ")")])
        if code and _statement_start(prev_code) and is_expression_statement(m):
            indent = len(m) - len(m.lstrip())
            add(k, "drop_statement", [(base + indent, base + len(m.rstrip()), ";")])
        if code:
            prev_code = m
    for hit in CONDITION.finditer(masked):
        k = masked.count("\n", 0, hit.start())
        if k in skip:
            continue
        open_ = hit.end() - 1
        close = _skip_brackets(masked, open_)
        if close < 0 or masked.count("\n", open_, close) > 5:
            continue
        cond = masked[open_ + 1:close - 1]
        top = _top_level(cond)
        if ";" in top or ASSIGN_OP.search(top.replace("==", "  ").replace("!=", "  ")
                                          .replace("<=", "  ").replace(">=", "  ")):
            continue  # an init-statement or a declaration: `!(...)` would not parse
        bang = len(cond) - len(cond.lstrip())
        if cond.lstrip().startswith("!") and not cond.lstrip().startswith("!=") and _single_operand(top.strip()[1:]):
            # `if (!x)` becomes `if (x)` rather than `if (!(!x))`.
            add(k, "negate_condition", [(open_ + 1 + bang, open_ + 2 + bang, "")])
        else:
            add(k, "negate_condition", [(open_ + 1, open_ + 1, "!("), (close - 1, close - 1, ")")])
    found.sort(key=lambda s: (s.line, s.edits[0][0], s.op))
    for s in found:
        s.original, s.mutated = describe(text, s.edits)
    return found


def apply_edits(text, edits):
    for a, b, rep in sorted(edits, key=lambda e: e[0], reverse=True):
        text = text[:a] + rep + text[b:]
    return text


def describe(text, edits):
    """The changed source line(s) before and after, spaces collapsed, cut
    around the change when long."""
    first = min(e[0] for e in edits)
    last = max(e[1] for e in edits)
    a = text.rfind("\n", 0, first) + 1
    b = text.find("\n", last)
    b = len(text) if b < 0 else b
    before = text[a:b]
    after = apply_edits(before, [[s - a, e - a, r] for s, e, r in edits])
    before, after = " ".join(before.split()), " ".join(after.split())
    width = 110
    if len(before) > width or len(after) > width:
        d = 0
        while d < min(len(before), len(after)) and before[d] == after[d]:
            d += 1
        lo = max(0, d - width // 2)
        before = ("…" if lo else "") + before[lo:lo + width] + ("…" if lo + width < len(before) else "")
        after = ("…" if lo else "") + after[lo:lo + width] + ("…" if lo + width < len(after) else "")
    return before, after


# ---------------------------------------------------------------- sampling


def is_test_file(path):
    name = os.path.basename(path)
    parts = path.replace(os.sep, "/").split("/")
    return (name.endswith(("_test.cpp", "_tests.cpp")) or name.startswith("test_") or
            any(p in ("tests", "test", "fuzz") for p in parts[:-1]))


def discover_files(root, folders):
    """{file: folder} for each source file; a file under two of the folders
    belongs to the deeper one."""
    owner = {}
    for folder in sorted(folders, key=len):
        top = os.path.join(root, folder)
        for dirpath, dirnames, filenames in os.walk(top):
            dirnames[:] = sorted(d for d in dirnames if not d.startswith("."))
            for name in filenames:
                if name.endswith(".cpp"):
                    rel = os.path.relpath(os.path.join(dirpath, name), root)
                    if not is_test_file(rel):
                        owner[rel] = folder
    return dict(sorted(owner.items()))


def all_sites(root, folders):
    sites = []
    for rel, folder in discover_files(root, folders).items():
        with open(os.path.join(root, rel), encoding="utf-8", errors="surrogateescape", newline="") as f:
            sites += find_sites(f.read(), rel, folder)
    return sites


def shares(count, folders):
    base, extra = divmod(count, len(folders))
    return {f: base + (1 if i < extra else 0) for i, f in enumerate(folders)}


def interleave(chosen, folders):
    """The run order: one mutant of each folder in turn, so that a run cut
    short by --budget or Ctrl-C still has even shares."""
    queues = [[s for s in chosen if s.folder == f] for f in folders]
    order = []
    while any(queues):
        for q in queues:
            if q:
                order.append(q.pop(0))
    return order


def sample(sites, folders, count, seed):
    """The same number of sites from each folder. Each folder draws from its
    own generator, so one folder's sample does not move when another folder's
    code changes."""
    chosen = []
    for folder, k in shares(count, folders).items():
        pool = [s for s in sites if s.folder == folder]
        rng = random.Random(f"{seed}:{folder}")
        picked = rng.sample(range(len(pool)), min(k, len(pool)))
        chosen += [pool[i] for i in sorted(picked)]
    return chosen


# ----------------------------------------------------------------- running


class Interrupted(Exception):
    pass


def _on_signal(signum, _frame):
    raise Interrupted(signal.Signals(signum).name)


def _start_time(pid):
    """The kernel's start time of a process, or None: with the pid it tells
    our own child from a later process that got the same pid."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[19]
    except (OSError, IndexError):
        return None


def run(cmd, cwd, timeout, track=None):
    """(returncode or None on timeout, output). The command runs in its own
    process group so that a timeout or an interruption ends all of it; with
    `track`, the group is noted in that file until it ends, for a run that
    was killed outright to be cleaned up by the next one."""
    proc = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            stdin=subprocess.DEVNULL, start_new_session=True)
    if track:
        with open(track, "w") as f:
            json.dump({"pgid": proc.pid, "start": _start_time(proc.pid)}, f)
    try:
        out, _ = proc.communicate(timeout=timeout)
        return proc.returncode, out.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        out, _ = proc.communicate()
        return None, out.decode("utf-8", "replace")
    finally:
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
        if track and os.path.exists(track):
            os.remove(track)


class Patcher:
    """Writes one mutant at a time and puts the file back. The journal and the
    backup survive a SIGKILL, and the next start restores from them."""

    def __init__(self, root, build):
        self.root = root
        self.dir = os.path.join(build, "mutants-backup")
        self.journal = os.path.join(self.dir, "journal.json")
        self.child = os.path.join(self.dir, "child.json")

    def run(self, cmd, cwd, timeout):
        os.makedirs(self.dir, exist_ok=True)
        return run(cmd, cwd, timeout, track=self.child)

    def end_orphans(self):
        """A build or suite that a killed run left going would race the next
        build in the same folder: end it, if it is still that very process."""
        if not os.path.exists(self.child):
            return
        with open(self.child) as f:
            child = json.load(f)
        if child["start"] is not None and _start_time(child["pgid"]) == child["start"]:
            try:
                os.killpg(child["pgid"], signal.SIGKILL)
            except ProcessLookupError:
                pass
        os.remove(self.child)

    def recover(self):
        self.end_orphans()
        if not os.path.exists(self.journal):
            return None
        with open(self.journal) as f:
            j = json.load(f)
        path = os.path.join(self.root, j["file"])
        with open(j["backup"], "rb") as f:
            original = f.read()
        current = None
        if os.path.exists(path):
            with open(path, "rb") as f:
                current = f.read()
        if current is not None and hashlib.sha256(current).hexdigest() != j["mutated_sha256"]:
            # Edited since: someone's work, not our mutant. Leave it and say so.
            raise SystemExit(f"mutants: {j['file']} changed since an interrupted run mutated it; "
                             f"its original is in {j['backup']}. Restore or delete it, then remove {self.journal}.")
        with open(path, "wb") as f:
            f.write(original)
        os.remove(self.journal)
        return j["file"]

    def apply(self, site, original, mutated):
        os.makedirs(self.dir, exist_ok=True)
        backup = os.path.join(self.dir, "original")
        with open(backup, "wb") as f:
            f.write(original)
            f.flush()
            os.fsync(f.fileno())
        tmp = self.journal + ".tmp"
        with open(tmp, "w") as f:
            json.dump({"file": site.file, "backup": backup,
                       "mutated_sha256": hashlib.sha256(mutated).hexdigest()}, f)
            f.flush()
            os.fsync(f.fileno())
        os.replace(tmp, self.journal)
        with open(os.path.join(self.root, site.file), "wb") as f:
            f.write(mutated)

    def restore(self, site, original):
        # Written anew, so its time is later than the mutant's object file and
        # the next build compiles the original again.
        with open(os.path.join(self.root, site.file), "wb") as f:
            f.write(original)
        if os.path.exists(self.journal):
            os.remove(self.journal)


FAILED_TEST = re.compile(r"Test\s+#\d+:\s+(\S+)\s.*?(\*\*\*\w+|Subprocess aborted|Exception|Failed|Timeout)")


def classify_build_failure(out):
    """A test binary that crashes or hangs while listing its tests (the build
    runs it) is caught by the suite, not a compile error."""
    if "Error running test executable" in out:
        m = re.search(r"Path:\s*'?([^'\n]+)", out)
        exe = os.path.basename(m.group(1).strip()) if m else "a test binary"
        status = "timeout" if re.search(r"Result:.*timeout", out, re.I) else "killed"
        return status, f"{exe} failed while listing its tests"
    err = re.search(r"^.*\berror\b.*$", out, re.M)
    return "invalid", (err.group(0).strip()[:200] if err else "build failed")


def classify_tests(code, out):
    if code is None:
        return "timeout", "the suite ran past --mutant-timeout"
    if code == 0:
        return "survived", ""
    m = FAILED_TEST.search(out)
    if m:
        return ("timeout" if "Timeout" in m.group(2) else "killed"), f"{m.group(1)} {m.group(2).strip('*')}"
    return "killed", (out.strip().splitlines() or ["ctest failed"])[-1][:200]


def ctest_cmd(args):
    cmd = ["ctest", "--stop-on-failure", "-j", str(args.jobs), "--timeout", str(args.timeout)]
    if args.exclude:
        cmd += ["-E", "|".join(args.exclude)]
    return cmd


def dirty_files(root, files):
    out = subprocess.run(["git", "status", "--porcelain", "--"] + files, cwd=root,
                         capture_output=True, text=True, check=True).stdout
    return [line[3:] for line in out.splitlines()]


def reproduce_command(args):
    cmd = ["python3", "tools/mutants.py", "--seed", str(args.seed), "--count", str(args.count),
           "--build", args.build, "--jobs", str(args.jobs), "--timeout", str(args.timeout),
           "--mutant-timeout", str(args.mutant_timeout), "--build-timeout", str(args.build_timeout)]
    for e in args.exclude:
        cmd += ["--exclude", e]
    if args.budget:
        cmd += ["--budget", f"{args.budget:g}"]
    if args.json:
        cmd += ["--json", args.json]
    if args.report:
        cmd += ["--report", args.report]
    if os.path.abspath(args.root) != ROOT:
        cmd += ["--root", args.root]
    return shlex.join(cmd + args.folders)


STATUSES = ("killed", "survived", "timeout", "invalid")


def summarize(results, folders):
    table = {f: dict.fromkeys(STATUSES, 0) for f in folders}
    for r in results:
        table[r["folder"]][r["status"]] += 1
    total = dict.fromkeys(STATUSES, 0)
    for row in table.values():
        for s in STATUSES:
            total[s] += row[s]
    table["total"] = total
    for row in table.values():
        valid = row["killed"] + row["timeout"] + row["survived"]
        row["kill_rate"] = round((row["killed"] + row["timeout"]) / valid, 4) if valid else None
    return table


def format_report(data):
    lines = [f"command: {data['command']}",
             f"commit: {data['commit']}   started: {data['started']}   wall time: {data['wall_seconds'] / 60:.1f} min",
             f"baseline: build {data['baseline']['build_seconds']:.0f} s, suite {data['baseline']['test_seconds']:.1f} s"]
    if data.get("stopped"):
        lines.append(f"stopped early: {data['stopped']}")
    lines += ["",
             f"{'folder':<20} {'killed':>7} {'survived':>9} {'timed out':>10} {'invalid':>8} {'kill rate':>10}"]
    for folder, row in data["summary"].items():
        rate = "-" if row["kill_rate"] is None else f"{100 * row['kill_rate']:.1f}%"
        if folder == "total":
            lines.append("-" * 68)
        lines.append(f"{folder:<20} {row['killed']:>7} {row['survived']:>9} {row['timeout']:>10} "
                     f"{row['invalid']:>8} {rate:>10}")
    lines.append("kill rate = (killed + timed out) / (killed + timed out + survived)")
    for status, title in (("survived", "Surviving mutants"), ("timeout", "Timed-out mutants"),
                          ("invalid", "Invalid mutants (did not build)")):
        rows = sorted((r for r in data["mutants"] if r["status"] == status), key=lambda r: (r["file"], r["line"]))
        if rows:
            lines += ["", f"{title} ({len(rows)}):"]
            for r in rows:
                lines.append(f"  {r['file']}:{r['line']}: {r['original']} -> {r['mutated']}   [{r['op']}]")
    return "\n".join(lines) + "\n"


def compare(old_path, new_path):
    with open(old_path) as f:
        old = json.load(f)
    with open(new_path) as f:
        new = json.load(f)
    before = {r["key"]: r for r in old["mutants"]}
    print(f"{'folder':<20} {'old rate':>9} {'new rate':>9}")
    for folder in dict.fromkeys(list(old["summary"]) + list(new["summary"])):
        o, n = old["summary"].get(folder, {}), new["summary"].get(folder, {})
        fmt = lambda r: "-" if not r or r.get("kill_rate") is None else f"{100 * r['kill_rate']:.1f}%"
        print(f"{folder:<20} {fmt(o):>9} {fmt(n):>9}")
    changed = [(before[r["key"]]["status"], r) for r in new["mutants"]
               if r["key"] in before and before[r["key"]]["status"] != r["status"]]
    only_new = sum(r["key"] not in before for r in new["mutants"])
    print(f"\n{len(changed)} mutants changed status; {only_new} are only in {new_path}")
    for was, r in changed:
        print(f"  {was} -> {r['status']}: {r['file']}:{r['line']}: {r['original']} -> {r['mutated']}")


def git_head(root):
    return subprocess.run(["git", "rev-parse", "--short", "HEAD"], cwd=root,
                          capture_output=True, text=True).stdout.strip() or "unknown"


def log(msg):
    print(msg, file=sys.stderr, flush=True)


def positive(kind):
    def parse(text):
        try:
            value = kind(text)
        except ValueError:
            raise argparse.ArgumentTypeError(f"not a number: {text!r}")
        if value <= 0:
            raise argparse.ArgumentTypeError(f"must be above 0: {text!r}")
        return value
    return parse


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("folders", nargs="*", help=f"source folders (default: {' '.join(DEFAULT_FOLDERS)})")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--count", type=positive(int), default=60, help="mutants in all, shared evenly by folder")
    p.add_argument("--build", default=DEFAULT_BUILD, help="build folder, configured if missing")
    p.add_argument("--jobs", type=positive(int), default=2, help="for the build and for ctest")
    p.add_argument("--timeout", type=positive(int), default=60, help="seconds for one test (ctest --timeout)")
    p.add_argument("--mutant-timeout", type=positive(int), default=300, help="seconds for the whole suite on one mutant")
    p.add_argument("--build-timeout", type=positive(int), default=900, help="seconds for one build")
    p.add_argument("--exclude", action="append", default=[], metavar="REGEX", help="ctest -E: tests not to run")
    p.add_argument("--budget", type=positive(float), help="minutes after which no new mutant is started")
    p.add_argument("--json", help="write the results here")
    p.add_argument("--report", help="write the text report here too")
    p.add_argument("--list", action="store_true", help="show the sites and the sample, run nothing")
    p.add_argument("--compare", nargs=2, metavar=("OLD", "NEW"), help="compare two --json results")
    p.add_argument("--root", default=ROOT, help=argparse.SUPPRESS)  # another checkout (the tool's own tests)
    args = p.parse_args(argv)
    args.folders = [f.strip("/") for f in args.folders] or list(DEFAULT_FOLDERS)
    return args


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    if args.compare:
        compare(*args.compare)
        return 0
    root = os.path.abspath(args.root)
    missing = [f for f in args.folders if not os.path.isdir(os.path.join(root, f))]
    if missing:
        log(f"mutants: no such folder: {', '.join(missing)}")
        return 2
    build = os.path.join(root, args.build)
    patcher = Patcher(root, build)
    recovered = patcher.recover()
    if recovered:
        log(f"mutants: put back {recovered}, left mutated by an interrupted run")

    sites = all_sites(root, args.folders)
    chosen = sample(sites, args.folders, args.count, args.seed)
    counts = {f: sum(s.folder == f for s in sites) for f in args.folders}
    for folder, k in shares(args.count, args.folders).items():
        if counts[folder] < k:
            log(f"mutants: {folder} has only {counts[folder]} sites, fewer than its share of {k}")
    if args.list:
        for f in args.folders:
            ops = {}
            for s in sites:
                if s.folder == f:
                    ops[s.op] = ops.get(s.op, 0) + 1
            print(f"{f}: {counts[f]} sites ({', '.join(f'{o} {n}' for o, n in sorted(ops.items()))})")
        for s in chosen:
            print(f"{s.file}:{s.line}: {s.original} -> {s.mutated}   [{s.op}]")
        return 0
    if not chosen:
        log("mutants: no .cpp source files to mutate")
        return 2
    files = sorted({s.file for s in chosen})
    dirty = dirty_files(root, files)
    if dirty:
        log("mutants: refusing to start: uncommitted changes in\n  " + "\n  ".join(dirty))
        return 2

    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, _on_signal)
    command = reproduce_command(args)
    log(f"mutants: {command}")
    started = time.time()
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        code, out = run(["cmake", "-S", ".", "-B", build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo"], root, 600)
        if code != 0:
            log(out + "\nmutants: cmake could not configure " + build)
            return 2
    build_cmd = ["cmake", "--build", build, "-j", str(args.jobs)]
    try:
        t0 = time.time()
        code, out = patcher.run(build_cmd, root, args.build_timeout)
        baseline = {"build_seconds": time.time() - t0}
        if code != 0:
            log(out[-3000:] + "\nmutants: the unmutated tree does not build; nothing to measure")
            return 2
        t0 = time.time()
        code, out = patcher.run(ctest_cmd(args), build, args.mutant_timeout)
        baseline["test_seconds"] = time.time() - t0
    except (KeyboardInterrupt, Interrupted) as e:
        log(f"mutants: interrupted ({e or 'Ctrl-C'}) before the first mutant")
        return 130
    if code != 0:
        log(out[-3000:] + "\nmutants: the suite fails without any mutant; fix it first")
        return 2
    log(f"mutants: baseline build {baseline['build_seconds']:.0f} s, suite {baseline['test_seconds']:.1f} s; "
        f"{len(chosen)} mutants from {len(sites)} sites")

    results = []
    stopped = ""
    order = interleave(chosen, args.folders)
    try:
        for n, site in enumerate(order, 1):
            if args.budget and time.time() - started > 60 * args.budget:
                stopped = f"--budget {args.budget} min spent after {n - 1} of {len(order)} mutants"
                log(f"mutants: {stopped}")
                break
            path = os.path.join(root, site.file)
            with open(path, "rb") as f:
                original = f.read()
            text = original.decode("utf-8", "surrogateescape")
            mutated = apply_edits(text, site.edits).encode("utf-8", "surrogateescape")
            t0 = time.time()
            try:
                patcher.apply(site, original, mutated)
                code, out = patcher.run(build_cmd, root, args.build_timeout)
                if code is None:
                    status, detail = "invalid", "build ran past --build-timeout"
                elif code != 0:
                    status, detail = classify_build_failure(out)
                else:
                    status, detail = classify_tests(*patcher.run(ctest_cmd(args), build, args.mutant_timeout))
            finally:
                patcher.restore(site, original)
            row = dataclasses.asdict(site)
            del row["edits"]
            row.update(key=site.key(), status=status, detail=detail, seconds=round(time.time() - t0, 1))
            results.append(row)
            log(f"[{n}/{len(chosen)}] {status:<8} {site.file}:{site.line}: {site.original} -> {site.mutated}"
                f"  ({row['seconds']:.0f} s{', ' + detail if detail else ''})")
    except (KeyboardInterrupt, Interrupted) as e:
        stopped = f"interrupted ({e or 'Ctrl-C'}) after {len(results)} of {len(order)} mutants"
        log(f"mutants: {stopped}; the source is restored")

    data = {"command": command, "commit": git_head(root), "seed": args.seed, "count": args.count,
            "folders": args.folders, "started": time.strftime("%Y-%m-%d %H:%M", time.localtime(started)),
            "wall_seconds": round(time.time() - started, 1), "baseline": baseline, "stopped": stopped,
            "sites": counts, "summary": summarize(results, args.folders), "mutants": results}
    report = format_report(data)
    print(report, end="")
    if args.report:
        with open(args.report, "w") as f:
            f.write(report)
    if args.json:
        with open(args.json, "w") as f:
            json.dump(data, f, indent=1, ensure_ascii=False)
            f.write("\n")
    return 130 if stopped.startswith("interrupted") else 0


if __name__ == "__main__":
    sys.exit(main())
