# The serial port over pseudo-terminals. A program of its own: the ports are
# mapped before the present-port list is built, and some tests start this
# program again as a second process holding or opening a port.
file(GLOB COMM_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/comm/*.cpp)
add_executable(kalist8_comm_tests ${COMM_TEST_SOURCES})
target_include_directories(kalist8_comm_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kalist8_comm_tests PRIVATE kalist8_testutils)
kalist8_target_settings(kalist8_comm_tests)
# A read the timeouts fail to end would hang: the timeout makes it a failure.
gtest_discover_tests(kalist8_comm_tests DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 60)
