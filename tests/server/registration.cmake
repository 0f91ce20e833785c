# Tests of the registration script interpreter.
set(QUARN_REGTEST_DIR ${CMAKE_CURRENT_LIST_DIR})

quarn_add_test(test_registration_script REGISTRY
    SOURCES ${QUARN_REGTEST_DIR}/test_registration_script.cpp ${QUARN_REGTEST_DIR}/test_registration_support.cpp
    LIBS quarn_regscript)
# Again under a double-byte code page (932): the script's text does not depend on it.
add_test(NAME test_registration_script_cp932 COMMAND test_registration_script)
set_tests_properties(test_registration_script_cp932 PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine_registry
                     ENVIRONMENT "LANG=ja_JP.UTF-8;LC_ALL=ja_JP.UTF-8;QUARN_ANSI_CODE_PAGE=932")

# A module with a registry script of its own, loaded from a path with ' in it.
add_library(test_registration_module SHARED
    ${QUARN_REGTEST_DIR}/test_registration_module.cpp ${QUARN_REGTEST_DIR}/test_registration_module.rc)
set_target_properties(test_registration_module PROPERTIES PREFIX "")
set_source_files_properties(${QUARN_REGTEST_DIR}/test_registration_module.rc PROPERTIES
    OBJECT_DEPENDS ${QUARN_REGTEST_DIR}/test_registration_module.rgs)
target_include_directories(test_registration_module PRIVATE ${QUARN_REGTEST_DIR})

quarn_add_test(test_registration_resources REGISTRY
    SOURCES ${QUARN_REGTEST_DIR}/test_registration_resources.cpp ${QUARN_REGTEST_DIR}/test_registration_support.cpp
    LIBS quarn_regscript)
add_dependencies(test_registration_resources quarnver test_registration_module)
target_compile_definitions(test_registration_resources PRIVATE
    "QUARNVER_DLL_PATH=\"Z:${CMAKE_BINARY_DIR}/quarnver.dll\""
    "QUARN_TEST_MODULE_PATH=\"Z:$<TARGET_FILE:test_registration_module>\"")
