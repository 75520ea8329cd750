// Feeds files to a fuzz program's LLVMFuzzerTestOneInput without libFuzzer,
// so that the ordinary test build replays the seed corpus and every input
// that once failed. Arguments: files or folders (every file below them, in
// name order); a folder that does not exist is skipped.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::filesystem::path> InputsOf(const std::filesystem::path& arg)
{
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_regular_file(arg))
        files.push_back(arg);
    else if (std::filesystem::is_directory(arg))
        for (const auto& entry : std::filesystem::recursive_directory_iterator(arg))
            if (entry.is_regular_file())
                files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

int main(int argc, char** argv)
{
    size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& file : InputsOf(argv[i])) {
            std::ifstream in(file, std::ios::binary);
            const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::printf("%s\n", file.c_str());
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++count;
        }
    }
    std::printf("%zu inputs replayed\n", count);
    // No input at all means the corpus went missing, not that all is well.
    return count > 0 ? 0 : 1;
}
