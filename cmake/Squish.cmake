# libsquish, the DXT1/DXT3 block coder, as the target squish::squish.
#
# Linux: Debian's libsquish-dev. Its library runs CompressImage and DecompressImage as OpenMP loops, so the
# target also links libgomp and defines PELLMOR_SQUISH_OPENMP=1; FTextureUtil then keeps each call to one thread.
#
# Windows (mingw-w64 cross build): the same Debian version, fetched with `apt-get source` (which applies
# Debian's patches) into <build>/third_party/ at configure time and compiled here as a static library: plain
# -O2, no SSE or Altivec paths, no -march, no OpenMP. Debian's amd64 build uses the portable float path too
# (USE_SSE is 0 in its make config), so both builds give the same blocks for the same pixels.
# The sources stay in the build tree; none are kept in the repository.
#
# PELLMOR_SQUISH_FROM_SOURCE builds it the Windows way on Linux too: the fuzzing build does, so that the coder's
# reads of our pixels are checked by the sanitizers like the rest of the code.

if(TARGET squish::squish)
    return()
endif()

option(PELLMOR_SQUISH_FROM_SOURCE "Build libsquish from Debian's source package on every system" OFF)

if(CMAKE_SYSTEM_NAME STREQUAL "Windows" OR PELLMOR_SQUISH_FROM_SOURCE)
    set(PELLMOR_SQUISH_ROOT ${CMAKE_BINARY_DIR}/third_party)
    set(PELLMOR_SQUISH_STAMP ${PELLMOR_SQUISH_ROOT}/libsquish.source)

    # The version to fetch: the one of the native package when it is installed, so both builds match.
    set(PELLMOR_SQUISH_PACKAGE libsquish)
    execute_process(COMMAND dpkg-query -W -f=\${Version} libsquish-dev
                    OUTPUT_VARIABLE PELLMOR_SQUISH_DEB_VERSION
                    RESULT_VARIABLE PELLMOR_SQUISH_QUERY_RESULT
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(PELLMOR_SQUISH_QUERY_RESULT EQUAL 0 AND PELLMOR_SQUISH_DEB_VERSION)
        set(PELLMOR_SQUISH_PACKAGE libsquish=${PELLMOR_SQUISH_DEB_VERSION})
    endif()

    # The stamp names the unpacked directory; it is written only after a complete fetch, so an interrupted
    # one is simply made again.
    set(PELLMOR_SQUISH_SOURCE_DIR "")
    if(EXISTS ${PELLMOR_SQUISH_STAMP})
        file(READ ${PELLMOR_SQUISH_STAMP} PELLMOR_SQUISH_STAMP_TEXT)
        string(STRIP "${PELLMOR_SQUISH_STAMP_TEXT}" PELLMOR_SQUISH_STAMP_TEXT)
        list(LENGTH PELLMOR_SQUISH_STAMP_TEXT PELLMOR_SQUISH_STAMP_FIELDS)
        if(PELLMOR_SQUISH_STAMP_FIELDS EQUAL 2)
            list(GET PELLMOR_SQUISH_STAMP_TEXT 0 PELLMOR_SQUISH_STAMP_PACKAGE)
            list(GET PELLMOR_SQUISH_STAMP_TEXT 1 PELLMOR_SQUISH_STAMP_DIR)
            if(PELLMOR_SQUISH_STAMP_PACKAGE STREQUAL PELLMOR_SQUISH_PACKAGE
               AND EXISTS ${PELLMOR_SQUISH_STAMP_DIR}/squish.cpp)
                set(PELLMOR_SQUISH_SOURCE_DIR ${PELLMOR_SQUISH_STAMP_DIR})
            endif()
        endif()
    endif()

    if(NOT PELLMOR_SQUISH_SOURCE_DIR)
        find_program(PELLMOR_APT_GET apt-get)
        find_program(PELLMOR_DPKG_SOURCE dpkg-source)
        if(NOT PELLMOR_APT_GET OR NOT PELLMOR_DPKG_SOURCE)
            message(FATAL_ERROR "The Windows build compiles libsquish from Debian's source package and needs "
                                "apt-get and dpkg-source (package dpkg-dev): run scripts/install-deps.sh")
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
    # Third-party code: its own flags only. The project's warnings (and -Werror) are replaced by -w, and the
    # trailing -O2 wins over the build type's optimisation level.
    set_target_properties(pellmor_squish PROPERTIES COMPILE_OPTIONS "-w;-O2" CXX_EXTENSIONS ON)
    target_compile_definitions(pellmor_squish PRIVATE SQUISH_USE_SSE=0 SQUISH_USE_ALTIVEC=0)
    target_include_directories(pellmor_squish SYSTEM PUBLIC ${PELLMOR_SQUISH_SOURCE_DIR})
    add_library(squish::squish ALIAS pellmor_squish)
else()
    find_path(PELLMOR_SQUISH_INCLUDE_DIR squish.h)
    find_library(PELLMOR_SQUISH_LIBRARY squish)
    if(NOT PELLMOR_SQUISH_INCLUDE_DIR OR NOT PELLMOR_SQUISH_LIBRARY)
        message(FATAL_ERROR "libsquish not found: install libsquish-dev (scripts/install-deps.sh)")
    endif()

    # The compiler's own libgomp: the one Debian's libsquish was linked against. FTextureUtil calls
    # omp_set_num_threads, so it is linked by name rather than only through libsquish's dependencies.
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgomp.so
                    OUTPUT_VARIABLE PELLMOR_GOMP_LIBRARY OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT IS_ABSOLUTE "${PELLMOR_GOMP_LIBRARY}" OR NOT EXISTS "${PELLMOR_GOMP_LIBRARY}")
        set(PELLMOR_GOMP_LIBRARY gomp)
    endif()

    add_library(squish::squish UNKNOWN IMPORTED GLOBAL)
    set_target_properties(squish::squish PROPERTIES
        IMPORTED_LOCATION ${PELLMOR_SQUISH_LIBRARY}
        INTERFACE_INCLUDE_DIRECTORIES ${PELLMOR_SQUISH_INCLUDE_DIR}
        INTERFACE_COMPILE_DEFINITIONS PELLMOR_SQUISH_OPENMP=1
        INTERFACE_LINK_LIBRARIES ${PELLMOR_GOMP_LIBRARY})
endif()
