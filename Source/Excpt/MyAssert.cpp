#include "Excpt/MyAssert.h"

#include "Excpt/MyExeption.h"

#include <cstdio>
#include <cstdlib>

[[noreturn]] void my::AssertionFailed(const char* text, const char* file, int line)
{
    const FileLine where(line, file);
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", text, where.file.c_str(), where.line);
    std::fflush(stderr);
    std::abort();
}
