# The assembly manifest for side-by-side use of quarnver.dll (registration-free
# COM): <build>/kit/quarnver.manifest, for the build's processor architecture.
# An application that names the assembly "quarnver" in a <dependency> of its
# own manifest, with quarnver.dll and quarnver.manifest in its folder, creates
# both classes and finds the type library with nothing registered.
#
# It is written at build time from the registry scripts and the IDL
# (cmake/AssemblyManifestGen.cmake), so the classes cannot drift apart. The
# classes are read from the scripts by the library's own script parser,
# built for the build machine as the small tool cmake/script_classes.cpp.
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
set(quarn_script_classes_sources
    ${CMAKE_SOURCE_DIR}/cmake/script_classes.cpp
    ${CMAKE_SOURCE_DIR}/server/script_text.cpp
    ${CMAKE_SOURCE_DIR}/server/script_tree.cpp)
set(QUARN_SCRIPT_CLASSES ${CMAKE_BINARY_DIR}/host/script_classes)
add_custom_command(
    OUTPUT ${QUARN_SCRIPT_CLASSES}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
    COMMAND ${QUARN_HOST_CXX} -std=c++17 -O1 -I${CMAKE_SOURCE_DIR} ${quarn_script_classes_sources}
            -o ${QUARN_SCRIPT_CLASSES}
    DEPENDS ${quarn_script_classes_sources} ${CMAKE_SOURCE_DIR}/server/script_text.h
            ${CMAKE_SOURCE_DIR}/server/script_tree.h
    COMMENT "host tool ${QUARN_SCRIPT_CLASSES}"
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
    COMMAND ${CMAKE_COMMAND} -DCLASSES=${quarn_manifest_classes}
            -DIDL=${CMAKE_SOURCE_DIR}/resources/quarnver.idl
            -DNAME=quarnver -DVERSION=${QUARN_ASSEMBLY_VERSION} -DARCH=${QUARN_ASSEMBLY_ARCH}
            -DDLL=quarnver.dll -DOUTPUT=${QUARN_ASSEMBLY_MANIFEST}
            -P ${CMAKE_SOURCE_DIR}/cmake/AssemblyManifestGen.cmake
    DEPENDS ${quarn_manifest_classes} ${CMAKE_SOURCE_DIR}/resources/quarnver.idl
            ${CMAKE_SOURCE_DIR}/cmake/AssemblyManifestGen.cmake ${CMAKE_SOURCE_DIR}/cmake/IdlFacts.cmake
    COMMENT "assembly manifest ${QUARN_ASSEMBLY_MANIFEST}"
    VERBATIM)

# The application manifest of the side-by-side sample, naming this version.
set(QUARN_SAMPLE_APP_MANIFEST ${CMAKE_BINARY_DIR}/samples/side_by_side.exe.manifest)
configure_file(${CMAKE_SOURCE_DIR}/samples/cpp/side_by_side.exe.manifest.in ${QUARN_SAMPLE_APP_MANIFEST} @ONLY)
