#pragma once

// Qt 5 joins its threads (QThread::wait) through primitives inside its own library that a
// thread checker cannot see. These two calls state the ordering it misses: everything a
// thread did before handOver(object) happens before whatever another thread does after
// takeOver(object). Outside a thread-checking build they compile to nothing.

#if defined(__SANITIZE_THREAD__)
#define KLM704_THREAD_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KLM704_THREAD_CHECKER 1
#endif
#endif

#ifdef KLM704_THREAD_CHECKER
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
#endif

namespace threadchecker {

inline void handOver([[maybe_unused]] void *object)
{
#ifdef KLM704_THREAD_CHECKER
    __tsan_release(object);
#endif
}

inline void takeOver([[maybe_unused]] void *object)
{
#ifdef KLM704_THREAD_CHECKER
    __tsan_acquire(object);
#endif
}

} // namespace threadchecker
