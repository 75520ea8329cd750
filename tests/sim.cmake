# The instrument simulator: its model and responder are tested inside the
# core test program (test_sim_*.cpp); the program itself is started as a
# separate process over pseudo-terminals by kalist8_sim_tests.
target_link_libraries(kalist8_core_tests PRIVATE kalist8_sim)

add_executable(kalist8_sim_tests ${CMAKE_CURRENT_SOURCE_DIR}/sim_process_tests.cpp)
target_link_libraries(kalist8_sim_tests PRIVATE kalist8_sim_process kalist8_testutils GTest::gtest_main)
target_compile_definitions(kalist8_sim_tests PRIVATE KALIST8_SIM_EXE="$<TARGET_FILE:kalist8-sim>")
add_dependencies(kalist8_sim_tests kalist8-sim)
kalist8_target_settings(kalist8_sim_tests)
# Every wait in these tests has its own deadline; this one only turns a
# hang into a failure.
gtest_discover_tests(kalist8_sim_tests DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120)
