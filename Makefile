# Native build (sanitizers) in build/, Windows cross build in build-win/.
#   make deps      install missing Debian packages
#   make native    build/ with AddressSanitizer and UndefinedBehaviorSanitizer
#   make windows   build-win/ with mingw-w64, static .exe files
#   make test      both builds, then both suites (Windows under Wine) and the GUI tests, and a summary
#   make test-gui  the Windows build, then only the GUI tests (PellmorWin.exe under Wine and Xvfb)
#   make fuzz      build-fuzz/ with clang and libFuzzer, then each fuzz target for FUZZ_SECONDS (default 60)
#   make demo      release build of pellmor in build-release/, a ~150 MB sample game in build/sample-game,
#                  shrunk with the progress bar
#   make tsan      build-tsan/ with ThreadSanitizer, then the shrinker's tests (not part of make test: slow)
#   make syscall-faults  the release pellmor with real system calls made to fail (strace), not part of make test

JOBS          ?= 2
BUILD_DIR     ?= build
WIN_BUILD_DIR ?= build-win
RELEASE_DIR   ?= build-release
TSAN_DIR      ?= build-tsan
FUZZ_DIR      ?= build-fuzz
# Seconds each fuzz target runs: in `make fuzz`, and in the fuzz step of `make test`.
FUZZ_SECONDS      ?= 60
FUZZ_TEST_SECONDS ?= 10
DEMO_GAME     ?= $(BUILD_DIR)/sample-game
CMAKE         ?= cmake

NATIVE_CONFIG = -DCMAKE_BUILD_TYPE=Debug \
                -DCMAKE_C_FLAGS_DEBUG="-O1 -g" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
                -DPELLMOR_SANITIZE=ON $(WERROR_CONFIG)

WIN_CONFIG    = -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake \
                -DCMAKE_BUILD_TYPE=Release \
                -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
                $(WERROR_CONFIG)

TSAN_FLAGS    = -O1 -g -fsanitize=thread
TSAN_CONFIG   = -DCMAKE_BUILD_TYPE=Debug \
                -DCMAKE_C_FLAGS_DEBUG="$(TSAN_FLAGS)" -DCMAKE_CXX_FLAGS_DEBUG="$(TSAN_FLAGS)" \
                -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread $(WERROR_CONFIG)
# The tests that run shrinks, and so the parallel rewrite.
TSAN_TESTS    = FShrinkPipeline*:FImgShrinker*:ShrinkSample*:FImgArchive*:FRwChunk*:FReencodePolicy*:FTextureUtil*

# The fuzz targets and everything they reach, built with clang: the code under libFuzzer's coverage, AddressSanitizer
# and UndefinedBehaviorSanitizer, libsquish included (built from its Debian source, as for every build); the fuzz
# programs themselves are linked with -fsanitize=fuzzer.
FUZZ_FLAGS    = -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
FUZZ_CONFIG   = -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
                -DCMAKE_C_FLAGS="$(FUZZ_FLAGS)" -DCMAKE_CXX_FLAGS="$(FUZZ_FLAGS)" \
                -DCMAKE_C_FLAGS_DEBUG="-O1 -g" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
                -DPELLMOR_FUZZ=ON $(WERROR_CONFIG)

# CMake picks -Werror from CI only when it first makes a build folder; say it on
# every configure so that an older folder follows too.
WERROR_CONFIG = $(if $(CI),-DPELLMOR_WERROR=ON)

export BUILD_DIR WIN_BUILD_DIR FUZZ_DIR

.PHONY: all deps native windows fuzz-build fuzz test test-native test-windows test-gui tsan syscall-faults demo clean \
        distclean

all: native windows

deps:
	@scripts/need-deps.sh >/dev/null 2>&1 || scripts/install-deps.sh

native: deps
	$(CMAKE) -S . -B $(BUILD_DIR) $(NATIVE_CONFIG)
	$(CMAKE) --build $(BUILD_DIR) -j $(JOBS)

windows: deps
	$(CMAKE) -S . -B $(WIN_BUILD_DIR) $(WIN_CONFIG)
	$(CMAKE) --build $(WIN_BUILD_DIR) -j $(JOBS)

fuzz-build: deps
	$(CMAKE) -S . -B $(FUZZ_DIR) $(FUZZ_CONFIG)
	$(CMAKE) --build $(FUZZ_DIR) -j $(JOBS) --target fuzz-targets

fuzz: fuzz-build
	@FUZZ_SECONDS=$(FUZZ_SECONDS) tests/fuzz/run-fuzz.sh

# A failed build does not stop the other suites; run-tests.sh counts it as a failure.
test: deps
	@native=ok; $(MAKE) --no-print-directory native || native=failed; \
	windows=ok; $(MAKE) --no-print-directory windows || windows=failed; \
	fuzz=ok; $(MAKE) --no-print-directory fuzz-build || fuzz=failed; \
	FUZZ_SECONDS=$(FUZZ_TEST_SECONDS) scripts/run-tests.sh --native $$native --windows $$windows --gui $$windows \
	    --fuzz $$fuzz

test-native: native
	@scripts/run-tests.sh --native ok

test-windows: windows
	@scripts/run-tests.sh --windows ok

test-gui: windows
	@scripts/run-tests.sh --gui ok

# Any report of ThreadSanitizer fails the run.
syscall-faults: deps
	$(CMAKE) -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DPELLMOR_TESTS=OFF $(WERROR_CONFIG)
	$(CMAKE) --build $(RELEASE_DIR) -j $(JOBS) --target pellmor make-sample-game
	tests/syscalls/inject-syscall-faults.sh $(RELEASE_DIR)/cli/pellmor \
	    $(RELEASE_DIR)/tools/make-sample-game/make-sample-game

tsan: deps
	$(CMAKE) -S . -B $(TSAN_DIR) $(TSAN_CONFIG)
	$(CMAKE) --build $(TSAN_DIR) -j $(JOBS) --target pellmor_tests
	TSAN_OPTIONS="halt_on_error=1 abort_on_error=1 $(TSAN_OPTIONS)" \
	    $(TSAN_DIR)/tests/pellmor_tests --gtest_filter='$(TSAN_TESTS)'

# The first run after a checkout: the command-line tool built for speed (no sanitizers, no tests), a sample game
# made once and kept, and one shrink. A sample left shrunk by an earlier demo is restored first; the engine keeps
# the shrunk archive then, so the shrink that follows only swaps files.
demo: deps
	$(CMAKE) -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DPELLMOR_TESTS=OFF $(WERROR_CONFIG)
	$(CMAKE) --build $(RELEASE_DIR) -j $(JOBS) --target pellmor make-sample-game
	@set -e; \
	pellmor=$(RELEASE_DIR)/cli/pellmor; game=$(DEMO_GAME); start=$$(date +%s); \
	if ls $$game/[Mm]odels/gta3.img >/dev/null 2>&1 || ls $$game/[Mm]odels/gta3_ORIG_BAK.img >/dev/null 2>&1; then \
	    echo "== Using the sample game made earlier in $$game"; \
	else \
	    echo "== Making a sample game of about 150 MB in $$game"; \
	    $(RELEASE_DIR)/tools/make-sample-game/make-sample-game --out $$game --size 150; \
	fi; \
	state=$$($$pellmor status $$game --json | sed -n 's/^ *"state": "\([a-z]*\)".*/\1/p'); \
	if [ "$$state" = shrunk ] || [ "$$state" = interrupted ]; then \
	    echo "== The sample is shrunk from an earlier demo: restoring the original first."; \
	    echo "   The shrunk archive stays as gta3_SHRUNK_BAK.img, so the shrink below only swaps files."; \
	    $$pellmor restore $$game; \
	fi; \
	before=$$(stat -c %s $$game/[Mm]odels/gta3.img); \
	echo; echo "== $$pellmor shrink $$game"; \
	$$pellmor shrink $$game; \
	after=$$(stat -c %s $$game/[Mm]odels/gta3.img); \
	echo; echo "== $$pellmor status $$game"; \
	$$pellmor status $$game; \
	echo; \
	echo "== Models/gta3.img: $$before bytes before, $$after bytes after" \
	     "($$(( (before - after) * 100 / before ))% smaller), in $$(( $$(date +%s) - start )) s."; \
	echo "   Undo it with: $$pellmor restore $$game"

# The Wine prefixes survive `clean`: making one again costs a quarter of a minute.
clean:
	rm -rf $(BUILD_DIR) $(RELEASE_DIR) $(TSAN_DIR) $(FUZZ_DIR)
	if [ -d $(WIN_BUILD_DIR) ]; then \
	    find $(WIN_BUILD_DIR) -mindepth 1 -maxdepth 1 ! -name wineprefix ! -name wineprefix.lock \
	        ! -name wineprefix-gui ! -name wineprefix-gui.lock -exec rm -rf {} +; \
	fi

distclean:
	rm -rf $(BUILD_DIR) $(WIN_BUILD_DIR) $(RELEASE_DIR) $(TSAN_DIR) $(FUZZ_DIR)
