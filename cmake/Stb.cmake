# stb from Debian's libstb-dev (header only): PELLMOR_STB_DIR, the folder of its headers, and stb_dxt's block
# encoder as the target stb::dxt.
#
# Only stb's own folder goes on the include path, so that the Windows build sees no other header of /usr/include.
# stb_dxt's code is compiled once, in a file of the build tree that defines STB_DXT_IMPLEMENTATION, with its own
# flags as libsquish is (cmake/Squish.cmake): -O2, no warnings and no sanitizers, the same for every build folder.

if(TARGET stb::dxt)
    return()
endif()

set(PELLMOR_STB_DIR /usr/include/stb CACHE PATH "The folder of stb's headers (libstb-dev)")
foreach(header stb_image_write.h stb_dxt.h)
    if(NOT EXISTS ${PELLMOR_STB_DIR}/${header})
        message(FATAL_ERROR "No ${header} in ${PELLMOR_STB_DIR}: install libstb-dev (make deps)")
    endif()
endforeach()

set(PELLMOR_STB_DXT_SOURCE ${CMAKE_BINARY_DIR}/third_party/stb_dxt.c)
file(CONFIGURE OUTPUT ${PELLMOR_STB_DXT_SOURCE}
     CONTENT "#define STB_DXT_IMPLEMENTATION\n#include <stb_dxt.h>\n")
add_library(pellmor_stb_dxt STATIC ${PELLMOR_STB_DXT_SOURCE})
set_target_properties(pellmor_stb_dxt PROPERTIES COMPILE_OPTIONS "-w;-O2")
target_include_directories(pellmor_stb_dxt SYSTEM PUBLIC ${PELLMOR_STB_DIR})
add_library(stb::dxt ALIAS pellmor_stb_dxt)
