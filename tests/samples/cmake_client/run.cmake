# cmake -DSOURCE=<this folder> -DBINARY=<scratch build folder> -DPACKAGE=<unpacked package>
#       -DTOOLCHAIN=<toolchain file> -DGENERATOR=<generator> -DRUN=<wine wrapper> -P run.cmake
# Configures the client project in an empty folder against the unpacked
# package alone, builds it, and runs the program.
file(REMOVE_RECURSE ${BINARY})
foreach(step configure build run)
    if(step STREQUAL configure)
        set(command ${CMAKE_COMMAND} -S ${SOURCE} -B ${BINARY} -G ${GENERATOR} -DCMAKE_BUILD_TYPE=Release
                    -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_PREFIX_PATH=${PACKAGE})
    elseif(step STREQUAL build)
        set(command ${CMAKE_COMMAND} --build ${BINARY})
    else()
        set(command ${RUN} ${BINARY}/cmake_client.exe)
    endif()
    execute_process(COMMAND ${command} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "client project: ${step} failed (${result})")
    endif()
endforeach()
