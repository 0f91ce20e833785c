# The assembly manifest for side-by-side use of quarnver.dll (registration-free
# COM): <build>/kit/quarnver.manifest, for the build's processor architecture.
# An application that names the assembly "quarnver" in a <dependency> of its
# own manifest, with quarnver.dll and quarnver.manifest in its folder, creates
# both classes and finds the type library with nothing registered.
#
# It is written at build time from the registry scripts and the type library
# that widl built (cmake/AssemblyManifestGen.cmake), so the classes cannot
# drift apart. The classes are read from the scripts by the library's own
# script parser, built for the build machine as the small tool
# cmake/script_classes.cpp; the type library by cmake/type_library_facts.cpp,
# which picks the interfaces by the library's own rule
# (server/registered_interface.h).
set(QUARN_ASSEMBLY_MANIFEST ${QUARN_KIT_DIR}/quarnver.manifest)
# Assembly versions have four parts.
set(QUARN_ASSEMBLY_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QUARN_ASSEMBLY_ARCH amd64)
else()
    set(QUARN_ASSEMBLY_ARCH x86)
endif()

# The build machine's C++ compiler (scripts/setup installs clang).
find_program(QUARN_HOST_CXX NAMES clang++ g++ c++ REQUIRED)
# quarn_add_host_tool(<path> SOURCES <file>... HEADERS <file>...): a small
# program of the build, built for the build machine.
function(quarn_add_host_tool tool)
    cmake_parse_arguments(H "" "" "SOURCES;HEADERS" ${ARGN})
    add_custom_command(
        OUTPUT ${tool}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
        COMMAND ${QUARN_HOST_CXX} -std=c++17 -O1 -I${CMAKE_SOURCE_DIR} ${H_SOURCES} -o ${tool}
        DEPENDS ${H_SOURCES} ${H_HEADERS}
        COMMENT "host tool ${tool}"
        VERBATIM)
endfunction()

set(QUARN_SCRIPT_CLASSES ${CMAKE_BINARY_DIR}/host/script_classes)
quarn_add_host_tool(${QUARN_SCRIPT_CLASSES}
    SOURCES ${CMAKE_SOURCE_DIR}/cmake/script_classes.cpp ${CMAKE_SOURCE_DIR}/server/script_text.cpp
            ${CMAKE_SOURCE_DIR}/server/script_tree.cpp
    HEADERS ${CMAKE_SOURCE_DIR}/server/script_text.h ${CMAKE_SOURCE_DIR}/server/script_tree.h)

# The build machine's reader of the type library; the installer's rows for the
# type library and its interfaces come from it too.
set(QUARN_TYPE_LIBRARY_FACTS ${CMAKE_BINARY_DIR}/host/type_library_facts)
quarn_add_host_tool(${QUARN_TYPE_LIBRARY_FACTS} SOURCES ${CMAKE_SOURCE_DIR}/cmake/type_library_facts.cpp
                    HEADERS ${CMAKE_SOURCE_DIR}/server/registered_interface.h)
set(QUARN_TYPE_LIBRARY ${QUARN_GEN_DIR}/quarnver.tlb)
set(quarn_manifest_library ${CMAKE_BINARY_DIR}/host/manifest_type_library.txt)
add_custom_command(
    OUTPUT ${quarn_manifest_library}
    COMMAND ${QUARN_TYPE_LIBRARY_FACTS} ${quarn_manifest_library} ${QUARN_TYPE_LIBRARY}
    DEPENDS ${QUARN_TYPE_LIBRARY_FACTS} ${QUARN_TYPE_LIBRARY}
    COMMENT "classes and interfaces of the type library"
    VERBATIM)

# The registry scripts of both classes; the installer's rows come from them too.
set(QUARN_REGISTRY_SCRIPTS
    ${CMAKE_SOURCE_DIR}/resources/quarn5logon.rgs
    ${CMAKE_SOURCE_DIR}/resources/quarn5about.rgs)
set(quarn_manifest_classes ${CMAKE_BINARY_DIR}/host/manifest_classes.txt)
add_custom_command(
    OUTPUT ${quarn_manifest_classes}
    COMMAND ${QUARN_SCRIPT_CLASSES} ${quarn_manifest_classes} ${QUARN_REGISTRY_SCRIPTS}
    DEPENDS ${QUARN_SCRIPT_CLASSES} ${QUARN_REGISTRY_SCRIPTS}
    COMMENT "classes of the registry scripts"
    VERBATIM)
add_custom_command(
    OUTPUT ${QUARN_ASSEMBLY_MANIFEST}
    COMMAND ${CMAKE_COMMAND} -DCLASSES=${quarn_manifest_classes} -DLIBRARY=${quarn_manifest_library}
            -DNAME=quarnver -DVERSION=${QUARN_ASSEMBLY_VERSION} -DARCH=${QUARN_ASSEMBLY_ARCH}
            -DDLL=quarnver.dll -DOUTPUT=${QUARN_ASSEMBLY_MANIFEST}
            -P ${CMAKE_SOURCE_DIR}/cmake/AssemblyManifestGen.cmake
    DEPENDS ${quarn_manifest_classes} ${quarn_manifest_library} ${CMAKE_SOURCE_DIR}/cmake/AssemblyManifestGen.cmake
    COMMENT "assembly manifest ${QUARN_ASSEMBLY_MANIFEST}"
    VERBATIM)

# The application manifest of the side-by-side sample, naming this version.
set(QUARN_SAMPLE_APP_MANIFEST ${CMAKE_BINARY_DIR}/samples/side_by_side.exe.manifest)
configure_file(${CMAKE_SOURCE_DIR}/samples/cpp/side_by_side.exe.manifest.in ${QUARN_SAMPLE_APP_MANIFEST} @ONLY)
