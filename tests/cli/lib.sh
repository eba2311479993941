# Shared by the process tests: a private work folder and runtime folder,
# and `check NAME COMMAND...`, which counts and names what failed.
# Source it; `finish` prints the closing line and gives the exit code.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
passed=0
failed=0
check() {  # check NAME CONDITION...
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; fi
}
finish() {
  echo "$passed passed, $failed failed"
  test "$failed" -eq 0
}
