# quarn_no_seh_handlers(<target>): on 32-bit x86, links the DLL <target> with
# IMAGE_DLLCHARACTERISTICS_NO_SEH ("PE Format": the image has no structured
# exception handlers), which is what a SafeSEH review asks of an image
# without a table of safe handlers. The claim must stay true: the loader
# refuses to call any handler of a NO_SEH image, so a frame installed by code
# in the DLL would turn an exception into a terminated process.
#
# After every link, before the image is stripped (call this before
# quarn_split_symbols), the build disassembles the DLL's code and fails when
# anything in it could install an x86 SEH frame. A frame is installed by
# linking a record into the list that starts at NT_TIB.ExceptionList,
# fs:[0] on x86, so the code may use the fs segment only to load from it,
# never from offset 0 (the list's head), and may load the TEB's own address
# (NT_TIB.Self, fs:[0x18], through which the list could be reached too) only
# in functions reviewed to read other fields: QUARN_TEB_READERS below.
# The compiler's exceptions are DWARF-2 tables and need no frames.
#
# Run as a script (cmake -P) it checks one file:
#   -DOBJDUMP=<objdump> -DFILE=<linked dll, not yet stripped>

# Functions allowed to load the TEB's address, each with what it reads.
set(QUARN_TEB_READERS
    # mingw-w64's DLL start-up: NT_TIB.StackBase as the identity of the
    # thread that holds its start-up lock.
    __CRT_INIT@12)

if(CMAKE_SCRIPT_MODE_FILE)
    cmake_minimum_required(VERSION 3.20)
    execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${FILE}
                    OUTPUT_FILE ${FILE}.disassembly COMMAND_ERROR_IS_FATAL ANY)
    # The section headers, the function labels and every use of fs.
    file(STRINGS ${FILE}.disassembly lines REGEX "^Disassembly of section|>:$|%fs:")
    file(REMOVE ${FILE}.disassembly)
    set(function "")
    set(code TRUE)
    set(faults "")
    foreach(line IN LISTS lines)
        if(line MATCHES "^Disassembly of section")
            set(code TRUE)
        elseif(line MATCHES "<(.*)>:$")
            set(function "${CMAKE_MATCH_1}")
            # GNU ld puts the constructor and destructor lists and the C++
            # exception tables at the end of .text: data, not code.
            if(function MATCHES "^_?__CTOR_LIST__$")
                set(code FALSE)
            endif()
        elseif(code)
            string(REGEX REPLACE "^ *[0-9a-f]+:[ \t]*" "" instruction "${line}")
            set(offset "")
            if(instruction MATCHES "^mov[l]? +%fs:(0x[0-9a-f]+),%[a-z]+$")
                math(EXPR offset "${CMAKE_MATCH_1}")
            endif()
            if(offset)  # a load, not from the list's head
                if(offset EQUAL 24 AND NOT function IN_LIST QUARN_TEB_READERS)
                    string(APPEND faults "\n  ${function}: ${instruction} (the TEB's address, in an unreviewed function)")
                endif()
            else()
                string(APPEND faults "\n  ${function}: ${instruction}")
            endif()
        endif()
    endforeach()
    if(faults)
        get_filename_component(name ${FILE} NAME)
        message(FATAL_ERROR "${name} is marked NO_SEH, but this code may install an SEH frame:${faults}")
    endif()
    return()
endif()

set(QUARN_NO_SEH_HANDLERS_SCRIPT ${CMAKE_CURRENT_LIST_FILE})

function(quarn_no_seh_handlers target)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        return()  # x64 exception handling is table-based: no frames, nothing to declare
    endif()
    find_program(QUARN_OBJDUMP ${QUARN_TRIPLE}-objdump REQUIRED)
    target_link_options(${target} PRIVATE -Wl,--no-seh)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${QUARN_OBJDUMP} -DFILE=$<TARGET_FILE:${target}>
                -P ${QUARN_NO_SEH_HANDLERS_SCRIPT}
        VERBATIM)
endfunction()
