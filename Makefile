# The two entry points: `make run` and `make test`. Everything else is CMake.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: run test deps build bench clean

deps:
	bash tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# The demo runs on a copy, so the bundled calendar stays as shipped.
run: build
	@test -f $(BUILD)/demo.ics || cp resources/demo/demo.ics $(BUILD)/demo.ics
	$(BUILD)/app/tallyset --calendar $(BUILD)/demo.ics $(ARGS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTALLYSET_BUILD_BENCH=ON -DTALLYSET_BUILD_TESTS=OFF
	cmake --build build-bench -j $(JOBS) --target calendar_store_bench
	build-bench/bench/calendar_store_bench --benchmark_min_time=0.2
