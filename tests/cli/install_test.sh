#!/usr/bin/env bash
# `make install` as a packager runs it: everything lands under DESTDIR+PREFIX,
# the menu entry validates, and the icons are the program's at their sizes.
set -u
: "${BUILD_DIR:?}"
source "$(dirname "$0")/lib.sh"
dest="$work/dest"
DESTDIR="$dest" cmake --install "$BUILD_DIR" --prefix /opt/ts >"$work/out" 2>&1
check "install succeeds" test $? -eq 0
root="$dest/opt/ts"
check "the program runs from where it was installed" bash -c "'$root/bin/tallyset' --version | grep -q '^tallyset '"
entry="$root/share/applications/tallyset.desktop"
check "the desktop entry validates" desktop-file-validate "$entry"
check "the entry starts the installed name" grep -qx 'Exec=tallyset' "$entry"
check "the entry names the installed icon" grep -qx 'Icon=tallyset' "$entry"
for size in 16 32 48 64 128 256; do
  png="$root/share/icons/hicolor/${size}x${size}/apps/tallyset.png"
  check "the ${size}px icon is ${size}x${size}" python3 -c "
import struct, sys
d = open('$png', 'rb').read(24)
sys.exit(0 if d[:8] == b'\x89PNG\r\n\x1a\n' and struct.unpack('>II', d[16:24]) == ($size, $size) else 1)"
done
man="$root/share/man/man1/tallyset.1"
check "the manual page is installed" test -s "$man"
MANWIDTH=100 man -l "$man" >"$work/man.txt" 2>"$work/man.err"
for section in SYNOPSIS OPTIONS SUBCOMMANDS SCRIPTS FILES ENVIRONMENT; do
  check "the manual page has $section" grep -q "^$section" "$work/man.txt"
done
check "the manual page renders without complaint" test ! -s "$work/man.err"
finish
