# The build's one reader of the IDL: the facts of resources/quarnver.idl that
# the generated files other than widl's own need (the assembly manifest,
# cmake/AssemblyManifestGen.cmake; the Windows Installer sources,
# cmake/InstallerSourceGen.cmake). Included by those cmake -P scripts:
#
#   quarn_read_idl(<x.idl>) sets
#     IDL_LIBID           the library's uuid, "{...}" in capitals
#     IDL_VERSION         its version, "major.minor"
#     IDL_LCID            its lcid as the registry spells it (hexadecimal, "0" without one)
#     IDL_HELPSTRING      its helpstring
#     IDL_COCLASSES       the coclasses' uuids
#     IDL_DUALS           the dual interfaces' names
#     IDL_DUAL_<name>     the uuid of each
# and fails, saying why, when the IDL lacks one of them.

function(quarn_idl_fail message)
    message(FATAL_ERROR "IdlFacts: ${message}")
endfunction()

macro(quarn_read_idl idl_file)
    file(READ "${idl_file}" _idl)
    # The attribute list "[ ... ]" in front of "<keyword> <Name>", by name.
    if(NOT _idl MATCHES "\\[([^[]*)\\][ \t\r\n]*library[ \t\r\n]+[A-Za-z_][A-Za-z0-9_]*")
        quarn_idl_fail("${idl_file} holds no library")
    endif()
    set(_attributes "${CMAKE_MATCH_1}")
    if(NOT _attributes MATCHES "uuid\\(([0-9A-Fa-f-]+)\\)")
        quarn_idl_fail("the library of ${idl_file} has no uuid")
    endif()
    string(TOUPPER "{${CMAKE_MATCH_1}}" IDL_LIBID)
    if(NOT _attributes MATCHES "version\\(([0-9]+)\\.([0-9]+)\\)")
        quarn_idl_fail("the library of ${idl_file} has no version")
    endif()
    set(IDL_VERSION "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}")
    set(IDL_LCID 0)
    if(_attributes MATCHES "lcid\\(0[xX]0*([0-9A-Fa-f]+)\\)")
        string(TOLOWER "${CMAKE_MATCH_1}" IDL_LCID)
    elseif(_attributes MATCHES "lcid\\(")
        quarn_idl_fail("the library of ${idl_file} has an lcid that is not hexadecimal")
    endif()
    if(NOT _attributes MATCHES "helpstring\\(\"([^\"]*)\"\\)")
        quarn_idl_fail("the library of ${idl_file} has no helpstring")
    endif()
    set(IDL_HELPSTRING "${CMAKE_MATCH_1}")

    string(REGEX MATCHALL "\\[[^[]*\\][ \t\r\n]*coclass[ \t\r\n]+[A-Za-z_][A-Za-z0-9_]*" _coclasses "${_idl}")
    set(IDL_COCLASSES "")
    foreach(_coclass IN LISTS _coclasses)
        if(_coclass MATCHES "uuid\\(([0-9A-Fa-f-]+)\\)")
            string(TOUPPER "{${CMAKE_MATCH_1}}" _clsid)
            list(APPEND IDL_COCLASSES "${_clsid}")
        endif()
    endforeach()

    string(REGEX MATCHALL "\\[[^[]*\\][ \t\r\n]*interface[ \t\r\n]+[A-Za-z_][A-Za-z0-9_]*" _interfaces "${_idl}")
    set(IDL_DUALS "")
    foreach(_interface IN LISTS _interfaces)
        if(NOT _interface MATCHES "[[,][ \t\r\n]*dual[ \t\r\n]*[],]")
            continue()
        endif()
        if(NOT _interface MATCHES "uuid\\(([0-9A-Fa-f-]+)\\)")
            quarn_idl_fail("a dual interface of ${idl_file} has no uuid")
        endif()
        string(TOUPPER "{${CMAKE_MATCH_1}}" _iid)
        string(REGEX MATCH "[A-Za-z_][A-Za-z0-9_]*$" _name "${_interface}")
        list(APPEND IDL_DUALS "${_name}")
        set(IDL_DUAL_${_name} "${_iid}")
    endforeach()
    if(NOT IDL_DUALS)
        quarn_idl_fail("${idl_file} holds no dual interface")
    endif()
endmacro()
