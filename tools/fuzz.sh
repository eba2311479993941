#!/usr/bin/env bash
# Fuzzes Tallyset's input parsers with libFuzzer (clang, ASan + UBSan).
#
#   tools/fuzz.sh [SECONDS] [TARGET...]   each target for SECONDS (default 300)
#   tools/fuzz.sh --smoke                 every target for 30 s from a fixed seed (CI)
#
# Targets: calendar_round_trip restriction script settings (all by default).
# Builds into build-fuzz (JOBS=N to change the build's parallelism, default 1).
# New corpus entries go to build-fuzz/corpus/<target> (the seeds under
# tests/fuzz/corpus/<target> are read, never written). A crash stops the run
# with exit 1 and leaves the input as build-fuzz/crashes/<target>/crash-*; to
# keep it as a regression, copy it to tests/fuzz/regressions/<target>/ (ctest
# replays that folder in every build) and fix the cause.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=300
seed=()
if [[ ${1:-} == --smoke ]]; then
  # CI's runs start from one seed, so a finding there comes back here.
  seconds=30
  seed=(-seed=1)
  shift
elif [[ ${1:-} =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(calendar_round_trip restriction script settings)

build=${FUZZ_BUILD:-build-fuzz}
if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  if [[ $(id -u) -eq 0 ]]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang libclang-rt-dev >/dev/null
  else
    echo "fuzz: clang++ and its libFuzzer runtime are needed (apt-get install clang libclang-rt-dev)" >&2
    exit 2
  fi
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  -DTALLYSET_SANITIZE=ON -DTALLYSET_FUZZ=ON -DTALLYSET_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j "${JOBS:-1}" --target "${targets[@]/#/fuzz_}"

# Longest input per target: the app target runs the whole program per input.
declare -A max_len=([calendar_round_trip]=16384 [restriction]=512 [script]=2048 [settings]=512)
declare -A dict=([calendar_round_trip]=tests/fuzz/icalendar.dict [restriction]=tests/fuzz/restriction.dict
                 [script]=tests/fuzz/script.dict [settings]=tests/fuzz/settings.dict)

status=0
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  crashes="$build/crashes/$t"
  mkdir -p "$corpus" "$crashes"
  opts=(-max_total_time="$seconds" -max_len="${max_len[$t]:-4096}" -timeout=10 -rss_limit_mb=2048
        -artifact_prefix="$crashes/" -print_final_stats=1 "${seed[@]}")
  [[ -f ${dict[$t]:-} ]] && opts+=(-dict="${dict[$t]}")
  echo "== fuzz_$t for ${seconds}s"
  # Pango and fontconfig keep caches for the life of the process: not leaks.
  leaks=1
  [[ $t == settings ]] && leaks=0
  if ! ASAN_OPTIONS=detect_leaks=$leaks:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/tests/fuzz/fuzz_$t" "${opts[@]}" "$corpus" "tests/fuzz/corpus/$t" "tests/fuzz/regressions/$t" \
    2> >(tee "$build/fuzz_$t.log" | grep -E '^(#[0-9]+ +DONE|==[0-9]+==ERROR|SUMMARY|.*check failed|stat::)' >&2); then
    echo "fuzz_$t FOUND A PROBLEM: see $build/fuzz_$t.log and $crashes/" >&2
    # The input itself, for a run whose folder is gone (CI's).
    for f in "$crashes"/*; do
      [[ -f $f ]] && echo "$(basename "$f") as base64: $(base64 -w0 "$f")" >&2
    done
    status=1
  fi
done
exit $status
