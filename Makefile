# Native build (sanitizers) in build/, Windows cross build in build-win/.
#   make deps      install missing Debian packages (and the preview test's npm packages): all that any target needs.
#                  Each target checks only what it uses (scripts/need-deps.sh's groups) and installs that when
#                  something is missing, so that a user with the packages builds the programs, the demo and the
#                  release packages without root.
#   make native    build/ with AddressSanitizer and UndefinedBehaviorSanitizer
#   make windows   build-win/ with mingw-w64, static .exe files
#   make test      both builds, then both suites (Windows under Wine), the GUI tests, the preview page in a
#                  browser, the fuzz targets and the packaging check of make dist (tests/packaging/check-dist.sh),
#                  and a summary
#   make test-gui  the Windows build, then only the GUI tests (PellmorWin.exe under Wine and Xvfb)
#   make test-preview  the native build, then only the preview page in Debian's chromium
#   make test-dist make dist, then only the packaging check
#   make fuzz      build-fuzz/ with clang and libFuzzer, then each fuzz target for FUZZ_SECONDS (default 60)
#   make demo      release build of pellmor in build-release/, a ~150 MB sample game in build/sample-game,
#                  shrunk with the progress bar
#   make tsan      build-tsan/ with ThreadSanitizer, then the shrinker's tests (not part of make test: slow)
#   make syscall-faults  the release pellmor with real system calls made to fail (strace), not part of make test
#   make mutants   seeded operator mutants of shrinker/ and engine/ against the unit tests, built in build-mutants/
#                  (SEED, COUNT; not part of make test: a minute or so per mutant)
#   make dist      the release packages in dist/: the Windows zip, the Debian package and their SHA256SUMS,
#                  from release builds in build-dist-linux/ and build-dist-win/
#   make install   pellmor, its manual page and its bash completion under PREFIX (/usr/local; DESTDIR too);
#                  make uninstall removes them again

JOBS          ?= 2
BUILD_DIR     ?= build
WIN_BUILD_DIR ?= build-win
RELEASE_DIR   ?= build-release
TSAN_DIR      ?= build-tsan
MUTANTS_DIR   ?= build-mutants
SEED          ?= 1
COUNT         ?= 40
FUZZ_DIR      ?= build-fuzz
# Seconds each fuzz target runs: in `make fuzz`, and in the fuzz step of `make test`.
FUZZ_SECONDS      ?= 60
FUZZ_TEST_SECONDS ?= 10
DEMO_GAME     ?= $(BUILD_DIR)/sample-game
CMAKE         ?= cmake
DIST_LINUX_DIR ?= build-dist-linux
DIST_WIN_DIR   ?= build-dist-win
DIST_DIR       ?= dist
PREFIX         ?= /usr/local
DESTDIR        ?=

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

# The release builds of make dist and make install: no sanitizers and no tests. Linux gets Debian's hardening
# flags; both map the checkout's own path to "." (it would be in assertion messages and debugging data), the
# Windows programs carry no link time stamp, and the compilers take the last commit's time for the build date
# that the Core traces (__DATE__, __TIME__), so that two checkouts of one commit build the same bytes. pellmor
# is stripped when it is installed, the Windows programs when they are linked.
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null)
DIST_EPOCH        = $(if $(SOURCE_DATE_EPOCH),SOURCE_DATE_EPOCH=$(SOURCE_DATE_EPOCH))
DIST_BUILDFLAGS   = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
DIST_PREFIX_MAP   = -ffile-prefix-map=$(CURDIR)=.
# -Wdate-time would warn about that build date, which SOURCE_DATE_EPOCH makes reproducible.
DIST_CPPFLAGS     = $(filter-out -Wdate-time,$(shell $(DIST_BUILDFLAGS) CPPFLAGS))
# No compiler cache: one set up with a base_dir hands the compiler relative paths, which the prefix map does not
# catch, and the programs would depend on where the cache's first compile ran.
DIST_NO_CCACHE    = -DCMAKE_C_COMPILER_LAUNCHER= -DCMAKE_CXX_COMPILER_LAUNCHER=
DIST_LINUX_CONFIG = -DCMAKE_BUILD_TYPE=Release -DPELLMOR_TESTS=OFF -DPELLMOR_DIST=ON $(DIST_NO_CCACHE) \
                    -DCMAKE_C_FLAGS_RELEASE="$(shell $(DIST_BUILDFLAGS) CFLAGS) $(DIST_CPPFLAGS) -DNDEBUG" \
                    -DCMAKE_CXX_FLAGS_RELEASE="$(shell $(DIST_BUILDFLAGS) CXXFLAGS) $(DIST_CPPFLAGS) -DNDEBUG" \
                    -DCMAKE_EXE_LINKER_FLAGS_RELEASE="$(shell $(DIST_BUILDFLAGS) LDFLAGS)" $(WERROR_CONFIG)
DIST_WIN_CONFIG   = -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
                    -DPELLMOR_TESTS=OFF -DPELLMOR_DIST=ON $(DIST_NO_CCACHE) \
                    -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG $(DIST_PREFIX_MAP)" \
                    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG $(DIST_PREFIX_MAP)" \
                    -DCMAKE_EXE_LINKER_FLAGS_RELEASE="-Wl,--no-insert-timestamp -s" $(WERROR_CONFIG)

# CMake picks -Werror from CI only when it first makes a build folder; say it on
# every configure so that an older folder follows too.
WERROR_CONFIG = $(if $(CI),-DPELLMOR_WERROR=ON)

export BUILD_DIR WIN_BUILD_DIR FUZZ_DIR DIST_DIR DIST_LINUX_DIR DIST_WIN_DIR

.PHONY: all deps native windows fuzz-build fuzz test test-native test-windows test-gui test-preview tsan mutants syscall-faults demo clean \
        distclean dist dist-linux dist-windows install uninstall test-dist

all: native windows

# $(call need,GROUPS): the recipe line that checks for what the GROUPS of work use (scripts/need-deps.sh) and
# installs it when something is missing.
need = @scripts/need-deps.sh $(1) >/dev/null 2>&1 || scripts/install-deps.sh $(1)

deps:
	$(call need,all)

# The native and Windows builds make the test programs too.
native:
	$(call need,build tests)
	$(CMAKE) -S . -B $(BUILD_DIR) $(NATIVE_CONFIG)
	$(CMAKE) --build $(BUILD_DIR) -j $(JOBS)

windows:
	$(call need,build windows tests)
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
	dist=ok; $(MAKE) --no-print-directory dist || dist=failed; \
	FUZZ_SECONDS=$(FUZZ_TEST_SECONDS) scripts/run-tests.sh --native $$native --windows $$windows --gui $$windows \
	    --preview $$native --fuzz $$fuzz --dist $$dist

test-native: deps native
	@scripts/run-tests.sh --native ok

test-windows: deps windows
	@scripts/run-tests.sh --windows ok

test-gui: deps windows
	@scripts/run-tests.sh --gui ok

test-preview: deps native
	@scripts/run-tests.sh --preview ok

test-dist: deps dist
	@scripts/run-tests.sh --dist ok

# Any report of ThreadSanitizer fails the run.
syscall-faults: deps
	$(CMAKE) -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DPELLMOR_TESTS=OFF $(WERROR_CONFIG)
	$(CMAKE) --build $(RELEASE_DIR) -j $(JOBS) --target pellmor make-sample-game
	tests/syscalls/inject-syscall-faults.sh $(RELEASE_DIR)/cli/pellmor \
	    $(RELEASE_DIR)/tools/make-sample-game/make-sample-game

# The unit tests against COUNT changed operators (&& for ||, < for <=, a condition negated, ...) picked by SEED:
# how many of them some test notices. Prints each survivor's place and line.
mutants:
	$(call need,build tests)
	scripts/mutants.py $(SEED) $(COUNT) --build-dir $(MUTANTS_DIR) --jobs $(JOBS)

tsan: deps
	$(CMAKE) -S . -B $(TSAN_DIR) $(TSAN_CONFIG)
	$(CMAKE) --build $(TSAN_DIR) -j $(JOBS) --target pellmor_tests
	TSAN_OPTIONS="halt_on_error=1 abort_on_error=1 $(TSAN_OPTIONS)" \
	    $(TSAN_DIR)/tests/pellmor_tests --gtest_filter='$(TSAN_TESTS)'

# The first run after a checkout: the command-line tool built for speed (no sanitizers, no tests), a sample game
# made once and kept, and one shrink. A sample left shrunk by an earlier demo is restored first; the engine keeps
# the shrunk archive then, so the shrink that follows only swaps files.
demo:
	$(call need,build)
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

# The programs and the files that go with them, built for release.
dist-linux:
	$(call need,build windows dist)
	$(CMAKE) -S . -B $(DIST_LINUX_DIR) $(DIST_LINUX_CONFIG)
	$(DIST_EPOCH) $(CMAKE) --build $(DIST_LINUX_DIR) -j $(JOBS) --target release-files

dist-windows:
	$(call need,build windows dist)
	$(CMAKE) -S . -B $(DIST_WIN_DIR) $(DIST_WIN_CONFIG)
	$(DIST_EPOCH) $(CMAKE) --build $(DIST_WIN_DIR) -j $(JOBS) --target PellmorWin pellmor

dist: dist-linux dist-windows
	$(DIST_EPOCH) packaging/make-dist.sh $(DIST_LINUX_DIR) $(DIST_WIN_DIR) $(DIST_DIR)

# `sudo make install` after a user's `make dist-linux`: root installs what the user built as it is, since a build
# by root would leave files of root's in the user's build folder; root's own folder (or none yet) is built first.
# The install's list of what it installed (install_manifest.txt) goes to the folder's owner too.
install:
	@if [ -d $(DIST_LINUX_DIR) ] && [ "$$(stat -c %u $(DIST_LINUX_DIR))" != "$$(id -u)" ]; then \
	    test -f $(DIST_LINUX_DIR)/packaging/pellmor.1.gz || \
	        { echo "install: $(DIST_LINUX_DIR) is not built; run make dist-linux as its owner first"; exit 1; }; \
	    echo "install: installing $(DIST_LINUX_DIR) as its owner built it"; \
	else \
	    $(MAKE) --no-print-directory dist-linux; \
	fi
	DESTDIR="$(DESTDIR)" $(CMAKE) --install $(DIST_LINUX_DIR) --prefix "$(PREFIX)" --strip
	@chown --reference=$(DIST_LINUX_DIR) $(DIST_LINUX_DIR)/install_manifest.txt

# Removes what `make install` would install now: the install rules tried in an empty folder give the list.
uninstall:
	@test -f $(DIST_LINUX_DIR)/cmake_install.cmake || { echo "uninstall: no $(DIST_LINUX_DIR); nothing was installed from it"; exit 1; }
	@set -e; list=$$(mktemp -d); \
	DESTDIR="$$list" $(CMAKE) --install $(DIST_LINUX_DIR) --prefix "$(PREFIX)" >/dev/null; \
	chown --reference=$(DIST_LINUX_DIR) $(DIST_LINUX_DIR)/install_manifest.txt; \
	(cd "$$list" && find . ! -type d) | while read -r file; do rm -fv "$(DESTDIR)$${file#.}"; done; \
	rm -rf "$$list"

# The Wine prefixes survive `clean`: making one again costs a quarter of a minute.
clean:
	rm -rf $(BUILD_DIR) $(RELEASE_DIR) $(TSAN_DIR) $(MUTANTS_DIR) $(FUZZ_DIR) $(DIST_LINUX_DIR) $(DIST_WIN_DIR) $(DIST_DIR)
	if [ -d $(WIN_BUILD_DIR) ]; then \
	    find $(WIN_BUILD_DIR) -mindepth 1 -maxdepth 1 ! -name wineprefix ! -name wineprefix.lock \
	        ! -name wineprefix-gui ! -name wineprefix-gui.lock -exec rm -rf {} +; \
	fi

distclean:
	rm -rf $(BUILD_DIR) $(WIN_BUILD_DIR) $(RELEASE_DIR) $(TSAN_DIR) $(MUTANTS_DIR) $(FUZZ_DIR) $(DIST_LINUX_DIR) $(DIST_WIN_DIR) \
	    $(DIST_DIR)
