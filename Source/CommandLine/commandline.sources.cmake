# The program's options (--help, --version); the version is the project's.
list(APPEND KALIST8_CORE_SOURCES
  CommandLine/CommandLine.cpp
)
set_source_files_properties(CommandLine/CommandLine.cpp PROPERTIES
  COMPILE_DEFINITIONS "KALIST8_VERSION=\"${PROJECT_VERSION}\"")
