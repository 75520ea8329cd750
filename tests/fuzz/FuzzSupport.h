#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What every fuzz program shares: reading its input piece by piece, a
// folder of its own for files, and stopping loudly when a property fails.
namespace fuzz {

// The input as a sequence of choices; past its end every read gives 0 or an
// empty piece, so a short input is a valid input.
class Input {
public:
    Input(const uint8_t* data, size_t size) : p_(data), e_(data + size) {}

    uint8_t Byte() { return p_ < e_ ? *p_++ : 0; }
    uint16_t Word() { return static_cast<uint16_t>(Byte() << 8 | Byte()); }
    // Up to n bytes.
    std::string Bytes(size_t n);
    // Up to the next separator byte (consumed, not returned) or the end.
    std::string Until(uint8_t separator);
    std::string Rest() { return Bytes(Left()); }
    size_t Left() const { return static_cast<size_t>(e_ - p_); }

private:
    const uint8_t* p_;
    const uint8_t* e_;
};

// A folder made for this process and removed when it ends; with "/".
const std::string& ScratchDir();

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// A property of the code under test failed: says which and aborts, so that
// libFuzzer keeps the input and the replay fails.
[[noreturn]] void Fail(const std::string& what);

inline void Check(bool holds, const std::string& what)
{
    if (!holds)
        Fail(what);
}

} // namespace fuzz
