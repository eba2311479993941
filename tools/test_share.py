#!/usr/bin/env python3
"""Lines of test code against lines of program code.

Counts C++ sources and headers (.cpp, .h) that git tracks, leaving out
blank lines and comment lines; tests/ is test code, everything else is
program code. Run from anywhere: `python3 tools/test_share.py`.
"""
import os
import subprocess
import sys


def code_lines(path):
    count = 0
    in_block = False
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            s = line.strip()
            if in_block:
                in_block = "*/" not in s
                continue
            if not s or s.startswith("//"):
                continue
            if s.startswith("/*"):
                in_block = "*/" not in s
                continue
            count += 1
    return count


def main():
    root = subprocess.check_output(["git", "rev-parse", "--show-toplevel"], text=True).strip()
    files = subprocess.check_output(["git", "-C", root, "ls-files", "*.cpp", "*.h"], text=True).split()
    by_folder = {}
    for f in files:
        top = f.split("/")[0]
        by_folder[top] = by_folder.get(top, 0) + code_lines(os.path.join(root, f))
    tests = by_folder.pop("tests", 0)
    code = sum(by_folder.values())
    for folder in sorted(by_folder):
        print(f"{folder:12} {by_folder[folder]:6}")
    print(f"{'program':12} {code:6}")
    print(f"{'tests':12} {tests:6}")
    print(f"tests are {100 * tests / code:.0f}% of the program's lines")
    return 0


if __name__ == "__main__":
    sys.exit(main())
