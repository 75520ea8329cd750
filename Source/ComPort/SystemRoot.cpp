#include "ComPort/SystemRoot.h"

namespace my::Comm {

namespace {

std::string& Root()
{
    static std::string root;
    return root;
}

} // namespace

std::string SystemPath(const std::string& absolute) { return Root() + absolute; }

void SetSystemRoot(const std::string& root)
{
    Root() = root;
    while (!Root().empty() && Root().back() == '/')
        Root().pop_back();
}

} // namespace my::Comm
