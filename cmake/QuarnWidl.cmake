# quarn_widl(<name> <idl> OUT_DIR <dir>): runs widl once over an IDL file and
# yields <dir>/<name>.tlb, <dir>/<name>_h.h and <dir>/<name>_i.c, so that the
# type library and the C++ declarations come from one source.
function(quarn_widl name idl)
  cmake_parse_arguments(W "" "OUT_DIR" "" ${ARGN})
  get_filename_component(idl_abs ${idl} ABSOLUTE)
  set(tlb ${W_OUT_DIR}/${name}.tlb)
  set(hdr ${W_OUT_DIR}/${name}_h.h)
  set(iid ${W_OUT_DIR}/${name}_i.c)
  add_custom_command(
    OUTPUT ${tlb} ${hdr} ${iid}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${W_OUT_DIR}
    COMMAND ${QUARN_WIDL} ${QUARN_WIDL_TARGET} -I/usr/include/wine/wine/windows
            -L${QUARN_WINE_LIBDIR} -t -T ${tlb} -h -H ${hdr} -u -U ${iid} ${idl_abs}
    DEPENDS ${idl_abs}
    COMMENT "widl ${name}.idl")
  add_custom_target(${name}_idl DEPENDS ${tlb} ${hdr} ${iid})
endfunction()
