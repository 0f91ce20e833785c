# Writes the side-by-side assembly manifest of quarnver.dll from the facts the
# registry scripts and the type library already hold, so that registration,
# type library and manifest describe the same classes and interfaces. Run with
# cmake -P:
#   -DCLASSES=<file>           the classes the registry scripts register, as
#                              cmake/script_classes.cpp reads them with the
#                              library's own script parser: one line each,
#                              CLSID, threading model, ProgID,
#                              version-independent ProgID and description,
#                              separated by tabs
#   -DLIBRARY=<file>           the type library as cmake/type_library_facts.cpp
#                              reads it: "library", LIBID and version, then a
#                              "coclass" line per class and an "interface"
#                              line (IID, name, the marshaler's CLSID) per
#                              interface that registration gives an Interface
#                              key; every class must be a coclass there
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

file(STRINGS "${LIBRARY}" library_lines)
set(libid "")
set(coclass_ids "")
set(interfaces "")
foreach(line IN LISTS library_lines)
    if(line MATCHES "^library\t({[0-9A-F-]+})\t([0-9a-f]+\\.[0-9a-f]+)$")
        set(libid "${CMAKE_MATCH_1}")
        set(library_version "${CMAKE_MATCH_2}")
    elseif(line MATCHES "^coclass\t({[0-9A-F-]+})$")
        list(APPEND coclass_ids "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^interface\t({[0-9A-F-]+})\t([A-Za-z_][A-Za-z0-9_]*)\t({[0-9A-F-]+})$")
        list(APPEND interfaces "${CMAKE_MATCH_2}")
        set(iid_${CMAKE_MATCH_2} "${CMAKE_MATCH_1}")
        set(marshaler_${CMAKE_MATCH_2} "${CMAKE_MATCH_3}")
    else()
        quarn_fail("${LIBRARY}: no fact of the type library in \"${line}\"")
    endif()
endforeach()
if(libid STREQUAL "" OR NOT interfaces)
    quarn_fail("${LIBRARY} names no library or no interface to marshal")
endif()

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
        quarn_fail("the scripts register ${clsid}, which is no coclass of the type library")
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

# Each interface that registration gives an Interface key is marshalled by
# the marshaler its Interface key names (the type library marshaler for an
# interface with a vtable), from the type library the assembly holds: a
# client in another apartment (a multithreaded one using an Apartment class)
# reaches it with nothing registered.
set(proxy_stubs "")
foreach(interface_name IN LISTS interfaces)
    set(iid "${iid_${interface_name}}")
    string(APPEND proxy_stubs
        "  <comInterfaceExternalProxyStub name=\"${interface_name}\" iid=\"${iid}\"\n"
        "                                 proxyStubClsid32=\"${marshaler_${interface_name}}\"\n"
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
