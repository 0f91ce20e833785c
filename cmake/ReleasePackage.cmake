# release_package: the release packages of this build tree, for developers of
# client applications (win64 for the 64-bit tree):
#
# <build>/quarnver-<version>-win32.zip, one folder of the same name with
#   quarnver.dll              the library the test suite ran, Authenticode-signed
#                             (cmake/SignFile.cmake)
#   quarnver.tlb, quarnver_h.h, quarnver_i.c, libquarnver.a,
#   quarnver.manifest         the client kit (cmake/ClientKit.cmake)
#   libquarnver_identifiers.a the identifiers of quarnver_i.c, compiled
#   cmake/                    quarnverConfig.cmake, quarnverConfigVersion.cmake:
#                             find_package(quarnver 1.0 CONFIG) and quarnver::quarnver
#   README.md                 registering, side-by-side use, CMake, the flag
#                             word, the settings (docs/package-readme.md.in)
#   samples/                  the C++, VBScript and JScript samples
#   quarnver.spdx.json        its SPDX 2.3 bill of materials (cmake/PackageManifest.cmake)
#   msi/quarnver.wxs          the Windows Installer fragment for the product's
#                             own installers (cmake/Installer.cmake)
#   SHA256SUMS                the SHA-256 of every other file
# <build>/quarnver-<version>-win32-symbols.zip: quarnver.dll.debug, the DWARF
#   symbols of that DLL (cmake/SplitSymbols.cmake), and its SHA256SUMS.
# <build>/quarnver-<version>-win32.msi: the Windows Installer package of that
#   DLL (cmake/Installer.cmake).
#
# The package's folder is the install() tree of this project
# (cmake --install <build> --prefix <folder> gives the same files unsigned).
# The archives are reproducible: entries in sorted order, every time
# QUARN_SOURCE_DATE_EPOCH, no other attributes than the file modes.
# The version is the project's. scripts/package builds both bitnesses.
#
# A release signs with the key and time-stamping server that the environment
# names (cmake/SignFile.cmake) and refuses to sign without them. A test build
# asks for a throwaway certificate with QUARN_TEST_SIGNING; its packages are
# named quarnver-<version>-win32-TEST-SIGNED..., never like a release.
option(QUARN_TEST_SIGNING "Sign the packages with a throwaway certificate, for tests: no release" OFF)
set(QUARN_PACKAGE_SUFFIX "")
if(QUARN_TEST_SIGNING)
    set(QUARN_PACKAGE_SUFFIX -TEST-SIGNED)
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QUARN_PACKAGE_ARCH win64)
    set(QUARN_PACKAGE_BITS 64)
else()
    set(QUARN_PACKAGE_ARCH win32)
    set(QUARN_PACKAGE_BITS 32)
endif()
set(QUARN_PACKAGE_NAME quarnver-${PROJECT_VERSION}-${QUARN_PACKAGE_ARCH}${QUARN_PACKAGE_SUFFIX})
set(QUARN_SYMBOLS_NAME ${QUARN_PACKAGE_NAME}-symbols)
set(QUARN_PACKAGE_ZIP ${CMAKE_BINARY_DIR}/${QUARN_PACKAGE_NAME}.zip)
set(QUARN_SYMBOLS_ZIP ${CMAKE_BINARY_DIR}/${QUARN_SYMBOLS_NAME}.zip)
set(quarn_package_root ${CMAKE_BINARY_DIR}/package)
set(quarn_package_dir ${quarn_package_root}/${QUARN_PACKAGE_NAME})
set(QUARN_PACKAGE_DIR ${quarn_package_dir})
set(QUARN_MSI ${CMAKE_BINARY_DIR}/${QUARN_PACKAGE_NAME}.msi)
set(QUARN_INSTALLER_FRAGMENT ${CMAKE_BINARY_DIR}/msi/quarnver.wxs)
set(quarn_symbols_dir ${quarn_package_root}/${QUARN_SYMBOLS_NAME})
file(MAKE_DIRECTORY ${quarn_package_root})

# --- What the package holds: the install() tree --------------------------------
set(quarn_package_readme ${CMAKE_BINARY_DIR}/package-readme/README.md)
configure_file(${CMAKE_SOURCE_DIR}/docs/package-readme.md.in ${quarn_package_readme} @ONLY)
set(quarn_package_config ${CMAKE_BINARY_DIR}/package-config)
configure_file(${CMAKE_SOURCE_DIR}/cmake/quarnverConfig.cmake.in ${quarn_package_config}/quarnverConfig.cmake @ONLY)
include(CMakePackageConfigHelpers)
# Also records the bitness: a 64-bit project does not accept the 32-bit package.
write_basic_package_version_file(${quarn_package_config}/quarnverConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)

set(quarn_package_kit
    ${QUARN_KIT_DIR}/quarnver.dll ${QUARN_KIT_DIR}/quarnver.tlb ${QUARN_KIT_DIR}/quarnver_h.h
    ${QUARN_KIT_DIR}/quarnver_i.c ${QUARN_KIT_DIR}/libquarnver.a ${QUARN_ASSEMBLY_MANIFEST}
    ${quarn_package_readme})
set(quarn_package_cpp
    ${CMAKE_SOURCE_DIR}/samples/cpp/logon_and_about.cpp ${CMAKE_SOURCE_DIR}/samples/cpp/side_by_side.cpp
    ${QUARN_SAMPLE_APP_MANIFEST})
set(quarn_package_vbscript ${CMAKE_SOURCE_DIR}/samples/vbscript/logon_and_about.vbs)
set(quarn_package_jscript ${CMAKE_SOURCE_DIR}/samples/jscript/logon_and_about.js)
install(FILES ${quarn_package_kit} DESTINATION .)
install(FILES $<TARGET_FILE:quarnver_interfaces> DESTINATION . RENAME libquarnver_identifiers.a)
install(FILES ${quarn_package_config}/quarnverConfig.cmake ${quarn_package_config}/quarnverConfigVersion.cmake
        DESTINATION cmake)
install(FILES ${quarn_package_cpp} DESTINATION samples/cpp)
install(FILES ${quarn_package_vbscript} DESTINATION samples/vbscript)
install(FILES ${quarn_package_jscript} DESTINATION samples/jscript)
# The Group Policy templates of the logon's password policies.
install(FILES ${CMAKE_SOURCE_DIR}/policies/quarnver.admx DESTINATION policies)
install(FILES ${CMAKE_SOURCE_DIR}/policies/en-US/quarnver.adml DESTINATION policies/en-US)
install(FILES ${CMAKE_SOURCE_DIR}/policies/ru-RU/quarnver.adml DESTINATION policies/ru-RU)
install(FILES ${QUARN_INSTALLER_FRAGMENT} DESTINATION msi)

# --- What is linked in statically, for the bill of materials -------------------
# Each component: the files the compiler links for it, the Debian package that
# owns them, its version, and the licence its copyright file states.
set(quarn_components stdcxx gcc winpthreads crt)
set(quarn_stdcxx_name libstdc++)
set(quarn_stdcxx_files libstdc++.a)
set(quarn_stdcxx_licence "GPL-3.0-or-later WITH GCC-exception-3.1")
set(quarn_gcc_name libgcc)
set(quarn_gcc_files libgcc.a libgcc_eh.a)
set(quarn_gcc_licence "GPL-3.0-or-later WITH GCC-exception-3.1")
set(quarn_winpthreads_name winpthreads)
set(quarn_winpthreads_files libpthread.a)
set(quarn_winpthreads_licence "MIT AND BSD-3-Clause")
set(quarn_crt_name mingw-w64-crt)
set(quarn_crt_files dllcrt2.o libmingw32.a libmingwex.a libmsvcrt.a)
set(quarn_crt_licence "ZPL-2.1")
set(quarn_components_text "set(QUARN_COMPONENTS ${quarn_components})\n")
foreach(component IN LISTS quarn_components)
    set(paths "")
    set(debian "")
    foreach(file IN LISTS quarn_${component}_files)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${file}
                        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
        get_filename_component(path ${path} REALPATH)
        list(APPEND paths ${path})
        execute_process(COMMAND dpkg -S ${path} OUTPUT_VARIABLE owner ERROR_QUIET)
        string(REGEX REPLACE ":.*" "" owner "${owner}")
        if(owner AND NOT debian)
            set(debian ${owner})
        endif()
    endforeach()
    list(JOIN paths ", " paths_text)
    set(version NOASSERTION)
    set(source NOASSERTION)
    set(arch all)
    if(debian)
        execute_process(COMMAND dpkg-query -W -f=\${Version}|\${source:Package}|\${Architecture} ${debian}
                        OUTPUT_VARIABLE fields ERROR_QUIET)
        string(REPLACE "|" ";" fields "${fields}")
        list(LENGTH fields count)
        if(count EQUAL 3)
            list(GET fields 0 version)
            list(GET fields 1 source)
            list(GET fields 2 arch)
        endif()
    else()
        set(debian NOASSERTION)
    endif()
    string(APPEND quarn_components_text
        "set(QUARN_COMPONENT_${component}_NAME \"${quarn_${component}_name}\")\n"
        "set(QUARN_COMPONENT_${component}_FILES \"${paths_text}\")\n"
        "set(QUARN_COMPONENT_${component}_DEBIAN \"${debian}\")\n"
        "set(QUARN_COMPONENT_${component}_VERSION \"${version}\")\n"
        "set(QUARN_COMPONENT_${component}_SOURCE \"${source}\")\n"
        "set(QUARN_COMPONENT_${component}_ARCH \"${arch}\")\n"
        "set(QUARN_COMPONENT_${component}_LICENCE \"${quarn_${component}_licence}\")\n")
endforeach()
set(quarn_components_file ${CMAKE_BINARY_DIR}/package-components.cmake)
file(CONFIGURE OUTPUT ${quarn_components_file} CONTENT "${quarn_components_text}")

# --- The packages ---------------------------------------------------------------
find_program(QUARN_ZIP zip REQUIRED)
set(quarn_zip_args -X -D -q -@)  # no extra attributes, no folder entries; names from stdin
add_custom_command(
    OUTPUT ${QUARN_PACKAGE_ZIP} ${QUARN_SYMBOLS_ZIP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${quarn_package_dir} ${quarn_symbols_dir} ${QUARN_PACKAGE_ZIP}
            ${QUARN_SYMBOLS_ZIP}
    COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${quarn_package_dir}
    COMMAND ${CMAKE_COMMAND} -DFILE=${quarn_package_dir}/quarnver.dll -DWORK=${CMAKE_BINARY_DIR}/signing
            -DBUDGET=$<TARGET_PROPERTY:quarnver,QUARN_SIZE_BUDGET> -DFRESH=ON -DTEST_SIGNING=${QUARN_TEST_SIGNING}
            "-DDESCRIPTION=QUARN 5 Common User Interface ${PROJECT_VERSION}" -P ${CMAKE_SOURCE_DIR}/cmake/SignFile.cmake
    COMMAND ${CMAKE_COMMAND} -DDIR=${quarn_package_dir} -DVERSION=${PROJECT_VERSION}
            -DCREATED=${QUARN_SOURCE_DATE_ISO} -DSBOM=quarnver.spdx.json -DBINARY=quarnver.dll
            -DCOMPONENTS=${quarn_components_file} -P ${CMAKE_SOURCE_DIR}/cmake/PackageManifest.cmake
    COMMAND ${CMAKE_COMMAND} -E make_directory ${quarn_symbols_dir}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quarnver>.debug ${quarn_symbols_dir}
    COMMAND ${CMAKE_COMMAND} -DDIR=${quarn_symbols_dir} -P ${CMAKE_SOURCE_DIR}/cmake/PackageManifest.cmake
    COMMAND find ${QUARN_PACKAGE_NAME} ${QUARN_SYMBOLS_NAME} -exec touch -h -d @${QUARN_SOURCE_DATE_EPOCH} {} +
    COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${QUARN_ZIP} ${quarn_zip_args} ${QUARN_PACKAGE_ZIP}
            < ${QUARN_PACKAGE_NAME}.files
    COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${QUARN_ZIP} ${quarn_zip_args} ${QUARN_SYMBOLS_ZIP}
            < ${QUARN_SYMBOLS_NAME}.files
    DEPENDS client_kit quarnver quarnver_interfaces ${quarn_package_kit} ${quarn_package_cpp}
            ${quarn_package_vbscript} ${quarn_package_jscript} ${quarn_package_config}/quarnverConfig.cmake
            ${CMAKE_SOURCE_DIR}/cmake/SignFile.cmake ${CMAKE_SOURCE_DIR}/cmake/PackageManifest.cmake
            ${QUARN_INSTALLER_FRAGMENT}
    WORKING_DIRECTORY ${quarn_package_root}
    COMMENT "release packages ${QUARN_PACKAGE_NAME}.zip and ${QUARN_SYMBOLS_NAME}.zip"
    VERBATIM)
add_custom_target(release_package DEPENDS ${QUARN_PACKAGE_ZIP} ${QUARN_SYMBOLS_ZIP} ${QUARN_MSI})
