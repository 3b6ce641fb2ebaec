# The two commands of the README: `make run` and `make test`.
# Both install the Debian packages they miss before building.

PACKAGES := cmake g++ make pkg-config ccache libgtest-dev libbenchmark-dev \
            qt6-base-dev qt6-serialport-dev qt6-declarative-dev qt6-charts-dev libgl-dev \
            libqt6serialport6 qml6-module-qtqml qt6-webengine-dev xvfb xauth
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev
JOBS ?= $(shell nproc)
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1

.PHONY: deps fuzz-deps run test build-test build-run bench fuzz clean

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" -ne 0 ] && SUDO=sudo; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

fuzz-deps: deps
	@$(MAKE) --no-print-directory deps PACKAGES="$(FUZZ_PACKAGES)"

build-test: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug -DVEXOR_SANITIZE=ON -DVEXOR_BENCH=OFF
	cmake --build build -j $(JOBS)

test: build-test
	cd build && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:suppressions=$(CURDIR)/tests/asan.supp \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

build-run: deps
	cmake -S . -B build-run -DCMAKE_BUILD_TYPE=Release -DVEXOR_BENCH=OFF
	cmake --build build-run -j $(JOBS) --target vexor vexor-cli vexor-sim demo_rom

run: build-run
	./build-run/bin/vexor ./build-run/bin/demo.bin

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVEXOR_BENCH=ON
	cmake --build build-bench -j $(JOBS)

# The libFuzzer programs (clang, ASan + UBSan) in build-fuzz/bin/fuzz_*; run one
# with its seeds, e.g.
#   build-fuzz/bin/fuzz_ct2 -max_total_time=600 -rss_limit_mb=2048 tests/fuzz/corpus/ct2
fuzz: fuzz-deps
	CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DVEXOR_FUZZ=ON -DVEXOR_BENCH=OFF
	cmake --build build-fuzz -j $(JOBS) --target fuzz_all

clean:
	rm -rf build build-run build-bench build-fuzz
