// Worker threads and the one lock of their counters and output, on Windows.
#include <windows.h>

#include "platform.h"

namespace {
struct ThreadStart {
    void (*work)(void*);
    void* context;
};
DWORD WINAPI ThreadMain(void* argument) {
    ThreadStart* start = static_cast<ThreadStart*>(argument);
    start->work(start->context);
    return 0;
}
SRWLOCK OutputLock = SRWLOCK_INIT;
CONDITION_VARIABLE WorkChanged = CONDITION_VARIABLE_INIT;
}  // namespace

void RunOnThreads(int count, void (*work)(void* context), void* context) {
    constexpr int kMaxThreads = MAXIMUM_WAIT_OBJECTS;
    HANDLE threads[kMaxThreads];
    ThreadStart start{work, context};
    if (count > kMaxThreads) count = kMaxThreads;
    DWORD started = 0;
    for (int i = 1; i < count; ++i) {
        HANDLE thread = CreateThread(nullptr, 0, ThreadMain, &start, 0, nullptr);
        if (thread) threads[started++] = thread;
    }
    work(context);
    if (started) WaitForMultipleObjects(started, threads, TRUE, INFINITE);
    for (DWORD i = 0; i < started; ++i) CloseHandle(threads[i]);
}

void EnterOutputLock() { AcquireSRWLockExclusive(&OutputLock); }
void LeaveOutputLock() { ReleaseSRWLockExclusive(&OutputLock); }
void WaitUnderOutputLock() { SleepConditionVariableSRW(&WorkChanged, &OutputLock, INFINITE, 0); }
void WakeWaitingWorkers() { WakeAllConditionVariable(&WorkChanged); }
