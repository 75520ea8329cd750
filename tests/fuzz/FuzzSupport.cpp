#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fuzz {

std::string Input::Bytes(size_t n)
{
    const size_t take = n < Left() ? n : Left();
    std::string s(reinterpret_cast<const char*>(p_), take);
    p_ += take;
    return s;
}

std::string Input::Until(uint8_t separator)
{
    std::string s;
    while (p_ < e_) {
        const uint8_t c = *p_++;
        if (c == separator)
            break;
        s += static_cast<char>(c);
    }
    return s;
}

namespace {

struct Scratch {
    std::string path;
    Scratch()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kalist8-fuzz-XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            throw std::runtime_error("mkdtemp failed");
        path = tmpl + "/";
    }
    ~Scratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

} // namespace

const std::string& ScratchDir()
{
    static const Scratch scratch;
    return scratch.path;
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        Fail("cannot write " + path);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Fail(const std::string& what)
{
    std::fprintf(stderr, "fuzz property failed: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

} // namespace fuzz
