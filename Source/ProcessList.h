#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

struct ProcessEntry {
    pid_t pid;
    std::string exeName; // file name of the executable, without directory
};

// Every running process with the file name of its executable. An empty list
// when the process table cannot be read. procDir: where the process table
// lies (a test's fake one).
std::vector<ProcessEntry> ListProcesses(const std::string& procDir = "/proc");
