# client_kit: what the developer of a client application needs, collected in
# <build>/kit:
#   quarnver.dll              the library
#   quarnver.tlb              its type library (also embedded in the DLL)
#   quarnver_h.h, quarnver_i.c  C/C++ declarations and identifiers, from the
#                             same IDL as the type library
#   libquarnver.a             import library of the five exports
#   quarnver.manifest         the side-by-side assembly manifest (see
#                             cmake/AssemblyManifest.cmake)
#
# The import library is made from server/quarnver.def. Its exports are marked
# PRIVATE there (they are meant for COM and regsvr32, not for linking), which
# keeps them out of an import library, and they carry no stdcall sizes; the
# kit's own .def lists them with their sizes so that calls declared in
# <objbase.h> and <olectl.h> link, and dlltool -k imports them by their plain
# names.
set(QUARN_KIT_DIR ${CMAKE_BINARY_DIR}/kit)
find_program(QUARN_DLLTOOL ${QUARN_TRIPLE}-dlltool REQUIRED)

# Argument bytes of each export (stdcall decoration).
set(quarn_export_bytes_DllGetClassObject 12)
set(quarn_export_bytes_DllCanUnloadNow 0)
set(quarn_export_bytes_DllRegisterServer 0)
set(quarn_export_bytes_DllUnregisterServer 0)
set(quarn_export_bytes_DllInstall 8)

file(STRINGS ${CMAKE_SOURCE_DIR}/server/quarnver.def quarn_def_lines)
set(quarn_kit_def_text "LIBRARY quarnver.dll\nEXPORTS\n")
foreach(line IN LISTS quarn_def_lines)
    if(line MATCHES "^[ \t]+([A-Za-z_][A-Za-z0-9_]*)")
        set(name ${CMAKE_MATCH_1})
        if(NOT DEFINED quarn_export_bytes_${name})
            message(FATAL_ERROR "ClientKit.cmake: give the argument size of the export ${name}")
        endif()
        if(CMAKE_SIZEOF_VOID_P EQUAL 8)
            # 64-bit Windows has one calling convention and no decorated names.
            string(APPEND quarn_kit_def_text "    ${name}\n")
        else()
            string(APPEND quarn_kit_def_text "    ${name}@${quarn_export_bytes_${name}}\n")
        endif()
    endif()
endforeach()
set(quarn_kit_def ${CMAKE_BINARY_DIR}/kit-exports/quarnver.def)
file(CONFIGURE OUTPUT ${quarn_kit_def} CONTENT "${quarn_kit_def_text}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/server/quarnver.def)

set(quarn_kit_files
    ${QUARN_KIT_DIR}/quarnver.dll
    ${QUARN_KIT_DIR}/quarnver.tlb
    ${QUARN_KIT_DIR}/quarnver_h.h
    ${QUARN_KIT_DIR}/quarnver_i.c
    ${QUARN_KIT_DIR}/libquarnver.a)
file(MAKE_DIRECTORY ${QUARN_KIT_DIR})
add_custom_command(
    OUTPUT ${quarn_kit_files}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quarnver> ${QUARN_GEN_DIR}/quarnver.tlb
            ${QUARN_GEN_DIR}/quarnver_h.h ${QUARN_GEN_DIR}/quarnver_i.c ${QUARN_KIT_DIR}
    COMMAND ${QUARN_DLLTOOL} -k -d ${quarn_kit_def} -l libquarnver.a -D quarnver.dll
    DEPENDS quarnver ${quarn_kit_def} ${QUARN_GEN_DIR}/quarnver.tlb ${QUARN_GEN_DIR}/quarnver_h.h
            ${QUARN_GEN_DIR}/quarnver_i.c
    WORKING_DIRECTORY ${QUARN_KIT_DIR}
    COMMENT "client kit in ${QUARN_KIT_DIR}")
include(AssemblyManifest)
add_custom_target(client_kit ALL DEPENDS ${quarn_kit_files} ${QUARN_ASSEMBLY_MANIFEST})
