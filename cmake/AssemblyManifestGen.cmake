# Writes the side-by-side assembly manifest of quarnver.dll from the facts the
# registry scripts and the IDL already hold, so that registration, type
# library and manifest describe the same classes. Run with cmake -P:
#   -DRGS_FILES=<a.rgs;b.rgs>  the classes: CLSID and its description, ProgID,
#                              version-independent ProgID, threading model
#   -DIDL=<x.idl>              the type library: LIBID and version; every
#                              class of a script must be a coclass there
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

# The value of "<name> = s '<value>'" in a script; fails when missing.
function(quarn_rgs_string text name file out)
    if(NOT text MATCHES "[ \t\r\n]${name}[ \t]*=[ \t]*s[ \t]+'([^']*)'")
        quarn_fail("${file} names no ${name}")
    endif()
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

# The attribute list "[ ... ]" in front of "<keyword> <Name>" of the IDL, by name.
file(READ "${IDL}" idl)
if(NOT idl MATCHES "\\[([^[]*)\\][ \t\r\n]*library[ \t\r\n]+[A-Za-z_][A-Za-z0-9_]*")
    quarn_fail("${IDL} holds no library")
endif()
set(library_attributes "${CMAKE_MATCH_1}")
if(NOT library_attributes MATCHES "uuid\\(([0-9A-Fa-f-]+)\\)")
    quarn_fail("the library of ${IDL} has no uuid")
endif()
string(TOUPPER "{${CMAKE_MATCH_1}}" libid)
if(NOT library_attributes MATCHES "version\\(([0-9]+)\\.([0-9]+)\\)")
    quarn_fail("the library of ${IDL} has no version")
endif()
set(library_version "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}")

string(REGEX MATCHALL "\\[[^[]*\\][ \t\r\n]*coclass[ \t\r\n]+[A-Za-z_][A-Za-z0-9_]*" coclasses "${idl}")
set(coclass_ids "")
foreach(coclass IN LISTS coclasses)
    if(coclass MATCHES "uuid\\(([0-9A-Fa-f-]+)\\)")
        string(TOUPPER "{${CMAKE_MATCH_1}}" clsid)
        list(APPEND coclass_ids "${clsid}")
    endif()
endforeach()

set(classes "")
foreach(rgs IN LISTS RGS_FILES)
    file(READ "${rgs}" script)
    if(NOT script MATCHES "ForceRemove[ \t]+({[0-9A-Fa-f-]+})[ \t]*=[ \t]*s[ \t]+'([^']*)'")
        quarn_fail("${rgs} registers no class key")
    endif()
    string(TOUPPER "${CMAKE_MATCH_1}" clsid)
    set(description "${CMAKE_MATCH_2}")
    if(NOT clsid IN_LIST coclass_ids)
        quarn_fail("${rgs} registers ${clsid}, which is no coclass of ${IDL}")
    endif()
    quarn_rgs_string("${script}" ProgID "${rgs}" progid)
    quarn_rgs_string("${script}" VersionIndependentProgID "${rgs}" independent_progid)
    if(NOT script MATCHES "val[ \t]+ThreadingModel[ \t]*=[ \t]*s[ \t]+'([^']*)'")
        quarn_fail("${rgs} names no ThreadingModel")
    endif()
    set(threading "${CMAKE_MATCH_1}")
    foreach(var description progid independent_progid threading)
        quarn_xml_escape("${${var}}" ${var})
    endforeach()
    string(APPEND classes
        "    <comClass clsid=\"${clsid}\" progid=\"${progid}\" threadingModel=\"${threading}\"\n"
        "              tlbid=\"${libid}\" description=\"${description}\">\n"
        "      <progid>${independent_progid}</progid>\n"
        "    </comClass>\n")
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
    "</assembly>\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
