#include "Application/ConsolePrint.h"

#include <cstdio>

namespace {
ConsoleSinkFn consoleSink = nullptr;
}

void SetConsoleSink(ConsoleSinkFn sink) { consoleSink = sink; }

int ConsolePrint(const std::string& text)
{
    if (consoleSink) {
        consoleSink(text);
    } else {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
    return 0;
}
