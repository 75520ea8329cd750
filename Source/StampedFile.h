#pragma once

#include <QDateTime>

#include <string>

// The name of a file that belongs to one instrument at one moment:
// "<address>_<yyyy-mm-dd_hh-mm-ss><extension>", e.g. "5_2026-12-10_14-30-00.bin".
std::string StampedFileName(int address, const QDateTime& when, const std::string& extension);

// A path for a new file of that name in dir + folder (dir ending with "/"),
// the folder created when missing. The path never names an existing file:
// a taken name gets "_2", "_3"... before its extension. Empty when the
// folder cannot be created.
std::string NewStampedPath(const std::string& dir, const std::string& folder, int address, const QDateTime& when,
                           const std::string& extension);
