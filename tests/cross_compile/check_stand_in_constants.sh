#!/usr/bin/env bash
# Every constant of the platform headers that the application names (a
# message, a style, a flag, an error code, a class name) must have the same
# value in the stand-in's headers as in the real ones, or the program that
# passes its tests here sends the wrong message on the device. The stand-in's
# values are printed by a host program built against platform/include; the
# cross compiler then checks each one against the real headers.
#
# Usage: check_stand_in_constants.sh PROJECT_ROOT HOST_CXX
# MINGW_CXX overrides the cross compiler (default x86_64-w64-mingw32-g++).
set -uo pipefail

root="${1:?usage: check_stand_in_constants.sh PROJECT_ROOT HOST_CXX}"
host_cxx="${2:?usage: check_stand_in_constants.sh PROJECT_ROOT HOST_CXX}"
cxx="${MINGW_CXX:-x86_64-w64-mingw32-g++}"

if ! command -v "$cxx" >/dev/null 2>&1; then
  echo "error: $cxx not found; tools/install-deps.sh installs g++-mingw-w64-x86-64 and mingw-w64-x86-64-dev" >&2
  exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

headers='#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <oleauto.h>
#include <strsafe.h>
#include <aygshell.h>
#include <pimstore.h>'

# Every identifier the application writes.
(cd "$root" && find app outlook screen resources -type f \( -name '*.h' -o -name '*.cpp' \) -exec cat {} +) |
  grep -oE '\b[A-Za-z][A-Za-z0-9_]*\b' | sort -u >"$work/app_names"

# The stand-in's constants: object-like macros with a value, and enumerators.
printf '%s\n' "$headers" >"$work/headers.cpp"
"$host_cxx" -std=c++20 -dM -E -I "$root/platform/include" "$work/headers.cpp" |
  sed -nE 's/^#define ([A-Za-z][A-Za-z0-9_]*) +[^ ].*/\1/p' | sort -u >"$work/macros"
awk '/enum/ { inside = 1; next } inside && /}/ { inside = 0 }
     inside && match($0, /^ *[A-Za-z][A-Za-z0-9_]*/) { name = substr($0, RSTART, RLENGTH); gsub(/ /, "", name); print name }' \
  "$root"/platform/include/*.h | sort -u >"$work/enumerators"
sort -u "$work/macros" "$work/enumerators" | comm -12 - "$work/app_names" >"$work/names"
# Calling conventions and other spellings that expand to nothing or to a type.
grep -vxE 'WINAPI|CALLBACK|APIENTRY|CONST|FAR|NEAR|PURE|STDMETHODCALLTYPE' "$work/names" >"$work/constants"

count=$(wc -l <"$work/constants")
if [ "$count" -eq 0 ]; then
  echo "error: found no platform constants in the application sources" >&2
  exit 1
fi

{
  printf '%s\n' "$headers"
  cat <<'CPP'
#include <cstdint>
#include <cstdio>
#include <type_traits>
template <class T>
void Show(const char* name, T value) {
  if constexpr (std::is_pointer_v<T>) {
    using C = std::remove_cv_t<std::remove_pointer_t<T>>;
    if constexpr (std::is_same_v<C, WCHAR>) {
      std::printf("static_assert(SameText(%s, \"", name);
      for (const WCHAR* p = value; *p; ++p) std::printf("\\x%x", static_cast<unsigned>(*p));
      std::printf("\"), \"%s\");\n", name);
    } else {
      std::printf("static_assert(reinterpret_cast<std::intptr_t>(%s) == %lldLL, \"%s\");\n", name,
                  static_cast<long long>(reinterpret_cast<std::intptr_t>(value)), name);
    }
  } else {
    std::printf("static_assert(static_cast<long long>(%s) == %lldLL, \"%s\");\n", name,
                static_cast<long long>(value), name);
  }
}
int main() {
CPP
  while read -r name; do echo "  Show(\"$name\", $name);"; done <"$work/constants"
  echo "}"
} >"$work/stand_in.cpp"
if ! "$host_cxx" -std=c++20 -I "$root/platform/include" "$work/stand_in.cpp" -o "$work/stand_in"; then
  echo "FAIL the stand-in's constants did not build" >&2
  exit 1
fi

mkdir -p "$work/sdk"
cp "$root/platform/include/aygshell.h" "$root/platform/include/pimstore.h" "$work/sdk/"
{
  printf '%s\n' "$headers"
  cat <<'CPP'
#include <cstdint>
constexpr bool SameText(const WCHAR* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (*a != static_cast<WCHAR>(static_cast<unsigned char>(*b))) return false;
  return *a == 0 && *b == 0;
}
CPP
  "$work/stand_in"
} >"$work/real.cpp"

unset CPATH CPLUS_INCLUDE_PATH C_INCLUDE_PATH
if "$cxx" -std=c++20 -DUNICODE -D_UNICODE -fsyntax-only -I "$work/sdk" "$work/real.cpp" 2>"$work/errors"; then
  echo "stand-in constants: all $count that the application names equal the real headers'"
  echo "$count passed, 0 failed"
else
  grep -E 'error:' "$work/errors" | sed 's/^[^ ]* //'
  failed=$(grep -c 'error:' "$work/errors")
  echo "FAIL stand-in constants that differ from the real headers, or that those lack: fix platform/include"
  echo "$((count - failed)) passed, $failed failed"
  exit 1
fi
