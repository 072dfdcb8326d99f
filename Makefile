# Native build (sanitizers) in build/, Windows cross build in build-win/.
#   make deps      install missing Debian packages
#   make native    build/ with AddressSanitizer and UndefinedBehaviorSanitizer
#   make windows   build-win/ with mingw-w64, static .exe files
#   make test      both builds, then both suites (Windows under Wine), and a summary

JOBS          ?= 2
BUILD_DIR     ?= build
WIN_BUILD_DIR ?= build-win
CMAKE         ?= cmake

NATIVE_CONFIG = -DCMAKE_BUILD_TYPE=Debug \
                -DCMAKE_C_FLAGS_DEBUG="-O1 -g" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
                -DPELLMOR_SANITIZE=ON $(WERROR_CONFIG)

WIN_CONFIG    = -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake \
                -DCMAKE_BUILD_TYPE=Release \
                -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
                $(WERROR_CONFIG)

# CMake picks -Werror from CI only when it first makes a build folder; say it on
# every configure so that an older folder follows too.
WERROR_CONFIG = $(if $(CI),-DPELLMOR_WERROR=ON)

export BUILD_DIR WIN_BUILD_DIR

.PHONY: all deps native windows test test-native test-windows clean distclean

all: native windows

deps:
	@scripts/need-deps.sh >/dev/null 2>&1 || scripts/install-deps.sh

native: deps
	$(CMAKE) -S . -B $(BUILD_DIR) $(NATIVE_CONFIG)
	$(CMAKE) --build $(BUILD_DIR) -j $(JOBS)

windows: deps
	$(CMAKE) -S . -B $(WIN_BUILD_DIR) $(WIN_CONFIG)
	$(CMAKE) --build $(WIN_BUILD_DIR) -j $(JOBS)

# A failed build does not stop the other suite; run-tests.sh counts it as a failure.
test: deps
	@native=ok; $(MAKE) --no-print-directory native || native=failed; \
	windows=ok; $(MAKE) --no-print-directory windows || windows=failed; \
	scripts/run-tests.sh --native $$native --windows $$windows

test-native: native
	@scripts/run-tests.sh --native ok

test-windows: windows
	@scripts/run-tests.sh --windows ok

# The Wine prefix survives `clean`: making it again costs a quarter of a minute.
clean:
	rm -rf $(BUILD_DIR)
	if [ -d $(WIN_BUILD_DIR) ]; then \
	    find $(WIN_BUILD_DIR) -mindepth 1 -maxdepth 1 ! -name wineprefix ! -name wineprefix.lock -exec rm -rf {} +; \
	fi

distclean:
	rm -rf $(BUILD_DIR) $(WIN_BUILD_DIR)
