// Worker threads and the one lock of their counters and output, on POSIX systems.
#include <pthread.h>

#include "platform.h"

namespace {
struct ThreadStart {
    void (*work)(void*);
    void* context;
};
void* ThreadMain(void* argument) {
    ThreadStart* start = static_cast<ThreadStart*>(argument);
    start->work(start->context);
    return nullptr;
}
pthread_mutex_t OutputLock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t WorkChanged = PTHREAD_COND_INITIALIZER;
}  // namespace

void RunOnThreads(int count, void (*work)(void* context), void* context) {
    constexpr int kMaxThreads = 256;
    pthread_t threads[kMaxThreads];
    ThreadStart start{work, context};
    if (count > kMaxThreads) count = kMaxThreads;
    int started = 0;
    for (int i = 1; i < count; ++i) {
        if (pthread_create(&threads[started], nullptr, ThreadMain, &start) == 0) ++started;
    }
    work(context);
    for (int i = 0; i < started; ++i) pthread_join(threads[i], nullptr);
}

void EnterOutputLock() { pthread_mutex_lock(&OutputLock); }
void LeaveOutputLock() { pthread_mutex_unlock(&OutputLock); }
void WaitUnderOutputLock() { pthread_cond_wait(&WorkChanged, &OutputLock); }
void WakeWaitingWorkers() { pthread_cond_broadcast(&WorkChanged); }
