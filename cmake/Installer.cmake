# The Windows Installer package of this build tree, beside its release zip:
#   <build>/quarnver-<version>-win32.msi (win64 for the 64-bit tree)
# and msi/quarnver.wxs, the fragment it is built from, which the zip ships
# for the product's own installers.
#
# The package installs quarnver.dll per machine into
# [CommonFilesFolder]Velmora\QUARN 5\ ([CommonFiles64Folder] for 64-bit) and
# registers it through rows of its Registry table: no self-registration. The
# rows are generated from what the library itself registers from: the
# registry scripts, read by the library's own script parser built for the
# build machine (cmake/script_classes.cpp --rows), and the type library that
# widl built, read by cmake/type_library_facts.cpp --rows with the library's
# rule for Interface keys (cmake/InstallerSourceGen.cmake).
# cmake/BuildMsi.cmake builds and signs it from the signed DLL of the release
# package, reproducibly.
set(QUARN_INSTALLER_DIR ${CMAKE_BINARY_DIR}/msi)
if(QUARN_PACKAGE_BITS EQUAL 64)
    set(QUARN_MSI_ARCH x64)
    set(QUARN_MSI_UPGRADE_CODE E424F2D5-3DB9-45A0-9851-6BCFC0AF8A56)
else()
    set(QUARN_MSI_ARCH x86)
    set(QUARN_MSI_UPGRADE_CODE AB5DFB84-259F-4A9F-A3C1-761B7688401D)
endif()
set(QUARN_MSI_PRODUCT "QUARN 5 Common User Interface (${QUARN_PACKAGE_BITS}-bit)")
set(QUARN_MSI_FILE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
# The File row's Language: the language of the DLL's version resource (its
# Translation), in decimal. A versioned file without one is reinstalled by
# every repair (ICE60).
file(STRINGS ${CMAKE_SOURCE_DIR}/resources/version.rc.in quarn_translation REGEX "\"Translation\"")
if(NOT quarn_translation MATCHES "\"Translation\", *(0x[0-9A-Fa-f]+) *,")
    message(FATAL_ERROR "resources/version.rc.in names no language in its Translation")
endif()
math(EXPR QUARN_MSI_FILE_LANGUAGE "${CMAKE_MATCH_1}" OUTPUT_FORMAT DECIMAL)

set(quarn_installer_rows ${CMAKE_BINARY_DIR}/host/registry_rows.txt)
add_custom_command(
    OUTPUT ${quarn_installer_rows}
    COMMAND ${QUARN_SCRIPT_CLASSES} --rows ${quarn_installer_rows} ${QUARN_REGISTRY_SCRIPTS}
    DEPENDS ${QUARN_SCRIPT_CLASSES} ${QUARN_REGISTRY_SCRIPTS}
    COMMENT "registry entries of the registry scripts"
    VERBATIM)
set(quarn_installer_library_rows ${CMAKE_BINARY_DIR}/host/type_library_rows.txt)
add_custom_command(
    OUTPUT ${quarn_installer_library_rows}
    COMMAND ${QUARN_TYPE_LIBRARY_FACTS} --rows ${quarn_installer_library_rows} ${QUARN_TYPE_LIBRARY}
    DEPENDS ${QUARN_TYPE_LIBRARY_FACTS} ${QUARN_TYPE_LIBRARY}
    COMMENT "registry entries of the type library"
    VERBATIM)
add_custom_command(
    OUTPUT ${QUARN_INSTALLER_FRAGMENT}
    COMMAND ${CMAKE_COMMAND} -DROWS=${quarn_installer_rows} -DLIBRARY_ROWS=${quarn_installer_library_rows}
            -DARCH=${QUARN_MSI_ARCH} -DFILE_VERSION=${QUARN_MSI_FILE_VERSION}
            -DFILE_LANGUAGE=${QUARN_MSI_FILE_LANGUAGE} -DOUTPUT=${QUARN_INSTALLER_FRAGMENT}
            -P ${CMAKE_SOURCE_DIR}/cmake/InstallerSourceGen.cmake
    DEPENDS ${quarn_installer_rows} ${quarn_installer_library_rows}
            ${CMAKE_SOURCE_DIR}/cmake/InstallerSourceGen.cmake
    COMMENT "Windows Installer fragment ${QUARN_INSTALLER_FRAGMENT}"
    VERBATIM)

# quarn_add_msi(<output> NAME <product> VERSION <a.b.c> UPGRADE_CODE <guid> [DLL <file>] [SIGN])
# A package around the fragment and the release package's signed DLL, or the DLL given.
function(quarn_add_msi output)
    cmake_parse_arguments(M "SIGN" "NAME;VERSION;UPGRADE_CODE;DLL" "" ${ARGN})
    set(dll_depends ${M_DLL})
    if(NOT M_DLL)
        # Made with the release zip, which the command depends on.
        set(M_DLL ${QUARN_PACKAGE_DIR}/quarnver.dll)
    endif()
    get_filename_component(work ${output} NAME_WLE)
    set(sign "")
    if(M_SIGN)
        set(sign -DSIGN_WORK=${CMAKE_BINARY_DIR}/signing -DEPOCH=${QUARN_SOURCE_DATE_EPOCH}
                 -DTEST_SIGNING=${QUARN_TEST_SIGNING})
    endif()
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DNAME=${M_NAME} -DVERSION=${M_VERSION} -DARCH=${QUARN_MSI_ARCH}
                -DUPGRADE_CODE=${M_UPGRADE_CODE} -DFRAGMENT=${QUARN_INSTALLER_FRAGMENT}
                -DDLL=${M_DLL} -DFILE_VERSION=${QUARN_MSI_FILE_VERSION} -DFILE_LANGUAGE=${QUARN_MSI_FILE_LANGUAGE}
                -DWORK=${QUARN_INSTALLER_DIR}/${work} -DOUTPUT=${output} "-DDATE=${QUARN_SOURCE_DATE}" ${sign}
                -P ${CMAKE_SOURCE_DIR}/cmake/BuildMsi.cmake
        DEPENDS ${QUARN_PACKAGE_ZIP} ${dll_depends} ${QUARN_INSTALLER_FRAGMENT} ${CMAKE_SOURCE_DIR}/cmake/BuildMsi.cmake
                ${CMAKE_SOURCE_DIR}/cmake/SignFile.cmake
        COMMENT "Windows Installer package ${output}"
        VERBATIM)
endfunction()

quarn_add_msi(${QUARN_MSI} SIGN NAME ${QUARN_MSI_PRODUCT} VERSION ${PROJECT_VERSION}
              UPGRADE_CODE ${QUARN_MSI_UPGRADE_CODE})
