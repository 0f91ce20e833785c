# quarn_split_symbols(<target> [BUDGET_32 <bytes>] [BUDGET_64 <bytes>] [SIGNATURE <bytes>]):
# after every link of <target> (a DLL built with -g), moves its debug
# information into <file>.debug beside it and leaves the DLL stripped, with a
# debug link (the .debug file's name and CRC-32) and a build ID (a CodeView
# record, the hash of the image) by which debuggers find and match the symbols.
# So the DLL the tests load is the DLL that ships, and its symbol file goes
# into the symbol package (cmake/ReleasePackage.cmake).
#
# The build prints the stripped DLL's size and fails when it exceeds the
# budget of its bitness. SIGNATURE is the room kept beyond it for the release
# signature (certificate chain and time stamp): the signed DLL's budget is the
# sum, kept as the target's QUARN_SIZE_BUDGET, which the package step applies.
#
# Run as a script (cmake -P) it does the work for one file:
#   -DOBJCOPY=<objcopy> -DFILE=<dll> -DBUDGET=<bytes or 0> -DEPOCH=<time stamp>
if(CMAKE_SCRIPT_MODE_FILE)
    get_filename_component(dir ${FILE} DIRECTORY)
    get_filename_component(name ${FILE} NAME)
    set(debug ${name}.debug)
    # objcopy stamps the images it writes with the time, or with SOURCE_DATE_EPOCH.
    set(ENV{SOURCE_DATE_EPOCH} ${EPOCH})
    execute_process(COMMAND ${OBJCOPY} --only-keep-debug ${name} ${debug}
                    WORKING_DIRECTORY ${dir} COMMAND_ERROR_IS_FATAL ANY)
    # --long-section-names=enable keeps ".gnu_debuglink" and ".eh_frame"
    # readable by name once the symbol table is gone.
    execute_process(COMMAND ${OBJCOPY} --strip-all --long-section-names=enable
                            --add-gnu-debuglink=${debug} ${name}
                    WORKING_DIRECTORY ${dir} COMMAND_ERROR_IS_FATAL ANY)
    file(SIZE ${FILE} size)
    if(BUDGET AND size GREATER BUDGET)
        message(FATAL_ERROR "${name}: ${size} bytes, over its budget of ${BUDGET} bytes")
    endif()
    message(STATUS "${name}: ${size} bytes (budget ${BUDGET}), symbols in ${debug}")
    return()
endif()

find_program(QUARN_OBJCOPY ${QUARN_TRIPLE}-objcopy REQUIRED)
set(QUARN_SPLIT_SYMBOLS_SCRIPT ${CMAKE_CURRENT_LIST_FILE})

function(quarn_split_symbols target)
    cmake_parse_arguments(S "" "BUDGET_32;BUDGET_64;SIGNATURE" "" ${ARGN})
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(budget ${S_BUDGET_64})
    else()
        set(budget ${S_BUDGET_32})
    endif()
    if(NOT budget)
        set(budget 0)
    endif()
    target_link_options(${target} PRIVATE -Wl,--build-id)
    get_target_property(output_name ${target} OUTPUT_NAME)
    set(signed 0)
    if(budget AND S_SIGNATURE)
        math(EXPR signed "${budget} + ${S_SIGNATURE}")
    elseif(budget)
        set(signed ${budget})
    endif()
    set_property(TARGET ${target} PROPERTY QUARN_SIZE_BUDGET ${signed})
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -DOBJCOPY=${QUARN_OBJCOPY} -DFILE=$<TARGET_FILE:${target}> -DBUDGET=${budget}
                -DEPOCH=${QUARN_SOURCE_DATE_EPOCH}
                -P ${QUARN_SPLIT_SYMBOLS_SCRIPT}
        BYPRODUCTS ${CMAKE_CURRENT_BINARY_DIR}/${output_name}.dll.debug
        VERBATIM)
endfunction()
