# quarn_widl(<name> <idl> OUT_DIR <dir> [NO_TYPELIB] [INTERFACES <target>]
#            [INCLUDE_DIRS <dir>...] [DEPENDS <file>...]):
# runs widl once over an IDL file and yields <dir>/<name>.tlb, <dir>/<name>_h.h
# and <dir>/<name>_i.c, so that the type library and the C++ declarations come
# from one source. The type library's time is QUARN_SOURCE_DATE_EPOCH
# (cmake/SourceDateEpoch.cmake). NO_TYPELIB for an IDL without a library block (declarations
# and identifiers only); INTERFACES names a static library of the identifiers
# that gives its users the declarations; INCLUDE_DIRS and DEPENDS for IDL
# files it includes.
function(quarn_widl name idl)
  cmake_parse_arguments(W "NO_TYPELIB" "OUT_DIR;INTERFACES" "INCLUDE_DIRS;DEPENDS" ${ARGN})
  get_filename_component(idl_abs ${idl} ABSOLUTE)
  # Named from the checkout's top, so no folder of the checkout lands in the output.
  file(RELATIVE_PATH idl_rel ${CMAKE_SOURCE_DIR} ${idl_abs})
  set(hdr ${W_OUT_DIR}/${name}_h.h)
  set(iid ${W_OUT_DIR}/${name}_i.c)
  set(outputs ${hdr} ${iid})
  set(typelib_args)
  if(NOT W_NO_TYPELIB)
    set(tlb ${W_OUT_DIR}/${name}.tlb)
    list(PREPEND outputs ${tlb})
    set(typelib_args -t -T ${tlb})
  endif()
  set(include_args)
  foreach(dir IN LISTS W_INCLUDE_DIRS)
    list(APPEND include_args -I${dir})
  endforeach()
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${W_OUT_DIR}
    COMMAND ${CMAKE_COMMAND} -E env WIDL_TIME_OVERRIDE=${QUARN_SOURCE_DATE_EPOCH}
            ${QUARN_WIDL} ${QUARN_WIDL_TARGET} -I/usr/include/wine/wine/windows ${include_args}
            -L${QUARN_WINE_LIBDIR} ${typelib_args} -h -H ${hdr} -u -U ${iid} ${idl_rel}
    DEPENDS ${idl_abs} ${W_DEPENDS}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    COMMENT "widl ${name}.idl")
  add_custom_target(${name}_idl DEPENDS ${outputs})
  if(W_INTERFACES)
    add_library(${W_INTERFACES} STATIC ${iid})
    add_dependencies(${W_INTERFACES} ${name}_idl)
    target_include_directories(${W_INTERFACES} PUBLIC ${W_OUT_DIR})
  endif()
endfunction()
