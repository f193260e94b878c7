# Zelvan TTS: the two commands are `make test` and `make demo`.
BUILD_DIR  ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build test demo bench clean test-sanitize fuzz windows test-windows install

all: build

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# Installs the library, its header, pkg-config and CMake files, the programs,
# the models and the speech-dispatcher output module with its configuration
# into PREFIX (default: CMake's, /usr/local), below DESTDIR when it is set.
# SPEECHD_MODULEDIR and SPEECHD_CONFDIR put the module and its configuration
# where the system's speech-dispatcher looks instead (README, "Speaking on
# the Linux desktop").
SPEECHD_MODULEDIR ?= lib/speech-dispatcher-modules
SPEECHD_CONFDIR ?= etc/speech-dispatcher/modules
install: build
	cmake -S . -B $(BUILD_DIR) $(if $(PREFIX),-DCMAKE_INSTALL_PREFIX=$(PREFIX)) \
	    -DZELVAN_SPEECHD_MODULEDIR=$(SPEECHD_MODULEDIR) \
	    -DZELVAN_SPEECHD_CONFDIR=$(SPEECHD_CONFDIR) >/dev/null
	DESTDIR=$(DESTDIR) cmake --install $(BUILD_DIR) $(if $(PREFIX),--prefix $(PREFIX))

# A Russian sample with a number, a homograph and a Latin word, spoken by the
# demo models of build/models; the server that `say` starts is stopped again.
DEMO_VOICE ?= 20
DEMO_TEXT  ?= Старинный замок на холме стоит уже 250 лет. Hello, world!

demo: build
	@echo "== processed text"
	$(BUILD_DIR)/bin/zelvan_tts text --voice $(DEMO_VOICE) "$(DEMO_TEXT)"
	@echo "== speaking to demo.wav"
	@status=0; \
	$(BUILD_DIR)/bin/zelvan_tts say --voice $(DEMO_VOICE) -o demo.wav \
	    --timings demo_timings.json "$(DEMO_TEXT)" || status=$$?; \
	$(BUILD_DIR)/bin/zelvan_tts shutdown >/dev/null 2>&1 || true; \
	[ $$status -eq 0 ] || exit $$status; \
	echo "== word times (seconds; also in demo_timings.json)"; \
	awk -F': ' '/"word"/ {w = $$2; gsub(/^"|",?$$/, "", w)} \
	    /"start"/ {s = $$2; sub(/,$$/, "", s)} \
	    /"end"/ {printf "  %9.3f %9.3f  %s\n", s, $$2, w}' demo_timings.json; \
	echo "== demo.wav is ready: play it with any audio player (aplay demo.wav)"

# The benchmark report: every figure with its unit, command and machine, in
# bench/RESULTS.md. espeak-ng is the peer it compares with; wrk loads the
# HTTP server.
bench: build
	scripts/install-deps espeak-ng wrk curl
	$(BUILD_DIR)/bin/bench_report bench/RESULTS.md
	bench/http_load.sh $(BUILD_DIR) bench/RESULTS.md

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR) $(WINDOWS_DIR)

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer,
# stopping at the first report, in a build directory of its own.
SANITIZE_DIR ?= build-sanitize
SANITIZER_ENV = ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/fuzz/lsan.supp:print_suppressions=0

test-sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
		-DZELVAN_SANITIZE=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	$(SANITIZER_ENV) ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j $(JOBS)

# The libFuzzer targets under fuzz/ (clang), each run for FUZZ_SECONDS.
FUZZ_DIR     ?= build-fuzz
FUZZ_SECONDS ?= 20

fuzz: deps
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
		-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZELVAN_FUZZ=ON
	cmake --build $(FUZZ_DIR) --target fuzz_targets -j $(JOBS)
	fuzz/run_fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

# The Windows build, cross-compiled with mingw-w64 in a build directory of its
# own, and its tests run under Wine with a private Wine prefix. Without a
# LibTorch for Windows it holds every part that needs neither LibTorch nor
# Sonic. The data files its tests decrypt are made by the Linux zelvan_tts_pack.
WINDOWS_DIR      ?= build-windows
WINDOWS_PACKAGES  = g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
	libz-mingw-w64-dev wine wine64
WINE_ENV = WINEPREFIX=$(CURDIR)/$(WINDOWS_DIR)/wineprefix WINEDEBUG=-all \
	WINEDLLOVERRIDES="mscoree,mshtml="

windows: configure
	scripts/install-deps $(WINDOWS_PACKAGES)
	cmake --build $(BUILD_DIR) --target zelvan_tts_pack -j $(JOBS)
	cmake -S . -B $(WINDOWS_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
		-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake \
		-DZELVAN_HOST_PACK=$(CURDIR)/$(BUILD_DIR)/bin/zelvan_tts_pack
	cmake --build $(WINDOWS_DIR) -j $(JOBS)

test-windows: windows
	$(WINE_ENV) wineboot --init >/dev/null 2>&1 || true
	$(WINE_ENV) ctest --test-dir $(WINDOWS_DIR) --output-on-failure -j $(JOBS)
