#!/usr/bin/env python3
"""Tests of tools/mutants.py: where it may and may not put a fault, that its
sample is stable, that the file always comes back, and one whole run on a
small CMake project. Run: python3 -m unittest tools/mutants_test.py"""
import contextlib
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import mutants  # noqa: E402


def mutations(source):
    """{(op, mutated line)} for a snippet, the line spaces collapsed."""
    out = set()
    for s in mutants.find_sites(source):
        line = mutants.apply_edits(source, s.edits).split("\n")[s.line - 1]
        out.add((s.op, " ".join(line.split())))
    return out


class MaskTest(unittest.TestCase):
    CASES = [
        # (source, what the mask must read)
        ('a < b; // x < y', 'a < b;         '),
        ('f("a < b", c);', 'f("     ", c);'),
        ('s = R"x(a < ")" b)x"; n < 1', 's = R"' + " " * 13 + '"; n < 1'),
        ("c == '<' || d", "c == ' ' || d"),
        ("c == '\\'' || d", "c == '  ' || d"),
        ("n = 1'000 < m; '>'", "n = 1'000 < m; ' '"),
        ("x /* a\nb < c */ + y", "x" + " " * 5 + "\n" + " " * 8 + " + y"),
        ('u"a\\"b" + 1', 'u"    " + 1'),
    ]

    def test_blanks_comments_and_literals_keeping_offsets(self):
        for source, expected in self.CASES:
            with self.subTest(source=source):
                self.assertEqual(mutants.mask_code(source), expected)

    def test_preprocessor_lines_with_continuations(self):
        lines = ["#define A(x) \\", "  ((x) > 1)", "int a = b > 1;", "  #if X > 1", "#endif"]
        self.assertEqual(mutants.preprocessor_lines(lines), {0, 1, 3, 4})


class SitesTest(unittest.TestCase):
    def test_each_operator_where_it_applies(self):
        cases = [
            ("  if (a < b) f();", {
                ("flip_comparison", "if (a >= b) f();"),
                ("off_by_one_bound", "if (a <= b) f();"),
                ("negate_condition", "if (!(a < b)) f();")}),
            ("  x = a + b;", {("swap_arithmetic", "x = a - b;"), ("drop_statement", ";")}),
            ("  ok = a && b;", {("swap_logical", "ok = a || b;"), ("drop_statement", ";")}),
            ("  while (n > 10) g();", {
                ("flip_comparison", "while (n <= 10) g();"),
                ("off_by_one_bound", "while (n >= 10) g();"),
                ("literal_plus_one", "while (n > 11) g();"),
                ("negate_condition", "while (!(n > 10)) g();")}),
            ("  if (!ready) return;", {("negate_condition", "if (ready) return;")}),
            ("  return a == b;", {("flip_comparison", "return a != b;"), ("negate_return", "return !(a == b);")}),
            ("  return true;", {("negate_return", "return false;")}),
            ("  ++count_;", {("drop_statement", ";")}),
            ("  list.at(2).name = n;", {("drop_statement", ";")}),
        ]
        for source, expected in cases:
            with self.subTest(source=source):
                self.assertEqual(mutations(source), expected)

    def test_leaves_alone_what_is_not_an_operator_or_not_safe(self):
        quiet = [
            "std::vector<int> v;",
            "std::map<int, std::vector<int> > m;",
            "template <typename T> T f(T t);",
            "p->next;",
            "out << x >> y;",
            "i++; j--; k += 2; l -= 1;",
            "auto&& r = make();",
            "// if (a < b) x = a + b;",
            "/* a < b && c */",
            'const char* s = "a < b && c > d";',
            "#if LEVEL > 1 && DEBUG",
            "int x = -1;",
            "int r = f(0, 0, 1);",
            "bool operator<(const A& o) const;",
            "std::array<int, 3> a;",
            "const int n = 4;",
        ]
        for source in quiet:
            with self.subTest(source=source):
                self.assertEqual(mutations(source), set())

    def test_a_string_line_gets_no_arithmetic_swap(self):
        # `name + ".ics"` would not compile as `name - ".ics"`.
        self.assertEqual({op for op, _ in mutations('  path = name + ".ics";')}, {"drop_statement"})

    def test_returns_are_negated_only_where_the_value_is_bool(self):
        source = ("bool Ready(int n) {\n  return n;\n}\n"
                  "int Size(int n) {\n  return n;\n}\n")
        self.assertEqual([(s.line, s.mutated) for s in mutants.find_sites(source) if s.op == "negate_return"],
                         [(2, "return !(n);")])

    def test_conditions_that_cannot_be_wrapped(self):
        for source in ("if (auto it = m.find(k); it != m.end()) f();", "if (Foo* p = get()) p->run();",
                       "if constexpr (kFlag) f();"):
            with self.subTest(source=source):
                self.assertNotIn("negate_condition", {op for op, _ in mutations(source)})

    def test_a_condition_over_two_lines(self):
        source = "  if (a < b &&\n      c) {\n"
        (site,) = [s for s in mutants.find_sites(source) if s.op == "negate_condition"]
        self.assertEqual(mutants.apply_edits(source, site.edits), "  if (!(a < b &&\n      c)) {\n")

    def test_only_whole_statements_are_dropped(self):
        source = ("const WCHAR k[] =\n    TEXT(\"a\")\n        TEXT(\"b\");\n"
                  "Foo bar(1);\nauto x = f();\nint y;\nreturn g();\nf(a,\n  b);\ncase 1: f(); break;\n"
                  "if (x)\n  h();\nwidth(3);\n")
        dropped = [s.line for s in mutants.find_sites(source) if s.op == "drop_statement"]
        self.assertEqual(dropped, [12, 13])

    def test_every_site_changes_only_its_own_lines(self):
        with open(os.path.join(mutants.ROOT, "platform/core/window_manager.cpp")) as f:
            source = f.read()
        before = source.split("\n")
        for s in mutants.find_sites(source):
            after = mutants.apply_edits(source, s.edits).split("\n")
            changed = [i + 1 for i, (x, y) in enumerate(zip(before, after)) if x != y]
            self.assertEqual(len(after), len(before))
            self.assertTrue(changed and changed[0] == s.line, s.key())
            self.assertLessEqual(changed[-1] - changed[0], 5, s.key())


class SampleTest(unittest.TestCase):
    def sites(self, per_folder):
        return [mutants.Site(f"{f}/a.cpp", f, i + 1, "drop_statement", [[i, i + 1, ";"]])
                for f, n in per_folder.items() for i in range(n)]

    def test_even_shares_and_the_same_draw_for_the_same_seed(self):
        sites = self.sites({"a": 50, "b": 30, "c": 40})
        first = mutants.sample(sites, ["a", "b", "c"], 10, seed=1)
        self.assertEqual([s.folder for s in first].count("a"), 4)
        self.assertEqual([s.folder for s in first].count("b"), 3)
        self.assertEqual([s.folder for s in first].count("c"), 3)
        self.assertEqual(first, mutants.sample(sites, ["a", "b", "c"], 10, seed=1))
        self.assertNotEqual(first, mutants.sample(sites, ["a", "b", "c"], 10, seed=2))

    def test_one_folder_growing_does_not_move_another_folders_draw(self):
        small = mutants.sample(self.sites({"a": 50, "b": 30}), ["a", "b"], 10, seed=1)
        grown = mutants.sample(self.sites({"a": 90, "b": 30}), ["a", "b"], 10, seed=1)
        self.assertEqual([s for s in small if s.folder == "b"], [s for s in grown if s.folder == "b"])

    def test_a_small_folder_gives_what_it_has(self):
        chosen = mutants.sample(self.sites({"a": 2, "b": 30}), ["a", "b"], 10, seed=1)
        self.assertEqual(([s.folder for s in chosen].count("a"), [s.folder for s in chosen].count("b")), (2, 5))

    def test_the_run_takes_the_folders_in_turn(self):
        chosen = mutants.sample(self.sites({"a": 50, "b": 1, "c": 40}), ["a", "b", "c"], 9, seed=1)
        self.assertEqual([s.folder for s in mutants.interleave(chosen, ["a", "b", "c"])],
                         ["a", "b", "c", "a", "c", "a", "c"])

    def test_files_are_found_under_moved_folders_and_tests_skipped(self):
        with tempfile.TemporaryDirectory() as root:
            for rel in ("app/a.cpp", "app/a.h", "app/a_test.cpp", "platform/core/k.cpp",
                        "platform/core/tests/t.cpp", "platform/x.cpp"):
                os.makedirs(os.path.dirname(os.path.join(root, rel)), exist_ok=True)
                open(os.path.join(root, rel), "w").close()
            self.assertEqual(mutants.discover_files(root, ["platform", "app", "platform/core"]),
                             {"app/a.cpp": "app", "platform/core/k.cpp": "platform/core",
                              "platform/x.cpp": "platform"})


class OutcomeTest(unittest.TestCase):
    def test_suite_outcomes(self):
        line = "  1/9 Test #198: soak_test ........***{}    1.32 sec\n"
        cases = [
            ((0, "100% tests passed"), ("survived", "")),
            ((8, line.format("Failed")), ("killed", "soak_test Failed")),
            ((8, line.format("Exception: SegFault")), ("killed", "soak_test Exception")),
            ((8, line.format("Timeout")), ("timeout", "soak_test Timeout")),
            ((None, ""), ("timeout", "the suite ran past --mutant-timeout")),
        ]
        for given, expected in cases:
            with self.subTest(given=given):
                self.assertEqual(mutants.classify_tests(*given), expected)

    def test_build_outcomes(self):
        listing = ("CMake Error at GoogleTestAddTests.cmake:112 (message):\n  Error running test executable.\n\n"
                   "    Path: '/b/tests/app_tests'\n    Result: {}\n")
        cases = [
            ("a.cpp:3:9: error: no match for 'operator-'\nmake: *** [all] Error 2",
             ("invalid", "a.cpp:3:9: error: no match for 'operator-'")),
            (listing.format("Subprocess aborted"), ("killed", "app_tests failed while listing its tests")),
            (listing.format("Process terminated due to timeout"),
             ("timeout", "app_tests failed while listing its tests")),
        ]
        for out, expected in cases:
            with self.subTest(out=out[:40]):
                self.assertEqual(mutants.classify_build_failure(out), expected)

    def test_rate_counts_timeouts_as_detected_and_leaves_out_invalid(self):
        rows = [{"folder": "a", "status": s} for s in ("killed", "timeout", "survived", "survived", "invalid")]
        table = mutants.summarize(rows, ["a", "b"])
        self.assertEqual(table["a"]["kill_rate"], 0.5)
        self.assertIsNone(table["b"]["kill_rate"])
        self.assertEqual(table["total"]["invalid"], 1)


class PatcherTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.root)
        self.path = os.path.join(self.root, "a.cpp")
        with open(self.path, "wb") as f:
            f.write(b"original")
        self.site = mutants.Site("a.cpp", ".", 1, "drop_statement", [])
        self.patcher = mutants.Patcher(self.root, os.path.join(self.root, "build"))

    def read(self):
        with open(self.path, "rb") as f:
            return f.read()

    def test_a_killed_run_is_put_back_at_the_next_start(self):
        self.patcher.apply(self.site, b"original", b"mutant")
        self.assertEqual(self.read(), b"mutant")
        # A new process finds the journal the killed one left.
        self.assertEqual(mutants.Patcher(self.root, os.path.join(self.root, "build")).recover(), "a.cpp")
        self.assertEqual(self.read(), b"original")
        self.assertIsNone(self.patcher.recover())

    def test_a_file_edited_since_is_left_for_its_owner(self):
        self.patcher.apply(self.site, b"original", b"mutant")
        with open(self.path, "wb") as f:
            f.write(b"someone's work")
        with self.assertRaises(SystemExit):
            self.patcher.recover()
        self.assertEqual(self.read(), b"someone's work")

    def test_restore_ends_the_journal(self):
        self.patcher.apply(self.site, b"original", b"mutant")
        self.patcher.restore(self.site, b"original")
        self.assertEqual(self.read(), b"original")
        self.assertIsNone(self.patcher.recover())


class OrphanTest(unittest.TestCase):
    """A build left going by a killed run is ended by the next start, and
    only if it is still the process that run started."""

    def setUp(self):
        self.root = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.root)
        self.patcher = mutants.Patcher(self.root, os.path.join(self.root, "build"))
        os.makedirs(self.patcher.dir)
        self.proc = subprocess.Popen(["sleep", "60"], start_new_session=True)
        self.addCleanup(self.proc.kill)
        self.addCleanup(self.proc.wait)

    def note(self, start):
        with open(self.patcher.child, "w") as f:
            json.dump({"pgid": self.proc.pid, "start": start}, f)

    def test_the_same_process_is_ended(self):
        self.note(mutants._start_time(self.proc.pid))
        self.patcher.recover()
        self.assertEqual(self.proc.wait(timeout=10), -9)
        self.assertFalse(os.path.exists(self.patcher.child))

    def test_a_process_that_reused_the_pid_is_left_alone(self):
        self.note("1")
        self.patcher.recover()
        self.assertIsNone(self.proc.poll())
        self.assertFalse(os.path.exists(self.patcher.child))


@unittest.skipUnless(shutil.which("cmake") and shutil.which("ctest") and shutil.which("c++"), "needs cmake and c++")
class WholeRunTest(unittest.TestCase):
    """A project of one function and one test that checks only its lower
    bound: faults there die, faults past the upper bound live."""
    SOURCE = ("int Clamp(int v) {\n"
              "  if (v < 0) return 0;\n"
              "  if (v > 100) return 100;\n"
              "  return v;\n"
              "}\n")
    TEST = ("int Clamp(int v);\n"
            "int main() { return Clamp(-5) == 0 && Clamp(7) == 7 ? 0 : 1; }\n")
    CMAKE = ("cmake_minimum_required(VERSION 3.20)\nproject(t CXX)\nenable_testing()\n"
             "add_executable(t lib/clamp.cpp tests/t.cpp)\nadd_test(NAME t COMMAND t)\n")

    def setUp(self):
        self.root = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.root)
        for rel, text in (("lib/clamp.cpp", self.SOURCE), ("tests/t.cpp", self.TEST),
                          ("CMakeLists.txt", self.CMAKE), (".gitignore", "/build*/\n")):
            os.makedirs(os.path.dirname(os.path.join(self.root, rel)), exist_ok=True)
            with open(os.path.join(self.root, rel), "w") as f:
                f.write(text)
        git = ["git", "-c", "user.name=t", "-c", "user.email=t@t.invalid"]
        subprocess.run(git[:1] + ["init", "-q"], cwd=self.root, check=True)
        subprocess.run(git + ["add", "."], cwd=self.root, check=True)
        subprocess.run(git + ["commit", "-qm", "t"], cwd=self.root, check=True)

    def main(self, *extra):
        out, err = io.StringIO(), io.StringIO()
        with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
            code = mutants.main(["--root", self.root, "--build", "build-m", "--jobs", "2", *extra, "lib"])
        return code, out.getvalue(), err.getvalue()

    def test_every_site_once_and_the_tree_left_clean(self):
        sites = mutants.find_sites(self.SOURCE, "lib/clamp.cpp", "lib")
        result = os.path.join(self.root, "build-m", "r.json")
        code, report, _ = self.main("--count", str(len(sites)), "--json", result)
        self.assertEqual(code, 0)
        with open(result) as f:
            data = json.load(f)
        status = {(r["line"], r["op"], r["mutated"]): r["status"] for r in data["mutants"]}
        self.assertEqual(len(status), len(sites))
        self.assertEqual(status[(2, "flip_comparison", "if (v >= 0) return 0;")], "killed")
        self.assertEqual(status[(3, "flip_comparison", "if (v <= 100) return 100;")], "killed")
        self.assertEqual(status[(3, "off_by_one_bound", "if (v >= 100) return 100;")], "survived")
        self.assertEqual(status[(3, "literal_plus_one", "if (v > 101) return 100;")], "survived")
        self.assertIn("lib/clamp.cpp:3: if (v > 100) return 100; -> if (v >= 100) return 100;", report)
        self.assertIn("--count", data["command"])
        with open(os.path.join(self.root, "lib/clamp.cpp")) as f:
            self.assertEqual(f.read(), self.SOURCE)
        self.assertEqual(subprocess.run(["git", "status", "--porcelain"], cwd=self.root,
                                        capture_output=True, text=True).stdout, "")

    def test_a_fault_that_does_not_compile_is_invalid(self):
        with open(os.path.join(self.root, "lib/clamp.cpp"), "a") as f:
            f.write('#include <string>\nstd::string Name(std::string a) { std::string b = a; return b + a; }\n')
        subprocess.run(["git", "-c", "user.name=t", "-c", "user.email=t@t.invalid", "commit", "-qam", "t"],
                       cwd=self.root, check=True)
        result = os.path.join(self.root, "build-m", "r.json")
        self.main("--count", "100", "--json", result)
        with open(result) as f:
            data = json.load(f)
        (row,) = [r for r in data["mutants"] if r["line"] == 7 and r["op"] == "swap_arithmetic"]
        self.assertEqual(row["status"], "invalid")
        self.assertEqual(data["summary"]["lib"]["invalid"], 1)

    def test_refuses_a_tree_with_uncommitted_changes(self):
        with open(os.path.join(self.root, "lib/clamp.cpp"), "a") as f:
            f.write("// work in progress\n")
        code, _, err = self.main("--count", "2")
        self.assertEqual(code, 2)
        self.assertIn("uncommitted changes in\n  lib/clamp.cpp", err)
        self.assertFalse(os.path.exists(os.path.join(self.root, "build-m")))


if __name__ == "__main__":
    unittest.main()
