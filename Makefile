# The two entry points: `make run` and `make test`. Everything else is CMake.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: run test deps build install bench fuzz fuzz-smoke clean

deps:
	bash tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# The demo runs on a copy, so the bundled calendar stays as shipped, and
# in the demo's own week (DEMO_NOW= runs it at the real time).
DEMO_NOW ?= 2026-12-04 16:20
run: build
	@test -f $(BUILD)/demo.ics || cp resources/demo/demo.ics $(BUILD)/demo.ics
	$(BUILD)/automation/tallyset --calendar $(BUILD)/demo.ics $(if $(DEMO_NOW),--now "$(DEMO_NOW)") $(ARGS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The program, its menu entry, icons and manual page under PREFIX (staged
# under DESTDIR when given, as packagers do).
PREFIX ?= /usr/local
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD)

# One table: the whole program on generated 1k/10k/100k-event calendars beside
# cat, libical's parse and khal (tools/bench.py; README "Performance and robustness").
# BENCH_ARGS="--sizes 1000,10000 --runs 3" to shorten it.
bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTALLYSET_BUILD_BENCH=ON -DTALLYSET_BUILD_TESTS=OFF
	cmake --build build-bench -j $(JOBS) --target tallyset bench_tools text_floor calendar_store_bench
	python3 tools/bench.py --build build-bench $(BENCH_ARGS)

# libFuzzer on the parsers, FUZZ_SECONDS per target (tools/fuzz.sh); `make fuzz-smoke`: 30 s each.
FUZZ_SECONDS ?= 300
fuzz: deps
	JOBS=$(JOBS) bash tools/fuzz.sh $(FUZZ_SECONDS)

fuzz-smoke: deps
	JOBS=$(JOBS) bash tools/fuzz.sh --smoke
