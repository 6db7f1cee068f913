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
extern "C" void AnnotateIgnoreWritesBegin(const char *file, int line);
extern "C" void AnnotateIgnoreWritesEnd(const char *file, int line);
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

// Qt copies the arguments of a signal that another thread receives inside its own library and
// passes the copies on through its event queue, both out of the checker's sight. Held while
// such a signal is emitted, this keeps the checker from recording the copying, so that the
// receiving thread finds the copies fresh instead of written by a thread it knows no order with.
class QueuedEmit
{
public:
    QueuedEmit()
    {
#ifdef KLM704_THREAD_CHECKER
        AnnotateIgnoreWritesBegin(__FILE__, __LINE__);
#endif
    }
    ~QueuedEmit()
    {
#ifdef KLM704_THREAD_CHECKER
        AnnotateIgnoreWritesEnd(__FILE__, __LINE__);
#endif
    }
    QueuedEmit(const QueuedEmit &) = delete;
    QueuedEmit &operator=(const QueuedEmit &) = delete;
};

} // namespace threadchecker
