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
# Enlarged by whole factors from the same picture: 64px is 32px doubled.
check "the icon sizes show one picture" python3 -c "
import zlib, struct, sys
def pixels(path):
    d = open(path, 'rb').read(); i = 8; idat = b''
    while i < len(d):
        n, t = struct.unpack('>I4s', d[i:i+8]); body = d[i+8:i+8+n]; i += 12 + n
        if t == b'IHDR': w = struct.unpack('>I', body[:4])[0]
        if t == b'IDAT': idat += body
    raw = zlib.decompress(idat); stride = 4 * w; rows = []; prev = bytearray(stride)
    for y in range(w):
        f = raw[y * (stride + 1)]; line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0; b = prev[i]; c = prev[i - 4] if i >= 4 else 0
            p = a + b - c; pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            pred = [0, a, b, (a + b) // 2, a if pa <= pb and pa <= pc else (b if pb <= pc else c)][f]
            line[i] = (line[i] + pred) & 255
        rows.append(bytes(line)); prev = line
    return w, rows
_, small = pixels('$root/share/icons/hicolor/32x32/apps/tallyset.png')
_, big = pixels('$root/share/icons/hicolor/64x64/apps/tallyset.png')
sys.exit(0 if all(big[2*y][8*x:8*x+4] == small[y][4*x:4*x+4] for y in range(32) for x in range(32)) else 1)"
man="$root/share/man/man1/tallyset.1"
check "the manual page is installed" test -s "$man"
MANWIDTH=100 man -l "$man" >"$work/man.txt" 2>"$work/man.err"
for section in SYNOPSIS OPTIONS SUBCOMMANDS SCRIPTS FILES ENVIRONMENT; do
  check "the manual page has $section" grep -q "^$section" "$work/man.txt"
done
check "the manual page renders without complaint" test ! -s "$work/man.err"
finish
