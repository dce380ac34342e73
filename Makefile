# The whole set-up on a fresh Debian machine: `make run` and `make test`.
BUILD ?= build
PREFIX ?= /usr/local
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test sanitize bench screenshot install clean format

all: build

deps:
	@bash scripts/install-deps

$(BUILD)/build.ninja: CMakeLists.txt | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/vorlan

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The whole test suite built with the address and undefined-behaviour sanitizers, in its own folder.
sanitize: deps
	cmake -S . -B $(BUILD)-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLAN_SANITIZE=ON
	cmake --build $(BUILD)-sanitize -j $(JOBS)
	cd $(BUILD)-sanitize && QT_QPA_PLATFORM=offscreen \
		ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
		UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORLAN_BENCH=ON
	cmake --build $(BUILD)-bench -j $(JOBS)
	@for b in $(BUILD)-bench/bench/bench_*; do [ -f "$$b" ] && [ -x "$$b" ] || continue; echo "== $$b"; QT_QPA_PLATFORM=offscreen $$b || exit 1; done

screenshot: build
	bash scripts/screenshot $(BUILD)/vorlan $(BUILD)/screenshots/main.png
	bash scripts/screenshot $(BUILD)/tools/demo/vorlan_demo $(BUILD)/screenshots/blink-phase1.png 4 blink 1
	bash scripts/screenshot $(BUILD)/tools/demo/vorlan_demo $(BUILD)/screenshots/blink-phase2.png 4 blink 2
	bash scripts/screenshot $(BUILD)/tools/demo/vorlan_demo $(BUILD)/screenshots/cutout.png 5 cutout
	bash scripts/screenshot $(BUILD)/tools/demo/vorlan_demo $(BUILD)/screenshots/rotation.png 8 rotation
	bash scripts/screenshot $(BUILD)/tools/demo/vorlan_demo $(BUILD)/screenshots/fits.png 4 fits
	bash scripts/screenshot $(BUILD)/tools/demo/sky_demo $(BUILD)/screenshots/coordinates.png 4
	bash scripts/screenshot $(BUILD)/tools/demo/wcs_demo $(BUILD)/screenshots/header-wcs.png 8 header
	bash scripts/screenshot $(BUILD)/tools/demo/wcs_demo $(BUILD)/screenshots/solving.png 10 solve
	bash scripts/screenshot $(BUILD)/tools/demo/notepad_help $(BUILD)/screenshots/notepad.png 3
	bash scripts/screenshot $(BUILD)/tools/demo/movers_demo $(BUILD)/screenshots/movers.png 8
	bash scripts/screenshot $(BUILD)/tools/demo/movers_demo $(BUILD)/screenshots/settings.png 8 settings
	bash scripts/screenshot $(BUILD)/tools/demo/project_demo $(BUILD)/screenshots/project.png 3
	bash scripts/screenshot $(BUILD)/tools/demo/photometry_demo $(BUILD)/screenshots/photometry.png 4
	bash scripts/screenshot $(BUILD)/tools/demo/zoomout_demo $(BUILD)/screenshots/zoomed-out.png 3
	bash scripts/screenshot $(BUILD)/tools/demo/autoreg_demo $(BUILD)/screenshots/autoreg.png 8 2
	bash scripts/screenshot $(BUILD)/tools/demo/autoreg_demo $(BUILD)/screenshots/matched.png 8 matched
	bash scripts/screenshot $(BUILD)/tools/demo/autoreg_demo $(BUILD)/screenshots/difference.png 8 difference
	bash scripts/screenshot $(BUILD)/tools/demo/autoreg_demo $(BUILD)/screenshots/one-two-three.png 8 three

# The program, its desktop entry, MIME types and icon under $(PREFIX) (DESTDIR stages them).
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-sanitize

format:
	find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i
