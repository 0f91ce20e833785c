target_sources(quarnver PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/scaffold_reg.cpp)
