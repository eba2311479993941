#!/usr/bin/env bash
# Compiles every application source (app/, outlook/, screen/, resources/)
# with the MinGW-w64 cross compiler against the real Win32 headers, plus
# only the platform's aygshell.h and pimstore.h, which those headers lack.
# The platform's other headers are out of reach, so a stand-in-only name, a
# char16_t text where WCHAR belongs, an include order the real commctrl.h
# refuses, or a reach into the platform's own sources fails here.
#
# Usage: check_app_sources.sh PROJECT_ROOT
# MINGW_CXX overrides the compiler (default x86_64-w64-mingw32-g++).
set -uo pipefail

root="${1:?usage: check_app_sources.sh PROJECT_ROOT}"
here="$(cd "$(dirname "$0")" && pwd)"
cxx="${MINGW_CXX:-x86_64-w64-mingw32-g++}"

if ! command -v "$cxx" >/dev/null 2>&1; then
  echo "error: $cxx not found; tools/install-deps.sh installs g++-mingw-w64-x86-64 and mingw-w64-x86-64-dev" >&2
  exit 1
fi

# The places where the application meets the platform itself, each with the
# platform headers it may reach (relative to the project root); every other
# application file reaches none.
declare -A boundary=(
  # The resource script, written in the platform's resource-loader records.
  [resources/tallyset_resources.cpp]="platform/core/resources.h"
  [resources/icons.cpp]="platform/core/resources.h"
)
# The resource script's own header, which uses the same records.
boundary_header=(resources/icons.h)
# Files that define the device's WinMain, which the desktop headers declare
# with another command-line type (see device_entry_windows.h).
declare -A device_entry=([app/start_up.cpp]=1)

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The application tree, copied so that no path, however relative, leads from
# it back into platform/.
mkdir -p "$work/tree"
(cd "$root" && find app outlook screen resources -type f \( -name '*.h' -o -name '*.cpp' \) \
  -exec cp --parents {} "$work/tree" \;)

# The two platform headers the real SDK is missing, in a folder of their own.
mkdir -p "$work/sdk"
cp "$root/platform/include/aygshell.h" "$root/platform/include/pimstore.h" "$work/sdk/"

mkdir -p "$work/device_entry"
cp "$here/device_entry_windows.h" "$work/device_entry/windows.h"

unset CPATH CPLUS_INCLUDE_PATH C_INCLUDE_PATH
flags=(-std=c++20 -DUNICODE -D_UNICODE -fsyntax-only -Wall -Wextra -Werror)

passed=0
failed=0
fail() {
  echo "FAIL $1"
  failed=$((failed + 1))
}

mapfile -t sources < <(cd "$work/tree" && find app outlook screen resources -name '*.cpp' | sort)
if [ ${#sources[@]} -eq 0 ]; then
  echo "error: no application sources under $root" >&2
  exit 1
fi

# UTF-16 text on the device is WCHAR; char16_t, u"" and std::u16string are
# only the stand-in's spelling of it, and the desktop compiler accepts them
# where they do not meet a WCHAR. The resource script keeps the platform's
# loader records and their types.
lint=()
while IFS= read -r file; do
  [ -n "${boundary[$file]:-}" ] && continue
  [[ " ${boundary_header[*]} " == *" $file "* ]] && continue
  lint+=("$file")
done < <(cd "$work/tree" && find app outlook screen resources -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
if hits="$(cd "$work/tree" && grep -HnE 'char16_t|u16string|(^|[^A-Za-z0-9_])u"' "${lint[@]}")"; then
  echo "$hits"
  echo "FAIL stand-in text types in application code: use WCHAR, LPCWSTR, TEXT() or WideString (app/wide_string.h)"
  failed=$((failed + 1))
fi

for src in "${sources[@]}"; do
  includes=()
  if [ -n "${device_entry[$src]:-}" ]; then includes+=(-I "$work/device_entry"); fi
  # The tree by a relative path, so that messages name files as in the project.
  includes+=(-I "$work/sdk" -I .)
  if [ -n "${boundary[$src]:-}" ]; then
    allowed="$work/boundary/${src//\//_}"
    for header in ${boundary[$src]}; do
      mkdir -p "$allowed/$(dirname "$header")"
      cp "$root/$header" "$allowed/$header"
    done
    includes+=(-I "$allowed")
  fi

  if (cd "$work/tree" && "$cxx" "${flags[@]}" "${includes[@]}" "$src"); then
    passed=$((passed + 1))
  else
    fail "$src"
  fi
done

# The two platform headers alone, each as the first thing a file includes.
for header in aygshell.h pimstore.h; do
  if echo "#include <$header>" | "$cxx" "${flags[@]}" -I "$work/sdk" -x c++ -; then
    passed=$((passed + 1))
  else
    fail "$header included alone"
  fi
done

echo "cross-compile check: ${#sources[@]} application sources and 2 platform headers with $("$cxx" -dumpversion) against the real headers"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
