# The debug console in a process of its own: its paths hang on the
# executable's directory, signals reach the whole process and the console
# exists once per process. test_console_process.cpp (in kalist8_core_tests)
# copies this program into a temporary directory and runs it there; run it
# with "bench" to measure the console's append cost.
add_executable(kalist8_console_probe console_probe.cpp)
target_link_libraries(kalist8_console_probe PRIVATE kalist8_widgets)
kalist8_target_settings(kalist8_console_probe)
add_dependencies(kalist8_core_tests kalist8_console_probe)
