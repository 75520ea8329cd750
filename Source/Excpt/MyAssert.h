#pragma once

// Contract checks. A failed check is a programming error, not part of the
// error flow: it names the violated condition with its file and line and
// ends the process. The checks stay on in release builds.

namespace my {
[[noreturn]] void AssertionFailed(const char* text, const char* file, int line);
}

#define MY_ASSERT(cond) ((cond) ? (void)0 : ::my::AssertionFailed(#cond, __FILE__, __LINE__))
#define MY_ASSERT_M(cond, text) ((cond) ? (void)0 : ::my::AssertionFailed(text, __FILE__, __LINE__))
