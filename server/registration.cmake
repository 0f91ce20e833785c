# The registration script interpreter. The registry scripts it runs go into
# the library with its class table (library/CMakeLists.txt).
add_library(quarn_regscript STATIC
    ${CMAKE_CURRENT_LIST_DIR}/script_text.cpp
    ${CMAKE_CURRENT_LIST_DIR}/script_tree.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_walk.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_native.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_views.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registration_script.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registration_resource.cpp
)
target_include_directories(quarn_regscript PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(quarn_regscript PUBLIC quarn_common ntdll)
target_link_libraries(quarnver PRIVATE quarn_regscript)
quarn_cold_sources(quarn_regscript ${CMAKE_CURRENT_LIST_DIR}/script_text.cpp ${CMAKE_CURRENT_LIST_DIR}/script_tree.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_walk.cpp ${CMAKE_CURRENT_LIST_DIR}/registry_native.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_views.cpp ${CMAKE_CURRENT_LIST_DIR}/registration_script.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registration_resource.cpp)
