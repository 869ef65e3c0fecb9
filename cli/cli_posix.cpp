// quimbo-build's own system calls on POSIX systems.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli_platform.h"

const SystemError kErrorAccessDenied = EACCES;

void ReadFileState(const PathChar* path, FileState* state) {
    *state = FileState{false, false, false, 0};
    struct stat info;
    if (stat(path, &info) != 0) return;
    state->exists = true;
    state->isFile = S_ISREG(info.st_mode);
    state->readOnly = (info.st_mode & 0222) == 0;
    state->modified = static_cast<uint64_t>(info.st_mtim.tv_sec) * 1000000000u + static_cast<uint64_t>(info.st_mtim.tv_nsec);
}

bool ReadWholeFile(const PathChar* path, void** data, size_t* size, SystemError* error) {
    *data = nullptr;
    *size = 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) {
        *error = static_cast<SystemError>(errno);
        if (fd >= 0) close(fd);
        return false;
    }
    size_t capacity = static_cast<size_t>(info.st_size);
    char* block = static_cast<char*>(malloc(capacity ? capacity : 1));
    size_t total = 0;
    while (block && total < capacity) {
        ssize_t got = read(fd, block + total, capacity - total);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            *error = got < 0 ? static_cast<SystemError>(errno) : static_cast<SystemError>(EIO);  // shrank while read
            free(block);
            close(fd);
            return false;
        }
        total += static_cast<size_t>(got);
    }
    close(fd);
    if (!block) {
        *error = ENOMEM;
        return false;
    }
    *data = block;
    *size = total;
    return true;
}

int ProcessorCount() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int count = CPU_COUNT(&set);
        if (count > 0) return count;
    }
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

bool StderrIsTerminal() { return isatty(2) == 1; }

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
