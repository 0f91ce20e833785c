# release_package: the release package of this build tree,
# <build>/quarnver-<version>-win32.zip (win64 for the 64-bit tree), for
# developers of client applications. One folder of the same name holds
#   quarnver.dll, quarnver.tlb, quarnver_h.h, quarnver_i.c, libquarnver.a,
#   quarnver.manifest         the client kit (cmake/ClientKit.cmake)
#   README.md                 registering, side-by-side use, the flag word,
#                             the settings (docs/package-readme.md.in)
#   samples/                  the C++, VBScript and JScript samples
# The version is the project's. scripts/package builds both packages.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QUARN_PACKAGE_ARCH win64)
    set(QUARN_PACKAGE_BITS 64)
else()
    set(QUARN_PACKAGE_ARCH win32)
    set(QUARN_PACKAGE_BITS 32)
endif()
set(QUARN_PACKAGE_NAME quarnver-${PROJECT_VERSION}-${QUARN_PACKAGE_ARCH})
set(QUARN_PACKAGE_ZIP ${CMAKE_BINARY_DIR}/${QUARN_PACKAGE_NAME}.zip)
set(quarn_package_root ${CMAKE_BINARY_DIR}/package)
set(quarn_package_dir ${quarn_package_root}/${QUARN_PACKAGE_NAME})
file(MAKE_DIRECTORY ${quarn_package_root})

set(quarn_package_readme ${CMAKE_BINARY_DIR}/package-readme/README.md)
configure_file(${CMAKE_SOURCE_DIR}/docs/package-readme.md.in ${quarn_package_readme} @ONLY)

set(quarn_package_kit
    ${QUARN_KIT_DIR}/quarnver.dll ${QUARN_KIT_DIR}/quarnver.tlb ${QUARN_KIT_DIR}/quarnver_h.h
    ${QUARN_KIT_DIR}/quarnver_i.c ${QUARN_KIT_DIR}/libquarnver.a ${QUARN_ASSEMBLY_MANIFEST}
    ${quarn_package_readme})
set(quarn_package_cpp
    ${CMAKE_SOURCE_DIR}/samples/cpp/logon_and_about.cpp ${CMAKE_SOURCE_DIR}/samples/cpp/side_by_side.cpp
    ${QUARN_SAMPLE_APP_MANIFEST})
set(quarn_package_vbscript ${CMAKE_SOURCE_DIR}/samples/vbscript/logon_and_about.vbs)
set(quarn_package_jscript ${CMAKE_SOURCE_DIR}/samples/jscript/logon_and_about.js)

add_custom_command(
    OUTPUT ${QUARN_PACKAGE_ZIP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${quarn_package_dir} ${QUARN_PACKAGE_ZIP}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${quarn_package_dir}/samples/cpp
            ${quarn_package_dir}/samples/vbscript ${quarn_package_dir}/samples/jscript
    COMMAND ${CMAKE_COMMAND} -E copy ${quarn_package_kit} ${quarn_package_dir}
    COMMAND ${CMAKE_COMMAND} -E copy ${quarn_package_cpp} ${quarn_package_dir}/samples/cpp
    COMMAND ${CMAKE_COMMAND} -E copy ${quarn_package_vbscript} ${quarn_package_dir}/samples/vbscript
    COMMAND ${CMAKE_COMMAND} -E copy ${quarn_package_jscript} ${quarn_package_dir}/samples/jscript
    COMMAND ${CMAKE_COMMAND} -E tar cf ${QUARN_PACKAGE_ZIP} --format=zip ${QUARN_PACKAGE_NAME}
    DEPENDS client_kit ${quarn_package_kit} ${quarn_package_cpp} ${quarn_package_vbscript}
            ${quarn_package_jscript}
    WORKING_DIRECTORY ${quarn_package_root}
    COMMENT "release package ${QUARN_PACKAGE_ZIP}"
    VERBATIM)
add_custom_target(release_package DEPENDS ${QUARN_PACKAGE_ZIP})
