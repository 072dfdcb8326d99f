# The release's version and copyright as the programs carry them. The version is the project's (the one place
# it is written is project() in CMakeLists.txt); the copyright line is LICENSE's.

file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE PELLMOR_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
if(NOT PELLMOR_COPYRIGHT)
    message(FATAL_ERROR "LICENSE has no Copyright line")
endif()

add_compile_definitions(PELLMOR_VERSION="${PROJECT_VERSION}")

# The numbers of the resource's fixed version, which the resource compiler reads as C numbers: the release
# 1.03.1 continues the caption's "v1.03", and "03" there would be an octal number ("08" none at all).
foreach(field MAJOR MINOR PATCH)
    math(EXPR PELLMOR_VERSION_${field} "0${PROJECT_VERSION_${field}}")
endforeach()

# pellmor_version_resource(TARGET DESCRIPTION): the Windows program TARGET carries a VERSIONINFO resource with
# the version, DESCRIPTION and the copyright. Nothing on other systems.
function(pellmor_version_resource target description)
    if(NOT WIN32)
        return()
    endif()
    set(PELLMOR_RC_NAME ${target})
    set(PELLMOR_RC_FILE ${target}.exe)
    set(PELLMOR_RC_DESCRIPTION "${description}")
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/VersionInfo.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()
