# QUARN_SOURCE_DATE_EPOCH: the one time stamp the build writes anywhere (the
# type library's time, the times of the package archives' entries, the bill of
# materials' creation time), so that a commit builds the same bytes from any
# folder on any day. It is $SOURCE_DATE_EPOCH when set, else the time of the
# checked-out commit, else a fixed time for a tree without its history.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(QUARN_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
    find_package(Git QUIET)
    set(commit_time "")
    if(GIT_FOUND)
        execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE commit_time
                        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
    if(commit_time MATCHES "^[0-9]+$")
        set(QUARN_SOURCE_DATE_EPOCH ${commit_time})
    else()
        set(QUARN_SOURCE_DATE_EPOCH 1767225600)  # 2026-01-01 00:00:00 UTC
    endif()
endif()
# The same time as text, in UTC.
set(quarn_saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${QUARN_SOURCE_DATE_EPOCH})
string(TIMESTAMP QUARN_SOURCE_DATE "%Y-%m-%d %H:%M:%S" UTC)
string(TIMESTAMP QUARN_SOURCE_DATE_ISO "%Y-%m-%dT%H:%M:%SZ" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${quarn_saved_epoch}")
