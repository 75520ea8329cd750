# Whole journeys of a user with kalist8: the real program in a folder of the
# test's own against the instrument simulator, through a line that drops, an
# instrument that falls silent or talks garbage, a port another process holds.
# Real processes and a pseudo-terminal each: one at a time.
add_executable(kalist8_journey_tests ${CMAKE_CURRENT_SOURCE_DIR}/journey_tests.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ProgramTestSupport.cpp)
target_link_libraries(kalist8_journey_tests PRIVATE kalist8_sim_process kalist8_testutils GTest::gtest_main)
target_compile_definitions(kalist8_journey_tests PRIVATE KALIST8_SIM_EXE="$<TARGET_FILE:kalist8-sim>"
  KALIST8_EXE="$<TARGET_FILE:kalist8>" KALIST8_PROGRAM_DIR="${KALIST8_PROGRAM_DIR}/")
set_target_properties(kalist8_journey_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testbin/journeys)
add_dependencies(kalist8_journey_tests kalist8 kalist8-sim)
kalist8_target_settings(kalist8_journey_tests)
# Every wait has its own deadline; this one only turns a hang into a failure.
gtest_discover_tests(kalist8_journey_tests DISCOVERY_MODE PRE_TEST PROPERTIES RUN_SERIAL TRUE TIMEOUT 300 LABELS worker)
