# kalist8 itself, as a user starts it: copied with its catalogue into a
# folder of the test's own, run on the offscreen platform against the
# instrument simulator, ended by signals. Every test starts real processes
# and holds a pseudo-terminal, so they run one at a time.
add_executable(kalist8_program_tests ${CMAKE_CURRENT_SOURCE_DIR}/program_tests.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/program_files_tests.cpp ${CMAKE_CURRENT_SOURCE_DIR}/ProgramTestSupport.cpp)
target_link_libraries(kalist8_program_tests PRIVATE kalist8_sim_process kalist8_testutils GTest::gtest_main)
target_compile_definitions(kalist8_program_tests PRIVATE KALIST8_SIM_EXE="$<TARGET_FILE:kalist8-sim>"
  KALIST8_EXE="$<TARGET_FILE:kalist8>" KALIST8_PROGRAM_DIR="${KALIST8_PROGRAM_DIR}/"
  KALIST8_VERSION="${PROJECT_VERSION}")
set_target_properties(kalist8_program_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testbin/program)
add_dependencies(kalist8_program_tests kalist8 kalist8-sim)
kalist8_target_settings(kalist8_program_tests)
# Every wait has its own deadline; this one only turns a hang into a failure.
gtest_discover_tests(kalist8_program_tests DISCOVERY_MODE PRE_TEST PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)
