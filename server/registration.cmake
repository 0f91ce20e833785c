# The registration script interpreter and the registry scripts.
add_library(quarn_regscript STATIC
    ${CMAKE_CURRENT_LIST_DIR}/script_text.cpp
    ${CMAKE_CURRENT_LIST_DIR}/script_tree.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_walk.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_native.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registration_script.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registration_resource.cpp
)
target_include_directories(quarn_regscript PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(quarn_regscript PUBLIC quarn_common ntdll)
target_link_libraries(quarnver PRIVATE quarn_regscript)

# REGISTRY resources 102 and 203; the scripts are embedded byte for byte.
set(QUARN_REGISTRY_RC ${CMAKE_SOURCE_DIR}/resources/registry.rc)
target_sources(quarnver PRIVATE ${QUARN_REGISTRY_RC})
set_source_files_properties(${QUARN_REGISTRY_RC} TARGET_DIRECTORY quarnver PROPERTIES
    OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/resources/quarn5logon.rgs;${CMAKE_SOURCE_DIR}/resources/quarn5about.rgs")
target_include_directories(quarnver PRIVATE ${CMAKE_SOURCE_DIR}/resources)
