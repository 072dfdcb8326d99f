# libsquish, the DXT1/DXT3 block coder, as the target squish::squish.
#
# Both systems compile the same sources the same way: Debian's source package, fetched with `apt-get source`
# (which applies Debian's patches) into <build>/third_party/ at configure time, built here as a static library
# with plain -O2: no SSE or Altivec paths, no -march, no OpenMP. Every call then codes on the calling thread,
# the native and the Windows programs run the same code and give the same blocks for the same pixels, and the
# coder's small per-pixel helpers are inlined instead of being reached through a shared library's PLT.
# The sources stay in the build tree; none are kept in the repository.

if(TARGET squish::squish)
    return()
endif()

set(PELLMOR_SQUISH_ROOT ${CMAKE_BINARY_DIR}/third_party)
set(PELLMOR_SQUISH_STAMP ${PELLMOR_SQUISH_ROOT}/libsquish.source)
set(PELLMOR_SQUISH_PACKAGE libsquish)

# The stamp names the unpacked directory; it is written only after a complete fetch, so an interrupted one is
# simply made again.
set(PELLMOR_SQUISH_SOURCE_DIR "")
if(EXISTS ${PELLMOR_SQUISH_STAMP})
    file(READ ${PELLMOR_SQUISH_STAMP} PELLMOR_SQUISH_STAMP_TEXT)
    string(STRIP "${PELLMOR_SQUISH_STAMP_TEXT}" PELLMOR_SQUISH_STAMP_TEXT)
    list(LENGTH PELLMOR_SQUISH_STAMP_TEXT PELLMOR_SQUISH_STAMP_FIELDS)
    if(PELLMOR_SQUISH_STAMP_FIELDS EQUAL 2)
        list(GET PELLMOR_SQUISH_STAMP_TEXT 1 PELLMOR_SQUISH_STAMP_DIR)
        if(EXISTS ${PELLMOR_SQUISH_STAMP_DIR}/squish.cpp)
            set(PELLMOR_SQUISH_SOURCE_DIR ${PELLMOR_SQUISH_STAMP_DIR})
        endif()
    endif()
endif()

if(NOT PELLMOR_SQUISH_SOURCE_DIR)
    find_program(PELLMOR_APT_GET apt-get)
    find_program(PELLMOR_DPKG_SOURCE dpkg-source)
    if(NOT PELLMOR_APT_GET OR NOT PELLMOR_DPKG_SOURCE)
        message(FATAL_ERROR "The build compiles libsquish from Debian's source package and needs apt-get and "
                            "dpkg-source (package dpkg-dev): run scripts/install-deps.sh")
    endif()
    set(PELLMOR_SQUISH_FETCH ${PELLMOR_SQUISH_ROOT}/fetch)
    file(REMOVE_RECURSE ${PELLMOR_SQUISH_FETCH})
    file(MAKE_DIRECTORY ${PELLMOR_SQUISH_FETCH})
    message(STATUS "Fetching ${PELLMOR_SQUISH_PACKAGE} sources into ${PELLMOR_SQUISH_ROOT}")
    execute_process(COMMAND ${PELLMOR_APT_GET} source -q ${PELLMOR_SQUISH_PACKAGE}
                    WORKING_DIRECTORY ${PELLMOR_SQUISH_FETCH}
                    RESULT_VARIABLE PELLMOR_SQUISH_FETCH_RESULT
                    OUTPUT_VARIABLE PELLMOR_SQUISH_FETCH_OUTPUT
                    ERROR_VARIABLE PELLMOR_SQUISH_FETCH_OUTPUT)
    file(GLOB PELLMOR_SQUISH_UNPACKED LIST_DIRECTORIES true ${PELLMOR_SQUISH_FETCH}/libsquish-*)
    list(FILTER PELLMOR_SQUISH_UNPACKED EXCLUDE REGEX "\\.(tar\\..*|dsc|gz|xz)$")
    if(NOT PELLMOR_SQUISH_FETCH_RESULT EQUAL 0 OR NOT PELLMOR_SQUISH_UNPACKED)
        message(FATAL_ERROR "`apt-get source ${PELLMOR_SQUISH_PACKAGE}` failed; it needs a deb-src entry "
                            "for bookworm main (scripts/install-deps.sh adds one):\n"
                            "${PELLMOR_SQUISH_FETCH_OUTPUT}")
    endif()
    list(GET PELLMOR_SQUISH_UNPACKED 0 PELLMOR_SQUISH_UNPACKED_DIR)
    get_filename_component(PELLMOR_SQUISH_DIR_NAME ${PELLMOR_SQUISH_UNPACKED_DIR} NAME)
    set(PELLMOR_SQUISH_SOURCE_DIR ${PELLMOR_SQUISH_ROOT}/${PELLMOR_SQUISH_DIR_NAME})
    file(REMOVE_RECURSE ${PELLMOR_SQUISH_SOURCE_DIR})
    file(RENAME ${PELLMOR_SQUISH_UNPACKED_DIR} ${PELLMOR_SQUISH_SOURCE_DIR})
    file(REMOVE_RECURSE ${PELLMOR_SQUISH_FETCH})
    if(NOT EXISTS ${PELLMOR_SQUISH_SOURCE_DIR}/squish.cpp)
        message(FATAL_ERROR "No squish.cpp in ${PELLMOR_SQUISH_SOURCE_DIR}")
    endif()
    file(WRITE ${PELLMOR_SQUISH_STAMP} "${PELLMOR_SQUISH_PACKAGE};${PELLMOR_SQUISH_SOURCE_DIR}\n")
endif()

set(PELLMOR_SQUISH_SOURCES)
foreach(name alpha clusterfit colourblock colourfit colourset maths rangefit singlecolourfit squish)
    list(APPEND PELLMOR_SQUISH_SOURCES ${PELLMOR_SQUISH_SOURCE_DIR}/${name}.cpp)
endforeach()

add_library(pellmor_squish STATIC ${PELLMOR_SQUISH_SOURCES})
# Third-party code: its own flags only. The project's warnings (and -Werror) and the sanitizers are replaced by
# -w, and the trailing -O2 wins over the build type's optimisation level, so every build folder codes alike.
set_target_properties(pellmor_squish PROPERTIES COMPILE_OPTIONS "-w;-O2" CXX_EXTENSIONS ON)
target_compile_definitions(pellmor_squish PRIVATE SQUISH_USE_SSE=0 SQUISH_USE_ALTIVEC=0)
target_include_directories(pellmor_squish SYSTEM PUBLIC ${PELLMOR_SQUISH_SOURCE_DIR})
add_library(squish::squish ALIAS pellmor_squish)
