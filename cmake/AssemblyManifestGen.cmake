# Writes the side-by-side assembly manifest of quarnver.dll from the facts the
# registry scripts and the IDL already hold, so that registration, type
# library and manifest describe the same classes and interfaces. Run with
# cmake -P:
#   -DCLASSES=<file>           the classes the registry scripts register, as
#                              cmake/script_classes.cpp reads them with the
#                              library's own script parser: one line each,
#                              CLSID, threading model, ProgID,
#                              version-independent ProgID and description,
#                              separated by tabs
#   -DIDL=<x.idl>              the type library: LIBID and version, and its
#                              dual interfaces, as cmake/IdlFacts.cmake reads
#                              them; every class must be a coclass there
#   -DNAME=<assembly name> -DVERSION=<a.b.c.d> -DARCH=<x86|amd64>
#   -DDLL=<file name> -DOUTPUT=<file>
cmake_minimum_required(VERSION 3.20)

function(quarn_fail message)
    message(FATAL_ERROR "AssemblyManifestGen: ${message}")
endfunction()

function(quarn_xml_escape text out)
    string(REPLACE "&" "&amp;" text "${text}")
    string(REPLACE "<" "&lt;" text "${text}")
    string(REPLACE ">" "&gt;" text "${text}")
    string(REPLACE "\"" "&quot;" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/IdlFacts.cmake)
quarn_read_idl("${IDL}")
set(libid "${IDL_LIBID}")
set(library_version "${IDL_VERSION}")
set(coclass_ids "${IDL_COCLASSES}")

file(STRINGS "${CLASSES}" class_lines)
if(NOT class_lines)
    quarn_fail("${CLASSES} lists no class")
endif()
set(classes "")
foreach(line IN LISTS class_lines)
    if(NOT line MATCHES "^({[0-9A-Fa-f-]+})\t([^\t]*)\t([^\t]*)\t([^\t]*)\t(.*)$")
        quarn_fail("${CLASSES}: no class in \"${line}\"")
    endif()
    string(TOUPPER "${CMAKE_MATCH_1}" clsid)
    set(threading "${CMAKE_MATCH_2}")
    set(progid "${CMAKE_MATCH_3}")
    set(independent_progid "${CMAKE_MATCH_4}")
    set(description "${CMAKE_MATCH_5}")
    if(NOT clsid IN_LIST coclass_ids)
        quarn_fail("the scripts register ${clsid}, which is no coclass of ${IDL}")
    endif()
    foreach(var description progid independent_progid threading)
        quarn_xml_escape("${${var}}" ${var})
    endforeach()
    string(APPEND classes
        "    <comClass clsid=\"${clsid}\" progid=\"${progid}\" threadingModel=\"${threading}\"\n"
        "              tlbid=\"${libid}\" description=\"${description}\">\n"
        "      <progid>${independent_progid}</progid>\n"
        "    </comClass>\n")
endforeach()

# Each dual interface is marshalled by the type library marshaler, from the
# type library the assembly holds: a client in another apartment (a
# multithreaded one using an Apartment class) reaches it with nothing
# registered.
set(proxy_stubs "")
foreach(interface_name IN LISTS IDL_DUALS)
    set(iid "${IDL_DUAL_${interface_name}}")
    string(APPEND proxy_stubs
        "  <comInterfaceExternalProxyStub name=\"${interface_name}\" iid=\"${iid}\"\n"
        "                                 proxyStubClsid32=\"{00020424-0000-0000-C000-000000000046}\"\n"
        "                                 baseInterface=\"{00020400-0000-0000-C000-000000000046}\"\n"
        "                                 tlbid=\"${libid}\"/>\n")
endforeach()

# The help folder is the assembly's own folder, as registration makes it the
# DLL's folder.
file(WRITE "${OUTPUT}.tmp"
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
    "  <assemblyIdentity type=\"win32\" name=\"${NAME}\" version=\"${VERSION}\"\n"
    "                    processorArchitecture=\"${ARCH}\"/>\n"
    "  <file name=\"${DLL}\">\n"
    "${classes}"
    "    <typelib tlbid=\"${libid}\" version=\"${library_version}\" helpdir=\"\"/>\n"
    "  </file>\n"
    "${proxy_stubs}"
    "</assembly>\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
