# Two set-up commands on a fresh Debian 12 machine:
#   make demo   builds the program and starts it connected to the simulated board
#   make test   builds everything and runs every test
# Both install the Debian packages that are missing first.
# Installing: make deb (then apt install ./build/tarvoline_*.deb), or make install.

BUILD       ?= build
BUILD_TYPE  ?= RelWithDebInfo
JOBS        ?= 2
CMAKE_FLAGS ?=

# What the build, the tests and the demo need from Debian.
PACKAGES := build-essential cmake ninja-build pkg-config \
            googletest libgtest-dev libgmock-dev libbenchmark-dev \
            qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev \
            srecord lrzsz binutils xvfb xdotool x11-utils \
            desktop-file-utils appstream libxml2-utils man-db groff-base \
            shared-mime-info libglib2.0-bin bash-completion clang libclang-rt-14-dev \
            ser2net gcc-m68k-linux-gnu binutils-m68k-linux-gnu
# And what `make deb-check` needs on top (lintian is large: only that target installs it).
DEB_CHECK_PACKAGES := lintian xdg-utils libfile-mimeinfo-perl

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

PREFIX  ?= /usr/local
DESTDIR ?=

.PHONY: all deps build test demo tsan asan bench clean format install deb deb-check fuzz fuzz-build fuzz-seeds example-elf

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES) $(EXTRA_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/build.ninja: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest -j2 --output-on-failure --timeout 120
	@# The single-instance tests once more, the build reached through a folder only its owner
	@# can enter, as a checkout under a private home folder is.
	./tools/single-instance-private.sh $(BUILD)
	@if command -v clang++ >/dev/null; then \
	  $(MAKE) --no-print-directory fuzz FUZZ_SECONDS=10 FUZZ_JOBS=2; \
	else echo "clang++ missing: the fuzzing harnesses were not run"; fi

# The programs, desktop entry, file types, icons, manual, man pages and shell completion under
# $(DESTDIR)$(PREFIX): make install PREFIX=/usr DESTDIR=/tmp/stage
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The Debian package $(BUILD)/tarvoline_VERSION_ARCH.deb: apt install ./$(BUILD)/tarvoline_*.deb
deb: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target tarvoline tarvoline-cli vivaz-sim tarvoline_install_files
	cd $(BUILD) && cpack -G DEB

# Builds the package, runs lintian, installs it on this machine, checks the desktop's view of
# it (file types, default program, the manual, the programs on PATH) and removes it again.
deb-check:
	$(MAKE) deps EXTRA_PACKAGES="$(DEB_CHECK_PACKAGES)"
	./tools/deb-check $(BUILD)

demo: build
	./tools/demo.sh $(BUILD)

# The example program for the 68000 (examples/hello): hello.elf and hello.s37, built with the m68k
# cross compiler when it is installed (make deps installs it).
example-elf:
	@if command -v m68k-linux-gnu-gcc >/dev/null; then \
	  $(MAKE) --no-print-directory -C examples/hello; \
	else echo "m68k-linux-gnu-gcc is missing (make deps installs gcc-m68k-linux-gnu): the example was not built"; exit 1; fi

# The thread tests under ThreadSanitizer.
tsan: deps
	$(MAKE) BUILD=build-tsan BUILD_TYPE=Debug CMAKE_FLAGS="-DTARVOLINE_SANITIZE=thread" build
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest -j2 --output-on-failure -L threads

# The converter and parsers under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	$(MAKE) BUILD=build-asan BUILD_TYPE=Debug CMAKE_FLAGS="-DTARVOLINE_SANITIZE=address,undefined" build
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest -j2 --output-on-failure -L sanitize

# The libFuzzer harnesses of tests/fuzz, each run for FUZZ_SECONDS under ASan (with leak
# detection) and UBSan, RSS limit 512 MB; FUZZ_JOBS of them at a time. Their own build folder,
# clang, the core libraries without Qt only.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_JOBS    ?= 1
FUZZERS      := bin_image map_rewrite xmodem_receive receive_rules settings program
# The longest input each harness is given.
FUZZ_MAX_LEN_bin_image      := 65536
FUZZ_MAX_LEN_map_rewrite    := 16384
FUZZ_MAX_LEN_xmodem_receive := 8192
FUZZ_MAX_LEN_receive_rules  := 4096
FUZZ_MAX_LEN_settings       := 4096
FUZZ_MAX_LEN_program        := 65536

$(FUZZ_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARVOLINE_FUZZ=ON

fuzz-build: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: fuzz-build
	@$(MAKE) --no-print-directory -j $(FUZZ_JOBS) $(addprefix fuzz-run-,$(FUZZERS))

fuzz-run-%:
	@./tools/run-fuzzer.sh $(FUZZ_BUILD) $* $(FUZZ_SECONDS) $(FUZZ_MAX_LEN_$*)

# Writes the seeds of tests/fuzz/corpus again with the project's own writers.
fuzz-seeds: fuzz-build
	./$(FUZZ_BUILD)/make_fuzz_seeds examples tests/fuzz/corpus

bench: deps
	$(MAKE) BUILD=build-bench BUILD_TYPE=Release build
	./tools/run-benchmarks.sh build-bench

format:
	find comm terminal download postlink document app sim cli tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build build-tsan build-asan build-bench build-fuzz
