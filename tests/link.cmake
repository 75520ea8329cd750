# The Modbus link against the instrument simulator over a pseudo-terminal.
# Its own program folder, so that its "comm.ini" is its own.
add_executable(kalist8_link_tests ${CMAKE_CURRENT_SOURCE_DIR}/link_tests.cpp)
target_link_libraries(kalist8_link_tests PRIVATE kalist8_sim_process kalist8_testutils GTest::gtest)
target_compile_definitions(kalist8_link_tests PRIVATE KALIST8_SIM_EXE="$<TARGET_FILE:kalist8-sim>")
set_target_properties(kalist8_link_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testbin/link)
add_dependencies(kalist8_link_tests kalist8-sim)
kalist8_target_settings(kalist8_link_tests)
gtest_discover_tests(kalist8_link_tests DISCOVERY_MODE PRE_TEST PROPERTIES RUN_SERIAL TRUE TIMEOUT 120 LABELS worker)
