// quimbo-build's own system calls on POSIX systems.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "cli_platform.h"

const SystemError kErrorAccessDenied = EACCES;
const SystemError kErrorNoMemory = ENOMEM;

namespace {

void FillFileState(const struct stat& info, FileState* state) {
    state->exists = true;
    state->isFile = S_ISREG(info.st_mode);
    state->readOnly = (info.st_mode & 0222) == 0;
    state->modified = static_cast<uint64_t>(info.st_mtim.tv_sec) * 1000000000u + static_cast<uint64_t>(info.st_mtim.tv_nsec);
}

}  // namespace

void ReadFileState(const PathChar* path, FileState* state) {
    *state = FileState{false, false, false, 0};
    struct stat info;
    if (stat(path, &info) == 0) FillFileState(info, state);
}

bool OpenFolderForStates(const PathChar* path, intptr_t* folder) {
    int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    *folder = fd;
    return true;
}

void CloseFolderForStates(intptr_t folder) { close(static_cast<int>(folder)); }

void ReadFileStateIn(intptr_t folder, const PathChar* path, size_t folderLength, FileState* state) {
    *state = FileState{false, false, false, 0};
    struct stat info;
    if (fstatat(static_cast<int>(folder), path + folderLength, &info, 0) == 0) FillFileState(info, state);
}

ImageOpen OpenImageFile(const PathChar* path, ImageFile* file, SystemError* error) {
    *file = ImageFile{-1, 0};
    struct stat info;
    // Looked at first, so that a FIFO or a device is not even opened (opening
    // some devices does something); then again on the open file, which is
    // the one read, whatever was put at `path` in between.
    if (stat(path, &info) == 0 && !S_ISREG(info.st_mode)) return ImageOpen::NotRegular;
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *error = static_cast<SystemError>(errno);
        return ImageOpen::Failed;
    }
    if (fstat(fd, &info) != 0) {
        *error = static_cast<SystemError>(errno);
        close(fd);
        return ImageOpen::Failed;
    }
    if (!S_ISREG(info.st_mode)) {
        close(fd);
        return ImageOpen::NotRegular;
    }
    file->handle = fd;
    file->size = static_cast<uint64_t>(info.st_size);
    return ImageOpen::Opened;
}

bool ReadImageFile(const ImageFile& file, uint64_t offset, void* data, size_t size, size_t* got, SystemError* error) {
    *got = 0;
    if (size > (size_t(1) << 30)) size = size_t(1) << 30;
    for (;;) {
        ssize_t n = pread(static_cast<int>(file.handle), data, size, static_cast<off_t>(offset));
        if (n >= 0) {
            *got = static_cast<size_t>(n);
            return true;
        }
        if (errno != EINTR) {
            *error = static_cast<SystemError>(errno);
            return false;
        }
    }
}

void CloseImageFile(ImageFile* file) {
    if (file->handle >= 0) close(static_cast<int>(file->handle));
    *file = ImageFile{-1, 0};
}

uint64_t MonotonicMilliseconds() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
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

void ProtectStandardStreams() {
    signal(SIGPIPE, SIG_IGN);
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);  // takes the lowest free number: fd
            if (opened > 2) close(opened);
        }
    }
}

bool FlushStdout(SystemError* error) {
    if (fflush(stdout) == 0 && !ferror(stdout)) return true;
    *error = errno == EPIPE ? 0 : errno ? static_cast<SystemError>(errno) : EIO;
    return false;
}

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
