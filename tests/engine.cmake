# The polling engine and the device tasks: a real worker thread, a real Qt
# application on the main thread, the simulator behind COM1. Its own program
# folder, so that its "comm.ini" and "config.ini" are its own.
file(GLOB KALIST8_ENGINE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/engine/test_*.cpp)
add_executable(kalist8_engine_tests
  ${CMAKE_CURRENT_SOURCE_DIR}/engine/main.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/engine/EngineTestSupport.cpp
  ${KALIST8_ENGINE_TEST_SOURCES})
target_include_directories(kalist8_engine_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/engine)
target_link_libraries(kalist8_engine_tests PRIVATE kalist8_widgets kalist8_sim_process kalist8_testutils Qt6::Test GTest::gtest)
target_compile_definitions(kalist8_engine_tests PRIVATE KALIST8_SIM_EXE="$<TARGET_FILE:kalist8-sim>")
set_target_properties(kalist8_engine_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testbin/engine)
add_dependencies(kalist8_engine_tests kalist8-sim)
kalist8_target_settings(kalist8_engine_tests)
# The catalogue beside the program, as the tasks' windows expect it.
foreach(ini vars.ini units.ini scales.ini)
  configure_file(${PROJECT_SOURCE_DIR}/resources/${ini} ${CMAKE_BINARY_DIR}/testbin/engine/${ini} COPYONLY)
endforeach()
gtest_discover_tests(kalist8_engine_tests DISCOVERY_MODE PRE_TEST
  PROPERTIES RUN_SERIAL TRUE TIMEOUT 120 LABELS worker ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
