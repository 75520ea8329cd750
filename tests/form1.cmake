# The main window as a real widget in a program folder of its own: the
# window keeps "form1.ini" and "config.ini" beside the executable, and the
# engine it creates keeps "comm.ini" there. Every test starts from an empty
# folder, so the tests run one at a time.
add_executable(kalist8_form1_tests ${CMAKE_CURRENT_SOURCE_DIR}/widget_main.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/form1/wtest_form1.cpp)
target_include_directories(kalist8_form1_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kalist8_form1_tests PRIVATE kalist8_testutils kalist8_widgets)
set_target_properties(kalist8_form1_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testbin/form1)
kalist8_target_settings(kalist8_form1_tests)
# The catalogue beside the program, where the window reads the names.
foreach(ini vars.ini units.ini scales.ini)
  configure_file(${PROJECT_SOURCE_DIR}/resources/${ini} ${CMAKE_BINARY_DIR}/testbin/form1/${ini} COPYONLY)
endforeach()
gtest_discover_tests(kalist8_form1_tests DISCOVERY_MODE PRE_TEST
  PROPERTIES RUN_SERIAL TRUE TIMEOUT 120 LABELS worker
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${KALIST8_TEST_CONFIG_HOME}")
