#include "StampedFile.h"

#include <filesystem>
#include <system_error>

std::string StampedFileName(int address, const QDateTime& when, const std::string& extension)
{
    return std::to_string(address) + "_" + when.toString(QStringLiteral("yyyy-MM-dd_hh-mm-ss")).toStdString() +
           extension;
}

std::string NewStampedPath(const std::string& dir, const std::string& folder, int address, const QDateTime& when,
                           const std::string& extension)
{
    namespace fs = std::filesystem;
    const fs::path folderPath = fs::path(dir + folder);
    std::error_code ec;
    fs::create_directories(folderPath, ec);
    if (!fs::is_directory(folderPath, ec))
        return std::string();
    const std::string base = dir + folder + "/" + StampedFileName(address, when, "");
    std::string path = base + extension;
    // Two files within one second: neither may replace the other.
    for (int n = 2; fs::exists(fs::path(path), ec); ++n)
        path = base + "_" + std::to_string(n) + extension;
    return path;
}
