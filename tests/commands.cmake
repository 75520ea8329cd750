# The main window's commands, driven through their prompts and boxes as a
# user would, with the real engine and, where it matters, the simulator
# behind COM1. A program folder of its own: the window and the engine keep
# their INI files beside the executable and the archive lands there too.
file(GLOB KALIST8_COMMANDS_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/form1/wtest_commands*.cpp)
add_executable(kalist8_commands_tests
  ${CMAKE_CURRENT_SOURCE_DIR}/form1/commands_main.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/engine/EngineTestSupport.cpp
  ${KALIST8_COMMANDS_TEST_SOURCES})
target_include_directories(kalist8_commands_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
  ${CMAKE_CURRENT_SOURCE_DIR}/engine ${CMAKE_CURRENT_SOURCE_DIR}/form1)
target_link_libraries(kalist8_commands_tests PRIVATE kalist8_widgets kalist8_sim_process kalist8_testutils Qt6::Test GTest::gtest)
target_compile_definitions(kalist8_commands_tests PRIVATE KALIST8_SIM_EXE="$<TARGET_FILE:kalist8-sim>")
set_target_properties(kalist8_commands_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testbin/commands)
add_dependencies(kalist8_commands_tests kalist8-sim)
kalist8_target_settings(kalist8_commands_tests)
foreach(ini vars.ini units.ini scales.ini)
  configure_file(${PROJECT_SOURCE_DIR}/resources/${ini} ${CMAKE_BINARY_DIR}/testbin/commands/${ini} COPYONLY)
endforeach()
gtest_discover_tests(kalist8_commands_tests DISCOVERY_MODE PRE_TEST
  PROPERTIES RUN_SERIAL TRUE TIMEOUT 120 LABELS worker ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
