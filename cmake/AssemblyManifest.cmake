# The assembly manifest for side-by-side use of quarnver.dll (registration-free
# COM): <build>/kit/quarnver.manifest, for the build's processor architecture.
# An application that names the assembly "quarnver" in a <dependency> of its
# own manifest, with quarnver.dll and quarnver.manifest in its folder, creates
# both classes and finds the type library with nothing registered.
#
# It is written at build time from the registry scripts and the IDL
# (cmake/AssemblyManifestGen.cmake), so the classes cannot drift apart.
set(QUARN_ASSEMBLY_MANIFEST ${QUARN_KIT_DIR}/quarnver.manifest)
# Assembly versions have four parts.
set(QUARN_ASSEMBLY_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QUARN_ASSEMBLY_ARCH amd64)
else()
    set(QUARN_ASSEMBLY_ARCH x86)
endif()
set(quarn_manifest_sources
    ${CMAKE_SOURCE_DIR}/resources/quarn5logon.rgs
    ${CMAKE_SOURCE_DIR}/resources/quarn5about.rgs)
list(JOIN quarn_manifest_sources "$<SEMICOLON>" quarn_manifest_rgs_argument)
add_custom_command(
    OUTPUT ${QUARN_ASSEMBLY_MANIFEST}
    COMMAND ${CMAKE_COMMAND} "-DRGS_FILES=${quarn_manifest_rgs_argument}"
            -DIDL=${CMAKE_SOURCE_DIR}/resources/quarnver.idl
            -DNAME=quarnver -DVERSION=${QUARN_ASSEMBLY_VERSION} -DARCH=${QUARN_ASSEMBLY_ARCH}
            -DDLL=quarnver.dll -DOUTPUT=${QUARN_ASSEMBLY_MANIFEST}
            -P ${CMAKE_SOURCE_DIR}/cmake/AssemblyManifestGen.cmake
    DEPENDS ${quarn_manifest_sources} ${CMAKE_SOURCE_DIR}/resources/quarnver.idl
            ${CMAKE_SOURCE_DIR}/cmake/AssemblyManifestGen.cmake
    COMMENT "assembly manifest ${QUARN_ASSEMBLY_MANIFEST}"
    VERBATIM)

# The application manifest of the side-by-side sample, naming this version.
set(QUARN_SAMPLE_APP_MANIFEST ${CMAKE_BINARY_DIR}/samples/side_by_side.exe.manifest)
configure_file(${CMAKE_SOURCE_DIR}/samples/cpp/side_by_side.exe.manifest.in ${QUARN_SAMPLE_APP_MANIFEST} @ONLY)
