#pragma once

// Qt from the distribution is built without ThreadSanitizer, so the order
// its event queue gives (a posted event is delivered after it was posted)
// is invisible to the sanitizer. These marks state that order where our own
// code hands an object through the queue; they vanish in other builds.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#define MY_TSAN_RELEASE(p) __tsan_release(p)
#define MY_TSAN_ACQUIRE(p) __tsan_acquire(p)
#else
#define MY_TSAN_RELEASE(p) ((void)(p))
#define MY_TSAN_ACQUIRE(p) ((void)(p))
#endif
